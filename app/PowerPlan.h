#pragma once

#include <QString>

// The computer's power plan, asked before connecting: a power-saving plan may slow the
// network card down enough to disturb transfers from the instrument.

// Name of the active power plan; empty where the system has no named plans (Linux), so
// nothing is ever reported there.
QString activePowerPlanName();

// A plan counts as power-saving when it is named "节能" or its name contains "save"
// (case-sensitive, as the plan names come).
bool isPowerSavingPlan(const QString& name);
