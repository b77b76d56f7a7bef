#include "Form_StatusBar.h"
#include "InstrumentClock.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "OperatorMessages.h"
#include "ModalBoxCatcher.h"
#include "TaskbarButton.h"

#include <QDateTime>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtEndian>
#include <QtTest>

#include <cstring>

namespace {

// A status report as the instrument sends it, laid out byte by byte.
struct Report {
    QByteArray bytes = QByteArray(48, '\0');

    Report& u8(int offset, quint8 v) { bytes[offset] = char(v); return *this; }
    Report& u32(int offset, quint32 v) { qToLittleEndian(v, bytes.data() + offset); return *this; }
    Report& u64(int offset, quint64 v) { qToLittleEndian(v, bytes.data() + offset); return *this; }
    Report& f32(int offset, float v)
    {
        quint32 word;
        std::memcpy(&word, &v, 4);
        return u32(offset, word);
    }
};

// An ordinary healthy report: idle, GPS locked, everything inside its limits.
Report healthy()
{
    Report r;
    r.u64(0, quint64(QDateTime::currentMSecsSinceEpoch()))
        .u8(8, 0).u8(9, 0xEE).u8(10, 1).u8(11, 9)
        .f32(12, 12.5f).f32(16, 50.25f).f32(20, 45.0f)
        .u32(24, 0)
        .f32(28, 3030.0f)    // latitude 30 deg 30 min
        .f32(32, 11415.0f)   // longitude 114 deg 15 min
        .f32(36, 55.55f)
        .u8(40, 1).u8(41, 0);
    for (int i = 42; i < 48; ++i)
        r.u8(i, 0xEE);
    return r;
}

QImage iconOf(QLabel* label)
{
    return label->pixmap(Qt::ReturnByValue).toImage();
}

} // namespace

class TestStatusBar : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void reportIsDecodedByOffset();
    void shortReportIsIgnored();
    void healthyReportShowsItsValues();
    void limitsOfVoltageMemoryAndTemperature();
    void transmissionErrorState();
    void errorBoxesOncePerNewSetOfBits();
    void errorTexts_data();
    void errorTexts();
    void diskErrorAdvancesThePointFirst();
    void clockDifferenceAndItsWarning();
    void timeSpanText();
    void linkStateShowsAndHides();
    void progressOfAGroup();
    void taskbarFollowsTheProgress();
    void sitsInTheMainWindowStatusBar();

private:
    QLabel* label(const char* name) { return bar->findChild<QLabel*>(QLatin1String(name)); }
    QProgressBar* progress() { return bar->findChild<QProgressBar*>(QStringLiteral("progressBar")); }
    // Error boxes are posted: none opens inside the call, the event loop shows them after.
    void send(const Report& r)
    {
        const int before = boxesShown;
        QVERIFY(bar->setMachineStatus(r.bytes.constData(), r.bytes.size()));
        QCOMPARE(boxesShown, before);
        QCoreApplication::processEvents();
    }
    int boxesShown = 0;

    Form_StatusBar* bar = nullptr;
};

void TestStatusBar::init()
{
    bar = new Form_StatusBar();
    // What the main window installs: posted boxes become modal boxes.
    setMessageBoxReceiver([this](NoticeIcon icon, const QString& title, const QString& text) {
        ++boxesShown;
        showMessageBox(static_cast<QMessageBox::Icon>(icon), title, text, QMessageBox::Ok);
    });
}

void TestStatusBar::cleanup()
{
    setMessageBoxReceiver(nullptr);
    delete bar;
    bar = nullptr;
}

void TestStatusBar::reportIsDecodedByOffset()
{
    Report r;
    r.u64(0, 0x0102030405060708ull).u8(8, 2).u8(9, 0x77).u8(10, 1).u8(11, 12)
        .f32(12, 11.5f).f32(16, 33.0f).f32(20, 61.5f).u32(24, 0x0821)
        .f32(28, 3959.5f).f32(32, 11623.25f).f32(36, -12.5f).u8(40, 1).u8(41, 0x24);
    st_MachineStatus s;
    QVERIFY(readMachineStatus(r.bytes.constData(), r.bytes.size(), &s));
    QCOMPARE(s.Time, 0x0102030405060708ull);
    QCOMPARE(int(s.State), 2);
    QCOMPARE(int(s.GPSState), 1);
    QCOMPARE(int(s.Satellites), 12);
    QCOMPARE(s.Voltage, 11.5f);
    QCOMPARE(s.FreeMemory, 33.0f);
    QCOMPARE(s.CPUTemperature, 61.5f);
    QCOMPARE(s.ErrorBits, 0x0821u);
    QCOMPARE(s.Latitude, 3959.5f);
    QCOMPARE(s.Longitude, 11623.25f);
    QCOMPARE(s.Altitude, -12.5f);
    QCOMPARE(int(s.ClockValid), 1);
    QCOMPARE(int(s.ErrorChannels), 0x24);
}

