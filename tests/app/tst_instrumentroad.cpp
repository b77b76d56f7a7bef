// The instrument road end to end: the real main window against the fake instrument over
// TCP and a real FTP server on port 21, inside a network namespace of its own.

#include "FakeInstrument.h"
#include "LibCom.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_ResGraph.h"
#include "Form_StatusBar.h"
#include "Form_TSGraph.h"
#include "FreeDiskSpace.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "ModalAnswers.h"
#include "MyComboBox.h"
#include "OperatorMessages.h"
#include "PipelineFixtures.h"
#include "PointCalculation.h"
#include "ProjectFixtures.h"
#include "QtFTP.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMimeData>
#include <QProcess>
#include <QSettings>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <memory>

namespace {

constexpr qint64 ProjID = 231208153012;
constexpr quint32 GroupReport = 0xAA550002;  // SampleStart from the instrument: a group is done
constexpr quint32 StopReport = 0xAA550003;
constexpr quint32 StatusReport = 0xAA550008;

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    return qToLittleEndian(v, b.data()), b;
}

// A status record: idle, instrument clock at instrumentMs, clock valid or not.
QByteArray statusRecord(qint64 instrumentMs, bool clockValid)
{
    QByteArray b(48, '\0');
    qToLittleEndian(quint64(instrumentMs), b.data());
    b[40] = clockValid ? 1 : 0;
    return b;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

// Group 1: 7800 Hz, 3 blocks; group 2: 250000 Hz, 30 blocks; six channels each.
st_PointParam roadTask(quint8 groups = 2)
{
    st_PointParam task = defaultPointParam();
    task.CHSelect = 0x3F;
    task.CHMatch = 0x29;  // E0-Hx, E1-Hy, E2-Hy
    for (int c = 1; c <= 6; ++c)
        copySenseName(task, c, c <= 3 ? QStringLiteral("ICMS-0001") : QStringLiteral("NPE"));
    task.GroupNum = groups;
    task.Group[0] = makeGroupParam(7800, 3, 1, 1);
    task.Group[1] = makeGroupParam(250000, 30, 1, 1);
    return task;
}

void writeGroupFiles(const QString& dir, int group, quint32 rate, int blocks)
{
    using namespace fixtures;
    QDir().mkpath(dir);
    ChannelHeader h;
    h.sampleRate = rate;
    h.duration = groupDuration(quint32(blocks), rate);
    ChannelHeader e = h;
    e.sensorId = "FLAT-E";
    e.electrodeLength = 50;
    const int n = blocks * SegmentSamples;
    const QVector<qint32> hx = noise(n, 10 * group + 1), hy = noise(n, 10 * group + 2), hz = noise(n, 10 * group + 3);
    auto mix = [&](const QVector<qint32>& m, int k, quint32 seed) {
        QVector<qint32> out = noise(n, seed, 2000);
        for (int i = 0; i < n; ++i)
            out[i] += k * m.at(i);
        return out;
    };
    writeChannelFile(channelFilePath(dir, group, 1), h, hx);
    writeChannelFile(channelFilePath(dir, group, 2), h, hy);
    writeChannelFile(channelFilePath(dir, group, 3), h, hz);
    writeChannelFile(channelFilePath(dir, group, 4), e, mix(hx, 2, 10 * group + 4));
    writeChannelFile(channelFilePath(dir, group, 5), e, mix(hy, 3, 10 * group + 5));
    writeChannelFile(channelFilePath(dir, group, 6), e, mix(hy, 1, 10 * group + 6));
}

// Holds every thread of the global pool until end(): a calculation started meanwhile waits, as behind a slow one.
struct PoolHold
{
    QList<QFuture<void> > held;
    QSemaphore started, release;
    PoolHold()
    {
        // Until one holder has to wait in the queue: idle threads would take a queued task too.
        do
            held << QtConcurrent::run(QThreadPool::globalInstance(), [this] { started.release(), release.acquire(); });
        while (started.tryAcquire(1, 500));
    }
    ~PoolHold() { end(); }
    void end()
    {
        release.release(held.size());
        for (QFuture<void>& task : held)
            task.waitForFinished();
        held.clear();
    }
};

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + '/' + name, to + '/' + name);
}

} // namespace

class TestInstrumentRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void connectsAndConfiguresTheProject();
    void onlineRunDownloadsComputesAndShowsEachGroup();
    void stoppedRunLeavesNothingBehind();
    void trialRunOnlyShowsTheTimeSeries();
    void offlineRunDownloadsNothing();
    void cooperativeStartIsRefusedForEachReason();
    void retriesAndDiscardedRunsLoseNoOtherGroup();
    void samePointRunStoresItsGroupsAfterTheStoredOnes();
    void stopDuringACalculationDoesNotWaitForIt();
    void disconnectsAndClosesWithoutLosingACalculation();

