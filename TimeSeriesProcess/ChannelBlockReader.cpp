#include "ChannelBlockReader.h"

#include "ChannelDataFile.h"
#include "OperatorMessages.h"

#include <QDebug>
#include <QMutexLocker>
#include <QtEndian>

#include <cmath>
#include <limits>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <unistd.h>
#endif

ChannelBlockReader::ChannelBlockReader(const QStringList& files, int N, Layout layout, double sampleRate)
    : m_N(N)
{
    // The converter's full scale differs between the fast and the slow rates.
    const double rawScale = sampleRate > 4096 ? 1500.0 / 4194304.0 : 2500.0 / 4294967296.0;
    m_channels.resize(size_t(files.size()));
    for (int i = 0; i < files.size(); ++i) {
        Channel& channel = m_channels[size_t(i)];
        const QString& path = files.at(i);
        if (layout == Layout::Instrument) {
            channel.dataOffset = 1024;
            channel.scale = readDataFileHeader(path).lsb;
            channel.limit = 5000.0;
        } else {
            channel.dataOffset = 0;
            channel.scale = rawScale;
            channel.limit = 2500.0;
        }
        channel.file.reset(new QFile(path));
        if (!channel.file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            qWarning().noquote() << "ChannelBlockReader" << path << "can not be opened";
            postMessageBox(NoticeIcon::Critical, QStringLiteral("file critical"),
                           path + QStringLiteral("file is can not open !"));
            return;
        }
        channel.size = channel.file->size();
    }
    m_open = N > 0;
}

ChannelBlockReader::~ChannelBlockReader() = default;

qint64 ChannelBlockReader::blocksHeld() const
{
    if (!m_open || m_channels.empty())
        return 0;
    const qint64 blockBytes = qint64(m_N) * 4;
    qint64 held = std::numeric_limits<qint64>::max();
    for (const Channel& channel : m_channels)
        held = std::min(held, std::max<qint64>(channel.size - channel.dataOffset, 0) / blockBytes);
    return held;
}

