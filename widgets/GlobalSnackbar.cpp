#include "GlobalSnackbar.h"

#include "MessageBox.h"
#include "OperatorMessages.h"
#include "QtMaterialSnackbar.h"

static_assert(int(NoticeIcon::Information) == QMessageBox::Information && int(NoticeIcon::Warning) == QMessageBox::Warning
              && int(NoticeIcon::Critical) == QMessageBox::Critical && int(NoticeIcon::Question) == QMessageBox::Question,
              "NoticeIcon is passed on as QMessageBox::Icon");

QtMaterialSnackbar* globalSnackbar = nullptr;

void installOperatorMessageReceivers(QtMaterialSnackbar* snackbar)
{
    globalSnackbar = snackbar;
    if (!snackbar) {
        setSnackbarReceiver(nullptr);
        setMessageBoxReceiver(nullptr);
        return;
    }
    // Receivers run on the GUI thread, where globalSnackbar is read and cleared.
    setSnackbarReceiver([](const QString& message) {
        if (globalSnackbar)
            globalSnackbar->addMessage(message);
    });
    setMessageBoxReceiver([](NoticeIcon icon, const QString& title, const QString& text) {
        showMessageBox(static_cast<QMessageBox::Icon>(icon), title, text, QMessageBox::Ok);
    });
}

void forgetGlobalSnackbar(QtMaterialSnackbar* snackbar)
{
    if (!snackbar || globalSnackbar != snackbar)
        return;
    installOperatorMessageReceivers(nullptr);
}
