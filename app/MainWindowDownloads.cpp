#include "MainWindow.h"

#include "Form_Index.h"
#include "Form_StatusBar.h"
#include "Form_TSGraph.h"
#include "FreeDiskSpace.h"
#include "MainWindowUi.h"
#include "MessageBox.h"
#include "OperatorMessages.h"
#include "PointCalculation.h"
#include "QtFTP.h"
#include "SafeFileWrite.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

// Downloading each finished group, showing it and computing its sounding.

namespace {

// Below this the operator is warned during sampling; the downloads go ahead all the same.
constexpr int LowDiskSpaceGB = 2;

QString remotePointFolder(qint64 projectID, int pointID)
{
    if (pointID == -1)
        return QStringLiteral("tmp/TrySample");
    return QStringLiteral("mnt/DATA/%1/%2").arg(projectID).arg(pointID);
}

QString channelFileName(int group, int channel)
{
    return QStringLiteral("/%1_CH%2.dat").arg(group).arg(channel);
}

} // namespace

void MainWindow::beginRunDownloads()
{
    runToken = std::make_shared<std::atomic_bool>(false);
    runParam = pointParam;
    runPointDir = projectDir + QLatin1Char('/') + QString::number(pointParam.Pos.ID);
    runMode = sampleMode;
    runReportedGroups.clear();
    runGroupOffset = startGroupOffset;
    runTablesBefore.clear();
    runTablesTaken = false;
}

void MainWindow::discardRunDownloads()
{
    // Only the run's own downloads go: an earlier run's last group, files fetched from the
    // tree and an export in the queue are fetched on.
    cancelDownloadsInto(runPointDir);
    if (!runToken)
        return;
    const std::shared_ptr<std::atomic_bool> discarded = runToken;
    discarded->store(true);
    runToken.reset();
    for (int i = calcJobs.size() - 1; i >= 0; --i) {
        if (calcJobs.at(i).discarded == discarded)
            calcJobs.removeAt(i);
    }
    // The calculation running now may be one of this run: it is not waited for here (this
    // runs inside the link's receive pass); its result is not shown, and the files it reads
    // and the tables it writes are dealt with once it has ended (dropDiscardedRun).
    qDebug() << "MainWindow" << "discardRunDownloads" << runPointDir;
}

void MainWindow::cancelDownloadsInto(const QString& pointDir)
{
    if (pointDir.isEmpty())
        return;
    // Forgotten first: the cancel may end the batch at once, and these groups are not whole.
    for (int i = downloadGroups.size() - 1; i >= 0; --i) {
        if (downloadGroups.at(i).pointDir == pointDir)
            downloadGroups.removeAt(i);
    }
    ftp->cancelUnder(pointDir);
}

MainWindow::TableSnapshot MainWindow::takeTableSnapshot(const QString& path)
{
    TableSnapshot snapshot;
    snapshot.path = path;
    QFile file(path);
    snapshot.existed = file.open(QIODevice::ReadOnly);
    if (snapshot.existed)
        snapshot.bytes = file.readAll();
    return snapshot;
}

void MainWindow::dropDiscardedRun(const QStringList& files)
{
    filesToDelete += files;
    if (runGroupOffset > 0) {
        // Only what the run's own calculations changed; none started: nothing changed.
        if (runTablesTaken)
            tablesToPutBack += runTablesBefore;
    } else if (!projectDir.isEmpty() && pointParam.Pos.ID >= 0) {
        // A new point's tables hold nothing but the run's results.
        const QString pointDir = projectDir + QLatin1Char('/') + QString::number(pointParam.Pos.ID);
        for (const QString& path :
             {impedanceTablePath(pointDir, pointParam), crossPowerTablePath(pointDir, pointParam)}) {
            TableSnapshot absent;
            absent.path = path;
            tablesToPutBack.append(absent);
        }
    }
    runTablesBefore.clear();
    runTablesTaken = false;
    if (!calcWatcher.isRunning())
        finishDroppedRuns();
}

void MainWindow::finishDroppedRuns()
{
    for (const QString& path : filesToDelete) {
        const bool removed = QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
        qDebug() << "MainWindow" << "finishDroppedRuns" << (removed ? "Deleted:" : "Failed to delete:") << path;
    }
    filesToDelete.clear();
    for (const TableSnapshot& table : tablesToPutBack) {
        if (table.existed) {
            if (writeFileSafely(table.path, table.bytes) != SafeWriteResult::Written)
                showSnackbarMessage(tr("结果文件恢复失败：%1").arg(QDir::toNativeSeparators(table.path)));
        } else if (QFile::exists(table.path) && !QFile::remove(table.path)) {
            qWarning() << "MainWindow" << "finishDroppedRuns" << "could not delete" << table.path;
        }
    }
    tablesToPutBack.clear();
}