private:
    void dropFile(const QString& path);
    void openProject();
    QStringList retrPaths();
    bool addStall(double seconds, const QString& folder, const QByteArray& file, int times = 1);
    int stalls();
    QStringList expectedRetr(const QString& folder, int group) const;
    QToolButton* button(const char* name) const { return window->findChild<QToolButton*>(QLatin1String(name)); }
    bool startRun(const char* buttonName);
    int startPoint(const st_PointParam& task, const QString& pointNum = QString());
    bool save();
    bool stopWhileCalculating(const QString& pointDir, int reported, int stored);
    bool curvesShown() const;
    QString remoteFolder(int id) const { return QStringLiteral("mnt/DATA/231208153012/%1").arg(id); }
    QList<QByteArray> groupBytes(const QString& dir, int first, int last) const;
    // The task record of the last SampleStart sent.
    st_PointParam lastStart() const
    {
        st_PointParam param = defaultPointParam();
        pointParamFromBytes(fake.lastPayload(LibCom::SampleStart), &param);
        return param;
    }

    QTemporaryDir tmp;
    QString ftpRoot, projectPath, projDir, expectTable;
    QProcess ftpServer;
    QByteArray ftpLog;
    QByteArray stallLine;  // of the last stall rule added
    int stallsBefore = 0;
    FakeInstrument fake;
    std::unique_ptr<MainWindow> window;
    QStringList boxes;  // texts of the boxes shown
    QList<int> answers;  // next answers to questions; Yes when empty
    QStringList snacks;
    int resultsShown = 0;
    int offlinePoint = -1;
    QMap<int, QVector<OneFreqImpedance> > lastResult;
    qint64 lastResultAt = 0;
    QElapsedTimer clock;
};

