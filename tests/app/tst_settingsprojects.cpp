#include "MainWindow.h"

#include "Form_Index.h"
#include "Form_Param.h"
#include "ModalAnswers.h"
#include "MyComboBox.h"
#include "QtMaterialSnackbar.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QValidator>
#include <QtTest>

// The settings file, the recent list and the project buttons, through the whole window.
class TestSettingsProjects : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void writesTheFileFromTheFormByteForByte();
    void missingFileGivesDefaultsAndConnectsNothing();
    void handEditedValuesAreChecked();
    void recentListSurvivesARestart();
    void openAndCloseFromTheButtons();
    void shortcutsValidatorAndPickerPopup();

private:
    static QString iniPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/systemConfig.ini"); }
    static void writeIni(const QByteArray& text);
    static QByteArray readIni();
    // A project folder with its file; points are {id, line, point}.
    QString makeProject(const QString& name, const QList<QVector<int>>& points = {});
    void build();
    template <typename T> T* child(const char* name) { return window->findChild<T*>(QLatin1String(name)); }
    QStringList recentShown();
    QString lastSnackbar() { return window->findChild<QtMaterialSnackbar*>()->messages().value(-1 + window->findChild<QtMaterialSnackbar*>()->messages().size()); }

    MainWindow* window = nullptr;
    QTemporaryDir projects;
    QStringList boxes;  // "title|text" of every box asked
};

static const QByteArray SampleIni = "[SystemConfig]\nIP=127.0.0.1\nPort=18010\nPointStep=0\nOnLineSelect=1\n\n"
                                    "[TaskParam]\nCHMatch=105\nGroupNum=2\nCHSelect=27\nPoleType=0\n"
                                    "CH1Sense=ICMS-0001\nCH2Sense=ICMS-0002\nCH3Sense=null\nCH4Sense=PE-01\n"
                                    "CH5Sense=PE-01\nCH6Sense=null\nE0PoleD=50\nE1PoleD=60\nE2PoleD=20\n\n"
                                    "[Group1]\nSampleRate=7800\nSegCnt=50\nHGain=4\nEGain=16\n\n"
                                    "[Group2]\nSampleRate=61\nSegCnt=30\nHGain=40\nEGain=1\n\n"
                                    "[Group3]\nSampleRate=488\nSegCnt=30\nHGain=1\nEGain=1\n";

void TestSettingsProjects::init()
{
    boxes.clear();
    setMessageBoxAnswer([this](QMessageBox::Icon, const QString& title, const QString& text, QMessageBox::StandardButtons) {
        boxes << title + QLatin1Char('|') + text;
        return int(QMessageBox::Ok);
    });
    writeIni(SampleIni);
}

void TestSettingsProjects::cleanup()
{
    delete window;
    window = nullptr;
    setMessageBoxAnswer({});
    setFilePickerAnswer({});
    QFile::remove(iniPath());
}

