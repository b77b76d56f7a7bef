#include "ChannelBlockReader.h"
#include "ChannelDataFile.h"
#include "OperatorMessages.h"
#include "PipelineFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>

#include <cmath>
#include <cstring>

using namespace fixtures;

namespace {

// Header fields as the instrument writes them.
ChannelHeader instrumentHeader()
{
    ChannelHeader h;
    h.sampleRate = 7800;
    h.duration = 10;
    h.sensorId = "ICMS-B123";
    h.gain = 16;
    h.sensorVariant = 1;
    h.electrodeLength = 50;
    h.extra[0] = 1.5;
    h.extra[1] = -2.25;
    h.extra[2] = 3.125;
    return h;
}

QVector<qint32> ramp(int count, qint32 start = 0)
{
    QVector<qint32> counts(count);
    for (int i = 0; i < count; ++i)
        counts[i] = start + i;
    return counts;
}

} // namespace

class TestChannelDataFile : public QObject
{
    Q_OBJECT
private slots:
    void headerFieldsAtTheirOffsets();
    void olderLayoutIsConverted();
    void missingOrShortHeaderReadsAsZero();
    void sensorIdIsBoundedByItsField();
    void blocksAreScaledFromTheirOffset();
    void rangeCheckAtTheLimit();
    void detrendedBlocks();
    void blockPastTheEndOfAPartialFileFails();
    void unopenableFileFailsWithCriticalBox();
    void rawFilesStartAtZeroWithTheirOwnScale();
    void detrendLinearRemovesMeanAndLine();

private:
    QTemporaryDir m_dir;
};

void TestChannelDataFile::headerFieldsAtTheirOffsets()
{
    ChannelHeader h = instrumentHeader();
    const QString path = m_dir.filePath(QStringLiteral("1_CH1.dat"));
    QVERIFY(writeBytes(path, channelHeaderBytes(h)));
    const DataFileHeader r = readDataFileHeader(path);
    QCOMPARE(r.tag, h.tag);
    QCOMPARE(r.version, quint16(2));
    QCOMPARE(r.serialNumber, 1203u);
    QCOMPARE(r.sampleRate, 7800u);
    QCOMPARE(r.duration, 10u);
    QCOMPARE(r.lsb, 0.001);
    QCOMPARE(r.sensorIdText(), QStringLiteral("ICMS-B123"));
    QCOMPARE(r.gain, quint16(16));
    QCOMPARE(r.sensorVariant, quint8(1));
    QCOMPARE(r.sensorCalScope, quint8(1));
    QCOMPARE(r.startTime, qint64(1700000000));
    QCOMPARE(r.electrodeLength, quint16(50));
    QCOMPARE(r.extra1, 1.5);
    QCOMPARE(r.extra2, -2.25);
    QCOMPARE(r.extra3, 3.125);

    // Any version but 1 is the 80-byte layout as it stands.
    h.version = 0;
    QVERIFY(writeBytes(path, channelHeaderBytes(h)));
    QCOMPARE(readDataFileHeader(path).electrodeLength, quint16(50));
    QCOMPARE(readDataFileHeader(path).sensorVariant, quint8(1));
}

void TestChannelDataFile::olderLayoutIsConverted()
{
    ChannelHeader h = instrumentHeader();
    h.version = 1;
    QByteArray bytes = channelHeaderBytes(h);
    put<quint8>(bytes, 38, 75);  // old electrode length
    put<float>(bytes, 48, 0.5f);
    put<float>(bytes, 52, -8.0f);
    put<float>(bytes, 56, 100.25f);
    const QString path = m_dir.filePath(QStringLiteral("old.dat"));
    QVERIFY(writeBytes(path, bytes));

    const DataFileHeader r = readDataFileHeader(path);
    QCOMPARE(r.version, quint16(1));
    QCOMPARE(r.sensorVariant, quint8(0));
    QCOMPARE(r.electrodeLength, quint16(75));
    QCOMPARE(r.extra1, 0.5);
    QCOMPARE(r.extra2, -8.0);
    QCOMPARE(r.extra3, 100.25);
    QCOMPARE(r.serialNumber, 1203u);
    QCOMPARE(r.lsb, 0.001);
    QCOMPARE(r.gain, quint16(16));
    QCOMPARE(r.sensorCalScope, quint8(1));
    QCOMPARE(r.startTime, qint64(1700000000));
}

