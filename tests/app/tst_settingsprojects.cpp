#include "MainWindow.h"

#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "Dialog_NewProj.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "ModalAnswers.h"
#include "OperatorMessages.h"
#include "QtMaterialSnackbar.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTabBar>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QValidator>
#include <QtTest>

static QString iniPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/systemConfig.ini"); }
static QByteArray readIni()
{
    QFile file(iniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
template <typename T> static T* topLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(widget))
            return found;
    return nullptr;
}

// The settings file, the recent list, the project buttons and the sampling controls, in the whole window.
class TestSettingsProjects : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void settingsFile();
    void unwritableSettingsFile();
    void projectsRecentListAndControls();

private:
    // A project folder with its file; points are {id, line, point}.
    QString makeProject(const QString& name, const QList<QVector<int>>& points = {});
    // The window goes (writing what it holds); a new one reads the file, first replaced by
    // ini when given, removed when ini is empty.
    void rebuild(const QByteArray& ini = {});
    template <typename T> T* child(const char* name) { return window->findChild<T*>(QLatin1String(name)); }
    Form_Param* form() { return window->findChild<Form_Param*>(); }
    QString lineAndPoint() { return child<QLineEdit>("lineEdit_LineNum")->text() + '/' + child<QLineEdit>("lineEdit_PointNum")->text(); }
    QString lastSnackbar() { return window->findChild<QtMaterialSnackbar*>()->messages().join('|').section('|', -1); }
    QStringList recentShown()
    {
        QStringList shown;
        for (auto* item : child<QListWidget>("recentProjList")->findItems(QString(), Qt::MatchContains))
            shown << item->text();
        return shown;
    }

    MainWindow* window = nullptr;
    QTemporaryDir projects;
};

void TestSettingsProjects::cleanup()
{
    // Keys a window could not write stay in QSettings' cache: written here, before the file goes.
    if (QDir().rmdir(iniPath()))
        QSettings(iniPath(), QSettings::IniFormat).sync();
    delete window;
    window = nullptr;
    setMessageBoxAnswer({});
    setFilePickerAnswer({});
    QFile::remove(iniPath());
}

QString TestSettingsProjects::makeProject(const QString& name, const QList<QVector<int>>& points)
{
    QDir().mkpath(projects.path() + '/' + name + QStringLiteral("/data"));
    QJsonArray data;
    for (const QVector<int>& p : points)
        data.append(QJsonObject{{"ID", p[0]}, {"Line", p[1]}, {"Point", p[2]}, {"CHSelect", 27}, {"CHMatch", 105},
                                {"SampleRate1", 250000}});
    const QJsonObject about{{"ProjectID", 230101120000.0}, {"ProjectName", name}};
    QFile file(projects.path() + '/' + name + '/' + name + QStringLiteral(".json"));
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(QJsonObject{{"About", about}, {"Data", data}}).toJson());
    return file.fileName();
}

void TestSettingsProjects::rebuild(const QByteArray& ini)
{
    delete window;
    QFile file(iniPath());
    if (ini.isEmpty() && !ini.isNull())
        file.remove();
    else if (!ini.isNull())
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(ini) == ini.size());
    file.close();
    window = new MainWindow();
}

