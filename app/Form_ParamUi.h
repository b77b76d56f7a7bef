#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QWidget>

class MyComboBox;

// The task page's form: channel inputs, task editors and the task list; the left column is
// filled in code.
class Ui_Form_Param
{
public:
    QHBoxLayout* horizontalLayout = nullptr;
    QVBoxLayout* layout_Left = nullptr;
    QVBoxLayout* layout_Task = nullptr;

    QGroupBox* groupBox_SampleRateTime = nullptr;
    QHBoxLayout* layout_Inputs = nullptr;
    QGridLayout* gridLayout_2 = nullptr;
    QCheckBox* checkBox_CH1 = nullptr;
    QCheckBox* checkBox_CH2 = nullptr;
    QCheckBox* checkBox_CH3 = nullptr;
    QGridLayout* gridLayout = nullptr;
    QCheckBox* checkBox_CH4 = nullptr;
    QCheckBox* checkBox_CH5 = nullptr;
    QCheckBox* checkBox_CH6 = nullptr;
    QLabel* label_E0PoleDistance = nullptr;
    QLabel* label_E1PoleDistance = nullptr;
    QLabel* label_E2PoleDistance = nullptr;
    QLineEdit* lineEdit_E0PoleDistance = nullptr;
    QLineEdit* lineEdit_E1PoleDistance = nullptr;
    QLineEdit* lineEdit_E2PoleDistance = nullptr;
    QLabel* label_2 = nullptr;
    QLabel* label_4 = nullptr;
    QLabel* label_7 = nullptr;
    MyComboBox* comboBox_E0Match = nullptr;
    MyComboBox* comboBox_E1Match = nullptr;
    MyComboBox* comboBox_E2Match = nullptr;

    QGroupBox* groupBox_SampleSetting = nullptr;
    QHBoxLayout* layout_Setting = nullptr;
    QGridLayout* gridLayout_3 = nullptr;
    QLabel* label_SampleRate = nullptr;
    MyComboBox* comboBox_SampleRate = nullptr;
    QLabel* label_BandFreq = nullptr;
    QLabel* label_Second = nullptr;
    MyComboBox* cb_SegCnt = nullptr;
    QLabel* label_SampleTime = nullptr;
    QFrame* line_3 = nullptr;
    QGridLayout* gridLayout_4 = nullptr;
    QLabel* label_ElectricGain = nullptr;
    MyComboBox* comboBox_ElectricGain = nullptr;
    QLabel* label_MagneticGain = nullptr;
    MyComboBox* comboBox_MagneticGain = nullptr;

    QGroupBox* groupBox_SampleTasksList = nullptr;
    QVBoxLayout* layout_TaskList = nullptr;
    QHBoxLayout* horizontalLayout_2 = nullptr;
    QHBoxLayout* layout_OnLineSelect = nullptr;
    QPushButton* btn_AddTask = nullptr;
    QPushButton* btn_EditTask = nullptr;
    QPushButton* btn_DeleteTask = nullptr;
    QTableView* table_SamplePara = nullptr;

    void setupUi(QWidget* form);
};
