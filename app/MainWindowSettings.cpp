#include "MainWindow.h"

#include "AppConstants.h"
#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "Dialog_NewProj.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "FreeDiskSpace.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "ModalAnswers.h"
#include "OperatorMessages.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSettings>
#include <QTimer>

#include <cmath>

// "systemConfig.ini", the recent-project list and opening and closing projects.

namespace {

const QString DefaultInstrumentIP = QStringLiteral("192.168.0.28");
constexpr quint16 DefaultInstrumentPort = 8010;
constexpr int DefaultPointStep = 10;
// The point step editor of the task form takes -200..200.
constexpr int MaxPointStep = 200;
constexpr int DefaultSegCnt = 30;
constexpr int MaxRecentProjects = 9;
// Keys "List1".."List10" are read; older versions kept up to ten.
constexpr int RecentKeysRead = 10;
// Below this many GB free the operator is warned when a project is opened.
constexpr int LowDiskSpaceGB = 5;

const QString CHMatchNote = QStringLiteral(
    "通道匹配,转换为二进制,6:Hz,5-4:E2,3-2:E1,1-0:E0;Hz:0关,1开; E:00关,01匹配Hx,10匹配Hy");
const QString CHSelectNote = QStringLiteral("通道选择,转换为二进制,[5-0]E3,E2,E1,Hz,Hy,Hx");

QString systemConfigPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/systemConfig.ini");
}

// A hand-edited file may hold anything: only what the record can mean survives.
quint16 gainStepOrOne(int gain)
{
    return GainList.contains(gain) ? quint16(gain) : quint16(1);
}

quint8 knownChannelSelect(uint mask)
{
    return quint8(mask & 0x3F);
}

// Bits 0-5 pair E0..E2 (0 none, 1 Hx, 2 Hy), bit 6 is Hz; a pairing of 3 means nothing.
quint8 knownChannelMatch(uint mask)
{
    quint8 match = quint8(mask & 0x40);
    for (int electric = 0; electric < 3; ++electric) {
        const uint partner = (mask >> (2 * electric)) & 3;
        if (partner != 3)
            match |= quint8(partner << (2 * electric));
    }
    return match;
}

} // namespace

void MainWindow::readSystemConfig()
{
    QMutexLocker locker(&settingsMutex);
    if (!settings) {
        settings = new QSettings(systemConfigPath(), QSettings::IniFormat, this);
        settings->setIniCodec("UTF-8");
    }
    recentProject_Load();

    // Without a file these are the defaults; the address is only used when the operator
    // presses connect, nothing connects here.
    settings->beginGroup(QStringLiteral("SystemConfig"));
    hostAddr.ip = settings->value(QStringLiteral("IP"), DefaultInstrumentIP).toString();
    bool portOk = false;
    const uint port = settings->value(QStringLiteral("Port"), DefaultInstrumentPort).toUInt(&portOk);
    hostAddr.port = (portOk && port > 0 && port <= 0xFFFF) ? quint16(port) : DefaultInstrumentPort;
    const int pointStep = settings->value(QStringLiteral("PointStep"), DefaultPointStep).toInt();
    formParam->lineEdit_PointStep->setText(QString::number(qBound(-MaxPointStep, pointStep, MaxPointStep)));
    sampleMode = qBound(int(Online), settings->value(QStringLiteral("OnLineSelect"), int(Online)).toInt(), int(Offline));
    formParam->setOnLineSelect(sampleMode);
    settings->endGroup();

    st_PointParam param = defaultPointParam();
    QStringList names;
    settings->beginGroup(QStringLiteral("TaskParam"));
    param.CHMatch = knownChannelMatch(settings->value(QStringLiteral("CHMatch"), 6).toUInt());
    param.GroupNum = quint8(qBound(0, settings->value(QStringLiteral("GroupNum"), 0).toInt(), MaxGroupNum));
    param.CHSelect = knownChannelSelect(settings->value(QStringLiteral("CHSelect"), 27).toUInt());
    param.PoleType = settings->value(QStringLiteral("PoleType"), 0).toInt() == 1 ? 1 : 0;
    for (int channel = 1; channel <= 6; ++channel) {
        const QString name = settings->value(QStringLiteral("CH%1Sense").arg(channel), QStringLiteral("null")).toString();
        copySenseName(param, channel, name);
        names << name;
    }
    param.E0PoleD = quint16(qBound(0, settings->value(QStringLiteral("E0PoleD"), 20).toInt(), 0xFFFF));
    param.E1PoleD = quint16(qBound(0, settings->value(QStringLiteral("E1PoleD"), 20).toInt(), 0xFFFF));
    param.E2PoleD = quint16(qBound(0, settings->value(QStringLiteral("E2PoleD"), 20).toInt(), 0xFFFF));
    settings->endGroup();

    for (int k = 1; k <= param.GroupNum; ++k) {
        settings->beginGroup(QStringLiteral("Group%1").arg(k));
        const int rate = settings->value(QStringLiteral("SampleRate"), 0).toInt();
        const int segCnt = qBound(MinSegmentCount, settings->value(QStringLiteral("SegCnt"), DefaultSegCnt).toInt(),
                                  MaxSegmentCount);
        param.Group[k - 1] = makeGroupParam(quint32(qMax(rate, 0)), quint16(segCnt),
                                            gainStepOrOne(settings->value(QStringLiteral("HGain"), 0).toInt()),
                                            gainStepOrOne(settings->value(QStringLiteral("EGain"), 0).toInt()));
        settings->endGroup();
    }

    formParam->setInputSense(names);
    // A file without a first group keeps the form's own default task.
    if (param.Group[0].SampleRate != 0)
        formParam->setTaskParam(param);
}

