#include "GlobalSnackbar.h"
#include "OperatorMessages.h"
#include "QtMaterialSnackbar.h"
#include "QtMaterialSnackbarStateMachine.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QState>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Follows one snackbar's machine: when a text starts to slide in ("in"), is fully shown
// ("shown"), starts to slide out ("out") and is gone ("gone"), with the time of each.
class SnackbarWatch : public QObject
{
public:
    struct Mark
    {
        QString what;
        QString text;
        qint64 ms;
    };

    explicit SnackbarWatch(QtMaterialSnackbar* snackbar)
        : bar(snackbar)
    {
        machine = bar->findChild<QtMaterialSnackbarStateMachine*>();
        Q_ASSERT(machine);
        hidden = machine->findChild<QState*>(QStringLiteral("hidden"));
        visible = machine->findChild<QState*>(QStringLiteral("visible"));
        finalState = machine->findChild<QState*>(QStringLiteral("final"));
        Q_ASSERT(hidden && visible && finalState);
        clock.start();
        connect(visible, &QState::entered, this, [this] { mark(QStringLiteral("in")); });
        connect(visible, &QState::propertiesAssigned, this, [this] { mark(QStringLiteral("shown")); });
        connect(finalState, &QState::entered, this, [this] { mark(QStringLiteral("out")); });
        // Runs after the snackbar's dequeue, so the text is the next one: not recorded.
        connect(finalState, &QState::propertiesAssigned, this, [this] { marks.push_back({QStringLiteral("gone"), QString(), clock.elapsed()}); });
    }

    bool idle() const { return bar->messages().isEmpty() && machine->configuration().contains(hidden); }

    QStringList shown() const
    {
        QStringList texts;
        for (const Mark& m : marks)
            if (m.what == QLatin1String("shown"))
                texts << m.text;
        return texts;
    }

    // Time of the n-th mark of this kind, -1 if there is none.
    qint64 at(const QString& what, int n = 0) const
    {
        for (const Mark& m : marks)
            if (m.what == what && n-- == 0)
                return m.ms;
        return -1;
    }

    QtMaterialSnackbar* bar;
    QtMaterialSnackbarStateMachine* machine;
    QState* hidden;
    QState* visible;
    QState* finalState;
    QElapsedTimer clock;
    QVector<Mark> marks;

private:
    void mark(const QString& what) { marks.push_back({what, bar->messages().value(0), clock.elapsed()}); }
};

QImage renderOf(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool allTransparent(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

// First and last painted column of a row, or (-1, -1).
QPair<int, int> paintedSpan(const QImage& image, int y)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (qAlpha(image.pixel(x, y)) != 0) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return {first, last};
}

void saveScreenshot(const QImage& image, const QString& name)
{
    const QString dir = QStringLiteral(VARN_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    image.save(dir + QLatin1Char('/') + name);
}

// Posts count texts "<tag><thread>-<n>" from each of threads workers at once.
void postFromWorkers(int threads, int count, const QString& tag)
{
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, count, tag] {
            for (int n = 0; n < count; ++n)
                showSnackbarMessage(QStringLiteral("%1%2-%3").arg(tag).arg(t).arg(n));
        });
    }
    for (std::thread& worker : workers)
        worker.join();
}

} // namespace

class TestSnackbar : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void equalTextsInARowShowOnce();
    void aTextWaitsForTheOneOnShow();
    void instantMessageCutsIn();
    void dequeueOnAnEmptyQueueDoesNothing();
    void clickToDismiss();
    void boxIsPaintedCentredAtTheBottom();
    void messagesFromManyWorkerThreadsArriveOnTheGuiThread();
    void lateMessagesAreDroppedSafely();
    void messageBoxesReachTheOperatorWhileTheSnackbarLives();
};

void TestSnackbar::cleanup()
{
    installOperatorMessageReceivers(nullptr);
}

