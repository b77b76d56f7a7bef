#include "FramelessGeometry.h"
#include "FramelessHelper.h"
#include "NativeWindowHelper.h"
#include "NativeWindowTester.h"
#include "QtMaterialSnackbar.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <QWindow>

Q_DECLARE_METATYPE(WindowHit)
Q_DECLARE_METATYPE(QMargins)

namespace {

struct CaptionTester : NativeWindowTester
{
    QMargins draggableMargins() const override { return {}; }
    QMargins maximizedMargins() const override { return {}; }
    bool hitTest(const QPoint&) const override { return caption; }
    bool caption = true;
};

// A frameless window with a 50-pixel title bar: a plain title label, an excluded button and
// an excluded box holding a label; the snackbar overlay raised over all of it.
struct TitledWindow
{
    QWidget window{nullptr, Qt::FramelessWindowHint};
    QWidget* titleBar = new QWidget(&window);
    QLabel* title = new QLabel(QStringLiteral("title"), titleBar);
    QPushButton* button = new QPushButton(QStringLiteral("x"), titleBar);
    QWidget* box = new QWidget(titleBar);
    QLabel* boxLabel = new QLabel(QStringLiteral("in box"), box);
    QtMaterialSnackbar* snackbar = nullptr;
    FramelessHelper* helper = nullptr;

    TitledWindow()
    {
        window.setGeometry(100, 100, 600, 400);
        titleBar->setGeometry(0, 0, 600, 60);
        title->setGeometry(10, 5, 100, 40);
        button->setGeometry(500, 5, 40, 40);
        box->setGeometry(300, 5, 100, 40);
        boxLabel->setGeometry(5, 5, 60, 30);
        snackbar = new QtMaterialSnackbar(&window);
        snackbar->raise();
        helper = new FramelessHelper(&window);
        helper->setDraggableMargins(3, 3, 3, 3);
        helper->setTitleBarHeight(50);
        helper->addExcludeItem(button);
        helper->addExcludeItem(box);
    }
};

} // namespace

class TestFrameless : public QObject
{
    Q_OBJECT
private slots:
    void marginsAndDpiRule();
    void edgeAndCaptionHitTest_data();
    void edgeAndCaptionHitTest();
    void titleBarTestSkipsExcludedWidgets();
    void resizingByHandKeepsLimits();
    void mouseMovesResizesAndMaximizes();
    void scaleFactorFollowsDpiOncePerChange();
};

void TestFrameless::marginsAndDpiRule()
{
    QCOMPARE(scaledMargins(QMargins(3, -3, 5, 1), 1.5), QMargins(5, -5, 8, 2)); // halves away from zero
    QCOMPARE(scaledMargins(QMargins(3, 3, 3, 3), 1.0), QMargins(3, 3, 3, 3));
    QCOMPARE(scaledMargins(QMargins(3, 0, 1, 2), 2.0), QMargins(6, 0, 2, 4));
    QCOMPARE(scaleFactorForDpi(96), 1.0);
    QCOMPARE(scaleFactorForDpi(143), 1.0);
    QCOMPARE(scaleFactorForDpi(144), 2.0);
}

void TestFrameless::edgeAndCaptionHitTest_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QMargins>("borders");
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<bool>("testerSays");
    QTest::addColumn<WindowHit>("hit");
    const QMargins three(3, 3, 3, 3);
    QTest::newRow("top-left") << QPoint(0, 0) << three << true << true << WindowHit::TopLeft;
    QTest::newRow("within 3 of bottom-right") << QPoint(397, 297) << three << true << true << WindowHit::BottomRight;
    QTest::newRow("just inside bottom-right") << QPoint(396, 296) << three << true << true << WindowHit::Caption;
    QTest::newRow("top") << QPoint(200, 3) << three << true << false << WindowHit::Top;
    QTest::newRow("below top") << QPoint(200, 4) << three << true << true << WindowHit::Caption;
    QTest::newRow("below top, client") << QPoint(200, 4) << three << true << false << WindowHit::Client;
    QTest::newRow("left") << QPoint(3, 150) << three << true << true << WindowHit::Left;
    QTest::newRow("right") << QPoint(397, 150) << three << true << true << WindowHit::Right;
    QTest::newRow("bottom-left") << QPoint(1, 298) << three << true << true << WindowHit::BottomLeft;
    QTest::newRow("top-right") << QPoint(398, 1) << three << true << true << WindowHit::TopRight;
    QTest::newRow("bottom") << QPoint(200, 299) << three << true << true << WindowHit::Bottom;
    QTest::newRow("fixed size, edge") << QPoint(397, 297) << three << false << true << WindowHit::Client;
    QTest::newRow("fixed size, inside") << QPoint(200, 20) << three << false << true << WindowHit::Caption;
    QTest::newRow("no margins: fallback 4") << QPoint(4, 150) << QMargins() << true << true << WindowHit::Left;
    QTest::newRow("no margins: inside") << QPoint(5, 150) << QMargins() << true << true << WindowHit::Caption;
}

void TestFrameless::edgeAndCaptionHitTest()
{
    QFETCH(QPoint, pos);
    QFETCH(QMargins, borders);
    QFETCH(bool, resizable);
    QFETCH(bool, testerSays);
    QFETCH(WindowHit, hit);
    CaptionTester tester;
    tester.caption = testerSays;
    QCOMPARE(hitTestWindow(pos, QSize(400, 300), borders, resizable, resizable, &tester), hit);
}

