#include "MyComboBox.h"

#include <QListView>
#include <QScroller>

MyComboBox::MyComboBox(QWidget* parent)
    : QComboBox(parent)
{
    auto* view = new QListView(this);
    setView(view);
    view->window()->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    view->window()->setAttribute(Qt::WA_TranslucentBackground);
    QScroller::grabGesture(view->viewport(), QScroller::LeftMouseButtonGesture);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setAutoScroll(false);
}

void MyComboBox::showPopup()
{
    popupIsShown = true;
    emit popupShown();
    QComboBox::showPopup();
}

void MyComboBox::hidePopup()
{
    // Qt may close the popup more than once per opening; report it once.
    if (popupIsShown) {
        popupIsShown = false;
        emit popupHidden();
    }
    QComboBox::hidePopup();
}
