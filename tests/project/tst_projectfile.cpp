#include "Form_Index.h"
#include "ProjectAbout.h"
#include "ProjectFixtures.h"
#include "SafeFileWrite.h"
#include "../app/ModalBoxCatcher.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <limits>

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void brokenFilesRefused_data();
    void brokenFilesRefused();
    void missingFileIsNotCreated();
    void readOnlyRefusedBeforeParsing();
    void openSetsNextIdAndAbout();
    void aboutRecordFields();

    void addAndRemoveNewPoint();
    void samePointAddsAfterEarlierGroups();
    void gapInRateKeysAddressesRightKey();
    void zeroRateGroupsKeepTheirNumbers();
    void undoOverZeroRateLeavesEntryOpenable();
    void largestPointIDGivesNoNextID();
    void failedAddIsNeverUndone();
    void failedAddAfterSuccessfulOneUndoesNothing();
    void removeWithoutAddChangesNothing();
    void addToMissingProjectFile();

    void failedTempFileLeavesProject();
    void failedRenameLeavesProject();
    void shortWriteLeavesProject();
    void killedWriterLeavesWholeFile();
    void staleTempAndBackupDoNotMatter();

    void readersOfTheFile();
    void noFolderOperationWithoutProject();

private:
    QString childPath() const { return QStringLiteral(PROJECT_WRITE_CHILD); }

    QTemporaryDir* m_dir = nullptr;
    ModalBoxCatcher* m_boxes = nullptr;
    SnackbarCatcher* m_snackbar = nullptr;
};

void TestProjectFile::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_boxes = new ModalBoxCatcher;
    m_snackbar = new SnackbarCatcher;
}

void TestProjectFile::cleanup()
{
    delete m_snackbar;
    delete m_boxes;
    delete m_dir;
}

void TestProjectFile::brokenFilesRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const QString notJson = QStringLiteral("工程文件JSON解析失败");
    const QString notVarn = QStringLiteral("不是正确的Varn工程文件");
    const QJsonObject about = projectAbout();
    auto doc = [](const QJsonObject& root) { return QJsonDocument(root).toJson(); };
    QJsonObject aboutNoId = about;
    aboutNoId.remove("ProjectID");
    QJsonObject aboutTextId = about;
    aboutTextId.insert("ProjectID", "231208153012");
    QJsonObject noRate = pointEntry(5, 1, 10, {});
    QJsonObject noId = pointEntry(2, 1, 10, {61});
    noId.remove("ID");
    QJsonObject textLine = pointEntry(3, 1, 10, {61});
    textLine.insert("Line", "1");

    QTest::newRow("not json") << QByteArray("{\"About\": {") << notJson;
    QTest::newRow("empty file") << QByteArray() << notJson;
    QTest::newRow("array") << QByteArray("[1, 2]") << notJson;
    QTest::newRow("no About") << doc({{"Data", QJsonArray()}}) << notVarn;
    QTest::newRow("About not object") << doc({{"About", 5}, {"Data", QJsonArray()}}) << notVarn;
    QTest::newRow("no ProjectID") << doc({{"About", aboutNoId}}) << notVarn;
    QTest::newRow("ProjectID text") << doc({{"About", aboutTextId}}) << notVarn;
    QTest::newRow("ProjectID beyond 2^53") << QByteArray("{\"About\": {\"ProjectID\": 231208153018153012}, \"Data\": []}")
                                           << notVarn;
    QTest::newRow("Data not array") << doc({{"About", about}, {"Data", "points"}}) << notVarn;
    QTest::newRow("no SampleRate1") << projectText({noRate})
                                    << QStringLiteral("工程文件数据 顺序1 / ID5 不完整，属性获取失败");
    QTest::newRow("no ID") << projectText({pointEntry(1, 1, 10, {61}), noId})
                           << QStringLiteral("工程文件数据 顺序2 / ID未获取 不完整，属性获取失败");
    QTest::newRow("Line as text") << projectText({textLine})
                                  << QStringLiteral("工程文件数据 顺序1 / ID3 不完整，属性获取失败");
    QTest::newRow("entry not object") << projectText({7})
                                      << QStringLiteral("工程文件数据 顺序1 / ID未获取 不完整，属性获取失败");
    QTest::newRow("duplicate id") << projectText({pointEntry(4, 1, 10, {61}), pointEntry(4, 2, 20, {488})})
                                  << QStringLiteral("工程文件 ID4 有重复，请检查");
}

