#include "Form_Param.h"

#include "AppConstants.h"
#include "AppGlobals.h"
#include "CalibrationLibrary.h"
#include "Form_ParamUi.h"
#include "MessageBox.h"
#include "MyComboBox.h"

#include <QDebug>
#include <QFormLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QScroller>
#include <QStandardItemModel>
#include <QTabBar>

#include <algorithm>

namespace {

// Labels of the six inputs in CHSelect bit order.
const QStringList SensorNameList = {QStringLiteral("Hx磁棒"), QStringLiteral("Hy磁棒"), QStringLiteral("Hz磁棒"),
                                    QStringLiteral("E0电极"), QStringLiteral("E1电极"), QStringLiteral("E2电极")};
// Largest segment count of one sampling group.
const int MaxSegCnt = MaxSegmentCount;
// The table and the instrument take at most this many tasks per point.
const int MaxTasks = 4;
const QString NoCalibration = QStringLiteral("null");

int groupCount(const st_PointParam& param)
{
    return std::min<int>(param.GroupNum, MaxGroupNum);
}

QString hms(quint32 seconds)
{
    return QString::asprintf("%d:%02d:%02d", int(seconds / 3600), int(seconds % 3600 / 60), int(seconds % 60));
}

void setItemShown(QComboBox* combo, int index, bool shown)
{
    combo->setItemData(index, shown ? QVariant() : QVariant(QSize(0, 0)), Qt::SizeHintRole);
    if (!shown && combo->currentIndex() == index)
        combo->setCurrentIndex(0);
}

} // namespace

