#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Stands in for the desktop taskbar button of the main window: it keeps the progress and the
// overlay icon that the taskbar would show, so they can be read back. Nothing is drawn.
class TaskbarButton : public QObject
{
    Q_OBJECT
public:
    explicit TaskbarButton(QObject* parent = nullptr);

    void setWindow(QWidget* window);
    QWidget* window() const { return boundWindow; }

    void setOverlayIcon(const QIcon& icon);
    void setOverlayAccessibleDescription(const QString& description);
    void clearOverlayIcon();
    QIcon overlayIcon() const { return overlay; }
    QString overlayAccessibleDescription() const { return overlayDescription; }

    void setProgressRange(int minimum, int maximum);
    void setProgressValue(int value);
    void setProgressVisible(bool visible);
    int progressMinimum() const { return minimum; }
    int progressMaximum() const { return maximum; }
    int progressValue() const { return value; }
    bool isProgressVisible() const { return progressShown; }

private:
    QPointer<QWidget> boundWindow;
    QIcon overlay;
    QString overlayDescription;
    int minimum = 0;
    int maximum = 100;
    int value = 0;
    bool progressShown = false;
};
