#include "Form_ParamUi.h"

#include "MyComboBox.h"

#include <QSpacerItem>

namespace {

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    return label;
}

QCheckBox* makeCheckBox(QWidget* parent, const char* objectName, const QString& text)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(objectName));
    return box;
}

QLineEdit* makeLineEdit(QWidget* parent, const char* objectName)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(objectName));
    return edit;
}

MyComboBox* makeCombo(QWidget* parent, const char* objectName)
{
    auto* combo = new MyComboBox(parent);
    combo->setObjectName(QLatin1String(objectName));
    return combo;
}

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    return button;
}

} // namespace

void Ui_Form_Param::setupUi(QWidget* form)
{
    form->setObjectName(QStringLiteral("Form_Param"));
    form->resize(884, 500);
    form->setWindowTitle(QStringLiteral("采集任务设置"));

    horizontalLayout = new QHBoxLayout(form);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    layout_Left = new QVBoxLayout();
    layout_Left->setObjectName(QStringLiteral("layout_Left"));
    layout_Task = new QVBoxLayout();
    layout_Task->setObjectName(QStringLiteral("layout_Task"));
    horizontalLayout->addLayout(layout_Left, 1);
    horizontalLayout->addLayout(layout_Task, 3);

    // Channel inputs: magnetic boxes on the left, electric rows with distance and pairing.
    groupBox_SampleRateTime = new QGroupBox(QStringLiteral("输入设置"), form);
    groupBox_SampleRateTime->setObjectName(QStringLiteral("groupBox_SampleRateTime"));
    layout_Inputs = new QHBoxLayout(groupBox_SampleRateTime);
    gridLayout_2 = new QGridLayout();
    gridLayout_2->setObjectName(QStringLiteral("gridLayout_2"));
    checkBox_CH1 = makeCheckBox(groupBox_SampleRateTime, "checkBox_CH1", QStringLiteral("Hx"));
    checkBox_CH2 = makeCheckBox(groupBox_SampleRateTime, "checkBox_CH2", QStringLiteral("Hy"));
    checkBox_CH3 = makeCheckBox(groupBox_SampleRateTime, "checkBox_CH3", QStringLiteral("Hz"));
    gridLayout_2->addWidget(checkBox_CH1, 0, 0);
    gridLayout_2->addWidget(checkBox_CH2, 1, 0);
    gridLayout_2->addWidget(checkBox_CH3, 2, 0);
    layout_Inputs->addLayout(gridLayout_2, 1);

    gridLayout = new QGridLayout();
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    checkBox_CH4 = makeCheckBox(groupBox_SampleRateTime, "checkBox_CH4", QStringLiteral("E0"));
    checkBox_CH5 = makeCheckBox(groupBox_SampleRateTime, "checkBox_CH5", QStringLiteral("E1"));
    checkBox_CH6 = makeCheckBox(groupBox_SampleRateTime, "checkBox_CH6", QStringLiteral("E2"));
    label_E0PoleDistance = makeLabel(groupBox_SampleRateTime, "label_E0PoleDistance", QStringLiteral("极距"));
    label_E1PoleDistance = makeLabel(groupBox_SampleRateTime, "label_E1PoleDistance", QStringLiteral("极距"));
    label_E2PoleDistance = makeLabel(groupBox_SampleRateTime, "label_E2PoleDistance", QStringLiteral("极距"));
    lineEdit_E0PoleDistance = makeLineEdit(groupBox_SampleRateTime, "lineEdit_E0PoleDistance");
    lineEdit_E1PoleDistance = makeLineEdit(groupBox_SampleRateTime, "lineEdit_E1PoleDistance");
    lineEdit_E2PoleDistance = makeLineEdit(groupBox_SampleRateTime, "lineEdit_E2PoleDistance");
    label_2 = makeLabel(groupBox_SampleRateTime, "label_2", QStringLiteral("米-匹配:"));
    label_4 = makeLabel(groupBox_SampleRateTime, "label_4", QStringLiteral("米-匹配:"));
    label_7 = makeLabel(groupBox_SampleRateTime, "label_7", QStringLiteral("米-匹配:"));
    comboBox_E0Match = makeCombo(groupBox_SampleRateTime, "comboBox_E0Match");
    comboBox_E1Match = makeCombo(groupBox_SampleRateTime, "comboBox_E1Match");
    comboBox_E2Match = makeCombo(groupBox_SampleRateTime, "comboBox_E2Match");
    QWidget* const rows[3][5] = {
        {checkBox_CH4, label_E0PoleDistance, lineEdit_E0PoleDistance, label_2, comboBox_E0Match},
        {checkBox_CH5, label_E1PoleDistance, lineEdit_E1PoleDistance, label_4, comboBox_E1Match},
        {checkBox_CH6, label_E2PoleDistance, lineEdit_E2PoleDistance, label_7, comboBox_E2Match},
    };
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 5; ++column)
            gridLayout->addWidget(rows[row][column], row, column);
    }
    layout_Inputs->addLayout(gridLayout, 4);
    layout_Task->addWidget(groupBox_SampleRateTime, 7);

    // Editors of one task: band and segment count, then the two gains.
    groupBox_SampleSetting = new QGroupBox(QStringLiteral("采样设置"), form);
    groupBox_SampleSetting->setObjectName(QStringLiteral("groupBox_SampleSetting"));
    layout_Setting = new QHBoxLayout(groupBox_SampleSetting);
    gridLayout_3 = new QGridLayout();
    gridLayout_3->setObjectName(QStringLiteral("gridLayout_3"));
    label_SampleRate = makeLabel(groupBox_SampleSetting, "label_SampleRate", QStringLiteral("频带:"));
    comboBox_SampleRate = makeCombo(groupBox_SampleSetting, "comboBox_SampleRate");
    label_BandFreq = makeLabel(groupBox_SampleSetting, "label_BandFreq", QStringLiteral("--"));
    label_Second = makeLabel(groupBox_SampleSetting, "label_Second", QStringLiteral("次数:"));
    cb_SegCnt = makeCombo(groupBox_SampleSetting, "cb_SegCnt");
    label_SampleTime = makeLabel(groupBox_SampleSetting, "label_SampleTime", QStringLiteral("--"));
    gridLayout_3->addWidget(label_SampleRate, 0, 0);
    gridLayout_3->addWidget(comboBox_SampleRate, 0, 1);
    gridLayout_3->addWidget(label_BandFreq, 0, 2);
    gridLayout_3->addWidget(label_Second, 1, 0);
    gridLayout_3->addWidget(cb_SegCnt, 1, 1);
    gridLayout_3->addWidget(label_SampleTime, 1, 2);
    layout_Setting->addLayout(gridLayout_3, 1);
    line_3 = new QFrame(groupBox_SampleSetting);
    line_3->setObjectName(QStringLiteral("line_3"));
    line_3->setFrameShape(QFrame::VLine);
    line_3->setFrameShadow(QFrame::Sunken);
    layout_Setting->addWidget(line_3);
    gridLayout_4 = new QGridLayout();
    gridLayout_4->setObjectName(QStringLiteral("gridLayout_4"));
    label_ElectricGain = makeLabel(groupBox_SampleSetting, "label_ElectricGain", QStringLiteral("电场增益:"));
    comboBox_ElectricGain = makeCombo(groupBox_SampleSetting, "comboBox_ElectricGain");
    label_MagneticGain = makeLabel(groupBox_SampleSetting, "label_MagneticGain", QStringLiteral("磁场增益:"));
    comboBox_MagneticGain = makeCombo(groupBox_SampleSetting, "comboBox_MagneticGain");
    gridLayout_4->addWidget(label_ElectricGain, 0, 0);
    gridLayout_4->addWidget(comboBox_ElectricGain, 0, 1);
    gridLayout_4->addWidget(label_MagneticGain, 1, 0);
    gridLayout_4->addWidget(comboBox_MagneticGain, 1, 1);
    layout_Setting->addLayout(gridLayout_4, 1);
    layout_Task->addWidget(groupBox_SampleSetting, 5);

    // Task list: online/offline tabs (added in code) and the task buttons over the table.
    groupBox_SampleTasksList = new QGroupBox(QStringLiteral("任务列表"), form);
    groupBox_SampleTasksList->setObjectName(QStringLiteral("groupBox_SampleTasksList"));
    layout_TaskList = new QVBoxLayout(groupBox_SampleTasksList);
    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    layout_OnLineSelect = new QHBoxLayout();
    layout_OnLineSelect->setObjectName(QStringLiteral("layout_OnLineSelect"));
    horizontalLayout_2->addLayout(layout_OnLineSelect, 2);
    btn_AddTask = makeButton(groupBox_SampleTasksList, "btn_AddTask", QStringLiteral("添加"));
    btn_EditTask = makeButton(groupBox_SampleTasksList, "btn_EditTask", QStringLiteral("修改"));
    btn_DeleteTask = makeButton(groupBox_SampleTasksList, "btn_DeleteTask", QStringLiteral("删除"));
    for (QPushButton* button : {btn_AddTask, btn_EditTask, btn_DeleteTask}) {
        horizontalLayout_2->addItem(new QSpacerItem(8, 10, QSizePolicy::Expanding, QSizePolicy::Minimum));
        horizontalLayout_2->addWidget(button, 1);
    }
    layout_TaskList->addLayout(horizontalLayout_2);
    table_SamplePara = new QTableView(groupBox_SampleTasksList);
    table_SamplePara->setObjectName(QStringLiteral("table_SamplePara"));
    table_SamplePara->setMinimumSize(400, 150);
    layout_TaskList->addWidget(table_SamplePara, 1);
    layout_Task->addWidget(groupBox_SampleTasksList, 12);
}
