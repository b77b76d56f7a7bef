#include "Form_StatusBar.h"

#include "AppConstants.h"
#include "Form_StatusBarUi.h"
#include "InstrumentClock.h"
#include "OperatorMessages.h"
#include "TaskbarButton.h"

#include <QDateTime>
#include <QDebug>
#include <QLinearGradient>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <limits>

std::atomic<qint64> TimeDiff{0};
std::atomic<quint8> TimeSynced{0};

namespace {

const QString LinkIcon = QStringLiteral(":/Icon/link.svg");
const QString CaseIcon = QStringLiteral(":/Icon/case.svg");
const QString ArrowIcon = QStringLiteral(":/Icon/location-arrow.svg");
const QString BoltIcon = QStringLiteral(":/Icon/bolt.svg");
const QString TemperatureIcon = QStringLiteral(":/Icon/temperature-half.svg");
const QString ChipIcon = QStringLiteral(":/Icon/microchip.svg");
const QString ClockIcon = QStringLiteral(":/Icon/clock.svg");
const QString LedIcon = QStringLiteral(":/Icon/led.svg");
const QString SampleStartIcon = QStringLiteral(":/Icon/sampleStart.png");

const QColor Gold(255, 215, 0);
const QColor Amber(255, 200, 0);

constexpr int TickMs = 250;
constexpr double TickSeconds = 0.25;
// Time after the group's own duration until its files are ready to fetch.
constexpr double ProgressSlackSeconds = 7.75;
// Clock differences up to an hour are taken as time-zone noise, not a wrong clock.
constexpr qint64 ClockWarningSeconds = 3601;

QString hex4(quint32 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

QString twoDecimals(double value)
{
    return QString::number(value, 'f', 2);
}

// A garbled clock field must not overflow the difference; it saturates instead.
qint64 clockDifference(quint64 instrumentMs, qint64 computerMs)
{
    qint64 diff = 0;
    if (__builtin_sub_overflow(static_cast<qint64>(instrumentMs), computerMs, &diff))
        return computerMs > 0 ? -std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::max();
    return std::max(diff, -std::numeric_limits<qint64>::max());
}

} // namespace

QString msToTimeString(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

double ddmmToDegrees(double ddmm)
{
    double whole = 0;
    const double fraction = std::modf(ddmm / 100.0, &whole);
    return whole + fraction * 100.0 / 60.0;
}

Form_StatusBar::Form_StatusBar(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_Form_StatusBar)
    , timer(new QTimer(this))
{
    ui->setupUi(this);
    setNetConnectStatus(false);
    ui->progressBar->setRange(0, 100);
    progressRunning = false;
    connect(timer, &QTimer::timeout, this, &Form_StatusBar::onTimeOut);
    progressElapsed = 0;
    progressTotal = 0;
    TimeDiff.store(0);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setMaximumHeight(26);

    const struct {
        QLabel* label;
        int width;
        int height;
    } icons[] = {
        {ui->label_NetConnect, 24, 24},   {ui->label_MachineStatus, 24, 24}, {ui->label_GPS, 24, 24},
        {ui->label_MachineVoltage, 24, 24}, {ui->label_MachineSpace, 24, 24},
        {ui->label_MachineTemperature, 18, 24}, {ui->label_MachineTime, 22, 22},
    };
    for (const auto& icon : icons) {
        icon.label->setMaximumSize(icon.width, icon.height);
        icon.label->setScaledContents(true);
    }
    ui->label_NetConnect->setPixmap(QPixmap(LinkIcon));
    ui->label_MachineStatus->setPixmap(QPixmap(CaseIcon));
    ui->label_GPS->setPixmap(QPixmap(ArrowIcon));
    ui->label_MachineTime->setPixmap(QPixmap(ClockIcon));
    ui->label_MachineVoltage->setPixmap(qPixmapFromSvg(BoltIcon, Qt::darkGreen));
    ui->label_MachineTemperature->setPixmap(qPixmapFromSvg(TemperatureIcon, Qt::darkGreen));
    ui->label_MachineSpace->setPixmap(qPixmapFromSvg(ChipIcon, Qt::darkGreen));
    ui->label_UpdateSec->hide();
    ui->label_UpdateSec->setToolTip(tr("距离上次收到仪器状态的时间"));
}

Form_StatusBar::~Form_StatusBar()
{
    delete ui;
}

void Form_StatusBar::setNetConnectStatus(bool connected)
{
    QString text;
    if (!connected) {
        timer->stop();
        ui->label_NetConnect->setToolTip(tr("网络未连接"));
        ui->label_NetConnect->setPixmap(qPixmapFromSvg(LinkIcon, Qt::gray));
        ui->progressBar->hide();
        ui->label_VoltNum->setText(QStringLiteral("--V"));
        ui->label_SpaceNum->setText(QStringLiteral("--%"));
        ui->label_TempNum->setText(QStringLiteral("--℃"));
        text = tr("网络未连接");
    } else {
        timer->start(TickMs);
        ui->label_NetConnect->setToolTip(tr("网络已连接"));
        ui->label_NetConnect->setPixmap(qPixmapFromSvg(LinkIcon, Qt::darkGreen));
        text = tr("网络已连接");
    }
    emit statusChanged(text);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->label_MachineStatus, ui->label_GPS, ui->label_MachineVoltage, ui->label_VoltNum,
             ui->label_MachineTemperature, ui->label_TempNum, ui->label_SpaceNum, ui->label_MachineSpace,
             ui->label_MachineTime, ui->label_Time, ui->line, ui->line2})
        widget->setVisible(connected);
    statusAge = 0;
}

