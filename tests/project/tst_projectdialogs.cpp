#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "Dialog_NewProj.h"
#include "Form_Index.h"
#include "ModalAnswers.h"
#include "ProjectFixtures.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

template <typename T>
T* find(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

QByteArray tableJson(const QList<QPair<qint64, QString>>& projects)
{
    QJsonArray data;
    for (const auto& project : projects)
        data.append(QJsonObject{{"ID", project.first}, {"ProjectName", project.second}});
    return QJsonDocument(QJsonObject{{"Data", data}}).toJson();
}

// The instrument's information on project 5001: point 1 (mask 0x1B, 2 groups: 8 files),
// point 2 (mask 0x09, group 3 stored with rate 0, so 3 groups: 6 files), point 3 on line 20 (1 file).
QByteArray instrumentInfo()
{
    QJsonObject second = pointEntry(2, 10, 110, {61, 488, 0, 7800}, 0x09);
    second.insert("SampleRate3", 0);
    const QJsonArray data{pointEntry(1, 10, 100, {61, 488}, 0x1B), second, pointEntry(3, 20, 200, {61}, 0x01)};
    return projectText(data, projectAbout(5001, "Alpha"));
}

QStringList itemTexts(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

}  // namespace

class TestProjectDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void newProject();
    void storage();
    void exportStoredProject();
    void exportIntoOpenProject();
    void exportShownProjectOnly();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SnackbarCatcher> m_snackbar;
    QStringList m_boxes;  // "title: text"
    QString m_pickedFolder;
    int m_pickerCalls = 0;
};

void TestProjectDialogs::init()
{
    m_dir.reset(new QTemporaryDir);
    m_snackbar.reset(new SnackbarCatcher);
    m_boxes.clear();
    m_pickerCalls = 0;
    m_pickedFolder = m_dir->path();
    setMessageBoxAnswer([this](QMessageBox::Icon, const QString& title, const QString& text,
                               QMessageBox::StandardButtons) {
        m_boxes << title + ": " + text;
        return int(QMessageBox::Ok);
    });
    setFilePickerAnswer([this](PickerKind, const QString&, const QString&, const QString&) {
        ++m_pickerCalls;
        return m_pickedFolder;
    });
}

void TestProjectDialogs::cleanup()
{
    setMessageBoxAnswer(MessageBoxAnswer());
    setFilePickerAnswer(FilePickerAnswer());
    setTextInputAnswer(TextInputAnswer());
    m_snackbar.reset();
    m_dir.reset();
}

