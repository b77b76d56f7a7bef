#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QString>

#include <cstdint>

class ComDevice;
class QTimer;
struct st_HostAddr;

// Request/acknowledge layer of the instrument link. Every request is kept until the
// instrument acknowledges it; after a time-out it is resent, and after the last resend
// it is reported failed. Received messages go to CmdHandler. GUI thread only.
class Com : public QObject
{
    Q_OBJECT

public:
    explicit Com(QObject* parent = nullptr);
    ~Com() override;

    void ConnectToHost(const st_HostAddr& host);
    bool Open();
    void Close();
    bool IsConnected() const;
    void SetTimeout(uint32_t ms);
    void SetMaxResend(uint32_t count);
    // For tests only: how often the lists are checked (1000 ms otherwise).
    void SetCheckInterval(int ms);

    // Dropped silently while not connected. The payload is copied.
    void SendMessage(uint32_t msgId, const QByteArray* payload = nullptr);
    // Releases the waiting request with this id.
    void OnReceivedAckHandler(uint32_t msgId);

    virtual void CmdHandler(uint32_t msgId, QByteArray& payload) = 0;

signals:
    void ComConnected();
    void ComClosed();
    void ComSendFail(uint32_t msgId);
    // A connection attempt failed; the text says why (for the operator).
    void ComConnectFailed(const QString& reason);

public slots:
    void OnRequestTimout();

private:
    using TimeList = QMultiMap<qint64, QByteArray*>;

    bool Send(uint32_t msgId, const QByteArray& payload);
    void OnSended(QByteArray* frame);
    void OnReceived(QByteArray* buffer, uint32_t* size);
    qint64 now() const;
    static void removeEntry(TimeList& list, QByteArray* frame);

    bool connected;
    ComDevice* device;
    QMap<QByteArray*, uint32_t> MessagePendingList;
    TimeList PendingTimeList;
    QMap<QByteArray*, uint32_t> MessageWaitList;
    QMap<QByteArray*, int> ResendCountList;
    TimeList WaitTimeList;
    QTimer* checkTimer;
    uint32_t timeout;
    uint32_t maxResend;
    int checkInterval = 1000;
    // Ages are measured on a steady clock, so a change of the computer's clock
    // neither fails every request at once nor holds them for hours.
    QElapsedTimer clock;
};
