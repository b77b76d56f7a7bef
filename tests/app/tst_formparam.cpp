#include "AppGlobals.h"
#include "Form_Param.h"
#include "MainWindow.h"
#include "ModalBoxCatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "Form_StatusBar.h"

#include <cstring>

namespace {

// A calibration library as the instrument maker delivers it: header, directory, records.
bool writeLibrary(const QString& path, const QStringList& names, quint16 magic = 0x544D)
{
    QByteArray out(16, '\0');
    qToLittleEndian<quint16>(magic, out.data());
    qToLittleEndian<quint32>(quint32(names.size()), out.data() + 4);
    qToLittleEndian<qint64>(1700000000000LL, out.data() + 8);
    const qint64 dataStart = 16 + 80LL * names.size();
    for (int i = 0; i < names.size(); ++i) {
        char entry[80] = {};
        const QByteArray name = names.at(i).toUtf8();
        std::memcpy(entry, name.constData(), size_t(std::min(63, name.size())));
        qToLittleEndian<qint64>(dataStart + i * 48, entry + 64);
        qToLittleEndian<qint64>(48, entry + 72);
        out.append(entry, 80);
    }
    for (int i = 0; i < names.size(); ++i) {
        for (double f : {1.0, 1000.0}) {
            for (double v : {f, 1.0, 0.0}) {
                char b[8];
                quint64 bits;
                std::memcpy(&bits, &v, 8);
                qToLittleEndian(bits, b);
                out.append(b, 8);
            }
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

const QStringList StandardLibrary = {
    QStringLiteral("Sensor/ICMS-0001"), QStringLiteral("Sensor/ICMS-0002"), QStringLiteral("Sensor/ICMS-0003"),
    QStringLiteral("Sensor/ICMS-0001C"),  // a coil's variant entry is not offered
    QStringLiteral("Sensor/PE-01"), QStringLiteral("Sensor/NPE"),
    QStringLiteral("Sensor/other"),  // neither coil nor electrode
    QStringLiteral("1203/High/Hx-1"), QStringLiteral("1203/Low/Hy-4"), QStringLiteral("0988/Mid/E0-16"),
};

// The bytes of a task record laid out by hand, little-endian, offset by offset.
struct Bytes {
    QByteArray data = QByteArray(440, '\0');
    Bytes& u8(int o, quint8 v) { data[o] = char(v); return *this; }
    Bytes& u16(int o, quint16 v) { qToLittleEndian(v, data.data() + o); return *this; }
    Bytes& u32(int o, quint32 v) { qToLittleEndian(v, data.data() + o); return *this; }
    Bytes& i32(int o, qint32 v) { qToLittleEndian(v, data.data() + o); return *this; }
    Bytes& u64(int o, quint64 v) { qToLittleEndian(v, data.data() + o); return *this; }
    Bytes& text(int o, const char* s) { std::memcpy(data.data() + o, s, std::strlen(s)); return *this; }
    Bytes& group(int k, quint32 rate, quint32 seconds, quint16 h, quint16 e, quint8 low, quint16 segments)
    {
        const int o = 120 + 16 * k;
        return u32(o, rate).u32(o + 4, seconds).u16(o + 8, h).u16(o + 10, e).u8(o + 12, low).u16(o + 14, segments);
    }
};

QByteArray nameField(const st_PointParam& param, int channel)
{
    return pointParamToBytes(param).mid(40 + 12 * channel, 12);
}

st_PointPos position(qint64 project, qint32 id, qint32 line, qint32 point)
{
    st_PointPos pos{};
    pos.ProjectID = project;
    pos.ID = id;
    pos.Line = line;
    pos.Point = point;
    return pos;
}

} // namespace

class TestFormParam : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsWithItsDefaults();
    void recordOfAKnownTask();
    void namesAreCutAtTheirField();
    void refusals();
    void addingAndReplacingTasks();
    void loadingDropsUnknownRates();
    void deletingSelectedRows();
    void editingTheSelectedTask();
    void gainChoicesFollowTheBand();
    void segmentCountIsBounded();
    void pairingFollowsTheChannels();
    void calibrationChoices();
    void librariesAreListedOnce();
    void withoutSensorLibraries();
    void pointStepBounds();
    void mainWindowHoldsTheForms();

private:
    template <typename T>
    T* child(const char* name) { return form->findChild<T*>(QLatin1String(name)); }
    QComboBox* combo(const char* name) { return child<QComboBox>(name); }
    QComboBox* calibration(int channel) { return combo(qPrintable(QStringLiteral("comboBox_Calibration%1").arg(channel))); }
    QCheckBox* box(int channel) { return form->getCheckBox(channel); }
    QStandardItemModel* tasks() { return qobject_cast<QStandardItemModel*>(child<QTableView>("table_SamplePara")->model()); }
    QStringList row(int r);
    void clickRow(int r);
    void chooseTask(int band, const QString& segments, int eGainIndex, int hGainIndex);
    void deleteAllTasks();
    void makeForm();

    QTemporaryDir* folder = nullptr;
    Form_Param* form = nullptr;
};

void TestFormParam::init()
{
    folder = new QTemporaryDir();
    QVERIFY(folder->isValid());
    QVERIFY(writeLibrary(folder->filePath(QStringLiteral("Calibration.bin")), StandardLibrary));
    AppDirPath = folder->path();
    makeForm();
}

void TestFormParam::makeForm()
{
    delete form;
    form = new Form_Param();
    form->resize(884, 500);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
}

void TestFormParam::cleanup()
{
    delete form;
    form = nullptr;
    delete folder;
    folder = nullptr;
}

QStringList TestFormParam::row(int r)
{
    QStringList cells;
    for (int c = 0; c < tasks()->columnCount(); ++c)
        cells << tasks()->item(r, c)->text();
    return cells;
}

void TestFormParam::clickRow(int r)
{
    auto* view = child<QTableView>("table_SamplePara");
    const QRect rect = view->visualRect(tasks()->index(r, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void TestFormParam::chooseTask(int band, const QString& segments, int eGainIndex, int hGainIndex)
{
    combo("comboBox_SampleRate")->setCurrentIndex(band);
    combo("cb_SegCnt")->setEditText(segments);
    combo("comboBox_ElectricGain")->setCurrentIndex(eGainIndex);
    combo("comboBox_MagneticGain")->setCurrentIndex(hGainIndex);
}

void TestFormParam::deleteAllTasks()
{
    for (int r = 0; r < tasks()->rowCount(); ++r)
        clickRow(r);
    child<QPushButton>("btn_DeleteTask")->click();
    QCOMPARE(tasks()->rowCount(), 0);
}

void TestFormParam::startsWithItsDefaults()
{
    QCOMPARE(form->objectName(), QStringLiteral("Form_Param"));
    QCOMPARE(form->windowTitle(), QStringLiteral("采集任务设置"));
    QCOMPARE(child<QGroupBox>("groupBox_SampleRateTime")->title(), QStringLiteral("输入设置"));

    // The first task set: three bands of 30 segments at gain 1.
    QCOMPARE(tasks()->rowCount(), 3);
    QCOMPARE(tasks()->horizontalHeaderItem(0)->text(), QStringLiteral("任务"));
    QCOMPARE(tasks()->horizontalHeaderItem(3)->text(), QStringLiteral("增益"));
    QCOMPARE(row(0), (QStringList{"1", "H Band", "0:00:02(30)", "E=1,H=1"}));
    QCOMPARE(row(1), (QStringList{"2", "M Band", "0:01:04(30)", "E=1,H=1"}));
    QCOMPARE(row(2), (QStringList{"3", "L Band", "0:16:48(30)", "E=1,H=1"}));
    QCOMPARE(tasks()->item(0, 2)->textAlignment(), Qt::Alignment(Qt::AlignCenter));

    // Loading the default masks runs the channel handlers: E2 off re-pairs E0 with Hy and E1 with Hx.
    QCOMPARE(int(form->getChannelSelect()), 0x1B);
    QCOMPARE(int(form->getChannelMatch()), 0x06);
    QVERIFY(!box(1)->isEnabled() && !box(2)->isEnabled());
    QCOMPARE(box(3)->toolTip(), QStringLiteral("CHSelect:27,CHMatch:6"));
    QCOMPARE(child<QLineEdit>("lineEdit_E0PoleDistance")->text(), QStringLiteral("20"));
    QCOMPARE(child<QLineEdit>("lineEdit_E2PoleDistance")->placeholderText(), QStringLiteral("1~500"));
    for (const char* name : {"comboBox_E0Match", "comboBox_E1Match", "comboBox_E2Match"}) {
        QCOMPARE(combo(name)->count(), 3);
        QCOMPARE(combo(name)->itemText(0), QStringLiteral("未设定"));
        QCOMPARE(combo(name)->itemData(2).toInt(), 2);
    }

    // Editors: highest band, 30 segments, gain x1.
    QCOMPARE(combo("comboBox_SampleRate")->currentText(), QStringLiteral("H Band"));
    QCOMPARE(combo("comboBox_SampleRate")->currentData().toInt(), 250000);
    QCOMPARE(child<QLabel>("label_BandFreq")->text(), QStringLiteral("100kHz ~ 794Hz"));
    QCOMPARE(child<QLabel>("label_BandFreq")->toolTip(), QStringLiteral("采样率:250000,FFT长度:16384"));
    QCOMPARE(combo("cb_SegCnt")->currentText(), QStringLiteral("30"));
    QCOMPARE(combo("cb_SegCnt")->count(), 4);
    QCOMPARE(combo("cb_SegCnt")->lineEdit()->placeholderText(), QStringLiteral("3~5000"));
    QCOMPARE(child<QLabel>("label_SampleTime")->text(), QStringLiteral("0:00:02"));
    QCOMPARE(combo("comboBox_ElectricGain")->itemText(4), QStringLiteral("x160"));
    QCOMPARE(combo("comboBox_MagneticGain")->itemData(3).toInt(), 40);

    QVERIFY(child<QPushButton>("btn_AddTask")->isEnabled());
    QVERIFY(!child<QPushButton>("btn_EditTask")->isEnabled());
    QVERIFY(!child<QPushButton>("btn_DeleteTask")->isEnabled());
    QCOMPARE(child<QPushButton>("btn_EditTask")->toolTip(), QStringLiteral("多选-只修改电极距\n单选-可修改所有参数"));

    auto* onLine = form->findChild<QTabBar*>();
    QCOMPARE(onLine->tabText(0), QStringLiteral("在线"));
    QCOMPARE(onLine->tabText(1), QStringLiteral("离线"));
    QCOMPARE(form->getOnLineSelect(), 0);
    form->setOnLineSelect(1);
    QCOMPARE(form->getOnLineSelect(), 1);

    QCOMPARE(child<QLabel>("label_PoleType")->text(), QStringLiteral("未设定"));
    form->setStatusText(QStringLiteral("仪器：空闲"));
    QCOMPARE(form->label_Status->text(), QStringLiteral("仪器：空闲"));
}

void TestFormParam::recordOfAKnownTask()
{
    // Channels: all six; Hz on; E2 switched on pairs with Hx.
    box(3)->setChecked(true);
    box(6)->setChecked(true);
    QCOMPARE(combo("comboBox_E2Match")->currentIndex(), 1);
    child<QLineEdit>("lineEdit_E0PoleDistance")->setText(QStringLiteral("50"));
    child<QLineEdit>("lineEdit_E1PoleDistance")->setText(QStringLiteral("100"));
    child<QLineEdit>("lineEdit_E2PoleDistance")->setText(QStringLiteral("500"));
    calibration(1)->setCurrentText(QStringLiteral("ICMS-0001"));
    calibration(2)->setCurrentText(QStringLiteral("ICMS-0002"));
    calibration(3)->setCurrentText(QStringLiteral("ICMS-0003"));
    calibration(4)->setCurrentText(QStringLiteral("NPE"));
    calibration(5)->setCurrentText(QStringLiteral("NPE"));
    calibration(6)->setCurrentText(QStringLiteral("NPE"));
    QCOMPARE(child<QLabel>("label_PoleType")->text(), QStringLiteral("不极化电极"));

    deleteAllTasks();
    chooseTask(0, QStringLiteral("50"), 3, 2);  // 61 Hz, E x40, H x16
    child<QPushButton>("btn_AddTask")->click();
    chooseTask(3, QStringLiteral("120"), 4, 1);  // 250000 Hz, E x160, H x4
    child<QPushButton>("btn_AddTask")->click();
    chooseTask(2, QStringLiteral("5000"), 0, 0);  // 7800 Hz
    child<QPushButton>("btn_AddTask")->click();
    QCOMPARE(row(0), (QStringList{"1", "VL Band", "3:43:50(50)", "E=40,H=16"}));

    ModalBoxCatcher boxes;
    QVERIFY(form->confirParam());
    QCOMPARE(boxes.count(), 0);

    const st_PointParam param = form->getTaskParam(position(0x0102030405060708LL, 7, 3, 1200));
    Bytes expected;
    expected.u64(0, 0x0102030405060708ull).i32(8, 7).i32(12, 3).i32(16, 1200).i32(20, 0)
        .u64(24, 0)
        .u8(32, 3).u8(33, 0x3F).u8(34, 0x56).u8(35, 1)
        .text(40, "ICMS-0001").text(52, "ICMS-0002").text(64, "ICMS-0003")
        .text(76, "NPE").text(88, "NPE").text(100, "NPE")
        .u16(112, 50).u16(114, 100).u16(116, 500)
        .group(0, 61, 13430, 16, 40, 1, 50)      // 50 x 16384 / 61 = 13429.5 s
        .group(1, 250000, 8, 4, 160, 0, 120)     // 7.86 s
        .group(2, 7800, 10503, 1, 1, 0, 5000);   // 10502.6 s
    QCOMPARE(pointParamToBytes(param).toHex(' '), expected.data.toHex(' '));

    // The form keeps its own position.
    const st_PointParam again = form->getTaskParam(position(NoProjectID, -1, 0, 0));
    QCOMPARE(pointParamToBytes(again).mid(24), expected.data.mid(24));
    QCOMPARE(again.Pos.ID, -1);

    // The same record loaded into a fresh form gives the same record back.
    makeForm();
    form->setTaskParam(param);
    form->setInputSense({"ICMS-0001", "ICMS-0002", "ICMS-0003", "NPE", "NPE", "NPE"});
    QVERIFY(form->confirParam());
    QCOMPARE(pointParamToBytes(form->getTaskParam(param.Pos)).toHex(' '), expected.data.toHex(' '));
}

void TestFormParam::namesAreCutAtTheirField()
{
    const QString twelve = QStringLiteral("ICMS-ABCDEFG");
    const QString longer = QStringLiteral("ICMS-0001-EXTRA");
    const QString chinese = QStringLiteral("ICMS-传感器A");  // 5 + 3 x 3 + 1 = 15 bytes
    form->setInputSense({twelve, longer, chinese});
    const st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    QCOMPARE(nameField(p, 0), twelve.toUtf8());
    QCOMPARE(nameField(p, 1), longer.toUtf8().left(12));
    // Cut inside the third character's bytes, as the field allows.
    QCOMPARE(nameField(p, 2), chinese.toUtf8().left(12));
    for (int c = 3; c < 6; ++c)
        QCOMPARE(nameField(p, c), QByteArray(12, '\0'));
}

void TestFormParam::refusals()
{
    ModalBoxCatcher boxes;
    auto expectRefusal = [&](const QString& title, const QString& text) {
        boxes.clear();
        QVERIFY(!form->confirParam());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().icon, QMessageBox::Critical);
        QCOMPARE(boxes.last().title, title);
        QCOMPARE(boxes.last().text, text);
        QCOMPARE(boxes.last().buttons, QStringList{QStringLiteral("好")});
    };

    // No calibration chosen for the four recorded channels.
    expectRefusal(QStringLiteral("参数错误"), QStringLiteral("以下通道未设置标定文件：\nHx磁棒, Hy磁棒, E0电极, E1电极"));
    // The masks and distances are taken even though the check failed.
    child<QLineEdit>("lineEdit_E2PoleDistance")->setText(QStringLiteral("77"));
    expectRefusal(QStringLiteral("参数错误"), QStringLiteral("以下通道未设置标定文件：\nHx磁棒, Hy磁棒, E0电极, E1电极"));
    st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    QCOMPARE(int(p.CHSelect), 0x1B);
    QCOMPARE(int(p.E2PoleD), 77);

    // A checked electrode with no distance.
    child<QLineEdit>("lineEdit_E1PoleDistance")->setText(QStringLiteral("0"));
    expectRefusal(QStringLiteral("参数错误"), QStringLiteral("极距设置错误！请输入正数！"));
    child<QLineEdit>("lineEdit_E1PoleDistance")->setText(QString());
    expectRefusal(QStringLiteral("参数错误"), QStringLiteral("极距设置错误！请输入正数！"));
    // An unchecked electrode may have none.
    box(5)->setChecked(false);
    calibration(1)->setCurrentText(QStringLiteral("ICMS-0001"));
    calibration(2)->setCurrentText(QStringLiteral("ICMS-0002"));
    calibration(4)->setCurrentText(QStringLiteral("PE-01"));
    QVERIFY(form->confirParam());

    // No task.
    deleteAllTasks();
    expectRefusal(QStringLiteral("任务配置出错"), QStringLiteral("未配置任何采样任务！"));

    // No channel at all.
    form->setChannelSelect(0);
    QCOMPARE(int(form->getChannelSelect()), 0);
    expectRefusal(QStringLiteral("参数错误"), QStringLiteral("未至少选择一个通道"));
}

void TestFormParam::addingAndReplacingTasks()
{
    auto* add = child<QPushButton>("btn_AddTask");
    chooseTask(0, QStringLiteral("80"), 0, 0);
    add->click();
    QCOMPARE(tasks()->rowCount(), 4);
    QVERIFY(!add->isEnabled());

    // The same band again replaces its task, also with four tasks.
    chooseTask(2, QStringLiteral("100"), 2, 1);
    form->onAddTask();
    QCOMPARE(tasks()->rowCount(), 4);
    QCOMPARE(row(1), (QStringList{"2", "M Band", "0:03:31(100)", "E=16,H=4"}));

    // Four tasks that do not cover every band (one band twice, as a hand-edited settings file
    // can give): a new band is refused.
    st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    p.Group[2] = p.Group[1];
    form->setTaskParam(p);
    const QByteArray before = pointParamToBytes(form->getTaskParam(p.Pos));
    ModalBoxCatcher boxes;
    chooseTask(1, QStringLiteral("30"), 0, 0);  // 488 Hz
    form->onAddTask();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().icon, QMessageBox::Information);
    QCOMPARE(boxes.last().title, QStringLiteral("提醒"));
    QCOMPARE(boxes.last().text, QStringLiteral("最多添加4个采样任务"));
    QCOMPARE(pointParamToBytes(form->getTaskParam(p.Pos)), before);
    // The last task of a repeated band is the one replaced.
    chooseTask(2, QStringLiteral("50"), 0, 0);
    form->onAddTask();
    QCOMPARE(row(1).at(2), QStringLiteral("0:03:31(100)"));
    QCOMPARE(row(2).at(2), QStringLiteral("0:01:46(50)"));

    // A rate the instrument does not have shows as unknown.
    p.Group[3].SampleRate = 1000;
    form->updateTaskTable(p);
    QCOMPARE(row(3).at(1), QStringLiteral("未知"));
}

void TestFormParam::loadingDropsUnknownRates()
{
    st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    p.Group[1].SampleRate = 1000;
    p.Group[0].Duration = 999;  // recomputed on load
    p.Group[2].LowRate = 0;
    form->setTaskParam(p);
    const st_PointParam loaded = form->getTaskParam(p.Pos);
    QCOMPARE(int(loaded.GroupNum), 2);
    QCOMPARE(tasks()->rowCount(), 2);
    QCOMPARE(row(1), (QStringList{"2", "L Band", "0:16:48(30)", "E=1,H=1"}));
    QCOMPARE(loaded.Group[0].Duration, 2u);
    QCOMPARE(int(loaded.Group[1].LowRate), 1);
    QCOMPARE(pointParamToBytes(loaded).mid(120 + 32, 16), QByteArray(16, '\0'));

    // A damaged count is bounded by the record's 20 groups; the groups past four stay in order.
    Bytes raw;
    raw.u8(32, 250).u8(33, 0x1B).u8(34, 0x69);
    const quint32 rates[] = {61, 488, 7800, 250000, 0, 7800};
    for (int k = 0; k < 20; ++k)
        raw.group(k, k < 6 ? rates[k] : 61, 0, 1, 1, 0, 30);
    st_PointParam damaged;
    QVERIFY(pointParamFromBytes(raw.data, &damaged));
    form->setTaskParam(damaged);
    const st_PointParam bounded = form->getTaskParam(damaged.Pos);
    QCOMPARE(int(bounded.GroupNum), 19);
    QCOMPARE(bounded.Group[4].SampleRate, 7800u);
    QCOMPARE(bounded.Group[18].SampleRate, 61u);
    QCOMPARE(bounded.Group[19].SampleRate, 0u);
    QCOMPARE(tasks()->rowCount(), 4);
}

void TestFormParam::deletingSelectedRows()
{
    chooseTask(0, QStringLiteral("50"), 0, 0);
    child<QPushButton>("btn_AddTask")->click();
    QCOMPARE(tasks()->rowCount(), 4);
    clickRow(0);
    QVERIFY(child<QPushButton>("btn_EditTask")->isEnabled());
    QVERIFY(child<QPushButton>("btn_DeleteTask")->isEnabled());
    clickRow(2);
    QVERIFY(!child<QPushButton>("btn_EditTask")->isEnabled());
    QVERIFY(child<QPushButton>("btn_DeleteTask")->isEnabled());
    child<QPushButton>("btn_DeleteTask")->click();
    QCOMPARE(tasks()->rowCount(), 2);
    QCOMPARE(row(0), (QStringList{"1", "M Band", "0:01:04(30)", "E=1,H=1"}));
    QCOMPARE(row(1), (QStringList{"2", "VL Band", "3:43:50(50)", "E=1,H=1"}));
    QVERIFY(child<QPushButton>("btn_AddTask")->isEnabled());
    const st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    QCOMPARE(int(p.GroupNum), 2);
    QCOMPARE(pointParamToBytes(p).mid(120 + 32), QByteArray(440 - 152, '\0'));

    // Counting never wraps below zero.
    form->delTask(0);
    form->delTask(0);
    form->delTask(0);
    QCOMPARE(int(form->getTaskParam(p.Pos).GroupNum), 0);
}

void TestFormParam::editingTheSelectedTask()
{
    clickRow(1);  // M Band, loaded into the editors
    QCOMPARE(combo("comboBox_SampleRate")->currentText(), QStringLiteral("M Band"));
    QCOMPARE(combo("cb_SegCnt")->currentText(), QStringLiteral("30"));
    QCOMPARE(combo("cb_SegCnt")->count(), 5);  // the lower bands' counts
    QVERIFY(child<QPushButton>("btn_EditTask")->isEnabled());
    combo("cb_SegCnt")->setEditText(QStringLiteral("80"));
    combo("comboBox_ElectricGain")->setCurrentIndex(2);
    child<QPushButton>("btn_EditTask")->click();
    QCOMPARE(row(1), (QStringList{"2", "M Band", "0:02:49(80)", "E=16,H=1"}));

    // Choosing another band than the selected task's disables editing.
    clickRow(0);
    QVERIFY(child<QPushButton>("btn_EditTask")->isEnabled());
    combo("comboBox_SampleRate")->setCurrentIndex(0);
    QVERIFY(!child<QPushButton>("btn_EditTask")->isEnabled());
    combo("comboBox_SampleRate")->setCurrentIndex(3);
    QVERIFY(child<QPushButton>("btn_EditTask")->isEnabled());

    // A task with a gain that is not a step loads as x1 rather than no gain.
    st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    p.Group[2].EGain = 7;
    form->setTaskParam(p);
    clickRow(2);
    QCOMPARE(combo("comboBox_ElectricGain")->currentIndex(), 0);
    QCOMPARE(int(form->getGroupParam().EGain), 1);
}

void TestFormParam::gainChoicesFollowTheBand()
{
    auto shown = [](QComboBox* c, int i) { return !c->itemData(i, Qt::SizeHintRole).isValid(); };
    QComboBox* e = combo("comboBox_ElectricGain");
    QComboBox* h = combo("comboBox_MagneticGain");
    QVERIFY(shown(e, 4) && !shown(e, 3));
    e->setCurrentIndex(4);
    h->setCurrentIndex(2);
    combo("comboBox_SampleRate")->setCurrentIndex(0);  // 61 Hz
    for (QComboBox* c : {e, h}) {
        QVERIFY(shown(c, 0) && shown(c, 1) && shown(c, 2) && shown(c, 3));
        QVERIFY(!shown(c, 4));
        QCOMPARE(c->itemData(4, Qt::SizeHintRole).toSize(), QSize(0, 0));
    }
    QCOMPARE(e->currentText(), QStringLiteral("x1"));  // x160 is gone at 61 Hz
    QCOMPARE(h->currentText(), QStringLiteral("x16"));
    QCOMPARE(child<QLabel>("label_BandFreq")->text(), QStringLiteral("10Hz ~ 0.06Hz"));
    e->setCurrentIndex(3);
    combo("comboBox_SampleRate")->setCurrentIndex(1);
    QVERIFY(!shown(e, 3) && shown(e, 4));
    QCOMPARE(e->currentText(), QStringLiteral("x1"));
    form->onSampleRateChanged(7);  // outside the band list: nothing
    QCOMPARE(child<QLabel>("label_BandFreq")->text(), QStringLiteral("79.4Hz ~ 1Hz"));
}

void TestFormParam::segmentCountIsBounded()
{
    QComboBox* segments = combo("cb_SegCnt");
    // The validator stops a fifth digit; four digits above 5000 stay as unfinished input
    // and are clamped when the task is taken.
    segments->lineEdit()->clear();
    QTest::keyClicks(segments->lineEdit(), QStringLiteral("60000"));
    QCOMPARE(segments->currentText(), QStringLiteral("6000"));
    QCOMPARE(int(form->getGroupParam().SegCnt), 5000);
    segments->lineEdit()->clear();
    QTest::keyClicks(segments->lineEdit(), QStringLiteral("600"));
    QCOMPARE(child<QLabel>("label_SampleTime")->text(), QStringLiteral("0:00:40"));

    segments->lineEdit()->clear();
    QTest::keyClicks(segments->lineEdit(), QStringLiteral("2"));
    QCOMPARE(segments->currentText(), QStringLiteral("2"));
    QCOMPARE(int(form->getGroupParam().SegCnt), 3);
    segments->setEditText(QStringLiteral("6000"));
    QCOMPARE(int(form->getGroupParam().SegCnt), 5000);
    segments->setEditText(QStringLiteral("abc"));
    QCOMPARE(int(form->getGroupParam().SegCnt), 3);

    const st_GroupParam g = form->getGroupParam();
    QCOMPARE(g.SampleRate, 250000u);
    QCOMPARE(g.Duration, 1u);  // 3 x 16384 / 250000 = 0.197
    QCOMPARE(int(g.LowRate), 0);
    combo("comboBox_SampleRate")->setCurrentIndex(1);
    QCOMPARE(int(form->getGroupParam().LowRate), 1);  // 488 Hz is below 489
}

void TestFormParam::pairingFollowsTheChannels()
{
    // E2 on, then off again while E0 and E1 are on: E0 with Hy, E1 with Hx, both coils locked on.
    box(6)->setChecked(true);
    combo("comboBox_E0Match")->setCurrentIndex(1);
    combo("comboBox_E1Match")->setCurrentIndex(1);
    QVERIFY(!box(2)->isChecked() && box(2)->isEnabled());
    box(6)->setChecked(false);
    QCOMPARE(combo("comboBox_E0Match")->currentIndex(), 2);
    QCOMPARE(combo("comboBox_E1Match")->currentIndex(), 1);
    QCOMPARE(combo("comboBox_E2Match")->currentIndex(), 0);
    QVERIFY(box(1)->isChecked() && !box(1)->isEnabled());
    QVERIFY(box(2)->isChecked() && !box(2)->isEnabled());

    // E0 off clears its pairing; on again picks Hy. E1 on picks Hx.
    box(4)->setChecked(false);
    QCOMPARE(combo("comboBox_E0Match")->currentIndex(), 0);
    box(5)->setChecked(false);
    QVERIFY(!box(1)->isChecked() && box(1)->isEnabled());
    box(4)->setChecked(true);
    QCOMPARE(combo("comboBox_E0Match")->currentIndex(), 2);
    box(5)->setChecked(true);
    QCOMPARE(combo("comboBox_E1Match")->currentIndex(), 1);

    // Hz only sets bit 6.
    box(3)->setChecked(true);
    QCOMPARE(int(form->getChannelMatch()), 2 | 4 | 64);
    form->setChannelMatch(0x21);  // E0 Hx, E2 Hy, Hz off
    QCOMPARE(combo("comboBox_E0Match")->currentIndex(), 1);
    QCOMPARE(combo("comboBox_E1Match")->currentIndex(), 0);
    QCOMPARE(combo("comboBox_E2Match")->currentIndex(), 2);
    QVERIFY(!box(3)->isChecked());
    QCOMPARE(box(3)->toolTip(), QStringLiteral("CHSelect:%1,CHMatch:33").arg(form->getChannelSelect()));

    // A pairing field of 3 (no magnetic channel) from a damaged record shows as unset and
    // never goes back into the record.
    st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    p.CHSelect = 0x1F;  // E2 stays off, so its handler does not pick a partner
    p.CHMatch = 0x40 | 0x30 | 0x04 | 0x03;  // E0 3, E1 Hx, E2 3, Hz on
    form->setTaskParam(p);
    QCOMPARE(combo("comboBox_E0Match")->currentText(), QStringLiteral("未设定"));
    QCOMPARE(combo("comboBox_E2Match")->currentText(), QStringLiteral("未设定"));
    QCOMPARE(int(form->getChannelMatch()), 0x40 | 0x04);
}

void TestFormParam::calibrationChoices()
{
    // Coils: the three ICMS entries without the "C" variant; electrodes: PE-01 and NPE.
    QStringList coils, electrodes;
    for (int i = 0; i < calibration(1)->count(); ++i)
        coils << calibration(1)->itemText(i);
    for (int i = 0; i < calibration(4)->count(); ++i)
        electrodes << calibration(4)->itemText(i);
    QCOMPARE(coils, (QStringList{"未设定", "ICMS-0001", "ICMS-0002", "ICMS-0003"}));
    QCOMPARE(electrodes, (QStringList{"未设定", "PE-01", "NPE"}));
    QCOMPARE(calibration(1)->itemData(0).toString(), QStringLiteral("null"));
    QCOMPARE(calibration(6)->itemData(2).toString(), QStringLiteral("NPE"));
    QCOMPARE(form->instrumentList, (QStringList{"1203", "0988"}));

    // One coil calibration serves one magnetic channel.
    calibration(1)->setCurrentText(QStringLiteral("ICMS-0002"));
    calibration(2)->setCurrentText(QStringLiteral("ICMS-0002"));
    QCOMPARE(calibration(1)->currentIndex(), 0);

    // NPE on E1 moves E0 and E2 to NPE; another electrode on E0 moves them off it.
    calibration(4)->setCurrentText(QStringLiteral("PE-01"));
    QCOMPARE(child<QLabel>("label_PoleType")->text(), QStringLiteral("极化电极"));
    calibration(6)->setCurrentText(QStringLiteral("PE-01"));
    calibration(5)->setCurrentText(QStringLiteral("NPE"));
    QCOMPARE(calibration(4)->currentText(), QStringLiteral("NPE"));
    QCOMPARE(calibration(6)->currentText(), QStringLiteral("NPE"));
    QCOMPARE(child<QLabel>("label_PoleType")->text(), QStringLiteral("不极化电极"));
    calibration(4)->setCurrentText(QStringLiteral("PE-01"));
    QCOMPARE(calibration(5)->currentText(), QStringLiteral("PE-01"));
    QCOMPARE(calibration(6)->currentText(), QStringLiteral("PE-01"));
    QCOMPARE(child<QLabel>("label_PoleType")->text(), QStringLiteral("极化电极"));
    // Unset electric channels are left alone.
    calibration(6)->setCurrentIndex(0);
    calibration(4)->setCurrentText(QStringLiteral("NPE"));
    QCOMPARE(calibration(6)->currentIndex(), 0);

    // Names from the settings select their items; an unknown name selects nothing.
    form->setInputSense({"ICMS-0003", "unknown", "null", "PE-01"});
    QCOMPARE(calibration(1)->currentText(), QStringLiteral("ICMS-0003"));
    QCOMPARE(calibration(2)->currentText(), QStringLiteral("ICMS-0002"));
    QCOMPARE(calibration(4)->currentText(), QStringLiteral("PE-01"));
    const st_PointParam p = form->getTaskParam(position(NoProjectID, 0, 1, 1));
    QCOMPARE(nameField(p, 1), QByteArray("unknown").leftJustified(12, '\0'));
}

void TestFormParam::librariesAreListedOnce()
{
    QVERIFY(writeLibrary(folder->filePath(QStringLiteral("another.BIN")), {"Sensor/NPE", "Sensor/ICMS-0009"}));
    QVERIFY(writeLibrary(folder->filePath(QStringLiteral("b_second.bin")), {"Sensor/NPE", "Sensor/E-77", "/odd"}));
    QVERIFY(writeLibrary(folder->filePath(QStringLiteral("c_wrong.bin")), {"Sensor/ICMS-BAD"}, 0x1234));
    QFile junk(folder->filePath(QStringLiteral("d_short.bin")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("MT");
    junk.close();
    form->readInputFolder();
    QStringList electrodes;
    for (int i = 0; i < calibration(5)->count(); ++i)
        electrodes << calibration(5)->itemText(i);
    // Libraries in name order ignoring case, entries in their order, each name once.
    QCOMPARE(electrodes, (QStringList{"未设定", "NPE", "E-77", "PE-01"}));
    QCOMPARE(calibration(3)->findText(QStringLiteral("ICMS-0009")), 1);
    QCOMPARE(calibration(3)->findText(QStringLiteral("ICMS-BAD")), -1);
    QCOMPARE(form->instrumentList, (QStringList{"", "1203", "0988"}));
}

void TestFormParam::withoutSensorLibraries()
{
    QTemporaryDir empty;
    QVERIFY(writeLibrary(empty.filePath(QStringLiteral("boards.bin")), {"1203/High/Hx-1"}));
    AppDirPath = empty.path();
    ModalBoxCatcher boxes;
    makeForm();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().icon, QMessageBox::Critical);
    QCOMPARE(boxes.last().title, QStringLiteral("提醒"));
    QCOMPARE(boxes.last().text, QStringLiteral("仪器校准/传感器文件及未找到！路径为%1。").arg(empty.path()));
    for (int c = 1; c <= 6; ++c) {
        QCOMPARE(calibration(c)->count(), 1);
        QCOMPARE(calibration(c)->currentText(), QStringLiteral("未设定"));
    }
    QCOMPARE(form->instrumentList, QStringList{"1203"});
}

void TestFormParam::pointStepBounds()
{
    QLineEdit* step = form->lineEdit_PointStep;
    auto* up = child<QPushButton>("btn_PointStepUp");
    auto* down = child<QPushButton>("btn_PointStepDown");
    step->clear();
    up->click();
    QCOMPARE(step->text(), QStringLiteral("1"));
    step->setText(QStringLiteral("199"));
    up->click();
    QCOMPARE(step->text(), QStringLiteral("200"));
    up->click();
    QCOMPARE(step->text(), QStringLiteral("200"));
    step->setText(QStringLiteral("-199"));
    down->click();
    QCOMPARE(step->text(), QStringLiteral("-200"));
    down->click();
    QCOMPARE(step->text(), QStringLiteral("-200"));
    step->clear();
    down->click();
    QCOMPARE(step->text(), QStringLiteral("-1"));
    step->clear();
    QTest::keyClicks(step, QStringLiteral("-201"));
    QCOMPARE(step->text(), QStringLiteral("-20"));
}

void TestFormParam::mainWindowHoldsTheForms()
{
    // The program's folder of this test holds a small calibration library.
    MainWindow window;
    auto* pages = window.findChild<QStackedWidget*>(QStringLiteral("stackedWidget"));
    QCOMPARE(pages->count(), 3);
    auto* page = qobject_cast<Form_Param*>(pages->widget(2));
    QVERIFY(page);
    auto* bar = window.findChild<Form_StatusBar*>();
    QVERIFY(bar);
    QCOMPARE(bar->parentWidget(), window.findChild<QStatusBar*>(QStringLiteral("statusBar")));
    bar->setNetConnectStatus(true);
    QCOMPARE(page->label_Status->text(), QStringLiteral("网络已连接"));
    bar->setNetConnectStatus(false);
    QCOMPARE(page->label_Status->text(), QStringLiteral("网络未连接"));
}

QTEST_MAIN(TestFormParam)
#include "tst_formparam.moc"