void TestSnackbar::equalTextsInARowShowOnce()
{
    QWidget window;
    window.resize(400, 300);
    QtMaterialSnackbar bar(&window);
    bar.setAutoHideDuration(50);
    SnackbarWatch watch(&bar);

    bar.addMessage(QStringLiteral("A"));
    bar.addMessage(QStringLiteral("A"));
    QCOMPARE(bar.messages(), QStringList{QStringLiteral("A")});
    QTRY_COMPARE(watch.shown().size(), 1);
    bar.addMessage(QStringLiteral("A"));  // equal to the one on show, which is last
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 5000);
    QCOMPARE(watch.shown(), QStringList{QStringLiteral("A")});

    // Only the last queued text is compared.
    watch.marks.clear();
    bar.addMessage(QStringLiteral("A"));
    bar.addMessage(QStringLiteral("B"));
    bar.addMessage(QStringLiteral("A"));
    QCOMPARE(bar.messages(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A")}));
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 8000);
    QCOMPARE(watch.shown(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A")}));
}

void TestSnackbar::aTextWaitsForTheOneOnShow()
{
    QWidget window;
    window.resize(400, 300);
    QtMaterialSnackbar bar(&window);
    QCOMPARE(bar.autoHideDuration(), 2000);
    const int stay = 400;
    bar.setAutoHideDuration(stay);
    SnackbarWatch watch(&bar);

    const qint64 added = watch.clock.elapsed();
    bar.addMessage(QStringLiteral("first"));
    bar.addMessage(QStringLiteral("second"));
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 8000);
    QCOMPARE(watch.shown(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));

    // Slide in 300 ms, stay, slide out 300 ms, then the next one starts. The auto-hide
    // timer is a coarse timer, which may fire up to 5 % early.
    const qint64 in1 = watch.at(QStringLiteral("in")), shown1 = watch.at(QStringLiteral("shown"));
    const qint64 out1 = watch.at(QStringLiteral("out")), gone1 = watch.at(QStringLiteral("gone"));
    const qint64 in2 = watch.at(QStringLiteral("in"), 1);
    QVERIFY2(in1 - added < 300, qPrintable(QString::number(in1 - added)));
    QVERIFY2(shown1 - in1 >= 280 && shown1 - in1 < 300 + 700, qPrintable(QString::number(shown1 - in1)));
    QVERIFY2(out1 - shown1 >= stay * 95 / 100 - 5 && out1 - shown1 < stay + 700, qPrintable(QString::number(out1 - shown1)));
    QVERIFY2(gone1 - out1 >= 280 && gone1 - out1 < 300 + 700, qPrintable(QString::number(gone1 - out1)));
    QVERIFY2(in2 >= gone1 && in2 - gone1 < 300, qPrintable(QString::number(in2 - gone1)));
    QVERIFY(watch.at(QStringLiteral("shown"), 1) - in2 >= 280);
}

void TestSnackbar::instantMessageCutsIn()
{
    QWidget window;
    window.resize(400, 300);
    QtMaterialSnackbar bar(&window);
    bar.setAutoHideDuration(10000);
    SnackbarWatch watch(&bar);

    bar.addMessage(QStringLiteral("A"));
    bar.addMessage(QStringLiteral("B"));
    QTRY_COMPARE(watch.shown().size(), 1);
    const qint64 cut = watch.clock.elapsed();
    bar.addInstantMessage(QStringLiteral("C"));
    QCOMPARE(bar.messages(), (QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("B")}));
    QTRY_VERIFY(watch.at(QStringLiteral("out")) >= 0);
    QVERIFY(watch.at(QStringLiteral("out")) - cut < 500);  // not after the 10 s
    bar.setAutoHideDuration(50);
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 8000);
    QCOMPARE(watch.shown(), (QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("B")}));

    // With nothing on show it simply shows.
    watch.marks.clear();
    bar.addInstantMessage(QStringLiteral("D"));
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 5000);
    QCOMPARE(watch.shown(), QStringList{QStringLiteral("D")});
}

void TestSnackbar::dequeueOnAnEmptyQueueDoesNothing()
{
    QWidget window;
    QtMaterialSnackbar bar(&window);
    SnackbarWatch watch(&bar);
    QVERIFY(watch.idle());
    int left = 0;
    connect(watch.hidden, &QState::exited, this, [&left] { ++left; });
    bar.dequeue();
    QTest::qWait(100);
    QCOMPARE(left, 0);
    QVERIFY(watch.marks.isEmpty());
    QVERIFY(watch.idle());
}