void TestStatusBar::shortReportIsIgnored()
{
    QSignalSpy changed(bar, &Form_StatusBar::statusChanged);
    const Report r = healthy();
    st_MachineStatus s;
    QVERIFY(!readMachineStatus(r.bytes.constData(), 47, &s));
    QVERIFY(!readMachineStatus(nullptr, 48, &s));
    QVERIFY(!bar->setMachineStatus(r.bytes.constData(), 47));
    QVERIFY(!bar->setMachineStatus(r.bytes.constData(), 0));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(label("label_VoltNum")->text(), QStringLiteral("--V"));
    QVERIFY(bar->setMachineStatus(r.bytes.constData(), 48));
    QCOMPARE(changed.count(), 1);
}

void TestStatusBar::healthyReportShowsItsValues()
{
    QSignalSpy changed(bar, &Form_StatusBar::statusChanged);
    Report r = healthy();
    const QDateTime when = QDateTime::currentDateTime();
    r.u64(0, quint64(when.toMSecsSinceEpoch()));
    send(r);

    QCOMPARE(bar->getMachineState(), quint8(0));
    QCOMPARE(label("label_MachineStatus")->toolTip(), QStringLiteral("仪器空闲"));
    QCOMPARE(iconOf(label("label_MachineStatus")), bar->qPixmapFromSvg(":/Icon/case.svg", Qt::darkGreen).toImage());
    // Longitude comes from byte 32 and latitude from byte 28.
    QCOMPARE(label("label_GPS")->toolTip(), QStringLiteral("GPS锁定,经:114.2500°,纬:30.5000°,高:55.5,🛰️:9"));
    QCOMPARE(iconOf(label("label_GPS")),
             bar->qPixmapFromSvg(":/Icon/location-arrow.svg", Qt::darkGreen).toImage());
    QCOMPARE(label("label_VoltNum")->text(), QStringLiteral("12.50V"));
    QCOMPARE(label("label_SpaceNum")->text(), QStringLiteral("50.25%"));
    QCOMPARE(label("label_SpaceNum")->toolTip(), QStringLiteral("剩余内存：50.25%"));
    QCOMPARE(label("label_TempNum")->text(), QStringLiteral("45.00℃"));
    QCOMPARE(label("label_UpdateSec")->text(), QStringLiteral("0"));

    QCOMPARE(changed.count(), 1);
    const QString expected = QStringLiteral("状态时间：") + when.toString(QStringLiteral("yyMMdd hh:mm:ss"))
        + QStringLiteral("\r\n仪器：空闲\r\nGPS：锁定,🛰️:9\r\n仪器电压：12.50V\r\n剩余内存：50.25%\r\nCPU温度：45.00℃\r\n");
    QCOMPARE(changed.at(0).at(0).toString(), expected);

    // Busy, GPS not locked, GPS error.
    r.u8(8, 1).u8(10, 0);
    send(r);
    QCOMPARE(bar->getMachineState(), quint8(1));
    QCOMPARE(label("label_MachineStatus")->toolTip(), QStringLiteral("仪器忙碌"));
    QCOMPARE(iconOf(label("label_MachineStatus")), bar->qPixmapFromSvg(":/Icon/case.svg", QColor(255, 215, 0)).toImage());
    QCOMPARE(label("label_GPS")->toolTip(), QStringLiteral("GPS未锁定"));
    QVERIFY(changed.last().at(0).toString().contains(QStringLiteral("\r\n仪器：忙碌\r\nGPS：未锁定\r\n")));
    r.u8(10, 2).u32(24, 0x80);
    send(r);
    QCOMPARE(label("label_GPS")->toolTip(), QStringLiteral("GPS出错,错误代码:0080"));
    QVERIFY(changed.last().at(0).toString().contains(QStringLiteral("GPS：出错,错误代码:0080\r\n")));

    // Southern and western positions keep their sign.
    r.u8(10, 1).f32(28, -3345.0f).f32(32, -7030.0f);
    send(r);
    QVERIFY(label("label_GPS")->toolTip().startsWith(QStringLiteral("GPS锁定,经:-70.5000°,纬:-33.7500°")));
}

