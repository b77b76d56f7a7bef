#pragma once

#include "ComByteBuffer.h"
#include "ComMessageQueue.h"
#include "ComStateFlags.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

class QTcpSocket;

struct st_HostAddr
{
    QString ip;
    quint16 port;
};

// TCP transport of the instrument link: writes the frames handed to it, collects the
// received bytes and offers them for decoding until no further frame can be cut. It
// knows nothing of message ids. GUI thread only; nothing here blocks.
class ComDevice : public QObject
{
    Q_OBJECT

public:
    explicit ComDevice(QObject* parent = nullptr);
    ~ComDevice() override;

    void setHost(const st_HostAddr& host);
    void reset();
    // True when an attempt was issued (not its outcome); without a host, whether connected.
    bool connectToHost();
    void disconnectFromHost();
    // False when not connected (the frame is not taken) or when its write failed.
    bool send(QByteArray* data);

signals:
    void handleConnected();
    void handleClosed();
    void handleSended(QByteArray* data);
    // The receiver cuts one frame from data and sets *size to the bytes to drop.
    void handleReceived(QByteArray* data, uint32_t* size);
    // A connection attempt ended without a connection; the text says why.
    void handleConnectFailed(const QString& reason);

private slots:
    void onTcpConnected();
    void onTcpDisconed();
    void onTcpRecved();
    void onTcpError(QAbstractSocket::SocketError error);

private:
    void runWritePass();
    void runReceivePass();

    QString ip;
    quint16 port;
    QTcpSocket* socket;
    ComStateFlags flags;
    ComMessageQueue sendQueue;
    ComByteBuffer recvBuffer;
    bool connecting = false;
};