void TestInstrumentRoad::initTestCase()
{
    QVERIFY2(qgetenv("VARN_IN_NETNS") == "1", "runs only in its own network namespace (run_in_netns.sh)");
    QVERIFY(tmp.isValid());
    clock.start();
    const QString appDir = QCoreApplication::applicationDirPath();

    // The instrument's disk: each point's folder and the trial folder hold the same groups.
    ftpRoot = tmp.filePath("ftp");
    const QString source = tmp.filePath("source");
    writeGroupFiles(source, 1, 7800, 3);
    writeGroupFiles(source, 2, 250000, 30);
    for (const char* folder : {"mnt/DATA/231208153012/1", "mnt/DATA/231208153012/2", "tmp/TrySample"})
        copyFolder(source, ftpRoot + '/' + folder);

    // The sounding of point 1 as the calculation gives it, group 1 merged first.
    const QString expectPoint = tmp.filePath("expect/Survey/1");
    copyFolder(source, expectPoint);
    QVector<fixtures::CalibrationEntry> library{fixtures::flatEntry("Sensor/FLAT-E"), fixtures::flatEntry("Sensor/FLAT-H", 0.8, 15)};
    for (const char* band : {"/High/", "/Mid/"})
        for (const char* ch : {"Hx", "Hy", "Hz", "E0", "E1", "E2"})
            library.append(fixtures::flatEntry(QStringLiteral("1203%1%2-1").arg(band, ch), 1.2, -5));
    QVERIFY(fixtures::writeBytes(appDir + "/Road.bin", fixtures::calibrationLibraryBytes(library)));
    st_PointParam expectParam = roadTask();
    expectParam.Pos.ID = 1;
    calcGroupData(expectPoint, expectParam, 1);
    calcGroupData(expectPoint, expectParam, 2);
    expectTable = tmp.filePath("expect/Survey/data/1.txt");
    QVERIFY(QFile::exists(expectTable));

    projectPath = makeProject(tmp.filePath("projects"), QJsonArray());
    projDir = QFileInfo(projectPath).path();

    // The real FTP server on the instrument's port.
    ftpServer.start("/usr/bin/python3", {VARN_SOURCE_DIR "/tools/ftp_server.py", "--root", ftpRoot, "--port", "21",
                                         "--user", InstrumentFtpAccount, "--password", InstrumentFtpAccount});
    QVERIFY(ftpServer.waitForStarted(15000));
    QTRY_VERIFY_WITH_TIMEOUT(ftpServer.canReadLine(), 30000);
    QCOMPARE(ftpServer.readLine().trimmed(), QByteArray("PORT 21"));
    QVERIFY(fake.listen());

    // Only loopback, written before the window exists.
    QFile::remove(appDir + "/systemConfig.ini");
    {
        QSettings ini(appDir + "/systemConfig.ini", QSettings::IniFormat);
        ini.setValue("SystemConfig/IP", "127.0.0.1");
        ini.setValue("SystemConfig/Port", fake.port());
    }
    QDir(appDir + "/TempFile").removeRecursively();
    QVERIFY(QDir().mkpath(appDir + "/TempFile/old"));
    QVERIFY(fixtures::writeBytes(appDir + "/TempFile/ProjectTable.json", "{}"));

    setMessageBoxAnswer([this](QMessageBox::Icon, const QString&, const QString& text,
                               QMessageBox::StandardButtons buttons) {
        boxes.append(text);
        if (!(buttons & QMessageBox::Yes))
            return int(QMessageBox::Ok);
        return answers.isEmpty() ? int(QMessageBox::Yes) : answers.takeFirst();
    });
    window.reset(new MainWindow);
    setSnackbarReceiver([this](const QString& message) { snacks << message; });
    QCOMPARE(window->hostAddr.ip, QStringLiteral("127.0.0.1"));
    connect(window.get(), &MainWindow::newResData, this, [this](const QMap<int, QVector<OneFreqImpedance> >& result) {
        lastResult = result;
        ++resultsShown;
        lastResultAt = clock.elapsed();
    });
    window->resize(1200, 760);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestInstrumentRoad::cleanupTestCase()
{
    setMessageBoxAnswer(MessageBoxAnswer());
    setSnackbarReceiver(SnackbarReceiver());
    window.reset();
    ftpServer.kill();
    ftpServer.waitForFinished(10000);
}

void TestInstrumentRoad::dropFile(const QString& path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the handler: whether the window takes drops at all is the controls' business.
    window->dropEvent(&drop);
}

void TestInstrumentRoad::openProject()
{
    dropFile(projectPath);
    QVERIFY(window->projectOpen);
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
}

QStringList TestInstrumentRoad::retrPaths()
{
    ftpLog += ftpServer.readAllStandardError();
    QStringList paths;
    for (const QByteArray& line : ftpLog.split('\n'))
        if (line.startsWith("RETR "))
            paths << QString::fromUtf8(line.mid(5));
    return paths;
}

// A stall rule of the FTP server from now on; true once the server has it in force.
bool TestInstrumentRoad::addStall(double seconds, const QString& folder, const QByteArray& file, int times)
{
    stallLine = "stalling " + file;
    stallsBefore = stalls();
    const QByteArray line = "stall " + QByteArray::number(seconds) + " */" + folder.toUtf8() + '/' + file + ":4096:"
                            + QByteArray::number(times);
    ftpServer.write(line + '\n');
    return QTest::qWaitFor([&] { return ftpServer.canReadLine() && ftpServer.readLine().trimmed() == "OK " + line; },
                           10000);
}

// How often the server has stalled the file of the last rule.
int TestInstrumentRoad::stalls()
{
    ftpLog += ftpServer.readAllStandardError();
    return ftpLog.count(stallLine);
}

QStringList TestInstrumentRoad::expectedRetr(const QString& folder, int group) const
{
    QStringList paths;
    for (int c = 1; c <= 6; ++c)
        paths << QStringLiteral("/%1/%2_CH%3.dat").arg(folder).arg(group).arg(c);
    return paths;
}

bool TestInstrumentRoad::startRun(const char* buttonName)
{
    // The instrument reports idle between runs, as it does every few seconds.
    fake.send(StatusReport, statusRecord(QDateTime::currentMSecsSinceEpoch(), false));
    if (!QTest::qWaitFor([&] { return window->formStatusBar->getMachineState() == 0; }, 5000))
        return false;
    const int before = fake.count(GroupReport);
    button(buttonName)->click();
    if (QTest::qWaitFor([&] { return fake.count(GroupReport) == before + 1; }, 10000))
        return true;
    qWarning() << "no start; last messages:" << snacks.mid(snacks.size() - 3) << boxes.mid(boxes.size() - 1);
    return false;
}

// Starts a run (at the mileage given, else the next), waits for its record and serves its folder; its point ID.
int TestInstrumentRoad::startPoint(const st_PointParam& task, const QString& pointNum)
{
    window->formParam->setTaskParam(task);
    if (!pointNum.isEmpty())
        window->ui->lineEdit_PointNum->setText(pointNum);
    if (!startRun("tbtnStartSample"))
        return -1;
    const int id = lastStart().Pos.ID;
    if (!QTest::qWaitFor([&] { return !entryOf(projectPath, id).isEmpty(); }, 5000))
        return -1;
    copyFolder(tmp.filePath("source"), ftpRoot + '/' + remoteFolder(id));
    return id;
}

bool TestInstrumentRoad::save()
{
    if (!QTest::qWaitFor([&] { return button("tbtnSave")->isVisible(); }, 5000))
        return false;
    button("tbtnSave")->click();
    return QTest::qWaitFor([&] { return button("tbtnStartSample")->isVisible(); }, 5000);
}

// The channel files of groups first..last in a folder.
QList<QByteArray> TestInstrumentRoad::groupBytes(const QString& dir, int first, int last) const
{
    QList<QByteArray> files;
    for (int g = first; g <= last; ++g)
        for (int c = 1; c <= 6; ++c)
            files << fileBytes(fixtures::channelFilePath(dir, g, c));
    return files;
}

// Reports a group and, its calculation held, stops the run: true if handled before it ran, its files kept.
bool TestInstrumentRoad::stopWhileCalculating(const QString& pointDir, int reported, int stored)
{
    const QString file = fixtures::channelFilePath(pointDir, stored, 6);
    fake.send(GroupReport, le32(reported));
    if (!QTest::qWaitFor([&] { return QFile::exists(file) && window->calcWatcher.isRunning(); }, 20000))
        return false;
    bool calculating = false;
    QObject guard;
    connect(window.get(), &MainWindow::sampleStoped, &guard, [&] { calculating = window->calcWatcher.isRunning(); });
    fake.send(StopReport);
    return QTest::qWaitFor([&] { return calculating; }, 10000) && QFile::exists(file);
}

bool TestInstrumentRoad::curvesShown() const
{
    for (QwtPlot* plot : window->formResGraph->findChildren<QwtPlot*>())
        for (QwtPlotItem* item : plot->itemList(QwtPlotItem::Rtti_PlotCurve))
            if (static_cast<QwtPlotCurve*>(item)->dataSize() > 0)
                return true;
    return false;
}

void TestInstrumentRoad::connectsAndConfiguresTheProject()
{
    dropFile(projectPath + ".bak");
    QCOMPARE(boxes.value(boxes.size() - 1), QStringLiteral("请拖入正确的工程文件"));
    openProject();
    button("tbtnConnectNetwork")->click();
    QTRY_VERIFY_WITH_TIMEOUT(fake.count(LibCom::ConfigProj) == 1, 10000);
    const QList<quint32> ids = fake.ids();
    QVERIFY(ids.indexOf(LibCom::AdjustTime) < ids.indexOf(LibCom::HeartBeat));
    QVERIFY(ids.indexOf(LibCom::HeartBeat) < ids.indexOf(LibCom::ConfigProj));
    const st_ProjectAbout about = window->formIndex->getProjectAbout();
    QCOMPARE(fake.requests().at(ids.indexOf(LibCom::ConfigProj)).payload,
             QByteArray(reinterpret_cast<const char*>(&about), sizeof about));
    QTRY_VERIFY(button("tbtnDisconnectNetwork")->isVisible());

    // Free space is counted in whole GB, rounded up: 1.5 GB is 2 (no warning), 0.9 GB is 1.
    QCOMPARE(bytesToWholeGB(qint64(1.5 * (1 << 30))), 2);
    QCOMPARE(bytesToWholeGB(qint64(0.9 * (1 << 30))), 1);
    QVERIFY(freeDiskSpaceGB(projDir) >= 1);

    // A group report before any run of this window is ignored.
    fake.send(GroupReport, le32(1));
    QTest::qWait(300);
    QVERIFY(retrPaths().isEmpty());
}

void TestInstrumentRoad::onlineRunDownloadsComputesAndShowsEachGroup()
{
    window->formParam->setTaskParam(roadTask());
    window->formParam->setOnLineSelect(Online);
    window->formParam->lineEdit_PointStep->setText("10");
    window->ui->lineEdit_LineNum->setText("1");
    window->ui->lineEdit_PointNum->setText("100");
    QVERIFY(startRun("tbtnStartSample"));

    // The record as sent, every field: the task with the new point's place in front.
    st_PointParam expected = roadTask();
    expected.Pos = st_PointPos{ProjID, 1, 1, 100, 0};
    QCOMPARE(lastStart().Pos.ID, 1);
    QCOMPARE(fake.lastPayload(LibCom::SampleStart), pointParamToBytes(expected));

    // Acknowledged at once: the point is in the project file.
    QTRY_VERIFY(!entryOf(projectPath, 1).isEmpty());
    QCOMPARE(entryOf(projectPath, 1).value("SampleRate2").toInt(), 250000);

    const QString remote = "mnt/DATA/231208153012/1";
    for (int g = 1; g <= 2; ++g) {
        const int shown = resultsShown;
        const qint64 reportedAt = clock.elapsed();
        fake.send(GroupReport, le32(g));
        QTRY_COMPARE_WITH_TIMEOUT(resultsShown, shown + 1, 20000);
        if (g == 2)
            qInfo("last group reported -> sounding curves: %lld ms (250000 Hz, 30 blocks, 6 channels)",
                  lastResultAt - reportedAt);
        QCOMPARE(retrPaths().mid(retrPaths().size() - 6), expectedRetr(remote, g));
        QCOMPARE(groupBytes(projDir + "/1", g, g), groupBytes(ftpRoot + '/' + remote, g, g));
        QCOMPARE(window->formTSGraph->getCurGroupNum(), g);
        QCOMPARE(window->ui->stacked_Graph->currentIndex(), 1);
        QVERIFY(curvesShown());
    }
    QCOMPARE(fileBytes(projDir + "/data/1.txt"), fileBytes(expectTable));
    // The last result shown is the whole point: both groups, every pair.
    const QMap<int, QVector<OneFreqImpedance> > table = readImpedanceFile(expectTable);
    QCOMPARE(lastResult.keys(), table.keys());
    for (int key : table.keys())
        QCOMPARE(lastResult.value(key).size(), table.value(key).size());
    window->grab().save(VARN_BINARY_DIR "/screenshots/instrumentroad_sounding.png");

    // Group numbers outside the run are ignored.
    const int retrs = retrPaths().size();
    for (int g : {0, 3, -1})
        fake.send(GroupReport, le32(g));
    QTest::qWait(300);
    QCOMPARE(retrPaths().size(), retrs);

    QVERIFY(save());
    QCOMPARE(window->ui->lineEdit_PointNum->text(), QStringLiteral("110"));

    // A stored group without its files, from the tree: fetched again, only what is missing.
    for (int c = 1; c <= 6; ++c)
        QVERIFY(QFile::remove(fixtures::channelFilePath(projDir + "/1", 2, c)));
    const int fetched = retrPaths().size();
    const int shown = resultsShown;
    emit window->formIndex->signalSelectRate(1, 0x3F, 0x29, 2);
    QCOMPARE(boxes.value(boxes.size() - 1), QStringLiteral("暂未获取到采集数据，是否从仪器传输?"));
    QTRY_VERIFY(QFile::exists(fixtures::channelFilePath(projDir + "/1", 2, 6)));
    QCOMPARE(retrPaths().mid(fetched), expectedRetr(remote, 2));
    QTest::qWait(300);
    QCOMPARE(resultsShown, shown);
}

void TestInstrumentRoad::stoppedRunLeavesNothingBehind()
{
    // A third group that never comes: the run is stopped while it records.
    st_PointParam task = roadTask();
    task.GroupNum = 3;
    task.Group[2] = makeGroupParam(488, 3, 1, 1);
    window->formParam->setTaskParam(task);
    QVERIFY(startRun("tbtnStartSample"));
    QTRY_VERIFY(!entryOf(projectPath, 2).isEmpty());

    // Both reports in one read: the second group's files join the first group's batch,
    // which then ends once, with group 2. Both groups are calculated, in order.
    QSignalSpy batches(window->ftp, &QtFTP::finished);
    const int shown = resultsShown;
    fake.sendRaw(FakeInstrument::frame(GroupReport, le32(1)) + FakeInstrument::frame(GroupReport, le32(2)));
    QTRY_COMPARE_WITH_TIMEOUT(resultsShown, shown + 2, 30000);
    QCOMPARE(batches.count(), 1);
    QCOMPARE(fileBytes(projDir + "/data/2.txt"), fileBytes(expectTable));

    // The instrument stops the run: the point, its files and its tables go.
    button("tbtnStopSample")->click();
    QTRY_COMPARE(fake.count(LibCom::SampleStop), 1);
    fake.send(StopReport);
    QTRY_VERIFY(entryOf(projectPath, 2).isEmpty());
    QVERIFY(!QFile::exists(projDir + "/2/1_CH1.dat"));
    QVERIFY(!QFile::exists(projDir + "/data/2.txt"));
    QVERIFY(!QFile::exists(projDir + "/data/CP_2.txt"));
    // A late end of a batch of the discarded run changes nothing.
    emit window->ftp->finished(2);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(projDir + "/data/2.txt"));
    QCOMPARE(resultsShown, shown + 2);
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());

    // Stopped while its groups download: nothing of the run comes back afterwards.
    QVERIFY(startRun("tbtnStartSample"));
    const st_PointParam sent = lastStart();
    QTRY_VERIFY(!entryOf(projectPath, sent.Pos.ID).isEmpty());
    fake.sendRaw(FakeInstrument::frame(GroupReport, le32(1)) + FakeInstrument::frame(GroupReport, le32(2))
                 + FakeInstrument::frame(StopReport, QByteArray()));
    QTRY_VERIFY(entryOf(projectPath, sent.Pos.ID).isEmpty());
    QTest::qWait(1000);
    const QString point = QString::number(sent.Pos.ID);
    QVERIFY(!QDir(projDir + '/' + point).exists());
    QVERIFY(!QFile::exists(projDir + "/data/" + point + ".txt"));
    QCOMPARE(resultsShown, shown + 2);
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
}

