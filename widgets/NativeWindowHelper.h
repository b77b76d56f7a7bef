#pragma once

#include <QObject>

class NativeWindowHelperPrivate;
class NativeWindowTester;
class QScreen;
class QWindow;

// The platform side of a frameless window: resizing at the edges, dragging by the caption,
// maximizing by a double click on it, and the scale factor of the window's screen. On X11 it
// works from the mouse events of the window: a press asks the window manager to move or
// resize the window (QWindow::startSystemMove/startSystemResize) and, where the window
// manager refuses, the window is moved or resized here while the button is held.
class NativeWindowHelper : public QObject
{
    Q_OBJECT
public:
    NativeWindowHelper(QWindow* window, NativeWindowTester* tester);
    explicit NativeWindowHelper(QWindow* window);
    ~NativeWindowHelper() override;

    qreal scaleFactor() const;
    // Raw native messages; X11 sends none that need answering (see NativeWindowFilter).
    bool nativeEventFilter(void* message, long* result);

signals:
    void scaleFactorChanged(qreal factor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onScreenChanged(QScreen* screen);
    void onScreenDpiChanged(qreal dpi);

private:
    NativeWindowHelperPrivate* d;
};