void TestSettingsProjects::writeIni(const QByteArray& text)
{
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray TestSettingsProjects::readIni()
{
    QFile file(iniPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString TestSettingsProjects::makeProject(const QString& name, const QList<QVector<int>>& points)
{
    const QString folder = projects.path() + QLatin1Char('/') + name;
    QDir().mkpath(folder + QStringLiteral("/data"));
    QJsonArray data;
    for (const QVector<int>& p : points)
        data.append(QJsonObject{{"ID", p[0]}, {"Line", p[1]}, {"Point", p[2]}, {"CHSelect", 27}, {"CHMatch", 105},
                                {"SampleRate1", 250000}});
    const QJsonObject about{{"ProjectID", 230101120000.0}, {"ProjectName", name}, {"ProjectAddress", "site"},
                            {"OperatorName", "op"}, {"AppBuild", "230101"}, {"Instrument", "Varn28"},
                            {"DataNum", points.size()}};
    QFile file(folder + QLatin1Char('/') + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QJsonDocument(QJsonObject{{"About", about}, {"Data", data}}).toJson());
    return file.fileName();
}

void TestSettingsProjects::build()
{
    delete window;
    window = new MainWindow();
}

QStringList TestSettingsProjects::recentShown()
{
    QStringList shown;
    auto* list = child<QListWidget>("recentProjList");
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    return shown;
}

void TestSettingsProjects::writesTheFileFromTheFormByteForByte()
{
    build();
    auto* form = window->findChild<Form_Param*>();
    QCOMPARE(form->getOnLineSelect(), 1);
    QCOMPARE(form->lineEdit_PointStep->text(), QStringLiteral("0"));
    st_PointParam task = form->getTaskParam(st_PointPos{});
    QCOMPARE(int(task.GroupNum), 2);
    QCOMPARE(task.Group[1].HGain, quint16(40));
    QCOMPARE(task.Group[0].Duration, groupDuration(50, 7800));
    QCOMPARE(senseName(task, ChannelE0), QStringLiteral("PE-01"));

    window->setSystemConfig(7, 1, task);
    QTRY_VERIFY(!readIni().contains("[Group3]"));  // written on the next turn of the event loop
    // QSettings writes groups and keys in alphabetical order.
    const QByteArray expected =
        "[Group1]\nEGain=16\nHGain=4\nSampleRate=7800\nSegCnt=50\n\n"
        "[Group2]\nEGain=1\nHGain=40\nSampleRate=61\nSegCnt=30\n\n"
        "[SystemConfig]\nIP=127.0.0.1\nOnLineSelect=1\nPointStep=7\nPort=18010\n\n"
        "[TaskParam]\nCH1Sense=ICMS-0001\nCH2Sense=ICMS-0002\nCH3Sense=null\nCH4Sense=PE-01\nCH5Sense=PE-01\n"
        "CH6Sense=null\nCHMatch=105\n"
        "CHMatch_note=\"通道匹配,转换为二进制,6:Hz,5-4:E2,3-2:E1,1-0:E0;Hz:0关,1开; E:00关,01匹配Hx,10匹配Hy\"\n"
        "CHSelect=27\nCHSelect_note=\"通道选择,转换为二进制,[5-0]E3,E2,E1,Hz,Hy,Hx\"\n"
        "E0PoleD=50\nE1PoleD=60\nE2PoleD=20\nGroupNum=2\nPoleType=0\n";
    QCOMPARE(QString::fromUtf8(readIni()), QString::fromUtf8(expected));
}

void TestSettingsProjects::missingFileGivesDefaultsAndConnectsNothing()
{
    QFile::remove(iniPath());
    build();
    auto* form = window->findChild<Form_Param*>();
    QCOMPARE(form->lineEdit_PointStep->text(), QStringLiteral("10"));
    QCOMPARE(form->getOnLineSelect(), 0);
    QCOMPARE(int(form->getTaskParam(st_PointPos{}).GroupNum), 3);  // the form's own default task
    QTest::qWait(300);
    for (QTcpSocket* socket : window->findChildren<QTcpSocket*>())
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);

    window->setSystemConfig(10, 0, defaultPointParam());
    QTRY_VERIFY(readIni().contains("IP=192.168.0.28\nOnLineSelect=0\nPointStep=10\nPort=8010\n"));
    QVERIFY(readIni().contains("CHSelect=27\n") && !readIni().contains("[Group"));
}

void TestSettingsProjects::handEditedValuesAreChecked()
{
    QByteArray ini = "[SystemConfig]\nIP=127.0.0.1\nPort=18010\nOnLineSelect=5\n[TaskParam]\nGroupNum=25\n"
                     "CHSelect=255\nCHMatch=255\n[Group1]\nSampleRate=488\nSegCnt=1\nHGain=7\nEGain=160\n"
                     "[Group2]\nSampleRate=250000\nSegCnt=9999\n[ProjList]\n";
    for (int i = 1; i <= 10; ++i)
        ini += "List" + QByteArray::number(i) + "=" + makeProject(QStringLiteral("p%1").arg(i)).toUtf8() + "\n";
    writeIni(ini);
    build();
    auto* form = window->findChild<Form_Param*>();
    QCOMPARE(form->getOnLineSelect(), 1);
    const st_PointParam task = form->getTaskParam(st_PointPos{});
    QCOMPARE(int(task.GroupNum), 2);  // 20 read, the 18 without a rate dropped
    QCOMPARE(int(task.CHSelect), 0x3F);
    QCOMPARE(int(task.CHMatch), 0x40);  // pairings of 3 mean nothing
    QCOMPARE(int(task.Group[0].SegCnt), 3);
    QCOMPARE(int(task.Group[0].HGain), 1);
    QCOMPARE(int(task.Group[0].EGain), 160);
    QCOMPARE(int(task.Group[1].SegCnt), 5000);
    QCOMPARE(int(task.Group[1].HGain), 1);  // missing: no gain step either
    QCOMPARE(recentShown().size(), 9);
    QCOMPARE(recentShown().last(), projects.path() + QStringLiteral("/p9/p9.json"));


    // Adding one keeps nine, and the tenth key of the old file does not come back.
    QStringList expected = recentShown().mid(0, 8);
    expected.prepend(makeProject(QStringLiteral("new")));
    window->recentProject_Add(expected.first());
    QCOMPARE(recentShown(), expected);
    build();
    QCOMPARE(recentShown(), expected);
}

void TestSettingsProjects::recentListSurvivesARestart()
{
    build();
    auto* index = window->findChild<Form_Index*>();
    QStringList opened;
    for (int i = 1; i <= 10; ++i) {
        opened.prepend(makeProject(QStringLiteral("r%1").arg(i)));
        window->openProjectAction(opened.first());
        window->onSlotCloseProjectClick();
    }
    QCOMPARE(recentShown(), opened.mid(0, 9));
    window->openProjectAction(opened.at(4));  // a listed one moves to the top, once
    window->onSlotCloseProjectClick();
    opened.move(4, 0);
    QCOMPARE(recentShown(), opened.mid(0, 9));

    window->openProjectAction(projects.path() + QStringLiteral("/gone/gone.json"));
    QCOMPARE(boxes.value(0), QStringLiteral("错误|无法打开工程文件"));
    QCOMPARE(index->topLevelItemCount(), 0);
    QCOMPARE(recentShown(), opened.mid(0, 9));

    QVERIFY(QFile::remove(opened.at(2)));
    build();  // the window goes and comes back
    opened.removeAt(2);
    QCOMPARE(recentShown(), opened.mid(0, 8));
}

void TestSettingsProjects::openAndCloseFromTheButtons()
{
    build();
    window->show();
    const QString full = makeProject(QStringLiteral("full"), {{1, 3, 50}, {4, 3, 60}, {2, 5, 10}});
    const QString empty = makeProject(QStringLiteral("empty"));
    window->recentProject_Add(empty);
    QString pickerDir;
    setFilePickerAnswer([&](PickerKind kind, const QString&, const QString& dir, const QString& filter) {
        pickerDir = dir;
        return kind == PickerKind::OpenFile && filter == QStringLiteral("Varn工程 (*.EAT *.json)") ? full : QString();
    });
    auto* index = window->findChild<Form_Index*>();
    child<QToolButton>("tbtnOpenProject")->click();
    QCOMPARE(pickerDir, projects.path());  // one level above the newest project's folder
    QCOMPARE(index->topLevelItemCount(), 2);
    QCOMPARE(child<QLineEdit>("lineEdit_LineNum")->text(), QStringLiteral("3"));  // newest point: id 4
    QCOMPARE(child<QLineEdit>("lineEdit_PointNum")->text(), QStringLiteral("60"));
    QCOMPARE(child<QTabBar>("tabBar")->currentIndex(), 1);
    QCOMPARE(recentShown().value(0), full);
    QVERIFY(lastSnackbar().startsWith(QStringLiteral("工程 full 已打开")));
    QVERIFY(!window->acceptDrops());

    QTRY_VERIFY(child<QToolButton>("tbtnCloseProject")->isEnabled());
    window->onSlotOpenProjectClick();
    QCOMPARE(lastSnackbar(), QStringLiteral("工程已经打开了！请关闭后再打开！"));
    child<QToolButton>("tbtnCloseProject")->click();
    QCOMPARE(lastSnackbar(), QStringLiteral("工程已经关闭"));
    QCOMPARE(index->topLevelItemCount(), 0);
    QVERIFY(window->acceptDrops());
    window->onSlotCloseProjectClick();
    QCOMPARE(lastSnackbar(), QStringLiteral("未打开任何工程，不需要关闭工程！"));

    QTRY_VERIFY(child<QListWidget>("recentProjList")->isEnabled());
    QListWidget* list = child<QListWidget>("recentProjList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QVERIFY(lastSnackbar().startsWith(QStringLiteral("工程 empty 已打开")));
    QCOMPARE(child<QLineEdit>("lineEdit_LineNum")->text(), QStringLiteral("0"));  // not the project before
    QCOMPARE(child<QLineEdit>("lineEdit_PointNum")->text(), QStringLiteral("0"));
    QVERIFY(boxes.isEmpty());
}

void TestSettingsProjects::shortcutsValidatorAndPickerPopup()
{
    build();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->openProjectAction(makeProject(QStringLiteral("keys")));
    // The link is not under test: its button must not try to reach anything.
    disconnect(child<QToolButton>("tbtnConnectNetwork"), &QToolButton::clicked, window, nullptr);
    struct Key { const char* button; Qt::Key key; const char* tip; };
    const Key keys[] = {{"tbtnConnectNetwork", Qt::Key_C, "ctrl+c"}, {"tbtnDisconnectNetwork", Qt::Key_D, "ctrl+d"},
                        {"tbtnExportData", Qt::Key_E, "ctrl+e"},     {"tbtnPreSampleData", Qt::Key_P, "ctrl+p"},
                        {"tbtnStartSample", Qt::Key_Return, "ctrl+enter"}, {"tbtnStopSample", Qt::Key_S, "ctrl+s"}};
    for (const Key& key : keys) {
        if (key.key == Qt::Key_S)
            emit window->sampleStart();  // Stop is only there while a run goes on
        auto* button = child<QToolButton>(key.button);
        QTRY_VERIFY2(button->isVisible() && button->isEnabled(), key.button);
        QCOMPARE(button->toolTip(), QStringLiteral("快捷键：") + QLatin1String(key.tip));
        QSignalSpy clicked(button, &QToolButton::clicked);
        QTest::keyClick(window, key.key, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, 2000);
    }

    const QValidator* validator = child<QLineEdit>("lineEdit_PointNum")->validator();
    for (QString good : {"0", "7", "-12", "1234567", "-9999999"}) {
        int pos = 0;
        QCOMPARE(validator->validate(good, pos), QValidator::Acceptable);
    }
    for (QString bad : {"012", "12345678", "-0", "00", "1.5", "x"}) {
        int pos = 0;
        QVERIFY2(validator->validate(bad, pos) != QValidator::Acceptable, qPrintable(bad));
    }
    QVERIFY(child<QLineEdit>("lineEdit_LineNum")->validator());

    // Start, trial and Stop are out of reach while the minute list is open, then as they were.
    auto* start = child<QToolButton>("tbtnStartSample");
    auto* pre = child<QToolButton>("tbtnPreSampleData");
    auto* stop = child<QToolButton>("tbtnStopSample");
    start->setEnabled(true);
    pre->setEnabled(false);
    stop->setEnabled(true);
    auto* minute = child<MyComboBox>("comboBox_SyncMinute");
    minute->showPopup();
    QVERIFY(!start->isEnabled() && !pre->isEnabled() && !stop->isEnabled());
    minute->hidePopup();
    QVERIFY(start->isEnabled() && !pre->isEnabled() && stop->isEnabled());
}

QTEST_MAIN(TestSettingsProjects)
#include "tst_settingsprojects.moc"
