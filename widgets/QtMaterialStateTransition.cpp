#include "QtMaterialStateTransition.h"

QtMaterialStateTransition::QtMaterialStateTransition(SnackbarTransition type)
    : m_type(type)
{
}

bool QtMaterialStateTransition::eventTest(QEvent* event)
{
    if (event->type() != QtMaterialStateTransitionEvent::EventType)
        return false;
    return static_cast<QtMaterialStateTransitionEvent*>(event)->type == m_type;
}

void QtMaterialStateTransition::onTransition(QEvent*)
{
}