Form_Param::Form_Param(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_Form_Param)
{
    // 1. Form and task table.
    ui->setupUi(this);
    taskModel = new QStandardItemModel(ui->table_SamplePara);
    ui->table_SamplePara->setModel(taskModel);
    auto addButtonFollowsRows = [this] { ui->btn_AddTask->setEnabled(taskModel->rowCount() < MaxTasks); };
    connect(taskModel, &QAbstractItemModel::rowsInserted, this, addButtonFollowsRows);
    connect(taskModel, &QAbstractItemModel::rowsRemoved, this, addButtonFollowsRows);
    ui->table_SamplePara->verticalHeader()->hide();
    connect(ui->table_SamplePara, &QTableView::clicked, this, &Form_Param::clickedRow);
    QScroller::grabGesture(ui->table_SamplePara->viewport(), QScroller::LeftMouseButtonGesture);
    ui->table_SamplePara->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui->table_SamplePara->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    ui->table_SamplePara->setAutoScroll(false);

    // 2. Channels and electrode distances.
    for (int c = ChannelHx; c <= ChannelE2; ++c)
        getCheckBox(c)->setChecked(true);
    const QRegularExpression distancePattern(QStringLiteral("^([0-9]|[1-9][0-9]|[1-4][0-9][0-9]|500)$"));
    for (QLineEdit* edit : {ui->lineEdit_E0PoleDistance, ui->lineEdit_E1PoleDistance, ui->lineEdit_E2PoleDistance}) {
        edit->setText(QStringLiteral("0"));
        edit->setPlaceholderText(QStringLiteral("1~500"));
        edit->setValidator(new QRegularExpressionValidator(distancePattern, edit));
        edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        edit->setInputMethodHints(Qt::ImhDigitsOnly);
    }

    // 3. Online / offline.
    tabBar_OnLineSelect = new QTabBar(this);
    tabBar_OnLineSelect->setObjectName(QStringLiteral("tabBar_OnLineSelect"));
    tabBar_OnLineSelect->addTab(tr("在线"));
    tabBar_OnLineSelect->addTab(tr("离线"));
    tabBar_OnLineSelect->setCurrentIndex(0);
    tabBar_OnLineSelect->setUsesScrollButtons(false);
    ui->layout_OnLineSelect->addWidget(tabBar_OnLineSelect);

    // 4. Channel boxes and task buttons.
    for (QCheckBox* box : {ui->checkBox_CH1, ui->checkBox_CH2, ui->checkBox_CH3})
        connect(box, &QCheckBox::toggled, this, &Form_Param::showCHMatchAndSelect);
    connect(ui->checkBox_CH4, &QCheckBox::toggled, this, [this](bool on) { onElectrodeToggled(ChannelE0, on); });
    connect(ui->checkBox_CH5, &QCheckBox::toggled, this, [this](bool on) { onElectrodeToggled(ChannelE1, on); });
    connect(ui->checkBox_CH6, &QCheckBox::toggled, this, [this](bool on) { onElectrodeToggled(ChannelE2, on); });
    connect(ui->btn_EditTask, &QPushButton::clicked, this, &Form_Param::editTask);
    connect(ui->btn_AddTask, &QPushButton::clicked, this, &Form_Param::onAddTask);
    connect(ui->btn_DeleteTask, &QPushButton::clicked, this, &Form_Param::onDeleteTask);

    // 5.
    ui->btn_EditTask->setEnabled(false);
    ui->btn_DeleteTask->setEnabled(false);
    ui->btn_EditTask->setToolTip(tr("多选-只修改电极距\n单选-可修改所有参数"));
    ui->btn_DeleteTask->setStyleSheet(QStringLiteral("color:#d4380d"));

    // 6.
    initGainComboBox();

    // 7. Bands, highest selected.
    for (int i = 0; i < SampleRateList.size(); ++i)
        ui->comboBox_SampleRate->addItem(BandNameList.at(i), SampleRateList.at(i));
    ui->comboBox_SampleRate->setEnabled(true);
    connect(ui->comboBox_SampleRate, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Form_Param::onSampleRateChanged);
    ui->comboBox_SampleRate->setCurrentIndex(SampleRateList.size() - 1);

    // 8. Segment counts.
    connect(ui->cb_SegCnt, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Form_Param::onSegCntChanged);
    connect(ui->cb_SegCnt, &QComboBox::editTextChanged, this, &Form_Param::onSegCntChanged);
    initTimeComboBox(250000);

    // 9.
    const st_PointParam first = defaultTaskParam();

    // 10. Pairing combos.
    for (QComboBox* combo : findChildren<QComboBox*>()) {
        if (!combo->objectName().contains(QStringLiteral("Match")))
            continue;
        combo->addItem(tr("未设定"), 0);
        combo->addItem(QStringLiteral("Hx"), 1);
        combo->addItem(QStringLiteral("Hy"), 2);
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Form_Param::onCHMatchChanged);
    }

    // 11.
    ui->table_SamplePara->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->table_SamplePara->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->table_SamplePara->setSelectionMode(QAbstractItemView::MultiSelection);

    // 12.
    setTaskParam(first);
    initCalibrationGroup();
}

Form_Param::~Form_Param()
{
    delete ui;
}

st_PointParam Form_Param::getTaskParam(st_PointPos pos)
{
    st_PointParam copy = taskParam;
    copy.Pos = pos;
    return copy;
}

void Form_Param::setTaskParam(const st_PointParam& param)
{
    taskParam = param;
    // Drops groups of rates the instrument does not have and derives durations and flags anew.
    fitLoadedPointParam(taskParam);
    updateTaskTable(taskParam);
    setChannelMatch(taskParam.CHMatch);
    setChannelSelect(taskParam.CHSelect);
    ui->lineEdit_E0PoleDistance->setText(QString::number(taskParam.E0PoleD));
    ui->lineEdit_E1PoleDistance->setText(QString::number(taskParam.E1PoleD));
    ui->lineEdit_E2PoleDistance->setText(QString::number(taskParam.E2PoleD));
}

void Form_Param::setInputSense(QStringList list)
{
    qDebug() << "Form_Param" << "setInputSense" << list;
    for (int c = 0; c < 6; ++c) {
        const QString name = c < list.size() ? list.at(c) : QString();
        copySenseName(taskParam, ChannelHx + c, name);
        if (!calibrationCombos[c])
            continue;
        const int index = calibrationCombos[c]->findText(name);
        if (index >= 0)
            calibrationCombos[c]->setCurrentIndex(index);
    }
}

