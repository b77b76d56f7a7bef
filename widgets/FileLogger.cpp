#include "FileLogger.h"

#include "DateFormatting.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#include <cstdio>

namespace {

QFile logFile;
QTextStream logStream;
QMutex logMutex;

const char* levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "Debug";
    case QtWarningMsg: return "Warn";
    case QtCriticalMsg: return "Critical";
    case QtFatalMsg: return "Fatal";
    case QtInfoMsg: return nullptr;
    }
    return nullptr;
}

} // namespace

QString formatLogLine(QtMsgType type, const QString& message, const QString& timeText)
{
    const char* level = levelWord(type);
    if (!level)
        return QString();
    // One pass: a "%1" inside the message stays as it is.
    return QStringLiteral("[%1] %2 (%3)").arg(QLatin1String(level), message, timeText);
}

void fileLogMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    Q_UNUSED(context);
    if (type == QtInfoMsg)
        return;
    // Any thread may log.
    prepareDateFormatting();
    const QString timeText = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd hh:mm:ss.zzz"));
    const QString line = formatLogLine(type, message, timeText);
    {
        QMutexLocker locker(&logMutex);
        logStream << line << "\r\n";
        logStream.flush();
    }
    const QByteArray utf8 = line.toUtf8();
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void installFileLogger()
{
    QDir().mkpath(QStringLiteral("log"));
    const QString day = QDate::currentDate().toString(QStringLiteral("yyMMdd"));
    logFile.setFileName(QStringLiteral("./log/log_%1.txt").arg(day));
    logFile.open(QIODevice::WriteOnly | QIODevice::Append);
    logStream.setDevice(&logFile);
    qInstallMessageHandler(fileLogMessageHandler);
}