void TestChannelDataFile::missingOrShortHeaderReadsAsZero()
{
    const QByteArray zeros(sizeof(DataFileHeader), '\0');
    DataFileHeader missing = readDataFileHeader(m_dir.filePath(QStringLiteral("none.dat")));
    QVERIFY(std::memcmp(&missing, zeros.constData(), sizeof(missing)) == 0);

    const QString path = m_dir.filePath(QStringLiteral("short.dat"));
    QVERIFY(writeBytes(path, channelHeaderBytes(instrumentHeader()).left(14)));
    const DataFileHeader r = readDataFileHeader(path);
    QCOMPARE(r.sampleRate, 7800u);
    QCOMPARE(r.duration, quint32(10 & 0xFFFF));  // two of its four bytes are present
    QCOMPARE(r.lsb, 0.0);
    QCOMPARE(r.gain, quint16(0));
}

void TestChannelDataFile::sensorIdIsBoundedByItsField()
{
    ChannelHeader h = instrumentHeader();
    h.sensorId = "ABCDEFGHIJKL";  // fills all 12 bytes, no terminating zero
    h.gain = 0x4141;              // would continue the text as "AA"
    const QString path = m_dir.filePath(QStringLiteral("id.dat"));
    QVERIFY(writeBytes(path, channelHeaderBytes(h)));
    QCOMPARE(readDataFileHeader(path).sensorIdText(), QStringLiteral("ABCDEFGHIJKL"));
}

void TestChannelDataFile::blocksAreScaledFromTheirOffset()
{
    const int N = 16384;
    ChannelHeader a = instrumentHeader();
    a.lsb = 0.05;
    ChannelHeader b = instrumentHeader();
    b.lsb = -0.025;
    const QString pathA = m_dir.filePath(QStringLiteral("2_CH4.dat"));
    const QString pathB = m_dir.filePath(QStringLiteral("2_CH2.dat"));
    QVERIFY(writeBytes(pathA, channelHeaderBytes(a) + sampleBytes(ramp(3 * N))));
    QVERIFY(writeBytes(pathB, channelHeaderBytes(b) + sampleBytes(ramp(3 * N, -1000))));

    // Block 2 starts at byte 1024 + 131072, i.e. with sample 2N.
    bool ok = false;
    const QList<QVector<double> > blocks = readChannelBlocks({pathA, pathB}, N, 2, &ok, false, false);
    QVERIFY(ok);
    QCOMPARE(blocks.size(), 2);
    QCOMPARE(blocks.at(0).size(), N);
    QCOMPARE(blocks.at(0).first(), 0.05 * (2 * N));
    QCOMPARE(blocks.at(0).last(), 0.05 * (3 * N - 1));
    QCOMPARE(blocks.at(1).first(), -0.025 * (2 * N - 1000));

    ok = false;
    QVERIFY(readChannelBlocks({}, N, 0, &ok, false, false).isEmpty());
    QVERIFY(ok);
    QCOMPARE(readChannelBlocks({pathA}, N, 1, nullptr, false, false).size(), 1);
}

