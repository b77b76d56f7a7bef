#pragma once

#include <QDateTime>
#include <QFont>
#include <QString>

// Filled by the main window before any form or dialog that reads them can be opened.
extern QDateTime BuildDateTime;
extern QString AppDirPath;
extern QFont AppFont;
// Primary screen's available height / 800, set by the style loading.
extern double UiScale;
