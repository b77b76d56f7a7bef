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

#include <csignal>
#include <sys/resource.h>

namespace {

struct Box
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Files may grow to a few bytes only while it lives: writes fail (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }

private:
    rlimit saved{};
    void (*previous)(int) = nullptr;
};

QByteArray tableJson(const QList<QPair<qint64, QString>>& projects)
{
    QJsonArray data;
    for (const auto& project : projects)
        data.append(QJsonObject{{"ID", project.first}, {"ProjectName", project.second}});
    return QJsonDocument(QJsonObject{{"Data", data}}).toJson();
}

// The instrument's information on project 5001: point 1 (mask 0x1B, 2 groups), point 2
// (mask 0x09, group 3 without rate, so 3 groups), point 3 on another line (1 file).
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

    void newProjectCreatesOpenableProject();
    void newProjectRefusals();
    void newProjectWriteFailureLeavesNothing();

    void storageSelectionAndDelete();
    void storageFormatNeedsExactWord();

    void exportStoredProjectThenOpenIt();
    void exportRefusesUnsafeOrExistingFolder();
    void exportWriteFailureKeepsNoFolder();
    void exportOpenProjectUsesItsOwnIdAndFile();

private:
    template <typename T>
    T* child(QWidget* parent, const char* name)
    {
        T* widget = parent->findChild<T*>(QLatin1String(name));
        Q_ASSERT(widget);
        return widget;
    }

    QTemporaryDir* m_dir = nullptr;
    SnackbarCatcher* m_snackbar = nullptr;
    QList<Box> m_boxes;
    QString m_pickedFolder;
    int m_pickerCalls = 0;
};

void TestProjectDialogs::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_snackbar = new SnackbarCatcher;
    m_boxes.clear();
    m_pickerCalls = 0;
    m_pickedFolder = m_dir->path();
    setMessageBoxAnswer([this](QMessageBox::Icon icon, const QString& title, const QString& text,
                               QMessageBox::StandardButtons) {
        m_boxes.append({icon, title, text});
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
    delete m_snackbar;
    delete m_dir;
}

void TestProjectDialogs::newProjectCreatesOpenableProject()
{
    Dialog_NewProj dialog;
    QSignalSpy created(&dialog, &Dialog_NewProj::sigalNewProject);
    const QString dir = m_dir->path() + "/survey/2026";
    m_pickedFolder = dir;
    child<QToolButton>(&dialog, "btn_SelectDir")->click();
    dialog.showUp();
    QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_ProjDir")->text(), dir);
    auto* name = child<QLineEdit>(&dialog, "lineEdit_ProjName");
    QTest::keyClicks(name, "Site_ 0");
    QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QStringLiteral("中"), Qt::NoModifier);
    QTest::keyClicks(name, "1");
    QCOMPARE(child<QLineEdit>(&dialog, "lineEdit_ProjName")->text(), QStringLiteral("Site_01"));
    child<QLineEdit>(&dialog, "lineEdit_ProjAddress")->setText(QStringLiteral("河谷"));
    child<QLineEdit>(&dialog, "lineEdit_OperatorName")->setText(QStringLiteral("Op"));
    const qint64 before = QDateTime::currentDateTime().toString("yyMMddhhmmss").toLongLong();
    dialog.newProject();

    const QString file = dir + "/Site_01/Site_01.json";
    QCOMPARE(created.count(), 1);
    QCOMPARE(created.at(0).at(0).toString(), file);
    QVERIFY(QFileInfo(dir + "/Site_01/data").isDir());
    QVERIFY(!dialog.isVisible());
    const QJsonObject about = readProject(file).value("About").toObject();
    QVERIFY(about.value("ProjectID").toVariant().toLongLong() >= before);
    QCOMPARE(about.value("Instrument").toString(), QStringLiteral("Varn28"));
    QCOMPARE(about.value("DataNum").toInt(-1), 0);

    Form_Index tree;
    QVERIFY(tree.openProject(file));
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(charFieldText(tree.getProjectAbout().ProjectName), QStringLiteral("Site_01"));

    // The same name again: the recorded project stays as it is, the dialog stays open.
    writeBytes(file, projectText(QJsonArray{pointEntry(1, 1, 1, {61})}));
    const QByteArray recorded = readBytes(file);
    dialog.showUp();
    QVERIFY(child<QLineEdit>(&dialog, "lineEdit_ProjName")->text().isEmpty());
    child<QLineEdit>(&dialog, "lineEdit_ProjName")->setText(QStringLiteral("Site_01"));
    dialog.newProject();
    QCOMPARE(m_snackbar->messages.last(), QStringLiteral("工程文件已存在，请更换工程名！"));
    QCOMPARE(readBytes(file), recorded);
    QVERIFY(dialog.isVisible());
    QCOMPARE(created.count(), 1);
}

