#pragma once

#include <QString>

class QWidget;

// The file name a screenshot is written to: ".png" is added when the operator typed a
// name without it (the file dialog does not add it on every platform).
QString screenshotFileName(const QString& chosen);

// Renders the page at twice its size into a PNG file. A failed save is told to the
// operator and gives false.
bool saveScreenshot(QWidget* page, const QString& fileName);

// Asks for a file name ("保存图片") and saves the page there; a cancelled dialog does nothing.
void takeScreenshot(QWidget* page);
