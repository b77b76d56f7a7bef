#include "MessageBox.h"

#include "ModalAnswers.h"

#include <QAbstractButton>
#include <QObject>

int showMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                   QMessageBox::StandardButtons buttons)
{
    return showMessageBox(icon, title, text, buttons, {});
}

int showMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                   QMessageBox::StandardButtons buttons, const QMap<QMessageBox::StandardButton, QString>& captions)
{
    // The captions the box shows: the program's own, then the caller's.
    QMap<QMessageBox::StandardButton, QString> shown;
    if (buttons & QMessageBox::Yes)
        shown.insert(QMessageBox::Yes, QObject::tr("是"));
    if (buttons & QMessageBox::No)
        shown.insert(QMessageBox::No, QObject::tr("否"));
    if (buttons & QMessageBox::Ok)
        shown.insert(QMessageBox::Ok, QObject::tr("好"));
    for (auto it = captions.cbegin(); it != captions.cend(); ++it) {
        if (buttons & it.key())
            shown.insert(it.key(), it.value());
    }
    if (messageBoxAnswer())
        return answerMessageBox(icon, title, text, buttons, shown);
    QMessageBox box(icon, title, text, buttons, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        if (QAbstractButton* button = box.button(it.key()))
            button->setText(it.value());
    }
    return box.exec();
}
