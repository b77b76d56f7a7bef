#include "FramelessHelper.h"

#include "FramelessGeometry.h"
#include "NativeWindowHelper.h"
#include "NativeWindowTester.h"

#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <QWindow>

class FramelessHelperPrivate : public NativeWindowTester
{
public:
    QWidget* window = nullptr;
    QPointer<NativeWindowHelper> helper;
    QMargins dragMargins;
    QMargins maxMargins;
    int titleHeight = 0;
    QSet<QObject*> includeItems;
    QSet<QObject*> excludeItems;
    bool maximized = false;

    qreal scaleFactor() const { return helper ? helper->scaleFactor() : 1.0; }

    QMargins draggableMargins() const override { return dragMargins; }
    QMargins maximizedMargins() const override { return maxMargins; }
    bool hitTest(const QPoint& pos) const override
    {
        return isCaptionAt(window, pos, int(titleHeight * scaleFactor()), includeItems, excludeItems);
    }
};

FramelessHelper::FramelessHelper(QWidget* window)
    : QObject(window)
    , d(new FramelessHelperPrivate)
{
    d->window = window;
    if (!window)
        return;
    window->installEventFilter(this);
    // A window that already has its native window sends no further WinIdChange.
    if (window->testAttribute(Qt::WA_WState_Created))
        createNativeHelper();
}

FramelessHelper::~FramelessHelper()
{
    // The native helper asks this object's private part; it must not outlive it.
    delete d->helper;
    delete d;
}

void FramelessHelper::setDraggableMargins(int left, int top, int right, int bottom)
{
    d->dragMargins = QMargins(left, top, right, bottom);
}

void FramelessHelper::setDraggableMargins(const QMargins& margins)
{
    d->dragMargins = margins;
}

void FramelessHelper::setMaximizedMargins(int left, int top, int right, int bottom)
{
    d->maxMargins = QMargins(left, top, right, bottom);
}

void FramelessHelper::setMaximizedMargins(const QMargins& margins)
{
    d->maxMargins = margins;
}

QMargins FramelessHelper::draggableMargins() const
{
    return d->dragMargins;
}

QMargins FramelessHelper::maximizedMargins() const
{
    return d->maxMargins;
}

int FramelessHelper::titleBarHeight() const
{
    return d->titleHeight;
}

qreal FramelessHelper::scaleFactor() const
{
    return d->scaleFactor();
}

bool FramelessHelper::isMaximized() const
{
    return d->maximized;
}

void FramelessHelper::addIncludeItem(QWidget* item)
{
    d->includeItems.insert(item);
}

void FramelessHelper::removeIncludeItem(QWidget* item)
{
    d->includeItems.remove(item);
}

void FramelessHelper::addExcludeItem(QWidget* item)
{
    d->excludeItems.insert(item);
}

void FramelessHelper::removeExcludeItem(QWidget* item)
{
    d->excludeItems.remove(item);
}

void FramelessHelper::setTitleBarHeight(int value)
{
    if (value == d->titleHeight)
        return;
    d->titleHeight = value;
    emit titleBarHeightChanged(value);
}

void FramelessHelper::triggerMinimizeButtonAction()
{
    if (d->window)
        d->window->showMinimized();
}

void FramelessHelper::triggerMaximizeButtonAction()
{
    if (!d->window)
        return;
    if (d->window->windowState() & Qt::WindowMaximized)
        d->window->showNormal();
    else
        d->window->showMaximized();
}

void FramelessHelper::triggerCloseButtonAction()
{
    if (d->window)
        d->window->close();
}

bool FramelessHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == d->window) {
        if (event->type() == QEvent::WindowStateChange) {
            const bool maximized = d->window->windowState() & Qt::WindowMaximized;
            if (maximized != d->maximized) {
                d->maximized = maximized;
                emit maximizedChanged(maximized);
            }
        } else if (event->type() == QEvent::WinIdChange && !d->helper) {
            createNativeHelper();
        }
    }
    return false;
}

void FramelessHelper::createNativeHelper()
{
    QWindow* handle = d->window->windowHandle();
    if (!handle)
        return;
    d->helper = new NativeWindowHelper(handle, d);
    connect(d->helper, &NativeWindowHelper::scaleFactorChanged, this, &FramelessHelper::scaleFactorChanged);
    if (!qFuzzyCompare(d->helper->scaleFactor(), 1.0))
        emit scaleFactorChanged(d->helper->scaleFactor());
}
