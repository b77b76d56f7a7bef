#pragma once

#include <QDialog>

// Base of the program's dialogs: Escape never closes or rejects them.
class MyDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MyDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

public slots:
    void keyPressEvent(QKeyEvent* pEvent) override;
};
