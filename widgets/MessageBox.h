#pragma once

#include <QMessageBox>
#include <QString>

// Modal box with the program's Chinese button captions; returns the StandardButton pressed.
int showMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                   QMessageBox::StandardButtons buttons);
