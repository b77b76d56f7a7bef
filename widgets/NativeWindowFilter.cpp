#include "NativeWindowFilter.h"

#include "NativeWindowHelper.h"

#include <QCoreApplication>

namespace {

NativeWindowFilter* instance = nullptr;

} // namespace

bool NativeWindowFilter::nativeEventFilter(const QByteArray& eventType, void* message, long* result)
{
    Q_UNUSED(eventType)
    Q_UNUSED(message)
    Q_UNUSED(result)
    // On X11 the window's own Qt events carry everything the helpers act on (pointer,
    // state, screen): no raw event needs answering here, so every one goes on to Qt.
    return false;
}

void NativeWindowFilter::deliver(QWindow* window, NativeWindowHelper* helper)
{
    if (!window)
        return;
    if (!instance) {
        if (!helper || !QCoreApplication::instance())
            return;
        instance = new NativeWindowFilter; // lives for the rest of the process
        QCoreApplication::instance()->installNativeEventFilter(instance);
    }
    const auto old = instance->handles.find(window);
    if (old != instance->handles.end()) {
        instance->helpers.remove(old.value());
        instance->handles.erase(old);
    }
    if (!helper)
        return;
    const WId handle = window->winId(); // callers register only windows that have one
    instance->handles.insert(window, handle);
    instance->helpers.insert(handle, helper);
}
