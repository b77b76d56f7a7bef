#pragma once

#include <QString>

#include <functional>

// Entry points through which code without widgets (processing, the link, the download
// queue) tells the operator something. Callable from any thread: a call from another
// thread is posted to the application object and runs on the GUI thread, where the
// receiver registered at that moment gets it. With no receiver the message is dropped,
// so a message that arrives while or after the window goes does no harm.

void showSnackbarMessage(const QString& message);

// Same values as QMessageBox::Icon, so the GUI side can pass them straight on.
enum class NoticeIcon { Information = 1, Warning = 2, Critical = 3, Question = 4 };

// A modal box on the GUI thread, always shown from the event loop (never inside the
// caller), so nobody waits for the operator. Without a receiver the text goes to the log.
void postMessageBox(NoticeIcon icon, const QString& title, const QString& text);

using SnackbarReceiver = std::function<void(const QString&)>;
using MessageBoxReceiver = std::function<void(NoticeIcon, const QString&, const QString&)>;

// Set on the GUI thread; an empty function unregisters.
void setSnackbarReceiver(SnackbarReceiver receiver);
void setMessageBoxReceiver(MessageBoxReceiver receiver);
