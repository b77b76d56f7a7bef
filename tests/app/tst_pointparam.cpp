#include "PointParam.h"

#include <QtTest>

#include <cstring>
#include <functional>

// Expected records are written out here byte by byte from the wire layout, never taken
// from the struct, so a field that moves or grows is caught.

namespace {

// Writes hex bytes ("08 07 ...") at offset.
void put(QByteArray& bytes, int offset, const char* hex)
{
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
    bytes.replace(offset, raw.size(), raw);
}

void putText(QByteArray& bytes, int offset, const char* text)
{
    bytes.replace(offset, int(std::strlen(text)), text);
}

QByteArray nameField(const st_PointParam& param, int channel)
{
    return pointParamToBytes(param).mid(40 + 12 * (channel - 1), 12);
}

QByteArray defaultRecordBytes()
{
    QByteArray b(440, '\0');
    put(b, 0, "70 B8 AD 05 00 00 00 00");  // project id 95271024
    put(b, 12, "01 00 00 00");              // line 1
    put(b, 16, "01 00 00 00");              // point 1
    put(b, 33, "1B 69");                    // CHSelect, CHMatch
    for (int c = 0; c < 6; ++c)
        putText(b, 40 + 12 * c, "null");
    put(b, 112, "14 00 14 00 14 00");       // electrode distances 20
    return b;
}

st_PointParam knownTask()
{
    st_PointParam p = defaultPointParam();
    p.Pos.ProjectID = 0x0102030405060708LL;
    p.Pos.ID = 7;
    p.Pos.Line = 3;
    p.Pos.Point = 1200;
    p.StartTime = 1700000000;
    p.GroupNum = 2;
    p.CHSelect = 0x3F;
    p.CHMatch = withHzMatched(withMatchPartner(withMatchPartner(0, 0, MatchHx), 1, MatchHy), true);
    p.PoleType = 1;
    copySenseName(p, ChannelHx, QStringLiteral("Coil01"));
    copySenseName(p, ChannelHy, QStringLiteral("ABCDEFGHIJKL"));
    copySenseName(p, ChannelE0, QStringLiteral("NPE"));
    copySenseName(p, ChannelE1, QStringLiteral("NPE"));
    copySenseName(p, ChannelE2, QString());
    p.E0PoleD = 100;
    p.E1PoleD = 0x1234;
    p.Group[0] = makeGroupParam(250000, 30, 16, 40);
    p.Group[1] = makeGroupParam(488, 30, 160, 4);
    return p;
}

QByteArray knownTaskBytes()
{
    QByteArray b(440, '\0');
    put(b, 0, "08 07 06 05 04 03 02 01");  // project id
    put(b, 8, "07 00 00 00");              // point id
    put(b, 12, "03 00 00 00");             // line
    put(b, 16, "B0 04 00 00");             // point 1200
    put(b, 20, "00 00 00 00");
    put(b, 24, "00 F1 53 65 00 00 00 00");  // start 1700000000
    put(b, 32, "02 3F 49 01");             // groups, CHSelect, CHMatch, pole type
    put(b, 36, "00 00 00 00");
    putText(b, 40, "Coil01");
    putText(b, 52, "ABCDEFGHIJKL");          // fills its field, no terminator
    putText(b, 64, "null");
    putText(b, 76, "NPE");
    putText(b, 88, "NPE");
    // 100..111: empty name, all zero
    put(b, 112, "64 00 34 12 14 00 00 00");  // distances 100, 0x1234, 20; reserved
    // group 1: 250000 Hz, 2 s, gains 16/40, not low rate, 30 segments
    put(b, 120, "90 D0 03 00 02 00 00 00 10 00 28 00 00 00 1E 00");
    // group 2: 488 Hz, 1008 s, gains 160/4, low rate, 30 segments
    put(b, 136, "E8 01 00 00 F0 03 00 00 A0 00 04 00 01 00 1E 00");
    return b;
}

} // namespace

class TestPointParam : public QObject
{
    Q_OBJECT
private slots:
    void knownTaskHasItsBytesAtEveryOffset();
    void bytesRoundTrip();
    void wrongSizedBytesAreRefused();
    void defaults();
    void durationRule_data();
    void durationRule();
    void lowRateThreshold();
    void channelMasks();
    void nameFieldsAreCutAtTwelveBytes();
    void removingAGroupMovesTheLaterOnesDown();
    void loadingDropsUnknownRatesAndRecomputes();
    void loadingBoundsADamagedGroupCount();
    void goodRecordsPassTheCheck();
    void badRecordsAreRefused_data();
    void badRecordsAreRefused();
};

