#include "NativeWindowHelper.h"

#include "FramelessGeometry.h"
#include "NativeWindowFilter.h"
#include "NativeWindowTester.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QStyleHints>
#include <QWindow>

class NativeWindowHelperPrivate
{
public:
    // PendingMove: pressed on the caption, not moved far enough yet to be a drag; starting
    // the window manager's move at once would swallow the second click of a double click.
    enum class Drag { None, PendingMove, Move, Resize };

    QWindow* window = nullptr;
    NativeWindowTester* tester = nullptr;
    WId lastHandle = 0;
    qreal scaleFactor = 1.0;

    // Moving or resizing by hand, where the window manager would not.
    Drag drag = Drag::None;
    Qt::Edges dragEdges;
    QPoint pressGlobal;
    QRect startGeometry;
    bool cursorOverridden = false;
    QPointer<QScreen> screen;

    void updateWindowStyle(NativeWindowHelper* helper);
    WindowHit hitAt(const QPoint& pos) const;
    void setEdgeCursor(WindowHit hit);
    bool mousePress(QMouseEvent* event);
    bool mouseMove(QMouseEvent* event);
    bool mouseRelease(QMouseEvent* event);
    bool doubleClick(QMouseEvent* event);
};

void NativeWindowHelperPrivate::updateWindowStyle(NativeWindowHelper* helper)
{
    const WId handle = window->handle() ? window->winId() : 0;
    if (handle == 0 || handle == lastHandle)
        return;
    lastHandle = handle;
    NativeWindowFilter::deliver(window, helper);
    // The frameless hint already tells the X11 window manager to draw no frame; there are
    // no further style bits to set there.
}

WindowHit NativeWindowHelperPrivate::hitAt(const QPoint& pos) const
{
    const QMargins borders = tester ? scaledMargins(tester->draggableMargins(), scaleFactor) : QMargins();
    // A maximized or full-screen window is not resized by its edges.
    const bool sized = window->windowStates() & (Qt::WindowMaximized | Qt::WindowFullScreen);
    return hitTestWindow(pos, window->geometry().size(), borders,
                         !sized && isResizable(window->minimumSize(), window->maximumSize(), Qt::Horizontal),
                         !sized && isResizable(window->minimumSize(), window->maximumSize(), Qt::Vertical), tester);
}

void NativeWindowHelperPrivate::setEdgeCursor(WindowHit hit)
{
    const bool edge = bool(edgesOf(hit));
    if (edge && !cursorOverridden) {
        QGuiApplication::setOverrideCursor(cursorFor(hit));
        cursorOverridden = true;
    } else if (edge) {
        QGuiApplication::changeOverrideCursor(cursorFor(hit));
    } else if (cursorOverridden) {
        QGuiApplication::restoreOverrideCursor();
        cursorOverridden = false;
    }
}

bool NativeWindowHelperPrivate::mousePress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const WindowHit hit = hitAt(event->pos());
    const Qt::Edges edges = edgesOf(hit);
    if (edges) {
        if (!window->startSystemResize(edges))
            drag = Drag::Resize;
    } else if (hit == WindowHit::Caption) {
        drag = Drag::PendingMove;
    } else {
        return false;
    }
    dragEdges = edges;
    pressGlobal = event->globalPos();
    startGeometry = window->geometry();
    return true;
}

bool NativeWindowHelperPrivate::mouseMove(QMouseEvent* event)
{
    if (drag == Drag::None) {
        if (event->buttons() == Qt::NoButton)
            setEdgeCursor(hitAt(event->pos()));
        return false;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        drag = Drag::None; // the release went elsewhere
        return false;
    }
    const QPoint delta = event->globalPos() - pressGlobal;
    if (drag == Drag::PendingMove && delta.manhattanLength() < QGuiApplication::styleHints()->startDragDistance())
        return true;
    if (drag == Drag::PendingMove) {
        // The window manager moves the window from where the pointer is now; where it
        // refuses, the window follows the pointer from here by hand.
        drag = window->startSystemMove() ? Drag::None : Drag::Move;
        if (drag == Drag::None)
            return true;
    }
    if (drag == Drag::Move)
        window->setPosition(startGeometry.topLeft() + delta);
    else
        window->setGeometry(
            resizedGeometry(startGeometry, dragEdges, delta, window->minimumSize(), window->maximumSize()));
    return true;
}

