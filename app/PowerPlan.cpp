#include "PowerPlan.h"

QString activePowerPlanName()
{
    // Linux has no system-wide named power plan that would throttle the link.
    return QString();
}

bool isPowerSavingPlan(const QString& name)
{
    return name == QStringLiteral("节能") || name.contains(QLatin1String("save"), Qt::CaseSensitive);
}
