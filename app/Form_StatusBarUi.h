#pragma once

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

// The status strip's form: link, instrument, GPS, voltage, temperature, memory, clock, progress.
class Ui_Form_StatusBar
{
public:
    QHBoxLayout* horizontalLayout = nullptr;
    QLabel* label_NetConnect = nullptr;
    QLabel* label_MachineStatus = nullptr;
    QLabel* label_GPS = nullptr;
    QFrame* line = nullptr;
    QHBoxLayout* horizontalLayout_BatteryVoltage = nullptr;
    QLabel* label_MachineVoltage = nullptr;
    QLabel* label_VoltNum = nullptr;
    QHBoxLayout* horizontalLayout_Temperature = nullptr;
    QLabel* label_MachineTemperature = nullptr;
    QLabel* label_TempNum = nullptr;
    QHBoxLayout* horizontalLayout_Space = nullptr;
    QLabel* label_MachineSpace = nullptr;
    QLabel* label_SpaceNum = nullptr;
    QFrame* line2 = nullptr;
    QHBoxLayout* horizontalLayout_Time = nullptr;
    QLabel* label_MachineTime = nullptr;
    QLabel* label_Time = nullptr;
    QLabel* label_UpdateSec = nullptr;
    QProgressBar* progressBar = nullptr;

    void setupUi(QWidget* form);
};