void TestInstrumentRoad::trialRunOnlyShowsTheTimeSeries()
{
    window->formParam->setTaskParam(roadTask());
    const QByteArray project = fileBytes(projectPath);
    const int shown = resultsShown;
    QVERIFY(startRun("tbtnPreSampleData"));
    const st_PointParam sent = lastStart();
    QCOMPARE(sent.Pos.ID, -1);
    QCOMPARE(sent.Group[1].Duration, 1u);

    const int retrs = retrPaths().size();
    for (int g = 1; g <= 2; ++g) {
        fake.send(GroupReport, le32(g));
        QTRY_COMPARE_WITH_TIMEOUT(retrPaths().size(), retrs + 6 * g, 20000);
        QTRY_COMPARE(window->formTSGraph->getCurGroupNum(), g);
        QCOMPARE(retrPaths().mid(retrs + 6 * (g - 1)), expectedRetr("tmp/TrySample", g));
    }
    QTRY_VERIFY(QFile::exists(projDir + "/-1/2_CH6.dat"));
    QCOMPARE(window->ui->stacked_Graph->currentIndex(), 0);
    QTest::qWait(300);
    QCOMPARE(resultsShown, shown);
    QVERIFY(!QFile::exists(projDir + "/data/-1.txt"));
    QCOMPARE(fileBytes(projectPath), project);
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
}

