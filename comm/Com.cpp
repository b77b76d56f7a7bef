#include "Com.h"

#include "ComDevice.h"
#include "ComMessage.h"

#include <QDebug>
#include <QTimer>

namespace {

QString idText(uint32_t msgId)
{
    return QStringLiteral("%1").arg(msgId, 8, 16, QLatin1Char('0'));
}

}  // namespace

Com::Com(QObject* parent)
    : QObject(parent)
    , connected(false)
    , device(nullptr)
    , checkTimer(new QTimer(this))
    , timeout(6400)
    , maxResend(3)
{
    device = new ComDevice(this);
    clock.start();
    connect(device, &ComDevice::handleConnected, this, [this]() {
        connected = true;
        emit ComConnected();
    });
    connect(device, &ComDevice::handleClosed, this, [this]() {
        connected = false;
        emit ComClosed();
    });
    connect(device, &ComDevice::handleConnectFailed, this, &Com::ComConnectFailed);
    connect(device, &ComDevice::handleSended, this, &Com::OnSended, Qt::DirectConnection);
    connect(device, &ComDevice::handleReceived, this, &Com::OnReceived, Qt::DirectConnection);
    connect(checkTimer, &QTimer::timeout, this, &Com::OnRequestTimout);
}

Com::~Com()
{
    checkTimer->disconnect(this);
    device->disconnect(this);
    checkTimer->stop();
    device->reset();
    // Every frame is in exactly one of the two id lists.
    qDeleteAll(MessagePendingList.keys());
    qDeleteAll(MessageWaitList.keys());
}

void Com::ConnectToHost(const st_HostAddr& host)
{
    checkTimer->stop();
    device->reset();
    device->setHost(host);
    connected = false;
    checkTimer->start(checkInterval);
}

bool Com::Open()
{
    if (connected)
        return true;
    return device->connectToHost();
}

void Com::Close()
{
    if (connected)
        device->disconnectFromHost();
}

bool Com::IsConnected() const
{
    return connected;
}

void Com::SetTimeout(uint32_t ms)
{
    timeout = ms;
}

void Com::SetMaxResend(uint32_t count)
{
    maxResend = count;
}

void Com::SetCheckInterval(int ms)
{
    checkInterval = ms;
    checkTimer->setInterval(ms);
}

void Com::SendMessage(uint32_t msgId, const QByteArray* payload)
{
    if (!connected)
        return;
    Send(msgId, payload ? *payload : QByteArray());
}

qint64 Com::now() const
{
    return clock.elapsed();
}

void Com::removeEntry(TimeList& list, QByteArray* frame)
{
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it.value() == frame) {
            list.erase(it);
            return;
        }
    }
}

bool Com::Send(uint32_t msgId, const QByteArray& payload)
{
    QByteArray* frame = ComMessage::MessageEncode(msgId, payload);
    MessagePendingList.insert(frame, msgId);
    PendingTimeList.insert(now(), frame);
    ResendCountList.insert(frame, 0);
    if (!device->send(frame)) {
        MessagePendingList.remove(frame);
        removeEntry(PendingTimeList, frame);
        ResendCountList.remove(frame);
        delete frame;
        return false;
    }
    return true;
}

void Com::OnSended(QByteArray* frame)
{
    if (MessagePendingList.contains(frame)) {
        const uint32_t msgId = MessagePendingList.take(frame);
        removeEntry(PendingTimeList, frame);
        MessageWaitList.insert(frame, msgId);
        WaitTimeList.insert(now(), frame);
    } else if (!MessageWaitList.contains(frame)) {
        delete frame;
    }
}

void Com::OnReceived(QByteArray* buffer, uint32_t* size)
{
    QByteArray frame;
    if (!ComMessage::MessageDecode(*buffer, frame, *size))
        return;
    const uint32_t msgId = ComMessage::GetMsgId(frame);
    QByteArray* payload = ComMessage::GetPayload(frame);
    CmdHandler(msgId, *payload);
    delete payload;
}

void Com::OnReceivedAckHandler(uint32_t msgId)
{
    for (auto it = MessageWaitList.begin(); it != MessageWaitList.end(); ++it) {
        if (it.value() != msgId)
            continue;
        QByteArray* frame = it.key();
        removeEntry(WaitTimeList, frame);
        ResendCountList.remove(frame);
        MessageWaitList.erase(it);
        delete frame;
        return;
    }
    qDebug() << "Com" << "OnReceivedAckHandler" << "MessageWaitList !contains" << "msg id:" << idText(msgId);
}

void Com::OnRequestTimout()
{
    const qint64 start = now();

    while (!PendingTimeList.isEmpty() && start - PendingTimeList.firstKey() > qint64(timeout)) {
        QByteArray* frame = PendingTimeList.first();
        PendingTimeList.erase(PendingTimeList.begin());
        if (MessagePendingList.remove(frame) > 0) {
            ResendCountList.remove(frame);
            delete frame;
        }
    }

    // Only what waited before this step: a resend below gets a fresh stamp.
    const QList<QPair<qint64, QByteArray*>> expired = [&]() {
        QList<QPair<qint64, QByteArray*>> list;
        for (auto it = WaitTimeList.cbegin(); it != WaitTimeList.cend() && start - it.key() > qint64(timeout); ++it)
            list.append(qMakePair(it.key(), it.value()));
        return list;
    }();

    for (const auto& entry : expired) {
        QByteArray* frame = entry.second;
        // A handler of an earlier signal in this loop may have released it already.
        if (WaitTimeList.remove(entry.first, frame) == 0 || !MessageWaitList.contains(frame))
            continue;
        const uint32_t msgId = MessageWaitList.take(frame);
        qDebug() << "Com" << "OnRequestTimout" << "MessageWaitList remove" << "msg id:" << idText(msgId);
        if (!ResendCountList.contains(frame)) {
            delete frame;
            continue;
        }
        const int count = ResendCountList.take(frame);
        if (uint32_t(count) >= maxResend) {
            emit ComSendFail(msgId);
            delete frame;
            continue;
        }
        MessagePendingList.insert(frame, msgId);
        PendingTimeList.insert(now(), frame);
        ResendCountList.insert(frame, count + 1);
        if (!device->send(frame)) {
            MessagePendingList.remove(frame);
            removeEntry(PendingTimeList, frame);
            ResendCountList.remove(frame);
            delete frame;
        }
    }
}
