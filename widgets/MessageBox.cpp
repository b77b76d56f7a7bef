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
    if (messageBoxAnswer())
        return messageBoxAnswer()(icon, title, text, buttons);
    QMessageBox box(icon, title, text, buttons, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    if (QAbstractButton* yes = box.button(QMessageBox::Yes))
        yes->setText(QObject::tr("是"));
    if (QAbstractButton* no = box.button(QMessageBox::No))
        no->setText(QObject::tr("否"));
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setText(QObject::tr("好"));
    for (auto it = captions.cbegin(); it != captions.cend(); ++it) {
        if (QAbstractButton* button = box.button(it.key()))
            button->setText(it.value());
    }
    return box.exec();
}
