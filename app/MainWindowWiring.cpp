#include "MainWindow.h"

#include "MainWindowUi.h"

// The service connections, the page switch, drag and drop.

void MainWindow::connectServices() {}
void MainWindow::dragEnterEvent(QDragEnterEvent*) {}
void MainWindow::dropEvent(QDropEvent*) {}
