#include "LibCom.h"

#include <QDateTime>
#include <QDebug>
#include <QTimer>
#include <QtEndian>

namespace {

// Heartbeat requests failed since the last acknowledge of anything.
quint8 errorCnt = 0;

constexpr int HeartbeatInterval = 12000;
constexpr int StatusSize = 48;
constexpr int SystemInfoSize = 16;

QByteArray littleEndian64(qint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian<qint64>(value, bytes.data());
    return bytes;
}

}  // namespace

LibCom::LibCom(QObject* parent)
    : Com(parent)
    , msgIdEnum(staticMetaObject.enumerator(staticMetaObject.indexOfEnumerator("MSG_ID")))
    , heartbeatTimer(new QTimer(this))
{
    heartbeatTimer->setInterval(HeartbeatInterval);
    connect(this, &Com::ComSendFail, this, [this](uint32_t msgId) {
        if (msgId == HeartBeat) {
            ++errorCnt;
            if (errorCnt > 3) {
                qDebug() << "LibCom" << "operator()" << "HeartBeat Send errorCnt>3";
                Close();
                errorCnt = 0;
            }
        }
        emit MsgSendFail(msgName(msgId));
    });
    connect(this, &Com::ComConnected, this, [this]() {
        SendAdjustTime();
        SendMessage(HeartBeat);
        heartbeatTimer->start();
    });
    connect(this, &Com::ComClosed, heartbeatTimer, &QTimer::stop);
    connect(heartbeatTimer, &QTimer::timeout, this, [this]() {
        if (IsConnected())
            SendMessage(HeartBeat);
    });
}

QString LibCom::msgName(uint32_t msgId) const
{
    return QString::fromLatin1(msgIdEnum.valueToKey(int(msgId)));
}

void LibCom::SetHeartbeatInterval(int ms)
{
    heartbeatTimer->setInterval(ms);
}

void LibCom::SendConfigProj(const QByteArray& payload)
{
    SendMessage(ConfigProj, &payload);
}

void LibCom::SendSampleStart(const QByteArray& payload)
{
    if (payload.isEmpty())
        return;
    SendMessage(SampleStart, &payload);
}

void LibCom::SendSampleStop()
{
    SendMessage(SampleStop);
}

void LibCom::SendCancelSave()
{
    SendMessage(CancelSave);
}

void LibCom::SendDiskFormat()
{
    SendMessage(DiskFormat);
}

void LibCom::SendDataDelete(int64_t projectId)
{
    const QByteArray payload = littleEndian64(projectId);
    SendMessage(DataDelete, &payload);
}

void LibCom::SendAdjustTime()
{
    const QByteArray payload = littleEndian64(QDateTime::currentDateTimeUtc().toMSecsSinceEpoch());
    SendMessage(AdjustTime, &payload);
}

void LibCom::CmdHandler(uint32_t msgId, QByteArray& payload)
{
    // Key names print bare, like the other items of the line.
    if (msgId != ACK && msgId != Status)
        qDebug() << "LibCom" << "CmdHandler" << msgIdEnum.valueToKey(int(msgId));

    switch (msgId) {
    case ACK:
        if (payload.size() >= 4)
            AckHandler(qFromLittleEndian<quint32>(payload.constData()) | 0xAA550000u);
        break;
    case ConfigProj:
        emit DevProjConfiged();
        break;
    case SampleStart:
        if (payload.size() >= 4) {
            const int group = qFromLittleEndian<qint32>(payload.constData());
            qDebug() << "LibCom MSG_ID::SampleStart Group" << group << "Sample Over";
            emit ProcessGroupFinish(group);
        }
        break;
    case SampleStop:
        emit ProcessStoped();
        break;
    case AdjustTime:
        emit DevAdjustTimeOver();
        break;
    case Status:
        if (payload.size() >= StatusSize)
            emit DevStatus(payload.data());
        break;
    case DataDelete:
        emit DevProjDeleted();
        break;
    case Restart:
        Close();
        break;
    case ErrorClear:
        emit DevErrorFlagClear();
        break;
    case SystemInfo:
        if (payload.size() >= SystemInfoSize)
            emit DevSystemInfo(payload.data());
        break;
    case DiskFormat:
        emit DevSDCardDiskFormated();
        break;
    default:
        break;
    }
}

void LibCom::AckHandler(uint32_t msgId)
{
    errorCnt = 0;
    switch (msgId) {
    case HeartBeat:
        qDebug() << "LibCom" << "AckHandler" << "HeartBeat";
        break;
    case DiskFormat:
        qDebug() << "LibCom" << "AckHandler" << "DiskFormat";
        emit DevSDCardDiskFormatAck();
        break;
    case SampleStart:
        emit ProcessStarted();
        qDebug() << "LibCom" << "AckHandler" << "SampleStart";
        break;
    default:
        qDebug() << "LibCom" << "AckHandler" << "ReciveACK" << msgIdEnum.valueToKey(int(msgId));
        break;
    }
    OnReceivedAckHandler(msgId);
}