void TestChannelDataFile::rangeCheckAtTheLimit()
{
    ChannelHeader unit = instrumentHeader();
    unit.lsb = 1.0;
    ChannelHeader fine = instrumentHeader();
    fine.lsb = 0.01;
    const QString over = m_dir.filePath(QStringLiteral("over.dat"));
    const QString under = m_dir.filePath(QStringLiteral("under.dat"));
    const QString negative = m_dir.filePath(QStringLiteral("negative.dat"));
    QVERIFY(writeBytes(over, channelHeaderBytes(unit) + sampleBytes({1, 2, 5000, 3})));
    QVERIFY(writeBytes(negative, channelHeaderBytes(unit) + sampleBytes({1, -5000, 2, 3})));
    QVERIFY(writeBytes(under, channelHeaderBytes(fine) + sampleBytes({499999, -499999, 0, 1})));

    bool ok = true;
    QVERIFY(readChannelBlocks({under, over}, 4, 0, &ok, false, false).isEmpty());
    QVERIFY(!ok);
    QVERIFY(readChannelBlocks({negative}, 4, 0, &ok, false, false).isEmpty());
    QVERIFY(!ok);

    const QList<QVector<double> > passed = readChannelBlocks({under}, 4, 0, &ok, false, false);
    QVERIFY(ok);
    QCOMPARE(passed.at(0).at(0), 499999 * 0.01);

    const QList<QVector<double> > unclipped = readChannelBlocks({over, negative}, 4, 0, &ok, true, false);
    QVERIFY(ok);
    QCOMPARE(unclipped.at(0).at(2), 5000.0);
    QCOMPARE(unclipped.at(1).at(1), -5000.0);

    // A damaged lsb that makes every sample not a number fails the check as well.
    ChannelHeader damaged = instrumentHeader();
    damaged.lsb = std::numeric_limits<double>::quiet_NaN();
    const QString notANumber = m_dir.filePath(QStringLiteral("nan.dat"));
    QVERIFY(writeBytes(notANumber, channelHeaderBytes(damaged) + sampleBytes({1, 2, 3, 4})));
    QVERIFY(readChannelBlocks({notANumber}, 4, 0, &ok, false, false).isEmpty());
    QVERIFY(!ok);
    // The pipeline's reader agrees, one channel at a time and side by side.
    const ChannelBlockReader reader({notANumber, under}, 4, ChannelBlockReader::Layout::Instrument, 0);
    double a[4], b[4];
    double* both[] = {a, b};
    QVERIFY(!reader.read(0, 0, a, false, false));
    QVERIFY(!reader.readAll(0, both, false, true));
    QVERIFY(reader.read(0, 0, a, true, false) && std::isnan(a[0]));
}

void TestChannelDataFile::detrendedBlocks()
{
    const int N = 64;
    QVector<qint32> line(2 * N);
    for (int i = 0; i < line.size(); ++i)
        line[i] = 300 + 7 * i;
    const QString path = m_dir.filePath(QStringLiteral("line.dat"));
    QVERIFY(writeBytes(path, channelHeaderBytes(instrumentHeader()) + sampleBytes(line)));
    bool ok = false;
    const QList<QVector<double> > blocks = readChannelBlocks({path}, N, 1, &ok, false, true);
    QVERIFY(ok);
    QCOMPARE(blocks.at(0).size(), N);
    for (double v : blocks.at(0))
        QVERIFY(std::fabs(v) < 1e-12);
}

void TestChannelDataFile::blockPastTheEndOfAPartialFileFails()
{
    int boxes = 0;
    setMessageBoxReceiver([&boxes](NoticeIcon, const QString&, const QString&) { ++boxes; });

    // The header promises 10 s at 7800 Hz, the download stopped after 1.5 blocks.
    const int N = 1024;
    const QString path = m_dir.filePath(QStringLiteral("partial.dat"));
    QVERIFY(writeBytes(path, channelHeaderBytes(instrumentHeader()) + sampleBytes(ramp(N + N / 2))));
    bool ok = false;
    QCOMPARE(readChannelBlocks({path}, N, 0, &ok, false, false).size(), 1);
    QVERIFY(ok);
    QVERIFY(readChannelBlocks({path}, N, 1, &ok, false, false).isEmpty());
    QVERIFY(!ok);
    ok = true;
    QVERIFY(readChannelBlocks({path}, N, 2, &ok, false, false).isEmpty());
    QVERIFY(!ok);
    ok = true;
    QVERIFY(readChannelBlocks({path}, N, -1, &ok, false, false).isEmpty());
    QVERIFY(!ok);
    ok = true;
    QVERIFY(readChannelBlocks({path}, 0x7fffffff, 0x7fffffff, &ok, false, false).isEmpty());
    QVERIFY(!ok);

    QCoreApplication::processEvents();
    QCOMPARE(boxes, 0);  // no box: like a block out of range
    setMessageBoxReceiver(nullptr);
}

