#pragma once

#include "ComDevice.h"
#include "MTEstimates.h"
#include "PointParam.h"

#include <QMainWindow>
#include <QMap>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

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
};
