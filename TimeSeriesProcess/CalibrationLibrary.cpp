#include "CalibrationLibrary.h"

#include "DateFormatting.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

namespace {

const quint16 LibraryMagic = 0x544D;
const qint64 LibraryHeaderSize = 16;
const qint64 DirectoryEntrySize = 80;
const int EntryNameSize = 64;
const qint64 RecordSize = 24;

struct LibraryEntry
{
    QString name;
    qint64 offset;
    qint64 length;
};

struct LibraryDirectory
{
    quint16 magic = 0;
    qint64 generated = 0;
    QVector<LibraryEntry> entries;
};

QStringList libraryFiles(const QString& folder)
{
    const QDir dir(folder);
    QStringList paths;
    const QStringList names = dir.entryList({QStringLiteral("*.bin")}, QDir::Files | QDir::NoDotAndDotDot,
                                            QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
        paths.append(dir.filePath(name));
    return paths;
}

// Reads the header and the directory of an open library. Every count, offset and length
// is checked against the file size before anything is allocated or read.
bool readDirectory(const char* caller, QFile& file, bool requireMagic, LibraryDirectory* directory)
{
    const qint64 fileSize = file.size();
    const QByteArray header = file.read(LibraryHeaderSize);
    if (header.size() != LibraryHeaderSize) {
        qWarning().noquote() << caller << file.fileName() << "is too short for a calibration library";
        return false;
    }
    const uchar* h = reinterpret_cast<const uchar*>(header.constData());
    directory->magic = qFromLittleEndian<quint16>(h);
    const quint32 count = qFromLittleEndian<quint32>(h + 4);
    directory->generated = qFromLittleEndian<qint64>(h + 8);
    if (requireMagic && directory->magic != LibraryMagic)
        return false;

    if (qint64(count) > (fileSize - LibraryHeaderSize) / DirectoryEntrySize) {
        qWarning().noquote() << caller << file.fileName() << "has" << count
                             << "directory entries, more than the file holds; library skipped";
        return false;
    }
    const QByteArray raw = file.read(qint64(count) * DirectoryEntrySize);
    if (raw.size() != qint64(count) * DirectoryEntrySize) {
        qWarning().noquote() << caller << file.fileName() << "directory can not be read; library skipped";
        return false;
    }

    directory->entries.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        const char* e = raw.constData() + qint64(i) * DirectoryEntrySize;
        const uchar* u = reinterpret_cast<const uchar*>(e);
        LibraryEntry entry;
        entry.name = QString::fromUtf8(e, int(qstrnlen(e, EntryNameSize)));
        entry.offset = qFromLittleEndian<qint64>(u + 64);
        entry.length = qFromLittleEndian<qint64>(u + 72);
        if (entry.offset < 0 || entry.length < 0 || entry.offset > fileSize || entry.length > fileSize - entry.offset) {
            qWarning().noquote() << caller << file.fileName() << "entry" << entry.name
                                 << "lies outside the file; entry skipped";
            continue;
        }
        directory->entries.append(entry);
    }
    return true;
}

QVector<CalibrationData> readEntry(const char* caller, const QString& name, const QString& folder)
{
    for (const QString& path : libraryFiles(folder)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        LibraryDirectory directory;
        if (!readDirectory(caller, file, false, &directory))
            continue;
        for (const LibraryEntry& entry : directory.entries) {
            if (entry.name != name)
                continue;
            const qint64 count = entry.length / RecordSize;
            if (count < 2) {
                qWarning().noquote() << caller << name << "in" << path << "has" << count
                                     << "calibration points; passed over";
                break;
            }
            if (!file.seek(entry.offset))
                break;
            const QByteArray raw = file.read(count * RecordSize);
            if (raw.size() != count * RecordSize)
                break;
            QVector<CalibrationData> result;
            result.reserve(int(count));
            const uchar* p = reinterpret_cast<const uchar*>(raw.constData());
            for (qint64 k = 0; k < count; ++k, p += RecordSize) {
                CalibrationData point;
                point.frequency = qFromLittleEndian<double>(p);
                point.amplitude = qFromLittleEndian<double>(p + 8);
                point.phase = qFromLittleEndian<double>(p + 16) * 3.141592653 / 180;
                result.append(point);
            }
            return result;
        }
    }
    return QVector<CalibrationData>();
}

} // namespace