void TestSnackbar::clickToDismiss()
{
    QWidget window;
    window.resize(400, 300);
    QtMaterialSnackbar bar(&window);
    QVERIFY(bar.testAttribute(Qt::WA_TransparentForMouseEvents));
    bar.setClickToDismissMode(true);
    bar.setAutoHideDuration(10000);
    SnackbarWatch watch(&bar);

    bar.addMessage(QStringLiteral("A"));
    QTRY_COMPARE(watch.shown().size(), 1);
    QVERIFY(!bar.testAttribute(Qt::WA_TransparentForMouseEvents));
    const qint64 click = watch.clock.elapsed();
    QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 290));
    QVERIFY(bar.testAttribute(Qt::WA_TransparentForMouseEvents));
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 3000);
    QVERIFY(watch.at(QStringLiteral("out")) - click < 500);
}

void TestSnackbar::boxIsPaintedCentredAtTheBottom()
{
    QWidget window;
    window.resize(640, 480);
    auto* button = new QPushButton(QStringLiteral("beneath"), &window);
    button->setGeometry(10, 440, 100, 30);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QtMaterialSnackbar bar(&window);
    bar.setAutoHideDuration(10000);
    SnackbarWatch watch(&bar);

    QCOMPARE(bar.geometry(), window.rect());
    // Covering the window, it still lets the mouse reach what lies beneath.
    QCOMPARE(window.childAt(20, 450), button);
    QVERIFY(allTransparent(renderOf(&bar)));  // empty queue: nothing painted

    bar.addMessage(QStringLiteral("连接成功 connected"));
    QTRY_COMPARE(watch.shown().size(), 1);
    QImage image = renderOf(&bar);
    saveScreenshot(image, QStringLiteral("snackbar_640.png"));
    QPair<int, int> span = paintedSpan(image, 480 - 15);
    QVERIFY(span.first > 0);
    QVERIFY2(qAbs((span.first + span.second + 1) / 2 - 320) <= 2, qPrintable(QStringLiteral("%1..%2").arg(span.first).arg(span.second)));
    QVERIFY(span.second - span.first + 1 >= 300);  // at least the box width
    const QRgb centre = image.pixel(320, 480 - 15);
    QVERIFY(qRed(centre) < 80 && qAlpha(centre) > 150);  // dark box
    QCOMPARE(paintedSpan(image, 100).first, -1);  // the box stays at the bottom

    window.resize(900, 500);
    QTRY_COMPARE(bar.geometry(), window.rect());
    image = renderOf(&bar);
    saveScreenshot(image, QStringLiteral("snackbar_900.png"));
    span = paintedSpan(image, 500 - 15);
    QVERIFY2(qAbs((span.first + span.second + 1) / 2 - 450) <= 2, qPrintable(QStringLiteral("%1..%2").arg(span.first).arg(span.second)));

    watch.machine->progress();  // the text goes at once
    QTRY_VERIFY_WITH_TIMEOUT(watch.idle(), 3000);
    QVERIFY(allTransparent(renderOf(&bar)));
}

void TestSnackbar::messagesFromManyWorkerThreadsArriveOnTheGuiThread()
{
    QWidget window;
    window.resize(400, 300);
    QtMaterialSnackbar bar(&window);
    bar.setAutoHideDuration(60000);
    installOperatorMessageReceivers(&bar);
    QCOMPARE(globalSnackbar, &bar);

    const int threads = 8, count = 50;
    postFromWorkers(threads, count, QStringLiteral("w"));
    // All workers are done, yet nothing has arrived: the texts wait for the GUI thread.
    QVERIFY(bar.messages().isEmpty());

    QTRY_COMPARE(bar.messages().size(), threads * count);
    const QStringList texts = bar.messages();
    for (int t = 0; t < threads; ++t) {
        int last = -1;
        for (const QString& text : texts) {
            const QString prefix = QStringLiteral("w%1-").arg(t);
            if (!text.startsWith(prefix))
                continue;
            const int n = text.mid(prefix.size()).toInt();
            QCOMPARE(n, last + 1);  // each thread's texts in the order it posted them
            last = n;
        }
        QCOMPARE(last, count - 1);
    }

    // On the GUI thread the call is direct.
    showSnackbarMessage(QStringLiteral("direct"));
    QCOMPARE(bar.messages().last(), QStringLiteral("direct"));
}

