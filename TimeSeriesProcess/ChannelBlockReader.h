#pragma once

#include <QFile>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The channel files of one calculation, each opened and its header read once; blocks are
// read straight into the caller's buffer, from several threads at once. The values are
// those of readChannelBlocks / readRawChannelBlocks (ChannelDataFile.h).
class ChannelBlockReader
{
public:
    enum class Layout
    {
        Instrument,  // the instrument's files: 1024-byte header, counts times its lsb
        Raw          // header-less files: the scale follows from the sample rate
    };

    // A file that cannot be opened is reported to the operator once, as the block readers
    // report it; the reader is then not open and reads nothing.
    ChannelBlockReader(const QStringList& files, int N, Layout layout, double sampleRate);
    ~ChannelBlockReader();
    ChannelBlockReader(const ChannelBlockReader&) = delete;
    ChannelBlockReader& operator=(const ChannelBlockReader&) = delete;

    bool isOpen() const { return m_open; }
    int channels() const { return int(m_channels.size()); }
    // Whole blocks that every file holds, from the sizes the files had when opened.
    qint64 blocksHeld() const;

    // Block `block` of one channel (N values, in mV) into out. False when the block does
    // not lie whole in the file, cannot be read or, unless noClip, a sample reaches the
    // range limit; out then holds nothing of use.
    bool read(int channel, qint64 block, double* out, bool noClip, bool detrend) const;
    // Block `block` of every channel, channel c into outs[c]: the same values as read()
    // channel after channel, with the channels' sums for the trend computed side by side.
    bool readAll(qint64 block, double* const* outs, bool noClip, bool detrend) const;

private:
    struct Channel
    {
        std::unique_ptr<QFile> file;
        qint64 size = 0;
        qint64 dataOffset = 0;
        double scale = 0;
        double limit = 0;
    };

    bool readBytes(const Channel& channel, qint64 offset, char* into, qint64 count) const;
    // The raw counts of one block of a channel, in the upper half of out.
    const uchar* readCounts(int channel, qint64 block, double* out) const;

    int m_N;
    bool m_open = false;
    std::vector<Channel> m_channels;
    mutable QMutex m_seekLock;  // only where positioned reads are not available
};

// Removes mean and linear trend exactly as detrendLinear does, in place.
void detrendInPlace(double* samples, int n);