void TestProjectDialogs::newProject()
{
    Dialog_NewProj dialog;
    QSignalSpy created(&dialog, &Dialog_NewProj::sigalNewProject);
    auto* name = find<QLineEdit>(&dialog, "lineEdit_ProjName");
    auto fill = [&](const QString& dir, const QString& n, const QString& site, const QString& op) {
        find<QLineEdit>(&dialog, "lineEdit_ProjDir")->setText(dir);
        name->setText(n);
        find<QLineEdit>(&dialog, "lineEdit_ProjAddress")->setText(site);
        find<QLineEdit>(&dialog, "lineEdit_OperatorName")->setText(op);
        dialog.show();
    };

    // Each refusal: its text, the dialog stays open, nothing is emitted.
    const QString root = m_dir->path();
    writeBytes(root + "/plain", "x");
    QDir(root).mkpath("d/Busy");
    writeBytes(root + "/d/Busy/data", "x");
    writeBytes(root + "/d/Taken", "x");
    const QStringList refusals[] = {
        {"", "P", "s", "o", "工程目录不能为空，请填写正确的工程目录！"},
        {root + "/plain/sub", "P", "s", "o", "工程目录无法建立！"},
        {root + "/d", "", "s", "o", "工程名不能为空，请填写工程名! "},
        {root + "/d", "Taken", "s", "o", "工程名的目录无法建立！"},
        {root + "/d", "Busy", "s", "o", "原始数据目录无法建立！"},
        {root + "/d", "P", "", "o", "工程地点为空，请填写工程地点！"},
        {root + "/d", "P", "s", "", "操作员姓名为空，请填写操作员姓名！"},
    };
    for (const QStringList& c : refusals) {
        fill(c[0], c[1], c[2], c[3]);
        dialog.newProject();
        QCOMPARE(m_snackbar->messages.last(), c[4]);
        QVERIFY(dialog.isVisible());
    }
    QVERIFY(QFileInfo(root + "/d/P/data").isDir());  // folders made before a refusal stay

    // A failing write leaves no file and emits nothing.
    fill(root + "/d", "P", "s", "o");
    withTinyFileLimit([&] { dialog.newProject(); });
    QCOMPARE(m_snackbar->messages.last(), QStringLiteral("工程配置文件创建失败！"));
    QVERIFY(!QFileInfo::exists(root + "/d/P/P.json"));
    QCOMPARE(created.count(), 0);

    // The picked folder and a name typed with a blank and Chinese, which the field refuses.
    m_pickedFolder = root + "/survey";
    fill("", "", QStringLiteral("河谷"), "Op");
    find<QToolButton>(&dialog, "btn_SelectDir")->click();
    QTest::keyClicks(name, "Site_ 0");
    QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QStringLiteral("中"), Qt::NoModifier);
    QTest::keyClicks(name, "1");
    dialog.newProject();
    const QString file = m_pickedFolder + "/Site_01/Site_01.json";
    QCOMPARE(created.count(), 1);
    QCOMPARE(created.at(0).at(0).toString(), file);
    QVERIFY(QFileInfo(m_pickedFolder + "/Site_01/data").isDir());
    QVERIFY(!dialog.isVisible());
    const QJsonObject about = readProject(file).value("About").toObject();
    QCOMPARE(QString::number(about.value("ProjectID").toVariant().toLongLong()).size(), 12);
    Form_Index tree;
    QVERIFY(tree.openProject(file));
    QCOMPARE(charFieldText(tree.getProjectAbout().OperatorName), QStringLiteral("Op"));
    QVERIFY(m_boxes.isEmpty());

    // The same name again never replaces the recorded project; showUp keeps the folder.
    writeBytes(file, projectText(QJsonArray{pointEntry(1, 1, 1, {61})}));
    const QByteArray recorded = readBytes(file);
    dialog.showUp();
    QCOMPARE(find<QLineEdit>(&dialog, "lineEdit_ProjDir")->text(), m_pickedFolder);
    QVERIFY(name->text().isEmpty());
    name->setText("Site_01");
    dialog.newProject();
    QCOMPARE(m_snackbar->messages.last(), QStringLiteral("工程文件已存在，请更换工程名！"));
    QCOMPARE(readBytes(file), recorded);
    QVERIFY(dialog.isVisible());
    QCOMPARE(created.count(), 1);
}

