#include "ComDevice.h"

#include <QDebug>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>

ComDevice::ComDevice(QObject* parent)
    : QObject(parent)
    , ip(QStringLiteral("0"))
    , port(0)
    , socket(new QTcpSocket(this))
{
    connect(socket, &QAbstractSocket::connected, this, &ComDevice::onTcpConnected);
    connect(socket, &QAbstractSocket::disconnected, this, &ComDevice::onTcpDisconed);
    connect(socket, &QIODevice::readyRead, this, &ComDevice::onTcpRecved);
    connect(socket, &QAbstractSocket::errorOccurred, this, &ComDevice::onTcpError);
    flags.set(0);
    sendQueue.clear();
    recvBuffer.clear();
}

ComDevice::~ComDevice()
{
    reset();
}

void ComDevice::setHost(const st_HostAddr& host)
{
    ip = host.ip;
    port = host.port;
    flags.set(ComStateFlags::HostSet);
}

void ComDevice::reset()
{
    flags.set(0);
    connecting = false;
    socket->close();
    sendQueue.clear();
    recvBuffer.clear();
    ip = QStringLiteral("0");
    port = 0;
}

bool ComDevice::connectToHost()
{
    if (!flags.test(ComStateFlags::HostSet))
        return flags.test(ComStateFlags::Connected);
    socket->abort();
    // The instrument sits on the local network: never go through a proxy.
    socket->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    // A new connection is a new byte stream: what is left of the last one can't
    // be completed by it.
    recvBuffer.clear();
    connecting = true;
    socket->connectToHost(ip, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    return true;
}

void ComDevice::disconnectFromHost()
{
    socket->disconnectFromHost();
    flags.clear(ComStateFlags::Connected);
}

bool ComDevice::send(QByteArray* data)
{
    if (!flags.test(ComStateFlags::Connected))
        return false;
    sendQueue.enqueue(data);
    // A pass further up the call stack writes it after its current frame.
    if (flags.test(ComStateFlags::SenderBusy))
        return true;

    flags.set(ComStateFlags::SenderBusy);
    bool written = false;
    while (!sendQueue.isEmpty()) {
        QByteArray* frame = sendQueue.head();
        if (!socket->isOpen() || socket->write(*frame) != frame->size()) {
            sendQueue.clear();
            break;
        }
        sendQueue.dequeue();
        if (frame == data)
            written = true;
        emit handleSended(frame);
    }
    flags.clear(ComStateFlags::SenderBusy);
    return written;
}

void ComDevice::onTcpConnected()
{
    if (!flags.test(ComStateFlags::HostSet))
        return;
    connecting = false;
    flags.set(ComStateFlags::Connected);
    qDebug() << "ComDevice" << "onTcpConnected" << ip;
    emit handleConnected();
}

void ComDevice::onTcpDisconed()
{
    qDebug() << "ComDevice" << "onTcpDisconed" << ip;
    socket->abort();
    flags.clear(ComStateFlags::Connected);
    emit handleClosed();
}

void ComDevice::onTcpRecved()
{
    // The socket does not announce bytes again while a readyRead handler runs: what came
    // while a handler of this pass ran an event loop of its own (a modal box) waits in the
    // socket. Read on until it holds nothing, or it would wait for the next write's reply.
    do {
        const QByteArray bytes = socket->readAll();
        if (bytes.isEmpty())
            return;
        recvBuffer.append(bytes);
        runReceivePass();
    } while (!flags.test(ComStateFlags::ReceiverBusy) && socket->bytesAvailable() > 0);
}

void ComDevice::runReceivePass()
{
    if (!flags.test(ComStateFlags::Connected) || flags.test(ComStateFlags::ReceiverBusy) || recvBuffer.isEmpty())
        return;
    flags.set(ComStateFlags::ReceiverBusy);
    uint32_t consumed = 0;
    do {
        consumed = 0;
        emit handleReceived(&recvBuffer.bytes(), &consumed);
        recvBuffer.consume(int(qMin<uint32_t>(consumed, uint32_t(recvBuffer.size()))));
    } while (consumed != 0 && !recvBuffer.isEmpty());
    flags.clear(ComStateFlags::ReceiverBusy);
}

void ComDevice::onTcpError(QAbstractSocket::SocketError error)
{
    Q_UNUSED(error);
    qDebug() << "ComDevice SocketError:" << socket->errorString();
    qDebug() << "ComDevice RemoteHost:" << socket->peerAddress().toString();
    if (connecting) {
        connecting = false;
        emit handleConnectFailed(socket->errorString());
    }
}
