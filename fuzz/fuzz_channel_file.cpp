// A channel data file as downloaded: its header, blocks as the pipeline and the text
// export ask for them, the raw variant, and the time-series page's header check. The
// pipeline's block reader gives the same blocks as the block readers, and a file our
// writer wrote reads back as written.
#include "ChannelBlockReader.h"
#include "ChannelDataFile.h"
#include "FuzzSupport.h"
#include "PipelineFixtures.h"
#include "TSGraphHeader.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

QString filePath;
QString writtenPath;
QString missingPath;

// The header's tag (bytes 0 and 1) is never read: its bytes choose the block length and
// the block, so every input is a whole file.
const int Lengths[] = {0, -1, 1, 7, 64, 256, 4096, 16384, 1 << 20};

void writeSeeds(const QString& folder)
{
    fixtures::ChannelHeader header;
    header.tag = 4 | (0 << 8);
    header.sampleRate = 256;
    header.duration = 4;
    fuzz::writeSeed(folder, "four_blocks", fixtures::channelFileBytes(header, fixtures::noise(1024, 7)));
    header.version = 1;
    header.tag = 5 | (1 << 8);
    fuzz::writeSeed(folder, "old_layout", fixtures::channelFileBytes(header, fixtures::noise(1024, 8)));
    header = fixtures::ChannelHeader();
    header.tag = 3 | (2 << 8);
    header.sampleRate = 61;
    header.duration = 2;
    header.sensorId = "ICMS-B0012";
    header.sensorVariant = 1;
    fuzz::writeSeed(folder, "short_file", fixtures::channelFileBytes(header, fixtures::noise(100, 9)));
    header.sampleRate = 250000;
    header.duration = 86400;
    fuzz::writeSeed(folder, "claims_a_day", fixtures::channelFileBytes(header, fixtures::noise(300, 10)));
}

// The same values; not-a-number equals not-a-number whatever its bits.
bool sameValues(const double* a, const double* b, int n)
{
    for (int i = 0; i < n; ++i)
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))))
            return false;
    return true;
}

// The pipeline's reader against the block readers, for the files and layout given.
void compareBlockReader(const QStringList& files, int n, int block, bool noClip, bool detrend, bool raw, double rate)
{
    bool ok = false;
    const QList<QVector<double> > expected = raw ? readRawChannelBlocks(files, n, block, rate, &ok, noClip, detrend)
                                                 : readChannelBlocks(files, n, block, &ok, noClip, detrend);
    if (n < 1)
        return;
    const ChannelBlockReader reader(files, n, raw ? ChannelBlockReader::Layout::Raw : ChannelBlockReader::Layout::Instrument,
                                    rate);
    if (!reader.isOpen()) {
        FUZZ_CHECK(!ok);
        return;
    }
    if (noClip && block >= 0)
        FUZZ_CHECK((block < reader.blocksHeld()) == ok);
    std::vector<std::vector<double> > outs(size_t(files.size()), std::vector<double>(size_t(n)));
    std::vector<double*> pointers;
    for (auto& out : outs)
        pointers.push_back(out.data());
    const bool all = block >= 0 && reader.readAll(block, pointers.data(), noClip, detrend);
    FUZZ_CHECK(all == ok);
    for (int c = 0; c < files.size() && ok; ++c) {
        FUZZ_CHECK(sameValues(outs[size_t(c)].data(), expected.at(c).constData(), n));
        std::vector<double> one(static_cast<size_t>(n));
        FUZZ_CHECK(reader.read(c, block, one.data(), noClip, detrend));
        FUZZ_CHECK(sameValues(one.data(), expected.at(c).constData(), n));
    }
}

void readBlocks(const QStringList& files, int n, int block, bool noClip, bool detrend, double rate)
{
    bool ok = true;
    const QList<QVector<double> > blocks = readChannelBlocks(files, n, block, &ok, noClip, detrend);
    FUZZ_CHECK(ok ? blocks.size() == files.size() : blocks.isEmpty());
    for (const QVector<double>& b : blocks) {
        FUZZ_CHECK(b.size() == n);
        if (!noClip && !detrend)
            for (double v : b)
                FUZZ_CHECK(std::fabs(v) < 5000);
    }
    const QList<QVector<double> > raw = readRawChannelBlocks(files, n, block, rate, &ok, noClip, detrend);
    FUZZ_CHECK(ok ? raw.size() == files.size() : raw.isEmpty());
    for (const QVector<double>& b : raw)
        FUZZ_CHECK(b.size() == n);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialise(writeSeeds);
    filePath = fuzz::scratch() + QStringLiteral("/1_CH1.dat");
    writtenPath = fuzz::scratch() + QStringLiteral("/1_CH4.dat");
    missingPath = fuzz::scratch() + QStringLiteral("/1_CH6.dat");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    FUZZ_CHECK(fuzz::writeFile(filePath, bytes));

    const DataFileHeader header = readDataFileHeader(filePath);
    header.sensorIdText();
    int rate = 0;
    int total = 0;
    if (tsGraphSampleCount(header, &rate, &total))
        FUZZ_CHECK(rate >= 1 && total >= 1 && qint64(rate) * header.duration == total);

    const int n = Lengths[(size > 0 ? data[0] : 0) % (sizeof Lengths / sizeof Lengths[0])];
    const int block = size > 1 ? int(qint8(data[1])) : 0;
    const bool noClip = size > 2 && (data[2] & 1);
    const bool detrend = size > 2 && (data[2] & 2);
    const double rawRate = size > 2 && (data[2] & 4) ? 250000 : 61;
    readBlocks({filePath}, n, block, noClip, detrend, rawRate);
    readBlocks({filePath}, 16, 0, false, false, rawRate);
    readBlocks({filePath, filePath}, 64, 1, true, true, rawRate);
    readBlocks({filePath, missingPath}, 16, 0, false, false, rawRate);
    compareBlockReader({filePath}, n, block, noClip, detrend, false, rawRate);
    compareBlockReader({filePath, filePath, filePath}, 64, block & 3, noClip, true, false, rawRate);
    compareBlockReader({filePath, filePath}, 16, 1, noClip, detrend, true, rawRate);
    detrendLinear(QVector<double>(int(qMin<size_t>(size, 64)), double(size)));

    // Our writer's file of these bytes as counts reads back exactly, header and samples.
    fixtures::ChannelHeader written;
    written.lsb = 0.25;
    QVector<qint32> counts(int(qMin<size_t>(size / 4, 4096)));
    for (int i = 0; i < counts.size(); ++i)
        counts[i] = qFromLittleEndian<qint32>(data + 4 * i);
    FUZZ_CHECK(fixtures::writeChannelFile(writtenPath, written, counts));
    const DataFileHeader back = readDataFileHeader(writtenPath);
    FUZZ_CHECK(back.sampleRate == written.sampleRate && back.duration == written.duration && back.lsb == written.lsb
               && back.serialNumber == written.serialNumber && back.gain == written.gain
               && back.startTime == written.startTime && back.electrodeLength == written.electrodeLength);
    if (!counts.isEmpty()) {
        bool ok = false;
        const QList<QVector<double> > samples = readChannelBlocks({writtenPath}, counts.size(), 0, &ok, true, false);
        FUZZ_CHECK(ok && samples.size() == 1);
        for (int i = 0; i < counts.size(); ++i)
            FUZZ_CHECK(samples.at(0).at(i) == counts.at(i) * 0.25);
    }
    fuzz::drainEvents();
    return 0;
}
