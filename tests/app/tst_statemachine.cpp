#include "MainWindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QStateMachine>
#include <QTabBar>
#include <QToolButton>
#include <QtTest>

// Walks the window's six states through their triggers and checks what each state shows.
class TestStateMachine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsWithoutProject();
    void onlineRunWaitsForSave();
    void offlineAndTrialRunsReturnToIdle();
    void busyReportOnlyMovesAnIdleWindow();
    void closingAProjectWhileTheInstrumentRecordsAlone();
    void syncPickerWrapsAroundMidnight();

private:
    QString state() const;
    bool shown(const char* name) const { return !window->findChild<QWidget*>(QLatin1String(name))->isHidden(); }
    bool enabled(const char* name) const { return window->findChild<QWidget*>(QLatin1String(name))->isEnabled(); }
    void click(const char* name) { window->findChild<QToolButton*>(QLatin1String(name))->click(); }
    void expectState(const QString& name);

    MainWindow* window = nullptr;
};

void TestStateMachine::init()
{
    window = new MainWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    expectState(QStringLiteral("NoProject"));
}

void TestStateMachine::cleanup()
{
    delete window;
    window = nullptr;
}

QString TestStateMachine::state() const
{
    const auto* machine = window->findChild<QStateMachine*>();
    const auto configuration = machine->configuration();
    return configuration.isEmpty() ? QString() : (*configuration.begin())->objectName();
}

void TestStateMachine::expectState(const QString& name)
{
    QTRY_COMPARE(state(), name);
    QCoreApplication::processEvents();
}

void TestStateMachine::startsWithoutProject()
{
    for (const char* hidden : {"tbtnStartSample", "tbtnPreSampleData", "tbtnStopSample", "tbtnSave", "tbtnCancelSave",
                               "tbtnSwitchView", "tbtnLastSampleGroup"})
        QVERIFY2(!shown(hidden), hidden);
    QVERIFY(shown("tbtnExportData"));
    QVERIFY(shown("tbtnDiskManage"));
    QVERIFY(enabled("tbtnNewProject"));
    QVERIFY(enabled("tbtnOpenProject"));
    QVERIFY(enabled("recentProjList"));
    QVERIFY(!enabled("tbtnCloseProject"));
    QVERIFY(!enabled("lineEdit_LineNum"));
    QVERIFY(!enabled("lineEdit_PointNum"));
}

void TestStateMachine::onlineRunWaitsForSave()
{
    emit window->projOpened();
    expectState(QStringLiteral("ProjectIdle"));
    QCOMPARE(window->findChild<QTabBar*>(QStringLiteral("tabBar"))->currentIndex(), 1);
    QVERIFY(shown("tbtnStartSample") && shown("tbtnPreSampleData"));
    QVERIFY(!enabled("tbtnNewProject") && !enabled("tbtnOpenProject") && !enabled("recentProjList"));
    QVERIFY(enabled("tbtnCloseProject") && enabled("lineEdit_LineNum") && enabled("comboBox_SyncMinute"));

    emit window->sampleStart();
    expectState(QStringLiteral("OnlineSampling"));
    QVERIFY(shown("tbtnStopSample"));
    QVERIFY(!shown("tbtnStartSample") && !shown("tbtnExportData") && !shown("tbtnDiskManage"));
    QVERIFY(!enabled("tbtnCloseProject") && !enabled("lineEdit_PointNum") && !enabled("comboBox_SyncHour"));

    emit window->sampleOver();
    expectState(QStringLiteral("AwaitSave"));
    QVERIFY(shown("tbtnSave") && shown("tbtnCancelSave") && !shown("tbtnStopSample"));
    emit window->statusIdle();  // an idle report does not skip the save question
    QCoreApplication::processEvents();
    QCOMPARE(state(), QStringLiteral("AwaitSave"));
    click("tbtnSave");
    expectState(QStringLiteral("ProjectIdle"));

    emit window->sampleStart();
    expectState(QStringLiteral("OnlineSampling"));
    emit window->sampleOver();
    expectState(QStringLiteral("AwaitSave"));
    click("tbtnCancelSave");
    expectState(QStringLiteral("ProjectIdle"));

    emit window->sampleStart();
    expectState(QStringLiteral("OnlineSampling"));
    emit window->sampleStoped();
    expectState(QStringLiteral("ProjectIdle"));
    emit window->sampleStart();
    expectState(QStringLiteral("OnlineSampling"));
    emit window->statusIdle();
    expectState(QStringLiteral("ProjectIdle"));
}

