#include "CalibrationLibrary.h"
#include "PipelineFixtures.h"
#include "SpectralPipeline.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

struct Record
{
    double frequency;
    double amplitude;
    double phaseDegrees;
};

struct Entry
{
    QByteArray name;
    QVector<Record> records;
    qint64 extraBytes = 0;     // data length beyond the whole records
    qint64 offsetOverride = -1;
    qint64 lengthOverride = -1;
    bool overrideOffset = false;
    bool overrideLength = false;
};

template <typename T>
void put(QByteArray& bytes, qint64 offset, T value)
{
    qToLittleEndian<T>(value, bytes.data() + offset);
}

// A library laid out as the calibration tool writes it: header, directory, entry data.
QByteArray library(const QVector<Entry>& entries, quint16 magic = 0x544D, qint64 generated = 1600000000123,
                   quint32 countOverride = 0)
{
    QByteArray bytes(16 + 80 * entries.size(), '\0');
    put<quint16>(bytes, 0, magic);
    put<quint32>(bytes, 4, countOverride ? countOverride : quint32(entries.size()));
    put<qint64>(bytes, 8, generated);
    for (int i = 0; i < entries.size(); ++i) {
        const Entry& e = entries.at(i);
        const qint64 dir = 16 + 80 * i;
        std::memcpy(bytes.data() + dir, e.name.constData(), size_t(qMin(64, e.name.size())));
        QByteArray data(e.records.size() * 24 + int(e.extraBytes), '\0');
        for (int k = 0; k < e.records.size(); ++k) {
            put<double>(data, 24 * k, e.records.at(k).frequency);
            put<double>(data, 24 * k + 8, e.records.at(k).amplitude);
            put<double>(data, 24 * k + 16, e.records.at(k).phaseDegrees);
        }
        put<qint64>(bytes, dir + 64, e.overrideOffset ? e.offsetOverride : bytes.size());
        put<qint64>(bytes, dir + 72, e.overrideLength ? e.lengthOverride : data.size());
        bytes.append(data);
    }
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QVector<Record> Table = {{1, 2, 90}, {10, 4, -45}, {100, 8, 180}};

} // namespace

class TestCalibrationLibrary : public QObject
{
    Q_OBJECT
private slots:
    void indexInNameOrderWithoutForeignLibraries();
    void entryReadersTakeTheFirstLibraryWithAResponse();
    void sensorVariantAndAmplitudeScaling();
    void damagedLibrariesAndEntriesAreSkipped();
    void interpolationAtBetweenAndOutsideTheTable();
    void resamplingSortsAndFillsTheComplexResponse();
    void overflowingInterpolationMakesCalibrationUnusable();
};

void TestCalibrationLibrary::indexInNameOrderWithoutForeignLibraries()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("b.bin"), library({{"1203/High/Hx-4", Table}, {"Sensor/S1", Table}})));
    QVERIFY(writeFile(dir.filePath("A.bin"), library({{"Sensor/FIRST", Table}})));
    QVERIFY(writeFile(dir.filePath("0.bin"), library({{"Sensor/FOREIGN", Table}}, 0x4D54)));
    QVERIFY(writeFile(dir.filePath("c.txt"), library({{"Sensor/TEXT", Table}})));
    QVERIFY(QDir(dir.path()).mkdir("d.bin"));

    QCOMPARE(readBinIndex(dir.path()),
             QStringList({"Sensor/FIRST", "1203/High/Hx-4", "Sensor/S1"}));
    // The entry readers do not look at the magic.
    QCOMPARE(readBinBoardCalibration("Sensor/FOREIGN", dir.path()).size(), 3);
    QVERIFY(readBinBoardCalibration("Sensor/TEXT", dir.path()).isEmpty());
    QVERIFY(readBinIndex(dir.filePath("nothing-here")).isEmpty());
}

void TestCalibrationLibrary::entryReadersTakeTheFirstLibraryWithAResponse()
{
    QTemporaryDir dir;
    Entry single{"Sensor/X", {{5, 1, 0}}};
    single.extraBytes = 20;  // 44 bytes: one whole record
    QVERIFY(writeFile(dir.filePath("1.bin"), library({single})));
    Entry partial{"Sensor/X", {{1, 3, 30}, {2, 6, 60}}};
    partial.extraBytes = 2;  // 50 bytes: two records, the rest ignored
    QVERIFY(writeFile(dir.filePath("2.bin"), library({{"Sensor/Y", Table}, partial})));
    QVERIFY(writeFile(dir.filePath("3.bin"), library({{"Sensor/X", Table}})));

    // A single point is no response: the next library's entry counts.
    const QVector<CalibrationData> x = readBinBoardCalibration("Sensor/X", dir.path());
    QCOMPARE(x.size(), 2);
    QCOMPARE(x.at(0).frequency, 1.0);
    QCOMPARE(x.at(0).amplitude, 3.0);
    QCOMPARE(x.at(0).phase, 30 * 3.141592653 / 180);
    QCOMPARE(x.at(1).phase, 60 * 3.141592653 / 180);
    QCOMPARE(x.at(1).re, 0.0);
    QCOMPARE(x.at(1).im, 0.0);

    // Only single-point entries anywhere: missing.
    QVERIFY(writeFile(dir.filePath("2.bin"), library({{"Sensor/Y", Table}})));
    QVERIFY(writeFile(dir.filePath("3.bin"), library({{"Sensor/Z", Table}})));
    QVERIFY(readBinBoardCalibration("Sensor/X", dir.path()).isEmpty());
    QVERIFY(readBinBoardCalibration("Sensor/x", dir.path()).isEmpty());
}