void MainWindow::finishDroppedRunsOf(int pointID)
{
    const QString folder = QFileInfo(projectDir + QLatin1Char('/') + QString::number(pointID)).absoluteFilePath();
    for (const QString& path : filesToDelete) {
        if (path == folder || path.startsWith(folder + QLatin1Char('/'))) {
            // Rare: a start right after a stop of the same point, its calculation still running.
            calcWatcher.waitForFinished();
            finishDroppedRuns();
            return;
        }
    }
}

void MainWindow::onSlotRequestTransormData(int gNum)
{
    if (!projectOpen || formIndex->getProjectAbout().ProjectID == NoProjectID) {
        qDebug() << "MainWindow" << "onSlotRequestTransormData" << gNum << "ignored: no project open";
        return;
    }
    if (!runAcknowledged || runDiscarded || !runToken || !runBelongsToOpenProject()) {
        qDebug() << "MainWindow" << "onSlotRequestTransormData" << gNum << "ignored: no run of this window";
        return;
    }
    const int groupCount = runParam.GroupNum;
    if (gNum < 1 || gNum > groupCount) {
        qWarning() << "MainWindow" << "onSlotRequestTransormData" << gNum << "ignored: the run has" << groupCount
                   << "groups";
        return;
    }
    if (runReportedGroups.contains(gNum)) {
        // Downloading and merging a group twice would count its data twice.
        qWarning() << "MainWindow" << "onSlotRequestTransormData" << gNum << "ignored: reported before";
        return;
    }
    runReportedGroups.append(gNum);
    qDebug() << "MainWindow" << "onSlotRequestTransormData" << QStringLiteral("%1/%2").arg(gNum).arg(groupCount)
             << runMode << "(Online0/Offline1/Pre2)";

    if (runMode != Offline) {
        formStatusBar->setSampleEnd();
        QueuedGroup queued;
        queued.group = runGroupOffset + gNum;
        queued.mode = runMode;
        queued.pointDir = runPointDir;
        queued.param = runParam;
        queued.discarded = runToken;
        downloadGroups.append(queued);
        getPointFiles(runParam.Pos.ID, runParam.CHSelect, gNum, queued.group);
        if (gNum < groupCount) {
            const st_GroupParam& next = runParam.Group[gNum];
            formStatusBar->setProgressBarTime(true, int(next.Duration), int(next.SampleRate));
            return;
        }
        emit sampleOver();
        curPointID = -1;
        QApplication::beep();
        return;
    }

    if (gNum < groupCount)
        return;
    emit sampleOver();
    curPointID = -1;
    QApplication::beep();
    showSnackbarMessage(tr("离线采集完成，可导出数据！"));
    formStatusBar->setSampleEnd();
    autoSetPointNum();
}

void MainWindow::getPointData(int pointID, int CHS, int gNum)
{
    getPointFiles(pointID, CHS, gNum, gNum);
}

void MainWindow::getPointFiles(int pointID, int CHS, int remoteGroup, int localGroup)
{
    const QString remote = remotePointFolder(formIndex->getProjectAbout().ProjectID, pointID);
    const QString local = projectDir + QLatin1Char('/') + QString::number(pointID);

    const int freeGB = freeDiskSpaceGB(projectDir);
    if (freeGB < LowDiskSpaceGB)
        showSnackbarMessage(tr("磁盘空间不足 %1 GB,请及时清理").arg(freeGB));

    if (remoteGroup >= 1) {
        for (int channel = 1; channel <= 6; ++channel) {
            if (CHS & (1 << (channel - 1)))
                ftp->download(remote + channelFileName(remoteGroup, channel),
                              local + channelFileName(localGroup, channel));
        }
        return;
    }

    // Every group of a stored point; only the files that are not here yet.
    const st_PointParam stored = formIndex->getPointParam(pointID);
    for (int group = 1; group <= stored.GroupNum; ++group) {
        for (int channel = 1; channel <= 6; ++channel) {
            if (!(CHS & (1 << (channel - 1))))
                continue;
            const QString file = channelFileName(group, channel);
            if (!QFile::exists(local + file))
                ftp->exportFile(remote + file, local + file);
        }
    }
}

void MainWindow::getPointData(int pointID, int CHS)
{
    getPointData(pointID, CHS, 0);
}