bool Form_Param::confirParam()
{
    auto refuse = [](const QString& title, const QString& text) {
        showMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok);
        return false;
    };
    if (getChannelSelect() == 0)
        return refuse(tr("参数错误"), tr("未至少选择一个通道"));

    QLineEdit* const distances[3] = {ui->lineEdit_E0PoleDistance, ui->lineEdit_E1PoleDistance,
                                     ui->lineEdit_E2PoleDistance};
    for (int e = 0; e < 3; ++e) {
        if (getCheckBox(ChannelE0 + e)->isChecked() && distances[e]->text().toInt() == 0)
            return refuse(tr("参数错误"), tr("极距设置错误！请输入正数！"));
    }

    taskParam.CHMatch = getChannelMatch();
    taskParam.CHSelect = getChannelSelect();
    taskParam.E0PoleD = static_cast<quint16>(distances[0]->text().toUInt());
    taskParam.E1PoleD = static_cast<quint16>(distances[1]->text().toUInt());
    taskParam.E2PoleD = static_cast<quint16>(distances[2]->text().toUInt());
    taskParam.PoleType = isNPE ? 1 : 0;

    QStringList missing;
    for (int c = ChannelHx; c <= ChannelE2; ++c) {
        const QString name = calibrationCombos[c - 1] ? calibrationCombos[c - 1]->currentData().toString() : NoCalibration;
        if (getCheckBox(c)->isChecked() && name == NoCalibration)
            missing << SensorNameList.at(c - 1);
        else
            copySenseName(taskParam, c, name);
    }
    if (!missing.isEmpty())
        return refuse(tr("参数错误"), tr("以下通道未设置标定文件：\n%1").arg(missing.join(QStringLiteral(", "))));

    if (taskParam.GroupNum == 0)
        return refuse(tr("任务配置出错"), tr("未配置任何采样任务！"));

    taskParam.StartTime = 0;
    return true;
}

void Form_Param::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    QHeaderView* header = ui->table_SamplePara->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    if (header->count() > 0)
        header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    const int height = taskRowHeight();
    for (int row = 0; row < taskModel->rowCount(); ++row)
        ui->table_SamplePara->setRowHeight(row, height);
}

void Form_Param::clickedRow(QModelIndex index)
{
    const int selected = selectedTaskRows().size();
    ui->btn_EditTask->setEnabled(selected == 1);
    ui->btn_DeleteTask->setEnabled(selected >= 1);
    const int row = index.row();
    if (row < 0 || row >= groupCount(taskParam))
        return;
    const st_GroupParam& group = taskParam.Group[row];
    const int band = SampleRateList.indexOf(int(group.SampleRate));
    if (band < 0) {
        showMessageBox(QMessageBox::Warning, tr("采样率错误"),
                       tr("采样频率%1不存在，切勿修改ini文件").arg(group.SampleRate), QMessageBox::Ok);
        return;
    }
    ui->comboBox_SampleRate->setCurrentIndex(band);
    // A gain that is not one of the steps would leave the editor without a gain at all.
    ui->comboBox_ElectricGain->setCurrentIndex(std::max(0, GainList.indexOf(int(group.EGain))));
    ui->comboBox_MagneticGain->setCurrentIndex(std::max(0, GainList.indexOf(int(group.HGain))));
    ui->cb_SegCnt->setEditText(QString::number(group.SegCnt));
}

st_GroupParam Form_Param::getGroupParam()
{
    const quint32 rate = ui->comboBox_SampleRate->currentData().toUInt();
    const int segments = std::clamp(ui->cb_SegCnt->currentText().toInt(), MinSegmentCount, MaxSegCnt);
    return makeGroupParam(rate, static_cast<quint16>(segments),
                     static_cast<quint16>(ui->comboBox_MagneticGain->currentData().toUInt()),
                     static_cast<quint16>(ui->comboBox_ElectricGain->currentData().toUInt()));
}