void TestCalibrationLibrary::sensorVariantAndAmplitudeScaling()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("lib.bin"), library({{"Sensor/ICMS-B77", {{1, 2, 0}, {10, 3, 0}}},
                                                         {"Sensor/ICMS-B77C", {{2, 5, 0}, {20, 7, 0}}},
                                                         {"Sensor/ICMS-B88", Table},
                                                         {"Sensor/COIL", Table},
                                                         {"ICMS/High/Hx-1", Table}})));
    QString name = "Sensor/ICMS-B77";
    QVector<CalibrationData> c = readBinSensorCalibration(name, true, dir.path());
    QCOMPARE(name, QStringLiteral("Sensor/ICMS-B77C"));
    QCOMPARE(c.size(), 2);
    QCOMPARE(c.at(0).amplitude, 5 * 1000 * 2.0);
    QCOMPARE(c.at(1).amplitude, 7 * 1000 * 20.0);

    name = "Sensor/ICMS-B77";
    c = readBinSensorCalibration(name, false, dir.path());
    QCOMPARE(name, QStringLiteral("Sensor/ICMS-B77"));
    QCOMPARE(c.at(1).amplitude, 3 * 1000 * 10.0);

    // The "C" entry may be absent: then the sensor has no response at all.
    name = "Sensor/ICMS-B88";
    QVERIFY(readBinSensorCalibration(name, true, dir.path()).isEmpty());
    QCOMPARE(name, QStringLiteral("Sensor/ICMS-B88C"));

    name = "Sensor/COIL";
    QCOMPARE(readBinSensorCalibration(name, true, dir.path()).at(2).amplitude, 8.0);
    QCOMPARE(readBinBoardCalibration("ICMS/High/Hx-1", dir.path()).at(2).amplitude, 8.0);
}

