#include "ChannelDataFile.h"

#include "ChannelBlockReader.h"
#include "OperatorMessages.h"

#include <QDebug>
#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "channel file records are copied byte for byte");

namespace {

const qint64 SampleAreaOffset = 1024;

struct BlockLayout
{
    qint64 dataOffset;  // where the sample area starts
    double scale;       // mV per count
    double limit;       // a value of at least this magnitude fails the range check
};

// Reads one block of every file with the given layout per file; shared by both readers.
template <typename LayoutOf>
QList<QVector<double> > readBlocks(const char* caller, const QStringList& files, int N, int block, bool* ok,
                                   bool noClip, bool detrend, LayoutOf layoutOf)
{
    if (ok)
        *ok = false;
    QList<QVector<double> > result;
    if (files.isEmpty()) {
        if (ok)
            *ok = true;
        return result;
    }
    if (N <= 0 || block < 0) {
        qWarning().noquote() << caller << "invalid block" << block << "of length" << N;
        return QList<QVector<double> >();
    }

    QVector<BlockLayout> layouts;
    layouts.reserve(files.size());
    for (const QString& path : files)
        layouts.append(layoutOf(path));

    const qint64 blockBytes = qint64(N) * 4;
    for (int i = 0; i < files.size(); ++i) {
        const QString& path = files.at(i);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning().noquote() << caller << path << "can not be opened";
            postMessageBox(NoticeIcon::Critical, QStringLiteral("file critical"),
                           path + QStringLiteral("file is can not open !"));
            return QList<QVector<double> >();
        }
        const BlockLayout& layout = layouts.at(i);
        // A partial download is shorter than its header says: a block that does not lie
        // whole inside the file is not data (checked before multiplying, so no overflow).
        const qint64 available = file.size() - layout.dataOffset;
        if (available < blockBytes || block > (available - blockBytes) / blockBytes)
            return QList<QVector<double> >();
        if (!file.seek(layout.dataOffset + blockBytes * block))
            return QList<QVector<double> >();
        const QByteArray raw = file.read(blockBytes);
        if (raw.size() != blockBytes)
            return QList<QVector<double> >();

        QVector<double> samples(N);
        const uchar* p = reinterpret_cast<const uchar*>(raw.constData());
        for (int k = 0; k < N; ++k) {
            const double value = double(qFromLittleEndian<qint32>(p + 4 * k)) * layout.scale;
            // Not a number (a damaged lsb) is out of range too.
            if (!noClip && !(std::fabs(value) < layout.limit))
                return QList<QVector<double> >();
            samples[k] = value;
        }
        result.append(detrend ? detrendLinear(samples) : samples);
    }
    if (ok)
        *ok = true;
    return result;
}

} // namespace

QString DataFileHeader::sensorIdText() const
{
    return QString::fromUtf8(sensorId, int(qstrnlen(sensorId, sizeof(sensorId))));
}

DataFileHeader readDataFileHeader(const QString& path)
{
    DataFileHeader header;
    std::memset(&header, 0, sizeof(header));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return header;
    const QByteArray raw = file.read(sizeof(header));
    std::memcpy(&header, raw.constData(), size_t(raw.size()));

    if (header.version == 1) {
        // Older layout: electrode length in byte 38, three floats from byte 48.
        QByteArray old = raw.left(64);
        old.append(QByteArray(64 - old.size(), '\0'));
        const uchar* p = reinterpret_cast<const uchar*>(old.constData());
        header.sensorVariant = 0;
        header.electrodeLength = p[38];
        header.extra1 = double(qFromLittleEndian<float>(p + 48));
        header.extra2 = double(qFromLittleEndian<float>(p + 52));
        header.extra3 = double(qFromLittleEndian<float>(p + 56));
    }
    return header;
}

QList<QVector<double> > readChannelBlocks(const QStringList& files, int N, int block, bool* ok, bool noClip,
                                          bool detrend)
{
    return readBlocks("readChannelBlocks", files, N, block, ok, noClip, detrend, [](const QString& path) {
        return BlockLayout{SampleAreaOffset, readDataFileHeader(path).lsb, 5000.0};
    });
}

QList<QVector<double> > readRawChannelBlocks(const QStringList& files, int N, int block, double sampleRate,
                                             bool* ok, bool noClip, bool detrend)
{
    // The converter's full scale differs between the fast and the slow rates.
    const double scale = sampleRate > 4096 ? 1500.0 / 4194304.0 : 2500.0 / 4294967296.0;
    return readBlocks("readRawChannelBlocks", files, N, block, ok, noClip, detrend, [scale](const QString&) {
        return BlockLayout{0, scale, 2500.0};
    });
}

QVector<double> detrendLinear(const QVector<double>& samples)
{
    QVector<double> result = samples;
    detrendInPlace(result.data(), result.size());
    return result;
}
