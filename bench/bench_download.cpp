// Download speed of the queue: one 200 MiB file from tools/ftp_server.py on 127.0.0.1,
// fetched through QtFTP and by a plain blocking client (login, PASV, RETR, recv into a
// buffer, write to a file), best of a few rounds each. The queue puts the file on the disk
// before it replaces the old one, so the plain read is timed also with an fdatasync.
// Run by hand: build/bench/bench_download [rounds] [MiB]

#include "FtpTestServer.h"
#include "QtFTP.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* const RemoteName = "1_CH1.dat";

QByteArray fileHash(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

bool writeServedFile(const QString& path, qint64 size)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator generator(28);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += block.size()) {
        generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        const qint64 n = std::min<qint64>(block.size(), size - written);
        if (out.write(block.constData(), n) != n)
            return false;
    }
    return true;
}

// Seconds for one download through the queue; negative when it failed.
double downloadWithQueue(quint16 port, const QString& localPath)
{
    QtFTP ftp;
    ftp.setBaseUrl(instrumentFtpBaseUrl(QStringLiteral("127.0.0.1"), port));
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(&ftp, &QtFTP::finished, &loop, [&](int group) {
        arrived = group == 1;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    ftp.download(QString::fromLatin1(RemoteName), localPath);
    // A batch that fails before any channel file is done announces nothing.
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = clock.nsecsElapsed() * 1e-9;
    return arrived ? seconds : -1;
}

class PlainClient
{
public:
    ~PlainClient()
    {
        if (control >= 0)
            ::close(control);
    }

    // Seconds from connecting to the written (with sync: and synced) file; negative when it failed.
    double download(quint16 port, const QString& localPath, bool sync)
    {
        QElapsedTimer clock;
        clock.start();
        control = connectTo(port);
        const QByteArray account(InstrumentFtpAccount);
        if (control < 0 || reply() != 220 || command("USER " + account) != 331 || command("PASS " + account) != 230
            || command("TYPE I") != 200 || command("PASV") != 227)
            return -1;
        static const QRegularExpression numbers(QStringLiteral("(\\d+),(\\d+)\\)"));
        const QRegularExpressionMatch match = numbers.match(QString::fromLatin1(lastLine));
        const int data = match.hasMatch() ? connectTo(quint16(match.captured(1).toInt() * 256 + match.captured(2).toInt()))
                                          : -1;
        if (data < 0)
            return -1;
        const int out = ::open(QFile::encodeName(localPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int started = out >= 0 ? command(QByteArray("RETR ") + RemoteName) : -1;
        bool ok = started == 125 || started == 150;
        static char buffer[256 * 1024];
        ssize_t n;
        while (ok && (n = ::recv(data, buffer, sizeof buffer, 0)) > 0)
            ok = ::write(out, buffer, size_t(n)) == n;
        ::close(data);
        if (ok && sync)
            ok = ::fdatasync(out) == 0;
        if (out >= 0)
            ok = ::close(out) == 0 && ok;
        ok = ok && reply() == 226;
        return ok ? clock.nsecsElapsed() * 1e-9 : -1;
    }

private:
    static int connectTo(quint16 port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    int command(const QByteArray& text)
    {
        const QByteArray line = text + "\r\n";
        if (::send(control, line.constData(), size_t(line.size()), 0) != line.size())
            return -1;
        return reply();
    }

    // The code of the next complete reply (its last line "<code> <text>").
    int reply()
    {
        while (true) {
            int end;
            while ((end = pending.indexOf('\n')) < 0) {
                char bytes[4096];
                const ssize_t n = ::recv(control, bytes, sizeof bytes, 0);
                if (n <= 0)
                    return -1;
                pending.append(bytes, int(n));
            }
            lastLine = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (lastLine.size() >= 4 && lastLine.at(3) == ' ')
                return lastLine.left(3).toInt();
        }
    }

    int control = -1;
    QByteArray pending;
    QByteArray lastLine;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The queue's log lines would be timed too.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const qint64 mebibytes = argc > 2 ? std::max(1, atoi(argv[2])) : 200;
    const qint64 size = mebibytes << 20;

    QTemporaryDir root;
    QTemporaryDir local;
    const QString served = root.path() + "/" + RemoteName;
    if (!root.isValid() || !local.isValid() || !writeServedFile(served, size)) {
        std::fprintf(stderr, "cannot write the served file\n");
        return 1;
    }
    const QByteArray expected = fileHash(served);
    FtpServer server(root.path());
    if (server.port == 0) {
        std::fprintf(stderr, "the FTP server did not start\n");
        return 1;
    }

    double bestQueue = 1e9;
    double bestPlain = 1e9;
    double bestSynced = 1e9;
    for (int round = 1; round <= rounds; ++round) {
        const QString queuePath = local.path() + "/queue/" + RemoteName;
        const QString plainPath = local.path() + "/plain.dat";
        const double queue = downloadWithQueue(server.port, queuePath);
        if (queue < 0 || fileHash(queuePath) != expected) {
            std::fprintf(stderr, "round %d: QtFTP failed or wrote other bytes\n", round);
            return 1;
        }
        const double plain = PlainClient().download(server.port, plainPath, false);
        bool plainWhole = plain >= 0 && fileHash(plainPath) == expected;
        QFile::remove(plainPath);
        const double synced = PlainClient().download(server.port, plainPath, true);
        plainWhole = plainWhole && synced >= 0 && fileHash(plainPath) == expected;
        if (!plainWhole) {
            std::fprintf(stderr, "round %d: the plain read failed or wrote other bytes\n", round);
            return 1;
        }
        std::printf("round %d: QtFTP %.3f s, plain read %.3f s, with fdatasync %.3f s\n", round, queue, plain, synced);
        bestQueue = std::min(bestQueue, queue);
        bestPlain = std::min(bestPlain, plain);
        bestSynced = std::min(bestSynced, synced);
        QFile::remove(queuePath);
        QFile::remove(plainPath);
    }
    std::printf("%lld MiB, best of %d: QtFTP %.3f s (%.0f MiB/s); plain read %.3f s (%.0f MiB/s), ratio %.2f; "
                "with fdatasync %.3f s (%.0f MiB/s), ratio %.2f\n",
                mebibytes, rounds, bestQueue, mebibytes / bestQueue, bestPlain, mebibytes / bestPlain,
                bestQueue / bestPlain, bestSynced, mebibytes / bestSynced, bestQueue / bestSynced);
    return 0;
}
