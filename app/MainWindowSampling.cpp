#include "MainWindow.h"

#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_StatusBar.h"
#include "InstrumentClock.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "MessageBox.h"
#include "MyComboBox.h"
#include "OperatorMessages.h"
#include "PointCalculation.h"
#include "QtFTP.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>

// Starting, stopping, saving and cancelling a sampling run.

namespace {

// A trial records a few seconds per group, the fewer the faster the rate.
quint32 trialDuration(quint32 sampleRate)
{
    if (sampleRate > 3999)
        return 1;
    if (sampleRate >= 1000)
        return 3;
    if (sampleRate >= 500)
        return 5;
    return 10;
}

// Cooperative starts further ahead than this are questioned.
constexpr qint32 LongWaitSeconds = 600;
// The instrument needs this much time before a cooperative start.
constexpr qint32 MinLeadSeconds = 5;

} // namespace

void MainWindow::onStartSample(int mode)
{
    // The last trial's files still on their way would be written into the folder as it goes.
    if (projectOpen)
        cancelDownloadsInto(projectDir + QStringLiteral("/-1"));
    formIndex->removePreSampleDir();
    const int pointStep = formParam->lineEdit_PointStep->text().toInt();
    setSystemConfig(pointStep, formParam->getOnLineSelect(), formParam->getTaskParam(st_PointPos{}));

    const quint8 state = formStatusBar->getMachineState();
    if (state == 1) {
        showSnackbarMessage(tr("仪器忙请稍后再试！"));
        return;
    }
    if (state != 0) {
        showSnackbarMessage(tr("仪器出错请稍后再试！"));
        return;
    }
    // The buttons are hidden without a project; a run without one would have nowhere to go.
    if (!projectOpen) {
        qWarning() << "MainWindow" << "onStartSample" << "no project open: nothing sent";
        return;
    }

    const qint64 projID = formIndex->getProjectAbout().ProjectID;
    const int line = ui->lineEdit_LineNum->text().toInt();
    int point = ui->lineEdit_PointNum->text().toInt();

    int id = -1;
    bool newPoint = false;
    int groupOffset = 0;
    if (mode != Pre) {
        id = formIndex->findLastPointID(line, point);
        // A point whose last run could not be recorded keeps that run's files after its
        // recorded groups: a run of the same point would write over them.
        newPoint = id < 0 || formIndex->hasUnrecordedRun(id);
        if (!newPoint) {
            const st_PointParam task = formParam->getTaskParam(st_PointPos{projID, id, line, point, 0});
            const st_PointParam stored = formIndex->getPointParam(id);
            for (int k = MaxGroupNum; k >= 1 && groupOffset == 0; --k) {
                if (stored.Group[k - 1].SampleRate != 0)
                    groupOffset = k;
            }
            if (task.CHSelect != stored.CHSelect || task.CHMatch != stored.CHMatch) {
                newPoint = true;
            } else {
                const int answer = showMessageBox(
                    QMessageBox::Question, tr("提示"), tr("当前线已存在相同里程,是否创建新点？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Reset,
                    {{QMessageBox::Yes, tr("里程%1新点").arg(point)},
                     {QMessageBox::No, tr("同点采样")},
                     {QMessageBox::Reset, tr("下一里程%1").arg(point + pointStep)}});
                if (answer == QMessageBox::Yes) {
                    newPoint = true;
                } else if (answer == QMessageBox::Reset) {
                    newPoint = true;
                    autoSetPointNum();
                    point = ui->lineEdit_PointNum->text().toInt();
                }
                // No, or the box closed: the run adds groups to the existing point.
            }
        }
        if (newPoint) {
            groupOffset = 0;
            id = formIndex->getNextPointID();
            // No ID left below the largest int: the tree has said so; nothing is sent.
            if (id <= 0)
                return;
        }
    }

    // Built aside: a refused start leaves the run in progress, and its downloads, alone.
    st_PointParam param = formParam->getTaskParam(st_PointPos{projID, id, line, point, 0});
    for (int channel = ChannelHx; channel <= ChannelE2; ++channel) {
        const QString name = senseName(param, channel);
        if (isChannelSelected(param.CHSelect, channel) && (name.isEmpty() || name == QLatin1String("null"))) {
            showSnackbarMessage(tr("有通道已启用却未设置标定文件"));
            return;
        }
    }

    int runMode = mode;
    if (mode == Pre) {
        param.Pos.ID = -1;
        for (int g = 0; g < qMin(int(param.GroupNum), MaxGroupNum); ++g)
            param.Group[g].Duration = trialDuration(param.Group[g].SampleRate);
        param.StartTime = 0;
    } else if (!ui->groupBox_Sync->isChecked()) {
        param.StartTime = 0;
    } else {
        // The start is planned on the instrument's clock, today, to the minute.
        const QDateTime instrumentNow = QDateTime::currentDateTime().addSecs(TimeDiff.load() / 1000);
        const QDateTime start(instrumentNow.date(), QTime(ui->comboBox_SyncHour->currentText().toInt(),
                                                          ui->comboBox_SyncMinute->currentText().toInt(), 0));
        if (TimeSynced.load() == 0) {
            showMessageBox(QMessageBox::Question, tr("提示"), tr("未能满足协同采集的条件，请等待卫星锁定或取消协同采集"),
                           QMessageBox::Ok);
            return;
        }
        const qint32 lead = qint32(instrumentNow.secsTo(start));
        if (lead <= MinLeadSeconds) {
            showSnackbarMessage(tr("协同采集时间早于当前时间!请重新设置再进行操作！"));
            return;
        }
        if (lead > LongWaitSeconds
            && showMessageBox(QMessageBox::Question, tr("提示"),
                              tr("协同采集开始时间在%1分钟之后，是否重新设置？").arg(lead / 60),
                              QMessageBox::Yes | QMessageBox::No)
                   == QMessageBox::Yes)
            return;
        param.StartTime = quint64(start.toSecsSinceEpoch());
        runMode = Offline;
    }

    pointParam = param;
    curPointID = id;
    sampleMode = runMode;
    startGroupOffset = groupOffset;
    runProjectID = projID;
    startPending = true;
    runAcknowledged = false;
    runRecorded = false;
    runDiscarded = false;
    if (mode != Pre)
        finishDroppedRunsOf(id);
    // Point IDs are given again after a removal: a new point starts without results.
    if (newPoint)
        removeResultTables(id);
    libCom->SendSampleStart(pointParamToBytes(pointParam));
    qDebug() << "MainWindow" << "onStartSample" << "pointID" << id << "Line" << line << "Point" << point << "projID"
             << projID;
}

void MainWindow::onSlotSampleStarted()
{
    // A late acknowledge and the one of its resend both arrive: only the first starts the run.
    if (!startPending) {
        qDebug() << "MainWindow" << "onSlotSampleStarted" << "no start waiting: acknowledge ignored";
        return;
    }
    startPending = false;
    runAcknowledged = true;
    beginRunDownloads();
    if (sampleMode == Pre) {
        emit sampleStart_Pre();
    } else {
        if (runBelongsToOpenProject()) {
            int firstGroup = runGroupOffset + 1;
            runRecorded = formIndex->addPointData(pointParam, &firstGroup);
            runGroupOffset = firstGroup - 1;
            // The run goes on into the point's folder; the operator must know that the
            // project does not hold it (posted: this runs inside the link's receive pass).
            if (!runRecorded)
                postMessageBox(NoticeIcon::Critical, tr("错误"),
                               tr("工程文件写入失败，测点%1未记录到工程中！").arg(pointParam.Pos.ID));
        } else {
            qWarning() << "MainWindow" << "onSlotSampleStarted" << "the project of the run is closed: not recorded";
        }
        if (sampleMode == Offline)
            emit sampleStart_Off();
        else
            emit sampleStart();
    }
    if (sampleMode == Offline)
        formStatusBar->setProgressBarTime(false, 0, 0);
    else
        formStatusBar->setProgressBarTime(true, int(pointParam.Group[0].Duration), int(pointParam.Group[0].SampleRate));
}

void MainWindow::onStopSample()
{
    // Only asks the instrument: what follows comes with its stop report.
    if (showMessageBox(QMessageBox::Question, tr("温馨提示"), tr("请确认是否要停止采集?"),
                       QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes)
        libCom->SendSampleStop();
}

void MainWindow::onSlotSampleStopped()
{
    // Only a recording that this window made, of a run still going, in the project that is
    // open, is taken out again; any other stop report leaves the project as it is.
    const bool recording = runRecorded && sampleMode != Pre && curPointID >= 0 && runBelongsToOpenProject();
    if (recording)
        discardRun(true);
    else
        qDebug() << "MainWindow" << "onSlotSampleStopped" << "no recording of this window to remove";
    startPending = false;
    runAcknowledged = false;
    curPointID = -1;
    formStatusBar->setProgressBarTime(false, 0, 0);
    emit sampleStoped();
}

void MainWindow::onSaveData()
{
    runRecorded = false;  // kept: nothing of it is undone any more
    autoSetPointNum();
    formStatusBar->setProgressBarTime(false, 0, 0);
}

void MainWindow::onCancelSave()
{
    discardRun(runRecorded && sampleMode != Pre && runBelongsToOpenProject());
    libCom->SendCancelSave();
    formStatusBar->setProgressBarTime(false, 0, 0);
}

void MainWindow::autoSetPointNum()
{
    const int step = formParam->lineEdit_PointStep->text().toInt();
    ui->lineEdit_PointNum->setText(QString::number(ui->lineEdit_PointNum->text().toInt() + step));
}

bool MainWindow::runBelongsToOpenProject() const
{
    return projectOpen && formIndex->getProjectAbout().ProjectID == runProjectID;
}

void MainWindow::discardRun(bool removeRecord)
{
    // The downloads go first, so that no file of the run lands after its folder is gone.
    runDiscarded = true;
    runAcknowledged = false;
    discardRunDownloads();
    QStringList files;
    if (removeRecord && formIndex->removeData(pointParam, &files))
        dropDiscardedRun(files);
    runRecorded = false;
}

void MainWindow::removeResultTables(int pointID)
{
    if (projectDir.isEmpty() || pointID < 0)
        return;
    st_PointParam point = pointParam;
    point.Pos.ID = pointID;
    const QString pointDir = projectDir + QLatin1Char('/') + QString::number(pointID);
    for (const QString& path : {impedanceTablePath(pointDir, point), crossPowerTablePath(pointDir, point)}) {
        if (QFile::exists(path) && !QFile::remove(path))
            qWarning() << "MainWindow" << "removeResultTables" << "could not delete" << path;
    }
}