void TestProjectFile::brokenFilesRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    // A good project is open first: the refused one must not touch its tree or state.
    Form_Index index;
    const QString good = makeProject(m_dir->path(), {pointEntry(1, 2, 10, {250000, 7800})}, "Good");
    QVERIFY(index.openProject(good));
    const int rowsBefore = index.topLevelItemCount();
    const QString pathBefore = index.projectFilePath();

    const QString bad = m_dir->path() + "/bad.json";
    QVERIFY(writeBytes(bad, content));
    QVERIFY(!index.openProject(bad));

    QTRY_COMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(m_boxes->last().title, QStringLiteral("错误"));
    QCOMPARE(m_boxes->last().text, message);
    QCOMPARE(m_boxes->last().buttons, QStringList{QStringLiteral("好")});
    QCOMPARE(readBytes(bad), content);
    QVERIFY(!QFile::exists(safeWriteTempPath(bad)));

    QCOMPARE(index.topLevelItemCount(), rowsBefore);
    QVERIFY(index.pointRow(1));
    QCOMPARE(index.projectFilePath(), pathBefore);
    QCOMPARE(index.getNextPointID(), 2);
    QCOMPARE(charFieldText(index.getProjectAbout().ProjectName), QStringLiteral("Good"));
}

void TestProjectFile::missingFileIsNotCreated()
{
    Form_Index index;
    const QString path = m_dir->path() + "/none/none.json";
    QVERIFY(!index.openProject(path));
    QTRY_COMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("无法打开工程文件"));
    QCOMPARE(m_boxes->last().title, QStringLiteral("错误"));
    QVERIFY(!QFile::exists(path));
    QVERIFY(index.projectFilePath().isEmpty());
}

void TestProjectFile::readOnlyRefusedBeforeParsing()
{
    Form_Index index;
    const QString path = m_dir->path() + "/ro.json";
    const QByteArray content("this is no json");
    QVERIFY(writeBytes(path, content));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup));
    QVERIFY(!index.openProject(path));
    QTRY_COMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("工程文件属性为 *只读* ，请修改"));
    QCOMPARE(readBytes(path), content);
}

void TestProjectFile::openSetsNextIdAndAbout()
{
    Form_Index empty;
    QVERIFY(empty.openProject(makeProject(m_dir->path(), {}, "Empty")));
    QCOMPARE(empty.getNextPointID(), 1);
    QCOMPARE(empty.getLastLinePoint(), qMakePair(0, 0));

    // The highest id decides, whatever the order of the entries.
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(7, 4, 40, {61}), pointEntry(3, 9, 90, {488})});
    QVERIFY(index.openProject(path));
    QCOMPARE(index.getNextPointID(), 8);
    QCOMPARE(index.getLastLinePoint(), qMakePair(4, 40));
    QCOMPARE(index.getProjectAbout().ProjectID, qint64(231208153012));
    QCOMPARE(charFieldText(index.getProjectAbout().ProjectAddress), QStringLiteral("河谷"));
    QCOMPARE(index.projectDir(), m_dir->path() + "/Survey");
    QCOMPARE(m_boxes->count(), 0);

    index.pointIDPlus1();
    QCOMPARE(index.getNextPointID(), 9);
}

void TestProjectFile::aboutRecordFields()
{
    st_ProjectAbout record = defaultProjectAbout();
    QCOMPARE(projectAboutToBytes(record).size(), 136);
    QCOMPARE(charFieldText(record.AppBuild), QStringLiteral("null"));

    QJsonObject about = projectAbout(-42, QString(40, QLatin1Char('n')));
    about.remove("OperatorName");
    about.insert("AppBuild", QStringLiteral("测量仪器测量仪器测量仪器"));  // 36 bytes of UTF-8
    fillProjectAbout(record, about);
    const QByteArray bytes = projectAboutToBytes(record);
    QCOMPARE(qFromLittleEndian<qint64>(bytes.constData()), qint64(-42));
    QCOMPARE(bytes.mid(8, 32), QByteArray(31, 'n') + '\0');
    // An empty text leaves the older bytes behind its terminating zero.
    QCOMPARE(bytes.mid(72, 5), QByteArray("\0ull\0", 5));
    // Cut at byte 31, inside the eleventh character.
    QCOMPARE(bytes.mid(104, 32), QStringLiteral("测量仪器测量仪器测量仪器").toUtf8().left(31) + '\0');
}

