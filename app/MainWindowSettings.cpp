#include "MainWindow.h"

#include "MainWindowUi.h"

// "systemConfig.ini", the recent-project list and opening and closing projects.

void MainWindow::readSystemConfig() {}
void MainWindow::setSystemConfig(int, int, st_PointParam) {}
void MainWindow::recentProject_Load() {}
void MainWindow::recentProject_Store() {}
void MainWindow::recentProject_Add(QString) {}
void MainWindow::openProjectAction(QString) {}
void MainWindow::onSlotNewProjecClick() {}
void MainWindow::onSlotOpenProjectClick() {}
void MainWindow::onSlotCloseProjectClick() {}
