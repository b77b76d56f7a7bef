#pragma once

#include <QMargins>
#include <QPoint>

// What the platform layer asks of the window it manages: the resize borders, how far a
// maximized window reaches past the work area, and whether a point is caption (draggable).
class NativeWindowTester
{
public:
    virtual QMargins draggableMargins() const = 0;
    virtual QMargins maximizedMargins() const = 0;
    // pos in window coordinates; true means caption.
    virtual bool hitTest(const QPoint& pos) const = 0;
    virtual ~NativeWindowTester() = default;
};