void TestProjectFile::addAndRemoveNewPoint()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {});
    QVERIFY(index.openProject(path));

    const st_PointParam rec = recording(1, 2, 10, {250000, 7800, 488});
    QVERIFY(index.addPointData(rec));
    const QJsonObject entry = entryOf(path, 1);
    QCOMPARE(entry, pointEntry(1, 2, 10, {250000, 7800, 488}, rec.CHSelect, rec.CHMatch));
    QCOMPARE(readProject(path).value("About").toObject().value("DataNum").toInt(), 1);
    QCOMPARE(index.getNextPointID(), 2);
    QCOMPARE(index.getLastLinePoint(), qMakePair(2, 10));
    QVERIFY(index.pointRow(1));
    QCOMPARE(index.pointRow(1)->childCount(), 3);
    QVERIFY(!QFile::exists(path + ".bak"));
    QVERIFY(!QFile::exists(path + ".tmp"));

    // Reopens as written.
    Form_Index again;
    QVERIFY(again.openProject(path));
    QCOMPARE(again.getPointParam(1).GroupNum, quint8(3));

    touchFiles(index.projectDir() + "/1", {"1_CH1.dat", "2_CH1.dat", "3_CH1.dat"});
    QVERIFY(index.removeData(rec));
    QVERIFY(readProject(path).value("Data").toArray().isEmpty());
    QVERIFY(!QDir(index.projectDir() + "/1").exists());
    QCOMPARE(index.topLevelItemCount(), 0);
    QVERIFY(!index.pointRow(1));
    // A project left without points goes on with id 2.
    QCOMPARE(index.getNextPointID(), 2);
    QVERIFY(QFile::exists(path));
}

void TestProjectFile::samePointAddsAfterEarlierGroups()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(2, 1, 20, {250000, 7800}), pointEntry(8, 1, 80, {61})});
    QVERIFY(index.openProject(path));
    QCOMPARE(index.getNextPointID(), 9);
    const QString pointDir = index.projectDir() + "/2";
    touchFiles(pointDir, {"1_CH1.dat", "2_CH1.dat", "2_CH4.dat"});

    const st_PointParam rec = recording(2, 5, 50, {488, 61});
    QVERIFY(index.addPointData(rec));
    QJsonObject entry = entryOf(path, 2);
    QCOMPARE(entry.value("SampleRate3").toInt(), 488);
    QCOMPARE(entry.value("SampleRate4").toInt(), 61);
    QCOMPARE(entry.value("Line").toInt(), 1);  // the stored line and point stay
    QCOMPARE(index.getNextPointID(), 9);
    QCOMPARE(index.pointRow(2)->childCount(), 4);
    QCOMPARE(index.pointRow(2)->child(3)->text(6), QStringLiteral("4"));

    touchFiles(pointDir, {"3_CH1.dat", "3_CH4.dat", "4_CH1.dat", "4_CH4.dat"});
    QVERIFY(index.removeData(rec));
    entry = entryOf(path, 2);
    QCOMPARE(entry, pointEntry(2, 1, 20, {250000, 7800}));
    QCOMPARE(index.pointRow(2)->childCount(), 2);
    QCOMPARE(QDir(pointDir).entryList(QDir::Files), (QStringList{"1_CH1.dat", "2_CH1.dat", "2_CH4.dat"}));
    QCOMPARE(index.getNextPointID(), 9);
}

