#include "QtFTP.h"

#include "AppGlobals.h"
#include "FtpTransfer.h"
#include "OperatorMessages.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

const char* const InstrumentFtpAccount = "kvpz";

namespace {

const char* const TableRemotePath = "mnt/DATA/ProjectTable.js";
const char* const TableLocalName = "/TempFile/ProjectTable.json";
const char* const InfoLocalName = "/TempFile/ProjectInfo.json";

// The program's folder; the executable's folder until the main window has set it.
QString programFolder()
{
    return AppDirPath.isEmpty() ? QCoreApplication::applicationDirPath() : AppDirPath;
}

QString shortName(const QString& writePath)
{
    return writePath.section('/', -2, -1);
}

QString filesLeftText(int filesLeft)
{
    return filesLeft > 0 ? QStringLiteral("<br>剩余%1个文件").arg(filesLeft) : QString();
}

QString errorName(QNetworkReply::NetworkError error)
{
    const char* name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? QString::fromLatin1(name) : QString::number(int(error));
}

bool isChannelFile(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".dat"));
}

// Cleaned absolute path with a trailing "/": "/p/1" does not contain "/p/12".
QString folderKey(const QString& path)
{
    QString key = QDir::cleanPath(QDir(path).absolutePath());
    if (!key.endsWith(QLatin1Char('/')))
        key += QLatin1Char('/');
    return key;
}

bool liesIn(const QString& path, const QString& folder)
{
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return folderKey(path).startsWith(folder, cs);
}

} // namespace

