#include "MainWindow.h"

#include "MainWindowUi.h"

// Starting, stopping, saving and cancelling a sampling run.

void MainWindow::onStartSample(int) {}
void MainWindow::onStopSample() {}
void MainWindow::onSlotSampleStarted() {}
void MainWindow::onSlotSampleStopped() {}
void MainWindow::onSaveData() {}
void MainWindow::onCancelSave() {}
void MainWindow::autoSetPointNum() {}