void TestSettingsProjects::settingsFile()
{
    // Read into the form and written back from it; the shorter task drops the third group.
    rebuild("[SystemConfig]\nIP=127.0.0.1\nPort=18010\nPointStep=0\nOnLineSelect=1\n[TaskParam]\nCHMatch=105\n"
            "GroupNum=2\nCHSelect=27\nCH1Sense=ICMS-0001\nCH2Sense=ICMS-0002\nCH4Sense=PE-01\nCH5Sense=PE-01\n"
            "E0PoleD=50\nE1PoleD=60\n[Group1]\nSampleRate=7800\nSegCnt=50\nHGain=4\nEGain=16\n"
            "[Group2]\nSampleRate=61\nSegCnt=30\nHGain=40\nEGain=1\n[Group3]\nSampleRate=488\n");
    QCOMPARE(form()->getOnLineSelect(), 1);
    QCOMPARE(form()->lineEdit_PointStep->text(), QStringLiteral("0"));
    window->setSystemConfig(7, 1, form()->getTaskParam(st_PointPos{}));
    QTRY_VERIFY(!readIni().contains("[Group3]"));  // written on the next turn of the event loop
    QCOMPARE(QString::fromUtf8(readIni()),  // QSettings orders groups and keys alphabetically
             QStringLiteral("[Group1]\nEGain=16\nHGain=4\nSampleRate=7800\nSegCnt=50\n\n"
                            "[Group2]\nEGain=1\nHGain=40\nSampleRate=61\nSegCnt=30\n\n"
                            "[SystemConfig]\nIP=127.0.0.1\nOnLineSelect=1\nPointStep=7\nPort=18010\n\n"
                            "[TaskParam]\nCH1Sense=ICMS-0001\nCH2Sense=ICMS-0002\nCH3Sense=null\nCH4Sense=PE-01\n"
                            "CH5Sense=PE-01\nCH6Sense=null\nCHMatch=105\nCHMatch_note=\"通道匹配,转换为二进制,6:Hz,"
                            "5-4:E2,3-2:E1,1-0:E0;Hz:0关,1开; E:00关,01匹配Hx,10匹配Hy\"\nCHSelect=27\n"
                            "CHSelect_note=\"通道选择,转换为二进制,[5-0]E3,E2,E1,Hz,Hy,Hx\"\nE0PoleD=50\nE1PoleD=60\n"
                            "E2PoleD=20\nGroupNum=2\nPoleType=0\n"));

    // No file: defaults, the form keeps its own task, and nothing reaches for the instrument.
    rebuild("");
    QCOMPARE(form()->lineEdit_PointStep->text(), QStringLiteral("10"));
    QCOMPARE(form()->getOnLineSelect(), 0);
    QCOMPARE(int(form()->getTaskParam(st_PointPos{}).GroupNum), 3);
    QTest::qWait(200);
    for (QTcpSocket* socket : window->findChildren<QTcpSocket*>())
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    window->setSystemConfig(10, 0, defaultPointParam());
    QTRY_VERIFY(readIni().contains("IP=192.168.0.28\nOnLineSelect=0\nPointStep=10\nPort=8010\n"));

    // Hand-edited nonsense is brought back into range; ten recent entries show nine.
    QByteArray ini = "[SystemConfig]\nIP=127.0.0.1\nOnLineSelect=5\n[TaskParam]\nGroupNum=25\nCHSelect=255\n"
                     "CHMatch=255\n[Group1]\nSampleRate=488\nSegCnt=1\nHGain=7\nEGain=160\n"
                     "[Group2]\nSampleRate=250000\nSegCnt=9999\n[ProjList]\n";
    for (int i = 1; i <= 10; ++i)
        ini += "List" + QByteArray::number(i) + "=" + makeProject(QStringLiteral("p%1").arg(i)).toUtf8() + "\n";
    rebuild(ini);
    QCOMPARE(form()->getOnLineSelect(), 1);
    const st_PointParam task = form()->getTaskParam(st_PointPos{});
    QCOMPARE(QVector<int>({task.GroupNum, task.CHSelect, task.CHMatch}), QVector<int>({2, 0x3F, 0x40}));
    QCOMPARE(QVector<int>({task.Group[0].SegCnt, task.Group[0].HGain, task.Group[0].EGain, task.Group[1].SegCnt,
                           task.Group[1].HGain}),
             QVector<int>({3, 1, 160, 5000, 1}));
    QCOMPARE(recentShown().size(), 9);
    // Adding one keeps nine, and the old file's tenth key does not come back.
    QStringList expected = recentShown().mid(0, 8);
    expected.prepend(makeProject(QStringLiteral("new")));
    window->recentProject_Add(expected.first());
    QCOMPARE(recentShown(), expected);
    rebuild();
    QCOMPARE(recentShown(), expected);
    QVERIFY(readIni().contains("List9=") && !readIni().contains("List10="));
}