void TestInstrumentRoad::offlineRunDownloadsNothing()
{
    window->formParam->setOnLineSelect(Offline);
    QVERIFY(startRun("tbtnStartSample"));
    offlinePoint = lastStart().Pos.ID;
    QTRY_VERIFY(!entryOf(projectPath, offlinePoint).isEmpty());
    const int retrs = retrPaths().size();
    fake.send(GroupReport, le32(1));
    fake.send(GroupReport, le32(2));
    QTRY_VERIFY(snacks.contains(QStringLiteral("离线采集完成，可导出数据！")));
    QCOMPARE(window->ui->lineEdit_PointNum->text(), QStringLiteral("120"));
    QTest::qWait(300);
    QCOMPARE(retrPaths().size(), retrs);
    QVERIFY(!QDir(projDir + '/' + QString::number(offlinePoint)).exists());
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());

    // A run whose project is closed while it records: its reports change nothing.
    QVERIFY(startRun("tbtnStartSample"));
    QTRY_VERIFY(!entryOf(projectPath, lastStart().Pos.ID).isEmpty());
    button("tbtnCloseProject")->click();
    QVERIFY(!window->projectOpen);
    const int done = snacks.count(QStringLiteral("离线采集完成，可导出数据！"));
    fake.send(GroupReport, le32(1));
    fake.send(GroupReport, le32(2));
    QTest::qWait(300);
    QCOMPARE(snacks.count(QStringLiteral("离线采集完成，可导出数据！")), done);
    QCOMPARE(window->ui->lineEdit_PointNum->text(), QStringLiteral("120"));
    openProject();
    window->formParam->setOnLineSelect(Online);
}