void TestProjectDialogs::storage()
{
    Dialog_DiskManage dialog;
    QSignalSpy deleted(&dialog, &Dialog_DiskManage::deleteProj);
    QSignalSpy formatted(&dialog, &Dialog_DiskManage::diskFormat);
    auto* list = find<QListWidget>(&dialog, "listWidget_Proj");
    auto* deleteButton = find<QPushButton>(&dialog, "btn_Delete");
    auto isProtected = [&](int row) {
        return list->item(row)->data(Qt::CheckStateRole).isNull()
            && !(list->item(row)->flags() & Qt::ItemIsUserCheckable);
    };
    const QByteArray table = tableJson({{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}});
    dialog.setCurProjID(2);
    dialog.setTableJson(table);
    QCOMPARE(list->item(0)->text(), QStringLiteral("A(ID:1)"));
    QVERIFY(isProtected(1));
    QCOMPARE(list->item(1)->foreground().color(), QColor(Qt::gray));

    dialog.onDelete();
    QCOMPARE(m_boxes.last(), QStringLiteral("提示: 请先选择要删除的工程"));
    for (int row : {0, 2, 3})
        list->item(row)->setCheckState(Qt::Checked);
    QCOMPARE(list->item(3)->checkState(), Qt::Unchecked);  // the third check is taken back
    QCOMPARE(m_boxes.last(), QStringLiteral("提示: 一次最多只能选择2个工程"));
    deleteButton->click();
    QCOMPARE(deleted.count(), 2);
    QCOMPARE(deleted.at(0).at(0).value<int64_t>(), int64_t(1));
    QCOMPARE(deleted.at(1).at(0).value<int64_t>(), int64_t(3));
    QVERIFY(!deleteButton->isEnabled());

    // A project opened now is protected in the list in hand, even when it was checked;
    // the closed one's row becomes free with the next table.
    list->item(1)->setCheckState(Qt::Checked);
    dialog.setCurProjID(4);
    QVERIFY(isProtected(1));
    dialog.setTableJson("{broken");
    QCOMPARE(list->count(), 0);
    QVERIFY(!list->signalsBlocked());
    dialog.setTableJson(table);
    QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
    QVERIFY(isProtected(3));
    QVERIFY(deleteButton->isEnabled());

    // Formatting only after exactly the confirmation word, accepted.
    auto format = [&](const char* word, bool accept) {
        setTextInputAnswer([=](const QString& title, const QString&, bool* ok) {
            *ok = accept && title == QStringLiteral("你真的确定吗？");
            return QString::fromUtf8(word);
        });
        find<QPushButton>(&dialog, "btn_Format")->click();
    };
    for (const char* word : {" 恢复", "恢复 ", "恢"})
        format(word, true);
    format("恢复", false);
    QCOMPARE(formatted.count(), 0);
    format("恢复", true);
    QCOMPARE(formatted.count(), 1);
}

