#include "FtpTransfer.h"

#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

namespace {

constexpr quint16 DefaultFtpPort = 21;
// Longer than any reply a server sends: a peer that never ends its line is not read on.
constexpr int MaxReplyLineBytes = 8192;

QNetworkReply::NetworkError networkError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the port, 0 without a valid one.
quint16 passivePort(const QByteArray& reply)
{
    static const QRegularExpression numbers(QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
    // With its length: a NUL byte in the text does not end the reply.
    const QRegularExpressionMatch match = numbers.match(QString::fromLatin1(reply.constData(), reply.size()));
    if (!match.hasMatch())
        return 0;
    int values[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        values[i] = match.captured(i + 1).toInt(&ok);
        if (!ok || values[i] > 255)
            return 0;
    }
    return quint16(values[4] * 256 + values[5]);
}

// The code of a reply line: three digits at its very start, -1 otherwise.
int replyCode(const QByteArray& line)
{
    if (line.size() < 3)
        return -1;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = line.at(i);
        if (c < '0' || c > '9')
            return -1;
        code = code * 10 + (c - '0');
    }
    return code;
}

// Bytes to take from the data connection: what it holds, and with a known size no more
// than one past it. Written so that no size, however large, overflows.
qint64 readLimit(qint64 available, qint64 fileSize, qint64 receivedTotal)
{
    if (fileSize < 0)
        return available;
    const qint64 remaining = fileSize - receivedTotal;
    return remaining < available ? remaining + 1 : available;
}

} // namespace

FtpTransfer::FtpTransfer(const QUrl& url, QObject* parent)
    : QObject(parent)
    , remoteUrl(url)
{
    QTimer::singleShot(0, this, &FtpTransfer::start);
}

FtpTransfer::~FtpTransfer()
{
    // The sockets go with this object and close the session; nothing more is reported.
    if (control)
        control->disconnect(this);
    if (data)
        data->disconnect(this);
}

QByteArray FtpTransfer::readAll()
{
    return std::exchange(received, QByteArray());
}

void FtpTransfer::abort()
{
    finish(QNetworkReply::OperationCanceledError);
}

QString FtpTransfer::remotePath() const
{
    // The base URL's "/" is the login folder, as for the network access manager.
    const QString path = remoteUrl.path(QUrl::FullyDecoded);
    return path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
}

void FtpTransfer::start()
{
    if (done)
        return;
    control = new QTcpSocket(this);
    control->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    connect(control, &QTcpSocket::readyRead, this, &FtpTransfer::readControl);
    connect(control, &QTcpSocket::errorOccurred, this, [this] { onControlLost(networkError(control->error())); });
    connect(control, &QTcpSocket::disconnected, this, [this] { onControlLost(QNetworkReply::RemoteHostClosedError); });
    control->connectToHost(remoteUrl.host(), quint16(remoteUrl.port(DefaultFtpPort)));
}

void FtpTransfer::send(const QByteArray& command)
{
    control->write(command + "\r\n");
}

void FtpTransfer::readControl()
{
    controlBuffer += control->readAll();
    int end;
    while (!done && (end = controlBuffer.indexOf('\n')) >= 0) {
        // Not trimmed: an inner line of a multi-line reply may start with a space and the code.
        QByteArray line = controlBuffer.left(end);
        controlBuffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const int code = replyCode(line);
        if (code < 0)
            continue;
        const char separator = line.size() > 3 ? line.at(3) : ' ';
        if (multiLineCode != 0) {
            // Lines of a multi-line reply up to "<code> <text>".
            if (code == multiLineCode && separator == ' ') {
                multiLineCode = 0;
                onReply(code, line);
            }
        } else if (separator == '-') {
            multiLineCode = code;
        } else {
            onReply(code, line);
        }
    }
    if (!done && controlBuffer.size() > MaxReplyLineBytes)
        finish(QNetworkReply::ProtocolFailure);
}