void TestInstrumentRoad::cooperativeStartIsRefusedForEachReason()
{
    // The instrument's clock: today 09:59:30, first not satellite-set.
    const qint64 instrumentMs = QDateTime(QDate::currentDate(), QTime(9, 59, 30)).toMSecsSinceEpoch();
    window->ui->groupBox_Sync->setChecked(true);
    const int starts = fake.count(GroupReport);

    fake.send(StatusReport, statusRecord(instrumentMs, false));
    QTest::qWait(200);
    button("tbtnStartSample")->click();
    QTRY_VERIFY(boxes.value(boxes.size() - 1) == QStringLiteral("未能满足协同采集的条件，请等待卫星锁定或取消协同采集"));

    fake.send(StatusReport, statusRecord(instrumentMs, true));
    QTest::qWait(200);
    window->ui->comboBox_SyncHour->setCurrentIndex(9);
    window->ui->comboBox_SyncMinute->setCurrentIndex(59);
    button("tbtnStartSample")->click();
    QTRY_VERIFY(snacks.contains(QStringLiteral("协同采集时间早于当前时间!请重新设置再进行操作！")));

    window->ui->comboBox_SyncHour->setCurrentIndex(10);
    window->ui->comboBox_SyncMinute->setCurrentIndex(30);
    answers = {QMessageBox::Yes};  // yes, set it again
    button("tbtnStartSample")->click();
    QTRY_COMPARE(boxes.value(boxes.size() - 1), QStringLiteral("协同采集开始时间在30分钟之后，是否重新设置？"));
    QTest::qWait(200);
    QCOMPARE(fake.count(GroupReport), starts);
    window->ui->groupBox_Sync->setChecked(false);
}

