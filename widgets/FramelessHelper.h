#pragma once

#include <QMargins>
#include <QObject>

class FramelessHelperPrivate;
class QWidget;

// Gives a top-level widget with Qt::FramelessWindowHint what a system frame would: resizing
// at its edges, dragging by its title bar (the top titleBarHeight pixels, less the excluded
// widgets), a double click on the title bar to maximize or restore, and window-button slots.
class FramelessHelper : public QObject
{
    Q_OBJECT
public:
    explicit FramelessHelper(QWidget* window);
    ~FramelessHelper() override;

    void setDraggableMargins(int left, int top, int right, int bottom);
    void setDraggableMargins(const QMargins& margins);
    void setMaximizedMargins(int left, int top, int right, int bottom);
    void setMaximizedMargins(const QMargins& margins);
    QMargins draggableMargins() const;
    QMargins maximizedMargins() const;
    int titleBarHeight() const;
    qreal scaleFactor() const;
    bool isMaximized() const;

    // Widgets that are always caption / never caption (nor are their direct children).
    void addIncludeItem(QWidget* item);
    void removeIncludeItem(QWidget* item);
    void addExcludeItem(QWidget* item);
    void removeExcludeItem(QWidget* item);

signals:
    void titleBarHeightChanged(int newValue);
    void scaleFactorChanged(qreal factor);
    void maximizedChanged(bool maximized);

public slots:
    void setTitleBarHeight(int value);
    void triggerMinimizeButtonAction();
    void triggerMaximizeButtonAction();
    void triggerCloseButtonAction();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createNativeHelper();

    FramelessHelperPrivate* d;
};