void TestPointParam::knownTaskHasItsBytesAtEveryOffset()
{
    const QByteArray actual = pointParamToBytes(knownTask());
    const QByteArray expected = knownTaskBytes();
    QCOMPARE(actual.size(), 440);
    for (int i = 0; i < 440; ++i)
        QVERIFY2(actual[i] == expected[i], qPrintable(QStringLiteral("offset %1: %2 != %3").arg(i)
                                                          .arg(quint8(actual[i]), 2, 16, QLatin1Char('0'))
                                                          .arg(quint8(expected[i]), 2, 16, QLatin1Char('0'))));

    // A trial run's point id -1.
    st_PointParam trial = knownTask();
    trial.Pos.ID = -1;
    QCOMPARE(pointParamToBytes(trial).mid(8, 4), QByteArray::fromHex("FFFFFFFF"));
}

void TestPointParam::bytesRoundTrip()
{
    st_PointParam p;
    QVERIFY(pointParamFromBytes(knownTaskBytes(), &p));
    QCOMPARE(p.Pos.ProjectID, 0x0102030405060708LL);
    QCOMPARE(p.Pos.ID, 7);
    QCOMPARE(p.Pos.Line, 3);
    QCOMPARE(p.Pos.Point, 1200);
    QCOMPARE(p.StartTime, quint64(1700000000));
    QCOMPARE(int(p.GroupNum), 2);
    QCOMPARE(int(p.CHMatch), 0x49);
    QCOMPARE(senseName(p, ChannelHx), QStringLiteral("Coil01"));
    QCOMPARE(senseName(p, ChannelHy), QStringLiteral("ABCDEFGHIJKL"));
    QCOMPARE(senseName(p, ChannelE2), QString());
    QCOMPARE(int(p.E1PoleD), 0x1234);
    QCOMPARE(p.Group[1].SampleRate, quint32(488));
    QCOMPARE(p.Group[1].Duration, quint32(1008));
    QCOMPARE(int(p.Group[1].HGain), 160);
    QCOMPARE(int(p.Group[1].SegCnt), 30);
    QCOMPARE(pointParamToBytes(p), knownTaskBytes());

    // A plain copy keeps every byte.
    const st_PointParam copy = p;
    QCOMPARE(pointParamToBytes(copy), knownTaskBytes());
}

void TestPointParam::wrongSizedBytesAreRefused()
{
    st_PointParam p = defaultPointParam();
    const QByteArray before = pointParamToBytes(p);
    const QByteArray good = knownTaskBytes();
    QVERIFY(!pointParamFromBytes(good.left(439), &p));
    QVERIFY(!pointParamFromBytes(good + '\0', &p));
    QVERIFY(!pointParamFromBytes(QByteArray(), &p));
    QVERIFY(!pointParamFromBytes(good, nullptr));
    QCOMPARE(pointParamToBytes(p), before);
}

void TestPointParam::defaults()
{
    QCOMPARE(NoProjectID, qint64(0x05ADB870));
    QCOMPARE(pointParamToBytes(defaultPointParam()), defaultRecordBytes());

    // The task form's first record: three groups of 30 segments, gains 1.
    QByteArray b = defaultRecordBytes();
    put(b, 32, "03");
    put(b, 120, "90 D0 03 00 02 00 00 00 01 00 01 00 00 00 1E 00");  // 250000 Hz, 2 s
    put(b, 136, "78 1E 00 00 40 00 00 00 01 00 01 00 00 00 1E 00");  // 7800 Hz, 64 s
    put(b, 152, "E8 01 00 00 F0 03 00 00 01 00 01 00 01 00 1E 00");  // 488 Hz, 1008 s, low
    QCOMPARE(pointParamToBytes(defaultTaskParam()), b);
}

void TestPointParam::durationRule_data()
{
    QTest::addColumn<quint32>("segments");
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<quint32>("seconds");
    QTest::newRow("250000 Hz, 1.966 s up") << 30u << 250000u << 2u;
    QTest::newRow("7800 Hz") << 30u << 7800u << 64u;
    QTest::newRow("488 Hz") << 30u << 488u << 1008u;
    QTest::newRow("61 Hz") << 30u << 61u << 8058u;
    QTest::newRow("whole quotient stays") << 61u << 61u << 16384u;
    QTest::newRow("largest task") << 5000u << 61u << 1342951u;
    QTest::newRow("no rate") << 30u << 0u << 0u;
}

