#include "ModalAnswers.h"

#include <QFileDialog>
#include <QInputDialog>

namespace {

MessageBoxAnswer& messageBoxAnswerSlot()
{
    static MessageBoxAnswer answer;
    return answer;
}

FilePickerAnswer& filePickerAnswerSlot()
{
    static FilePickerAnswer answer;
    return answer;
}

QMap<QMessageBox::StandardButton, QString>& captionsSlot()
{
    static QMap<QMessageBox::StandardButton, QString> captions;
    return captions;
}

TextInputAnswer& textInputAnswerSlot()
{
    static TextInputAnswer answer;
    return answer;
}

} // namespace

void setMessageBoxAnswer(MessageBoxAnswer answer)
{
    messageBoxAnswerSlot() = std::move(answer);
}

void setFilePickerAnswer(FilePickerAnswer answer)
{
    filePickerAnswerSlot() = std::move(answer);
}

void setTextInputAnswer(TextInputAnswer answer)
{
    textInputAnswerSlot() = std::move(answer);
}

const MessageBoxAnswer& messageBoxAnswer()
{
    return messageBoxAnswerSlot();
}

int answerMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                     QMessageBox::StandardButtons buttons, const QMap<QMessageBox::StandardButton, QString>& captions)
{
    // Restored afterwards: an answer may itself show a box.
    const QMap<QMessageBox::StandardButton, QString> outer = captionsSlot();
    captionsSlot() = captions;
    const int answer = messageBoxAnswerSlot()(icon, title, text, buttons);
    captionsSlot() = outer;
    return answer;
}

QMap<QMessageBox::StandardButton, QString> messageBoxCaptions()
{
    return captionsSlot();
}

QString askOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (filePickerAnswerSlot())
        return filePickerAnswerSlot()(PickerKind::OpenFile, caption, dir, filter);
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString askSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    if (filePickerAnswerSlot())
        return filePickerAnswerSlot()(PickerKind::SaveFile, caption, dir, filter);
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString askExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    if (filePickerAnswerSlot())
        return filePickerAnswerSlot()(PickerKind::ExistingDirectory, caption, dir, QString());
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QString askText(QWidget* parent, const QString& title, const QString& label, bool* ok)
{
    if (textInputAnswerSlot())
        return textInputAnswerSlot()(title, label, ok);
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, QString(), ok);
}
