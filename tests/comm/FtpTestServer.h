#pragma once

#include "QtFTP.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// The instrument's FTP server (tools/ftp_server.py on 127.0.0.1), started for one test or
// benchmark with the given fault options; it stops with the object, or with this process.
class FtpServer
{
public:
    explicit FtpServer(const QString& root, const QStringList& options = QStringList())
    {
        const QString script = QStringLiteral(VARN_SOURCE_DIR "/tools/ftp_server.py");
        QStringList arguments{script, QStringLiteral("--root"), root, QStringLiteral("--port"), QStringLiteral("0"),
                              QStringLiteral("--user"), QString::fromLatin1(InstrumentFtpAccount),
                              QStringLiteral("--password"), QString::fromLatin1(InstrumentFtpAccount)};
        process.start(QStringLiteral("/usr/bin/python3"), arguments + options);
        if (!process.waitForStarted(15000))
            return;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000 && !process.canReadLine())
            process.waitForReadyRead(1000);
        const QByteArray line = process.readLine().trimmed();
        if (line.startsWith("PORT "))
            port = quint16(line.mid(5).toUInt());
    }
    ~FtpServer()
    {
        process.kill();
        process.waitForFinished(10000);
    }
    // What the server sees when the test process is gone.
    void closeInput() { process.closeWriteChannel(); }
    bool hasStopped(int timeoutMs) { return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs); }
    QString baseUrl() const { return instrumentFtpBaseUrl(QStringLiteral("127.0.0.1"), port); }
    // The server writes a line for each transfer and each stall to its error output.
    int stalledTransfers() { return countLines("stalling "); }
    int transfers() { return countLines("sending "); }
    // Control sessions open now: the server writes a line as each opens and closes.
    int openSessions() { return countLines("OPEN ") - countLines("CLOSE "); }

    quint16 port = 0;

private:
    int countLines(const char* start)
    {
        errors += process.readAllStandardError();
        return errors.count(start);
    }

    QProcess process;
    QByteArray errors;
};
