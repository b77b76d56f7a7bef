#include "QtMaterialOverlayWidget.h"

#include <QEvent>

QtMaterialOverlayWidget::QtMaterialOverlayWidget(QWidget* parent)
    : QWidget(parent)
{
    if (parent) {
        parent->installEventFilter(this);
        // Cover the parent at once, not only after its next move or resize.
        setGeometry(overlayGeometry());
    }
}

bool QtMaterialOverlayWidget::event(QEvent* event)
{
    if (parentWidget()) {
        switch (event->type()) {
        case QEvent::ParentChange:
            parentWidget()->installEventFilter(this);
            setGeometry(overlayGeometry());
            break;
        case QEvent::ParentAboutToChange:
            parentWidget()->removeEventFilter(this);
            break;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

bool QtMaterialOverlayWidget::eventFilter(QObject* obj, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        setGeometry(overlayGeometry());
        break;
    default:
        break;
    }
    return QWidget::eventFilter(obj, event);
}

QRect QtMaterialOverlayWidget::overlayGeometry() const
{
    QWidget* parent = parentWidget();
    return parent ? parent->rect() : QRect();
}