void TestProjectFile::gapInRateKeysAddressesRightKey()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(3, 1, 30, {61, 0, 488})});
    QVERIFY(index.openProject(path));
    const QString pointDir = index.projectDir() + "/3";
    touchFiles(pointDir, {"1_CH1.dat", "3_CH1.dat"});

    const st_PointParam rec = recording(3, 1, 30, {7800});
    QVERIFY(index.addPointData(rec));
    QCOMPARE(entryOf(path, 3), pointEntry(3, 1, 30, {61, 0, 488, 7800}));
    QTreeWidgetItem* row = index.pointRow(3);
    QCOMPARE(row->childCount(), 3);
    QCOMPARE(row->child(2)->text(6), QStringLiteral("4"));
    QCOMPARE(row->child(2)->text(0), QStringLiteral("M Band"));

    touchFiles(pointDir, {"4_CH1.dat"});
    QVERIFY(index.removeData(rec));
    QCOMPARE(entryOf(path, 3), pointEntry(3, 1, 30, {61, 0, 488}));
    QCOMPARE(row->childCount(), 2);
    QCOMPARE(row->child(1)->text(6), QStringLiteral("3"));
    QCOMPARE(QDir(pointDir).entryList(QDir::Files), (QStringList{"1_CH1.dat", "3_CH1.dat"}));
}

void TestProjectFile::zeroRateGroupsKeepTheirNumbers()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {});
    QVERIFY(index.openProject(path));
    QVERIFY(index.addPointData(recording(1, 1, 10, {61, 0, 488})));
    QCOMPARE(entryOf(path, 1), pointEntry(1, 1, 10, {61, 0, 488}));

    // A first group without rate still leaves the file openable.
    QVERIFY(index.addPointData(recording(2, 1, 20, {0, 7800})));
    QJsonObject entry = entryOf(path, 2);
    QCOMPARE(entry.value("SampleRate1"), QJsonValue(0));
    QCOMPARE(entry.value("SampleRate2").toInt(), 7800);
    Form_Index again;
    QVERIFY(again.openProject(path));
    QCOMPARE(again.pointRow(2)->childCount(), 1);
    QCOMPARE(again.pointRow(2)->child(0)->text(6), QStringLiteral("2"));
}

void TestProjectFile::undoOverZeroRateLeavesEntryOpenable()
{
    // An entry holding only "SampleRate1": 0 gets two groups on keys 1 and 2; undoing
    // them must give the 0 back, or the project can never be opened again.
    QJsonObject only{{"ID", 4}, {"Line", 1}, {"Point", 40}, {"CHSelect", 27}, {"CHMatch", 105}, {"SampleRate1", 0}};
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {only});
    QVERIFY(index.openProject(path));
    const st_PointParam rec = recording(4, 1, 40, {7800, 488});
    QVERIFY(index.addPointData(rec));
    QCOMPARE(entryOf(path, 4).value("SampleRate2").toInt(), 488);
    QVERIFY(index.removeData(rec));
    QCOMPARE(entryOf(path, 4), only);

    Form_Index again;
    QVERIFY(again.openProject(path));
    QCOMPARE(m_boxes->count(), 0);
    QVERIFY(again.pointRow(4));
}

void TestProjectFile::largestPointIDGivesNoNextID()
{
    const int largest = std::numeric_limits<int>::max();
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(largest, 1, 10, {61}), pointEntry(5, 1, 20, {61})});
    QVERIFY(index.openProject(path));
    QCOMPARE(index.getLastLinePoint(), qMakePair(1, 10));
    const QString refusal = QStringLiteral("测点 ID 已达上限 2147483647，无法再分配新的测点 ID");
    QCOMPARE(index.getNextPointID(), 0);
    QCOMPARE(m_snackbar->messages, QStringList{refusal});
    index.pointIDPlus1();
    QCOMPARE(index.getNextPointID(), 0);

    // Same-point sampling of that point, and undoing it, never wrap the next ID round.
    const st_PointParam rec = recording(largest, 1, 10, {488});
    QVERIFY(index.addPointData(rec));
    QCOMPARE(index.getNextPointID(), 0);
    QVERIFY(index.removeData(rec));
    QCOMPARE(index.getNextPointID(), 0);
    QCOMPARE(m_snackbar->messages.count(refusal), 4);

    // One below the largest still gives the largest.
    Form_Index below;
    QVERIFY(below.openProject(makeProject(m_dir->path(), {pointEntry(largest - 1, 1, 10, {61})}, "Below")));
    QCOMPARE(below.getNextPointID(), largest);
}

