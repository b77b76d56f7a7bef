#include "FramelessGeometry.h"
#include "FramelessHelper.h"
#include "NativeWindowHelper.h"
#include "NativeWindowTester.h"
#include "QtMaterialSnackbar.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <QWindow>


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
    void edgeAndCaptionHitTest();
    void titleBarTestSkipsExcludedWidgets();
    void mouseMovesResizesAndMaximizes();
    void scaleFactorFollowsDpiOncePerChange();
};

void TestFrameless::marginsAndDpiRule()
{
    QCOMPARE(scaledMargins(QMargins(3, -3, 5, 1), 1.5), QMargins(5, -5, 8, 2)); // halves away from zero
    QCOMPARE(scaledMargins(QMargins(3, 0, 1, 2), 2.0), QMargins(6, 0, 2, 4));
    QCOMPARE(scaleFactorForDpi(96), 1.0);
    QCOMPARE(scaleFactorForDpi(143), 1.0);
    QCOMPARE(scaleFactorForDpi(144), 2.0);
}

void TestFrameless::edgeAndCaptionHitTest()
{
    struct Row
    {
        QPoint pos;
        QMargins borders;
        bool resizable;
        bool testerSays;
        WindowHit hit;
    };
    const QMargins three(3, 3, 3, 3);
    const Row rows[] = {
        {{0, 0}, three, true, true, WindowHit::TopLeft},
        {{397, 297}, three, true, true, WindowHit::BottomRight}, // within 3 px of the corner
        {{396, 296}, three, true, true, WindowHit::Caption},
        {{200, 3}, three, true, false, WindowHit::Top},
        {{200, 4}, three, true, false, WindowHit::Client},
        {{3, 150}, three, true, true, WindowHit::Left},
        {{397, 150}, three, true, true, WindowHit::Right},
        {{397, 297}, three, false, true, WindowHit::Client}, // fixed size
        {{4, 150}, QMargins(), true, true, WindowHit::Left}, // no margins: the fallback width
        {{5, 150}, QMargins(), true, true, WindowHit::Caption},
    };
    CaptionTester tester;
    for (const Row& row : rows) {
        tester.caption = row.testerSays;
        QCOMPARE(hitTestWindow(row.pos, QSize(400, 300), row.borders, row.resizable, row.resizable, &tester), row.hit);
    }
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

    t.window.setMinimumSize(500, 300);
    QTest::mousePress(w, Qt::LeftButton, {}, {598, 398});
    QTest::mouseMove(w, {638, 428});
    QTest::mouseRelease(w, Qt::LeftButton, {}, {638, 428});
    QCOMPARE(w->geometry(), QRect(before + QPoint(50, 40), QSize(640, 430)));
    QTest::mousePress(w, Qt::LeftButton, {}, {1, 200}); // the left edge, past the minimum width
    QTest::mouseMove(w, {301, 200});
    QTest::mouseRelease(w, Qt::LeftButton, {}, {161, 200}); // the same global point
    QCOMPARE(w->geometry(), QRect(before + QPoint(190, 40), QSize(500, 430)));

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
