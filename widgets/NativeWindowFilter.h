#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QWindow>

class NativeWindowHelper;

// The one process-wide router from a native window handle to the NativeWindowHelper of its
// window. Installed with the application when the first window registers.
class NativeWindowFilter : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

    // Registers the window under its current native handle (forgetting any earlier one), or
    // unregisters it when helper is null.
    static void deliver(QWindow* window, NativeWindowHelper* helper);

private:
    QHash<WId, NativeWindowHelper*> helpers;
    QHash<QWindow*, WId> handles;
};
