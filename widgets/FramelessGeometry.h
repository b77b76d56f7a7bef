#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSet>
#include <QSize>

class NativeWindowTester;
class QObject;
class QWidget;

// The decisions of the frameless window, free of any platform: where a point of the window
// falls (resize edge, caption or client), scaled borders, the DPI rule and resizing by hand.

// Numbered as the hit-test codes of native window systems, so logs read the same everywhere.
enum class WindowHit {
    Client = 1,
    Caption = 2,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

// Border width used where a draggable margin is below one pixel.
constexpr int FallbackFrameWidth = 4;

// Each margin times the factor, rounded to the nearest integer with halves away from zero.
QMargins scaledMargins(const QMargins& margins, qreal factor);

// A window can be resized in a direction when its minimum is below its maximum there.
bool isResizable(const QSize& minimum, const QSize& maximum, Qt::Orientation orientation);

// Edge, caption or client for a point in window coordinates. Borders below one pixel take
// FallbackFrameWidth. A point on no edge is caption when there is no tester or the tester
// says so; an edge the window cannot be resized along gives client.
WindowHit hitTestWindow(const QPoint& pos, const QSize& windowSize, QMargins borders, bool resizableHorizontally,
                        bool resizableVertically, const NativeWindowTester* tester);

// The edges a resize from this hit moves; none for caption and client.
Qt::Edges edgesOf(WindowHit hit);

// The pointer shape over this hit; Qt::ArrowCursor for caption and client.
Qt::CursorShape cursorFor(WindowHit hit);

// Scale factor for a screen's logical DPI: 2.0 above 143, else 1.0.
qreal scaleFactorForDpi(qreal dpi);

// The geometry after dragging the given edges by delta, kept within the size limits with the
// opposite edges in place.
QRect resizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta, const QSize& minimum,
                      const QSize& maximum);

// Whether a point (window coordinates) of a frameless window is caption: within the title bar
// (limit in pixels from the top) and over no widget of the exclude set nor a direct child of one.
// Widgets that ignore the mouse (such as an overlay) are looked through.
bool isCaptionAt(QWidget* window, const QPoint& pos, int titleBarLimit, const QSet<QObject*>& include,
                 const QSet<QObject*>& exclude);