void TestSettingsProjects::unwritableSettingsFile()
{
    rebuild("[SystemConfig]\nIP=127.0.0.1\n");
    // A folder in the file's place: no write gets through, not even as root.
    QVERIFY(QFile::remove(iniPath()) && QDir().mkdir(iniPath()));
    QStringList snacks;
    setSnackbarReceiver([&](const QString& message) { snacks << message; });
    const QString path = QDir::toNativeSeparators(iniPath());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(path)));
    for (int pointStep : {7, 8}) {
        window->setSystemConfig(pointStep, 0, form()->getTaskParam(st_PointPos{}));
        QCoreApplication::sendPostedEvents(window, QEvent::MetaCall);  // the deferred write
    }
    setSnackbarReceiver(SnackbarReceiver());
    QCOMPARE(snacks, QStringList(QStringLiteral("设置文件 %1 写入失败，参数未能保存！").arg(path)));
}

void TestSettingsProjects::projectsRecentListAndControls()
{
    QStringList boxes;
    setMessageBoxAnswer([&](QMessageBox::Icon, const QString& title, const QString& text, QMessageBox::StandardButtons) {
        boxes << title + '|' + text;
        return int(QMessageBox::Ok);
    });
    rebuild("[SystemConfig]\nIP=127.0.0.1\nPointStep=0\n");
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));  // the state machine runs from here
    auto* index = window->findChild<Form_Index*>();
    const QString full = makeProject(QStringLiteral("full"), {{1, 3, 50}, {4, 3, 60}, {2, 5, 10}});
    const QByteArray table = R"({"Data": [{"ID": 1, "ProjectName": "x"}, {"ID": 230101120000, "ProjectName": "full"}]})";
    QStringList opened;
    for (int i = 1; i <= 10; ++i) {
        opened.prepend(makeProject(QStringLiteral("r%1").arg(i)));
        window->recentProject_Add(opened.first());
    }

    QString pickerDir;
    setFilePickerAnswer([&](PickerKind kind, const QString&, const QString& dir, const QString& filter) {
        pickerDir = dir;
        return kind == PickerKind::OpenFile && filter == QStringLiteral("Varn工程 (*.EAT *.json)") ? full : QString();
    });
    child<QToolButton>("tbtnOpenProject")->click();
    QCOMPARE(pickerDir, projects.path());  // one level above the newest project's folder
    QCOMPARE(index->topLevelItemCount(), 2);
    QCOMPARE(lineAndPoint(), QStringLiteral("3/60"));  // the newest point, id 4
    QCOMPARE(child<QTabBar>("tabBar")->currentIndex(), 1);
    QVERIFY(lastSnackbar().startsWith(QStringLiteral("工程 full 已打开")));
    opened.prepend(full);
    QCOMPARE(recentShown(), opened.mid(0, 9));
    child<QToolButton>("tbtnDiskManage")->click();  // the open project cannot be deleted on the instrument
    topLevel<Dialog_DiskManage>()->setTableJson(table);
    QVERIFY(!(topLevel<Dialog_DiskManage>()->findChild<QListWidget*>()->item(1)->flags() & Qt::ItemIsUserCheckable));
    topLevel<Dialog_DiskManage>()->hide();
    auto* exportProject = topLevel<Dialog_Export>()->findChild<QComboBox*>("comboBox_Proj");
    topLevel<Dialog_Export>()->setTableJson(table);  // the export dialog knows the open project
    QCOMPARE(exportProject->currentIndex(), 1);

    QTRY_VERIFY(child<QToolButton>("tbtnCloseProject")->isEnabled());
    child<QToolButton>("tbtnCloseProject")->click();
    QCOMPARE(lastSnackbar(), QStringLiteral("工程已经关闭"));
    QCOMPARE(index->topLevelItemCount(), 0);
    topLevel<Dialog_Export>()->setTableJson(table);  // and forgot it
    QCOMPARE(exportProject->currentIndex(), 0);

    // A new project opens with 0 and 0, not what the project before left.
    QTRY_VERIFY(child<QToolButton>("tbtnNewProject")->isEnabled());
    child<QToolButton>("tbtnNewProject")->click();
    auto* newProj = topLevel<Dialog_NewProj>();
    const QStringList fields = {"lineEdit_ProjDir", projects.path(), "lineEdit_ProjName", "fresh",
                                "lineEdit_ProjAddress", "site", "lineEdit_OperatorName", "op"};
    for (int i = 0; i < fields.size(); i += 2)
        newProj->findChild<QLineEdit*>(fields[i])->setText(fields[i + 1]);
    newProj->findChild<QDialogButtonBox*>()->buttons().first()->click();
    QVERIFY(lastSnackbar().startsWith(QStringLiteral("工程 fresh 已打开")));
    QCOMPARE(lineAndPoint(), QStringLiteral("0/0"));
    opened.prepend(projects.path() + QStringLiteral("/fresh/fresh.json"));
    QTRY_VERIFY(child<QToolButton>("tbtnCloseProject")->isEnabled());
    child<QToolButton>("tbtnCloseProject")->click();

    // A click on a listed project opens it and moves it to the top.
    QListWidget* list = child<QListWidget>("recentProjList");
    QTRY_VERIFY(list->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(lineAndPoint(), QStringLiteral("3/60"));
    opened.move(1, 0);
    QCOMPARE(recentShown(), opened.mid(0, 9));

    // Each shortcut clicks its button while the button is there.
    child<QLineEdit>("lineEdit_PointNum")->setText(QStringLiteral("61"));  // a new mileage: a start asks nothing
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    disconnect(child<QToolButton>("tbtnConnectNetwork"), &QToolButton::clicked, window, nullptr);  // no link here
    const struct { const char* button; Qt::Key key; const char* tip; } keys[] = {
        {"tbtnConnectNetwork", Qt::Key_C, "ctrl+c"}, {"tbtnDisconnectNetwork", Qt::Key_D, "ctrl+d"},
        {"tbtnExportData", Qt::Key_E, "ctrl+e"},     {"tbtnPreSampleData", Qt::Key_P, "ctrl+p"},
        {"tbtnStartSample", Qt::Key_Return, "ctrl+enter"}, {"tbtnStopSample", Qt::Key_S, "ctrl+s"}};
    for (const auto& key : keys) {
        if (key.key == Qt::Key_D)
            window->setNetConnectStatus(true);  // the others are there while a link is up (none is here)
        if (key.key == Qt::Key_S)
            emit window->sampleStart();  // Stop is only there while a run goes on
        auto* button = child<QToolButton>(key.button);
        QTRY_VERIFY2(button->isVisible() && button->isEnabled(), key.button);
        QCOMPARE(button->toolTip(), QStringLiteral("快捷键：") + QLatin1String(key.tip));
        QSignalSpy clicked(button, &QToolButton::clicked);
        QTest::keyClick(window, key.key, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, 2000);
        if (key.key == Qt::Key_E) {  // the export dialog comes up for the open project
            QVERIFY(topLevel<Dialog_Export>()->isVisible() && !exportProject->isEnabled());
            topLevel<Dialog_Export>()->hide();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
    }
    for (const char* edit : {"lineEdit_LineNum", "lineEdit_PointNum"}) {
        for (QString text : {"0", "7", "-12", "1234567", "-9999999", "012", "12345678", "-0", "00", "1.5", "x"}) {
            int pos = 0;
            const bool good = QStringList({"0", "7", "-12", "1234567", "-9999999"}).contains(text);
            QVERIFY2((child<QLineEdit>(edit)->validator()->validate(text, pos) == QValidator::Acceptable) == good,
                     qPrintable(text));
        }
    }

    // A file that is gone opens nothing; after a restart the list skips it.
    window->onSlotCloseProjectClick();
    boxes.clear();
    window->openProjectAction(projects.path() + QStringLiteral("/gone/gone.json"));
    QCOMPARE(boxes, QStringList(QStringLiteral("错误|无法打开工程文件")));
    QCOMPARE(recentShown(), opened.mid(0, 9));
    QVERIFY(QFile::remove(opened.at(2)));
    rebuild();
    opened.removeAt(2);
    QCOMPARE(recentShown(), opened.mid(0, 8));
}

QTEST_MAIN(TestSettingsProjects)
#include "tst_settingsprojects.moc"
