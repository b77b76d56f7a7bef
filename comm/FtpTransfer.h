#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

class QTcpSocket;

// One file fetched from an FTP server over a session of its own: log in with the URL's user
// and password, binary type, SIZE, passive mode, RETR of the URL's path relative to the login
// folder, QUIT. The session is closed when the transfer ends, fails or is aborted.
// The network access manager's own FTP support cannot do the last: after an aborted
// transfer it waits for a server reply that never comes and keeps the session logged in.
class FtpTransfer : public QObject
{
    Q_OBJECT

public:
    // Starts from the event loop, so the caller can connect the signals first.
    explicit FtpTransfer(const QUrl& url, QObject* parent = nullptr);
    ~FtpTransfer() override;

    QUrl url() const { return remoteUrl; }
    QByteArray readAll();
    // NoError once the server has confirmed the transfer and the data connection has closed;
    // fewer bytes than size() then means the server cut the file short.
    QNetworkReply::NetworkError error() const { return failure; }
    // The size the server gave for the file; -1 when it gave none.
    qint64 size() const { return fileSize; }
    // Bytes read from the data connection; above size() when the server sent more than it
    // announced (reading stops at the first byte past it, ProtocolFailure).
    qint64 bytesReceived() const { return receivedTotal; }
    // The server accepted the RETR or data arrived: an end without the whole file from here
    // on is a transfer cut off, worth another attempt.
    bool retrievalBegun() const { return retrievalStarted; }
    bool isFinished() const { return done; }
    // Closes both connections at once; finished follows at once (OperationCanceledError).
    void abort();

signals:
    void readyRead();
    // bytesTotal -1: size unknown.
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void finished();

private:
    enum class Step { Greeting, User, Password, Type, Size, Passive, Retrieve, Transfer };

    void start();
    void readControl();
    void onReply(int code, const QByteArray& line);
    void send(const QByteArray& command);
    void readData();
    void onDataClosed();
    void onDataError();
    void onControlLost(QNetworkReply::NetworkError error);
    void finishIfComplete();
    void finish(QNetworkReply::NetworkError error);
    QString remotePath() const;

    QUrl remoteUrl;
    QTcpSocket* control = nullptr;
    QTcpSocket* data = nullptr;
    Step step = Step::Greeting;
    QByteArray controlBuffer;
    // Code of a multi-line reply still being read, 0 outside one.
    int multiLineCode = 0;
    QByteArray received;
    qint64 receivedTotal = 0;
    qint64 fileSize = -1;
    bool retrievalStarted = false;
    bool serverConfirmed = false;
    bool dataClosed = false;
    bool done = false;
    QNetworkReply::NetworkError failure = QNetworkReply::NoError;
};
