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

bool ChannelBlockReader::read(int channelIndex, qint64 block, double* out, bool noClip, bool detrend) const
{
    if (!m_open || channelIndex < 0 || channelIndex >= channels() || block < 0)
        return false;
    const Channel& channel = m_channels[size_t(channelIndex)];
    const qint64 blockBytes = qint64(m_N) * 4;
    // A partial download is shorter than its header says: a block that does not lie whole
    // inside the file is not data (checked before multiplying, so no overflow).
    const qint64 available = channel.size - channel.dataOffset;
    if (available < blockBytes || block > (available - blockBytes) / blockBytes)
        return false;

    // The raw counts land in the upper half of out and are widened from the front: each
    // double is written only after the counts it overlaps have been read.
    char* raw = reinterpret_cast<char*>(out) + blockBytes;
    if (!readBytes(channel, channel.dataOffset + blockBytes * block, raw, blockBytes))
        return false;
    const uchar* p = reinterpret_cast<const uchar*>(raw);
    for (int k = 0; k < m_N; ++k) {
        const double value = double(qFromLittleEndian<qint32>(p + 4 * k)) * channel.scale;
        if (!noClip && std::fabs(value) >= channel.limit)
            return false;
        out[k] = value;
    }
    if (detrend)
        detrendInPlace(out, m_N);
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
    // The abscissas depend on n only; every block of a recording has the same length.
    thread_local std::vector<double> xs;
    if (xs.size() != size_t(n)) {
        xs.resize(size_t(n));
        for (int i = 0; i < n; ++i)
            xs[size_t(i)] = 2.0 * i / (n - 1) - 1.0;
    }
    const double* x = xs.data();
    // Three sums in one pass; each still adds its terms in sample order.
    double sum = 0;
    double sxy = 0;
    double sxx = 0;
    for (int i = 0; i < n; ++i) {
        sum += y[i];
        sxy += y[i] * x[i];
        sxx += x[i] * x[i];
    }
    const double mean = sum / n;
    const double slope = sxy / sxx;
    for (int i = 0; i < n; ++i)
        y[i] = y[i] - mean - slope * x[i];
}
