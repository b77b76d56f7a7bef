#include "MainWindow.h"

#include "AppConstants.h"
#include "AppGlobals.h"
#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_TSGraph.h"
#include "FramelessHelper.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "MyComboBox.h"
#include "QtFTP.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QRegExpValidator>
#include <QSpacerItem>
#include <QTime>
#include <QUrl>
#include <QtConcurrent>

#include <array>
#include <memory>

namespace {

// Steps a picked hour:minute by one minute, wrapping at the day's ends.
void stepSyncTime(QComboBox* hour, QComboBox* minute, int delta)
{
    int total = hour->currentIndex() * 60 + minute->currentIndex() + delta;
    total = (total % (24 * 60) + 24 * 60) % (24 * 60);
    hour->setCurrentIndex(total / 60);
    minute->setCurrentIndex(total % 60);
}

} // namespace

void MainWindow::initForm()
{
    setWindowTitle(ModelName);
    ui->label_Version->setText(QStringLiteral("V%1 (Build %2)")
                                   .arg(QStringLiteral("1.0.0"), BuildDateTime.toString(QStringLiteral("yyMMdd"))));
    // The program has no web address: the model name only.
    ui->label_WebSite->setTextFormat(Qt::PlainText);
    ui->label_WebSite->setText(ModelName);
    ui->label_BuildYear->setText(QStringLiteral("© %1").arg(BuildDateTime.toString(QStringLiteral("yyyy"))));

    ui->tabBar->addTab(tr("工程管理"));
    ui->tabBar->addTab(tr("采集任务"));
    ui->tabBar->addTab(tr("参数设置"));
    ui->tabBar->setCurrentIndex(0);
    ui->stackedWidget->setCurrentIndex(0);
    ui->tabBar->setCursor(Qt::PointingHandCursor);
    connect(ui->tabBar, &QTabBar::currentChanged, this, &MainWindow::switchPage);

    auto* frameless = new FramelessHelper(this);
    frameless->setDraggableMargins(3, 3, 3, 3);
    frameless->setTitleBarHeight(50);
    for (QWidget* item : {static_cast<QWidget*>(ui->labIco), static_cast<QWidget*>(ui->btnMenu_Min),
                          static_cast<QWidget*>(ui->btnMenu_Max), static_cast<QWidget*>(ui->btnMenu_Close),
                          static_cast<QWidget*>(ui->tabBar)})
        frameless->addExcludeItem(item);
    connect(ui->btnMenu_Min, &QToolButton::clicked, frameless, &FramelessHelper::triggerMinimizeButtonAction);
    connect(ui->btnMenu_Max, &QToolButton::clicked, frameless, &FramelessHelper::triggerMaximizeButtonAction);
    connect(frameless, &FramelessHelper::maximizedChanged, this, &MainWindow::updateMaximizeButton);
    connect(ui->btnMenu_Close, &QToolButton::clicked, this, &MainWindow::onClickBtnClose);
    // The top row of the sampling page needs no spacer of its own.
    ui->layout_BtnTop->removeItem(ui->btnTopSpacer);
    delete ui->btnTopSpacer;
    ui->btnTopSpacer = nullptr;
    ui->btnMenu_Min->setToolTip(tr("最小化"));
    ui->btnMenu_Max->setToolTip(tr("最大化"));
    ui->btnMenu_Close->setToolTip(tr("关闭"));
}

void MainWindow::updateMaximizeButton(bool maximized)
{
    // The text keeps the logical state; what shows is the icon (Linux has no glyph font for it).
    ui->btnMenu_Max->setText(maximized ? QStringLiteral("2") : QStringLiteral("1"));
    ui->btnMenu_Max->setIcon(QIcon(maximized ? QStringLiteral(":/Icon/window_restore.svg")
                                             : QStringLiteral(":/Icon/window_maximize.svg")));
    ui->btnMenu_Max->setToolTip(maximized ? tr("还原") : tr("最大化"));
}

