// Writes a small calibration library (".bin") for tests: every named entry gets a flat
// response of two points. Usage: make_calibration_library <output.bin> <entry name>...
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace {

void appendLE16(QByteArray& out, quint16 v) { char b[2]; qToLittleEndian(v, b); out.append(b, 2); }
void appendLE32(QByteArray& out, quint32 v) { char b[4]; qToLittleEndian(v, b); out.append(b, 4); }
void appendLE64(QByteArray& out, qint64 v) { char b[8]; qToLittleEndian(v, b); out.append(b, 8); }
void appendDouble(QByteArray& out, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    appendLE64(out, qint64(bits));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output.bin> <entry name>...\n", argv[0]);
        return 2;
    }
    const int entries = argc - 2;
    const qint64 headerSize = 16;
    const qint64 entrySize = 80;
    const qint64 dataSize = 2 * 24;
    QByteArray out;
    appendLE16(out, 0x544D);
    appendLE16(out, 0);
    appendLE32(out, quint32(entries));
    appendLE64(out, QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch());
    for (int i = 0; i < entries; ++i) {
        QByteArray name = QByteArray(argv[2 + i]).left(63);
        name.append(QByteArray(64 - name.size(), '\0'));
        out.append(name);
        appendLE64(out, headerSize + entries * entrySize + i * dataSize);
        appendLE64(out, dataSize);
    }
    for (int i = 0; i < entries; ++i) {
        for (double frequency : {0.001, 100000.0}) {
            appendDouble(out, frequency);
            appendDouble(out, 1.0);
            appendDouble(out, 0.0);
        }
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