void TestInstrumentRoad::retriesAndDiscardedRunsLoseNoOtherGroup()
{
    // Group 1's last file stalls twice, each time queued again behind group 2's and the next (stopped) run's.
    const int id = startPoint(roadTask(), "300");
    QVERIFY(addStall(3600, remoteFolder(id), "1_CH6.dat", 2));
    QSignalSpy batches(window->ftp, &QtFTP::finished);
    const int shown = resultsShown;
    const int boxesBefore = boxes.size();
    fake.send(GroupReport, le32(1));
    QTRY_VERIFY_WITH_TIMEOUT(stalls() > stallsBefore, 10000);
    fake.send(GroupReport, le32(2));
    QVERIFY(save());
    const int stopped = startPoint(roadTask());
    fake.sendRaw(FakeInstrument::frame(GroupReport, le32(1)) + FakeInstrument::frame(StopReport, QByteArray()));

    // One batch, ended by group 1's file; both groups calculated in order, the newest shown.
    QTRY_COMPARE_WITH_TIMEOUT(resultsShown, shown + 2, 30000);
    QCOMPARE(batches, (QList<QVariantList>{{1}}));
    QCOMPARE(fileBytes(projDir + "/data/" + QString::number(id) + ".txt"), fileBytes(expectTable));
    QCOMPARE(window->formTSGraph->getCurGroupNum(), 2);
    QTRY_VERIFY(!window->ftp->isBusy());
    QVERIFY(!QDir(projDir + '/' + QString::number(stopped)).exists());

    // A second trial while the first one's last file is paused (not given up): it is not written into the new -1.
    QTRY_VERIFY(button("tbtnPreSampleData")->isVisible());
    QVERIFY(startRun("tbtnPreSampleData"));
    QVERIFY(addStall(1.5, "tmp/TrySample", "2_CH6.dat"));
    fake.sendRaw(FakeInstrument::frame(GroupReport, le32(1)) + FakeInstrument::frame(GroupReport, le32(2)));
    QTRY_VERIFY_WITH_TIMEOUT(stalls() > stallsBefore, 10000);
    QTRY_VERIFY(button("tbtnPreSampleData")->isVisible());
    QVERIFY(startRun("tbtnPreSampleData"));
    QVERIFY(!QDir(projDir + "/-1").exists());
    fake.sendRaw(FakeInstrument::frame(GroupReport, le32(1)) + FakeInstrument::frame(GroupReport, le32(2)));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(projDir + "/-1/2_CH6.dat"), 20000);
    QCOMPARE(groupBytes(projDir + "/-1", 1, 2), groupBytes(ftpRoot + "/tmp/TrySample", 1, 2));
    QTest::qWait(300);
    QVERIFY2(boxes.size() == boxesBefore, qPrintable(boxes.mid(boxesBefore).join(" | ")));
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());

    // A batch that ends while no project is open leaves no group behind for a later one.
    batches.clear();
    QVERIFY(addStall(1, remoteFolder(startPoint(roadTask(1))), "1_CH6.dat"));
    fake.send(GroupReport, le32(1));
    QTRY_VERIFY_WITH_TIMEOUT(stalls() > stallsBefore, 10000);
    QVERIFY(save());
    QTRY_VERIFY(button("tbtnCloseProject")->isEnabled());
    button("tbtnCloseProject")->click();
    QTRY_COMPARE_WITH_TIMEOUT(batches.count(), 1, 10000);
    QVERIFY(window->downloadGroups.isEmpty());
    openProject();
}

void TestInstrumentRoad::samePointRunStoresItsGroupsAfterTheStoredOnes()
{
    // Same-point run of point 1 (two groups stored): one 250000 Hz group, group 1 to the instrument.
    const QString pointDir = projDir + "/1", remote = ftpRoot + '/' + remoteFolder(1);
    st_PointParam one = roadTask(1);
    one.Group[0] = one.Group[1];
    answers = {QMessageBox::No};
    QCOMPARE(startPoint(one, "100"), 1);
    writeGroupFiles(remote, 1, 250000, 30);
    const int shown = resultsShown;
    fake.send(GroupReport, le32(1));
    QTRY_COMPARE_WITH_TIMEOUT(resultsShown, shown + 1, 20000);

    // Stored, shown and calculated as group 3 and merged into point 1's table (the expected one
    // gets it too); the stored groups untouched.
    QCOMPARE(groupBytes(pointDir, 3, 3), groupBytes(remote, 1, 1));
    QCOMPARE(groupBytes(pointDir, 1, 2), groupBytes(tmp.filePath("source"), 1, 2));
    QCOMPARE(window->formTSGraph->getCurGroupNum(), 3);
    copyFolder(pointDir, tmp.filePath("expect/Survey/1"));
    one.Pos.ID = 1;
    calcGroupData(tmp.filePath("expect/Survey/1"), one, 3);
    QCOMPARE(fileBytes(projDir + "/data/1.txt"), fileBytes(expectTable));
    QVERIFY(save());

    // Another same-point run stopped while its group 4 waits to be calculated: only its own groups go.
    const QList<QByteArray> kept = groupBytes(pointDir, 1, 3);
    const QByteArray keptTable = fileBytes(projDir + "/data/1.txt");
    one.GroupNum = 2;
    one.Group[1] = makeGroupParam(488, 3, 1, 1);
    answers = {QMessageBox::No};
    QCOMPARE(startPoint(one, "100"), 1);
    QTRY_COMPARE(entryOf(projectPath, 1).value("SampleRate4").toInt(), 250000);
    PoolHold hold;
    QVERIFY(stopWhileCalculating(pointDir, 1, 4));
    hold.end();
    QTRY_VERIFY_WITH_TIMEOUT(!window->calcWatcher.isRunning(), 20000);
    QTRY_VERIFY(!QFile::exists(fixtures::channelFilePath(pointDir, 4, 1)));
    QCOMPARE(fileBytes(projDir + "/data/1.txt"), keptTable);
    QCOMPARE(groupBytes(pointDir, 1, 3), kept);
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
}