void TestProjectFile::failedAddIsNeverUndone()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(2, 1, 20, {250000, 7800})});
    QVERIFY(index.openProject(path));
    const QString pointDir = index.projectDir() + "/2";
    touchFiles(pointDir, {"1_CH1.dat", "2_CH1.dat"});
    const QByteArray before = readBytes(path);

    // A directory where the temporary file goes makes the write fail, even for root.
    QVERIFY(QDir().mkpath(safeWriteTempPath(path)));
    const st_PointParam rec = recording(2, 1, 20, {488, 61});
    QVERIFY(!index.addPointData(rec));
    QCOMPARE(m_snackbar->messages, QStringList{QStringLiteral("写工程文件失败：无法创建临时文件")});
    QCOMPARE(readBytes(path), before);
    QCOMPARE(index.pointRow(2)->childCount(), 2);
    QVERIFY(QDir().rmdir(safeWriteTempPath(path)));

    // Stopping that run must not take the earlier recording of the point with it.
    QVERIFY(!index.removeData(rec));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(QDir(pointDir).entryList(QDir::Files), (QStringList{"1_CH1.dat", "2_CH1.dat"}));
    QVERIFY(index.pointRow(2));
    QCOMPARE(index.pointRow(2)->childCount(), 2);
}

void TestProjectFile::failedAddAfterSuccessfulOneUndoesNothing()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {});
    QVERIFY(index.openProject(path));
    const st_PointParam first = recording(1, 1, 10, {250000, 7800});
    QVERIFY(index.addPointData(first));
    const QString pointDir = index.projectDir() + "/1";
    touchFiles(pointDir, {"1_CH1.dat", "2_CH1.dat"});
    const QByteArray before = readBytes(path);

    // The same point sampled again; that addition fails.
    QVERIFY(QDir().mkpath(safeWriteTempPath(path)));
    const st_PointParam second = recording(1, 1, 10, {488});
    QVERIFY(!index.addPointData(second));
    QVERIFY(QDir().rmdir(safeWriteTempPath(path)));

    // Its stop undoes nothing: the first recording, its rows and its folder stay.
    QVERIFY(!index.removeData(second));
    QCOMPARE(readBytes(path), before);
    QCOMPARE(QDir(pointDir).entryList(QDir::Files), (QStringList{"1_CH1.dat", "2_CH1.dat"}));
    QVERIFY(index.pointRow(1));
    QCOMPARE(index.pointRow(1)->childCount(), 2);

    // The first recording can still be undone by its own stop.
    QVERIFY(index.removeData(first));
    QVERIFY(readProject(path).value("Data").toArray().isEmpty());
    QVERIFY(!QDir(pointDir).exists());
}

void TestProjectFile::removeWithoutAddChangesNothing()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(1, 1, 10, {61})});
    QVERIFY(index.openProject(path));
    touchFiles(index.projectDir() + "/1", {"1_CH1.dat"});
    const QByteArray before = readBytes(path);
    QVERIFY(!index.removeData(recording(1, 1, 10, {61})));
    QCOMPARE(readBytes(path), before);
    QVERIFY(QFile::exists(index.projectDir() + "/1/1_CH1.dat"));

    // Added twice, removed twice: each removal undoes one addition, latest first.
    QVERIFY(index.addPointData(recording(1, 1, 10, {488})));
    QVERIFY(index.addPointData(recording(1, 1, 10, {7800})));
    QCOMPARE(entryOf(path, 1), pointEntry(1, 1, 10, {61, 488, 7800}));
    QVERIFY(index.removeData(recording(1, 1, 10, {7800})));
    QCOMPARE(entryOf(path, 1), pointEntry(1, 1, 10, {61, 488}));
    QVERIFY(index.removeData(recording(1, 1, 10, {488})));
    QCOMPARE(entryOf(path, 1), pointEntry(1, 1, 10, {61}));
    QVERIFY(!index.removeData(recording(1, 1, 10, {61})));
    QCOMPARE(entryOf(path, 1), pointEntry(1, 1, 10, {61}));
}