void Form_Param::editTask()
{
    const QList<int> rows = selectedTaskRows();
    if (rows.isEmpty())
        return;
    const int row = rows.first();
    if (row >= groupCount(taskParam))
        return;
    taskParam.Group[row] = getGroupParam();
    taskParam.PoleType = isNPE ? 1 : 0;
    updateTaskTable(taskParam);
}

void Form_Param::updateTaskTable(st_PointParam param)
{
    clearTaskTable();
    taskModel->setHorizontalHeaderLabels({tr("任务"), tr("频带"), tr("时长"), tr("增益")});
    const int rows = std::min(groupCount(param), MaxTasks);
    const int height = taskRowHeight();
    for (int i = 0; i < rows; ++i) {
        const st_GroupParam& group = param.Group[i];
        const int band = SampleRateList.indexOf(int(group.SampleRate));
        QList<QStandardItem*> items = {
            new QStandardItem(QStringLiteral("%1").arg(i + 1)),
            new QStandardItem(band >= 0 ? BandNameList.at(band) : tr("未知")),
            new QStandardItem(hms(group.Duration) + QStringLiteral("(%1)").arg(group.SegCnt)),
            new QStandardItem(QStringLiteral("E=%1,H=%2").arg(group.EGain).arg(group.HGain)),
        };
        for (QStandardItem* item : items)
            item->setTextAlignment(Qt::AlignCenter);
        taskModel->appendRow(items);
        ui->table_SamplePara->setRowHeight(i, height);
    }
    if (rows > 0) {
        const int widths[4] = {36, 144, 72, 72};
        for (int column = 0; column < 4; ++column)
            ui->table_SamplePara->setColumnWidth(column, widths[column]);
    }
}

void Form_Param::clearTaskTable()
{
    if (taskModel->rowCount() > 0)
        taskModel->removeRows(0, taskModel->rowCount());
}

void Form_Param::onAddTask()
{
    const st_GroupParam group = getGroupParam();
    int same = -1;
    for (int i = 0; i < groupCount(taskParam); ++i) {
        if (taskParam.Group[i].SampleRate == group.SampleRate)
            same = i;
    }
    if (same >= 0) {
        taskParam.Group[same] = group;
    } else if (taskParam.GroupNum >= MaxTasks) {
        showMessageBox(QMessageBox::Information, tr("提醒"), tr("最多添加%1个采样任务").arg(MaxTasks), QMessageBox::Ok);
        return;
    } else {
        taskParam.Group[taskParam.GroupNum] = group;
        ++taskParam.GroupNum;
    }
    updateTaskTable(taskParam);
}

void Form_Param::onDeleteTask()
{
    QList<int> rows = selectedTaskRows();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        delTask(row);
    updateTaskTable(taskParam);
}

void Form_Param::delTask(int i)
{
    // Later groups move down, across all 20, so no empty group is left inside the used range.
    removeGroup(taskParam, i);
}

void Form_Param::initTimeComboBox(uint32_t sRate)
{
    QComboBox* combo = ui->cb_SegCnt;
    combo->clear();
    combo->setEditable(true);
    combo->setCompleter(nullptr);
    QLineEdit* edit = combo->lineEdit();
    edit->setFont(combo->font());
    edit->setPlaceholderText(QStringLiteral("%1~%2").arg(MinSegmentCount).arg(MaxSegCnt));
    if (!qobject_cast<const QIntValidator*>(edit->validator()))
        edit->setValidator(new QIntValidator(MinSegmentCount, MaxSegCnt, edit));
    const QList<int> counts = sRate <= 99999 ? QList<int>{30, 50, 80, 100, 120} : QList<int>{30, 60, 90, 120};
    for (int count : counts)
        combo->addItem(QString::number(count), count);
    combo->setEditText(QStringLiteral("30"));
}

QCheckBox* Form_Param::getCheckBox(int i)
{
    return findChild<QCheckBox*>(QStringLiteral("checkBox_CH%1").arg(i));
}