void MainWindow::setSystemConfig(int pointStep, int mode, st_PointParam param)
{
    recentProject_Store();
    QMutexLocker locker(&settingsMutex);
    if (!settings)
        return;

    settings->beginGroup(QStringLiteral("SystemConfig"));
    settings->setValue(QStringLiteral("IP"), hostAddr.ip);
    settings->setValue(QStringLiteral("Port"), uint(hostAddr.port));
    settings->setValue(QStringLiteral("PointStep"), pointStep);
    settings->setValue(QStringLiteral("OnLineSelect"), mode);
    settings->endGroup();

    const int groupNum = qMin(int(param.GroupNum), MaxGroupNum);
    settings->beginGroup(QStringLiteral("TaskParam"));
    settings->setValue(QStringLiteral("CHMatch"), int(param.CHMatch));
    settings->setValue(QStringLiteral("CHMatch_note"), CHMatchNote);
    settings->setValue(QStringLiteral("GroupNum"), groupNum);
    settings->setValue(QStringLiteral("CHSelect"), uint(param.CHSelect));
    settings->setValue(QStringLiteral("CHSelect_note"), CHSelectNote);
    settings->setValue(QStringLiteral("PoleType"), int(param.PoleType));
    for (int channel = 1; channel <= 6; ++channel)
        settings->setValue(QStringLiteral("CH%1Sense").arg(channel), senseName(param, channel));
    settings->setValue(QStringLiteral("E0PoleD"), int(param.E0PoleD));
    settings->setValue(QStringLiteral("E1PoleD"), int(param.E1PoleD));
    settings->setValue(QStringLiteral("E2PoleD"), int(param.E2PoleD));
    settings->endGroup();

    // Groups of an earlier, longer task must not survive.
    const QStringList groups = settings->childGroups();
    for (const QString& group : groups) {
        if (group.contains(QStringLiteral("Group")))
            settings->remove(group);
    }
    for (int k = 1; k <= groupNum; ++k) {
        const st_GroupParam& g = param.Group[k - 1];
        settings->beginGroup(QStringLiteral("Group%1").arg(k));
        settings->setValue(QStringLiteral("SampleRate"), uint(g.SampleRate));
        settings->setValue(QStringLiteral("SegCnt"), int(g.SegCnt));
        settings->setValue(QStringLiteral("HGain"), int(g.HGain));
        settings->setValue(QStringLiteral("EGain"), int(g.EGain));
        settings->endGroup();
    }

    // The file itself is written on the next turn of the event loop.
    QTimer::singleShot(0, this, [this] { syncSettings(); });
}

void MainWindow::syncSettings()
{
    QMutexLocker locker(&settingsMutex);
    if (!settings)
        return;
    settings->sync();
    // QSettings keeps its first error, so only the first failure can be told apart; the
    // operator hears of it once, not at every page switch.
    if (settings->status() != QSettings::AccessError || settingsWriteFailed)
        return;
    settingsWriteFailed = true;
    const QString path = QDir::toNativeSeparators(settings->fileName());
    qWarning() << "MainWindow" << "syncSettings" << "cannot write" << path;
    showSnackbarMessage(tr("设置文件 %1 写入失败，参数未能保存！").arg(path));
}