void TestProjectFile::addToMissingProjectFile()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {});
    QVERIFY(index.openProject(path));
    QVERIFY(QFile::remove(path));
    QVERIFY(!index.addPointData(recording(1, 1, 10, {61})));
    QCOMPARE(m_snackbar->messages, QStringList{QStringLiteral("无法打开工程文件，数据添加失败")});
    QVERIFY(!QFile::exists(path));
    QCOMPARE(index.topLevelItemCount(), 0);

    QVERIFY(writeBytes(path, "garbage"));
    QVERIFY(!index.addPointData(recording(1, 1, 10, {61})));
    QCOMPARE(m_snackbar->messages.last(), QStringLiteral("工程文件JSON解析失败"));
    QCOMPARE(readBytes(path), QByteArray("garbage"));
}

void TestProjectFile::failedTempFileLeavesProject()
{
    const QString path = m_dir->path() + "/p.json";
    QVERIFY(writeBytes(path, "old"));
    QVERIFY(QDir().mkpath(path + ".tmp"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(!Form_Index::writeProjectFile(file, QJsonObject{{"a", 1}}));
    QCOMPARE(readBytes(path), QByteArray("old"));
    QCOMPARE(m_snackbar->messages, QStringList{QStringLiteral("写工程文件失败：无法创建临时文件")});
}

void TestProjectFile::failedRenameLeavesProject()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(1, 1, 10, {61})});
    QVERIFY(index.openProject(path));
    const QByteArray before = readBytes(path);

    // An append-only folder lets the file be opened and the temporary file be made,
    // but refuses the rename over the project file, also for root.
    const QString folder = index.projectDir();
    if (QProcess::execute("chattr", {"+a", folder}) != 0)
        QSKIP("chattr +a is not available here");
    const bool added = index.addPointData(recording(2, 1, 20, {488}));
    QProcess::execute("chattr", {"-a", folder});

    QVERIFY(!added);
    QCOMPARE(m_snackbar->messages, QStringList{QStringLiteral("写工程文件失败：已恢复原文件")});
    QCOMPARE(readBytes(path), before);
    QVERIFY(!index.pointRow(2));
    // The run that failed to be recorded keeps its ID (and its folder) from new points.
    QCOMPARE(index.getNextPointID(), 3);
}

void TestProjectFile::shortWriteLeavesProject()
{
    const QString path = m_dir->path() + "/p.json";
    const QByteArray before = projectText({pointEntry(1, 1, 10, {61})});
    QVERIFY(writeBytes(path, before));

    // 8 blocks of 512 bytes at most per file; the new document is far longer. The
    // signal is ignored so the write itself reports the failure.
    QProcess child;
    child.setProgram("/bin/sh");
    child.setArguments({"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", childPath(), "write", path,
                        "100000"});
    child.start();
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    QVERIFY2(output.contains(QStringLiteral("写工程文件失败：已恢复原文件").toUtf8()), output.constData());
    QCOMPARE(readBytes(path), before);
    QVERIFY(!QFile::exists(safeWriteTempPath(path)));

    // The same child without the limit writes the file.
    QCOMPARE(QProcess::execute(childPath(), {"write", path, "100000"}), 0);
    QVERIFY(readBytes(path).size() > 100000);
}

void TestProjectFile::killedWriterLeavesWholeFile()
{
    const QString path = m_dir->path() + "/p.json";
    QVERIFY(writeBytes(path, "{}"));
    QSet<QByteArray> seen;
    for (int round = 0; round < 25; ++round) {
        QProcess child;
        child.start(childPath(), {"loop", path, "300000"});
        QVERIFY(child.waitForStarted(30000));
        QVERIFY(child.waitForReadyRead(30000));  // the loop has begun
        QTest::qSleep(int(QRandomGenerator::global()->bounded(1, 40)));
        child.kill();
        QVERIFY(child.waitForFinished(30000));

        const QJsonDocument document = QJsonDocument::fromJson(readBytes(path));
        QVERIFY2(document.isObject(), qPrintable(QString("round %1: file torn").arg(round)));
        const QString fill = document.object().value("fill").toString();
        QVERIFY(document.object().isEmpty() || fill.size() == 300000);
        seen.insert(fill.left(1).toLatin1());
    }
    qInfo() << "contents seen after kills:" << seen;
}