void TestInstrumentRoad::stopDuringACalculationDoesNotWaitForIt()
{
    // Stopped, its group 2 still to come, while group 1's calculation waits behind others (a slow computer).
    const int id = startPoint(roadTask(), "800");
    const QString pointDir = projDir + '/' + QString::number(id);
    const QString table = projDir + QStringLiteral("/data/%1.txt").arg(id);
    const int shown = resultsShown;
    PoolHold hold;
    QVERIFY(stopWhileCalculating(pointDir, 1, 1));
    // Its record goes at once, its files and tables once that calculation has ended.
    QVERIFY(entryOf(projectPath, id).isEmpty());
    hold.end();
    QTRY_VERIFY_WITH_TIMEOUT(!window->calcWatcher.isRunning(), 20000);
    QTRY_VERIFY(!QFile::exists(table));
    QVERIFY(!QDir(pointDir).exists());
    QCOMPARE(resultsShown, shown);

    // The ID again for the next point, stopped while its group waits; a new point at once keeps its own files.
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
    QCOMPARE(startPoint(roadTask()), id);
    PoolHold again;
    QVERIFY(stopWhileCalculating(pointDir, 1, 1));
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
    QCOMPARE(startPoint(roadTask()), id);
    QSignalSpy batches(window->ftp, &QtFTP::finished);
    fake.send(GroupReport, le32(1));
    QTRY_COMPARE_WITH_TIMEOUT(batches.count(), 1, 20000);
    again.end();
    QTRY_COMPARE_WITH_TIMEOUT(resultsShown, shown + 1, 20000);
    QCOMPARE(readImpedanceFile(table).keys(), lastResult.keys());
    QVERIFY(QFile::exists(fixtures::channelFilePath(pointDir, 1, 1)));
    fake.send(StopReport);
    QTRY_VERIFY(entryOf(projectPath, id).isEmpty());
    QTRY_VERIFY(button("tbtnStartSample")->isVisible());
}

void TestInstrumentRoad::disconnectsAndClosesWithoutLosingACalculation()
{
    button("tbtnDisconnectNetwork")->click();
    QTRY_VERIFY(!fake.hasClient());
    QTRY_VERIFY(snacks.contains(QStringLiteral("已断开连接")));
    QTRY_VERIFY(button("tbtnConnectNetwork")->isVisible());

    // The task page is left only with a task the form accepts.
    window->ui->tabBar->setCurrentIndex(2);
    QCOMPARE(window->ui->stackedWidget->currentIndex(), 2);
    window->formParam->setChannelSelect(0);
    window->ui->tabBar->setCurrentIndex(1);
    QCOMPARE(boxes.value(boxes.size() - 1), QStringLiteral("未至少选择一个通道"));
    QCOMPARE(window->ui->tabBar->currentIndex(), 2);
    QCOMPARE(window->ui->stackedWidget->currentIndex(), 2);
    window->formParam->setTaskParam(roadTask());

    // No: nothing happens.
    const QString appDir = QCoreApplication::applicationDirPath();
    answers = {QMessageBox::No};
    button("btnMenu_Close")->click();
    QVERIFY(QFile::exists(appDir + "/TempFile/ProjectTable.json"));

    // A point calculation still running when the window goes is finished first.
    const QString point = QString::number(offlinePoint);
    copyFolder(tmp.filePath("source"), projDir + '/' + point);
    emit window->formIndex->signalSelectPoint(offlinePoint);
    answers = {QMessageBox::Yes};
    button("btnMenu_Close")->click();
    QVERIFY(QDir(appDir + "/TempFile").exists());
    QVERIFY(QDir(appDir + "/TempFile").isEmpty());
    QCOMPARE(QSettings(appDir + "/systemConfig.ini", QSettings::IniFormat).value("SystemConfig/IP").toString(),
             QStringLiteral("127.0.0.1"));
    window.reset();
    QVERIFY(QFile::exists(projDir + "/data/" + point + ".txt"));
    QVERIFY(QFile::exists(projDir + "/data/CP_" + point + ".txt"));
}

QTEST_MAIN(TestInstrumentRoad)
#include "tst_instrumentroad.moc"