uint8_t Form_Param::getChannelMatch()
{
    // The pairing combos' indexes are the partners; an empty combo pairs with nothing.
    uint8_t match = 0;
    for (int e = 0; e < 3; ++e)
        match = withMatchPartner(match, e, matchCombo(e)->currentIndex());
    return withHzMatched(match, ui->checkBox_CH3->isChecked());
}

void Form_Param::setChannelMatch(uint8_t match)
{
    for (int e = 0; e < 3; ++e) {
        // 3 is no partner at all (a damaged settings file); show it as unset.
        const int partner = matchPartner(match, e);
        matchCombo(e)->setCurrentIndex(partner <= MatchHy ? partner : MatchNone);
    }
    ui->checkBox_CH3->setChecked(isHzMatched(match));
}

uint8_t Form_Param::getChannelSelect()
{
    uint8_t channels = 0;
    for (int c = ChannelHx; c <= ChannelE2; ++c) {
        QCheckBox* box = getCheckBox(c);
        channels = withChannelSelected(channels, c, box && box->isChecked());
    }
    return channels;
}

void Form_Param::setChannelSelect(uint8_t channel)
{
    for (int c = ChannelHx; c <= ChannelE2; ++c) {
        if (QCheckBox* box = getCheckBox(c))
            box->setChecked(isChannelSelected(channel, c));
    }
}

void Form_Param::onSampleRateChanged(int index)
{
    if (index < 0 || index >= SampleRateList.size())
        return;
    const int rate = SampleRateList.at(index);
    ui->label_BandFreq->setText(BandRangeList.at(index));
    ui->label_BandFreq->setToolTip(tr("采样率:%1,FFT长度:%2").arg(rate).arg(SegmentSamples));
    initTimeComboBox(rate);
    // x40 belongs to the lowest band only, x160 to all the others.
    for (QComboBox* combo : {static_cast<QComboBox*>(ui->comboBox_ElectricGain),
                             static_cast<QComboBox*>(ui->comboBox_MagneticGain)}) {
        setItemShown(combo, 3, rate == 61);
        setItemShown(combo, 4, rate != 61);
    }
    const QList<int> rows = selectedTaskRows();
    ui->btn_EditTask->setEnabled(!rows.isEmpty() && rows.first() < groupCount(taskParam)
                                 && taskParam.Group[rows.first()].SampleRate == quint32(rate));
}

void Form_Param::onSegCntChanged()
{
    const int segments = ui->cb_SegCnt->currentText().toInt();
    const quint32 rate = ui->comboBox_SampleRate->currentData().toUInt();
    if (rate == 0 || segments < 0) {
        ui->label_SampleTime->setText(QStringLiteral("--"));
        return;
    }
    ui->label_SampleTime->setText(hms(groupDuration(quint32(segments), rate)));
}

void Form_Param::onCHMatchChanged()
{
    const uint8_t match = getChannelMatch();
    bool hxUsed = false;
    bool hyUsed = false;
    for (int e = 0; e < 3; ++e) {
        hxUsed = hxUsed || matchPartner(match, e) == MatchHx;
        hyUsed = hyUsed || matchPartner(match, e) == MatchHy;
    }
    // A magnetic channel that an electric channel is paired with must be recorded.
    ui->checkBox_CH1->setChecked(hxUsed);
    ui->checkBox_CH1->setEnabled(!hxUsed);
    ui->checkBox_CH2->setChecked(hyUsed);
    ui->checkBox_CH2->setEnabled(!hyUsed);
    showCHMatchAndSelect();
}

void Form_Param::showCHMatchAndSelect()
{
    ui->checkBox_CH3->setToolTip(QStringLiteral("CHSelect:%1,CHMatch:%2").arg(getChannelSelect()).arg(getChannelMatch()));
}

