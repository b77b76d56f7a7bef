#pragma once

#include "QtMaterialOverlayWidget.h"

#include <QColor>
#include <QStringList>

class QtMaterialSnackbarStateMachine;

// Short texts in a dark box that slides up from the bottom edge of the parent, one after
// the other. Lives on the GUI thread; other threads go through showSnackbarMessage.
class QtMaterialSnackbar : public QtMaterialOverlayWidget
{
    Q_OBJECT
public:
    explicit QtMaterialSnackbar(QWidget* parent = nullptr);
    ~QtMaterialSnackbar() override;

    void setAutoHideDuration(int duration);
    int autoHideDuration() const;

    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const;

    void setBackgroundOpacity(qreal opacity);
    qreal backgroundOpacity() const;

    void setTextColor(const QColor& color);
    QColor textColor() const;

    void setFontSize(qreal size);
    qreal fontSize() const;
    void setFontPixelSize(int size);

    void setBoxWidth(int width);
    int boxWidth() const;

    void setClickToDismissMode(bool value);
    bool clickToDismissMode() const;

    void setUseThemeColors(bool value);
    bool useThemeColors() const;

    // The texts waiting, the one on show first.
    QStringList messages() const;

public slots:
    void addMessage(const QString& message);
    void addInstantMessage(const QString& message);
    void dequeue();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QtMaterialSnackbarStateMachine* m_stateMachine;
    QColor m_backgroundColor;
    QColor m_textColor;
    qreal m_backgroundOpacity = 0.9;
    QStringList m_messages;
    int m_duration = 2000;
    int m_boxWidth = 300;
    bool m_clickDismiss = false;
    bool m_useThemeColors = true;
};