void TestProjectFile::staleTempAndBackupDoNotMatter()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {});
    QVERIFY(index.openProject(path));
    QVERIFY(writeBytes(path + ".tmp", "left from a crash"));
    QVERIFY(writeBytes(path + ".bak", "old backup"));
    QVERIFY(index.addPointData(recording(1, 1, 10, {61})));
    QCOMPARE(entryOf(path, 1).value("SampleRate1").toInt(), 61);
    QVERIFY(!QFile::exists(path + ".tmp"));
    QCOMPARE(readBytes(path + ".bak"), QByteArray("old backup"));
}

void TestProjectFile::readersOfTheFile()
{
    Form_Index index;
    QCOMPARE(index.findLastPointID(1, 10), -1);
    QCOMPARE(index.getPointParam(1).Pos.ID, 0);
    QCOMPARE(m_snackbar->messages, QStringList{QStringLiteral("无法打开工程文件，属性获取失败")});

    const QString path = makeProject(m_dir->path(), {pointEntry(1, 1, 10, {61}), pointEntry(4, 1, 10, {61, 0, 488}, 56, 64),
                                                      pointEntry(6, 2, 10, {7800})});
    QVERIFY(index.openProject(path));
    QCOMPARE(index.findLastPointID(1, 10), 4);
    QCOMPARE(index.findLastPointID(2, 10), 6);
    QCOMPARE(index.findLastPointID(3, 10), -1);

    const st_PointParam param = index.getPointParam(4);
    QCOMPARE(param.Pos.ID, 4);
    QCOMPARE(param.Pos.Line, 1);
    QCOMPARE(param.Pos.Point, 10);
    QCOMPARE(param.Pos.ProjectID, NoProjectID);
    QCOMPARE(param.CHSelect, quint8(56));
    QCOMPARE(param.CHMatch, quint8(64));
    QCOMPARE(param.GroupNum, quint8(2));
    QCOMPARE(param.Group[0].SampleRate, 61u);
    QCOMPARE(param.Group[1].SampleRate, 0u);
    QCOMPARE(param.Group[2].SampleRate, 488u);
    QCOMPARE(param.Group[2].SegCnt, quint16(0));
    QCOMPARE(senseName(param, 1), QStringLiteral("null"));
    QCOMPARE(param.E1PoleD, quint16(20));

    m_snackbar->messages.clear();
    const st_PointParam missing = index.getPointParam(99);
    const st_PointParam defaults = defaultPointParam();
    QVERIFY(std::memcmp(&missing, &defaults, sizeof(st_PointParam)) == 0);
    QCOMPARE(m_snackbar->messages, QStringList{QStringLiteral("工程文件中未找到Point ID 99.")});
}

void TestProjectFile::noFolderOperationWithoutProject()
{
    // The working directory stands in for where a relative "-1" or "1" would land.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    touchFiles(m_dir->path() + "/-1", {"1_CH1.dat"});
    touchFiles(m_dir->path() + "/1", {"1_CH1.dat"});
    Form_Index index;
    index.removePreSampleDir();
    QVERIFY(!index.removeData(recording(1, 1, 10, {61})));
    QVERIFY(!index.addPointData(recording(1, 1, 10, {61})));
    QDir::setCurrent(saved);
    QVERIFY(QFile::exists(m_dir->path() + "/-1/1_CH1.dat"));
    QVERIFY(QFile::exists(m_dir->path() + "/1/1_CH1.dat"));

    // With a project, the trial folder beside the project file goes.
    const QString path = makeProject(m_dir->path(), {});
    QVERIFY(index.openProject(path));
    touchFiles(index.projectDir() + "/-1", {"1_CH1.dat"});
    index.removePreSampleDir();
    QVERIFY(!QDir(index.projectDir() + "/-1").exists());
    QVERIFY(QFile::exists(m_dir->path() + "/-1/1_CH1.dat"));
}

QTEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
