#pragma once

#include <QComboBox>

// Combo box with a touch-friendly list that reports when its popup opens and closes.
class MyComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit MyComboBox(QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

signals:
    void popupShown();
    void popupHidden();

private:
    bool popupIsShown = false;
};