QString instrumentFtpBaseUrl(const QString& ip, quint16 port)
{
    QUrl url;
    url.setScheme(QStringLiteral("ftp"));
    url.setUserName(QString::fromLatin1(InstrumentFtpAccount));
    url.setPassword(QString::fromLatin1(InstrumentFtpAccount));
    url.setHost(ip);
    url.setPort(port);
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

int channelFileGroup(const QString& fileName)
{
    static const QRegularExpression leadingNumber(QStringLiteral("^(\\d+)"));
    const QRegularExpressionMatch match = leadingNumber.match(fileName);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const int group = match.captured(1).toInt(&ok);
    return ok ? group : 0;
}

double transferSpeedMBps(qint64 bytesReceived, qint64 elapsedMs)
{
    if (elapsedMs <= 0)
        return 0.0;
    return (double(bytesReceived) / 1048576.0) / (double(elapsedMs) / 1000.0);
}

QString transferStartLabel(const QString& writePath, int filesLeft)
{
    return QStringLiteral("传输 <span style='color:blue;'>%1</span>").arg(shortName(writePath)) + filesLeftText(filesLeft);
}

QString transferProgressLabel(const QString& writePath, qint64 bytesReceived, qint64 bytesTotal,
                              qint64 elapsedMs, int filesLeft)
{
    const QString speed = QString::number(transferSpeedMBps(bytesReceived, elapsedMs), 'f', 2);
    QString label;
    if (bytesTotal >= 0) {
        const QString size = QString::number(double(bytesTotal) / 1048576.0, 'f', 2);
        label = QStringLiteral("传输 <span style='color:blue;'>%1 (%2MB)</span>").arg(shortName(writePath), size);
    } else {
        label = QStringLiteral("传输 <span style='color:blue;'>%1</span>").arg(shortName(writePath));
    }
    label += QStringLiteral("<br><span style='color:green;'> %1MB/s</span>").arg(speed);
    return label + filesLeftText(filesLeft);
}

QtFTP::QtFTP(QObject* parent)
    : QObject(parent)
{
    watchdog.setInterval(StallTimeoutMs);
    watchdog.setSingleShot(false);
    connect(&watchdog, &QTimer::timeout, this, &QtFTP::onWatchdog);
}

QtFTP::~QtFTP()
{
    if (transfer) {
        transfer->disconnect(this);
        transfer->abort();
    }
    // Not committed: the temporary file goes, whatever was on disk before stays.
    delete file;
    file = nullptr;
}

void QtFTP::setBaseUrl(QString url)
{
    baseUrl = url;
}

bool QtFTP::isBusy()
{
    return busy;
}

void QtFTP::getTableJson()
{
    downloadPro(QString::fromLatin1(TableRemotePath), programFolder() + QLatin1String(TableLocalName));
}

void QtFTP::getProjJson(int64_t ProjID)
{
    downloadPro(QStringLiteral("mnt/DATA/%1/ProjectInfo.js").arg(qlonglong(ProjID)),
                programFolder() + QLatin1String(InfoLocalName));
}

void QtFTP::downloadPro(QString getPath, QString writePath)
{
    qInfo() << "QtFTP" << "downloadPro" << getPath;
    FtpTask task;
    task.getPath = getPath;
    task.writePath = writePath;
    enqueue(task, true);
    if (!busy)
        realDownload();
}

void QtFTP::download(QString getPath, QString writePath)
{
    FtpTask task;
    task.getPath = getPath;
    task.writePath = writePath;
    queueDownload(task);
}

void QtFTP::exportFile(QString getPath, QString writePath)
{
    // The export mark travels with the task, so it cannot reach files of another batch.
    FtpTask task;
    task.getPath = getPath;
    task.writePath = writePath;
    task.exportOnly = true;
    queueDownload(task);
}

void QtFTP::queueDownload(const FtpTask& task)
{
    qInfo() << "QtFTP" << "download" << task.getPath;
    enqueue(task, false);
    if (queuedCount() > 0 && !progressVisible)
        setProgressVisible(true);
    if (!busy)
        realDownload();
}

void QtFTP::cancelAll()
{
    {
        QMutexLocker locker(&queueMutex);
        taskQueue.clear();
    }
    qInfo() << "QtFTP" << "cancelAll";
    watchdog.stop();
    if (busy && transfer) {
        // The operator asked to stop: the running transfer goes too, and an earlier copy
        // of its file stays as it was.
        abortReason = AbortReason::Cancelled;
        transfer->abort();
    } else if (!busy) {
        endBatch();
    }
}

void QtFTP::cancelUnder(const QString& localFolder)
{
    if (localFolder.isEmpty())
        return;
    const QString folder = folderKey(localFolder);
    int dropped = 0;
    {
        QMutexLocker locker(&queueMutex);
        for (int i = taskQueue.size() - 1; i >= 0; --i)
            if (liesIn(taskQueue.at(i).writePath, folder)) {
                taskQueue.removeAt(i);
                ++dropped;
            }
    }
    const bool current = busy && transfer && liesIn(currentTask.writePath, folder);
    if (current)
        ++dropped;
    qInfo() << "QtFTP" << "cancelUnder" << localFolder << dropped;
    if (current) {
        // Only this task: the batch goes on with the rest of the queue.
        abortReason = AbortReason::Dropped;
        transfer->abort();
    }
}

void QtFTP::enqueue(const FtpTask& task, bool atFront)
{
    QMutexLocker locker(&queueMutex);
    if (atFront)
        taskQueue.prepend(task);
    else
        taskQueue.append(task);
}

int QtFTP::queuedCount()
{
    QMutexLocker locker(&queueMutex);
    return taskQueue.size();
}

void QtFTP::realDownload()
{
    if (busy) {
        qDebug() << "QtFTP" << "realDownload" << "isBusy" << "true";
        return;
    }
    // A task whose local file cannot be prepared fails alone; the queue goes on.
    bool failedTask = false;
    while (true) {
        {
            QMutexLocker locker(&queueMutex);
            if (taskQueue.isEmpty())
                break;
            currentTask = taskQueue.takeFirst();
        }
        busy = true;
        releaseTransfer();
        QString error;
        if (openLocalFile(currentTask, &error)) {
            startTransfer();
            return;
        }
        errorText += error;
        emit progressLabelChanged(error);
        busy = false;
        failedTask = true;
    }
    if (failedTask)
        endBatch();
}

bool QtFTP::openLocalFile(const FtpTask& task, QString* error)
{
    const QString folder = QFileInfo(task.writePath).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("无法创建目录: %1\r\n").arg(folder);
        return false;
    }
    // Written beside the old file and renamed over it at the end: a reader never sees a
    // half-written or shortened file, and a failed transfer leaves the old one as it was.
    auto* saveFile = new QSaveFile(task.writePath);
    if (!saveFile->open(QIODevice::WriteOnly)) {
        qDebug() << "QtFTP" << "realDownload" << "file->open fail" << task.writePath;
        *error = QStringLiteral("无法打开文件: %1 (%2)\r\n").arg(task.writePath, saveFile->errorString());
        delete saveFile;
        return false;
    }
    file = saveFile;
    return true;
}

