#include "TaskbarButton.h"

#include <QWidget>

#include <algorithm>

TaskbarButton::TaskbarButton(QObject* parent)
    : QObject(parent)
{
}

void TaskbarButton::setWindow(QWidget* window)
{
    boundWindow = window;
}

void TaskbarButton::setOverlayIcon(const QIcon& icon)
{
    overlay = icon;
}

void TaskbarButton::setOverlayAccessibleDescription(const QString& description)
{
    overlayDescription = description;
}

void TaskbarButton::clearOverlayIcon()
{
    overlay = QIcon();
    overlayDescription.clear();
}

void TaskbarButton::setProgressRange(int min, int max)
{
    minimum = min;
    maximum = std::max(min, max);
    value = std::clamp(value, minimum, maximum);
}

void TaskbarButton::setProgressValue(int v)
{
    value = std::clamp(v, minimum, maximum);
}

void TaskbarButton::setProgressVisible(bool visible)
{
    progressShown = visible;
}