void TestProjectDialogs::newProjectRefusals()
{
    Dialog_NewProj dialog;
    QSignalSpy created(&dialog, &Dialog_NewProj::sigalNewProject);
    const QString root = m_dir->path();
    writeBytes(root + "/plain", "x");
    QDir(root).mkpath("d/Busy");
    writeBytes(root + "/d/Busy/data", "x");
    writeBytes(root + "/d/Taken", "x");
    struct Case { QString dir, name, site, op, message; } cases[] = {
        {"", "P", "s", "o", "工程目录不能为空，请填写正确的工程目录！"},
        {root + "/plain/sub", "P", "s", "o", "工程目录无法建立！"},
        {root + "/d", "", "s", "o", "工程名不能为空，请填写工程名! "},
        {root + "/d", "Taken", "s", "o", "工程名的目录无法建立！"},
        {root + "/d", "Busy", "s", "o", "原始数据目录无法建立！"},
        {root + "/d", "P", "", "o", "工程地点为空，请填写工程地点！"},
        {root + "/d", "P", "s", "", "操作员姓名为空，请填写操作员姓名！"},
    };
    dialog.show();
    for (const Case& c : cases) {
        child<QLineEdit>(&dialog, "lineEdit_ProjDir")->setText(c.dir);
        child<QLineEdit>(&dialog, "lineEdit_ProjName")->setText(c.name);
        child<QLineEdit>(&dialog, "lineEdit_ProjAddress")->setText(c.site);
        child<QLineEdit>(&dialog, "lineEdit_OperatorName")->setText(c.op);
        dialog.newProject();
        QCOMPARE(m_snackbar->messages.last(), c.message);
        QVERIFY(dialog.isVisible());
    }
    QCOMPARE(created.count(), 0);
    // Folders made before a refusal stay.
    QVERIFY(QFileInfo(root + "/d/P/data").isDir());
    QVERIFY(!QFileInfo::exists(root + "/d/P/P.json"));
}

void TestProjectDialogs::newProjectWriteFailureLeavesNothing()
{
    Dialog_NewProj dialog;
    QSignalSpy created(&dialog, &Dialog_NewProj::sigalNewProject);
    child<QLineEdit>(&dialog, "lineEdit_ProjDir")->setText(m_dir->path());
    child<QLineEdit>(&dialog, "lineEdit_ProjName")->setText("P");
    child<QLineEdit>(&dialog, "lineEdit_ProjAddress")->setText("s");
    child<QLineEdit>(&dialog, "lineEdit_OperatorName")->setText("o");
    {
        FileSizeLimit limit(16);
        dialog.newProject();
    }
    QCOMPARE(m_snackbar->messages.last(), QStringLiteral("工程配置文件创建失败！"));
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/P/P.json"));
    QCOMPARE(created.count(), 0);
}

void TestProjectDialogs::storageSelectionAndDelete()
{
    Dialog_DiskManage dialog;
    QSignalSpy deleted(&dialog, &Dialog_DiskManage::deleteProj);
    auto* list = child<QListWidget>(&dialog, "listWidget_Proj");
    const QByteArray table = tableJson({{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}});
    dialog.setCurProjID(2);
    dialog.setTableJson(table);
    QCOMPARE(list->item(0)->text(), QStringLiteral("A(ID:1)"));
    QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(!(list->item(1)->flags() & Qt::ItemIsUserCheckable));
    QVERIFY(list->item(1)->data(Qt::CheckStateRole).isNull());
    QCOMPARE(list->item(1)->foreground().color(), QColor(Qt::gray));

    dialog.onDelete();
    QCOMPARE(m_boxes.last().text, QStringLiteral("请先选择要删除的工程"));
    list->item(0)->setCheckState(Qt::Checked);
    list->item(2)->setCheckState(Qt::Checked);
    list->item(3)->setCheckState(Qt::Checked);
    QCOMPARE(list->item(3)->checkState(), Qt::Unchecked);
    QCOMPARE(m_boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes.last().text, QStringLiteral("一次最多只能选择2个工程"));
    child<QPushButton>(&dialog, "btn_Delete")->click();
    QCOMPARE(deleted.count(), 2);
    QCOMPARE(deleted.at(0).at(0).value<int64_t>(), int64_t(1));
    QCOMPARE(deleted.at(1).at(0).value<int64_t>(), int64_t(3));
    QCOMPARE(list->count(), 2);
    QVERIFY(!child<QPushButton>(&dialog, "btn_Delete")->isEnabled());

    // A project opened now is protected in the list in hand, even when it was checked.
    list->item(1)->setCheckState(Qt::Checked);
    dialog.setCurProjID(4);
    QVERIFY(list->item(1)->data(Qt::CheckStateRole).isNull());
    QVERIFY(!(list->item(1)->flags() & Qt::ItemIsUserCheckable));
    // The closed project's row becomes free with the next table.
    dialog.setTableJson("{broken");
    QCOMPARE(list->count(), 0);
    QVERIFY(!list->signalsBlocked());
    dialog.setTableJson(table);
    QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
    QVERIFY(list->item(3)->data(Qt::CheckStateRole).isNull());
    QVERIFY(child<QPushButton>(&dialog, "btn_Delete")->isEnabled());
}

