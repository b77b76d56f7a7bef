#pragma once

#include "ComDevice.h"
#include "MTEstimates.h"
#include "PointParam.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <memory>

class Dialog_DiskManage;
class Dialog_Export;
class Dialog_NewProj;
class Form_Index;
class Form_Param;
class Form_ResGraph;
class Form_StatusBar;
class Form_TSGraph;
class LibCom;
class QtFTP;
class QSettings;
class QStateMachine;
class Ui_MainWindow;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QToolButton;

// The one top-level window: a frameless frame with app bar, tab bar, pages and status bar.
// One class over several files, a file per concern: MainWindow.cpp (frame), MainWindowControls.cpp,
// MainWindowStates.cpp, MainWindowSettings.cpp, MainWindowConnection.cpp, MainWindowSampling.cpp,
// MainWindowDownloads.cpp and MainWindowWiring.cpp.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    // The end-to-end test of the instrument road reads the run state it checks.
    friend class TestInstrumentRoad;

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

signals:
    void projOpened();
    void statusBusy();
    void statusIdle();
    void sampleOver();
    void sampleStart();
    void sampleStart_Off();
    void sampleStart_Pre();
    void sampleStoped();
    void newResData(QMap<int, QVector<OneFreqImpedance> > results, uint8_t CHMatch);

public slots:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void initForm();
    void setIconBtn(QToolButton* button);
    void initProjManage();
    void initSystemConf();
    void initSampleTask();
    void initSync();
    void initStyle();
    void mobileUI();
    void onClickBtnClose();
    void updateMaximizeButton(bool maximized);
    void setStateMachine();
    void onStartSample(int mode);
    void onCancelSave();
    void onSaveData();
    void autoSetPointNum();
    void connnectNetwork();
    void onSlotNetWorkConnected();
    void onSlotSystemInfo(char* Info);
    void onSlotProjectConfiged();
    void onSlotSampleStarted();
    void onSlotSampleStopped();
    void onSlotMachineStatus(char* Info);
    void onSlotRequestTransormData(int gNum);
    void onSlotDeviceErrorFlagClear();
    void onSlotSDCardFormatSucceed();
    void onSelectPoint(int pointID);
    void onSelectRate(int pointID, int CHSelect, int CHMatch, int gNum);
    void getPointData(int pointID, int CHS, int gNum);
    void getPointData(int pointID, int CHS);
    void onFtpFinished(int gNum);
    void setNetConnectStatus(bool connected);
    void onSlotNewProjecClick();
    void onSlotOpenProjectClick();
    void onSlotCloseProjectClick();
    void openProjectAction(QString path);
    void setSystemConfig(int pointStep, int mode, st_PointParam param);
    void readSystemConfig();
    void recentProject_Add(QString path);
    void recentProject_Load();
    void recentProject_Store();

