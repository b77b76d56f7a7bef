#pragma once

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>

class MyComboBox;
class QComboBox;
class QGridLayout;
class QSpacerItem;

// The main window's form: app bar, tab bar, the three pages and the status bar.
class Ui_MainWindow
{
public:
    QWidget* centralwidget = nullptr;
    QVBoxLayout* centralLayout = nullptr;

    QWidget* appBar = nullptr;
    QHBoxLayout* appBarLayout = nullptr;
    QToolButton* labIco = nullptr;
    QLabel* labTitle = nullptr;
    QTabBar* tabBar = nullptr;
    QSpacerItem* appBarSpacer = nullptr;
    QToolButton* btnMenu_Min = nullptr;
    QToolButton* btnMenu_Max = nullptr;
    QToolButton* btnMenu_Close = nullptr;

    QStackedWidget* stackedWidget = nullptr;

    // Page 0: project management.
    QWidget* pageProjectManage = nullptr;
    QWidget* btnsProjectManage = nullptr;
    QToolButton* tbtnNewProject = nullptr;
    QToolButton* tbtnOpenProject = nullptr;
    QToolButton* tbtnCloseProject = nullptr;
    QToolButton* tbtnDiskManage = nullptr;
    QLabel* label_RecentProj = nullptr;
    QListWidget* recentProjList = nullptr;
    QLabel* label_Version = nullptr;
    QLabel* label_WebSite = nullptr;
    QLabel* label_BuildYear = nullptr;

    // Page 1: sampling.
    QWidget* pageSampleTask = nullptr;
    QHBoxLayout* SampleLayout = nullptr;
    QStackedWidget* stacked_Graph = nullptr;
    QWidget* Page1 = nullptr;
    QVBoxLayout* Page1Layout = nullptr;
    QWidget* widgetSampleBtns = nullptr;
    QVBoxLayout* sampleBtnsLayout = nullptr;
    QGridLayout* layout_BtnTop = nullptr;
    QSpacerItem* btnTopSpacer = nullptr;
    QLabel* label_LineNum = nullptr;
    QLineEdit* lineEdit_LineNum = nullptr;
    QLabel* label_PointNum = nullptr;
    QLineEdit* lineEdit_PointNum = nullptr;
    QToolButton* tbtnConnectNetwork = nullptr;
    QToolButton* tbtnDisconnectNetwork = nullptr;
    QToolButton* tbtnExportData = nullptr;
    QToolButton* tbtnSwitchView = nullptr;
    QToolButton* tbtnLastSampleGroup = nullptr;
    QGroupBox* groupBox_Sync = nullptr;
    MyComboBox* comboBox_SyncHour = nullptr;
    MyComboBox* comboBox_SyncMinute = nullptr;
    QToolButton* btn_Decrease = nullptr;
    QToolButton* btn_Increase = nullptr;
    QToolButton* tbtnPreSampleData = nullptr;
    QToolButton* tbtnStartSample = nullptr;
    QToolButton* tbtnStopSample = nullptr;
    QToolButton* tbtnSave = nullptr;
    QToolButton* tbtnCancelSave = nullptr;
    QToolButton* tbtnPowerOff = nullptr;

    QStatusBar* statusBar = nullptr;

    void setupUi(QMainWindow* mainWindow);
};
