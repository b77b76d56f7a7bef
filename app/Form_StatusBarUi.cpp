#include "Form_StatusBarUi.h"

namespace {

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    return label;
}

QFrame* makeSeparator(QWidget* parent, const char* objectName)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(objectName));
    frame->setFrameShape(QFrame::VLine);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

} // namespace

void Ui_Form_StatusBar::setupUi(QWidget* form)
{
    form->setObjectName(QStringLiteral("Form_StatusBar"));
    form->setWindowTitle(QStringLiteral("Form"));
    form->resize(1153, 28);

    horizontalLayout = new QHBoxLayout(form);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setSpacing(8);
    horizontalLayout->setContentsMargins(4, 0, 4, 0);

    label_NetConnect = makeLabel(form, "label_NetConnect", QStringLiteral("网络"));
    label_MachineStatus = makeLabel(form, "label_MachineStatus", QStringLiteral("仪器"));
    label_GPS = makeLabel(form, "label_GPS", QStringLiteral("定位"));
    line = makeSeparator(form, "line");
    horizontalLayout->addWidget(label_NetConnect);
    horizontalLayout->addWidget(label_MachineStatus);
    horizontalLayout->addWidget(label_GPS);
    horizontalLayout->addWidget(line);

    horizontalLayout_BatteryVoltage = new QHBoxLayout();
    horizontalLayout_BatteryVoltage->setObjectName(QStringLiteral("horizontalLayout_BatteryVoltage"));
    label_MachineVoltage = makeLabel(form, "label_MachineVoltage", QStringLiteral("电压:"));
    label_VoltNum = makeLabel(form, "label_VoltNum", QStringLiteral("--V"));
    horizontalLayout_BatteryVoltage->addWidget(label_MachineVoltage);
    horizontalLayout_BatteryVoltage->addWidget(label_VoltNum);
    horizontalLayout->addLayout(horizontalLayout_BatteryVoltage);

    horizontalLayout_Temperature = new QHBoxLayout();
    horizontalLayout_Temperature->setObjectName(QStringLiteral("horizontalLayout_Temperature"));
    label_MachineTemperature = makeLabel(form, "label_MachineTemperature", QStringLiteral("温度:"));
    label_TempNum = makeLabel(form, "label_TempNum", QStringLiteral("--℃"));
    horizontalLayout_Temperature->addWidget(label_MachineTemperature);
    horizontalLayout_Temperature->addWidget(label_TempNum);
    horizontalLayout->addLayout(horizontalLayout_Temperature);

    horizontalLayout_Space = new QHBoxLayout();
    horizontalLayout_Space->setObjectName(QStringLiteral("horizontalLayout_Space"));
    label_MachineSpace = makeLabel(form, "label_MachineSpace", QStringLiteral("内存:"));
    label_SpaceNum = makeLabel(form, "label_SpaceNum", QStringLiteral("--%"));
    horizontalLayout_Space->addWidget(label_MachineSpace);
    horizontalLayout_Space->addWidget(label_SpaceNum);
    horizontalLayout->addLayout(horizontalLayout_Space);

    line2 = makeSeparator(form, "line2");
    horizontalLayout->addWidget(line2);

    horizontalLayout_Time = new QHBoxLayout();
    horizontalLayout_Time->setObjectName(QStringLiteral("horizontalLayout_Time"));
    label_MachineTime = makeLabel(form, "label_MachineTime", QStringLiteral("时间"));
    label_Time = makeLabel(form, "label_Time", QStringLiteral("2000-01-01 00:00"));
    label_UpdateSec = makeLabel(form, "label_UpdateSec", QStringLiteral("0"));
    horizontalLayout_Time->addWidget(label_MachineTime);
    horizontalLayout_Time->addWidget(label_Time);
    horizontalLayout_Time->addWidget(label_UpdateSec);
    horizontalLayout->addLayout(horizontalLayout_Time);

    horizontalLayout->addStretch(1);
    progressBar = new QProgressBar(form);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setValue(0);
    progressBar->setMinimumWidth(180);
    horizontalLayout->addWidget(progressBar);
}
