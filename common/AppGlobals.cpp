#include "AppGlobals.h"

QDateTime BuildDateTime;
QString AppDirPath;
QFont AppFont;
double UiScale = 1.0;