void TestSnackbar::lateMessagesAreDroppedSafely()
{
    // Before any snackbar exists nothing happens.
    QCOMPARE(globalSnackbar, nullptr);
    showSnackbarMessage(QStringLiteral("too early"));
    postFromWorkers(2, 5, QStringLiteral("early"));
    QCoreApplication::processEvents();

    // Texts on their way while the window and its snackbar go.
    auto* window = new QWidget;
    window->resize(400, 300);
    auto* bar = new QtMaterialSnackbar(window);
    installOperatorMessageReceivers(bar);
    postFromWorkers(4, 25, QStringLiteral("late"));
    delete window;
    QCOMPARE(globalSnackbar, nullptr);
    QCoreApplication::processEvents();
    QTest::qWait(50);

    // And texts sent after they went.
    std::atomic<bool> go{false};
    std::thread worker([&go] {
        while (!go)
            std::this_thread::yield();
        for (int n = 0; n < 100; ++n)
            showSnackbarMessage(QStringLiteral("after %1").arg(n));
    });
    go = true;
    worker.join();
    QTest::qWait(50);
    QCOMPARE(globalSnackbar, nullptr);

    // A new window's snackbar takes over.
    QWidget window2;
    QtMaterialSnackbar second(&window2);
    second.setAutoHideDuration(60000);
    installOperatorMessageReceivers(&second);
    postFromWorkers(1, 1, QStringLiteral("new"));
    QTRY_COMPARE(second.messages(), QStringList{QStringLiteral("new0-0")});

    // A snackbar that is not the global one leaves the global one in place.
    delete new QtMaterialSnackbar(&window2);
    QCOMPARE(globalSnackbar, &second);
    postFromWorkers(1, 1, QStringLiteral("still"));
    QTRY_COMPARE(second.messages().size(), 2);
}

namespace {

struct CaughtBox
{
    bool seen = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QStringList captions;
};

// Polls for a modal message box, notes what it shows and presses its first button.
void catchBoxes(QObject* context, CaughtBox* caught)
{
    auto* timer = new QTimer(context);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, context, [caught] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        caught->seen = true;
        caught->icon = box->icon();
        caught->title = box->windowTitle();
        caught->text = box->text();
        caught->captions.clear();
        for (QAbstractButton* b : box->buttons())
            caught->captions << b->text();
        box->buttons().value(0)->click();
    });
    timer->start();
}

QStringList warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        warnings << message;
}

} // namespace

void TestSnackbar::messageBoxesReachTheOperatorWhileTheSnackbarLives()
{
    QObject context;
    CaughtBox caught;
    catchBoxes(&context, &caught);

    auto* window = new QWidget;
    auto* bar = new QtMaterialSnackbar(window);
    installOperatorMessageReceivers(bar);
    std::thread worker([] { postMessageBox(NoticeIcon::Critical, QStringLiteral("file critical"), QStringLiteral("读取失败")); });
    worker.join();
    QTRY_VERIFY(caught.seen);
    QCOMPARE(caught.icon, QMessageBox::Critical);
    QCOMPARE(caught.title, QStringLiteral("file critical"));
    QCOMPARE(caught.text, QStringLiteral("读取失败"));
    QCOMPARE(caught.captions, QStringList{QStringLiteral("好")});

    // Once the window is gone a box is only logged.
    delete window;
    caught = CaughtBox();
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    postMessageBox(NoticeIcon::Warning, QStringLiteral("提示"), QStringLiteral("after the window"));
    QTest::qWait(200);
    qInstallMessageHandler(previous);
    QVERIFY(!caught.seen);
    QVERIFY2(warnings.join(QLatin1Char('\n')).contains(QStringLiteral("after the window")), qPrintable(warnings.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestSnackbar)
#include "tst_snackbar.moc"
