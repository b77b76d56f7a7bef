#pragma once

#include "PointParam.h"

#include <QModelIndex>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class MyComboBox;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QResizeEvent;
class QStandardItemModel;
class QTabBar;
class Ui_Form_Param;

// The task page: channels, pairings, electrode distances, calibrations and up to four
// sampling tasks. It owns the current task record and hands out copies.
class Form_Param : public QWidget
{
    Q_OBJECT
public:
    explicit Form_Param(QWidget* parent = nullptr);
    ~Form_Param() override;

    void setTaskParam(const st_PointParam& param);
    void setOnLineSelect(int index);
    int getOnLineSelect() const;
    void setStatusText(const QString& text);
    void initGainComboBox();
    void initCalibrationGroup();

public slots:
    st_PointParam getTaskParam(st_PointPos pos);
    void setInputSense(QStringList list);
    bool confirParam();
    void resizeEvent(QResizeEvent* event) override;
    void clickedRow(QModelIndex index);
    st_GroupParam getGroupParam();
    void editTask();
    void updateTaskTable(st_PointParam param);
    void clearTaskTable();
    void onAddTask();
    void onDeleteTask();
    void delTask(int i);
    void initTimeComboBox(uint32_t sRate);
    QCheckBox* getCheckBox(int i);
    uint8_t getChannelMatch();
    void setChannelMatch(uint8_t match);
    uint8_t getChannelSelect();
    void setChannelSelect(uint8_t channel);
    void onSampleRateChanged(int index);
    void onSegCntChanged();
    void onCHMatchChanged();
    void showCHMatchAndSelect();
    void readInputFolder();

private:
    void onElectrodeToggled(int channel, bool on);
    void onMagneticCalibrationChanged(int channel, int index);
    void onElectricCalibrationChanged(int channel, int index);
    void stepPoint(int delta);
    int taskRowHeight() const;
    QComboBox* matchCombo(int electric) const;
    QList<int> selectedTaskRows() const;

    Ui_Form_Param* ui;
    bool isNPE = false;
    QTabBar* tabBar_OnLineSelect;
    st_PointParam taskParam;
    QStandardItemModel* taskModel;

public:
    QStringList instrumentList;

private:
    MyComboBox* calibrationCombos[6] = {};
    QLabel* label_PoleType = nullptr;

public:
    QLineEdit* lineEdit_PointStep = nullptr;
    QLabel* label_Status = nullptr;
};
