#include "MainWindow.h"

#include "AppGlobals.h"
#include "FakeInstrument.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_StatusBar.h"
#include "InstrumentClock.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "ModalAnswers.h"
#include "MyComboBox.h"
#include "OperatorMessages.h"
#include "ProjectFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

// The window's connection and sampling handlers and their refusals, against the fake
// instrument over real TCP on 127.0.0.1, with a project on disk (the whole road with
// downloads is the instrument-road test). Runs in a network namespace of its own.

namespace {

constexpr int Patience = 15000;
constexpr qint64 ProjectID = 231208153012;

QByteArray statusRecord(quint8 state, quint32 errorBits = 0)
{
    char r[48] = {};
    qToLittleEndian<quint64>(quint64(QDateTime::currentMSecsSinceEpoch()), r);
    r[8] = char(state);
    qToLittleEndian<quint32>(errorBits, r + 24);
    return QByteArray(r, sizeof r);
}

int rateKeys(const QJsonValue& point)
{
    return point.toObject().keys().filter(QStringLiteral("SampleRate")).size();
}

} // namespace

class TestSampling : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeInstrument> fake;
    std::unique_ptr<MainWindow> w;
    QTemporaryDir folder;
    QString projectPath;
    QStringList snacks, boxes;  // texts shown
    QList<QMap<QMessageBox::StandardButton, QString>> captions;  // of the boxes' buttons
    QList<int> answers;         // to the next questions; Ok when none is left
    std::function<void()> onBox;
    int statusReports = 0;

    QString table(const QString& name) const { return w->projectDir + QStringLiteral("/data/") + name; }
    int starts() const { return fake->count(LibCom::SampleStart); }
    st_PointParam lastStart() const
    {
        st_PointParam param = defaultPointParam();
        pointParamFromBytes(fake->lastPayload(LibCom::SampleStart), &param);
        return param;
    }

    QJsonArray points() const
    {
        QFile file(projectPath);
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("Data")).toArray();
    }

    void touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void connectLink()
    {
        w->connnectNetwork();
        QTRY_VERIFY_WITH_TIMEOUT(w->deviceOnline, Patience);
    }

    void status(quint8 state, quint32 errorBits = 0)
    {
        const int before = statusReports;
        fake->send(LibCom::Status, statusRecord(state, errorBits));
        QTRY_VERIFY_WITH_TIMEOUT(statusReports > before, Patience);
    }

    // Starts a run (the instrument idle, as between runs) and waits for its acknowledge.
    void startRun(int mode, const char* signal)
    {
        status(0);
        QSignalSpy started(w.get(), signal);
        const int before = starts();
        w->onStartSample(mode);
        QTRY_COMPARE_WITH_TIMEOUT(starts(), before + 1, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, Patience);
    }

    void instrumentStops()
    {
        QSignalSpy stopped(w.get(), &MainWindow::sampleStoped);
        fake->send(LibCom::SampleStop);
        QVERIFY(stopped.wait(Patience));
    }

    // A start whose acknowledge comes while the project file cannot be written.
    void startUnrecorded()
    {
        status(0);
        fake->setAckMode(LibCom::SampleStart, FakeInstrument::NoAck);
        QSignalSpy started(w.get(), &MainWindow::sampleStart);
        const int before = starts();
        w->onStartSample(Online);
        QTRY_COMPARE_WITH_TIMEOUT(starts(), before + 1, Patience);
        withTinyFileLimit([&] {
            fake->sendAck(LibCom::SampleStart);
            QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, Patience);
        });
        fake->setAckMode(LibCom::SampleStart, FakeInstrument::AckAtOnce);
    }