void TestChannelDataFile::unopenableFileFailsWithCriticalBox()
{
    QList<QStringList> boxes;
    setMessageBoxReceiver([&boxes](NoticeIcon icon, const QString& title, const QString& text) {
        boxes.append({QString::number(int(icon)), title, text});
    });

    const QString good = m_dir.filePath(QStringLiteral("good.dat"));
    const QString missing = m_dir.filePath(QStringLiteral("3_CH5.dat"));
    QVERIFY(writeBytes(good, channelHeaderBytes(instrumentHeader()) + sampleBytes(ramp(16))));
    bool ok = true;
    QVERIFY(readChannelBlocks({good, missing}, 16, 0, &ok, false, false).isEmpty());
    QVERIFY(!ok);

    QTRY_COMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).at(0), QString::number(int(NoticeIcon::Critical)));
    QCOMPARE(boxes.at(0).at(1), QStringLiteral("file critical"));
    QCOMPARE(boxes.at(0).at(2), missing + QStringLiteral("file is can not open !"));
    setMessageBoxReceiver(nullptr);
}

void TestChannelDataFile::rawFilesStartAtZeroWithTheirOwnScale()
{
    const double fastScale = 1500.0 / 4194304.0;
    const double slowScale = 2500.0 / 4294967296.0;
    const QString path = m_dir.filePath(QStringLiteral("raw.bin.dat"));
    // 2500 mV lies between counts 6990506 and 6990507 at the fast scale.
    QVERIFY(writeBytes(path, sampleBytes({100, -6990506, 5, 6, 6990507, 1, 2, 3})));

    bool ok = false;
    QList<QVector<double> > blocks = readRawChannelBlocks({path}, 4, 0, 7800, &ok, false, false);
    QVERIFY(ok);
    QCOMPARE(blocks.at(0).at(0), 100 * fastScale);
    QCOMPARE(blocks.at(0).at(1), -6990506 * fastScale);

    QVERIFY(readRawChannelBlocks({path}, 4, 1, 7800, &ok, false, false).isEmpty());
    QVERIFY(!ok);
    blocks = readRawChannelBlocks({path}, 4, 1, 488, &ok, false, false);
    QVERIFY(ok);
    QCOMPARE(blocks.at(0).at(0), 6990507 * slowScale);
    // 4096 Hz itself is a slow rate.
    QCOMPARE(readRawChannelBlocks({path}, 4, 0, 4096, &ok, false, false).at(0).at(0), 100 * slowScale);

    QVERIFY(readRawChannelBlocks({path}, 4, 2, 488, &ok, false, false).isEmpty());
    QVERIFY(!ok);
}

void TestChannelDataFile::detrendLinearRemovesMeanAndLine()
{
    QVector<double> line(101);
    for (int i = 0; i < line.size(); ++i)
        line[i] = -3.5 + 0.25 * i;
    for (double v : detrendLinear(line))
        QVERIFY(std::fabs(v) < 1e-12);

    // Mean zero, and a quadratic keeps its curvature.
    QVector<double> curve(50);
    for (int i = 0; i < curve.size(); ++i)
        curve[i] = 0.01 * i * i + 3;
    const QVector<double> d = detrendLinear(curve);
    double sum = 0;
    for (double v : d)
        sum += v;
    QVERIFY(std::fabs(sum) < 1e-10);
    QVERIFY(d.first() > 0 && d.last() > 0 && d.at(25) < 0);

    QVERIFY(detrendLinear({}).isEmpty());
    QCOMPARE(detrendLinear({42.0}), QVector<double>({0.0}));
}

QTEST_GUILESS_MAIN(TestChannelDataFile)

#include "tst_channeldatafile.moc"