void TestFrameless::titleBarTestSkipsExcludedWidgets()
{
    TitledWindow t;
    const QSet<QObject*> exclude{t.button, t.box};
    auto caption = [&](QPoint p, const QSet<QObject*>& include = {}) {
        return isCaptionAt(&t.window, p, 50, include, exclude);
    };
    QVERIFY(caption({250, 49}));   // empty part of the title bar
    QVERIFY(!caption({250, 50}));  // below it
    QVERIFY(caption({20, 20}));    // the title label
    QVERIFY(!caption({510, 20}));  // excluded button, under the raised snackbar
    QVERIFY(!caption({320, 20}));  // label inside the excluded box
    QVERIFY(!caption({395, 40}));  // the box itself
    QVERIFY(caption({320, 20}, {t.boxLabel}));
    QVERIFY(!isCaptionAt(&t.window, {250, 20}, 0, {}, exclude));
    QVERIFY(isCaptionAt(&t.window, {250, 20}, 50, {}, {})); // a window without children there
}

void TestFrameless::resizingByHandKeepsLimits()
{
    const QRect start(100, 100, 400, 300);
    const QSize min(200, 150), max(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QCOMPARE(resizedGeometry(start, Qt::BottomEdge | Qt::RightEdge, {40, 30}, min, max), QRect(100, 100, 440, 330));
    QCOMPARE(resizedGeometry(start, Qt::LeftEdge | Qt::TopEdge, {-10, 20}, min, max), QRect(90, 120, 410, 280));
    QCOMPARE(resizedGeometry(start, Qt::LeftEdge, {350, 99}, min, max), QRect(300, 100, 200, 300));
    QCOMPARE(resizedGeometry(start, Qt::TopEdge, {0, 500}, min, QSize(800, 600)), QRect(100, 250, 400, 150));
    QCOMPARE(resizedGeometry(start, Qt::BottomEdge, {0, 900}, min, QSize(800, 600)), QRect(100, 100, 400, 600));
}

void TestFrameless::mouseMovesResizesAndMaximizes()
{
    // Offscreen there is no window manager, so the window is moved and resized by hand.
    TitledWindow t;
    QSignalSpy maximized(t.helper, &FramelessHelper::maximizedChanged);
    t.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.window));
    QWindow* w = t.window.windowHandle();
    QVERIFY(w->findChild<NativeWindowHelper*>());

    QTest::mouseMove(w, {599, 200});
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::SizeHorCursor);
    QTest::mouseMove(w, {300, 200});
    QVERIFY(!QGuiApplication::overrideCursor());

    const QPoint before = w->position();
    QTest::mousePress(w, Qt::LeftButton, {}, {250, 20});
    QTest::mouseMove(w, {300, 60});
    QTest::mouseRelease(w, Qt::LeftButton, {}, {250, 20}); // the pointer moved with the window
    QCOMPARE(w->position(), before + QPoint(50, 40));

    // A press on an excluded button is the button's own.
    QSignalSpy clicked(t.button, &QPushButton::clicked);
    QTest::mouseClick(w, Qt::LeftButton, {}, {510, 20});
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(w->position(), before + QPoint(50, 40));

    QTest::mousePress(w, Qt::LeftButton, {}, {598, 398});
    QTest::mouseMove(w, {638, 428});
    QTest::mouseRelease(w, Qt::LeftButton, {}, {638, 428});
    QCOMPARE(w->geometry().size(), QSize(640, 430));
    QCOMPARE(w->position(), before + QPoint(50, 40));

    QTest::mouseDClick(w, Qt::LeftButton, {}, {250, 20});
    QTRY_VERIFY(t.helper->isMaximized());
    QCOMPARE(maximized.count(), 1);
    QTest::mouseDClick(w, Qt::LeftButton, {}, {250, 20});
    QTRY_VERIFY(!t.helper->isMaximized());
    QCOMPARE(maximized.count(), 2);

    // A window of fixed size keeps it on a double click.
    t.window.setFixedSize(640, 430);
    QTest::mouseDClick(w, Qt::LeftButton, {}, {250, 20});
    QTest::qWait(50);
    QVERIFY(!t.helper->isMaximized());
    t.helper->triggerMaximizeButtonAction();
    QTRY_COMPARE(maximized.count(), 3);
}

void TestFrameless::scaleFactorFollowsDpiOncePerChange()
{
    TitledWindow t;
    QSignalSpy changed(t.helper, &FramelessHelper::scaleFactorChanged);
    t.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t.window));
    auto* native = t.window.windowHandle()->findChild<NativeWindowHelper*>();
    QVERIFY(native);
    QCOMPARE(t.helper->scaleFactor(), 1.0);
    auto dpiChanged = [native](qreal dpi) {
        QVERIFY(QMetaObject::invokeMethod(native, "onScreenDpiChanged", Q_ARG(qreal, dpi)));
    };
    dpiChanged(144);
    dpiChanged(150);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toReal(), 2.0);
    QCOMPARE(t.helper->scaleFactor(), 2.0);
    dpiChanged(96);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(t.helper->scaleFactor(), 1.0);
}

QTEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