void TestStatusBar::limitsOfVoltageMemoryAndTemperature()
{
    const QString green = QStringLiteral("color:green");
    const QString red = QStringLiteral("color:red");
    Report r = healthy();
    r.f32(12, 10.0f).f32(16, 15.0f).f32(20, 80.0f);
    send(r);
    QCOMPARE(label("label_VoltNum")->styleSheet(), green);
    QCOMPARE(label("label_SpaceNum")->styleSheet(), green);
    QCOMPARE(label("label_TempNum")->styleSheet(), green);
    QCOMPARE(iconOf(label("label_MachineVoltage")), bar->qPixmapFromSvg(":/Icon/bolt.svg", Qt::darkGreen).toImage());

    r.f32(12, 9.99f).f32(16, 14.99f).f32(20, 80.01f);
    send(r);
    QCOMPARE(label("label_VoltNum")->text(), QStringLiteral("9.99V"));
    QCOMPARE(label("label_VoltNum")->styleSheet(), red);
    QCOMPARE(label("label_SpaceNum")->styleSheet(), red);
    QCOMPARE(label("label_TempNum")->styleSheet(), red);
    QCOMPARE(iconOf(label("label_MachineVoltage")), bar->qPixmapFromSvg(":/Icon/bolt.svg", Qt::red).toImage());
    QCOMPARE(iconOf(label("label_MachineSpace")), bar->qPixmapFromSvg(":/Icon/microchip.svg", Qt::red).toImage());
    QCOMPARE(iconOf(label("label_MachineTemperature")),
             bar->qPixmapFromSvg(":/Icon/temperature-half.svg", Qt::red).toImage());
    QVERIFY(bar->qPixmapFromSvg(":/Icon/bolt.svg", Qt::red).toImage()
            != bar->qPixmapFromSvg(":/Icon/bolt.svg", Qt::darkGreen).toImage());
}

void TestStatusBar::transmissionErrorState()
{
    QSignalSpy changed(bar, &Form_StatusBar::statusChanged);
    ModalBoxCatcher boxes;
    Report r = healthy();
    r.u8(8, 3).u8(10, 7).u32(24, 0x0020);
    send(r);
    QCOMPARE(bar->getMachineState(), quint8(3));
    QCOMPARE(label("label_MachineStatus")->toolTip(), QStringLiteral("仪器出错,状态传输错误"));
    QCOMPARE(iconOf(label("label_MachineStatus")),
             bar->qPixmapFromSvg(":/Icon/location-arrow.svg", Qt::red).toImage());
    QCOMPARE(label("label_GPS")->toolTip(), QStringLiteral("仪器出错,状态传输错误"));
    const QString summary = changed.last().at(0).toString();
    QVERIFY(summary.contains(QStringLiteral("\r\n仪器：出错,状态传输错误\r\n仪器：出错,状态传输错误\r\n仪器电压：")));
    QTest::qWait(30);
    QCOMPARE(boxes.count(), 0);  // only state 2 reports error bits
}

void TestStatusBar::errorBoxesOncePerNewSetOfBits()
{
    ModalBoxCatcher boxes;
    Report r = healthy();
    r.u8(8, 2).u32(24, Form_StatusBar::STM).u8(41, 0);
    send(r);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(label("label_MachineStatus")->toolTip(), QStringLiteral("仪器出错,错误代码:0001"));
    QCOMPARE(iconOf(label("label_MachineStatus")), bar->qPixmapFromSvg(":/Icon/case.svg", Qt::red).toImage());
    send(r);
    send(r);
    QCOMPARE(boxes.count(), 1);

    // New bits raise a new box; an idle report forgets the last one.
    r.u32(24, Form_StatusBar::STM | Form_StatusBar::DISK);
    send(r);
    QCOMPARE(boxes.count(), 2);
    send(healthy());
    r.u32(24, Form_StatusBar::STM | Form_StatusBar::DISK);
    send(r);
    QCOMPARE(boxes.count(), 3);

    // A state-2 report without bits forgets too.
    r.u32(24, 0);
    send(r);
    QCOMPARE(boxes.count(), 3);
    r.u32(24, Form_StatusBar::STM | Form_StatusBar::DISK);
    send(r);
    QCOMPARE(boxes.count(), 4);

    // Bits that have no text of their own show nothing.
    r.u32(24, Form_StatusBar::STOP);
    send(r);
    r.u32(24, Form_StatusBar::PW | Form_StatusBar::TEMP | Form_StatusBar::STOP | Form_StatusBar::SELF);
    send(r);
    QCOMPARE(boxes.count(), 4);
}

