#pragma once
// Channel files and calibration libraries as the instrument and the calibration tool write
// them, for tests and benchmarks.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QVector>
#include <QtEndian>

#include <cstring>

namespace fixtures {

struct ChannelHeader
{
    quint16 tag = 0x4154;
    quint16 version = 2;
    quint32 serialNumber = 1203;
    quint32 sampleRate = 16384;
    quint32 duration = 3;  // seconds
    double lsb = 0.001;    // mV per count
    QByteArray sensorId = "FLAT-H";
    quint16 gain = 1;
    quint8 sensorVariant = 0;
    quint8 sensorCalScope = 1;  // sensor calibration only on the magnetic channel
    qint64 startTime = 1700000000;
    quint16 electrodeLength = 1000;
    double extra[3] = {0.0, 0.0, 0.0};
};

template <typename T>
inline void put(QByteArray& bytes, int offset, T value)
{
    qToLittleEndian<T>(value, bytes.data() + offset);
}

// The 1024-byte header: the 80-byte record, then zeros.
inline QByteArray channelHeaderBytes(const ChannelHeader& h)
{
    QByteArray bytes(1024, '\0');
    put<quint16>(bytes, 0, h.tag);
    put<quint16>(bytes, 2, h.version);
    put<quint32>(bytes, 4, h.serialNumber);
    put<quint32>(bytes, 8, h.sampleRate);
    put<quint32>(bytes, 12, h.duration);
    put<double>(bytes, 16, h.lsb);
    std::memcpy(bytes.data() + 24, h.sensorId.constData(), size_t(qMin(12, h.sensorId.size())));
    put<quint16>(bytes, 36, h.gain);
    put<quint8>(bytes, 38, h.sensorVariant);
    put<quint8>(bytes, 39, h.sensorCalScope);
    put<qint64>(bytes, 40, h.startTime);
    put<quint16>(bytes, 48, h.electrodeLength);
    put<double>(bytes, 56, h.extra[0]);
    put<double>(bytes, 64, h.extra[1]);
    put<double>(bytes, 72, h.extra[2]);
    return bytes;
}

inline QByteArray sampleBytes(const QVector<qint32>& counts)
{
    QByteArray bytes(counts.size() * 4, '\0');
    for (int i = 0; i < counts.size(); ++i)
        put<qint32>(bytes, 4 * i, counts.at(i));
    return bytes;
}

inline QByteArray channelFileBytes(const ChannelHeader& h, const QVector<qint32>& counts)
{
    return channelHeaderBytes(h) + sampleBytes(counts);
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool writeChannelFile(const QString& path, const ChannelHeader& h, const QVector<qint32>& counts)
{
    return writeBytes(path, channelFileBytes(h, counts));
}

// Uniform noise in -amplitude .. amplitude counts.
inline QVector<qint32> noise(int count, quint32 seed, int amplitude = 20000)
{
    QRandomGenerator rng(seed);
    QVector<qint32> counts(count);
    for (qint32& c : counts)
        c = qint32(rng.bounded(2 * amplitude + 1)) - amplitude;
    return counts;
}

inline QVector<qint32> scaled(const QVector<qint32>& counts, int factor)
{
    QVector<qint32> out(counts.size());
    for (int i = 0; i < counts.size(); ++i)
        out[i] = counts.at(i) * factor;
    return out;
}

// blocks blocks of N samples, block b being pattern times scaleOf(b).
template <typename ScaleOf>
QVector<qint32> scaledBlocks(const QVector<qint32>& pattern, int blocks, ScaleOf scaleOf)
{
    QVector<qint32> out;
    out.reserve(pattern.size() * blocks);
    for (int b = 0; b < blocks; ++b)
        out += scaled(pattern, scaleOf(b));
    return out;
}

struct CalibrationPoint
{
    double frequency;
    double amplitude;
    double phaseDegrees;
};

struct CalibrationEntry
{
    QString name;
    QVector<CalibrationPoint> points;
};

inline CalibrationEntry flatEntry(const QString& name, double amplitude = 1.0, double phaseDegrees = 0.0)
{
    return CalibrationEntry{name, {{0.001, amplitude, phaseDegrees}, {1.0e6, amplitude, phaseDegrees}}};
}

inline QByteArray calibrationLibraryBytes(const QVector<CalibrationEntry>& entries)
{
    const int headerSize = 16;
    const int entrySize = 80;
    int dataSize = 0;
    for (const CalibrationEntry& e : entries)
        dataSize += e.points.size() * 24;
    QByteArray bytes(headerSize + entries.size() * entrySize + dataSize, '\0');
    put<quint16>(bytes, 0, 0x544D);
    put<quint32>(bytes, 4, quint32(entries.size()));
    put<qint64>(bytes, 8, 1704067200000);
    qint64 offset = headerSize + entries.size() * entrySize;
    for (int i = 0; i < entries.size(); ++i) {
        const CalibrationEntry& e = entries.at(i);
        const QByteArray name = e.name.toUtf8().left(63);
        std::memcpy(bytes.data() + headerSize + i * entrySize, name.constData(), size_t(name.size()));
        put<qint64>(bytes, headerSize + i * entrySize + 64, offset);
        put<qint64>(bytes, headerSize + i * entrySize + 72, e.points.size() * 24);
        for (const CalibrationPoint& p : e.points) {
            put<double>(bytes, int(offset), p.frequency);
            put<double>(bytes, int(offset) + 8, p.amplitude);
            put<double>(bytes, int(offset) + 16, p.phaseDegrees);
            offset += 24;
        }
    }
    return bytes;
}

// Replaces every library of folder by one holding entries.
inline bool installCalibrationLibrary(const QString& folder, const QVector<CalibrationEntry>& entries)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.bin")}, QDir::Files))
        dir.remove(name);
    return writeBytes(dir.filePath(QStringLiteral("Fixture.bin")), calibrationLibraryBytes(entries));
}

inline QString channelFilePath(const QString& pointDir, int group, int channel)
{
    return QStringLiteral("%1/%2_CH%3.dat").arg(pointDir).arg(group).arg(channel);
}

} // namespace fixtures
