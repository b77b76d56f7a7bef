#pragma once

class QtMaterialSnackbar;

// The one snackbar of the process, or null while there is none. GUI thread only; other
// threads reach it through showSnackbarMessage (OperatorMessages.h).
extern QtMaterialSnackbar* globalSnackbar;

// Called once by the main window after it has created its snackbar: makes it
// globalSnackbar and lets showSnackbarMessage and postMessageBox reach the operator
// (snackbar texts, modal boxes through showMessageBox). Both stop again when that
// snackbar is destroyed; later messages are then dropped (boxes: logged).
void installOperatorMessageReceivers(QtMaterialSnackbar* snackbar);

// Undoes the above if snackbar is the global one; the snackbar's destructor calls it.
void forgetGlobalSnackbar(QtMaterialSnackbar* snackbar);
