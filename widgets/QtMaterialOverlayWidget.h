#pragma once

#include <QWidget>

// A widget that always covers its parent's whole rectangle, following its moves and resizes.
class QtMaterialOverlayWidget : public QWidget
{
    Q_OBJECT
public:
    explicit QtMaterialOverlayWidget(QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* obj, QEvent* event) override;

    virtual QRect overlayGeometry() const;
};