void FtpTransfer::onReply(int code, const QByteArray& line)
{
    if (code < 200 && step != Step::Retrieve)
        return; // preliminary
    switch (step) {
    case Step::Greeting:
        if (code != 220)
            return finish(QNetworkReply::ProtocolFailure);
        step = Step::User;
        send("USER " + remoteUrl.userName(QUrl::FullyDecoded).toUtf8());
        return;
    case Step::User:
        if (code == 331 || code == 332) {
            step = Step::Password;
            send("PASS " + remoteUrl.password(QUrl::FullyDecoded).toUtf8());
            return;
        }
        Q_FALLTHROUGH();
    case Step::Password:
        if (code != 230 && code != 202)
            return finish(QNetworkReply::AuthenticationRequiredError);
        step = Step::Type;
        send("TYPE I");
        return;
    case Step::Type:
        if (code / 100 != 2)
            return finish(QNetworkReply::ProtocolFailure);
        step = Step::Size;
        send("SIZE " + remotePath().toUtf8());
        return;
    case Step::Size: {
        // Without an answer the size stays unknown; a missing file is told by RETR.
        bool ok = false;
        const qint64 size = line.mid(4).trimmed().toLongLong(&ok);
        if (code == 213 && ok && size >= 0)
            fileSize = size;
        step = Step::Passive;
        send("PASV");
        return;
    }
    case Step::Passive: {
        const quint16 port = code == 227 ? passivePort(line) : 0;
        if (port == 0)
            return finish(QNetworkReply::ProtocolFailure);
        step = Step::Retrieve;
        // Only to the host of the control connection, whatever address the reply names.
        data = new QTcpSocket(this);
        data->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        connect(data, &QTcpSocket::connected, this, [this] { send("RETR " + remotePath().toUtf8()); });
        connect(data, &QTcpSocket::readyRead, this, &FtpTransfer::readData);
        connect(data, &QTcpSocket::disconnected, this, &FtpTransfer::onDataClosed);
        connect(data, &QTcpSocket::errorOccurred, this, &FtpTransfer::onDataError);
        data->connectToHost(control->peerAddress(), port);
        return;
    }
    case Step::Retrieve:
        if (code == 125 || code == 150) {
            step = Step::Transfer;
            retrievalStarted = true;
            return;
        }
        // A file SIZE has found exists: then it is the reading that is refused.
        if (code == 550)
            return finish(fileSize >= 0 ? QNetworkReply::ContentAccessDenied : QNetworkReply::ContentNotFoundError);
        Q_FALLTHROUGH();
    case Step::Transfer:
        if (code == 226 || code == 250) {
            step = Step::Transfer;
            serverConfirmed = true;
            finishIfComplete();
        } else if (code >= 400) {
            finish(QNetworkReply::ContentAccessDenied);
        }
        return;
    }
}

void FtpTransfer::readData()
{
    if (done)
        return;
    // Only what the socket holds: read(n) first sizes its buffer to n. With a known size,
    // at most one byte past it: a server that sends on fails the attempt instead of
    // filling the disk.
    const QByteArray bytes = data->read(readLimit(data->bytesAvailable(), fileSize, receivedTotal));
    if (bytes.isEmpty())
        return;
    retrievalStarted = true;
    receivedTotal += bytes.size();
    if (fileSize >= 0 && receivedTotal > fileSize)
        return finish(QNetworkReply::ProtocolFailure);
    received += bytes;
    emit readyRead();
    if (!done)
        emit downloadProgress(receivedTotal, fileSize);
}

void FtpTransfer::onDataClosed()
{
    readData();
    dataClosed = true;
    finishIfComplete();
}

void FtpTransfer::onDataError()
{
    // The server closing the data connection is the end of the file, not an error.
    if (data->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    finish(networkError(data->error()));
}

void FtpTransfer::onControlLost(QNetworkReply::NetworkError error)
{
    // A server may close the session right after "226": the file is complete once the
    // data connection has given up its bytes and closed.
    if (serverConfirmed) {
        readData();
        finishIfComplete();
        return;
    }
    finish(error);
}

void FtpTransfer::finishIfComplete()
{
    if (serverConfirmed && dataClosed)
        finish(QNetworkReply::NoError);
}

void FtpTransfer::finish(QNetworkReply::NetworkError error)
{
    if (done)
        return;
    done = true;
    failure = error;
    if (data) {
        data->disconnect(this);
        data->abort();
    }
    if (control) {
        control->disconnect(this);
        // A server answers QUIT only once a transfer in progress has ended, which a stalled
        // one never does; closing the connection ends the session in any case.
        if (error == QNetworkReply::NoError && control->state() == QAbstractSocket::ConnectedState) {
            send("QUIT");
            control->flush();
        }
        control->abort();
    }
    emit finished();
}
