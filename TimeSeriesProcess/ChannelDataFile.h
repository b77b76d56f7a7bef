#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstddef>
#include <cstdint>

// The 80-byte header record at the start of a channel file "%1_CH%2.dat", copied byte for
// byte (little-endian). The samples follow at byte 1024 as signed 32-bit counts.
struct DataFileHeader
{
    uint16_t tag;
    uint16_t version;           // 1: the older 64-byte layout, converted on reading
    uint32_t serialNumber;      // recording board, names its calibration entry
    uint32_t sampleRate;        // Hz
    uint32_t duration;          // seconds
    double lsb;                 // mV per count
    char sensorId[12];          // zero-terminated unless it fills the field
    uint16_t gain;
    uint8_t sensorVariant;      // non-zero: the "C" entry of an "ICMS-B" sensor
    uint8_t sensorCalScope;     // 0: sensor calibration applies to both channels of a pair
    int64_t startTime;          // seconds since 1970-01-01 UTC
    uint16_t electrodeLength;   // metres
    uint8_t reserved[6];
    double extra1;
    double extra2;
    double extra3;

    // The sensor id as text, never read beyond its 12 bytes.
    QString sensorIdText() const;
};

static_assert(sizeof(DataFileHeader) == 80, "channel file header is 80 bytes");
static_assert(offsetof(DataFileHeader, lsb) == 16, "lsb at 16");
static_assert(offsetof(DataFileHeader, sensorId) == 24, "sensorId at 24");
static_assert(offsetof(DataFileHeader, gain) == 36, "gain at 36");
static_assert(offsetof(DataFileHeader, startTime) == 40, "startTime at 40");
static_assert(offsetof(DataFileHeader, electrodeLength) == 48, "electrodeLength at 48");
static_assert(offsetof(DataFileHeader, extra1) == 56, "extra1 at 56");

// Header of a channel file; all zero when the file is missing or unreadable, and zero
// beyond the bytes present when the file is shorter than the record.
DataFileHeader readDataFileHeader(const QString& path);

// Block `block` (N samples) of every file, in millivolts, one vector per file in list
// order. Fails (ok = false, empty list) when a file cannot be opened (the operator is
// told), when the block does not lie whole inside a file, or, unless noClip, when a
// sample reaches 5000 mV or is not a number. detrend removes mean and linear trend from each
// vector.
QList<QVector<double> > readChannelBlocks(const QStringList& files, int N, int block, bool* ok,
                                          bool noClip, bool detrend);

// The same for header-less files whose samples start at byte 0; the count scale follows
// from the sample rate and the range limit is 2500 mV.
QList<QVector<double> > readRawChannelBlocks(const QStringList& files, int N, int block, double sampleRate,
                                             bool* ok, bool noClip, bool detrend);

// Samples less their mean and their least-squares line over the abscissa -1 .. +1.
QVector<double> detrendLinear(const QVector<double>& samples);
