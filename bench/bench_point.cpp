// Timing of a full point: 4 groups (250000, 7800, 488 and 61 Hz), 6 channels, 3 channel
// pairs, 50 blocks of 16384 samples per channel, from the files on disk to the written
// tables, by the library and by the straight evaluation of the same formulas.
// Run by hand: build/bench/bench_point [rounds]

#include "PipelineFixtures.h"
#include "PointCalculation.h"
#include "ReferencePipeline.h"
#include "SoundingMerge.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <ctime>

using namespace fixtures;

namespace {

const int N = 16384;
const int Blocks = 50;
const quint32 Rates[] = {250000, 7800, 488, 61};  // groups 1 to 4, as the task form orders them

struct Times
{
    double wall = 0;  // s
    double cpu = 0;   // s, all threads of the process
};

double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

template <typename Body>
Times measure(Body body)
{
    QElapsedTimer timer;
    const double cpu0 = cpuSeconds();
    timer.start();
    body();
    return Times{timer.nsecsElapsed() * 1e-9, cpuSeconds() - cpu0};
}

QString bandFolder(quint32 rate)
{
    return rate > 4000 ? "/High/" : rate <= 100 ? "/Low/" : "/Mid/";
}

CalibrationEntry slopedEntry(const QString& name, double amplitude, double phase)
{
    CalibrationEntry e{name, {}};
    for (double f = 0.001; f < 1e6; f *= 2.5)
        e.points.append({f, amplitude * (1 + 0.1 * std::log10(f * 1000)), phase + 3 * std::log10(f * 1000)});
    return e;
}

QVector<CalibrationEntry> library()
{
    QVector<CalibrationEntry> entries{slopedEntry("Sensor/FLAT-E", 1.0, 0), slopedEntry("Sensor/FLAT-H", 0.8, 15)};
    for (quint32 rate : Rates) {
        for (const char* channel : {"Hx", "Hy", "Hz", "E0", "E1", "E2"})
            entries.append(slopedEntry(QStringLiteral("1203%1%2-1").arg(bandFolder(rate), channel), 1.2, -5));
    }
    return entries;
}

bool writePoint(const QString& pointDir)
{
    int g = 1;
    for (quint32 rate : Rates) {
        ChannelHeader h;
        h.sampleRate = rate;
        h.duration = quint32(std::ceil(double(Blocks) * N / rate));
        ChannelHeader e = h;
        e.sensorId = "FLAT-E";
        e.electrodeLength = 50;
        const QVector<qint32> hx = noise(Blocks * N, 10 * g + 1);
        const QVector<qint32> hy = noise(Blocks * N, 10 * g + 2);
        const QVector<qint32> hz = noise(Blocks * N, 10 * g + 3);
        auto mix = [&](const QVector<qint32>& m, int k, quint32 seed) {
            QVector<qint32> out = noise(Blocks * N, seed, 2000);
            for (int i = 0; i < out.size(); ++i)
                out[i] += k * m.at(i);
            return out;
        };
        if (!writeChannelFile(channelFilePath(pointDir, g, 1), h, hx)
            || !writeChannelFile(channelFilePath(pointDir, g, 2), h, hy)
            || !writeChannelFile(channelFilePath(pointDir, g, 3), h, hz)
            || !writeChannelFile(channelFilePath(pointDir, g, 4), e, mix(hx, 2, 10 * g + 4))
            || !writeChannelFile(channelFilePath(pointDir, g, 5), e, mix(hy, 3, 10 * g + 5))
            || !writeChannelFile(channelFilePath(pointDir, g, 6), e, mix(hy, 1, 10 * g + 6)))
            return false;
        ++g;
    }
    return true;
}

// The driver's steps with the straight pipeline behind them.
FreqImpData referencePair(const QString& pointDir, int group, int a, int b)
{
    const QStringList files{channelFilePath(pointDir, group, a + 1), channelFilePath(pointDir, group, b + 1)};
    QMap<int, QVector<CalibrationData> > board, sensor;
    const char* names[] = {"Hx", "Hy", "Hz", "E0", "E1", "E2"};
    const int channels[] = {a, b};
    DataFileHeader first = readDataFileHeader(files.first());
    for (int i = 0; i < 2; ++i) {
        const DataFileHeader h = readDataFileHeader(files.at(i));
        board[i] = readBinBoardCalibration(QString::number(h.serialNumber) + bandFolder(h.sampleRate)
                                           + names[channels[i]] + "-" + QString::number(h.gain));
        QString sensorName = "Sensor/" + h.sensorIdText();
        sensor[i] = readBinSensorCalibration(sensorName, h.sensorVariant != 0);
    }
    return reference::realProcess(files, board, sensor, {double(first.electrodeLength), 1.0}, first.sampleRate,
                                  first.duration, first.sensorCalScope == 0, N, 50, true, 0.5, {});
}

// Every pair of every group as its own pool task, merged in the point's group order.
void referencePoint(const QString& pointDir, const st_PointParam& param, const QString& table,
                    const QString& crossTable)
{
    QVector<QFuture<FreqImpData> > futures;
    QVector<int> keys;
    for (int g = param.GroupNum; g >= 1; --g) {
        for (int i = 0; i < 3; ++i) {
            const int m = (param.CHMatch >> (2 * i)) & 3;
            if (m == 0)
                continue;
            keys.append(i);
            futures.append(QtConcurrent::run([=] { return referencePair(pointDir, g, i + 3, m - 1); }));
        }
    }
    PointResult result;
    PointCrossPower cross;
    for (int t = 0; t < futures.size(); ++t) {
        const FreqImpData data = futures[t].result();
        if (data.impedance.isEmpty())
            continue;
        const int key = keys.at(t);
        result[key] = result.contains(key) ? mergeImpedanceLists(result[key], data.impedance) : data.impedance;
        cross[key] = cross.contains(key) ? mergeCrossSpectra(cross[key], data.crossPower) : data.crossPower;
    }
    writeImpedanceFile(table, result);
    writeCrossPowerFile(crossTable, cross);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3;
    QTextStream out(stdout);

    QTemporaryDir project;
    const QString pointDir = project.filePath("7");
    QDir().mkpath(pointDir);
    if (!installCalibrationLibrary(QCoreApplication::applicationDirPath(), library()) || !writePoint(pointDir)) {
        out << "cannot write the point's files\n";
        return 1;
    }
    st_PointParam param = defaultPointParam();
    param.Pos.ID = 7;
    param.GroupNum = 4;
    param.CHSelect = 0x3B;
    param.CHMatch = 0x29;  // E0-Hx, E1-Hy, E2-Hy
    const QString table = impedanceTablePath(pointDir, param);
    const QString crossTable = crossPowerTablePath(pointDir, param);

    out << "point: 4 groups (250000, 7800, 488, 61 Hz), 6 channels, 3 pairs, " << Blocks << " blocks of " << N
        << ", pool threads " << QThreadPool::globalInstance()->maxThreadCount() << "\n";
    out.flush();

    // Rounds alternate the two, so a busy machine slows both alike; the best of the rounds
    // is compared. The library's first run builds its per-rate weights inside the timing.
    // BENCH_LIBRARY_ONLY=1 skips the reference (for profiling, or many library rounds).
    const bool libraryOnly = qEnvironmentVariableIntValue("BENCH_LIBRARY_ONLY") == 1;
    QVector<Times> references;
    QVector<Times> runs;
    auto line = [&](const char* what, int round, const Times& t) {
        out << QString("%1 round %2  wall %3 s  cpu %4 s\n").arg(what).arg(round).arg(t.wall, 0, 'f', 3)
                   .arg(t.cpu, 0, 'f', 3);
        out.flush();
    };
    for (int r = 0; r < std::max(rounds, 1); ++r) {
        if (!libraryOnly) {
            references.append(measure([&] {
                referencePoint(pointDir, param, project.filePath("ref.txt"), project.filePath("ref_CP.txt"));
            }));
            line("reference", r + 1, references.last());
        }
        runs.append(measure([&] { calcPointData(pointDir, param, nullptr, true); }));
        line("library  ", r + 1, runs.last());
    }
    // Minimum and median: the machine is shared, so single rounds say little.
    auto spread = [](const QVector<Times>& all, bool cpu) {
        QVector<double> values;
        for (const Times& t : all)
            values.append(cpu ? t.cpu : t.wall);
        std::sort(values.begin(), values.end());
        return QString("min %1 s, median %2 s").arg(values.first(), 0, 'f', 3).arg(values.at(values.size() / 2), 0, 'f', 3);
    };
    out << "library point wall: " << spread(runs, false) << "; cpu: " << spread(runs, true) << "\n";
    if (libraryOnly)
        return 0;
    out << "reference point wall: " << spread(references, false) << "; cpu: " << spread(references, true) << "\n";
    auto best = [](const QVector<Times>& all) {
        Times t = all.first();
        for (const Times& x : all) {
            t.wall = std::min(t.wall, x.wall);
            t.cpu = std::min(t.cpu, x.cpu);
        }
        return t;
    };
    const Times reference = best(references);
    const Times library = best(runs);
    const Times first = runs.first();
    out << QString("speed-up, best against best: wall %1x  cpu %2x\n")
               .arg(reference.wall / library.wall, 0, 'f', 1).arg(reference.cpu / library.cpu, 0, 'f', 1);
    out << QString("speed-up, best reference against the library's first run: wall %1x  cpu %2x\n")
               .arg(reference.wall / first.wall, 0, 'f', 1).arg(reference.cpu / first.cpu, 0, 'f', 1);
    const bool same = fileBytes(table) == fileBytes(project.filePath("ref.txt"))
                      && fileBytes(crossTable) == fileBytes(project.filePath("ref_CP.txt"))
                      && !fileBytes(table).isEmpty();
    out << "tables identical to the reference: " << (same ? "yes" : "NO") << "\n";
    return same ? 0 : 1;
}
