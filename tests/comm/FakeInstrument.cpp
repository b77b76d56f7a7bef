#include "FakeInstrument.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr quint32 AckId = 0xAA550000;

void putBig(QByteArray& bytes, quint32 v)
{
    bytes.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

quint32 getBig(const QByteArray& bytes, int at)
{
    const auto b = [&](int i) { return quint32(quint8(bytes.at(at + i))); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

}  // namespace

FakeInstrument::FakeInstrument(QObject* parent)
    : QObject(parent)
    , server(new QTcpServer(this))
{
    clock.start();
    connect(server, &QTcpServer::newConnection, this, &FakeInstrument::onNewConnection);
}

bool FakeInstrument::listen()
{
    return server->listen(QHostAddress(QHostAddress::LocalHost), 0);
}

quint16 FakeInstrument::port() const
{
    return server->serverPort();
}

bool FakeInstrument::hasClient() const
{
    return client && client->state() == QAbstractSocket::ConnectedState;
}

void FakeInstrument::closeClient()
{
    if (client)
        client->disconnectFromHost();
}

void FakeInstrument::setAckMode(quint32 msgId, AckMode mode, int delayMs)
{
    policies[msgId] = Policy{mode, delayMs};
}

quint32 FakeInstrument::parity(const QByteArray& payload)
{
    quint32 p = 0;
    for (int i = 0; i < payload.size(); ++i)
        p ^= quint32(quint8(payload.at(i))) << (8 * (i % 4));
    return p;
}

QByteArray FakeInstrument::frame(quint32 msgId, const QByteArray& payload, qint64 dataParity)
{
    QByteArray f;
    const quint32 len = quint32(payload.size());
    putBig(f, msgId);
    putBig(f, len);
    putBig(f, msgId ^ len);
    putBig(f, dataParity < 0 ? parity(payload) : quint32(dataParity));
    return f + payload;
}

void FakeInstrument::send(quint32 msgId, const QByteArray& payload)
{
    sendRaw(frame(msgId, payload));
}

void FakeInstrument::sendAck(quint32 ackedId)
{
    const quint32 value = ackFullId ? ackedId : (ackedId & 0xFFFF);
    QByteArray payload;
    for (int i = 0; i < 4; ++i)
        payload.append(char(value >> (8 * i)));
    send(AckId, payload);
}

void FakeInstrument::sendRaw(const QByteArray& bytes)
{
    if (!client)
        return;
    client->write(bytes);
    client->flush();
}

int FakeInstrument::count(quint32 msgId) const
{
    int n = 0;
    for (const Request& r : received)
        n += r.msgId == msgId ? 1 : 0;
    return n;
}

QList<FakeInstrument::Request> FakeInstrument::requestsBut(quint32 msgId) const
{
    QList<Request> list;
    for (const Request& r : received)
        if (r.msgId != msgId)
            list.append(r);
    return list;
}

QByteArray FakeInstrument::lastPayload(quint32 msgId) const
{
    for (int i = received.size() - 1; i >= 0; --i)
        if (received.at(i).msgId == msgId)
            return received.at(i).payload;
    return QByteArray();
}

QList<quint32> FakeInstrument::ids() const
{
    QList<quint32> list;
    for (const Request& r : received)
        list.append(r.msgId);
    return list;
}

void FakeInstrument::onNewConnection()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (client)
            client->abort();
        client = socket;
        inbox.clear();
        connect(socket, &QTcpSocket::readyRead, this, &FakeInstrument::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            socket->deleteLater();
            if (socket == client)
                emit clientGone();
        });
        emit clientConnected();
    }
}

void FakeInstrument::onReadyRead()
{
    if (!client)
        return;
    inbox.append(client->readAll());
    // The host only ever sends whole, valid frames, one after the other.
    while (inbox.size() >= 16) {
        const quint32 id = getBig(inbox, 0);
        const quint32 len = getBig(inbox, 4);
        if ((id >> 16) != 0xAA55 || (id ^ len) != getBig(inbox, 8) || len > 100000) {
            ++damaged;
            inbox.clear();
            return;
        }
        if (quint32(inbox.size()) < 16 + len)
            return;
        const QByteArray payload = inbox.mid(16, int(len));
        if (parity(payload) != getBig(inbox, 12))
            ++damaged;
        inbox.remove(0, int(16 + len));
        received.append(Request{id, payload, clock.elapsed()});

        const Policy policy = policies.value(id);
        if (policy.mode == AckAtOnce)
            sendAck(id);
        else if (policy.mode == AckLater)
            QTimer::singleShot(policy.delayMs, this, [this, id]() { sendAck(id); });
        emit requestReceived(id);
    }
}