void MainWindow::onFtpFinished(int gNum)
{
    // The queue has run empty, so every file queued so far has been tried: each queued group
    // is done, also when a retried file of an earlier group came last (gNum is then that
    // earlier group, not the newest).
    const QList<QueuedGroup> batch = downloadGroups;
    downloadGroups.clear();
    if (!projectOpen) {
        qDebug() << "MainWindow" << "onFtpFinished" << gNum << "ignored: no project open";
        return;
    }

    const QueuedGroup* shown = nullptr;
    for (const QueuedGroup& queued : batch) {
        if (queued.discarded->load())
            continue;
        if (queued.mode != Pre)
            queueCalculation(CalcJob{queued.pointDir, queued.param, queued.group, queued.discarded});
        if (queued.pointDir.startsWith(projectDir + QLatin1Char('/')))
            shown = &queued;
    }
    if (!shown) {
        qDebug() << "MainWindow" << "onFtpFinished" << gNum << "no group of the open project to show";
        return;
    }

    formTSGraph->loadGroupFiles(shown->pointDir, shown->param.CHSelect, shown->group);
    if (shown->group > 1)
        ui->tbtnLastSampleGroup->show();
    if (shown->mode == Pre) {
        ui->stacked_Graph->setCurrentIndex(0);
        return;
    }
    ui->stacked_Graph->setCurrentIndex(1);
    ui->tbtnSwitchView->show();
}

void MainWindow::onSelectRate(int pointID, int CHSelect, int, int gNum)
{
    const bool ok = formTSGraph->loadGroupFiles(projectDir + QLatin1Char('/') + QString::number(pointID),
                                                uint8_t(CHSelect), gNum);
    qInfo() << "MainWindow" << "onSelectRate" << "ID" << pointID << "workStatus" << formStatusBar->getMachineState();
    if (ok) {
        ui->stacked_Graph->setCurrentIndex(0);
        return;
    }
    if (curPointID == pointID && formStatusBar->getMachineState() == 1) {
        // Being recorded now: its files come with the group reports.
        ui->stacked_Graph->setCurrentIndex(0);
        return;
    }
    if (!deviceOnline) {
        showMessageBox(QMessageBox::Information, tr("提示"), tr("暂未获取到采集数据\r\n请连接仪器后传输"),
                       QMessageBox::Ok);
        return;
    }
    if (showMessageBox(QMessageBox::Question, tr("提示"), tr("暂未获取到采集数据，是否从仪器传输?"),
                       QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::No)
        return;
    getPointData(pointID, CHSelect, 0);
    ui->stacked_Graph->setCurrentIndex(0);
}

void MainWindow::onSelectPoint(int pointID)
{
    const st_PointParam record = formIndex->getPointParam(pointID);
    queueCalculation(CalcJob{projectDir + QLatin1Char('/') + QString::number(pointID), record, 0, nullptr});
    ui->stacked_Graph->setCurrentIndex(1);
}

void MainWindow::queueCalculation(const CalcJob& job)
{
    calcJobs.append(job);
    startNextCalculation();
}

void MainWindow::startNextCalculation()
{
    if (calcWatcher.isRunning())
        return;
    // The calculation that ran has ended: a discarded run's files and tables go before the
    // next one starts, which may be of a run that was given the same point ID.
    finishDroppedRuns();
    if (calcJobs.isEmpty())
        return;
    const CalcJob job = calcJobs.takeFirst();
    if (job.discarded && job.discarded == runToken && runGroupOffset > 0 && !runTablesTaken) {
        // A same-point run merges into the point's tables: they are kept as they were
        // before its first group, after every calculation queued before it.
        runTablesBefore = {takeTableSnapshot(impedanceTablePath(job.pointDir, job.param)),
                           takeTableSnapshot(crossPowerTablePath(job.pointDir, job.param))};
        runTablesTaken = true;
    }
    calcWatcher.setFuture(QtConcurrent::run([this, job] {
        const QMap<int, QVector<OneFreqImpedance> > result = job.group > 0
                                                                 ? calcGroupData(job.pointDir, job.param, job.group)
                                                                 : calcPointData(job.pointDir, job.param);
        // The window waits for this task before it goes, so emitting from here is safe.
        if (!job.discarded || !job.discarded->load())
            emit newResData(result, job.param.CHMatch);
    }));
}

void MainWindow::stopDownloadsAndCalculations()
{
    if (runToken)
        runToken->store(true);
    runToken.reset();
    ftp->cancelAll();
    downloadGroups.clear();
    calcJobs.clear();
    calcWatcher.waitForFinished();
    finishDroppedRuns();
}