private slots:
    void init()
    {
        fake.reset(new FakeInstrument);
        QVERIFY(fake->listen());
        {
            // Written before the window exists, so nothing can ever aim elsewhere.
            QSettings ini(QCoreApplication::applicationDirPath() + QStringLiteral("/systemConfig.ini"),
                          QSettings::IniFormat);
            ini.setValue(QStringLiteral("SystemConfig/IP"), QStringLiteral("127.0.0.1"));
            ini.setValue(QStringLiteral("SystemConfig/Port"), fake->port());
        }
        w.reset(new MainWindow);
        QCOMPARE(w->hostAddr.ip, QStringLiteral("127.0.0.1"));
        connect(w->libCom, &LibCom::DevStatus, this, [this] { ++statusReports; });
        snacks.clear();
        boxes.clear();
        captions.clear();
        answers.clear();
        onBox = nullptr;
        setSnackbarReceiver([this](const QString& text) { snacks << text; });
        setMessageBoxAnswer([this](QMessageBox::Icon, const QString&, const QString& text, QMessageBox::StandardButtons) {
            boxes << text;
            captions << messageBoxCaptions();
            if (onBox)
                onBox();
            return answers.isEmpty() ? int(QMessageBox::Ok) : answers.takeFirst();
        });

        const QString dir = folder.path() + QStringLiteral("/%1").arg(QTest::currentTestFunction());
        QDir().mkpath(dir + QStringLiteral("/data"));
        projectPath = dir + QStringLiteral("/T.json");
        const QJsonObject about{{"ProjectID", ProjectID}, {"ProjectName", "T"}, {"ProjectAddress", "here"},
                                {"OperatorName", "op"}, {"AppBuild", "261209"}, {"DataNum", 0}};
        QFile file(projectPath);
        QVERIFY(file.open(QIODevice::WriteOnly)
                && file.write(QJsonDocument(QJsonObject{{"About", about}, {"Data", QJsonArray()}}).toJson()) > 0);
        file.close();
        w->openProjectAction(projectPath);
        QVERIFY(w->projectOpen);

        st_PointParam task = defaultTaskParam();  // Hx, Hy, E0, E1 in three groups
        for (int c = ChannelHx; c <= ChannelE2; ++c)
            copySenseName(task, c, QStringLiteral("ICMS-000%1").arg(c));
        w->formParam->setTaskParam(task);
        w->formParam->lineEdit_PointStep->setText(QStringLiteral("10"));
        w->ui->lineEdit_LineNum->setText(QStringLiteral("1"));
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
    }

    void cleanup()
    {
        w.reset();
        fake.reset();
        setMessageBoxAnswer(nullptr);
        setSnackbarReceiver(nullptr);
    }

    void connectingReportsFailuresAndInstrumentInformation()
    {
        // Nobody listens: said once, and the window stays disconnected.
        const st_HostAddr instrument = w->hostAddr;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            w->hostAddr.port = probe.serverPort();
        }
        w->connnectNetwork();
        QTRY_COMPARE_WITH_TIMEOUT(boxes, QStringList{QStringLiteral("控制通信端口连接失败")}, Patience);
        QVERIFY(!w->deviceOnline && !w->ui->tbtnConnectNetwork->isHidden() && !w->ui->tbtnStartSample->isEnabled());

        w->hostAddr = instrument;
        connectLink();
        QVERIFY(w->ui->tbtnConnectNetwork->isHidden() && w->ui->tbtnStartSample->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::ConfigProj), 1, Patience);

        // An instrument without calibration data here gets a box; the version line shows its firmware.
        QByteArray info(16, '\0');
        qToLittleEndian<quint32>(1234, info.data());
        qToLittleEndian<float>(2.0f, info.data() + 4);
        qToLittleEndian<quint32>(77, info.data() + 12);
        fake->send(LibCom::SystemInfo, info);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 2, Patience);
        QCOMPARE(boxes[1], QStringLiteral("编号为1234仪器校准文件未找到"));
        const QString build = BuildDateTime.toString(QStringLiteral("yyMMdd"));
        QCOMPARE(w->ui->label_Version->text(), QStringLiteral("V:1.0.0(%1) F:2(77)").arg(build));
    }

    void busyErrorAndMissingCalibrationRefuseTheStart()
    {
        connectLink();
        status(1);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("仪器忙请稍后再试！"));
        status(2, Form_StatusBar::STM);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("仪器出错请稍后再试！"));

        status(0);
        st_PointParam task = w->formParam->getTaskParam(st_PointPos{});
        copySenseName(task, ChannelHx, QStringLiteral("null"));
        w->formParam->setTaskParam(task);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("有通道已启用却未设置标定文件"));
        QCOMPARE(starts(), 0);

        // A channel that is not recorded needs none.
        copySenseName(task, ChannelHx, QStringLiteral("ICMS-0001"));
        copySenseName(task, ChannelHz, QStringLiteral("null"));
        w->formParam->setTaskParam(task);
        fake->setAckMode(LibCom::SampleStart, FakeInstrument::NoAck);
        QSignalSpy started(w.get(), &MainWindow::sampleStart);
        w->onStartSample(Online);
        QTRY_COMPARE_WITH_TIMEOUT(starts(), 1, Patience);

        // An error report and the acknowledge in one piece: the error box opens only after
        // both have been read.
        bool startedAtBox = false;
        onBox = [&] { startedAtBox = started.count() == 1; };
        fake->sendRaw(FakeInstrument::frame(LibCom::Status, statusRecord(2, Form_StatusBar::TIMEOUT))
                      + FakeInstrument::frame(LibCom::ACK, QByteArray::fromHex("02000000")));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 2, Patience);  // STM, then TIMEOUT
        QVERIFY(startedAtBox);
    }

    // A project whose newest point has the largest ID gives no new point: nothing is sent.
    void noStartWhenPointIDsAreExhausted()
    {
        const QString dir = QFileInfo(projectPath).path();
        QFile file(projectPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject project = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        project[QStringLiteral("Data")] = QJsonArray{QJsonObject{{"ID", std::numeric_limits<int>::max()}, {"Line", 1},
                                                                 {"Point", 10}, {"CHSelect", 27}, {"CHMatch", 105},
                                                                 {"SampleRate1", 61}}};
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(project).toJson());
        file.close();
        w->onSlotCloseProjectClick();
        w->openProjectAction(projectPath);
        QVERIFY(w->projectOpen);
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));

        connectLink();
        status(0);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("测点 ID 已达上限 2147483647，无法再分配新的测点 ID"));
        QTest::qWait(300);
        QCOMPARE(starts(), 0);
        QCOMPARE(w->curPointID, -1);
        QVERIFY(!QDir(dir + QStringLiteral("/0")).exists());
    }

    void stopCancelAndSaveTouchOnlyTheirOwnRecording()
    {
        connectLink();
        startRun(Online, SIGNAL(sampleStart()));
        // Late acknowledges of the same start record nothing more.
        QSignalSpy restarted(w.get(), &MainWindow::sampleStart);
        QSignalSpy configured(w->libCom, &LibCom::DevProjConfiged);
        fake->sendAck(LibCom::SampleStart);
        fake->sendAck(LibCom::SampleStart);
        fake->send(LibCom::ConfigProj);
        QVERIFY(configured.wait(Patience));
        QCOMPARE(restarted.count(), 0);
        QCOMPARE(points().size(), 1);
        QCOMPARE(rateKeys(points()[0]), 3);
        touch(w->projectDir + QStringLiteral("/1/1_CH1.dat"));
        touch(table(QStringLiteral("1.txt")));
        w->curPointID = -1;  // what the road does at the last group
        w->onSaveData();
        QCOMPARE(w->ui->lineEdit_PointNum->text(), QStringLiteral("110"));
        // A stop report after the run was kept leaves it alone.
        instrumentStops();
        QCOMPARE(points().size(), 1);

        // Same line and mileage, same-point sampling: the stop takes out only its own groups;
        // no calculation of the run started, so the point's tables stay as they are.
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
        answers << QMessageBox::No;
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(boxes.value(0), QStringLiteral("当前线已存在相同里程,是否创建新点？"));
        QCOMPARE(rateKeys(points()[0]), 6);
        answers << QMessageBox::Yes;
        w->onStopSample();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::SampleStop), 1, Patience);
        instrumentStops();
        QCOMPARE(points().size(), 1);
        QCOMPARE(rateKeys(points()[0]), 3);
        QVERIFY(QFile::exists(w->projectDir + QStringLiteral("/1/1_CH1.dat")));
        QVERIFY(QFile::exists(table(QStringLiteral("1.txt"))));

        // A new point gets ID 2; after a removal ID 2 is given again, without the tables a
        // late calculation of the removed point left.
        w->ui->lineEdit_PointNum->setText(QStringLiteral("120"));
        startRun(Online, SIGNAL(sampleStart()));
        touch(table(QStringLiteral("2.txt")));
        touch(table(QStringLiteral("CP_2.txt")));
        instrumentStops();
        QCOMPARE(points().size(), 1);
        QVERIFY(!QFile::exists(table(QStringLiteral("2.txt"))) && !QFile::exists(table(QStringLiteral("CP_2.txt"))));
        touch(table(QStringLiteral("2.txt")));
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(points().last().toObject().value(QStringLiteral("ID")).toInt(), 2);
        QVERIFY(!QFile::exists(table(QStringLiteral("2.txt"))));

        // Cancel after the run: the point and its tables go, the instrument is told.
        w->curPointID = -1;
        touch(table(QStringLiteral("2.txt")));
        w->onCancelSave();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::CancelSave), 1, Patience);
        QCOMPARE(points().size(), 1);
        QVERIFY(!QFile::exists(table(QStringLiteral("2.txt"))) && QDir(w->projectDir + QStringLiteral("/1")).exists());
    }

    // A record that cannot be written: a box, the run goes on with its files, its ID is never given again.
    void runWhoseRecordFailedKeepsItsPointID()
    {
        connectLink();
        int boxesWhenStarted = -1;
        QObject guard;
        connect(w.get(), &MainWindow::sampleStart, &guard, [&] { boxesWhenStarted = boxes.size(); });
        startUnrecorded();
        QCOMPARE(boxesWhenStarted, 0);  // posted, not shown inside the link's receive pass
        QTRY_COMPARE_WITH_TIMEOUT(boxes, QStringList{QStringLiteral("工程文件写入失败，测点1未记录到工程中！")}, Patience);
        QCOMPARE(w->curPointID, 1);
        touch(w->projectDir + QStringLiteral("/1/1_CH1.dat"));
        touch(table(QStringLiteral("1.txt")));
        instrumentStops();

        // Reopened: ID 1 is still not given again, and the next point leaves that run's files alone.
        w->onSlotCloseProjectClick();
        w->openProjectAction(projectPath);
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(lastStart().Pos.ID, 2);
        QVERIFY(QFile::exists(table(QStringLiteral("1.txt"))) && QFile::exists(w->projectDir + QStringLiteral("/1/1_CH1.dat")));
        w->curPointID = -1;
        w->onSaveData();

        // After a same-point run of point 2 that is not recorded, a start there makes a new point
        // without asking (the same point would write over that run's files). A stop gives the ID back.
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
        answers << QMessageBox::No;
        startUnrecorded();
        QCOMPARE(lastStart().Pos.ID, 2);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.last(), QStringLiteral("工程文件写入失败，测点2未记录到工程中！"), Patience);
        instrumentStops();
        const int asked = boxes.size();
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(boxes.size(), asked);
        QCOMPARE(lastStart().Pos.ID, 3);
        instrumentStops();
        QCOMPARE(w->formIndex->getNextPointID(), 3);
    }

    // 6 s ahead of the instrument's clock a cooperative start goes out with its time and runs offline; 5 s is refused.
    void cooperativeStartIsSentAndRunsOffline()
    {
        connectLink();
        status(0);  // the status records carry no satellite time: set the clock below
        TimeSynced.store(1);
        w->ui->groupBox_Sync->setChecked(true);
        w->ui->comboBox_SyncHour->setCurrentIndex(12);
        w->ui->comboBox_SyncMinute->setCurrentIndex(0);
        const qint64 start = QDateTime(QDate::currentDate(), QTime(12, 0)).toSecsSinceEpoch();
        // The instrument's clock lead + a fraction of a second before 12:00, the computer's fraction:
        // started early in a second, the start reads the clock within it and the lead is exact.
        auto startAhead = [&](int lead) {
            while (QDateTime::currentMSecsSinceEpoch() % 1000 < 20 || QDateTime::currentMSecsSinceEpoch() % 1000 > 300)
                QTest::qSleep(5);
            TimeDiff.store((start - lead - 1 - QDateTime::currentMSecsSinceEpoch() / 1000) * 1000);
            w->onStartSample(Online);
        };

        startAhead(5);
        QCOMPARE(snacks.last(), QStringLiteral("协同采集时间早于当前时间!请重新设置再进行操作！"));
        QTest::qWait(200);
        QCOMPARE(starts(), 0);

        QSignalSpy offline(w.get(), &MainWindow::sampleStart_Off);
        startAhead(6);
        QTRY_COMPARE_WITH_TIMEOUT(offline.count(), 1, Patience);
        QCOMPARE(lastStart().StartTime, quint64(start));
        TimeSynced.store(0);
    }

    // Same line and mileage with the same channels: the box's three answers.
    void sameMileageBoxOffersNewPointNextMileageOrSamePoint()
    {
        connectLink();
        startRun(Online, SIGNAL(sampleStart()));
        const QMap<QMessageBox::StandardButton, QString> expected{{QMessageBox::Yes, QStringLiteral("里程100新点")},
                                                                  {QMessageBox::No, QStringLiteral("同点采样")},
                                                                  {QMessageBox::Reset, QStringLiteral("下一里程110")}};
        // Each answer, the point sampled (ID, mileage) and the project's points; the same point is the newest.
        const struct { int answer, id, point, points; } cases[] = {
            {QMessageBox::Yes, 2, 100, 2}, {QMessageBox::Reset, 3, 110, 3}, {QMessageBox::No, 2, 100, 3}};
        for (const auto& c : cases) {
            w->curPointID = -1;
            w->onSaveData();
            w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
            const int asked = boxes.size();
            answers << c.answer;
            startRun(Online, SIGNAL(sampleStart()));
            QCOMPARE(boxes.size(), asked + 1);
            QCOMPARE(captions.last(), expected);
            QCOMPARE(lastStart().Pos.ID, c.id);
            QCOMPARE(lastStart().Pos.Point, c.point);
            QCOMPARE(points().size(), c.points);
        }
        QCOMPARE(rateKeys(points()[1]), 6);
    }
};

QTEST_MAIN(TestSampling)
#include "tst_sampling.moc"