void MainWindow::recentProject_Load()
{
    QMutexLocker locker(&settingsMutex);
    if (!settings)
        return;
    settings->beginGroup(QStringLiteral("ProjList"));
    for (int i = 1; i <= RecentKeysRead; ++i) {
        const QString path = settings->value(QStringLiteral("List%1").arg(i)).toString();
        if (!path.isEmpty() && QFileInfo::exists(path))
            recentList.append(path);
    }
    settings->endGroup();
    recentList.removeDuplicates();
    // A stale tenth key from an older file must not make the list longer than it may be.
    while (recentList.size() > MaxRecentProjects)
        recentList.removeLast();

    ui->recentProjList->clear();
    ui->recentProjList->addItems(recentList);
}

void MainWindow::recentProject_Store()
{
    QMutexLocker locker(&settingsMutex);
    if (!settings)
        return;
    settings->beginGroup(QStringLiteral("ProjList"));
    // Keys beyond the list would come back on the next load: the group holds the list only.
    settings->remove(QString());
    for (int i = 0; i < recentList.size(); ++i) {
        const QString& path = recentList.at(i);
        settings->setValue(QStringLiteral("List%1").arg(i + 1), QFileInfo::exists(path) ? path : QString());
    }
    settings->endGroup();
}

void MainWindow::recentProject_Add(QString path)
{
    QMutexLocker locker(&settingsMutex);
    recentList.removeAll(path);
    while (recentList.size() > MaxRecentProjects - 1)
        recentList.removeLast();
    recentList.prepend(path);
    recentProject_Store();
    recentProject_Load();
}

void MainWindow::openProjectAction(QString path)
{
    projectDir = QFileInfo(path).path();
    qDebug() << "MainWindow" << "openProjectAction" << projectDir;

    const int freeGB = freeDiskSpaceGB(projectDir);
    if (freeGB < LowDiskSpaceGB)
        showSnackbarMessage(tr("磁盘空间不足 %1 GB,请及时清理").arg(freeGB));

    if (!formIndex->openProject(path))
        return;

    const st_ProjectAbout about = formIndex->getProjectAbout();
    showSnackbarMessage(tr("工程 %1 已打开\n磁盘剩余空间 %2 GB").arg(charFieldText(about.ProjectName)).arg(freeGB));
    dialogExport->setProj(projectDir, about.ProjectID, path);
    dialogDiskManage->setCurProjID(about.ProjectID);
    // The editors show the newest point of this project (0 and 0 when it has none).
    const QPair<int, int> lastLinePoint = formIndex->getLastLinePoint();
    ui->lineEdit_LineNum->setText(QString::number(lastLinePoint.first));
    ui->lineEdit_PointNum->setText(QString::number(lastLinePoint.second));
    autoSetPointNum();
    ui->tabBar->setCurrentIndex(1);
    if (deviceOnline)
        libCom->SendConfigProj(projectAboutToBytes(about));
    recentProject_Add(path);
    emit projOpened();
    projectOpen = true;
    setAcceptDrops(false);
}

void MainWindow::onSlotNewProjecClick()
{
    if (projectOpen) {
        showSnackbarMessage(tr("工程已经打开了！请关闭后再新建工程！"));
        return;
    }
    dialogNewProj->showUp();
}

void MainWindow::onSlotOpenProjectClick()
{
    if (projectOpen) {
        showSnackbarMessage(tr("工程已经打开了！请关闭后再打开！"));
        return;
    }
    // One level above the newest project's folder, so its neighbours are in view.
    const QString startDir = recentList.isEmpty()
        ? QDir::currentPath()
        : QFileInfo(QFileInfo(recentList.first()).absolutePath()).absolutePath();
    const QString path = askOpenFileName(this, tr("打开工程"), startDir, tr("Varn工程 (*.EAT *.json)"));
    if (!path.isEmpty())
        openProjectAction(path);
}

void MainWindow::onSlotCloseProjectClick()
{
    if (!projectOpen) {
        showSnackbarMessage(tr("未打开任何工程，不需要关闭工程！"));
        return;
    }
    projectOpen = false;
    projectDir.clear();
    dialogDiskManage->setCurProjID(NoProjectID);
    // The export dialog must not go on fetching into the closed project's folder.
    dialogExport->setProj(QString(), NoProjectID, QString());
    showSnackbarMessage(tr("工程已经关闭"));
    formIndex->clear();
    setAcceptDrops(true);
}
