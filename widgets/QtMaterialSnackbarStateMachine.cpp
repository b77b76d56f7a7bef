#include "QtMaterialSnackbarStateMachine.h"

#include "QtMaterialSnackbar.h"
#include "QtMaterialStateTransition.h"

#include <QPropertyAnimation>
#include <QState>

QtMaterialSnackbarStateMachine::QtMaterialSnackbarStateMachine(QtMaterialSnackbar* parent)
    : QStateMachine(parent)
    , m_snackbar(parent)
{
    m_timer.setSingleShot(true);

    auto* hiddenState = new QState;
    auto* visibleState = new QState;
    auto* finalState = new QState;
    // Named so that the showings can be watched from outside.
    hiddenState->setObjectName(QStringLiteral("hidden"));
    visibleState->setObjectName(QStringLiteral("visible"));
    finalState->setObjectName(QStringLiteral("final"));

    addState(hiddenState);
    addState(visibleState);
    addState(finalState);
    setInitialState(hiddenState);

    auto addTransition = [](QState* from, QState* to, SnackbarTransition type) {
        auto* transition = new QtMaterialStateTransition(type);
        transition->setTargetState(to);
        from->addTransition(transition);
    };
    addTransition(hiddenState, visibleState, SnackbarShowTransition);
    addTransition(hiddenState, visibleState, SnackbarHideTransition);
    addTransition(visibleState, finalState, SnackbarHideTransition);
    addTransition(finalState, hiddenState, SnackbarWaitTransition);
    addTransition(finalState, visibleState, SnackbarNextTransition);

    hiddenState->assignProperty(this, "offset", 1);
    visibleState->assignProperty(this, "offset", 0);
    finalState->assignProperty(this, "offset", 1);

    auto* animation = new QPropertyAnimation(this, "offset", this);
    animation->setDuration(300);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    addDefaultAnimation(animation);

    connect(visibleState, &QState::propertiesAssigned, this, &QtMaterialSnackbarStateMachine::snackbarShown);
    connect(finalState, &QState::propertiesAssigned, m_snackbar, &QtMaterialSnackbar::dequeue);
    connect(&m_timer, &QTimer::timeout, this, &QtMaterialSnackbarStateMachine::progress);

    m_snackbar->installEventFilter(this);
}

void QtMaterialSnackbarStateMachine::setOffset(qreal offset)
{
    m_offset = offset;
    m_snackbar->update();
}

void QtMaterialSnackbarStateMachine::progress()
{
    m_timer.stop();
    postEvent(new QtMaterialStateTransitionEvent(SnackbarHideTransition));
    if (m_snackbar->clickToDismissMode())
        m_snackbar->setAttribute(Qt::WA_TransparentForMouseEvents, true);
}

void QtMaterialSnackbarStateMachine::snackbarShown()
{
    m_timer.start(m_snackbar->autoHideDuration());
    if (m_snackbar->clickToDismissMode())
        m_snackbar->setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

bool QtMaterialSnackbarStateMachine::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == m_snackbar && m_snackbar->clickToDismissMode())
        progress();
    return QStateMachine::eventFilter(watched, event);
}
