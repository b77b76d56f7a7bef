#include "MainWindow.h"

#include "GlobalSnackbar.h"
#include "OperatorMessages.h"
#include "QtMaterialSnackbar.h"

#include <QDir>
#include <QtConcurrent>
#include <QFontDatabase>
#include <QLabel>
#include <QStackedWidget>
#include <QTabBar>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void frameHasItsTabsAndPages();
    void escapeDoesNotCloseTheWindow();
    void screenshotWithChineseText();
    void workerMessagesReachTheWindowsSnackbarOnly();
};

void TestMainWindow::frameHasItsTabsAndPages()
{
    MainWindow window;
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(window.windowTitle(), QStringLiteral("Varn28"));
    auto* tabBar = window.findChild<QTabBar*>(QStringLiteral("tabBar"));
    QVERIFY(tabBar);
    QCOMPARE(tabBar->count(), 3);
    QCOMPARE(tabBar->tabText(0), QStringLiteral("工程管理"));
    QCOMPARE(tabBar->tabText(1), QStringLiteral("采集任务"));
    QCOMPARE(tabBar->tabText(2), QStringLiteral("参数设置"));
    auto* pages = window.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QVERIFY(pages);
    tabBar->setCurrentIndex(1);
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("pageSampleTask"));
    for (const char* name : {"appBar", "labTitle", "recentProjList", "stacked_Graph", "statusBar", "tbtnStartSample",
                             "groupBox_Sync", "lineEdit_LineNum"})
        QVERIFY2(window.findChild<QWidget*>(QLatin1String(name)), name);
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("labTitle"))->text(), QStringLiteral("Varn-28采集系统"));
}

void TestMainWindow::escapeDoesNotCloseTheWindow()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(window.isVisible());
}

void TestMainWindow::screenshotWithChineseText()
{
    QVERIFY2(!QFontDatabase().families(QFontDatabase::SimplifiedChinese).isEmpty(),
             "no font with Chinese glyphs: install fonts-wqy-microhei");
    MainWindow window;
    window.resize(1200, 680);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString folder = QStringLiteral(VARN_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral("/mainwindow.png");
    QVERIFY(window.grab().save(file));
    QVERIFY(QFileInfo(file).size() > 0);
}

void TestMainWindow::workerMessagesReachTheWindowsSnackbarOnly()
{
    {
        MainWindow window;
        auto* snackbar = window.findChild<QtMaterialSnackbar*>();
        QVERIFY(snackbar);
        QCOMPARE(globalSnackbar, snackbar);
        QtConcurrent::run([] { showSnackbarMessage(QStringLiteral("计算中请稍后")); }).waitForFinished();
        QTRY_COMPARE(snackbar->messages().value(0), QStringLiteral("计算中请稍后"));
    }
    QVERIFY(!globalSnackbar);
    // After the window is gone a late message from a worker is dropped without harm.
    QtConcurrent::run([] { showSnackbarMessage(QStringLiteral("late")); }).waitForFinished();
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