void TestProjectDialogs::storageFormatNeedsExactWord()
{
    Dialog_DiskManage dialog;
    QSignalSpy formatted(&dialog, &Dialog_DiskManage::diskFormat);
    QString typed;
    bool accepted = true;
    QString title;
    setTextInputAnswer([&](const QString& t, const QString&, bool* ok) {
        title = t;
        *ok = accepted;
        return typed;
    });
    for (const QString& word : {QStringLiteral(" 恢复"), QStringLiteral("恢复 "), QStringLiteral("恢")}) {
        typed = word;
        child<QPushButton>(&dialog, "btn_Format")->click();
    }
    typed = QStringLiteral("恢复");
    accepted = false;
    dialog.onFormat();
    QCOMPARE(formatted.count(), 0);
    accepted = true;
    dialog.onFormat();
    QCOMPARE(formatted.count(), 1);
    QCOMPARE(title, QStringLiteral("你真的确定吗？"));
}

void TestProjectDialogs::exportStoredProjectThenOpenIt()
{
    Dialog_Export dialog;
    QSignalSpy asked(&dialog, &Dialog_Export::getProjJson);
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    auto* projects = child<QComboBox>(&dialog, "comboBox_Proj");
    auto* lines = child<QComboBox>(&dialog, "comboBox_Line");
    auto* points = child<QComboBox>(&dialog, "comboBox_Point");
    dialog.showUp(false);
    dialog.setTableJson(tableJson({{6002, "Beta"}, {5001, "Alpha"}}));
    QCOMPARE(itemTexts(projects), QStringList({"Beta(6002)", "Alpha(5001)"}));
    projects->setCurrentIndex(1);
    emit projects->activated(1);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(asked.at(0).at(0).value<int64_t>(), int64_t(5001));
    dialog.setProjJson(instrumentInfo());
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "20", "10"}));
    QCOMPARE(lines->currentText(), QStringLiteral("20"));  // the point with the largest id
    QCOMPARE(points->currentText(), QStringLiteral("200"));
    lines->setCurrentIndex(2);
    QCOMPARE(itemTexts(points), QStringList({"所有点", "110", "100"}));

    child<QPushButton>(&dialog, "btn_Export")->click();
    const QString folder = m_dir->path() + "/Alpha(5001)";
    const QString file = folder + "/Alpha(5001).json";
    QCOMPARE(files.count(), 8 + 6 + 1);
    QVERIFY(files.contains({"mnt/DATA/5001/2/3_CH4.dat", folder + "/2/3_CH4.dat"}));
    QCOMPARE(m_boxes.last().title, QStringLiteral("成功"));
    QCOMPARE(m_boxes.last().text, QStringLiteral("工程 'Alpha(5001)' 导出命令已下达，请等待数据导出！"));
    QVERIFY(!dialog.isVisible());
    QVERIFY(!entryOf(file, 2).contains("SampleRate3"));
    QCOMPARE(entryOf(file, 2).value("SampleRate4").toInt(), 7800);
    Form_Index tree;
    QVERIFY(tree.openProject(file));
    QCOMPARE(tree.topLevelItemCount(), 2);

    // Opened here, the project fetches what is missing, or one point in full.
    touchFiles(folder + "/1", {"1_CH1.dat", "2_CH5.dat"});
    dialog.setProj(folder, 5001, file);
    dialog.showUp(true);
    QCOMPARE(child<QPushButton>(&dialog, "btn_Export")->text(), QStringLiteral("导出"));
    lines->setCurrentIndex(0);
    files.clear();
    dialog.onExportData();
    QCOMPARE(files.count(), 15 - 2);
    files.clear();
    lines->setCurrentText("10");
    dialog.onExportData();
    QCOMPARE(files.count(), 6 + 6);
    points->setCurrentText("100");
    files.clear();
    dialog.onExportData();
    QCOMPARE(files.count(), 8);
    QCOMPARE(files.first(), QVariantList({"mnt/DATA/5001/1/1_CH1.dat", folder + "/1/1_CH1.dat"}));
}