void TestPointParam::durationRule()
{
    QFETCH(quint32, segments);
    QFETCH(quint32, rate);
    QFETCH(quint32, seconds);
    QCOMPARE(groupDuration(segments, rate), seconds);
}

void TestPointParam::lowRateThreshold()
{
    QVERIFY(isLowRate(61));
    QVERIFY(isLowRate(488));
    QVERIFY(!isLowRate(489));
    QVERIFY(!isLowRate(7800));
    QCOMPARE(int(makeGroupParam(488, 3, 1, 1).LowRate), 1);
    QCOMPARE(int(makeGroupParam(7800, 3, 1, 1).LowRate), 0);
}

void TestPointParam::channelMasks()
{
    // 0x1B: Hx, Hy, E0, E1.
    QVERIFY(isChannelSelected(0x1B, ChannelHx));
    QVERIFY(isChannelSelected(0x1B, ChannelHy));
    QVERIFY(!isChannelSelected(0x1B, ChannelHz));
    QVERIFY(isChannelSelected(0x1B, ChannelE0));
    QVERIFY(isChannelSelected(0x1B, ChannelE1));
    QVERIFY(!isChannelSelected(0x1B, ChannelE2));
    QVERIFY(!isChannelSelected(0xFF, 0));
    QVERIFY(!isChannelSelected(0xFF, 7));
    quint8 select = 0;
    for (int c : {ChannelHx, ChannelHy, ChannelE0, ChannelE1})
        select = withChannelSelected(select, c, true);
    QCOMPARE(int(select), 0x1B);
    QCOMPARE(int(withChannelSelected(select, ChannelHy, false)), 0x19);
    QCOMPARE(int(withChannelSelected(select, 7, true)), 0x1B);

    // 0x69: E0-Hx, E1-Hy, E2-Hy, Hz on.
    QCOMPARE(matchPartner(0x69, 0), int(MatchHx));
    QCOMPARE(matchPartner(0x69, 1), int(MatchHy));
    QCOMPARE(matchPartner(0x69, 2), int(MatchHy));
    QCOMPARE(matchPartner(0x69, 3), int(MatchNone));
    QVERIFY(isHzMatched(0x69));
    QVERIFY(!isHzMatched(0x29));
    quint8 match = withMatchPartner(withMatchPartner(withMatchPartner(0, 0, MatchHx), 1, MatchHy), 2, MatchHy);
    QCOMPARE(int(withHzMatched(match, true)), 0x69);
    QCOMPARE(int(withMatchPartner(0x69, 1, MatchNone)), 0x61);
    QCOMPARE(int(withMatchPartner(0x69, 1, 3)), 0x69);  // 3 is never produced
    QCOMPARE(int(withHzMatched(0x69, false)), 0x29);
}

void TestPointParam::nameFieldsAreCutAtTwelveBytes()
{
    st_PointParam p = defaultPointParam();
    copySenseName(p, ChannelHz, QStringLiteral("ABCDEFGHIJKL"));
    QCOMPARE(nameField(p, ChannelHz), QByteArray("ABCDEFGHIJKL"));
    copySenseName(p, ChannelHz, QStringLiteral("ABCDEFGHIJKLMNO"));
    QCOMPARE(nameField(p, ChannelHz), QByteArray("ABCDEFGHIJKL"));
    QCOMPARE(nameField(p, ChannelE0), QByteArray("null", 4) + QByteArray(8, '\0'));  // neighbour untouched

    // A longer name is zeroed first, and a multi-byte character may be cut.
    copySenseName(p, ChannelHz, QStringLiteral("Hx磁棒磁棒磁"));
    QCOMPARE(nameField(p, ChannelHz), QByteArray::fromHex("4878e7a381e6a392e7a381e6"));
    copySenseName(p, ChannelHz, QStringLiteral("Coil"));
    QCOMPARE(nameField(p, ChannelHz), QByteArray("Coil") + QByteArray(8, '\0'));
    copySenseName(p, ChannelHz, QString());
    QCOMPARE(nameField(p, ChannelHz), QByteArray(12, '\0'));
    QCOMPARE(senseName(p, ChannelHz), QString());

    // Channels outside 1..6 touch nothing.
    const QByteArray before = pointParamToBytes(p);
    copySenseName(p, 0, QStringLiteral("x"));
    copySenseName(p, 7, QStringLiteral("x"));
    QCOMPARE(pointParamToBytes(p), before);
}