void MainWindow::initSync()
{
    for (int m = 0; m < 60; ++m)
        ui->comboBox_SyncMinute->addItem(QString::number(m), m);
    for (int h = 0; h < 24; ++h)
        ui->comboBox_SyncHour->addItem(QString::number(h), h);

    connect(ui->groupBox_Sync, &QGroupBox::toggled, this, [this](bool on) {
        ui->comboBox_SyncHour->setVisible(on);
        ui->comboBox_SyncMinute->setVisible(on);
        ui->btn_Decrease->setVisible(on);
        ui->btn_Increase->setVisible(on);
        ui->groupBox_Sync->setStyleSheet(on ? QStringLiteral("QGroupBox {border: 1px solid #d9d9d9;} QGroupBox:title {color: green;}")
                                            : QStringLiteral("QGroupBox {border: 0px;} QGroupBox:title {color: gray;}"));
        const QTime now = QTime::currentTime();
        ui->comboBox_SyncHour->setCurrentIndex(now.hour());
        ui->comboBox_SyncMinute->setCurrentIndex(now.minute());
        ui->btn_Increase->click();
    });
    connect(ui->btn_Increase, &QToolButton::clicked, this,
            [this] { stepSyncTime(ui->comboBox_SyncHour, ui->comboBox_SyncMinute, +1); });
    connect(ui->btn_Decrease, &QToolButton::clicked, this,
            [this] { stepSyncTime(ui->comboBox_SyncHour, ui->comboBox_SyncMinute, -1); });

    // While the minute list is open the sampling buttons must not be hit by accident.
    auto remembered = std::make_shared<std::array<bool, 3>>();
    connect(ui->comboBox_SyncMinute, &MyComboBox::popupShown, this, [this, remembered] {
        *remembered = {ui->tbtnStartSample->isEnabled(), ui->tbtnPreSampleData->isEnabled(),
                       ui->tbtnStopSample->isEnabled()};
        ui->tbtnStartSample->setEnabled(false);
        ui->tbtnPreSampleData->setEnabled(false);
        ui->tbtnStopSample->setEnabled(false);
    });
    connect(ui->comboBox_SyncMinute, &MyComboBox::popupHidden, this, [this, remembered] {
        ui->tbtnStartSample->setEnabled((*remembered)[0]);
        ui->tbtnPreSampleData->setEnabled((*remembered)[1]);
        ui->tbtnStopSample->setEnabled((*remembered)[2]);
    });

    emit ui->groupBox_Sync->toggled(false);
}

void MainWindow::setIconBtn(QToolButton* button)
{
    button->setCheckable(true);
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
}

void MainWindow::initProjManage()
{
    QListWidget* list = ui->recentProjList;
    list->setMovement(QListView::Static);
    list->setViewMode(QListView::ListMode);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setAlternatingRowColors(true);
    list->clear();
    connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { openProjectAction(item->text()); });
    connect(list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openProjectAction(item->text()); });
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [list](const QPoint& pos) {
        const QListWidgetItem* item = list->itemAt(pos);
        if (!item)
            return;
        const QFileInfo info(item->text());
        if (!info.exists())
            return;
        // The desktop's file browser may take its time to start; the window does not wait.
        const QUrl folder = QUrl::fromLocalFile(info.absolutePath());
        QtConcurrent::run([folder] { QDesktopServices::openUrl(folder); });
    });

    for (QToolButton* button : {ui->tbtnNewProject, ui->tbtnOpenProject, ui->tbtnCloseProject})
        setIconBtn(button);
    connect(ui->tbtnNewProject, &QToolButton::clicked, this, &MainWindow::onSlotNewProjecClick);
    connect(ui->tbtnOpenProject, &QToolButton::clicked, this, &MainWindow::onSlotOpenProjectClick);
    connect(ui->tbtnCloseProject, &QToolButton::clicked, this, &MainWindow::onSlotCloseProjectClick);
    setAcceptDrops(true);
}

void MainWindow::initSystemConf()
{
    setIconBtn(ui->tbtnDiskManage);
    dialogExport = new Dialog_Export();
    dialogDiskManage = new Dialog_DiskManage();
    dialogExport->hide();
    dialogDiskManage->hide();
    connect(ui->tbtnDiskManage, &QToolButton::clicked, this, [this] {
        dialogDiskManage->show();
        ftp->getTableJson();
    });
    connect(dialogExport, &Dialog_Export::getProjJson, ftp, &QtFTP::getProjJson);
    connect(dialogExport, &Dialog_Export::getFile, ftp, &QtFTP::exportFile);
    connect(dialogDiskManage, &Dialog_DiskManage::deleteProj, libCom, &LibCom::SendDataDelete);
    connect(dialogDiskManage, &Dialog_DiskManage::diskFormat, libCom, &LibCom::SendDiskFormat);
}