void TestStatusBar::errorTexts_data()
{
    QTest::addColumn<quint32>("bits");
    QTest::addColumn<quint8>("channels");
    QTest::addColumn<QString>("text");
    QTest::newRow("stm") << quint32(0x1) << quint8(0) << QStringLiteral("STM32错误，请联系厂商\r\n");
    QTest::newRow("disk") << quint32(0x8) << quint8(0) << QStringLiteral("剩余空间不足，请尽快清理仪器内工程\r\n");
    QTest::newRow("channels 1 and 3") << quint32(0x20) << quint8(0x05)
                                      << QStringLiteral("通道1 3 错误，请重试，若多次失败请联系厂商\r\n");
    QTest::newRow("cmd") << quint32(0x10) << quint8(0) << QStringLiteral("软硬件不匹配，请更换合适的软件/联系厂商\r\n");
    QTest::newRow("config") << quint32(0x100) << quint8(0)
                            << QStringLiteral("软硬件不匹配，请更换合适的软件/联系厂商\r\n");
    QTest::newRow("timeout") << quint32(0x400) << quint8(0) << QStringLiteral("采集超时，请重试。若多次失败请联系厂商\r\n");
    QTest::newRow("all in order") << quint32(0xFFF) << quint8(0x30)
                                  << QStringLiteral("SD卡错误，请重新采集或创建新的工程。\r\n若多次出现该问题，请保存数据后格式化SD卡。"
                                                    "STM32错误，请联系厂商\r\n"
                                                    "剩余空间不足，请尽快清理仪器内工程\r\n"
                                                    "通道5 6 错误，请重试，若多次失败请联系厂商\r\n"
                                                    "软硬件不匹配，请更换合适的软件/联系厂商\r\n"
                                                    "采集超时，请重试。若多次失败请联系厂商\r\n");
}

void TestStatusBar::errorTexts()
{
    QFETCH(quint32, bits);
    QFETCH(quint8, channels);
    QFETCH(QString, text);
    ModalBoxCatcher boxes;
    Report r = healthy();
    r.u8(8, 2).u32(24, bits).u8(41, channels);
    send(r);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().icon, QMessageBox::Critical);
    QCOMPARE(boxes.last().title, QStringLiteral("错误"));
    QCOMPARE(boxes.last().text, text);
    QCOMPARE(boxes.last().buttons, QStringList{QStringLiteral("好")});
}

void TestStatusBar::diskErrorAdvancesThePointFirst()
{
    ModalBoxCatcher boxes;
    QList<int> boxesSeenAtSignal;
    connect(bar, &Form_StatusBar::dirCreateError, this, [&] { boxesSeenAtSignal << boxes.count(); });
    Report r = healthy();
    r.u8(8, 2).u32(24, Form_StatusBar::DISKFS);
    send(r);
    QCOMPARE(boxesSeenAtSignal, QList<int>{0});
    QCOMPARE(boxes.count(), 1);
    send(r);  // same bits: neither signal nor box again
    QCOMPARE(boxesSeenAtSignal.size(), 1);
    QCOMPARE(boxes.count(), 1);
}