void TestPointParam::removingAGroupMovesTheLaterOnesDown()
{
    st_PointParam p = defaultPointParam();
    const quint32 rates[] = {250000, 7800, 488, 61, 7800};
    for (int i = 0; i < 5; ++i)
        p.Group[i] = makeGroupParam(rates[i], quint16(10 + i), 1, 1);
    p.GroupNum = 5;
    QVERIFY(removeGroup(p, 1));
    QCOMPARE(int(p.GroupNum), 4);
    QCOMPARE(p.Group[0].SampleRate, quint32(250000));
    QCOMPARE(p.Group[1].SampleRate, quint32(488));
    QCOMPARE(int(p.Group[1].SegCnt), 12);
    QCOMPARE(p.Group[3].SampleRate, quint32(7800));
    QCOMPARE(int(p.Group[3].SegCnt), 14);
    QCOMPARE(pointParamToBytes(p).mid(120 + 4 * 16), QByteArray(16 * 16, '\0'));

    const QByteArray before = pointParamToBytes(p);
    QVERIFY(!removeGroup(p, 4));
    QVERIFY(!removeGroup(p, -1));
    QCOMPARE(pointParamToBytes(p), before);

    st_PointParam empty = defaultPointParam();
    QVERIFY(!removeGroup(empty, 0));
    QCOMPARE(int(empty.GroupNum), 0);  // no wrap to 255
}

void TestPointParam::loadingDropsUnknownRatesAndRecomputes()
{
    st_PointParam p = defaultPointParam();
    const quint32 rates[] = {250000, 1000, 7800, 0, 488};
    for (int i = 0; i < 5; ++i) {
        p.Group[i] = makeGroupParam(rates[i], 30, 4, 16);
        p.Group[i].Duration = 99;  // as stored settings have it: not kept, recomputed
        p.Group[i].LowRate = 7;
    }
    p.GroupNum = 5;
    QCOMPARE(fitLoadedPointParam(p), 2);
    QCOMPARE(int(p.GroupNum), 3);
    QByteArray groups = pointParamToBytes(p).mid(120);
    QByteArray expected(320, '\0');
    put(expected, 0, "90 D0 03 00 02 00 00 00 04 00 10 00 00 00 1E 00");
    put(expected, 16, "78 1E 00 00 40 00 00 00 04 00 10 00 00 00 1E 00");
    put(expected, 32, "E8 01 00 00 F0 03 00 00 04 00 10 00 01 00 1E 00");
    QCOMPARE(groups, expected);
    QVERIFY(checkPointParam(p));

    // Everything else is left alone.
    st_PointParam task = knownTask();
    QCOMPARE(fitLoadedPointParam(task), 0);
    QCOMPARE(pointParamToBytes(task), knownTaskBytes());
}

void TestPointParam::loadingBoundsADamagedGroupCount()
{
    st_PointParam p = defaultPointParam();
    for (int i = 0; i < MaxGroupNum; ++i)
        p.Group[i] = makeGroupParam(i % 2 ? 61 : 7800, 3, 1, 1);
    p.GroupNum = 250;
    QCOMPARE(fitLoadedPointParam(p), 0);
    QCOMPARE(int(p.GroupNum), 20);
    QCOMPARE(p.Group[19].SampleRate, quint32(61));

    st_PointParam zero = defaultPointParam();
    zero.GroupNum = 250;
    QCOMPARE(fitLoadedPointParam(zero), 20);
    QCOMPARE(int(zero.GroupNum), 0);
    QCOMPARE(pointParamToBytes(zero), defaultRecordBytes());
}