void Form_Param::onElectrodeToggled(int channel, bool on)
{
    if (channel == ChannelE0 || channel == ChannelE1) {
        QComboBox* match = matchCombo(channel - ChannelE0);
        if (!on)
            match->setCurrentIndex(MatchNone);
        else if (match->currentIndex() == MatchNone)
            match->setCurrentIndex(channel == ChannelE0 ? MatchHy : MatchHx);
    } else {
        for (int e = 0; e < 3; ++e)
            matchCombo(e)->setEnabled(true);
        if (!on) {
            ui->comboBox_E2Match->setCurrentIndex(MatchNone);
            if (ui->checkBox_CH4->isChecked())
                ui->comboBox_E0Match->setCurrentIndex(MatchHy);
            if (ui->checkBox_CH5->isChecked())
                ui->comboBox_E1Match->setCurrentIndex(MatchHx);
        } else if (ui->comboBox_E2Match->currentIndex() == MatchNone) {
            ui->comboBox_E2Match->setCurrentIndex(MatchHx);
        }
    }
    showCHMatchAndSelect();
}

void Form_Param::setOnLineSelect(int index)
{
    tabBar_OnLineSelect->setCurrentIndex(index);
}

int Form_Param::getOnLineSelect() const
{
    return tabBar_OnLineSelect->currentIndex();
}

void Form_Param::setStatusText(const QString& text)
{
    if (label_Status)
        label_Status->setText(text);
}

void Form_Param::initGainComboBox()
{
    for (int gain : GainList) {
        ui->comboBox_ElectricGain->addItem(QStringLiteral("x%1").arg(gain), gain);
        ui->comboBox_MagneticGain->addItem(QStringLiteral("x%1").arg(gain), gain);
    }
    ui->comboBox_ElectricGain->setCurrentIndex(0);
    ui->comboBox_MagneticGain->setCurrentIndex(0);
}

void Form_Param::initCalibrationGroup()
{
    auto* calibrationBox = new QGroupBox(tr("标定选择"), this);
    calibrationBox->setObjectName(QStringLiteral("groupBox_Calibration"));
    auto* calibrationLayout = new QFormLayout(calibrationBox);
    for (int c = 0; c < 6; ++c) {
        auto* combo = new MyComboBox(calibrationBox);
        combo->setObjectName(QStringLiteral("comboBox_Calibration%1").arg(c + 1));
        combo->setLayoutDirection(Qt::RightToLeft);
        calibrationLayout->addRow(SensorNameList.at(c), combo);
        calibrationCombos[c] = combo;
        if (c < 3)
            connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                    [this, c](int index) { onMagneticCalibrationChanged(c, index); });
        else
            connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                    [this, c](int index) { onElectricCalibrationChanged(c, index); });
    }
    label_PoleType = new QLabel(tr("未设定"), calibrationBox);
    label_PoleType->setObjectName(QStringLiteral("label_PoleType"));
    label_PoleType->setAlignment(Qt::AlignCenter);
    label_PoleType->setStyleSheet(QStringLiteral("color:green"));
    calibrationLayout->addRow(label_PoleType);

    auto* otherBox = new QGroupBox(tr("其他"), this);
    otherBox->setObjectName(QStringLiteral("groupBox_Other"));
    auto* otherLayout = new QFormLayout(otherBox);
    auto* stepRow = new QHBoxLayout();
    auto* stepDown = new QPushButton(QStringLiteral("-"), otherBox);
    stepDown->setObjectName(QStringLiteral("btn_PointStepDown"));
    lineEdit_PointStep = new QLineEdit(otherBox);
    lineEdit_PointStep->setObjectName(QStringLiteral("lineEdit_PointStep"));
    lineEdit_PointStep->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^-?(200|[1-1]?[0-9]{1,2}|0)$")),
                                        lineEdit_PointStep));
    auto* stepUp = new QPushButton(QStringLiteral("+"), otherBox);
    stepUp->setObjectName(QStringLiteral("btn_PointStepUp"));
    stepRow->addWidget(stepDown);
    stepRow->addWidget(lineEdit_PointStep, 1);
    stepRow->addWidget(stepUp);
    otherLayout->addRow(tr("步长/m"), stepRow);
    connect(stepDown, &QPushButton::clicked, this, [this] { stepPoint(-1); });
    connect(stepUp, &QPushButton::clicked, this, [this] { stepPoint(1); });

    auto* statusBox = new QGroupBox(tr("状态"), this);
    statusBox->setObjectName(QStringLiteral("groupBox_Status"));
    auto* statusLayout = new QVBoxLayout(statusBox);
    label_Status = new QLabel(statusBox);
    label_Status->setObjectName(QStringLiteral("label_Status"));
    label_Status->setWordWrap(true);
    statusLayout->addWidget(label_Status);

    ui->layout_Left->addWidget(calibrationBox, 7);
    ui->layout_Left->addWidget(otherBox, 2);
    ui->layout_Left->addWidget(statusBox, 4);

    readInputFolder();
}

