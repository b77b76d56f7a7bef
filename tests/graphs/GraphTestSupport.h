#pragma once

// Fixtures shared by the graph tests: channel files on disk, the application font and
// the folder the screenshots go to.

#include "AppGlobals.h"
#include "ChannelDataFile.h"
#include "OperatorMessages.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QSaveFile>
#include <QStringList>
#include <QVector>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace graphtest {

struct ChannelFileSpec
{
    uint32_t serialNumber = 2801;
    uint32_t sampleRate = 1000;
    uint32_t duration = 20;
    double lsb = 0.01;
    const char* sensorId = "ICMS-0001";
    uint16_t gain = 4;
    uint16_t electrodeLength = 0;
    int64_t startTime = 1767225600; // 2026-01-01 00:00:00 UTC
};

// Writes a channel file: the 80-byte header record, zeros up to byte 1024, then the counts.
inline bool writeChannelFile(const QString& path, const ChannelFileSpec& spec, const QVector<qint32>& counts)
{
    DataFileHeader header;
    std::memset(&header, 0, sizeof header);
    header.tag = 0x5A5A;
    header.version = 2;
    header.serialNumber = spec.serialNumber;
    header.sampleRate = spec.sampleRate;
    header.duration = spec.duration;
    header.lsb = spec.lsb;
    std::memcpy(header.sensorId, spec.sensorId, std::min(sizeof header.sensorId, std::strlen(spec.sensorId)));
    header.gain = spec.gain;
    header.startTime = spec.startTime;
    header.electrodeLength = spec.electrodeLength;

    QByteArray bytes(1024, '\0');
    std::memcpy(bytes.data(), &header, sizeof header);
    QByteArray samples(counts.size() * 4, '\0');
    for (int i = 0; i < counts.size(); ++i)
        qToLittleEndian<qint32>(counts[i], samples.data() + 4 * i);
    bytes += samples;

    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The counts i * step + offset of a ramp, a shape whose every sample can be checked.
inline QVector<qint32> ramp(int count, qint32 offset = 0, qint32 step = 1)
{
    QVector<qint32> counts(count);
    for (int i = 0; i < count; ++i)
        counts[i] = offset + i * step;
    return counts;
}

// The program's font is "SIMSUN", which this system lacks: the Chinese texts must still
// come out through the fallback to an installed Chinese font.
inline bool setUpAppFont()
{
    AppFont = QFont(QStringLiteral("SIMSUN"));
    AppFont.setPixelSize(14);
    return !QFontDatabase().families(QFontDatabase::SimplifiedChinese).isEmpty();
}

inline QString screenshotDir()
{
    const QString dir = QStringLiteral(VARN_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    return dir;
}

// Puts a checked screenshot where people look for it. The copy replaces the old file in
// one step: other runs of the same test may be reading or writing it at the same time.
inline bool publishScreenshot(const QString& file, const QString& name)
{
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    QSaveFile target(screenshotDir() + QLatin1Char('/') + name);
    return target.open(QIODevice::WriteOnly) && target.write(source.readAll()) == source.size() && target.commit();
}

// Collects the snackbar messages of the test.
struct SnackbarCatcher
{
    QStringList messages;
    SnackbarCatcher()
    {
        setSnackbarReceiver([this](const QString& message) { messages << message; });
    }
    ~SnackbarCatcher() { setSnackbarReceiver(SnackbarReceiver()); }
};

} // namespace graphtest
