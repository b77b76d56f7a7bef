// A point's result table "/data/%1.txt" as the project tree and the graph read it back
// (hand-edited or cut short). A table our writer wrote reads back with its keys, its
// records and its values to the written precision.
#include "FuzzSupport.h"
#include "PointCalculation.h"

#include <QDir>
#include <QtEndian>

#include <cmath>

namespace {

QString tablePath;
QString writtenPath;

OneFreqImpedance record(double f, double coh, double rho, double phase, double trueRho, double depth)
{
    OneFreqImpedance r;
    r.Frequency = f;
    r.Coh = coh;
    r.ApparentResis = rho;
    r.Phase = phase;
    r.TrueResis = trueRho;
    r.Depth = depth;
    return r;
}

void writeSeeds(const QString& folder)
{
    const QString path = fuzz::scratch() + QStringLiteral("/seed.txt");
    PointResult result;
    result[0] = {record(0.1, 0.93, 120.5, 45.2, 118.0, 17400.0), record(10, 0.88, 98.25, 51.0, 90.1, 1560.0)};
    result[4] = {record(7800, 0.5, 1.5e-3, -12.0, 2e-3, 0.2)};
    FUZZ_CHECK(writeImpedanceFile(path, result));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    fuzz::writeSeed(folder, "table", file.readAll());
    fuzz::writeSeed(folder, "header_only", "Key Frequency Coh ApparentResis Phase TrueResis Depth\n");
}

bool close(double written, double read)
{
    if (std::isnan(written))
        return std::isnan(read);
    if (std::isinf(written))
        return read == written;
    return std::fabs(read - written) <= 1e-5 * std::fabs(written) + 1e-300;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialise(writeSeeds);
    QDir().mkpath(fuzz::scratch() + QStringLiteral("/data"));
    tablePath = fuzz::scratch() + QStringLiteral("/data/1.txt");
    writtenPath = fuzz::scratch() + QStringLiteral("/data/2.txt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FUZZ_CHECK(fuzz::writeFile(tablePath, QByteArray(reinterpret_cast<const char*>(data), int(size))));
    const PointResult read = readImpedanceFile(tablePath);
    for (const QVector<OneFreqImpedance>& records : read)
        FUZZ_CHECK(!records.isEmpty());

    // The input's bytes as records of six doubles, keyed by their first byte.
    PointResult written;
    for (size_t offset = 0; offset + 49 <= size && offset < 49 * 32; offset += 49) {
        double v[6];
        for (int i = 0; i < 6; ++i)
            v[i] = qFromLittleEndian<double>(data + offset + 1 + 8 * i);
        written[int(qint8(data[offset]))].append(record(v[0], v[1], v[2], v[3], v[4], v[5]));
    }
    if (written.isEmpty())
        return 0;
    FUZZ_CHECK(writeImpedanceFile(writtenPath, written));
    const PointResult back = readImpedanceFile(writtenPath);
    FUZZ_CHECK(back.keys() == written.keys());
    for (auto it = written.constBegin(); it != written.constEnd(); ++it) {
        const QVector<OneFreqImpedance>& a = it.value();
        const QVector<OneFreqImpedance>& b = back.value(it.key());
        FUZZ_CHECK(a.size() == b.size());
        for (int i = 0; i < a.size(); ++i)
            FUZZ_CHECK(close(a[i].Frequency, b[i].Frequency) && close(a[i].Coh, b[i].Coh)
                       && close(a[i].ApparentResis, b[i].ApparentResis) && close(a[i].Phase, b[i].Phase)
                       && close(a[i].TrueResis, b[i].TrueResis) && close(a[i].Depth, b[i].Depth));
    }
    return 0;
}