bool Form_StatusBar::setMachineStatus(const char* data, qint64 size)
{
    st_MachineStatus status;
    if (!readMachineStatus(data, size, &status)) {
        qWarning() << "Form_StatusBar" << "setMachineStatus" << "short status record ignored, bytes:" << size;
        return false;
    }
    setMachineStatus(status);
    return true;
}

void Form_StatusBar::setMachineStatus(const st_MachineStatus& status)
{
    statusAge = 0;
    ui->label_UpdateSec->setText(QStringLiteral("0"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 instrumentTime = static_cast<qint64>(status.Time);
    const qint64 diff = clockDifference(status.Time, now);
    TimeDiff.store(diff);
    TimeSynced.store(status.ClockValid);
    qInfo() << "Form_StatusBar" << "setMachineStatus" << "TimeDiff" << msToTimeString(std::llabs(diff))
            << "S" << instrumentTime << "M" << now;

    machineState = status.State;
    QString summary = tr("状态时间：%1\r\n")
                          .arg(QDateTime::fromMSecsSinceEpoch(instrumentTime).toString(QStringLiteral("yyMMdd hh:mm:ss")));
    switch (status.State) {
    case 1:
        ui->label_MachineStatus->setToolTip(tr("仪器忙碌"));
        ui->label_MachineStatus->setPixmap(qPixmapFromSvg(CaseIcon, Gold));
        lastErrID = 0;
        summary += tr("仪器：忙碌\r\n");
        break;
    case 0:
        ui->label_MachineStatus->setToolTip(tr("仪器空闲"));
        ui->label_MachineStatus->setPixmap(qPixmapFromSvg(CaseIcon, Qt::darkGreen));
        lastErrID = 0;
        summary += tr("仪器：空闲\r\n");
        break;
    case 2:
        ui->label_MachineStatus->setToolTip(tr("仪器出错,错误代码:%1").arg(hex4(status.ErrorBits)));
        ui->label_MachineStatus->setPixmap(qPixmapFromSvg(CaseIcon, Qt::red));
        qDebug() << "Form_StatusBar" << "setMachineStatus" << QStringLiteral("ErrorNum:%1").arg(hex4(status.ErrorBits));
        summary += tr("仪器：出错,错误代码:%1\r\n").arg(hex4(status.ErrorBits));
        showErrorDialog(status.ErrorBits, status.ErrorChannels);
        break;
    default:
        ui->label_MachineStatus->setToolTip(tr("仪器出错,状态传输错误"));
        ui->label_MachineStatus->setPixmap(qPixmapFromSvg(ArrowIcon, Qt::red));
        summary += tr("仪器：出错,状态传输错误\r\n");
        break;
    }

    switch (status.GPSState) {
    case 1:
        ui->label_GPS->setToolTip(tr("GPS锁定,经:%1°,纬:%2°,高:%3,🛰️:%4")
                                      .arg(QString::number(ddmmToDegrees(status.Longitude), 'f', 4),
                                           QString::number(ddmmToDegrees(status.Latitude), 'f', 4),
                                           QString::number(status.Altitude, 'f', 1),
                                           QString::number(status.Satellites)));
        ui->label_GPS->setPixmap(qPixmapFromSvg(ArrowIcon, Qt::darkGreen));
        summary += tr("GPS：锁定,🛰️:%1\r\n").arg(status.Satellites);
        break;
    case 0:
        ui->label_GPS->setToolTip(tr("GPS未锁定"));
        ui->label_GPS->setPixmap(qPixmapFromSvg(ArrowIcon, Gold));
        summary += tr("GPS：未锁定\r\n");
        break;
    case 2:
        ui->label_GPS->setToolTip(tr("GPS出错,错误代码:%1").arg(hex4(status.ErrorBits)));
        ui->label_GPS->setPixmap(qPixmapFromSvg(ArrowIcon, Qt::red));
        summary += tr("GPS：出错,错误代码:%1\r\n").arg(hex4(status.ErrorBits));
        break;
    default:
        ui->label_GPS->setToolTip(tr("仪器出错,状态传输错误"));
        ui->label_GPS->setPixmap(qPixmapFromSvg(ArrowIcon, Qt::red));
        summary += tr("仪器：出错,状态传输错误\r\n");
        break;
    }

    const bool lowVoltage = status.Voltage < 10.0f;
    ui->label_VoltNum->setText(QStringLiteral("%1V").arg(twoDecimals(status.Voltage)));
    ui->label_VoltNum->setStyleSheet(lowVoltage ? QStringLiteral("color:red") : QStringLiteral("color:green"));
    ui->label_MachineVoltage->setPixmap(qPixmapFromSvg(BoltIcon, lowVoltage ? QColor(Qt::red) : QColor(Qt::darkGreen)));

    const bool lowMemory = status.FreeMemory < 15.0f;
    const QString memory = twoDecimals(status.FreeMemory) + QStringLiteral("%");
    ui->label_SpaceNum->setText(memory);
    ui->label_SpaceNum->setToolTip(tr("剩余内存：") + memory);
    ui->label_SpaceNum->setStyleSheet(lowMemory ? QStringLiteral("color:red") : QStringLiteral("color:green"));
    ui->label_MachineSpace->setPixmap(qPixmapFromSvg(ChipIcon, lowMemory ? QColor(Qt::red) : QColor(Qt::darkGreen)));

    const bool hot = status.CPUTemperature > 80.0f;
    ui->label_TempNum->setText(QStringLiteral("%1℃").arg(twoDecimals(status.CPUTemperature)));
    ui->label_TempNum->setStyleSheet(hot ? QStringLiteral("color:red") : QStringLiteral("color:green"));
    ui->label_MachineTemperature->setPixmap(
        qPixmapFromSvg(TemperatureIcon, hot ? QColor(Qt::red) : QColor(Qt::darkGreen)));

    summary += tr("仪器电压：%1V\r\n").arg(twoDecimals(status.Voltage));
    summary += tr("剩余内存：%1%\r\n").arg(twoDecimals(status.FreeMemory));
    summary += tr("CPU温度：%1℃\r\n").arg(twoDecimals(status.CPUTemperature));
    emit statusChanged(summary);
}

void Form_StatusBar::showErrorDialog(uint32_t errID, uint8_t errChn)
{
    if (errID == 0) {
        lastErrID = 0;
        return;
    }
    if (errID == lastErrID)
        return;
    lastErrID = errID;

    QString message;
    if (errID & DISKFS) {
        emit dirCreateError();
        message += tr("SD卡错误，请重新采集或创建新的工程。\r\n若多次出现该问题，请保存数据后格式化SD卡。");
    }
    if (errID & STM)
        message += tr("STM32错误，请联系厂商\r\n");
    if (errID & DISK)
        message += tr("剩余空间不足，请尽快清理仪器内工程\r\n");
    if (errID & SAMPLE) {
        QString channels;
        for (int c = 1; c <= 6; ++c) {
            if (errChn & (1u << (c - 1)))
                channels += QString::number(c) + QLatin1Char(' ');
        }
        message += tr("通道%1错误，请重试，若多次失败请联系厂商\r\n").arg(channels);
        qDebug() << "Form_StatusBar" << "showErrorDialog" << QStringLiteral("ErrorChn:%1").arg(hex4(errChn));
    }
    if (errID & (CMD | CONFIG))
        message += tr("软硬件不匹配，请更换合适的软件/联系厂商\r\n");
    if (errID & TIMEOUT)
        message += tr("采集超时，请重试。若多次失败请联系厂商\r\n");
    if (message.isEmpty())
        return;
    // Posted: reports arrive inside the link's receive pass, and a box opened there would
    // hold up every acknowledge behind this report until someone closed it.
    postMessageBox(NoticeIcon::Critical, tr("错误"), message);
}

void Form_StatusBar::onTimeOut()
{
    if (progressRunning)
        calcProgress();

    statusAge += TickSeconds;
    ui->label_UpdateSec->setText(QString::number(statusAge, 'f', 0));
    ui->label_UpdateSec->setVisible(true);
    ui->label_UpdateSec->setStyleSheet(statusAge < 13.0 ? QStringLiteral("color:green;font:12px")
                                                        : QStringLiteral("color:red;font:16px"));

    const qint64 diff = TimeDiff.load();
    const bool synced = TimeSynced.load() != 0;
    const qint64 seconds = diff / 1000;
    const QDateTime instrumentNow = QDateTime::currentDateTime().addSecs(seconds);
    if (std::llabs(seconds) >= ClockWarningSeconds && synced) {
        ui->label_Time->setText(instrumentNow.toString(
            QStringLiteral("'仪器与上位机软件时间相差较大，请修改PC/手机时间为'yyyyMMdd hh:mm'左右'")));
        ui->label_Time->setStyleSheet(QStringLiteral("color:red"));
    } else {
        ui->label_Time->setText(instrumentNow.toString(QStringLiteral("hh:mm:ss")));
        ui->label_Time->setStyleSheet(synced ? QStringLiteral("color:green") : QStringLiteral("color:red"));
    }
    if (diff < 0)
        ui->label_Time->setToolTip(tr("仪器比当前操作电脑慢了%1").arg(msToTimeString(-diff)));
    else
        ui->label_Time->setToolTip(tr("仪器比当前操作电脑快了%1").arg(msToTimeString(diff)));
}

void Form_StatusBar::setProgressBarTime(bool run, int seconds, int rate)
{
    if (seconds >= 1) {
        machineState = 1;
        ui->label_MachineStatus->setToolTip(tr("仪器忙碌"));
        ui->label_MachineStatus->setPixmap(qPixmapFromSvg(CaseIcon, Amber));
    }
    if (!run) {
        ui->progressBar->setValue(0);
        ui->progressBar->hide();
        return;
    }
    if (seconds == 0) {
        progressRunning = false;
        return;
    }
    const int band = SampleRateList.indexOf(rate);
    if (band >= 0)
        ui->progressBar->setFormat(QStringLiteral("%1 - %p%").arg(BandNameList.at(band)));
    else
        ui->progressBar->setFormat(QStringLiteral("%1Hz - %p%").arg(rate));
    ui->progressBar->setValue(0);
    ui->progressBar->show();
    progressRunning = true;
    progressElapsed = 0;
    progressTotal = seconds + ProgressSlackSeconds;
    qInfo() << "Form_StatusBar" << "setProgressBarTime" << QStringLiteral("SampleTime %1s").arg(seconds);
}

void Form_StatusBar::calcProgress()
{
    progressElapsed += TickSeconds;
    if (progressElapsed < progressTotal) {
        ui->progressBar->setValue(static_cast<int>(progressElapsed * 98.65 / progressTotal));
        return;
    }
    progressRunning = false;
    ui->progressBar->setFormat(tr("等待传输"));
    ui->progressBar->setValue(100);
    qDebug() << "Form_StatusBar" << "calcProgress" << "Wait FTP";
}

void Form_StatusBar::setSampleEnd()
{
    progressRunning = false;
    ui->progressBar->show();
    ui->progressBar->setFormat(tr("完成 - %p%"));
    ui->progressBar->setValue(100);
    qDebug() << "Form_StatusBar" << "setSampleEnd" << "Start FTP";
}

void Form_StatusBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (taskbarReady)
        return;
    taskbarReady = true;
    taskbarButton = new TaskbarButton(this);
    taskbarButton->setWindow(window());
    taskbarButton->setProgressVisible(false);
    taskbarButton->setProgressRange(0, 100);
    connect(ui->progressBar, &QProgressBar::valueChanged, this, &Form_StatusBar::mirrorProgressOnTaskbar);
}

void Form_StatusBar::mirrorProgressOnTaskbar(int value)
{
    taskbarButton->setProgressValue(value);
    if (value == 0) {
        taskbarButton->setProgressVisible(false);
        taskbarButton->clearOverlayIcon();
    } else if (value == 100) {
        taskbarButton->setProgressVisible(false);
        taskbarButton->setOverlayIcon(QIcon(qPixmapFromSvg(LedIcon, Qt::darkGreen)));
        taskbarButton->setOverlayAccessibleDescription(LedIcon);
    } else {
        taskbarButton->setProgressVisible(true);
        taskbarButton->setOverlayIcon(QIcon(SampleStartIcon));
        taskbarButton->setOverlayAccessibleDescription(SampleStartIcon);
    }
}

QPixmap Form_StatusBar::qPixmapFromSvg(QString svg_path, QColor color)
{
    return qPixmapFromSvgWithGradient(svg_path, color.lighter(125), color.darker(125));
}

QPixmap Form_StatusBar::qPixmapFromSvg(QString svg_path)
{
    return qPixmapFromSvg(svg_path, Qt::darkGreen);
}

QPixmap Form_StatusBar::qPixmapFromSvgWithGradient(QString svg_path, QColor start_color, QColor end_color)
{
    const QString key = svg_path + QLatin1Char('|') + QString::number(start_color.rgba()) + QLatin1Char('|')
        + QString::number(end_color.rgba());
    auto cached = pixmapCache.constFind(key);
    if (cached != pixmapCache.constEnd())
        return cached.value();

    QPixmap pixmap(svg_path);
    if (pixmap.isNull())
        qWarning() << "Form_StatusBar" << "qPixmapFromSvgWithGradient" << "cannot load" << svg_path;
    else {
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QLinearGradient gradient(0, 0, 0, pixmap.height());
        gradient.setColorAt(0.1, start_color);
        gradient.setColorAt(0.95, end_color);
        painter.fillRect(pixmap.rect(), gradient);
    }
    pixmapCache.insert(key, pixmap);
    return pixmap;
}

QPixmap Form_StatusBar::qPixmapFromSvgWithGradient(QString svg_path, QColor start_color)
{
    return qPixmapFromSvgWithGradient(svg_path, start_color, QColor(27, 133, 16));
}

QPixmap Form_StatusBar::qPixmapFromSvgWithGradient(QString svg_path)
{
    return qPixmapFromSvgWithGradient(svg_path, QColor(87, 183, 14), QColor(27, 133, 16));
}