void TestCalibrationLibrary::damagedLibrariesAndEntriesAreSkipped()
{
    QTemporaryDir dir;
    // A directory count far beyond the file: no allocation, library skipped.
    QVERIFY(writeFile(dir.filePath("1.bin"), library({{"Sensor/A", Table}}, 0x544D, 0, 0xFFFFFFFFu)));
    QVERIFY(writeFile(dir.filePath("2.bin"), QByteArray("MT\0\0", 4)));

    Entry beyond{"Sensor/BEYOND", Table};
    beyond.overrideOffset = true;
    beyond.offsetOverride = 1 << 30;
    Entry negative{"Sensor/NEGATIVE", Table};
    negative.overrideLength = true;
    negative.lengthOverride = -24;
    Entry tooLong{"Sensor/LONG", Table};
    tooLong.overrideLength = true;
    tooLong.lengthOverride = 0x7fffffffffffff00;
    const QByteArray longName(64, 'N');  // fills the field, no terminating zero
    QVERIFY(writeFile(dir.filePath("3.bin"), library({beyond, negative, tooLong, {longName, Table}, {"Sensor/A", Table}})));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("1\\.bin.*4294967295 directory entries"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("2\\.bin.*too short"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Sensor/BEYOND.*outside the file"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Sensor/NEGATIVE.*outside the file"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Sensor/LONG.*outside the file"));
    QCOMPARE(readBinIndex(dir.path()), QStringList({QString(longName), "Sensor/A"}));

    QVERIFY(readBinBoardCalibration("Sensor/BEYOND", dir.path()).isEmpty());
    QVERIFY(readBinBoardCalibration("Sensor/LONG", dir.path()).isEmpty());
    QCOMPARE(readBinBoardCalibration(QString(longName), dir.path()).size(), 3);
    // Found in the sound library after the damaged one.
    QCOMPARE(readBinBoardCalibration("Sensor/A", dir.path()).size(), 3);
}

void TestCalibrationLibrary::interpolationAtBetweenAndOutsideTheTable()
{
    const QVector<double> xs = {1, 2, 4, 8};
    const QVector<double> ys = {10, 20, 0, -40};
    QCOMPARE(linearInterpolation(xs, ys, 2), 20.0);
    QCOMPARE(linearInterpolation(xs, ys, 8), -40.0);
    QCOMPARE(linearInterpolation(xs, ys, 1.5), 15.0);
    QCOMPARE(linearInterpolation(xs, ys, 3), 10.0);
    QCOMPARE(linearInterpolation(xs, ys, 7), -30.0);
    QCOMPARE(linearInterpolation(xs, ys, 0.01), 10.0);
    QCOMPARE(linearInterpolation(xs, ys, 1e6), -40.0);
    // Equal abscissas never divide by zero: x equal to both takes the first.
    QCOMPARE(linearInterpolation({1, 2, 2, 3}, {0, 5, 9, 1}, 2), 5.0);
    QCOMPARE(linearInterpolation({1, 2, 2, 3}, {0, 5, 9, 1}, 2.5), 5.0);

    QCOMPARE(linearInterpolation({1}, {5}, 1), 0.0);
    QCOMPARE(linearInterpolation({1, 2}, {5}, 1), 0.0);
}

void TestCalibrationLibrary::resamplingSortsAndFillsTheComplexResponse()
{
    const double pi = 3.141592653589793;
    const QVector<CalibrationData> ascending = {{1, 2, 0, 0, 0}, {3, 4, pi / 2, 0, 0}, {5, 1, pi, 0, 0}};
    const QVector<CalibrationData> descending = {ascending.at(2), ascending.at(0), ascending.at(1)};
    const QVector<double> at = {0.5, 1, 2, 4, 5, 10};

    const QVector<CalibrationData> r = resampleCalibration(ascending, at);
    const QVector<CalibrationData> d = resampleCalibration(descending, at);
    QCOMPARE(r.size(), at.size());
    for (int i = 0; i < r.size(); ++i) {
        QCOMPARE(r.at(i).frequency, at.at(i));
        QCOMPARE(r.at(i).amplitude, d.at(i).amplitude);
        QCOMPARE(r.at(i).phase, d.at(i).phase);
        QCOMPARE(r.at(i).re, r.at(i).amplitude * std::cos(r.at(i).phase));
        QCOMPARE(r.at(i).im, r.at(i).amplitude * std::sin(r.at(i).phase));
    }
    QCOMPARE(r.at(0).amplitude, 2.0);
    QCOMPARE(r.at(2).amplitude, 3.0);
    QCOMPARE(r.at(2).phase, pi / 4);
    QCOMPARE(r.at(3).amplitude, 2.5);
    QCOMPARE(r.at(5).phase, pi);
    QVERIFY(std::fabs(r.at(3).im - 2.5 * std::sin(3 * pi / 4)) < 1e-15);
}

// Two finite amplitudes whose difference overflows: the response in between is inf, so
// the calibration is refused with a warning and the pair gives no records.
void TestCalibrationLibrary::overflowingInterpolationMakesCalibrationUnusable()
{
    const QVector<CalibrationData> huge = {{0.001, -1.5e308, 0, 0, 0}, {1e6, 1.5e308, 0, 0, 0}};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("resampleCalibration.*unusable"));
    const QVector<CalibrationData> r = resampleCalibration(huge, {0.0001, 500, 2e6});
    QCOMPARE(r.size(), 3);
    QCOMPARE(r.at(0).re, -1.5e308);  // the end values are held and stay usable
    QVERIFY(std::isnan(r.at(1).re) && std::isnan(r.at(1).im));
    QCOMPARE(r.at(2).re, 1.5e308);

    QTemporaryDir dir;
    fixtures::ChannelHeader header;
    header.sampleRate = 2400;
    header.duration = 20;
    const QStringList files{dir.filePath("1_CH4.dat"), dir.filePath("1_CH1.dat")};
    QVERIFY(fixtures::writeChannelFile(files.at(0), header, fixtures::noise(48000, 1)));
    QVERIFY(fixtures::writeChannelFile(files.at(1), header, fixtures::noise(48000, 2)));
    const QVector<CalibrationData> flat = {{0.001, 1, 0, 0, 0}, {1e6, 1, 0, 0, 0}};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("resampleCalibration.*unusable"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("1_CH1\\.dat calibration is zero or not a number"));
    const FreqImpData result = TimeSeriesProcess::realProcess(28, files, {{0, flat}, {1, huge}}, {{0, flat}, {1, flat}},
                                                              {50, 1}, 2400, 20, true, 2048, 2, 50, true, 0.5, {});
    QVERIFY(result.impedance.isEmpty() && result.crossPower.isEmpty());
}

QTEST_GUILESS_MAIN(TestCalibrationLibrary)

#include "tst_calibrationlibrary.moc"