void TestStatusBar::clockDifferenceAndItsWarning()
{
    auto reportWithOffset = [](qint64 offsetMs, quint8 synced) {
        Report r = healthy();
        r.u64(0, quint64(QDateTime::currentMSecsSinceEpoch() + offsetMs)).u8(40, synced);
        return r;
    };
    const QString warningStart = QStringLiteral("仪器与上位机软件时间相差较大，请修改PC/手机时间为");

    // Whole hours either way are still the normal display; the extra milliseconds are dropped.
    for (qint64 offset : {3600 * 1000LL + 500, -(3600 * 1000LL + 500)}) {
        send(reportWithOffset(offset, 1));
        QVERIFY(qAbs(TimeDiff.load() - offset) < 400);
        QCOMPARE(int(TimeSynced.load()), 1);
        bar->onTimeOut();
        const QDateTime shown = QDateTime::currentDateTime().addSecs(offset / 1000);
        QCOMPARE(label("label_Time")->styleSheet(), QStringLiteral("color:green"));
        QVERIFY2(qAbs(QTime::fromString(label("label_Time")->text(), QStringLiteral("hh:mm:ss")).secsTo(shown.time())) <= 1,
                 qPrintable(label("label_Time")->text()));
    }
    QVERIFY(label("label_Time")->toolTip().startsWith(QStringLiteral("仪器比当前操作电脑慢了01:00:00.")));

    send(reportWithOffset(3601 * 1000LL + 500, 1));
    bar->onTimeOut();
    const QString text = label("label_Time")->text();
    QVERIFY2(text.startsWith(warningStart) && text.endsWith(QStringLiteral("左右")), qPrintable(text));
    const QString when = text.mid(warningStart.size(), 14);
    QVERIFY2(qAbs(QDateTime::fromString(when, QStringLiteral("yyyyMMdd hh:mm"))
                      .secsTo(QDateTime::currentDateTime().addSecs(3601))) <= 61,
             qPrintable(when));
    QCOMPARE(label("label_Time")->styleSheet(), QStringLiteral("color:red"));
    QVERIFY(label("label_Time")->toolTip().startsWith(QStringLiteral("仪器比当前操作电脑快了01:00:0")));

    // Without a satellite-set clock the difference is shown plainly, in red.
    send(reportWithOffset(-(3601 * 1000LL + 500), 0));
    QCOMPARE(int(TimeSynced.load()), 0);
    bar->onTimeOut();
    QVERIFY(QTime::fromString(label("label_Time")->text(), QStringLiteral("hh:mm:ss")).isValid());
    QCOMPARE(label("label_Time")->styleSheet(), QStringLiteral("color:red"));

    // A garbled clock field saturates instead of overflowing.
    Report wild = healthy();
    wild.u64(0, 0x8000000000000000ull);
    send(wild);
    QVERIFY(TimeDiff.load() < 0);
    bar->onTimeOut();

    // Report age.
    send(healthy());
    for (int i = 0; i < 52; ++i)
        bar->onTimeOut();
    QCOMPARE(label("label_UpdateSec")->text(), QStringLiteral("13"));
    QCOMPARE(label("label_UpdateSec")->styleSheet(), QStringLiteral("color:red;font:16px"));
    QVERIFY(!label("label_UpdateSec")->isHidden());
    send(healthy());
    bar->onTimeOut();
    QCOMPARE(label("label_UpdateSec")->styleSheet(), QStringLiteral("color:green;font:12px"));
}

void TestStatusBar::timeSpanText()
{
    QCOMPARE(msToTimeString(3600000 + 2 * 60000 + 3004), QStringLiteral("01:02:03.004"));
    QCOMPARE(msToTimeString(25 * 3600000LL), QStringLiteral("25:00:00.000"));
    QCOMPARE(msToTimeString(0), QStringLiteral("00:00:00.000"));
    QCOMPARE(ddmmToDegrees(3030.0), 30.5);
    QCOMPARE(ddmmToDegrees(-3030.0), -30.5);
}

void TestStatusBar::linkStateShowsAndHides()
{
    QSignalSpy changed(bar, &Form_StatusBar::statusChanged);
    bar->show();
    QVERIFY(QTest::qWaitForWindowExposed(bar));
    QVERIFY(label("label_MachineStatus")->isHidden());
    QCOMPARE(label("label_NetConnect")->toolTip(), QStringLiteral("网络未连接"));

    bar->setNetConnectStatus(true);
    QCOMPARE(changed.last().at(0).toString(), QStringLiteral("网络已连接"));
    QCOMPARE(label("label_NetConnect")->toolTip(), QStringLiteral("网络已连接"));
    QCOMPARE(iconOf(label("label_NetConnect")), bar->qPixmapFromSvg(":/Icon/link.svg", Qt::darkGreen).toImage());
    for (const char* name : {"label_MachineStatus", "label_GPS", "label_VoltNum", "label_Time", "label_SpaceNum"})
        QVERIFY2(label(name)->isVisible(), name);
    // The tick runs while connected: the report age grows on its own.
    QTRY_VERIFY(label("label_UpdateSec")->isVisible());

    send(healthy());
    bar->setNetConnectStatus(false);
    QCOMPARE(changed.last().at(0).toString(), QStringLiteral("网络未连接"));
    QCOMPARE(iconOf(label("label_NetConnect")), bar->qPixmapFromSvg(":/Icon/link.svg", Qt::gray).toImage());
    QCOMPARE(label("label_VoltNum")->text(), QStringLiteral("--V"));
    QCOMPARE(label("label_SpaceNum")->text(), QStringLiteral("--%"));
    QCOMPARE(label("label_TempNum")->text(), QStringLiteral("--℃"));
    QVERIFY(label("label_GPS")->isHidden());
    QVERIFY(progress()->isHidden());
}

