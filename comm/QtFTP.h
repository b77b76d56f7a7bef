#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

class FtpTransfer;
class QSaveFile;

// One file to fetch: remote path relative to the base URL, local path to write.
struct FtpTask
{
    QString getPath;
    QString writePath;
    int retries = 0;
    // Queued by exportFile: delivers the file but announces no group.
    bool exportOnly = false;
};

// The instrument's FTP account, the same word for user and password.
extern const char* const InstrumentFtpAccount;
constexpr quint16 InstrumentFtpPort = 21;

// "ftp://<account>:<account>@<ip>:<port>/", the prefix of every remote path.
QString instrumentFtpBaseUrl(const QString& ip, quint16 port = InstrumentFtpPort);

// Group number of a channel file "<group>_CH<n>.dat": the whole leading number, 0 without one.
int channelFileGroup(const QString& fileName);

// MB per second; 0 while no time has passed.
double transferSpeedMBps(qint64 bytesReceived, qint64 elapsedMs);

// Progress dialog texts. The file is shown by the last two parts of its local path.
QString transferStartLabel(const QString& writePath, int filesLeft);
QString transferProgressLabel(const QString& writePath, qint64 bytesReceived, qint64 bytesTotal,
                              qint64 elapsedMs, int filesLeft);

// Download queue for the instrument's FTP server: one transfer at a time, each over a
// session of its own that is closed when it ends, a stalled or cut-off transfer is
// retried, and each batch ends with one report when the queue has run empty. GUI thread
// only. It owns no widget: a progress view follows the progress signals and calls
// cancelAll when the operator cancels.
class QtFTP : public QObject
{
    Q_OBJECT

public:
    explicit QtFTP(QObject* parent = nullptr);
    ~QtFTP() override;

    static constexpr int StallTimeoutMs = 2000;
    static constexpr int MaxRetries = 6;

signals:
    void finished(int group);
    void newTableJson(QByteArray json);
    void newProjJson(QByteArray json);

    // For the progress view.
    void progressVisibleChanged(bool visible);
    void progressLabelChanged(const QString& text);
    // bytesTotal -1: size unknown.
    void progressChanged(qint64 bytesReceived, qint64 bytesTotal);
    void progressReset();

public slots:
    void setBaseUrl(QString baseUrl);
    void getTableJson();
    void getProjJson(int64_t ProjID);
    void downloadPro(QString getPath, QString writePath);
    void download(QString getPath, QString writePath);
    void exportFile(QString getPath, QString writePath);
    void cancelAll();
    // Drops the queued tasks whose local path lies in localFolder (or is it) and aborts the
    // transfer in progress when it writes there; the rest of the batch goes on, from the
    // event loop, so nothing is emitted inside this call.
    void cancelUnder(const QString& localFolder);
    bool isBusy();
    void realDownload();
    void downloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void downloadFinished();

private:
    // Cancelled: the whole queue (cancelAll). Dropped: this task only (cancelUnder).
    enum class AbortReason { None, Stalled, Cancelled, Dropped, WriteFailed };

    void queueDownload(const FtpTask& task);
    void enqueue(const FtpTask& task, bool atFront);
    int queuedCount();
    bool openLocalFile(const FtpTask& task, QString* error);
    void startTransfer();
    void writeAvailable();
    void onWatchdog();
    void deliverInformationFile(const QString& fileName);
    // The error line of a failed transfer: the local and remote paths and what went wrong.
    QString failureLine(bool cutShort) const;
    void resumeQueue();
    void releaseTransfer();
    void endBatch();
    void setProgressVisible(bool visible);

    QSaveFile* file = nullptr;
    QList<FtpTask> taskQueue;
    FtpTask currentTask;
    QMutex queueMutex;
    FtpTransfer* transfer = nullptr;
    QString baseUrl;
    bool busy = false;
    bool progressVisible = false;
    AbortReason abortReason = AbortReason::None;
    QString writeError;
    // Group of the last channel file of this batch that was queued with download.
    int batchGroup = 0;
    QTimer watchdog;
    QElapsedTimer downloadClock;
    QElapsedTimer labelClock;
    QString errorText;
};
