#include "MainWindowUi.h"

#include "MyComboBox.h"

#include <QGridLayout>
#include <QSpacerItem>

namespace {

QToolButton* makeToolButton(QWidget* parent, const char* objectName, const QString& text)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setText(text);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

// The text is the button's state as a glyph of a Windows symbol font; Linux has no such font,
// so an icon shows it.
QToolButton* makeWindowButton(QWidget* parent, const char* objectName, const QString& glyph, const QString& icon)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setText(glyph);
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow* mainWindow)
{
    mainWindow->setObjectName(QStringLiteral("MainWindow"));
    mainWindow->resize(1200, 680);
    mainWindow->setMinimumSize(1024, 650);

    centralwidget = new QWidget(mainWindow);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    centralLayout = new QVBoxLayout(centralwidget);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);

    // App bar: logo, title, tabs and the three window buttons.
    appBar = new QWidget(centralwidget);
    appBar->setObjectName(QStringLiteral("appBar"));
    appBarLayout = new QHBoxLayout(appBar);
    appBarLayout->setContentsMargins(6, 0, 0, 0);
    labIco = new QToolButton(appBar);
    labIco->setObjectName(QStringLiteral("labIco"));
    labIco->setFocusPolicy(Qt::NoFocus);
    labTitle = new QLabel(QStringLiteral("Varn-28采集系统"), appBar);
    labTitle->setObjectName(QStringLiteral("labTitle"));
    tabBar = new QTabBar(appBar);
    tabBar->setObjectName(QStringLiteral("tabBar"));
    tabBar->setDrawBase(false);
    appBarSpacer = new QSpacerItem(20, 10, QSizePolicy::Expanding, QSizePolicy::Minimum);
    btnMenu_Min = makeWindowButton(appBar, "btnMenu_Min", QStringLiteral("0"), QStringLiteral(":/Icon/window_minimize.svg"));
    btnMenu_Max = makeWindowButton(appBar, "btnMenu_Max", QStringLiteral("1"), QStringLiteral(":/Icon/window_maximize.svg"));
    btnMenu_Close = makeWindowButton(appBar, "btnMenu_Close", QStringLiteral("r"), QStringLiteral(":/Icon/window_close.svg"));
    appBarLayout->addWidget(labIco);
    appBarLayout->addWidget(labTitle);
    appBarLayout->addSpacing(24);
    appBarLayout->addWidget(tabBar, 0, Qt::AlignBottom);
    appBarLayout->addItem(appBarSpacer);
    appBarLayout->addWidget(btnMenu_Min, 0, Qt::AlignTop);
    appBarLayout->addWidget(btnMenu_Max, 0, Qt::AlignTop);
    appBarLayout->addWidget(btnMenu_Close, 0, Qt::AlignTop);
    centralLayout->addWidget(appBar);

    stackedWidget = new QStackedWidget(centralwidget);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    centralLayout->addWidget(stackedWidget, 1);

    // Page 0: project buttons on the left, the recent list on the right.
    pageProjectManage = new QWidget();
    pageProjectManage->setObjectName(QStringLiteral("pageProjectManage"));
    auto* projectLayout = new QHBoxLayout(pageProjectManage);
    btnsProjectManage = new QWidget(pageProjectManage);
    btnsProjectManage->setObjectName(QStringLiteral("btnsProjectManage"));
    auto* projectBtnsLayout = new QVBoxLayout(btnsProjectManage);
    tbtnNewProject = makeToolButton(btnsProjectManage, "tbtnNewProject", QStringLiteral("新建工程"));
    tbtnOpenProject = makeToolButton(btnsProjectManage, "tbtnOpenProject", QStringLiteral("打开工程"));
    tbtnCloseProject = makeToolButton(btnsProjectManage, "tbtnCloseProject", QStringLiteral("关闭工程"));
    tbtnDiskManage = makeToolButton(btnsProjectManage, "tbtnDiskManage", QStringLiteral("内存管理"));
    projectBtnsLayout->addWidget(tbtnNewProject);
    projectBtnsLayout->addWidget(tbtnOpenProject);
    projectBtnsLayout->addWidget(tbtnCloseProject);
    projectBtnsLayout->addWidget(tbtnDiskManage);
    projectBtnsLayout->addStretch(1);
    projectLayout->addWidget(btnsProjectManage);
    auto* recentLayout = new QVBoxLayout();
    label_RecentProj = new QLabel(QStringLiteral("最近打开的工程："), pageProjectManage);
    label_RecentProj->setObjectName(QStringLiteral("label_RecentProj"));
    recentProjList = new QListWidget(pageProjectManage);
    recentProjList->setObjectName(QStringLiteral("recentProjList"));
    label_Version = new QLabel(pageProjectManage);
    label_Version->setObjectName(QStringLiteral("label_Version"));
    label_WebSite = new QLabel(pageProjectManage);
    label_WebSite->setObjectName(QStringLiteral("label_WebSite"));
    label_BuildYear = new QLabel(pageProjectManage);
    label_BuildYear->setObjectName(QStringLiteral("label_BuildYear"));
    auto* versionRow = new QHBoxLayout();
    versionRow->addWidget(label_Version);
    versionRow->addStretch(1);
    versionRow->addWidget(label_WebSite);
    versionRow->addWidget(label_BuildYear);
    recentLayout->addWidget(label_RecentProj);
    recentLayout->addWidget(recentProjList, 1);
    recentLayout->addLayout(versionRow);
    projectLayout->addLayout(recentLayout, 1);
    stackedWidget->addWidget(pageProjectManage);

    // Page 1: project tree (inserted at 0 later), graph stack, sampling buttons.
    pageSampleTask = new QWidget();
    pageSampleTask->setObjectName(QStringLiteral("pageSampleTask"));
    SampleLayout = new QHBoxLayout(pageSampleTask);
    SampleLayout->setObjectName(QStringLiteral("SampleLayout"));
    SampleLayout->setContentsMargins(4, 4, 4, 4);
    stacked_Graph = new QStackedWidget(pageSampleTask);
    stacked_Graph->setObjectName(QStringLiteral("stacked_Graph"));
    Page1 = new QWidget();
    Page1->setObjectName(QStringLiteral("Page1"));
    Page1Layout = new QVBoxLayout(Page1);
    Page1Layout->setContentsMargins(0, 0, 0, 0);
    stacked_Graph->addWidget(Page1);
    SampleLayout->addWidget(stacked_Graph, 1);

    widgetSampleBtns = new QWidget(pageSampleTask);
    widgetSampleBtns->setObjectName(QStringLiteral("widgetSampleBtns"));
    sampleBtnsLayout = new QVBoxLayout(widgetSampleBtns);
    sampleBtnsLayout->setContentsMargins(0, 0, 0, 0);
    layout_BtnTop = new QGridLayout();
    layout_BtnTop->setObjectName(QStringLiteral("layout_BtnTop"));
    label_LineNum = new QLabel(QStringLiteral("线号"), widgetSampleBtns);
    label_LineNum->setObjectName(QStringLiteral("label_LineNum"));
    lineEdit_LineNum = new QLineEdit(widgetSampleBtns);
    lineEdit_LineNum->setObjectName(QStringLiteral("lineEdit_LineNum"));
    label_PointNum = new QLabel(QStringLiteral("里程"), widgetSampleBtns);
    label_PointNum->setObjectName(QStringLiteral("label_PointNum"));
    lineEdit_PointNum = new QLineEdit(widgetSampleBtns);
    lineEdit_PointNum->setObjectName(QStringLiteral("lineEdit_PointNum"));
    btnTopSpacer = new QSpacerItem(10, 10, QSizePolicy::Minimum, QSizePolicy::Fixed);
    layout_BtnTop->addItem(btnTopSpacer, 0, 0, 1, 2);
    layout_BtnTop->addWidget(label_LineNum, 1, 0);
    layout_BtnTop->addWidget(lineEdit_LineNum, 1, 1);
    layout_BtnTop->addWidget(label_PointNum, 2, 0);
    layout_BtnTop->addWidget(lineEdit_PointNum, 2, 1);
    sampleBtnsLayout->addLayout(layout_BtnTop);

    tbtnConnectNetwork = makeToolButton(widgetSampleBtns, "tbtnConnectNetwork", QStringLiteral("网络连接"));
    tbtnDisconnectNetwork = makeToolButton(widgetSampleBtns, "tbtnDisconnectNetwork", QStringLiteral("网络断开"));
    tbtnExportData = makeToolButton(widgetSampleBtns, "tbtnExportData", QStringLiteral("数据导出"));
    tbtnSwitchView = makeToolButton(widgetSampleBtns, "tbtnSwitchView", QStringLiteral("阻抗图"));
    tbtnLastSampleGroup = makeToolButton(widgetSampleBtns, "tbtnLastSampleGroup", QStringLiteral("切换频率"));
    for (QToolButton* button : {tbtnConnectNetwork, tbtnDisconnectNetwork, tbtnExportData, tbtnSwitchView,
                                tbtnLastSampleGroup})
        sampleBtnsLayout->addWidget(button);

    groupBox_Sync = new QGroupBox(QStringLiteral("协同采集"), widgetSampleBtns);
    groupBox_Sync->setObjectName(QStringLiteral("groupBox_Sync"));
    groupBox_Sync->setCheckable(true);
    groupBox_Sync->setChecked(false);
    auto* syncLayout = new QGridLayout(groupBox_Sync);
    comboBox_SyncHour = new MyComboBox(groupBox_Sync);
    comboBox_SyncHour->setObjectName(QStringLiteral("comboBox_SyncHour"));
    comboBox_SyncMinute = new MyComboBox(groupBox_Sync);
    comboBox_SyncMinute->setObjectName(QStringLiteral("comboBox_SyncMinute"));
    btn_Decrease = new QToolButton(groupBox_Sync);
    btn_Decrease->setObjectName(QStringLiteral("btn_Decrease"));
    btn_Decrease->setText(QStringLiteral("-"));
    btn_Increase = new QToolButton(groupBox_Sync);
    btn_Increase->setObjectName(QStringLiteral("btn_Increase"));
    btn_Increase->setText(QStringLiteral("+"));
    syncLayout->addWidget(comboBox_SyncHour, 0, 0);
    syncLayout->addWidget(comboBox_SyncMinute, 0, 1);
    syncLayout->addWidget(btn_Decrease, 1, 0);
    syncLayout->addWidget(btn_Increase, 1, 1);
    sampleBtnsLayout->addWidget(groupBox_Sync);

    tbtnPreSampleData = makeToolButton(widgetSampleBtns, "tbtnPreSampleData", QStringLiteral("试采数据"));
    tbtnStartSample = makeToolButton(widgetSampleBtns, "tbtnStartSample", QStringLiteral("开始采集"));
    tbtnStopSample = makeToolButton(widgetSampleBtns, "tbtnStopSample", QStringLiteral("停止采集"));
    tbtnSave = makeToolButton(widgetSampleBtns, "tbtnSave", QStringLiteral("保存"));
    tbtnCancelSave = makeToolButton(widgetSampleBtns, "tbtnCancelSave", QStringLiteral("取消"));
    tbtnPowerOff = makeToolButton(widgetSampleBtns, "tbtnPowerOff", QStringLiteral("关机"));
    sampleBtnsLayout->addStretch(1);
    for (QToolButton* button : {tbtnPreSampleData, tbtnStartSample, tbtnStopSample, tbtnSave, tbtnCancelSave,
                                tbtnPowerOff})
        sampleBtnsLayout->addWidget(button);
    SampleLayout->addWidget(widgetSampleBtns);
    stackedWidget->addWidget(pageSampleTask);

    mainWindow->setCentralWidget(centralwidget);

    statusBar = new QStatusBar(mainWindow);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    statusBar->setSizeGripEnabled(false);
    mainWindow->setStatusBar(statusBar);
}