void TestProjectDialogs::exportStoredProject()
{
    Dialog_Export dialog;
    QSignalSpy asked(&dialog, &Dialog_Export::getProjJson);
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    auto* projects = find<QComboBox>(&dialog, "comboBox_Proj");
    auto* lines = find<QComboBox>(&dialog, "comboBox_Line");
    dialog.showUp(false);
    dialog.setTableJson(tableJson({{1, "../up"}, {2, "a\\b"}, {3, "x\ny"}, {4, QString("n") + QChar(0)},
                                   {6002, "Beta"}, {5001, "Alpha"}}));

    // Names that would leave the chosen folder, and an existing folder, are refused.
    QDir(m_dir->path()).mkpath("Beta(6002)");
    for (int i = 0; i < 5; ++i) {
        projects->setCurrentIndex(i);
        dialog.setProjJson(instrumentInfo());
        dialog.onExportData();
        const QString name = projects->itemText(i);
        QCOMPARE(m_boxes.last(), i < 4 ? QStringLiteral("错误: 创建文件夹 '%1' 失败！").arg(name)
                                       : QStringLiteral("错误: 该工程文件夹 '%1' 已存在！").arg(name));
        QVERIFY(dialog.isVisible());
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Beta(6002)"});
    QVERIFY(QDir(m_dir->path() + "/Beta(6002)").isEmpty());

    // Chosen, but its information not in yet: nothing to write a project from.
    projects->setCurrentIndex(5);
    emit projects->activated(5);
    QCOMPARE(asked.count(), 2);  // the first for the item shown when the table came
    QCOMPARE(asked.last().at(0).value<int64_t>(), int64_t(5001));
    dialog.setProjJson(QByteArray());
    dialog.onExportData();
    QCOMPARE(m_boxes.last(), QStringLiteral("错误: 未获取到所选工程的信息，请重新选择工程！"));
    dialog.setProjJson(instrumentInfo());
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "20", "10"}));
    QCOMPARE(lines->currentText(), QStringLiteral("20"));  // the point with the largest id
    lines->setCurrentIndex(2);
    QCOMPARE(itemTexts(find<QComboBox>(&dialog, "comboBox_Point")), QStringList({"所有点", "110", "100"}));

    // A failed project file keeps no folder and no directory: the next export starts over.
    const QString folder = m_dir->path() + "/Alpha(5001)";
    withTinyFileLimit([&] { dialog.onExportData(); });
    QCOMPARE(m_boxes.last(), QStringLiteral("错误: 工程文件创建失败"));
    QVERIFY(!QFileInfo::exists(folder));
    const int pickerCalls = m_pickerCalls;
    find<QPushButton>(&dialog, "btn_Export")->click();
    QCOMPARE(m_pickerCalls, pickerCalls + 1);
    QCOMPARE(files.count(), 8 + 6 + 1);
    QVERIFY(files.contains({"mnt/DATA/5001/2/3_CH4.dat", folder + "/2/3_CH4.dat"}));
    QCOMPARE(m_boxes.last(), QStringLiteral("成功: 工程 'Alpha(5001)' 导出命令已下达，请等待数据导出！"));

    const QString file = folder + "/Alpha(5001).json";
    QVERIFY(!entryOf(file, 2).contains("SampleRate3"));
    QCOMPARE(entryOf(file, 2).value("SampleRate4").toInt(), 7800);
    Form_Index tree;
    QVERIFY(tree.openProject(file));

    // A point whose first group has no rate keeps its first key, as 0: the file opens.
    const QJsonArray zeroFirst{QJsonObject{{"ID", 4}, {"Line", 3}, {"Point", 40}, {"CHSelect", 27}, {"CHMatch", 105},
                                           {"SampleRate1", 0}, {"SampleRate2", 488}}};
    const QByteArray cleaned = Dialog_Export::cleanProjJson(projectText(zeroFirst));
    const QJsonObject entry = QJsonDocument::fromJson(cleaned).object()["Data"].toArray().at(0).toObject();
    QCOMPARE(entry.value("SampleRate1"), QJsonValue(0));
    QCOMPARE(entry.value("SampleRate2").toInt(), 488);
    QVERIFY(writeBytes(file, cleaned));
    Form_Index again;
    QVERIFY(again.openProject(file));
}

void TestProjectDialogs::exportIntoOpenProject()
{
    Dialog_Export dialog;
    QSignalSpy asked(&dialog, &Dialog_Export::getProjJson);
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    auto* lines = find<QComboBox>(&dialog, "comboBox_Line");
    auto* points = find<QComboBox>(&dialog, "comboBox_Point");
    QJsonArray data = QJsonDocument::fromJson(Dialog_Export::cleanProjJson(instrumentInfo())).object()["Data"].toArray();
    const QString file = makeProject(m_dir->path(), data, "Local");
    const QString folder = QFileInfo(file).path();
    touchFiles(folder + "/1", {"1_CH1.dat", "2_CH5.dat"});

    // Not in the instrument's table: the points come from the local file, the files from its own id.
    dialog.setProj(folder, 7007, file);
    dialog.showUp(true);
    dialog.setTableJson(tableJson({{5001, "Alpha"}}));
    QCOMPARE(asked.count(), 0);
    auto exportCount = [&] {
        files.clear();
        dialog.onExportData();
        return files.count();
    };
    lines->setCurrentIndex(0);
    QCOMPARE(exportCount(), 15 - 2);  // all lines: only the missing files
    QVERIFY(files.first().at(0).toString().startsWith("mnt/DATA/7007/"));
    lines->setCurrentText("10");
    QCOMPARE(exportCount(), 6 + 6);  // one line
    points->setCurrentText("100");
    QCOMPARE(exportCount(), 8);  // one point, every file again
    QCOMPARE(files.first(), QVariantList({"mnt/DATA/7007/1/1_CH1.dat", folder + "/1/1_CH1.dat"}));

    // Its information asked for: a different number of points shows the local file's.
    data.removeLast();
    writeBytes(file, projectText(data));
    dialog.setProj(folder, 5001, file);
    dialog.showUp(true);
    dialog.setTableJson(tableJson({{5001, "Alpha"}}));
    QCOMPARE(asked.count(), 1);
    dialog.setProjJson(instrumentInfo());
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "10"}));

    // Closing forgets the points, showing again reads them anew; no project open: nothing is left.
    dialog.close();
    QCOMPARE(lines->count(), 0);
    dialog.showUp(true);
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "10"}));
    dialog.showUp(false);
    QCOMPARE(lines->count(), 0);
    m_pickedFolder.clear();
    QCOMPARE(exportCount(), 0);
    QCOMPARE(m_pickerCalls, 1);  // asks for a new project's folder
}