void TestStatusBar::progressOfAGroup()
{
    bar->setProgressBarTime(true, 60, 7800);
    QCOMPARE(bar->getMachineState(), quint8(1));
    QCOMPARE(label("label_MachineStatus")->toolTip(), QStringLiteral("仪器忙碌"));
    QCOMPARE(iconOf(label("label_MachineStatus")), bar->qPixmapFromSvg(":/Icon/case.svg", QColor(255, 200, 0)).toImage());
    QCOMPARE(progress()->format(), QStringLiteral("M Band - %p%"));
    QCOMPARE(progress()->value(), 0);
    QVERIFY(!progress()->isHidden());
    for (int i = 0; i < 270; ++i)  // 67.5 s
        bar->calcProgress();
    QCOMPARE(progress()->value(), 98);
    bar->calcProgress();  // 67.75 s
    QCOMPARE(progress()->value(), 100);
    QCOMPARE(progress()->format(), QStringLiteral("等待传输"));
    // Finished: the tick no longer moves it.
    bar->onTimeOut();
    QCOMPARE(progress()->value(), 100);

    bar->setProgressBarTime(true, 10, 1000);
    QCOMPARE(progress()->format(), QStringLiteral("1000Hz - %p%"));
    bar->setSampleEnd();
    QCOMPARE(progress()->format(), QStringLiteral("完成 - %p%"));
    QCOMPARE(progress()->value(), 100);
    bar->onTimeOut();
    QCOMPARE(progress()->value(), 100);

    bar->setProgressBarTime(false, 0, 0);
    QCOMPARE(progress()->value(), 0);
    QVERIFY(progress()->isHidden());

    // A zero duration only stops a running bar.
    bar->setProgressBarTime(true, 20, 250000);
    bar->calcProgress();
    bar->setProgressBarTime(true, 0, 0);
    const int value = progress()->value();
    for (int i = 0; i < 20; ++i)
        bar->onTimeOut();
    QCOMPARE(progress()->value(), value);
}

void TestStatusBar::taskbarFollowsTheProgress()
{
    QWidget window;
    auto* inner = new Form_StatusBar(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto buttons = inner->findChildren<TaskbarButton*>();
    QCOMPARE(buttons.size(), 1);
    TaskbarButton* taskbar = buttons.first();
    QCOMPARE(taskbar->window(), &window);
    QVERIFY(!taskbar->isProgressVisible());
    QCOMPARE(taskbar->progressMaximum(), 100);

    inner->setProgressBarTime(true, 60, 61);
    for (int i = 0; i < 100; ++i)
        inner->calcProgress();
    QVERIFY(taskbar->isProgressVisible());
    QCOMPARE(taskbar->progressValue(), inner->findChild<QProgressBar*>()->value());
    QCOMPARE(taskbar->overlayAccessibleDescription(), QStringLiteral(":/Icon/sampleStart.png"));
    QVERIFY(!taskbar->overlayIcon().isNull());

    inner->setSampleEnd();
    QVERIFY(!taskbar->isProgressVisible());
    QCOMPARE(taskbar->progressValue(), 100);
    QCOMPARE(taskbar->overlayAccessibleDescription(), QStringLiteral(":/Icon/led.svg"));

    inner->setProgressBarTime(false, 0, 0);
    QVERIFY(!taskbar->isProgressVisible());
    QVERIFY(taskbar->overlayIcon().isNull());

    // A second show does not make a second button.
    window.hide();
    window.show();
    QCOMPARE(inner->findChildren<TaskbarButton*>().size(), 1);
}

void TestStatusBar::sitsInTheMainWindowStatusBar()
{
    MainWindow window;
    const auto bars = window.findChildren<Form_StatusBar*>();
    QCOMPARE(bars.size(), 1);
    auto* statusBar = window.findChild<QStatusBar*>(QStringLiteral("statusBar"));
    QCOMPARE(bars.first()->parentWidget(), statusBar);
    // Not connected at start: only the link icon shows.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(bars.first()->findChild<QLabel*>(QStringLiteral("label_NetConnect"))->isVisible());
    QVERIFY(!bars.first()->findChild<QLabel*>(QStringLiteral("label_GPS"))->isVisible());
}

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
