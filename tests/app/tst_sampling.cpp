#include "MainWindow.h"

#include "AppGlobals.h"
#include "FakeInstrument.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_StatusBar.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "ModalAnswers.h"
#include "MyComboBox.h"
#include "OperatorMessages.h"
#include "PowerPlan.h"
#include "QtFTP.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

// The window's connection and sampling handlers against the fake instrument over real TCP
// on 127.0.0.1, with a project on disk. Runs in a network namespace of its own.

namespace {

constexpr int Patience = 15000;
constexpr qint64 ProjectID = 231208153012;

QByteArray statusRecord(quint8 state, quint32 errorBits = 0, quint8 clockValid = 1)
{
    char r[48] = {};
    qToLittleEndian<quint64>(quint64(QDateTime::currentMSecsSinceEpoch()), r);
    r[8] = char(state);
    qToLittleEndian<quint32>(errorBits, r + 24);
    r[40] = char(clockValid);
    return QByteArray(r, sizeof r);
}

struct Box {
    QString title;
    QString text;
};

} // namespace

class TestSampling : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeInstrument> fake;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<QTemporaryDir> folder;
    QString projectPath;
    QStringList snacks;
    QList<Box> boxes;
    QList<int> answers;  // next answers to questions; Ok when none is left
    std::function<void()> onBox;

    QString pointDir(int id) const { return w->projectDir + QLatin1Char('/') + QString::number(id); }
    QString table(const QString& name) const { return w->projectDir + QStringLiteral("/data/") + name; }

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
        file.write("x");
    }

    void connectLink()
    {
        w->hostAddr = st_HostAddr{QStringLiteral("127.0.0.1"), fake->port()};
        w->connnectNetwork();
        QTRY_VERIFY_WITH_TIMEOUT(w->deviceOnline, Patience);
    }

    // Handled by the window once the link has delivered it.
    void status(quint8 state, quint32 errorBits = 0, quint8 clockValid = 1)
    {
        const int before = statusReports;
        fake->send(LibCom::Status, statusRecord(state, errorBits, clockValid));
        QTRY_VERIFY_WITH_TIMEOUT(statusReports > before, Patience);
    }
    int statusReports = 0;

    int starts() const { return fake->count(LibCom::SampleStart); }

    // Starts a run and waits for the window to take the instrument's acknowledge. The
    // instrument reports idle first, as it does between runs.
    void startRun(int mode, const char* signal)
    {
        status(0);
        QSignalSpy started(w.get(), signal);
        const int before = starts();
        w->onStartSample(mode);
        QTRY_COMPARE_WITH_TIMEOUT(starts(), before + 1, Patience);
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, Patience);
    }

    st_PointParam lastStart() const
    {
        st_PointParam p;
        for (const FakeInstrument::Request& r : fake->requests())
            if (r.msgId == LibCom::SampleStart)
                pointParamFromBytes(r.payload, &p);
        return p;
    }

    // Everything the instrument sent before has been handled once this has.
    void sync()
    {
        QSignalSpy handled(w->libCom, &LibCom::DevProjConfiged);
        fake->send(LibCom::ConfigProj);
        QVERIFY(handled.wait(Patience));
    }

    void instrumentStops()
    {
        QSignalSpy stopped(w.get(), &MainWindow::sampleStoped);
        fake->send(LibCom::SampleStop);
        QVERIFY(stopped.wait(Patience));
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
        w->hostAddr = st_HostAddr{QStringLiteral("127.0.0.1"), fake->port()};
        statusReports = 0;
        connect(w->libCom, &LibCom::DevStatus, this, [this] { ++statusReports; });
        snacks.clear();
        boxes.clear();
        answers.clear();
        onBox = nullptr;
        setSnackbarReceiver([this](const QString& text) { snacks << text; });
        setMessageBoxAnswer([this](QMessageBox::Icon, const QString& title, const QString& text,
                                   QMessageBox::StandardButtons) {
            boxes << Box{title, text};
            if (onBox)
                onBox();
            return answers.isEmpty() ? int(QMessageBox::Ok) : answers.takeFirst();
        });

        folder.reset(new QTemporaryDir);
        QDir(folder->path()).mkpath(QStringLiteral("T/data"));
        projectPath = folder->path() + QStringLiteral("/T/T.json");
        QFile file(projectPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QJsonObject about{{"ProjectID", ProjectID}, {"ProjectName", "T"}, {"ProjectAddress", "here"},
                                {"OperatorName", "op"}, {"AppBuild", "261209"}, {"DataNum", 0}};
        file.write(QJsonDocument(QJsonObject{{"About", about}, {"Data", QJsonArray()}}).toJson());
        file.close();
        w->openProjectAction(projectPath);
        if (!w->projectOpen) {
            // What opening does that matters here, until the settings concern opens projects.
            QVERIFY(w->formIndex->openProject(projectPath));
            w->projectDir = QFileInfo(projectPath).path();
            w->projectOpen = true;
            emit w->projOpened();
        }

        st_PointParam task = defaultTaskParam();
        for (int c = ChannelHx; c <= ChannelE2; ++c)
            copySenseName(task, c, QStringLiteral("ICMS-000%1").arg(c));
        w->formParam->setTaskParam(task);
        w->formParam->setInputSense({"ICMS-0001", "ICMS-0002", "ICMS-0003", "NPE", "NPE", "NPE"});
        w->formParam->lineEdit_PointStep->setText(QStringLiteral("10"));
        w->ui->lineEdit_LineNum->setText(QStringLiteral("1"));
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
        QCoreApplication::processEvents();
    }

    void cleanup()
    {
        w.reset();
        fake.reset();
        setMessageBoxAnswer(nullptr);
        setSnackbarReceiver(nullptr);
    }

    void connectingReportsFailuresAndInstrumentEvents()
    {
        QVERIFY(isPowerSavingPlan(QStringLiteral("节能")) && isPowerSavingPlan(QStringLiteral("powersaver")));
        QVERIFY(!isPowerSavingPlan(QStringLiteral("PowerSave")) && !isPowerSavingPlan(QStringLiteral("平衡")));
        QVERIFY(!isPowerSavingPlan(activePowerPlanName()));

        // Nobody listens: the failure is shown and the window stays disconnected.
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            closedPort = probe.serverPort();
        }
        w->hostAddr = st_HostAddr{QStringLiteral("127.0.0.1"), closedPort};
        w->connnectNetwork();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, Patience);
        QCOMPARE(boxes[0].title, QStringLiteral("网络错误"));
        QCOMPARE(boxes[0].text, QStringLiteral("控制通信端口连接失败"));
        QVERIFY(!w->deviceOnline && !w->ui->tbtnConnectNetwork->isHidden());
        QVERIFY(!w->ui->tbtnStartSample->isEnabled());

        connectLink();
        QVERIFY(!w->ui->tbtnDisconnectNetwork->isHidden() && w->ui->tbtnConnectNetwork->isHidden());
        QVERIFY(w->ui->tbtnStartSample->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::ConfigProj), 1, Patience);
        QByteArray about;
        for (const FakeInstrument::Request& r : fake->requests())
            if (r.msgId == LibCom::ConfigProj)
                about = r.payload;
        QCOMPARE(about.size(), 136);
        QCOMPARE(qFromLittleEndian<qint64>(about.constData()), ProjectID);

        // The instrument's number without calibration data gets a (posted) box.
        QByteArray info(16, '\0');
        qToLittleEndian<quint32>(1234, info.data());
        qToLittleEndian<float>(2.0f, info.data() + 4);
        qToLittleEndian<quint32>(77, info.data() + 12);
        fake->send(LibCom::SystemInfo, info);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 2, Patience);
        QCOMPARE(boxes[1].text, QStringLiteral("编号为1234仪器校准文件未找到"));
        const QString build = BuildDateTime.toString(QStringLiteral("yyMMdd"));
        QCOMPARE(w->ui->label_Version->text(), QStringLiteral("V:1.0.0(%1) F:2(77)").arg(build));
        qToLittleEndian<quint32>(1203, info.data());
        qToLittleEndian<float>(1.5f, info.data() + 4);
        fake->send(LibCom::SystemInfo, info);
        QTRY_COMPARE_WITH_TIMEOUT(w->ui->label_Version->text(), QStringLiteral("V:1.0.0(%1) F:1.5(77)").arg(build),
                                  Patience);
        QCOMPARE(boxes.size(), 2);

        w->libCom->Close();
        QTRY_VERIFY_WITH_TIMEOUT(!w->deviceOnline, Patience);
        QVERIFY(snacks.contains(QStringLiteral("已断开连接")));
        QVERIFY(!w->ui->tbtnConnectNetwork->isHidden());
    }

    void refusedStartsSendNothing()
    {
        connectLink();
        status(1);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("仪器忙请稍后再试！"));
        status(2, Form_StatusBar::STM);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("仪器出错请稍后再试！"));
        status(0, 0, 0);

        // An enabled channel without calibration stops the start.
        st_PointParam task = w->formParam->getTaskParam(st_PointPos{});
        copySenseName(task, ChannelHx, QStringLiteral("null"));
        w->formParam->setTaskParam(task);
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("有通道已启用却未设置标定文件"));

        // A disabled one does not: this start gets as far as the cooperative checks, where the
        // instrument clock is not satellite-set.
        copySenseName(task, ChannelHx, QStringLiteral("ICMS-0001"));
        copySenseName(task, ChannelHz, QStringLiteral("null"));
        w->formParam->setTaskParam(task);
        w->ui->groupBox_Sync->setChecked(true);
        const int boxesBefore = boxes.size();
        w->onStartSample(Online);
        QCOMPARE(boxes.size(), boxesBefore + 1);
        QCOMPARE(boxes.last().text, QStringLiteral("未能满足协同采集的条件，请等待卫星锁定或取消协同采集"));
        status(0, 0, 1);
        const QTime now = QTime::currentTime();
        w->ui->comboBox_SyncHour->setCurrentIndex(now.hour());
        w->ui->comboBox_SyncMinute->setCurrentIndex(now.minute());
        w->onStartSample(Online);
        QCOMPARE(snacks.last(), QStringLiteral("协同采集时间早于当前时间!请重新设置再进行操作！"));
        QCOMPARE(starts(), 0);
        if (now > QTime(23, 40))
            QSKIP("a start 15 minutes ahead would fall on the next day");
        const QTime later = now.addSecs(15 * 60);
        w->ui->comboBox_SyncHour->setCurrentIndex(later.hour());
        w->ui->comboBox_SyncMinute->setCurrentIndex(later.minute());
        answers << QMessageBox::Yes;
        w->onStartSample(Online);
        QVERIFY(boxes.last().text.startsWith(QStringLiteral("协同采集开始时间在1")));
        QCOMPARE(starts(), 0);

        // Answered No it goes, and a cooperative start always runs offline.
        answers << QMessageBox::No;
        startRun(Online, SIGNAL(sampleStart_Off()));
        const st_PointParam sent = lastStart();
        QCOMPARE(qint64(sent.StartTime), QDateTime(QDate::currentDate(), QTime(later.hour(), later.minute()))
                                             .toSecsSinceEpoch());
        QCOMPARE(w->sampleMode, int(Offline));
        QCOMPARE(points().size(), 1);
    }

    void stopCancelAndSaveTouchOnlyTheirOwnRecording()
    {
        connectLink();
        status(0);
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(lastStart().Pos.ID, 1);
        // Late acknowledges of the same start record nothing more.
        QSignalSpy restarted(w.get(), &MainWindow::sampleStart);
        fake->sendAck(LibCom::SampleStart);
        fake->sendAck(LibCom::SampleStart);
        sync();
        QCOMPARE(restarted.count(), 0);
        QCOMPARE(points().size(), 1);
        QCOMPARE(points()[0].toObject().keys().filter(QStringLiteral("SampleRate")).size(), 3);
        touch(pointDir(1) + QStringLiteral("/1_CH1.dat"));
        touch(table(QStringLiteral("1.txt")));
        emit w->sampleOver();
        w->curPointID = -1;
        w->onSaveData();
        QCOMPARE(w->ui->lineEdit_PointNum->text(), QStringLiteral("110"));
        // A stop report after the run was kept leaves it alone.
        instrumentStops();
        QCOMPARE(points().size(), 1);

        // Same line and mileage, same-point sampling; the stop takes out only its groups.
        w->ui->lineEdit_PointNum->setText(QStringLiteral("100"));
        answers << QMessageBox::No;
        startRun(Online, SIGNAL(sampleStart()));
        QVERIFY(!boxes.isEmpty());
        QCOMPARE(boxes.last().text, QStringLiteral("当前线已存在相同里程,是否创建新点？"));
        QCOMPARE(lastStart().Pos.ID, 1);
        QCOMPARE(points()[0].toObject().keys().filter(QStringLiteral("SampleRate")).size(), 6);
        answers << QMessageBox::Yes;
        w->onStopSample();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::SampleStop), 1, Patience);
        instrumentStops();
        QCOMPARE(points().size(), 1);
        QCOMPARE(points()[0].toObject().keys().filter(QStringLiteral("SampleRate")).size(), 3);
        QVERIFY(QFile::exists(pointDir(1) + QStringLiteral("/1_CH1.dat")));
        QVERIFY(!QFile::exists(table(QStringLiteral("1.txt"))));  // it held the removed groups too

        // A new point, stopped while its downloads run: queue, point, folder, tables all go.
        w->ui->lineEdit_PointNum->setText(QStringLiteral("120"));
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(lastStart().Pos.ID, 2);
        touch(table(QStringLiteral("2.txt")));
        touch(table(QStringLiteral("CP_2.txt")));
        w->ftp->download(QStringLiteral("mnt/DATA/x/2/1_CH1.dat"), pointDir(2) + QStringLiteral("/1_CH1.dat"));
        w->ftp->download(QStringLiteral("mnt/DATA/x/2/1_CH2.dat"), pointDir(2) + QStringLiteral("/1_CH2.dat"));
        instrumentStops();
        QVERIFY(w->runDiscarded && !w->ftp->isBusy());
        QCOMPARE(points().size(), 1);
        QVERIFY(!QFile::exists(table(QStringLiteral("2.txt"))) && !QFile::exists(table(QStringLiteral("CP_2.txt"))));
        QTest::qWait(300);
        QVERIFY(!QDir(pointDir(2)).exists());

        // ID 2 is given again: a table a late calculation left behind is not inherited.
        touch(table(QStringLiteral("2.txt")));
        startRun(Online, SIGNAL(sampleStart()));
        QCOMPARE(lastStart().Pos.ID, 2);
        QVERIFY(!QFile::exists(table(QStringLiteral("2.txt"))));
        emit w->sampleOver();
        w->curPointID = -1;
        touch(table(QStringLiteral("2.txt")));
        w->onCancelSave();
        QTRY_COMPARE_WITH_TIMEOUT(fake->count(LibCom::CancelSave), 1, Patience);
        QCOMPARE(points().size(), 1);
        QVERIFY(!QFile::exists(table(QStringLiteral("2.txt"))));

        QVERIFY(QDir(pointDir(1)).exists());
    }

    void trialRunWritesNothingAndBoxesWaitForTheReceivePass()
    {
        connectLink();
        status(0);
        fake->setAckMode(LibCom::SampleStart, FakeInstrument::NoAck);
        QSignalSpy started(w.get(), &MainWindow::sampleStart_Pre);
        w->onStartSample(Pre);
        QTRY_COMPARE_WITH_TIMEOUT(starts(), 1, Patience);
        const st_PointParam sent = lastStart();
        QCOMPARE(sent.Pos.ID, -1);
        QCOMPARE(sent.StartTime, quint64(0));
        QCOMPARE(sent.Group[0].Duration, 1u);   // 250000 Hz
        QCOMPARE(sent.Group[1].Duration, 1u);   // 7800 Hz
        QCOMPARE(sent.Group[2].Duration, 10u);  // 488 Hz

        // An error report and the acknowledge in one piece: the box opens after both are read.
        bool startedAtBox = false;
        onBox = [&] { startedAtBox = started.count() == 1; };
        fake->sendRaw(FakeInstrument::frame(LibCom::Status, statusRecord(2, Form_StatusBar::TIMEOUT))
                      + FakeInstrument::frame(LibCom::ACK, QByteArray::fromHex("02000000")));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, Patience);
        QVERIFY(startedAtBox);
        QCOMPARE(boxes[0].title, QStringLiteral("错误"));
        QCOMPARE(points().size(), 0);
        QVERIFY(!w->ui->tbtnCloseProject->isEnabled());
        instrumentStops();
        QCOMPARE(points().size(), 0);
    }
};

QTEST_MAIN(TestSampling)
#include "tst_sampling.moc"
