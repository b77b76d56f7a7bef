#pragma once

#include <QMap>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every modal question the program asks (message box, file and folder pickers, text input)
// goes through here. Tests install an answer so that no modal loop ever waits for a person;
// without one the ordinary Qt dialog is shown.

using MessageBoxAnswer = std::function<int(QMessageBox::Icon icon, const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons)>;

enum class PickerKind { OpenFile, SaveFile, ExistingDirectory };
// Returns the chosen path, or an empty string for Cancel.
using FilePickerAnswer = std::function<QString(PickerKind kind, const QString& caption, const QString& dir,
                                               const QString& filter)>;
// Returns the typed text; *ok = false for Cancel.
using TextInputAnswer = std::function<QString(const QString& title, const QString& label, bool* ok)>;

// An empty function restores the Qt dialog.
void setMessageBoxAnswer(MessageBoxAnswer answer);
void setFilePickerAnswer(FilePickerAnswer answer);
void setTextInputAnswer(TextInputAnswer answer);

// The installed answer, if any: showMessageBox consults it before building a box.
const MessageBoxAnswer& messageBoxAnswer();

// Asks the installed answer about a box whose buttons carry these captions; inside the
// answer messageBoxCaptions() reads them (empty for any other box).
int answerMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                     QMessageBox::StandardButtons buttons, const QMap<QMessageBox::StandardButton, QString>& captions);
QMap<QMessageBox::StandardButton, QString> messageBoxCaptions();

QString askOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
QString askSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
QString askExistingDirectory(QWidget* parent, const QString& caption, const QString& dir);
QString askText(QWidget* parent, const QString& title, const QString& label, bool* ok);
