#pragma once

#include <QMap>
#include <QMessageBox>
#include <QString>

// Modal box with the program's Chinese button captions; returns the StandardButton pressed.
int showMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                   QMessageBox::StandardButtons buttons);

// The same with captions of the caller's own for the buttons named in captions; the others
// keep the program's captions. An installed answer reads them with messageBoxCaptions().
int showMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                   QMessageBox::StandardButtons buttons, const QMap<QMessageBox::StandardButton, QString>& captions);
