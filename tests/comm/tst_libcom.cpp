#include "ComDevice.h"
#include "FakeInstrument.h"
#include "LibCom.h"
#include "PointParam.h"

#include <QTcpServer>
#include <QtTest>

#include <functional>
#include <memory>

// The real command set over real TCP against a fake instrument on 127.0.0.1.

namespace {

constexpr int Patience = 15000;  // for waits on a loaded machine

QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 37 + seed) & 0xFF);
    return bytes;
}

QByteArray le32(quint32 v)
{
    QByteArray b;
    for (int i = 0; i < 4; ++i)
        b.append(char(v >> (8 * i)));
    return b;
}

qint64 le64(const QByteArray& b)
{
    qint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | quint8(b.at(i));
    return v;
}

// Collects the instrument's messages as the workspace would see them.
struct EventLog
{
    QStringList names;
    QList<QByteArray> status;
    QList<QByteArray> systemInfo;
    QList<int> groups;

    void attach(LibCom* lib)
    {
        const auto note = [this](const char* name) { return [this, name]() { names.append(name); }; };
        QObject::connect(lib, &LibCom::DevProjConfiged, note("DevProjConfiged"));
        QObject::connect(lib, &LibCom::DevAdjustTimeOver, note("DevAdjustTimeOver"));
        QObject::connect(lib, &LibCom::ProcessStarted, note("ProcessStarted"));
        QObject::connect(lib, &LibCom::ProcessStoped, note("ProcessStoped"));
        QObject::connect(lib, &LibCom::DevErrorFlagClear, note("DevErrorFlagClear"));
        QObject::connect(lib, &LibCom::DevSDCardDiskFormatAck, note("DevSDCardDiskFormatAck"));
        QObject::connect(lib, &LibCom::DevSDCardDiskFormated, note("DevSDCardDiskFormated"));
        QObject::connect(lib, &LibCom::DevProjDeleted, note("DevProjDeleted"));
        QObject::connect(lib, &LibCom::ProcessGroupFinish, [this](int group) {
            names.append("ProcessGroupFinish");
            groups.append(group);
        });
        // The record is only valid during the emission: copy it at once.
        QObject::connect(lib, &LibCom::DevStatus, [this](char* data) {
            names.append("DevStatus");
            status.append(QByteArray(data, 48));
        });
        QObject::connect(lib, &LibCom::DevSystemInfo, [this](char* data) {
            names.append("DevSystemInfo");
            systemInfo.append(QByteArray(data, 16));
        });
    }
};

}  // namespace