private:
    // Handlers the tables name without a slot name.
    void onStopSample();
    void onNetWorkClosed();
    void onAdjustTimeOver();
    void onMsgSendFail(const QString& msgName);
    // The service connection table, the page switch and the other wiring of the constructor.
    void connectServices();

    Ui_MainWindow* ui;
    Form_Index* formIndex = nullptr;
    Form_StatusBar* formStatusBar = nullptr;
    Form_TSGraph* formTSGraph = nullptr;
    Form_ResGraph* formResGraph = nullptr;
    Dialog_NewProj* dialogNewProj = nullptr;
    Dialog_Export* dialogExport = nullptr;
    Dialog_DiskManage* dialogDiskManage = nullptr;
    QRecursiveMutex settingsMutex;
    int sampleMode = Online;
    QSettings* settings = nullptr;
    bool deviceOnline = false;
    bool projectOpen = false;
    QString projectDir;
    QtFTP* ftp = nullptr;
    st_HostAddr hostAddr;
    st_PointParam pointParam;
    qint32 curPointID = -1;
    QStringList recentList;
    LibCom* libCom = nullptr;
    Form_Param* formParam = nullptr;
    QStateMachine* stateMachine = nullptr;

    // Sampling run state, set by the sampling handlers and read by the download road.
    // The run is the one pointParam describes; curPointID is its point ID while it records.
    bool startPending = false;     // SampleStart sent, its acknowledge not yet taken
    bool runAcknowledged = false;  // the instrument acknowledged the run: its group events count
    bool runRecorded = false;      // this window's addPointData of the run succeeded
    bool runDiscarded = false;     // stopped or cancelled: finished downloads of the run are ignored
    qint64 runProjectID = NoProjectID;  // project the run was started in
    // A same-point run stores, shows and calculates its group g as the point's group n + g,
    // n being the point's last group before the run (0 for a new point). startGroupOffset
    // is n as the start read it; runGroupOffset the n of the acknowledged run.
    int startGroupOffset = 0;
    int runGroupOffset = 0;
    // A discarded run has its downloads cancelled (QtFTP::cancelUnder its point folder) before
    // its record and folder go; the download road ignores a finished() while runDiscarded is
    // set, and group events while runAcknowledged is not.

    // Connection and sampling helpers.
    void onConnectFailed(const QString& reason);  // for Com::ComConnectFailed
    bool runBelongsToOpenProject() const;
    // Cancels the run's downloads and marks it discarded; with removeRecord also takes its
    // recording out of the project and puts the point's result tables back as they were
    // before the run (none for a new point).
    void discardRun(bool removeRecord);
    void removeResultTables(int pointID);
    friend class TestSampling;

    // --- Downloads and calculations (MainWindowDownloads.cpp) ---
    // The sampling side tells the download road about runs. beginRunDownloads: this
    // window's SampleStart was acknowledged (onSlotSampleStarted); the run's group reports
    // count from now on. discardRunDownloads (discardRun): the run is stopped or cancelled;
    // its queued downloads and calculations go, the transfer in progress is aborted, a late
    // finished of it is ignored; a calculation of it that is running goes on (nothing waits
    // for it inside the link's receive pass), see dropDiscardedRun.
    void beginRunDownloads();
    void discardRunDownloads();
    // Cancels the downloads into pointDir (and below), the transfer in progress only when it
    // is one of them, and forgets the groups queued for it; other downloads go on.
    void cancelDownloadsInto(const QString& pointDir);
    // getPointData, with the instrument's group remoteGroup stored as localGroup (a run's
    // group g is the point's group n + g).
    void getPointFiles(int pointID, int CHS, int remoteGroup, int localGroup);
    // A result table as it was; put back by writing the bytes again, or by removing it.
    struct TableSnapshot
    {
        QString path;
        bool existed = false;
        QByteArray bytes;
    };
    static TableSnapshot takeTableSnapshot(const QString& path);
    // After the discarded run's record is gone: its files (given by removeData) are deleted
    // and the point's tables go back to what they held before the run (none for a new
    // point, the snapshot for a same-point run). At once when no calculation runs, else as
    // soon as the running one, which may read those files and write those tables, has
    // ended (before the next one starts).
    void dropDiscardedRun(const QStringList& files);
    void finishDroppedRuns();
    // A run about to start in this point's folder must not get its files deleted later.
    void finishDroppedRunsOf(int pointID);
    // One group of a run whose channel files are queued and not yet calculated.
    struct QueuedGroup
    {
        int group = 0;
        int mode = Online;
        QString pointDir;
        st_PointParam param;
        std::shared_ptr<std::atomic_bool> discarded;
    };
    // One calculation: a group merged into its point's table, or (group 0) a whole point.
    struct CalcJob
    {
        QString pointDir;
        st_PointParam param;
        int group = 0;
        std::shared_ptr<std::atomic_bool> discarded;
    };
    void queueCalculation(const CalcJob& job);
    void startNextCalculation();
    void stopDownloadsAndCalculations();

    // The acknowledged run's mark, shared with its queued downloads and calculations: set
    // when the run is discarded. Null before the first run.
    std::shared_ptr<std::atomic_bool> runToken;
    st_PointParam runParam;
    QString runPointDir;
    int runMode = Online;
    QList<int> runReportedGroups;
    QList<QueuedGroup> downloadGroups;
    // The window's calculations run one at a time, in the order they were asked for, so
    // that a point's groups are merged and shown in group order.
    QList<CalcJob> calcJobs;
    QFutureWatcher<void> calcWatcher;
    // A same-point run's point tables, taken before its first calculation starts.
    QList<TableSnapshot> runTablesBefore;
    bool runTablesTaken = false;
    // Tables to put back and files to delete once the calculation running now has ended.
    QList<TableSnapshot> tablesToPutBack;
    QStringList filesToDelete;

    // --- Wiring (MainWindowWiring.cpp) ---
    void switchPage(int index);
    void saveSettingsNow();
    void syncSettings();  // writes "systemConfig.ini"; the first failure is logged and shown
    bool settingsWriteFailed = false;
};
