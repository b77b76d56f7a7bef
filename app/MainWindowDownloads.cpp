#include "MainWindow.h"

#include "MainWindowUi.h"

// Downloading each finished group, showing it and computing its sounding.

void MainWindow::onSlotRequestTransormData(int) {}
void MainWindow::getPointData(int, int, int) {}
void MainWindow::getPointData(int pointID, int CHS)
{
    getPointData(pointID, CHS, 0);
}
void MainWindow::onFtpFinished(int) {}
void MainWindow::onSelectRate(int, int, int, int) {}
void MainWindow::onSelectPoint(int) {}