// Tables and information come back in any order: the export writes the project shown, or nothing.
void TestProjectDialogs::exportShownProjectOnly()
{
    Dialog_Export dialog;
    QSignalSpy asked(&dialog, &Dialog_Export::getProjJson);
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    auto* projects = find<QComboBox>(&dialog, "comboBox_Proj");
    const QByteArray table = tableJson({{111, "A"}, {222, "B"}});
    const QByteArray infoA = projectText({pointEntry(5, 1, 50, {61}, 0x01)}, projectAbout(111, "A"));
    const QByteArray infoB = projectText({pointEntry(7, 2, 70, {61}, 0x01)}, projectAbout(222, "B"));
    // Exports into the new folder m_dir/name, running meanwhile while the picker is open: what it holds.
    auto exportInto = [&](const QString& name, const std::function<void()>& meanwhile = {}) {
        const QString folder = m_dir->path() + "/" + name;
        QDir().mkpath(folder);
        setFilePickerAnswer([=](PickerKind, const QString&, const QString&, const QString&) {
            if (meanwhile)
                meanwhile();
            return folder;
        });
        files.clear();
        find<QPushButton>(&dialog, "btn_Export")->click();
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    };
    auto chooseB = [&] {
        dialog.showUp(false);
        dialog.setTableJson(table);
        projects->setCurrentIndex(1);
        emit projects->activated(1);
        dialog.setProjJson(infoB);
    };

    // The project shown first is asked for when the table comes, and exports without choosing it.
    dialog.showUp(false);
    dialog.setTableJson(table);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(asked.last().at(0).value<int64_t>(), int64_t(111));
    dialog.setProjJson(infoA);
    QCOMPARE(exportInto("first"), QStringList{"A(111)"});

    // A table that comes after B was chosen leaves B shown: B's files into B's folder.
    chooseB();
    dialog.setTableJson(table);
    QCOMPARE(projects->currentText(), QStringLiteral("B(222)"));
    QCOMPARE(exportInto("chosen"), QStringList{"B(222)"});
    QCOMPARE(files, (QList<QVariantList>{{"mnt/DATA/222/7/1_CH1.dat", m_dir->path() + "/chosen/B(222)/7/1_CH1.dat"}}));

    // While picking, B leaves the table and A (shown) gets its information, or A's replaces B's: nothing.
    for (int swap = 0; swap < 2; ++swap) {
        chooseB();
        const QStringList written = exportInto(QStringLiteral("swap%1").arg(swap), [&] {
            if (swap == 0)
                dialog.setTableJson(tableJson({{111, "A"}}));
            dialog.setProjJson(infoA);
        });
        QCOMPARE(written, QStringList());
        QCOMPARE(files.count(), 0);
        QCOMPARE(m_boxes.last(), QStringLiteral("错误: 未获取到所选工程的信息，请重新选择工程！"));
    }
}

QTEST_MAIN(TestProjectDialogs)
#include "tst_projectdialogs.moc"
