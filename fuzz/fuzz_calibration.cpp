// A ".bin" calibration library in the program's folder: its index, the board and sensor
// lookups by every name it holds, and the resampling to the target frequencies. A
// library written in the calibration tool's layout reads back the values it was given.
#include "CalibrationLibrary.h"
#include "FuzzSupport.h"
#include "PipelineFixtures.h"
#include "StandardFrequencies.h"

#include <QDir>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

QString libraryFolder;
QString writtenFolder;

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void writeSeeds(const QString& folder)
{
    using fixtures::CalibrationEntry;
    fuzz::writeSeed(folder, "flat", fixtures::calibrationLibraryBytes(
                                        {fixtures::flatEntry("1203/High/Hy-16"), fixtures::flatEntry("Sensor/FLAT-H")}));
    CalibrationEntry sensor{"Sensor/ICMS-B0012C", {{0.001, 0.2, 90}, {1, 0.5, 45}, {100, 0.9, 3}, {10000, 0.7, -30}}};
    CalibrationEntry board{"1203/Low/E0-4", {{100, 1.1, -2}, {0.01, 0.9, 1}}};
    fuzz::writeSeed(folder, "icms_and_board", fixtures::calibrationLibraryBytes({sensor, board}));
    CalibrationEntry single{"Sensor/ONE", {{1, 1, 0}}};
    fuzz::writeSeed(folder, "single_point", fixtures::calibrationLibraryBytes({single, fixtures::flatEntry("Sensor/ICMS-B0012")}));
}

void lookUp(const QString& name, const QString& folder, const QVector<double>& at)
{
    const QVector<CalibrationData> board = readBinBoardCalibration(name, folder);
    FUZZ_CHECK(board.isEmpty() || board.size() >= 2);
    for (bool variant : {false, true}) {
        QString sensorName = name;
        const QVector<CalibrationData> sensor = readBinSensorCalibration(sensorName, variant, folder);
        FUZZ_CHECK(sensor.isEmpty() || sensor.size() >= 2);
        // As the pipeline does: only a response of two points or more is resampled.
        if (sensor.isEmpty())
            continue;
        const QVector<CalibrationData> resampled = resampleCalibration(sensor, at);
        FUZZ_CHECK(resampled.size() == at.size());
        for (const CalibrationData& p : resampled)
            FUZZ_CHECK((std::isfinite(p.re) && std::isfinite(p.im)) || (std::isnan(p.re) && std::isnan(p.im)));
    }
    if (!board.isEmpty())
        resampleCalibration(board, at);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialise(writeSeeds);
    libraryFolder = fuzz::scratch() + QStringLiteral("/library");
    writtenFolder = fuzz::scratch() + QStringLiteral("/written");
    QDir().mkpath(libraryFolder);
    QDir().mkpath(writtenFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    FUZZ_CHECK(fuzz::writeFile(libraryFolder + QStringLiteral("/Sensors.bin"), bytes));

    static const QVector<double> at = StandardFrequencies.mid(20, 60);
    const QStringList names = readBinIndex(libraryFolder);
    for (int i = 0; i < names.size() && i < 3; ++i)
        lookUp(names.at(i), libraryFolder, at);
    lookUp(QStringLiteral("Sensor/ICMS-B0012"), libraryFolder, at);

    // The input's bytes as the points of one entry, written in the tool's layout.
    fixtures::CalibrationEntry entry{QStringLiteral("Sensor/FUZZ-%1").arg(size), {}};
    for (size_t offset = 0; offset + 24 <= size && entry.points.size() < 16; offset += 24)
        entry.points.append({qFromLittleEndian<double>(data + offset), qFromLittleEndian<double>(data + offset + 8),
                             qFromLittleEndian<double>(data + offset + 16)});
    FUZZ_CHECK(fuzz::writeFile(writtenFolder + QStringLiteral("/Written.bin"), fixtures::calibrationLibraryBytes({entry})));
    FUZZ_CHECK(readBinIndex(writtenFolder) == QStringList{entry.name});
    const QVector<CalibrationData> back = readBinBoardCalibration(entry.name, writtenFolder);
    FUZZ_CHECK(back.size() == (entry.points.size() >= 2 ? entry.points.size() : 0));
    for (int i = 0; i < back.size(); ++i) {
        const fixtures::CalibrationPoint& p = entry.points.at(i);
        FUZZ_CHECK(sameBits(back.at(i).frequency, p.frequency) && sameBits(back.at(i).amplitude, p.amplitude));
        FUZZ_CHECK(sameBits(back.at(i).phase, p.phaseDegrees * 3.141592653 / 180) || std::isnan(p.phaseDegrees));
    }
    return 0;
}