bool ChannelBlockReader::readBytes(const Channel& channel, qint64 offset, char* into, qint64 count) const
{
#if defined(Q_OS_UNIX)
    // Positioned reads share no file position, so threads need no lock.
    const int fd = channel.file->handle();
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, into + done, size_t(count - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
#else
    QMutexLocker locker(&m_seekLock);
    return channel.file->seek(offset) && channel.file->read(into, count) == count;
#endif
}

const uchar* ChannelBlockReader::readCounts(int channelIndex, qint64 block, double* out) const
{
    if (!m_open || channelIndex < 0 || channelIndex >= channels() || block < 0)
        return nullptr;
    const Channel& channel = m_channels[size_t(channelIndex)];
    const qint64 blockBytes = qint64(m_N) * 4;
    // A partial download is shorter than its header says: a block that does not lie whole
    // inside the file is not data (checked before multiplying, so no overflow).
    const qint64 available = channel.size - channel.dataOffset;
    if (available < blockBytes || block > (available - blockBytes) / blockBytes)
        return nullptr;
    // The counts land in the upper half of out and are widened from the front: each
    // double is written only after the counts it overlaps have been read.
    char* raw = reinterpret_cast<char*>(out) + blockBytes;
    if (!readBytes(channel, channel.dataOffset + blockBytes * block, raw, blockBytes))
        return nullptr;
    return reinterpret_cast<const uchar*>(raw);
}

namespace {

// The abscissas -1 .. +1 of n samples and the sum of their squares, in sample order;
// they depend on n only, and every block of a recording has the same length.
struct TrendAbscissas
{
    std::vector<double> x;
    double sxx = 0;
};

const TrendAbscissas& trendAbscissas(int n)
{
    thread_local TrendAbscissas a;
    if (a.x.size() != size_t(n)) {
        a.x.resize(size_t(n));
        a.sxx = 0;
        for (int i = 0; i < n; ++i) {
            a.x[size_t(i)] = 2.0 * i / (n - 1) - 1.0;
            a.sxx += a.x[size_t(i)] * a.x[size_t(i)];
        }
    }
    return a;
}

void removeTrend(double* y, int n, double sum, double sxy, const TrendAbscissas& a)
{
    const double mean = sum / n;
    const double slope = sxy / a.sxx;
    const double* x = a.x.data();
    for (int i = 0; i < n; ++i)
        y[i] = y[i] - mean - slope * x[i];
}

} // namespace

bool ChannelBlockReader::read(int channelIndex, qint64 block, double* out, bool noClip, bool detrend) const
{
    const uchar* p = readCounts(channelIndex, block, out);
    if (!p)
        return false;
    const Channel& channel = m_channels[size_t(channelIndex)];
    for (int k = 0; k < m_N; ++k) {
        const double value = double(qFromLittleEndian<qint32>(p + 4 * k)) * channel.scale;
        // Not a number (a damaged lsb) is out of range too.
        if (!noClip && !(std::fabs(value) < channel.limit))
            return false;
        out[k] = value;
    }
    if (detrend)
        detrendInPlace(out, m_N);
    return true;
}

bool ChannelBlockReader::readAll(qint64 block, double* const* outs, bool noClip, bool detrend) const
{
    const int n = m_N;
    if (n < 2 || !detrend) {
        for (int c = 0; c < channels(); ++c) {
            if (!read(c, block, outs[c], noClip, detrend))
                return false;
        }
        return true;
    }
    const TrendAbscissas& a = trendAbscissas(n);
    const double* x = a.x.data();
    // Two channels per loop: their sums are independent chains that overlap in time, and
    // each chain still adds its terms in sample order.
    for (int c = 0; c < channels(); c += 2) {
        const int pair = std::min(2, channels() - c);
        const uchar* p[2] = {nullptr, nullptr};
        double scale[2] = {0, 0};
        double limit[2] = {0, 0};
        for (int q = 0; q < pair; ++q) {
            p[q] = readCounts(c + q, block, outs[c + q]);
            if (!p[q])
                return false;
            scale[q] = m_channels[size_t(c + q)].scale;
            limit[q] = noClip ? std::numeric_limits<double>::infinity() : m_channels[size_t(c + q)].limit;
        }
        if (pair == 1) {
            double sum = 0, sxy = 0;
            double* y = outs[c];
            for (int k = 0; k < n; ++k) {
                const double value = double(qFromLittleEndian<qint32>(p[0] + 4 * k)) * scale[0];
                if (!noClip && !(std::fabs(value) < limit[0]))
                    return false;
                y[k] = value;
                sum += value;
                sxy += value * x[k];
            }
            removeTrend(y, n, sum, sxy, a);
            continue;
        }
        double sum0 = 0, sxy0 = 0, sum1 = 0, sxy1 = 0;
        double* y0 = outs[c];
        double* y1 = outs[c + 1];
        for (int k = 0; k < n; ++k) {
            const double v0 = double(qFromLittleEndian<qint32>(p[0] + 4 * k)) * scale[0];
            const double v1 = double(qFromLittleEndian<qint32>(p[1] + 4 * k)) * scale[1];
            if (!noClip && !(std::fabs(v0) < limit[0] && std::fabs(v1) < limit[1]))
                return false;
            y0[k] = v0;
            y1[k] = v1;
            sum0 += v0;
            sxy0 += v0 * x[k];
            sum1 += v1;
            sxy1 += v1 * x[k];
        }
        removeTrend(y0, n, sum0, sxy0, a);
        removeTrend(y1, n, sum1, sxy1, a);
    }
    return true;
}

void detrendInPlace(double* y, int n)
{
    if (n < 1)
        return;
    // A single sample has no trend (its abscissa would be 0/0).
    if (n == 1) {
        y[0] = y[0] - y[0];
        return;
    }
    const TrendAbscissas& a = trendAbscissas(n);
    const double* x = a.x.data();
    double sum = 0;
    double sxy = 0;
    for (int i = 0; i < n; ++i) {
        sum += y[i];
        sxy += y[i] * x[i];
    }
    removeTrend(y, n, sum, sxy, a);
}