void QtFTP::startTransfer()
{
    abortReason = AbortReason::None;
    writeError.clear();
    emit progressLabelChanged(transferStartLabel(currentTask.writePath, queuedCount()));
    emit progressChanged(0, 0);

    transfer = new FtpTransfer(QUrl(baseUrl + currentTask.getPath), this);
    connect(transfer, &FtpTransfer::readyRead, this, &QtFTP::writeAvailable);
    connect(transfer, &FtpTransfer::downloadProgress, this, &QtFTP::downloadProgress);
    connect(transfer, &FtpTransfer::finished, this, &QtFTP::downloadFinished);
    watchdog.start();
    downloadClock.start();
}

void QtFTP::writeAvailable()
{
    if (!transfer || !file || abortReason != AbortReason::None)
        return;
    const QByteArray data = transfer->readAll();
    if (data.isEmpty())
        return;
    if (file->write(data) == data.size())
        return;
    writeError = QStringLiteral("%1 写入失败: %2\r\n").arg(currentTask.writePath, file->errorString());
    qDebug() << "QtFTP" << "writeAvailable" << currentTask.writePath << file->errorString();
    abortReason = AbortReason::WriteFailed;
    transfer->abort();
}

void QtFTP::downloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    if (!transfer)
        return;
    watchdog.start();
    const bool recentLabel = labelClock.isValid() && labelClock.elapsed() <= 99;
    if (!(recentLabel && bytesReceived != bytesTotal)) {
        labelClock.start();
        const qint64 elapsed = downloadClock.elapsed();
        if (elapsed > 0)
            emit progressLabelChanged(transferProgressLabel(currentTask.writePath, bytesReceived, bytesTotal,
                                                            elapsed, queuedCount()));
    }
    if (bytesTotal != 0)
        emit progressChanged(bytesReceived, bytesTotal);
}

void QtFTP::onWatchdog()
{
    if (!transfer)
        return;
    qDebug() << "QtFTP callOnTimeout" << transfer->url().toString(QUrl::RemovePassword);
    abortReason = AbortReason::Stalled;
    transfer->abort();
}

void QtFTP::downloadFinished()
{
    auto* finishedTransfer = qobject_cast<FtpTransfer*>(sender());
    if (!finishedTransfer || finishedTransfer != transfer)
        return;

    const QNetworkReply::NetworkError error = transfer->error();
    bool ok = (error == QNetworkReply::NoError && abortReason == AbortReason::None);
    QString message;
    if (ok) {
        writeAvailable();
        ok = abortReason == AbortReason::None;
    }
    // A server may end a transfer early and still call it complete; the size it gave
    // tells, and a short file must not replace a whole one.
    const bool cutShort = ok && transfer->size() >= 0 && transfer->bytesReceived() < transfer->size();
    if (cutShort) {
        ok = false;
        qDebug() << "QtFTP" << "downloadFinished" << "short transfer" << currentTask.getPath
                 << transfer->bytesReceived() << transfer->size();
    }
    // Stalled, or ended without the whole file once the server had begun to send it: the
    // next attempt may well bring it whole.
    const bool retryable = abortReason == AbortReason::Stalled || cutShort
                           || (abortReason == AbortReason::None && !ok && transfer->retrievalBegun());

    if (abortReason == AbortReason::Cancelled || abortReason == AbortReason::Dropped) {
        const bool wholeQueue = abortReason == AbortReason::Cancelled;
        watchdog.stop();
        releaseTransfer();
        delete file;
        file = nullptr;
        busy = false;
        if (wholeQueue) {
            // Cancelled: the group is incomplete and is not announced.
            batchGroup = 0;
            endBatch();
        } else {
            // From the event loop: the caller of cancelUnder finishes its own work before
            // the batch goes on or ends.
            QTimer::singleShot(0, this, &QtFTP::resumeQueue);
        }
        return;
    }

    if (abortReason == AbortReason::WriteFailed) {
        message = writeError;
    } else if (error == QNetworkReply::ContentNotFoundError) {
        message = currentTask.getPath + QStringLiteral(" 文件不存在") + QStringLiteral("\r\n");
        qDebug() << "QtFTP" << "downloadFinished" << currentTask.getPath << errorName(error);
    } else if (retryable) {
        QMutexLocker locker(&queueMutex);
        if (currentTask.retries < MaxRetries) {
            ++currentTask.retries;
            taskQueue.append(currentTask);
        } else {
            message = failureLine(cutShort);
            qDebug() << "QtFTP" << "downloadFinished" << "retries exhausted" << currentTask.getPath << message;
        }
    } else if (error != QNetworkReply::NoError) {
        message = failureLine(false);
        qDebug() << "QtFTP" << "downloadFinished" << currentTask.writePath << currentTask.getPath << message;
    }
    if (!ok) {
        emit progressLabelChanged(message);
        emit progressChanged(0, 0);
        errorText += message;
    }

    watchdog.stop();
    releaseTransfer();

    if (!file) {
        qWarning() << "QtFTP" << "downloadFinished" << "tmp_file is null, skipping file processing";
        busy = false;
        if (queuedCount() > 0)
            realDownload();
        else
            endBatch();
        return;
    }

    if (ok && !file->commit()) {
        message = QStringLiteral("%1 写入失败: %2\r\n").arg(currentTask.writePath, file->errorString());
        qDebug() << "QtFTP" << "downloadFinished" << "commit fail" << currentTask.writePath << file->errorString();
        emit progressLabelChanged(message);
        errorText += message;
        ok = false;
    }
    delete file; // uncommitted: the temporary file is removed, an older file stays
    file = nullptr;

    const QString fileName = QFileInfo(currentTask.writePath).fileName();
    if (isChannelFile(fileName)) {
        const int group = channelFileGroup(fileName);
        if (group <= 0)
            qWarning() << "QtFTP" << "downloadFinished" << "异常文件名（首字符非数字）:" << fileName;
        else if (!currentTask.exportOnly)
            batchGroup = group;
    } else if (fileName.startsWith(QLatin1String("ProjectTable")) || fileName.startsWith(QLatin1String("ProjectInfo"))) {
        if (ok)
            deliverInformationFile(fileName);
        QFile::remove(currentTask.writePath);
    }

    busy = false;
    if (queuedCount() > 0)
        realDownload();
    else
        endBatch();
}