class TestLibCom : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeInstrument> fake;
    std::unique_ptr<LibCom> lib;
    std::unique_ptr<QSignalSpy> failures;
    std::unique_ptr<QSignalSpy> closed;
    EventLog events;

    // Short limits so that resends and failures come within a second or two; where
    // acknowledges are expected they keep room for a loaded machine.
    void shortenTimers(uint32_t timeoutMs = 600, int checkMs = 25)
    {
        lib->SetTimeout(timeoutMs);
        lib->SetCheckInterval(checkMs);
    }

    bool linkUp()
    {
        lib->ConnectToHost(st_HostAddr{QStringLiteral("127.0.0.1"), fake->port()});
        if (!lib->Open())
            return false;
        // Connected once the greeting has arrived.
        return QTest::qWaitFor([this]() { return lib->IsConnected() && fake->count(LibCom::HeartBeat) >= 1; },
                               Patience);
    }

    // Everything the instrument sent before it has been handled once the marker arrived.
    bool sync()
    {
        const int before = events.names.count("DevErrorFlagClear");
        fake->send(LibCom::ErrorClear);
        return QTest::qWaitFor([&]() { return events.names.count("DevErrorFlagClear") > before; }, Patience);
    }

    QStringList eventsWithoutMarker() const
    {
        QStringList names = events.names;
        names.removeAll("DevErrorFlagClear");
        return names;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<uint32_t>("uint32_t");
    }

    void init()
    {
        fake.reset(new FakeInstrument);
        QVERIFY(fake->listen());
        lib.reset(new LibCom);
        failures.reset(new QSignalSpy(lib.get(), &LibCom::MsgSendFail));
        closed.reset(new QSignalSpy(lib.get(), &Com::ComClosed));
        events = EventLog();
        events.attach(lib.get());
    }

    void cleanup()
    {
        failures.reset();
        closed.reset();
        lib.reset();
        fake.reset();
    }

    void idsAndTheirNames()
    {
        QCOMPARE(lib->msgName(LibCom::ACK), QStringLiteral("ACK"));
        QCOMPARE(lib->msgName(0xAA550005), QStringLiteral("HeartBeat"));
        QCOMPARE(lib->msgName(0xAA5500F0), QStringLiteral("MessageError"));
        QCOMPARE(lib->msgName(0xAA550006), QString());
    }

    void connectingSendsTheTimeThenAHeartbeat()
    {
        QSignalSpy connected(lib.get(), &Com::ComConnected);
        shortenTimers();
        const qint64 before = QDateTime::currentDateTimeUtc().toMSecsSinceEpoch();
        QVERIFY(linkUp());
        const qint64 after = QDateTime::currentDateTimeUtc().toMSecsSinceEpoch();
        QCOMPARE(connected.count(), 1);
        QCOMPARE(fake->ids(), (QList<quint32>{LibCom::AdjustTime, LibCom::HeartBeat}));
        const QByteArray time = fake->requests().at(0).payload;
        QCOMPARE(time.size(), 8);
        QVERIFY(le64(time) >= before && le64(time) <= after);
        QVERIFY(fake->requests().at(1).payload.isEmpty());
        QCOMPARE(fake->damagedFrames(), 0);
    }

    void acknowledgedCommandsGoOutOnceWithTheirPayloads()
    {
        shortenTimers(1500, 25);
        QVERIFY(linkUp());
        const QByteArray about = pattern(136, 1);
        const QByteArray task = pointParamToBytes(defaultTaskParam());
        lib->SendConfigProj(about);
        lib->SendSampleStart(task);
        lib->SendSampleStart(QByteArray());  // nothing goes out without a record
        lib->SendDataDelete(0x0102030405060708LL);
        lib->SendSampleStop();
        lib->SendCancelSave();
        lib->SendDiskFormat();
        QTest::ignoreMessage(QtDebugMsg, "LibCom AckHandler ReciveACK ConfigProj");
        QTest::ignoreMessage(QtDebugMsg, "LibCom AckHandler SampleStart");
        QTest::ignoreMessage(QtDebugMsg, "LibCom AckHandler DiskFormat");
        QTRY_COMPARE_WITH_TIMEOUT(fake->requestsBut(LibCom::HeartBeat).size(), 7, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(events.names.count("DevSDCardDiskFormatAck"), 1, Patience);

        const QList<FakeInstrument::Request> r = fake->requestsBut(LibCom::HeartBeat).mid(1);
        QCOMPARE(r.at(0).msgId, quint32(LibCom::ConfigProj));
        QCOMPARE(r.at(0).payload, about);
        QCOMPARE(r.at(1).msgId, quint32(LibCom::SampleStart));
        QCOMPARE(r.at(1).payload, task);
        QCOMPARE(r.at(2).msgId, quint32(LibCom::DataDelete));
        QCOMPARE(r.at(2).payload, QByteArray::fromHex("0807060504030201"));
        QCOMPARE(r.at(3).msgId, quint32(LibCom::SampleStop));
        QCOMPARE(r.at(4).msgId, quint32(LibCom::CancelSave));
        QCOMPARE(r.at(5).msgId, quint32(LibCom::DiskFormat));
        for (int i = 3; i < 6; ++i)
            QVERIFY(r.at(i).payload.isEmpty());

        // Two time-outs later nothing was resent and nothing failed.
        QTest::qWait(3500);
        QCOMPARE(fake->requestsBut(LibCom::HeartBeat).size(), 7);
        QCOMPARE(failures->count(), 0);
        QCOMPARE(events.names.count("ProcessStarted"), 1);
        QCOMPARE(fake->damagedFrames(), 0);
    }

    void aLateAcknowledgeStillReleasesTheRequest()
    {
        shortenTimers(2500, 25);
        fake->setAckMode(LibCom::SampleStop, FakeInstrument::AckLater, 700);
        fake->setAckWithFullId(true);
        QVERIFY(linkUp());
        lib->SendSampleStop();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::SampleStop), 1, Patience);
        QTest::qWait(3500);
        QCOMPARE(fake->count(LibCom::SampleStop), 1);
        QCOMPARE(failures->count(), 0);
    }

    void anUnacknowledgedRequestGoesOutFourTimesThenFails()
    {
        shortenTimers(400, 25);
        fake->setAckMode(LibCom::SampleStop, FakeInstrument::NoAck);
        QVERIFY(linkUp());
        lib->SendSampleStop();
        QTRY_COMPARE_WITH_TIMEOUT(failures->count(), 1, Patience);
        QCOMPARE(failures->at(0).at(0).toString(), QStringLiteral("SampleStop"));
        QCOMPARE(fake->count(LibCom::SampleStop), 4);

        QList<qint64> times;
        for (const auto& r : fake->requests())
            if (r.msgId == LibCom::SampleStop)
                times.append(r.atMs);
        for (int i = 1; i < times.size(); ++i)
            // Seen from the fake: a late read of one write shortens its gap to the next.
            QVERIFY2(times.at(i) - times.at(i - 1) >= 250, qPrintable(QString::number(times.at(i) - times.at(i - 1))));

        QTest::qWait(1000);
        QCOMPARE(fake->count(LibCom::SampleStop), 4);
        QCOMPARE(failures->count(), 1);
        QVERIFY(lib->IsConnected());  // only heartbeats close the link
    }

    void requestsSentTogetherAreEachResentAndEachFail()
    {
        shortenTimers(250, 25);
        fake->setAckMode(LibCom::SampleStop, FakeInstrument::NoAck);
        fake->setAckMode(LibCom::CancelSave, FakeInstrument::NoAck);
        QVERIFY(linkUp());
        lib->SendSampleStop();
        lib->SendSampleStop();
        lib->SendCancelSave();
        QTRY_COMPARE_WITH_TIMEOUT(failures->count(), 3, Patience);
        QCOMPARE(fake->count(LibCom::SampleStop), 8);
        QCOMPARE(fake->count(LibCom::CancelSave), 4);
        QStringList names;
        for (const auto& args : *failures)
            names.append(args.at(0).toString());
        names.sort();
        QCOMPARE(names, (QStringList{"CancelSave", "SampleStop", "SampleStop"}));
    }

    void oneAcknowledgeReleasesOneOfTwoWaitingRequests()
    {
        shortenTimers(1500, 25);
        fake->setAckMode(LibCom::SampleStop, FakeInstrument::NoAck);
        QVERIFY(linkUp());
        lib->SendSampleStop();
        lib->SendSampleStop();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::SampleStop), 2, Patience);
        fake->sendAck(LibCom::SampleStop);
        QTRY_COMPARE_WITH_TIMEOUT(failures->count(), 1, Patience);
        QCOMPARE(fake->count(LibCom::SampleStop), 5);
        QTest::qWait(800);
        QCOMPARE(failures->count(), 1);
    }

    void anAcknowledgeOfNothingWaitingChangesNothing()
    {
        shortenTimers(300, 25);
        fake->setAckMode(LibCom::SampleStop, FakeInstrument::NoAck);
        QVERIFY(linkUp());
        lib->SendSampleStop();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::SampleStop), 1, Patience);
        QTest::ignoreMessage(QtDebugMsg, "Com OnReceivedAckHandler MessageWaitList !contains msg id: \"aa55000e\"");
        fake->sendAck(LibCom::CancelSave);
        QTRY_COMPARE_WITH_TIMEOUT(failures->count(), 1, Patience);
        QCOMPARE(fake->count(LibCom::SampleStop), 4);
    }

    void theDefaultLimitsAreThoseOfTheInstrument()
    {
        // 6400 ms per try, checked once a second; a heartbeat every 12000 ms (a coarse timer: 5%,
        // and a loaded machine may read a frame late).
        fake->setAckMode(LibCom::SampleStop, FakeInstrument::NoAck);
        QVERIFY(linkUp());
        lib->SendSampleStop();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::SampleStop), 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::HeartBeat), 2, 20000);
        QList<qint64> stops, beats;
        for (const auto& r : fake->requests()) {
            if (r.msgId == LibCom::SampleStop)
                stops.append(r.atMs);
            if (r.msgId == LibCom::HeartBeat)
                beats.append(r.atMs);
        }
        const qint64 resendAfter = stops.at(1) - stops.at(0);
        QVERIFY2(resendAfter > 6400 && resendAfter < 9900, qPrintable(QString::number(resendAfter)));
        const qint64 beatAfter = beats.at(1) - beats.at(0);
        QVERIFY2(beatAfter >= 10500 && beatAfter < 14500, qPrintable(QString::number(beatAfter)));
        QCOMPARE(failures->count(), 0);
    }

    void lostHeartbeatsCloseTheLink()
    {
        shortenTimers(120, 20);
        lib->SetHeartbeatInterval(250);
        fake->setAckMode(LibCom::HeartBeat, FakeInstrument::NoAck);
        QSignalSpy gone(fake.get(), &FakeInstrument::clientGone);
        QVERIFY(linkUp());
        QTRY_COMPARE_WITH_TIMEOUT(closed->count(), 1, Patience);
        QVERIFY(!lib->IsConnected());
        QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, Patience);
        QVERIFY(failures->count() >= 4);
        for (const auto& args : *failures)
            QCOMPARE(args.at(0).toString(), QStringLiteral("HeartBeat"));

        // The heartbeat stops with the link; requests are dropped while it is down.
        const int heartbeats = fake->count(LibCom::HeartBeat);
        lib->SendSampleStop();
        QTest::qWait(800);
        QCOMPARE(fake->count(LibCom::HeartBeat), heartbeats);
        QCOMPARE(fake->count(LibCom::SampleStop), 0);
    }

    void anyAcknowledgeInBetweenRestartsTheHeartbeatCount()
    {
        shortenTimers(100, 20);
        lib->SetHeartbeatInterval(1000);
        fake->setAckMode(LibCom::HeartBeat, FakeInstrument::NoAck);
        // Right after the third lost heartbeat the instrument acknowledges something else.
        connect(lib.get(), &LibCom::MsgSendFail, fake.get(), [this]() {
            if (failures->count() == 3)
                fake->sendAck(LibCom::SampleStop);
        });
        int failuresAtClose = -1;
        connect(lib.get(), &Com::ComClosed, fake.get(), [&]() { failuresAtClose = failures->count(); });
        QVERIFY(linkUp());
        QTRY_COMPARE_WITH_TIMEOUT(closed->count(), 1, 30000);
        // Without the reset the link would go at the fourth failure.
        QVERIFY2(failuresAtClose >= 6, qPrintable(QString::number(failuresAtClose)));
    }

    void instrumentMessagesRaiseTheirSignals()
    {
        shortenTimers(2000, 50);
        QVERIFY(linkUp());
        const QByteArray status = pattern(48, 3);
        const QByteArray info = pattern(16, 9);
        fake->send(LibCom::Status, status);
        fake->send(LibCom::Status, status.left(47));              // too short: ignored
        fake->send(LibCom::Status, pattern(60, 5));                // longer: the rest is not read
        fake->send(LibCom::SystemInfo, info);
        fake->send(LibCom::SystemInfo, info.left(15));
        fake->send(LibCom::SampleStart, le32(3));
        fake->send(LibCom::SampleStart, le32(0xFFFFFFFF));
        fake->send(LibCom::SampleStart, QByteArray(3, '\0'));
        fake->send(LibCom::ConfigProj);
        fake->send(LibCom::AdjustTime);
        fake->send(LibCom::SampleStop);
        fake->send(LibCom::DataDelete);
        fake->send(LibCom::DiskFormat);
        fake->send(LibCom::ACK, le32(2));                          // SampleStart's acknowledge
        fake->send(LibCom::ACK, le32(0x13));                       // DiskFormat's
        fake->send(LibCom::ACK, QByteArray(3, '\x02'));            // too short
        for (quint32 id : QList<quint32>{LibCom::HeartBeat, LibCom::SysUpdate, LibCom::PowerOff,
                                         LibCom::MessageError, LibCom::CancelSave, 0xAA5500EEu})
            fake->send(id, pattern(8, 1));
        QTest::ignoreMessage(QtDebugMsg, "LibCom CmdHandler ConfigProj");
        QTest::ignoreMessage(QtDebugMsg, "LibCom CmdHandler SysUpdate");
        QTest::ignoreMessage(QtDebugMsg, "LibCom CmdHandler ");  // an id outside the set has no name
        QTest::ignoreMessage(QtDebugMsg, "LibCom MSG_ID::SampleStart Group 3 Sample Over");
        QTest::ignoreMessage(QtDebugMsg, "LibCom MSG_ID::SampleStart Group -1 Sample Over");
        QVERIFY(sync());

        QCOMPARE(eventsWithoutMarker(),
                 (QStringList{"DevStatus", "DevStatus", "DevSystemInfo", "ProcessGroupFinish", "ProcessGroupFinish",
                              "DevProjConfiged", "DevAdjustTimeOver", "ProcessStoped", "DevProjDeleted",
                              "DevSDCardDiskFormated", "ProcessStarted", "DevSDCardDiskFormatAck"}));
        QCOMPARE(events.status.at(0), status);
        QCOMPARE(events.status.at(1), pattern(60, 5).left(48));
        QCOMPARE(events.systemInfo.at(0), info);
        QCOMPARE(events.groups, (QList<int>{3, -1}));
        QVERIFY(lib->IsConnected());

        fake->send(LibCom::Restart);
        QTRY_COMPARE_WITH_TIMEOUT(closed->count(), 1, Patience);
        QVERIFY(!lib->IsConnected());
    }

    void messagesThatArriveWhileAHandlerWaitsAreReadAtOnce()
    {
        QVERIFY(linkUp());
        QVERIFY(sync());
        // A handler runs an event loop of its own, as a modal box does, and the instrument
        // speaks meanwhile. Nothing more comes from either side afterwards (the next
        // heartbeat is 12 s away), so only reading on delivers the acknowledge.
        int nested = 0;
        connect(lib.get(), &LibCom::DevSDCardDiskFormated, this, [&]() {
            if (nested++ > 0)
                return;
            fake->sendAck(LibCom::SampleStart);
            QEventLoop loop;
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
            loop.exec();
        });
        fake->send(LibCom::DiskFormat);
        QTRY_COMPARE_WITH_TIMEOUT(nested, 1, Patience);
        QTRY_VERIFY_WITH_TIMEOUT(events.names.contains("ProcessStarted"), 3000);
        QCOMPARE(events.names.count("ProcessStarted"), 1);
    }

    void garbageAndFalseStartsBetweenFramesAreSkipped()
    {
        shortenTimers(2000, 50);
        QVERIFY(linkUp());
        const QByteArray a = pattern(48, 11), b = pattern(48, 22), c = pattern(48, 33), d = pattern(48, 44);
        QByteArray hugeHeader;
        for (quint32 v : {quint32(LibCom::Status), 0x7FFFFFF0u, quint32(LibCom::Status) ^ 0x7FFFFFF0u, 0u})
            hugeHeader += QByteArray::fromHex(QByteArray::number(v, 16).rightJustified(8, '0'));
        const QList<QByteArray> pieces{
            QByteArray::fromHex("00 01 02 FF"),
            FakeInstrument::frame(LibCom::Status, a),
            QByteArray::fromHex("AA AA 55 00 AA"),
            FakeInstrument::frame(LibCom::Status, pattern(48, 99), 0x1234),   // wrong parity
            QByteArray::fromHex("AA55 0008 0000 0000 0000 0000 0000"),       // wrong check word
            hugeHeader,
            FakeInstrument::frame(LibCom::Status, b),
            QByteArray::fromHex("55 13 AA"),
        };
        QByteArray stream;
        for (const QByteArray& p : pieces)
            stream += p;

        // All in one write.
        fake->sendRaw(stream + FakeInstrument::frame(LibCom::Status, c));
        QVERIFY(sync());
        // And piece by piece, the last AA of the junk being a frame's first byte.
        for (const QByteArray& p : pieces) {
            fake->sendRaw(p);
            QTest::qWait(5);
        }
        fake->sendRaw(FakeInstrument::frame(LibCom::Status, d).mid(1));
        QVERIFY(sync());

        QCOMPARE(events.status, (QList<QByteArray>{a, b, c, a, b, d}));
        QCOMPARE(eventsWithoutMarker().size(), 6);
        QVERIFY(lib->IsConnected());
    }

    void aFrameSplitAtEveryBytePositionArrivesWhole()
    {
        shortenTimers(5000, 50);
        QVERIFY(linkUp());
        const QByteArray status = pattern(48, 7);
        const QByteArray frame = FakeInstrument::frame(LibCom::Status, status);
        for (int cut = 1; cut < frame.size(); ++cut) {
            fake->sendRaw(frame.left(cut));
            QTest::qWait(3);
            fake->sendRaw(frame.mid(cut));
            QTRY_COMPARE_WITH_TIMEOUT(events.status.size(), cut, Patience);
            QCOMPARE(events.status.last(), status);
        }
        QVERIFY(sync());
        QCOMPARE(events.status.size(), frame.size() - 1);
    }

    void aFailedConnectIsReported()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closedPort = probe.serverPort();
        }
        QSignalSpy failed(lib.get(), &Com::ComConnectFailed);
        QSignalSpy connected(lib.get(), &Com::ComConnected);
        lib->ConnectToHost(st_HostAddr{QStringLiteral("127.0.0.1"), closedPort});
        QVERIFY(lib->Open());  // the attempt was made
        QVERIFY(failed.wait(Patience));
        QVERIFY(!failed.at(0).at(0).toString().isEmpty());
        QCOMPARE(connected.count(), 0);
        QVERIFY(!lib->IsConnected());

        // The same object connects once the instrument is there.
        QVERIFY(linkUp());
        QCOMPARE(failed.count(), 1);
    }

    void theLinkCanBeClosedAndOpenedAgain()
    {
        shortenTimers();
        lib->SetHeartbeatInterval(200);
        QSignalSpy gone(fake.get(), &FakeInstrument::clientGone);
        QVERIFY(linkUp());
        lib->Close();
        QTRY_COMPARE_WITH_TIMEOUT(closed->count(), 1, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, Patience);

        QVERIFY(lib->Open());
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::AdjustTime), 2, Patience);
        QTRY_VERIFY_WITH_TIMEOUT(fake->count(LibCom::HeartBeat) >= 4, Patience);

        // The instrument going away closes the link as well.
        fake->closeClient();
        QTRY_COMPARE_WITH_TIMEOUT(closed->count(), 2, Patience);
        QVERIFY(!lib->IsConnected());
        QCOMPARE(failures->count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLibCom)
#include "tst_libcom.moc"