bool NativeWindowHelperPrivate::mouseRelease(QMouseEvent* event)
{
    if (drag == Drag::None || event->button() != Qt::LeftButton)
        return false;
    drag = Drag::None;
    return true;
}

bool NativeWindowHelperPrivate::doubleClick(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || hitAt(event->pos()) != WindowHit::Caption)
        return false;
    drag = Drag::None;
    // A window of fixed size ignores the double click, as it cannot be maximized.
    if (isResizable(window->minimumSize(), window->maximumSize(), Qt::Horizontal)
        && isResizable(window->minimumSize(), window->maximumSize(), Qt::Vertical)) {
        if (window->windowStates() & Qt::WindowMaximized)
            window->showNormal();
        else
            window->showMaximized();
    }
    return true;
}

NativeWindowHelper::NativeWindowHelper(QWindow* window, NativeWindowTester* tester)
    : QObject(window)
    , d(new NativeWindowHelperPrivate)
{
    d->window = window;
    d->tester = tester;
    if (!window)
        return;
    if (QScreen* screen = window->screen())
        d->scaleFactor = screen->devicePixelRatio();
    if (window->flags() & Qt::FramelessWindowHint) {
        window->installEventFilter(this);
        d->updateWindowStyle(this);
    }
    // Moving to another screen, or that screen changing its DPI, is what a DPI change is here.
    connect(window, &QWindow::screenChanged, this, &NativeWindowHelper::onScreenChanged);
    d->screen = window->screen();
    if (d->screen)
        connect(d->screen, &QScreen::logicalDotsPerInchChanged, this, &NativeWindowHelper::onScreenDpiChanged);
}

NativeWindowHelper::NativeWindowHelper(QWindow* window)
    : NativeWindowHelper(window, nullptr)
{
}

NativeWindowHelper::~NativeWindowHelper()
{
    if (d->cursorOverridden)
        QGuiApplication::restoreOverrideCursor();
    if (d->lastHandle)
        NativeWindowFilter::deliver(d->window, nullptr);
    delete d;
}

qreal NativeWindowHelper::scaleFactor() const
{
    return d->scaleFactor;
}

bool NativeWindowHelper::nativeEventFilter(void* message, long* result)
{
    Q_UNUSED(message)
    Q_UNUSED(result)
    return false;
}

bool NativeWindowHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != d->window)
        return false;
    switch (event->type()) {
    case QEvent::WinIdChange:
    case QEvent::Show:
        d->updateWindowStyle(this);
        return false;
    case QEvent::MouseButtonPress:
        return d->mousePress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return d->mouseMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return d->mouseRelease(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonDblClick:
        return d->doubleClick(static_cast<QMouseEvent*>(event));
    case QEvent::Leave:
        if (d->drag == NativeWindowHelperPrivate::Drag::None)
            d->setEdgeCursor(WindowHit::Client);
        return false;
    default:
        return false;
    }
}

void NativeWindowHelper::onScreenChanged(QScreen* screen)
{
    if (d->screen)
        disconnect(d->screen, nullptr, this, nullptr);
    d->screen = screen;
    if (!screen)
        return;
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &NativeWindowHelper::onScreenDpiChanged);
    onScreenDpiChanged(screen->logicalDotsPerInch());
}

void NativeWindowHelper::onScreenDpiChanged(qreal dpi)
{
    const qreal factor = scaleFactorForDpi(dpi);
    if (qFuzzyCompare(factor, d->scaleFactor))
        return;
    d->scaleFactor = factor;
    emit scaleFactorChanged(factor);
}