void TestPointParam::goodRecordsPassTheCheck()
{
    QString reason = QStringLiteral("stale");
    QVERIFY(checkPointParam(defaultPointParam(), &reason));  // no groups is valid data
    QVERIFY(reason.isEmpty());
    QVERIFY(checkPointParam(defaultTaskParam()));
    QVERIFY(checkPointParam(knownTask()));

    st_PointParam p = defaultTaskParam();
    p.Group[0].SegCnt = 3;
    p.Group[1].SegCnt = 5000;
    p.Group[0].HGain = 160;
    p.Group[2].EGain = 40;
    p.Group[0].Duration = 1;  // a trial run shortens the durations
    p.CHMatch = 0;
    p.CHSelect = 0x3F;
    p.Pos.ID = -1;
    QVERIFY(checkPointParam(p, &reason));

    st_PointParam full = defaultPointParam();
    for (int i = 0; i < MaxGroupNum; ++i)
        full.Group[i] = makeGroupParam(250000, 3, 1, 1);
    full.GroupNum = 20;
    QVERIFY(checkPointParam(full, &reason));
}

using Damage = std::function<void(st_PointParam&)>;
Q_DECLARE_METATYPE(Damage)

void TestPointParam::badRecordsAreRefused_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("reasonPart");
    QTest::newRow("position reserved") << Damage([](st_PointParam& p) { p.Pos.Reserved = 1; }) << "reserved";
    QTest::newRow("bytes 36-39") << Damage([](st_PointParam& p) { p.Reserved1[3] = 1; }) << "reserved";
    QTest::newRow("bytes 118-119") << Damage([](st_PointParam& p) { p.Reserved2[0] = 1; }) << "reserved";
    QTest::newRow("21 groups") << Damage([](st_PointParam& p) { p.GroupNum = 21; }) << "GroupNum 21";
    QTest::newRow("CHSelect bit 6") << Damage([](st_PointParam& p) { p.CHSelect = 0x5B; }) << "CHSelect";
    QTest::newRow("CHSelect bit 7") << Damage([](st_PointParam& p) { p.CHSelect = 0x9B; }) << "CHSelect";
    QTest::newRow("CHMatch bit 7") << Damage([](st_PointParam& p) { p.CHMatch = 0xE9; }) << "bit 7";
    QTest::newRow("CHMatch E1 = 3") << Damage([](st_PointParam& p) { p.CHMatch = 0x6D; }) << "E1";
    QTest::newRow("pole type 2") << Damage([](st_PointParam& p) { p.PoleType = 2; }) << "PoleType";
    QTest::newRow("rate not a band") << Damage([](st_PointParam& p) { p.Group[1].SampleRate = 1000; }) << "group 2: sample rate 1000";
    QTest::newRow("rate 0") << Damage([](st_PointParam& p) { p.Group[0].SampleRate = 0; }) << "group 1: sample rate 0";
    QTest::newRow("2 segments") << Damage([](st_PointParam& p) { p.Group[2].SegCnt = 2; }) << "segment count 2";
    QTest::newRow("5001 segments") << Damage([](st_PointParam& p) { p.Group[0].SegCnt = 5001; }) << "segment count 5001";
    QTest::newRow("gain index, not step") << Damage([](st_PointParam& p) { p.Group[0].HGain = 2; }) << "gains 2/1";
    QTest::newRow("electric gain 0") << Damage([](st_PointParam& p) { p.Group[1].EGain = 0; }) << "gains 1/0";
    QTest::newRow("488 Hz not low") << Damage([](st_PointParam& p) { p.Group[2].LowRate = 0; }) << "low-rate";
    QTest::newRow("7800 Hz low") << Damage([](st_PointParam& p) { p.Group[1].LowRate = 1; }) << "low-rate";
    QTest::newRow("duration 0") << Damage([](st_PointParam& p) { p.Group[1].Duration = 0; }) << "duration";
    QTest::newRow("group reserved byte") << Damage([](st_PointParam& p) { p.Group[0].Reserved = 1; }) << "reserved byte";
    QTest::newRow("group past the count") << Damage([](st_PointParam& p) { p.Group[3] = makeGroupParam(61, 3, 1, 1); }) << "group 4 beyond";
    QTest::newRow("last slot") << Damage([](st_PointParam& p) { p.Group[19].SegCnt = 1; }) << "group 20 beyond";
}

void TestPointParam::badRecordsAreRefused()
{
    QFETCH(Damage, damage);
    QFETCH(QString, reasonPart);
    st_PointParam p = defaultTaskParam();
    damage(p);
    QString reason;
    QVERIFY(!checkPointParam(p, &reason));
    QVERIFY2(reason.contains(reasonPart), qPrintable(reason));
    QVERIFY(!checkPointParam(p));  // the reason is optional
}

QTEST_APPLESS_MAIN(TestPointParam)
#include "tst_pointparam.moc"