void TestStateMachine::offlineAndTrialRunsReturnToIdle()
{
    emit window->projOpened();
    expectState(QStringLiteral("ProjectIdle"));
    emit window->sampleStart_Off();
    expectState(QStringLiteral("OfflineSampling"));
    QVERIFY(shown("tbtnStopSample") && !shown("tbtnStartSample"));
    emit window->sampleOver();
    expectState(QStringLiteral("ProjectIdle"));
    emit window->sampleStart_Off();
    expectState(QStringLiteral("OfflineSampling"));
    emit window->sampleStoped();
    expectState(QStringLiteral("ProjectIdle"));

    emit window->sampleStart_Pre();
    expectState(QStringLiteral("PreSampling"));
    QVERIFY(!shown("tbtnStopSample") && !shown("tbtnStartSample") && !shown("tbtnSave"));
    // No transition leaves a trial run by closing the project.
    QVERIFY(!enabled("tbtnCloseProject"));
    emit window->sampleOver();
    expectState(QStringLiteral("ProjectIdle"));
    QVERIFY(enabled("tbtnCloseProject"));
    emit window->sampleStart_Pre();
    expectState(QStringLiteral("PreSampling"));
    emit window->statusIdle();
    expectState(QStringLiteral("ProjectIdle"));
}

void TestStateMachine::busyReportOnlyMovesAnIdleWindow()
{
    emit window->statusBusy();
    QCoreApplication::processEvents();
    QCOMPARE(state(), QStringLiteral("NoProject"));
    emit window->projOpened();
    expectState(QStringLiteral("ProjectIdle"));
    emit window->statusBusy();
    expectState(QStringLiteral("OfflineSampling"));
    emit window->statusIdle();
    expectState(QStringLiteral("ProjectIdle"));
}

void TestStateMachine::closingAProjectWhileTheInstrumentRecordsAlone()
{
    emit window->projOpened();
    expectState(QStringLiteral("ProjectIdle"));
    emit window->statusBusy();
    expectState(QStringLiteral("OfflineSampling"));
    // Offline leaves the close button and line/point fields as idle set them.
    QVERIFY(enabled("tbtnCloseProject"));
    QVERIFY(enabled("lineEdit_LineNum"));
    click("tbtnCloseProject");
    expectState(QStringLiteral("NoProject"));
    QVERIFY(enabled("tbtnOpenProject"));
}

void TestStateMachine::syncPickerWrapsAroundMidnight()
{
    auto* hour = window->findChild<QComboBox*>(QStringLiteral("comboBox_SyncHour"));
    auto* minute = window->findChild<QComboBox*>(QStringLiteral("comboBox_SyncMinute"));
    QCOMPARE(hour->count(), 24);
    QCOMPARE(minute->count(), 60);
    auto* sync = window->findChild<QGroupBox*>(QStringLiteral("groupBox_Sync"));
    QVERIFY(!shown("btn_Increase"));
    sync->setChecked(true);  // the pickers only work while a cooperative start is wanted
    QVERIFY(shown("btn_Increase") && shown("comboBox_SyncHour"));
    const int proposed = hour->currentIndex() * 60 + minute->currentIndex();
    const QTime now = QTime::currentTime();
    QVERIFY((proposed - (now.hour() * 60 + now.minute()) + 1440) % 1440 <= 2);  // about a minute ahead
    hour->setCurrentIndex(23);
    minute->setCurrentIndex(59);
    click("btn_Increase");
    QCOMPARE(hour->currentText(), QStringLiteral("0"));
    QCOMPARE(minute->currentText(), QStringLiteral("0"));
    click("btn_Decrease");
    QCOMPARE(hour->currentText(), QStringLiteral("23"));
    QCOMPARE(minute->currentText(), QStringLiteral("59"));
    hour->setCurrentIndex(5);
    minute->setCurrentIndex(0);
    click("btn_Decrease");
    QCOMPARE(hour->currentIndex(), 4);
    QCOMPARE(minute->currentIndex(), 59);
}

QTEST_MAIN(TestStateMachine)
#include "tst_statemachine.moc"
