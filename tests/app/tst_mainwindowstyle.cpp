#include "MainWindow.h"

#include "FramelessHelper.h"

#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QToolButton>
#include <QtTest>

// The main window loads the program style and hands its frame to the frameless helper.
class TestMainWindowStyle : public QObject
{
    Q_OBJECT
private slots:
    void runsStyledWithWorkingWindowButtons();
};

void TestMainWindowStyle::runsStyledWithWorkingWindowButtons()
{
    MainWindow window;
    QVERIFY(qApp->styleSheet().contains(QLatin1String("QWidget#appBar")));

    window.resize(1200, 680);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* helper = window.findChild<FramelessHelper*>();
    QVERIFY(helper);
    QCOMPARE(helper->titleBarHeight(), 50);

    const QString folder = QStringLiteral(VARN_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    window.findChild<QTabBar*>(QStringLiteral("tabBar"))->setCurrentIndex(1);
    QVERIFY(window.grab().save(folder + QStringLiteral("/mainwindow_styled_sampling.png")));
    window.findChild<QTabBar*>(QStringLiteral("tabBar"))->setCurrentIndex(0);
    QVERIFY(window.grab().save(folder + QStringLiteral("/mainwindow_styled.png")));

    auto* maximize = window.findChild<QToolButton*>(QStringLiteral("btnMenu_Max"));
    QVERIFY(!maximize->icon().isNull());
    QCOMPARE(maximize->toolTip(), QStringLiteral("最大化"));
    const qint64 normalIcon = maximize->icon().cacheKey();
    maximize->click();
    QTRY_VERIFY(window.isMaximized());
    QTRY_COMPARE(maximize->toolTip(), QStringLiteral("还原"));
    QCOMPARE(maximize->text(), QStringLiteral("2"));
    QVERIFY(maximize->icon().cacheKey() != normalIcon);
    maximize->click();
    QTRY_VERIFY(!window.isMaximized());
    QTRY_COMPARE(maximize->toolTip(), QStringLiteral("最大化"));
    QCOMPARE(maximize->text(), QStringLiteral("1"));
}

QTEST_MAIN(TestMainWindowStyle)
#include "tst_mainwindowstyle.moc"
