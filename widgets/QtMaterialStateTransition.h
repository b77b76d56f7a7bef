#pragma once

#include <QAbstractTransition>
#include <QEvent>

// Events that drive the snackbar's state machine.
enum SnackbarTransition {
    SnackbarShowTransition = 1,  // a text was queued
    SnackbarHideTransition = 2,  // the text on show is to go
    SnackbarWaitTransition = 3,  // slid out, queue empty
    SnackbarNextTransition = 4   // slid out, more texts queued
};

struct QtMaterialStateTransitionEvent : public QEvent
{
    static constexpr QEvent::Type EventType = QEvent::Type(QEvent::User + 1);

    explicit QtMaterialStateTransitionEvent(SnackbarTransition type)
        : QEvent(EventType)
        , type(type)
    {
    }

    SnackbarTransition type;
};

// Fires on a QtMaterialStateTransitionEvent of its own type only.
class QtMaterialStateTransition : public QAbstractTransition
{
    Q_OBJECT
public:
    explicit QtMaterialStateTransition(SnackbarTransition type);

protected:
    bool eventTest(QEvent* event) override;
    void onTransition(QEvent* event) override;

private:
    SnackbarTransition m_type;
};
