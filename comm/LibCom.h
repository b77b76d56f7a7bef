#pragma once

#include "Com.h"

#include <QByteArray>
#include <QMetaEnum>
#include <QString>

#include <cstdint>

class QTimer;

// The instrument's command set on top of the request layer: one send operation per
// command, the heartbeat, acknowledges, and a signal for every message of the instrument.
class LibCom : public Com
{
    Q_OBJECT

public:
    enum MSG_ID : uint32_t {
        ACK = 0xAA550000,
        ConfigProj = 0xAA550001,
        SampleStart = 0xAA550002,
        SampleStop = 0xAA550003,
        AdjustTime = 0xAA550004,
        HeartBeat = 0xAA550005,
        Status = 0xAA550008,
        DataDelete = 0xAA55000A,
        Restart = 0xAA55000C,
        CancelSave = 0xAA55000E,
        ErrorClear = 0xAA550010,
        SystemInfo = 0xAA550011,
        SysUpdate = 0xAA550012,
        DiskFormat = 0xAA550013,
        PowerOff = 0xAA550015,
        MessageError = 0xAA5500F0,
    };
    Q_ENUM(MSG_ID)

    explicit LibCom(QObject* parent = nullptr);

    // Key name of an id ("HeartBeat"); empty for an id outside MSG_ID.
    QString msgName(uint32_t msgId) const;

    // For tests only: the heartbeat period (12000 ms otherwise).
    void SetHeartbeatInterval(int ms);

    void CmdHandler(uint32_t msgId, QByteArray& payload) override;
    void AckHandler(uint32_t msgId);

public slots:
    void SendConfigProj(const QByteArray& payload);
    void SendSampleStart(const QByteArray& payload);
    void SendSampleStop();
    void SendCancelSave();
    void SendDiskFormat();
    void SendDataDelete(int64_t projectId);
    void SendAdjustTime();

signals:
    void MsgSendFail(const QString& msgName);
    void DevProjConfiged();
    void DevAdjustTimeOver();
    void ProcessStarted();
    void ProcessStoped();
    void ProcessGroupFinish(int group);
    // The pointer is valid only during the emission.
    void DevStatus(char* status);
    void DevSystemInfo(char* info);
    void DevErrorFlagClear();
    void DevSDCardDiskFormatAck();
    void DevSDCardDiskFormated();
    void DevProjDeleted();

private:
    QMetaEnum msgIdEnum;
    QTimer* heartbeatTimer;
};
