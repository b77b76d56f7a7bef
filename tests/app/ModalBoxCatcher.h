#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Closes every modal message box shortly after it opens and keeps what it showed.
class ModalBoxCatcher
{
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QStringList buttons;
    };

    ModalBoxCatcher()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { closeOpenBoxes(); });
        timer.start();
    }

    QList<Box> boxes;

    int count() const { return boxes.size(); }
    const Box& last() const { return boxes.last(); }
    void clear() { boxes.clear(); }

private:
    void closeOpenBoxes()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible() || box->property("caughtByTest").toBool())
                continue;
            box->setProperty("caughtByTest", true);
            Box seen{box->icon(), box->windowTitle(), box->text(), {}};
            for (QAbstractButton* button : box->buttons())
                seen.buttons << button->text();
            boxes.append(seen);
            box->buttons().first()->click();
        }
    }

    QTimer timer;
};