void MainWindow::initSampleTask()
{
    for (QToolButton* button : ui->widgetSampleBtns->findChildren<QToolButton*>()) {
        if (button != ui->btn_Decrease && button != ui->btn_Increase)
            setIconBtn(button);
    }

    struct Shortcut {
        QToolButton* button;
        const char* keys;
        const char* shown;
    };
    const Shortcut shortcuts[] = {
        {ui->tbtnConnectNetwork, "ctrl+c", "ctrl+c"},   {ui->tbtnDisconnectNetwork, "ctrl+d", "ctrl+d"},
        {ui->tbtnExportData, "ctrl+e", "ctrl+e"},       {ui->tbtnPreSampleData, "ctrl+p", "ctrl+p"},
        {ui->tbtnStartSample, "ctrl+return", "ctrl+enter"}, {ui->tbtnStopSample, "ctrl+s", "ctrl+s"},
    };
    for (const Shortcut& shortcut : shortcuts) {
        shortcut.button->setShortcut(QKeySequence(QLatin1String(shortcut.keys)));
        shortcut.button->setToolTip(tr("快捷键：") + QLatin1String(shortcut.shown));
    }

    connect(ui->tbtnConnectNetwork, &QToolButton::clicked, this, &MainWindow::connnectNetwork);
    connect(ui->tbtnDisconnectNetwork, &QToolButton::clicked, libCom, &Com::Close);
    connect(ui->tbtnExportData, &QToolButton::clicked, this, [this] {
        ftp->getTableJson();
        dialogExport->showUp(projectOpen);
    });
    connect(ui->tbtnPreSampleData, &QToolButton::clicked, this, [this] { onStartSample(Pre); });
    connect(ui->tbtnStartSample, &QToolButton::clicked, this, [this] { onStartSample(formParam->getOnLineSelect()); });
    connect(ui->tbtnStopSample, &QToolButton::clicked, this, &MainWindow::onStopSample);
    connect(ui->tbtnSwitchView, &QToolButton::clicked, this,
            [this] { ui->stacked_Graph->setCurrentIndex((ui->stacked_Graph->currentIndex() + 1) % 2); });
    connect(ui->tbtnLastSampleGroup, &QToolButton::clicked, this, [this] {
        ui->stacked_Graph->setCurrentIndex(0);
        formTSGraph->showNextGroup();
    });
    connect(ui->tbtnSave, &QToolButton::clicked, this, &MainWindow::onSaveData);
    connect(ui->tbtnCancelSave, &QToolButton::clicked, this, &MainWindow::onCancelSave);

    // Line and mileage: 0, or up to seven digits without a leading zero, optionally negative.
    const QRegExp lineOrPoint(QStringLiteral("^-?[1-9]\\d{0,6}$|^0$"), Qt::CaseSensitive);
    for (QLineEdit* edit : {ui->lineEdit_LineNum, ui->lineEdit_PointNum}) {
        edit->setValidator(new QRegExpValidator(lineOrPoint, edit));
        edit->setInputMethodHints(Qt::ImhDigitsOnly);
    }
}

// A compact arrangement for small screens; nothing in the program switches to it.
void MainWindow::mobileUI()
{
    ui->appBarLayout->removeItem(ui->appBarSpacer);
    ui->appBarLayout->insertItem(1, ui->appBarSpacer);
    ui->labTitle->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui->appBarLayout->removeWidget(ui->tabBar);
    ui->centralLayout->insertWidget(1, ui->tabBar);

    auto* row = new QHBoxLayout();
    row->addWidget(formIndex, 1);
    while (QLayoutItem* item = ui->sampleBtnsLayout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            row->addWidget(widget);
            delete item;
        } else if (QLayout* layout = item->layout()) {
            layout->setParent(nullptr);
            row->addLayout(layout);
        } else {
            row->addItem(item);
        }
    }
    ui->widgetSampleBtns->hide();
    if (row->count() > 2) {
        row->setStretch(1, 1);
        row->setStretch(2, 1);
    }
    delete ui->pageSampleTask->layout();
    ui->SampleLayout = nullptr;
    auto* page = new QVBoxLayout(ui->pageSampleTask);
    page->addWidget(ui->stacked_Graph, 13);
    page->addLayout(row, 7);
}