void TestProjectDialogs::exportRefusesUnsafeOrExistingFolder()
{
    Dialog_Export dialog;
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    auto* projects = child<QComboBox>(&dialog, "comboBox_Proj");
    m_pickedFolder = m_dir->path() + "/target";
    QDir().mkpath(m_pickedFolder + "/Alpha(5001)");
    dialog.showUp(false);
    dialog.setTableJson(tableJson({{1, "../up"}, {2, "a\\b"}, {3, "x\ny"}, {4, QString("n") + QChar(0) + "l"},
                                   {5001, "Alpha"}}));
    for (int i = 0; i < projects->count(); ++i) {
        projects->setCurrentIndex(i);
        dialog.setProjJson(instrumentInfo());
        dialog.onExportData();
        const QString name = projects->itemText(i);
        QCOMPARE(m_boxes.last().text, i < 4 ? QStringLiteral("创建文件夹 '%1' 失败！").arg(name)
                                             : QStringLiteral("该工程文件夹 '%1' 已存在！").arg(name));
        QVERIFY(dialog.isVisible());
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"target"}));
    QCOMPARE(QDir(m_pickedFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"Alpha(5001)"}));
    QVERIFY(QDir(m_pickedFolder + "/Alpha(5001)").isEmpty());
    QCOMPARE(files.count(), 0);
}

void TestProjectDialogs::exportWriteFailureKeepsNoFolder()
{
    Dialog_Export dialog;
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    dialog.showUp(false);
    dialog.setTableJson(tableJson({{5001, "Alpha"}}));
    dialog.onExportData();  // nothing to write a project file from yet
    QCOMPARE(m_boxes.last().text, QStringLiteral("工程文件创建失败"));
    dialog.setProjJson(instrumentInfo());
    {
        FileSizeLimit limit(16);
        dialog.onExportData();
    }
    QCOMPARE(m_boxes.last().text, QStringLiteral("工程文件创建失败"));
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/Alpha(5001)"));
    QCOMPARE(files.count(), 0);
    // No directory was kept: the next export starts over with the folder question.
    dialog.onExportData();
    QCOMPARE(m_pickerCalls, 3);
    QCOMPARE(files.count(), 15);
}

void TestProjectDialogs::exportOpenProjectUsesItsOwnIdAndFile()
{
    Dialog_Export dialog;
    QSignalSpy asked(&dialog, &Dialog_Export::getProjJson);
    QSignalSpy files(&dialog, &Dialog_Export::getFile);
    auto* lines = child<QComboBox>(&dialog, "comboBox_Line");
    const QString file = makeProject(m_dir->path(), QJsonArray{pointEntry(1, 10, 100, {61, 488}, 0x1B)}, "Local");
    const QString folder = QFileInfo(file).path();

    // Not in the instrument's table: the points come from the local file, the files from its own id.
    dialog.setProj(folder, 7007, file);
    dialog.showUp(true);
    dialog.setTableJson(tableJson({{5001, "Alpha"}}));
    QCOMPARE(asked.count(), 0);
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "10"}));
    lines->setCurrentIndex(0);
    dialog.onExportData();
    QCOMPARE(files.count(), 8);
    QVERIFY(files.first().at(0).toString().startsWith("mnt/DATA/7007/1/"));

    // Its information asked for: a different number of points shows the local file's.
    dialog.setProj(folder, 5001, file);
    dialog.showUp(true);
    dialog.setTableJson(tableJson({{5001, "Alpha"}}));
    QCOMPARE(asked.count(), 1);
    dialog.setProjJson(instrumentInfo());
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "10"}));

    // Closing the dialog forgets the points, showing it again reads them anew.
    dialog.close();
    QCOMPARE(lines->count(), 0);
    dialog.showUp(true);
    QCOMPARE(itemTexts(lines), QStringList({"所有线", "10"}));
    // With no project open, nothing of the closed one is left.
    dialog.showUp(false);
    QCOMPARE(lines->count(), 0);
    QCOMPARE(child<QPushButton>(&dialog, "btn_Export")->text(), QStringLiteral("导出工程"));
    m_pickedFolder.clear();
    files.clear();
    dialog.onExportData();
    QCOMPARE(m_pickerCalls, 1);
    QCOMPARE(files.count(), 0);
}

QTEST_MAIN(TestProjectDialogs)
#include "tst_projectdialogs.moc"