void Form_Param::stepPoint(int delta)
{
    const int step = lineEdit_PointStep->text().toInt();
    if ((delta > 0 && step > 199) || (delta < 0 && step < -199))
        return;
    lineEdit_PointStep->setText(QString::number(step + delta));
}

void Form_Param::onMagneticCalibrationChanged(int channel, int index)
{
    if (index < 0)
        return;
    // One coil calibration serves at most one magnetic channel.
    const QString text = calibrationCombos[channel]->itemText(index);
    for (int other = 0; other < 3; ++other) {
        if (other != channel && calibrationCombos[other] && calibrationCombos[other]->currentText() == text)
            calibrationCombos[other]->setCurrentIndex(0);
    }
}

void Form_Param::onElectricCalibrationChanged(int channel, int index)
{
    if (index <= 0)
        return;
    // All electric channels use the non-polarizing calibration, or none of them does.
    isNPE = calibrationCombos[channel]->itemText(index) == QLatin1String("NPE");
    label_PoleType->setText(isNPE ? tr("不极化电极") : tr("极化电极"));
    const int npe = calibrationCombos[channel]->findText(QStringLiteral("NPE"));
    for (int other = 3; other < 6; ++other) {
        MyComboBox* combo = calibrationCombos[other];
        if (other == channel || !combo || combo->currentIndex() == 0)
            continue;
        if (isNPE)
            combo->setCurrentIndex(npe);
        else if (combo->currentIndex() == npe)
            combo->setCurrentIndex(1);
    }
}

void Form_Param::readInputFolder()
{
    for (MyComboBox* combo : calibrationCombos) {
        combo->clear();
        combo->addItem(tr("未设定"), NoCalibration);
    }
    QStringList names = readBinIndex(AppDirPath);
    names.removeDuplicates();

    instrumentList.clear();
    QStringList sensors;
    for (const QString& name : qAsConst(names)) {
        if (name.startsWith(QLatin1String("Sensor")))
            sensors << name;
        else
            instrumentList << name.section(QLatin1Char('/'), 0, 0);
    }
    instrumentList.removeDuplicates();

    if (sensors.isEmpty()) {
        showMessageBox(QMessageBox::Critical, tr("提醒"), tr("仪器校准/传感器文件及未找到！路径为%1。").arg(AppDirPath),
                       QMessageBox::Ok);
        return;
    }
    for (QString sensor : qAsConst(sensors)) {
        sensor.remove(QStringLiteral("Sensor/"));
        if (sensor.contains(QLatin1String("ICMS")) && !sensor.endsWith(QLatin1Char('C'))) {
            for (int c = 0; c < 3; ++c)
                calibrationCombos[c]->addItem(sensor, sensor);
        } else if (sensor.contains(QLatin1Char('E'))) {
            for (int c = 3; c < 6; ++c)
                calibrationCombos[c]->addItem(sensor, sensor);
        }
    }
}

QComboBox* Form_Param::matchCombo(int electric) const
{
    QComboBox* const combos[3] = {ui->comboBox_E0Match, ui->comboBox_E1Match, ui->comboBox_E2Match};
    return combos[electric];
}

QList<int> Form_Param::selectedTaskRows() const
{
    QList<int> rows;
    if (QItemSelectionModel* selection = ui->table_SamplePara->selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows())
            rows << index.row();
    }
    return rows;
}

int Form_Param::taskRowHeight() const
{
    return static_cast<int>(ui->groupBox_SampleTasksList->height() * 0.094 + 18.0 * UiScale);
}
