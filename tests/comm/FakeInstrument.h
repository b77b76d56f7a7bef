#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;

// A stand-in for the instrument's command server on 127.0.0.1 and a free port. It reads
// the host's frames with a decoder of its own (so the link's codec is checked against an
// independent reading of the format), acknowledges them as told, and sends messages,
// garbage and frames cut into pieces.
class FakeInstrument : public QObject
{
    Q_OBJECT

public:
    enum AckMode { AckAtOnce, AckLater, NoAck };

    struct Request
    {
        quint32 msgId;
        QByteArray payload;
        qint64 atMs;  // since the fake was made
    };

    explicit FakeInstrument(QObject* parent = nullptr);

    bool listen();
    quint16 port() const;
    bool hasClient() const;
    void closeClient();

    // How requests with this id are acknowledged; the default is at once.
    void setAckMode(quint32 msgId, AckMode mode, int delayMs = 0);
    // Acknowledge with the whole id instead of its low half.
    void setAckWithFullId(bool on) { ackFullId = on; }

    // A frame as the instrument builds it; dataParity < 0 means the computed one.
    static QByteArray frame(quint32 msgId, const QByteArray& payload, qint64 dataParity = -1);
    static quint32 parity(const QByteArray& payload);

    void send(quint32 msgId, const QByteArray& payload = QByteArray());
    void sendAck(quint32 ackedId);
    void sendRaw(const QByteArray& bytes);

    QList<Request> requests() const { return received; }
    // The heartbeat goes out on its own clock, between any two requests: these skip it.
    QList<Request> requestsBut(quint32 msgId) const;
    QByteArray lastPayload(quint32 msgId) const;
    int count(quint32 msgId) const;
    QList<quint32> ids() const;
    int damagedFrames() const { return damaged; }
    qint64 elapsed() const { return clock.elapsed(); }

signals:
    void clientConnected();
    void clientGone();
    void requestReceived(quint32 msgId);

private:
    void onNewConnection();
    void onReadyRead();

    struct Policy
    {
        AckMode mode = AckAtOnce;
        int delayMs = 0;
    };

    QTcpServer* server;
    QPointer<QTcpSocket> client;
    QByteArray inbox;
    QList<Request> received;
    QHash<quint32, Policy> policies;
    bool ackFullId = false;
    int damaged = 0;
    QElapsedTimer clock;
};
