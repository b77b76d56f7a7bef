#pragma once

class QCoreApplication;

// Qt's own texts (standard dialog buttons, file and folder pickers) in Chinese, like the rest
// of the interface. Looks beside the program first ("translations", where a deployment puts
// them), then in Qt's own folder. Without the file nothing changes and false is returned.
bool installQtTranslation(QCoreApplication* app);