QString QtFTP::failureLine(bool cutShort) const
{
    const QString paths = currentTask.writePath + QLatin1Char(' ') + currentTask.getPath;
    const qint64 received = transfer->bytesReceived();
    const qint64 size = transfer->size();
    if (abortReason == AbortReason::Stalled)
        return QStringLiteral("%1 传输超时，已重试%2次\r\n").arg(paths).arg(currentTask.retries);
    if (cutShort)
        return QStringLiteral("%1 传输不完整 (%2/%3)\r\n").arg(paths).arg(received).arg(size);
    if (size >= 0 && received > size)
        return QStringLiteral("%1 传输超长 (%2/%3)\r\n").arg(paths).arg(received).arg(size);
    return paths + QLatin1Char(' ') + errorName(transfer->error()) + QStringLiteral("\r\n");
}

void QtFTP::resumeQueue()
{
    // A transfer started meanwhile carries the batch on.
    if (busy)
        return;
    if (queuedCount() > 0)
        realDownload();
    else
        endBatch();
}

void QtFTP::releaseTransfer()
{
    if (!transfer)
        return;
    transfer->disconnect(this);
    transfer->deleteLater();
    transfer = nullptr;
}

void QtFTP::deliverInformationFile(const QString& fileName)
{
    QFile in(currentTask.writePath);
    if (!in.open(QIODevice::ReadOnly)) {
        const QString message = QStringLiteral("无法打开文件: %1 (%2)\r\n").arg(currentTask.writePath, in.errorString());
        errorText += message;
        return;
    }
    QByteArray data = in.readAll();
    in.close();
    if (data.endsWith('\0'))
        data.chop(1);
    if (fileName.startsWith(QLatin1String("ProjectTable")))
        emit newTableJson(data);
    else
        emit newProjJson(data);
}

void QtFTP::endBatch()
{
    // Taken out first: a receiver of finished may start the next batch at once.
    const int group = batchGroup;
    const QString errors = errorText;
    batchGroup = 0;
    errorText.clear();

    setProgressVisible(false);
    qInfo() << "QtFTP" << "downloadFinished";
    if (group > 0)
        emit finished(group);
    if (!errors.isEmpty()) {
        emit progressReset();
        // Queued: the box never runs inside the download queue or the link.
        postMessageBox(NoticeIcon::Warning, QStringLiteral("Error"), errors);
    }
}

void QtFTP::setProgressVisible(bool visible)
{
    if (progressVisible == visible)
        return;
    progressVisible = visible;
    emit progressVisibleChanged(visible);
}
