#include "MainWindow.h"

#include "MainWindowUi.h"

// Connecting to the instrument and its events.

void MainWindow::connnectNetwork() {}
void MainWindow::onSlotNetWorkConnected() {}
void MainWindow::onNetWorkClosed() {}
void MainWindow::onAdjustTimeOver() {}
void MainWindow::onMsgSendFail(const QString&) {}
void MainWindow::setNetConnectStatus(bool) {}
void MainWindow::onSlotSystemInfo(char*) {}
void MainWindow::onSlotProjectConfiged() {}
void MainWindow::onSlotMachineStatus(char*) {}
void MainWindow::onSlotDeviceErrorFlagClear() {}
void MainWindow::onSlotSDCardFormatSucceed() {}
