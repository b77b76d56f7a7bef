#include "ComDevice.h"
#include "ComMessage.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

// The transport against a plain TCP peer on 127.0.0.1.

namespace {

constexpr int Patience = 15000;

QByteArray frameOf(uint32_t id, const QByteArray& payload)
{
    std::unique_ptr<QByteArray> f(ComMessage::MessageEncode(id, payload));
    return *f;
}

}  // namespace

class TestComDevice : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTcpServer> server;
    QPointer<QTcpSocket> peer;
    std::unique_ptr<ComDevice> device;
    QList<QByteArray> frames;  // cut by the receiver, as the request layer does
    int receiveCalls = 0;

    bool connectDevice()
    {
        device->setHost(st_HostAddr{QStringLiteral("127.0.0.1"), server->serverPort()});
        QSignalSpy connected(device.get(), &ComDevice::handleConnected);
        if (!device->connectToHost())
            return false;
        if (!connected.wait(Patience) && connected.isEmpty())
            return false;
        return QTest::qWaitFor([this]() { return !peer.isNull(); }, Patience);
    }

    QByteArray peerReads(int size)
    {
        QByteArray bytes;
        const bool complete = QTest::qWaitFor([&]() {
            if (peer)
                bytes += peer->readAll();
            return bytes.size() >= size;
        }, Patience);
        return complete ? bytes : QByteArray();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<uint32_t>("uint32_t");
        qRegisterMetaType<QByteArray*>("QByteArray*");
    }

    void init()
    {
        server.reset(new QTcpServer);
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        connect(server.get(), &QTcpServer::newConnection, this, [this]() { peer = server->nextPendingConnection(); });
        device.reset(new ComDevice);
        frames.clear();
        receiveCalls = 0;
        connect(device.get(), &ComDevice::handleReceived, this, [this](QByteArray* buffer, uint32_t* size) {
            ++receiveCalls;
            QByteArray frame;
            if (ComMessage::MessageDecode(*buffer, frame, *size))
                frames.append(frame);
        });
    }

    void cleanup()
    {
        device.reset();
        server.reset();
    }

    void nothingIsSentWithoutAConnection()
    {
        QByteArray frame = frameOf(0xAA550003, QByteArray());
        QSignalSpy sended(device.get(), &ComDevice::handleSended);
        QVERIFY(!device->send(&frame));
        device->setHost(st_HostAddr{QStringLiteral("127.0.0.1"), server->serverPort()});
        QVERIFY(!device->send(&frame));
        QCOMPARE(sended.count(), 0);
    }

    void aSendFromTheWrittenHandlerFollowsTheReportedFrame()
    {
        QVERIFY(connectDevice());
        QByteArray first = frameOf(0xAA550003, QByteArray("one"));
        QByteArray second = frameOf(0xAA550004, QByteArray("two"));
        QList<QByteArray*> reported;
        bool secondAccepted = false;
        connect(device.get(), &ComDevice::handleSended, this, [&](QByteArray* data) {
            reported.append(data);
            if (data == &first)
                secondAccepted = device->send(&second);
        });
        QVERIFY(device->send(&first));
        QVERIFY(secondAccepted);
        QCOMPARE(reported, (QList<QByteArray*>{&first, &second}));
        QCOMPARE(peerReads(first.size() + second.size()), first + second);
    }

    void framesAreCutAsTheyArrive()
    {
        QVERIFY(connectDevice());
        const QByteArray a = frameOf(0xAA550008, QByteArray(48, 'a'));
        const QByteArray b = frameOf(0xAA550011, QByteArray(16, 'b'));

        // Two frames in one read: two cuts in one pass.
        peer->write(a + b);
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), 2, Patience);
        QCOMPARE(frames, (QList<QByteArray>{a, b}));

        // A frame split over two reads is cut after the second.
        peer->write(a.left(20));
        peer->flush();
        QTest::qWait(50);
        QCOMPARE(frames.size(), 2);
        peer->write(a.mid(20));
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), 3, Patience);
        QCOMPARE(frames.last(), a);
    }

    void aReconnectStartsWithAnEmptyBuffer()
    {
        QVERIFY(connectDevice());
        QSignalSpy closed(device.get(), &ComDevice::handleClosed);
        // Half a frame whose header passes every check (parity 0 is not compared).
        const QByteArray stale = QByteArray::fromHex("AA550008 00000030 AA550038 00000000") + QByteArray(20, 's');
        peer->write(stale);
        peer->flush();
        QTest::qWait(50);
        peer->disconnectFromHost();
        QVERIFY(closed.wait(Patience) || closed.count() == 1);

        peer.clear();
        QVERIFY(device->connectToHost());
        QTRY_VERIFY_WITH_TIMEOUT(!peer.isNull(), Patience);
        const QByteArray fresh = frameOf(0xAA550008, QByteArray(48, 'f'));
        QTest::qWait(50);
        peer->write(fresh);
        QTRY_COMPARE_WITH_TIMEOUT(frames.size(), 1, Patience);
        QCOMPARE(frames.first(), fresh);
    }

    void aConnectedReportAfterResetIsIgnored()
    {
        QSignalSpy connected(device.get(), &ComDevice::handleConnected);
        device->reset();
        QVERIFY(QMetaObject::invokeMethod(device.get(), "onTcpConnected"));
        QCOMPARE(connected.count(), 0);
        QVERIFY(!device->connectToHost());  // no host, not connected
    }
};

QTEST_GUILESS_MAIN(TestComDevice)
#include "tst_comdevice.moc"
