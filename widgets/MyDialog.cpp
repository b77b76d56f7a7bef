#include "MyDialog.h"

#include <QKeyEvent>

MyDialog::MyDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
}

void MyDialog::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(pEvent);
}
