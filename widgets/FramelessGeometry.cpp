#include "FramelessGeometry.h"

#include "NativeWindowTester.h"

#include <QWidget>

#include <cmath>

QMargins scaledMargins(const QMargins& margins, qreal factor)
{
    // std::lround rounds halves away from zero (qRound would take -2.5 to -2).
    auto scale = [factor](int value) { return int(std::lround(value * factor)); };
    return QMargins(scale(margins.left()), scale(margins.top()), scale(margins.right()), scale(margins.bottom()));
}

bool isResizable(const QSize& minimum, const QSize& maximum, Qt::Orientation orientation)
{
    return orientation == Qt::Horizontal ? minimum.width() < maximum.width() : minimum.height() < maximum.height();
}

WindowHit hitTestWindow(const QPoint& pos, const QSize& windowSize, QMargins borders, bool resizableHorizontally,
                        bool resizableVertically, const NativeWindowTester* tester)
{
    if (borders.left() < 1)
        borders.setLeft(FallbackFrameWidth);
    if (borders.right() < 1)
        borders.setRight(FallbackFrameWidth);
    if (borders.top() < 1)
        borders.setTop(FallbackFrameWidth);
    if (borders.bottom() < 1)
        borders.setBottom(FallbackFrameWidth);

    const bool left = pos.x() <= borders.left();
    const bool top = pos.y() <= borders.top();
    const bool right = pos.x() + borders.right() > windowSize.width() - 1;
    const bool bottom = pos.y() + borders.bottom() > windowSize.height() - 1;
    const bool both = resizableHorizontally && resizableVertically;

    auto edge = [](bool resizable, WindowHit hit) { return resizable ? hit : WindowHit::Client; };
    const int flags = (left ? 1 : 0) | (top ? 2 : 0) | (right ? 4 : 0) | (bottom ? 8 : 0);
    switch (flags) {
    case 2:
        return edge(resizableVertically, WindowHit::Top);
    case 1:
        return edge(resizableHorizontally, WindowHit::Left);
    case 1 | 2:
        return edge(both, WindowHit::TopLeft);
    case 4:
        return edge(resizableHorizontally, WindowHit::Right);
    case 2 | 4:
        return edge(both, WindowHit::TopRight);
    case 8:
        return edge(resizableVertically, WindowHit::Bottom);
    case 1 | 8:
        return edge(both, WindowHit::BottomLeft);
    case 4 | 8:
        return edge(both, WindowHit::BottomRight);
    default:
        return !tester || tester->hitTest(pos) ? WindowHit::Caption : WindowHit::Client;
    }
}

Qt::Edges edgesOf(WindowHit hit)
{
    switch (hit) {
    case WindowHit::Left:
        return Qt::LeftEdge;
    case WindowHit::Right:
        return Qt::RightEdge;
    case WindowHit::Top:
        return Qt::TopEdge;
    case WindowHit::Bottom:
        return Qt::BottomEdge;
    case WindowHit::TopLeft:
        return Qt::TopEdge | Qt::LeftEdge;
    case WindowHit::TopRight:
        return Qt::TopEdge | Qt::RightEdge;
    case WindowHit::BottomLeft:
        return Qt::BottomEdge | Qt::LeftEdge;
    case WindowHit::BottomRight:
        return Qt::BottomEdge | Qt::RightEdge;
    default:
        return {};
    }
}

Qt::CursorShape cursorFor(WindowHit hit)
{
    switch (hit) {
    case WindowHit::Left:
    case WindowHit::Right:
        return Qt::SizeHorCursor;
    case WindowHit::Top:
    case WindowHit::Bottom:
        return Qt::SizeVerCursor;
    case WindowHit::TopLeft:
    case WindowHit::BottomRight:
        return Qt::SizeFDiagCursor;
    case WindowHit::TopRight:
    case WindowHit::BottomLeft:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

qreal scaleFactorForDpi(qreal dpi)
{
    return dpi > 143 ? 2.0 : 1.0;
}

QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum,
                      const QSize& maximum)
{
    QRect rect = start;
    if (edges & Qt::LeftEdge)
        rect.setLeft(start.left() + delta.x());
    if (edges & Qt::RightEdge)
        rect.setRight(start.right() + delta.x());
    if (edges & Qt::TopEdge)
        rect.setTop(start.top() + delta.y());
    if (edges & Qt::BottomEdge)
        rect.setBottom(start.bottom() + delta.y());

    const int width = qBound(minimum.width(), rect.width(), qMax(minimum.width(), maximum.width()));
    const int height = qBound(minimum.height(), rect.height(), qMax(minimum.height(), maximum.height()));
    if (edges & Qt::LeftEdge)
        rect.setLeft(rect.right() - width + 1);
    else
        rect.setWidth(width);
    if (edges & Qt::TopEdge)
        rect.setTop(rect.bottom() - height + 1);
    else
        rect.setHeight(height);
    return rect;
}

bool isCaptionAt(QWidget* window, const QPoint& pos, int titleBarLimit, const QSet<QObject*>& include,
                 const QSet<QObject*>& exclude)
{
    if (titleBarLimit == 0 || !window || pos.y() >= titleBarLimit)
        return false;

    // childAt skips widgets that are transparent for the mouse, so an overlay raised over
    // the window (the snackbar) does not hide the buttons under it.
    QVector<QWidget*> chain;
    QWidget* current = window;
    QPoint p = pos;
    for (int level = 0; level < 32; ++level) {
        QWidget* child = current->childAt(p);
        if (!child)
            break;
        p = child->mapFrom(current, p);
        chain.append(child);
        current = child;
    }
    if (chain.isEmpty())
        return true;
    for (int i = chain.size() - 1; i >= 0; --i) {
        QWidget* widget = chain.at(i);
        if (include.contains(widget))
            return true;
        if (exclude.contains(widget))
            return false;
        if (exclude.contains(widget->parentWidget()))
            return false;
    }
    return true;
}
