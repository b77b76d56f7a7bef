#include "MainWindow.h"

#include "AppConstants.h"
#include "AppGlobals.h"
#include "FramelessHelper.h"
#include "MainWindowUi.h"
#include "MyComboBox.h"

#include <QTime>

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
    ui->label_WebSite->setOpenExternalLinks(true);
    ui->label_WebSite->setText(QStringLiteral("<a href=\"https://example.org/varn28\">Varn28</a>"));
    ui->label_BuildYear->setText(QStringLiteral("© %1").arg(BuildDateTime.toString(QStringLiteral("yyyy"))));

    ui->tabBar->addTab(tr("工程管理"));
    ui->tabBar->addTab(tr("采集任务"));
    ui->tabBar->addTab(tr("参数设置"));
    ui->tabBar->setCurrentIndex(0);
    ui->stackedWidget->setCurrentIndex(0);
    ui->tabBar->setCursor(Qt::PointingHandCursor);
    connect(ui->tabBar, &QTabBar::currentChanged, ui->stackedWidget, &QStackedWidget::setCurrentIndex);

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

void MainWindow::setIconBtn() {}
void MainWindow::initProjManage() {}
void MainWindow::initSystemConf() {}
void MainWindow::initSampleTask() {}
void MainWindow::mobileUI() {}
