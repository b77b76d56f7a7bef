#include "OperatorMessages.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

namespace {

QMutex receiverMutex;
SnackbarReceiver snackbarReceiver;
MessageBoxReceiver messageBoxReceiver;

void deliverSnackbar(const QString& message)
{
    SnackbarReceiver receiver;
    {
        QMutexLocker locker(&receiverMutex);
        receiver = snackbarReceiver;
    }
    if (receiver)
        receiver(message);
}

void deliverMessageBox(NoticeIcon icon, const QString& title, const QString& text)
{
    MessageBoxReceiver receiver;
    {
        QMutexLocker locker(&receiverMutex);
        receiver = messageBoxReceiver;
    }
    if (receiver)
        receiver(icon, title, text);
    else
        qWarning().noquote() << "postMessageBox" << title << text;
}

template <typename Functor>
void runOnGuiThread(Functor functor)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread())
        functor();
    else
        QMetaObject::invokeMethod(app, functor, Qt::QueuedConnection);
}

} // namespace

void showSnackbarMessage(const QString& message)
{
    runOnGuiThread([message] { deliverSnackbar(message); });
}

void postMessageBox(NoticeIcon icon, const QString& title, const QString& text)
{
    // Always queued, also on the GUI thread: a modal box must not run inside the caller
    // (the link and the download queue go on while it is open).
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(app, [icon, title, text] { deliverMessageBox(icon, title, text); }, Qt::QueuedConnection);
}

void setSnackbarReceiver(SnackbarReceiver receiver)
{
    QMutexLocker locker(&receiverMutex);
    snackbarReceiver = std::move(receiver);
}

void setMessageBoxReceiver(MessageBoxReceiver receiver)
{
    QMutexLocker locker(&receiverMutex);
    messageBoxReceiver = std::move(receiver);
}