QString calibrationLibraryFolder()
{
    // Qt caches the program's folder on first use without a lock: many pool threads asking
    // at once for the first time corrupt the heap. Asked once here, under the guard of a
    // function-local static, and never again.
    static const QString folder = QCoreApplication::applicationDirPath();
    return folder;
}

QStringList readBinIndex(const QString& folder)
{
    QStringList names;
    for (const QString& path : libraryFiles(folder)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        LibraryDirectory directory;
        if (!readDirectory("readBinIndex", file, true, &directory))
            continue;
        // The calculation's tasks read the index on pool threads, several at once.
        prepareDateFormatting();
        qInfo().noquote() << "readBinIndex"
                          << QDateTime::fromMSecsSinceEpoch(directory.generated)
                                 .toString(QStringLiteral("'Bin Gen on 'yyyy/MM/dd hh:mm:ss.zzz"));
        for (const LibraryEntry& entry : directory.entries)
            names.append(entry.name);
    }
    return names;
}

QVector<CalibrationData> readBinBoardCalibration(const QString& name, const QString& folder)
{
    return readEntry("readBinBoardCalibration", name, folder);
}

QVector<CalibrationData> readBinSensorCalibration(QString& name, bool variant, const QString& folder)
{
    if (variant && name.contains(QLatin1String("ICMS-B")))
        name.append(QLatin1Char('C'));
    QVector<CalibrationData> result = readEntry("readBinSensorCalibration", name, folder);
    // These sensors' tables hold the response per unit of field and frequency.
    if (name.contains(QLatin1String("ICMS"))) {
        for (CalibrationData& point : result)
            point.amplitude *= 1000 * point.frequency;
    }
    return result;
}

double linearInterpolation(const QVector<double>& xs, const QVector<double>& ys, double x)
{
    if (xs.size() != ys.size() || xs.size() < 2) {
        std::cerr << "linearInterpolation" << " Invalid input data! " << xs.size() << ys.size() << std::endl;
        return 0;
    }
    const int i = int(std::lower_bound(xs.constBegin(), xs.constEnd(), x) - xs.constBegin());
    if (i == 0)
        return ys.at(0);
    if (i == xs.size())
        return ys.at(xs.size() - 1);
    // xs[i - 1] < x <= xs[i], so the two abscissas differ here.
    return ys.at(i - 1) + (x - xs.at(i - 1)) * (ys.at(i) - ys.at(i - 1)) / (xs.at(i) - xs.at(i - 1));
}

QVector<CalibrationData> resampleCalibration(const QVector<CalibrationData>& calibration,
                                             const QVector<double>& frequencies)
{
    QVector<CalibrationData> sorted = calibration;
    std::sort(sorted.begin(), sorted.end(),
              [](const CalibrationData& a, const CalibrationData& b) { return a.frequency < b.frequency; });

    QVector<double> freqs;
    QVector<double> amplitudes;
    QVector<double> phases;
    freqs.reserve(sorted.size());
    amplitudes.reserve(sorted.size());
    phases.reserve(sorted.size());
    for (const CalibrationData& point : sorted) {
        freqs.append(point.frequency);
        amplitudes.append(point.amplitude);
        phases.append(point.phase);
    }

    QVector<CalibrationData> result;
    result.reserve(frequencies.size());
    bool overflowed = false;
    for (double f : frequencies) {
        const double a = linearInterpolation(freqs, amplitudes, f);
        const double p = linearInterpolation(freqs, phases, f);
        CalibrationData point{f, a, p, a * std::cos(p), a * std::sin(p)};
        // Finite table values can still overflow between two points: no response can be
        // taken from such a table, and its complex value says so to every user.
        if (!std::isfinite(point.re) || !std::isfinite(point.im)) {
            point.re = point.im = std::numeric_limits<double>::quiet_NaN();
            overflowed = overflowed || std::isfinite(f);
        }
        result.append(point);
    }
    if (overflowed)
        qWarning().noquote() << "resampleCalibration"
                             << "the calibration gives no finite response at every frequency; unusable";
    return result;
}
