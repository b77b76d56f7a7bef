#include "ChannelDataFile.h"
#include "Form_Index.h"
#include "PointDataExport.h"
#include "ProjectFixtures.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>

class TestPointDataExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sampleLines();
    void shortFileStopsAtItsEnd();
    void folderExportTellsWhereItIs();
    void fullDiskIsNotReportedAsSuccess();
    void exportFromTheContextMenu();

private:
    QString channelFile(const QString& name, quint32 rate, quint32 duration, double lsb,
                        const QVector<qint32>& samples);
    QStringList exportLines(const QString& channelFile);

    QTemporaryDir* m_dir = nullptr;
    SnackbarCatcher* m_snackbar = nullptr;
};

void TestPointDataExport::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_snackbar = new SnackbarCatcher;
}

void TestPointDataExport::cleanup()
{
    delete m_snackbar;
    delete m_dir;
}

QString TestPointDataExport::channelFile(const QString& name, quint32 rate, quint32 duration, double lsb,
                                         const QVector<qint32>& samples)
{
    DataFileHeader header;
    std::memset(&header, 0, sizeof(header));
    header.version = 2;
    header.sampleRate = rate;
    header.duration = duration;
    header.lsb = lsb;
    QByteArray bytes(1024, '\0');
    std::memcpy(bytes.data(), &header, sizeof(header));
    for (qint32 sample : samples) {
        char le[4];
        qToLittleEndian(sample, le);
        bytes.append(le, 4);
    }
    const QString path = m_dir->path() + "/" + name;
    writeBytes(path, bytes);
    return path;
}

QStringList TestPointDataExport::exportLines(const QString& file)
{
    return QString::fromUtf8(readBytes(exportFilePath(file))).split('\n');
}

void TestPointDataExport::sampleLines()
{
    QVector<qint32> samples(4880, 7);
    samples[0] = -1000;
    const QString slow = channelFile("1_CH4.dat", 488, 10, 0.0005, samples);
    QCOMPARE(exportFilePath(slow), m_dir->path() + "/1_CH4_Export.txt");
    QVERIFY(exportChannelFile(slow));
    const QStringList lines = exportLines(slow);
    QCOMPARE(lines.size(), 1 + 4880 + 1);  // the text ends with a newline
    QCOMPARE(lines.first(), QStringLiteral("SampleRate-488"));
    QCOMPARE(lines.at(1), QStringLiteral("0.0020491803,-0.5"));
    QCOMPARE(lines.at(4880), QStringLiteral("10        ,0.0035"));
    QVERIFY(lines.last().isEmpty());

    const QString fast = channelFile("1_CH1.dat", 250000, 1, 1.0, QVector<qint32>(250000, 3));
    QVERIFY(exportChannelFile(fast));
    QCOMPARE(exportLines(fast).at(1), QStringLiteral("4e-06     ,3"));
}

void TestPointDataExport::shortFileStopsAtItsEnd()
{
    const QString file = channelFile("2_CH1.dat", 61, 10, 2.0, {1, 2, 3});
    QVERIFY(exportChannelFile(file));
    QCOMPARE(exportLines(file), (QStringList{"SampleRate-61", "0.016393443,2", "0.032786885,4", "0.049180328,6", ""}));
}

void TestPointDataExport::folderExportTellsWhereItIs()
{
    channelFile("1_CH1.dat", 61, 1, 1.0, QVector<qint32>(61, 1));
    channelFile("1_CH4.DAT", 61, 1, 1.0, QVector<qint32>(61, 2));
    channelFile("notes.txt", 61, 1, 1.0, {});
    QVERIFY(QDir(m_dir->path()).mkdir("3_CH1.dat"));
    QVERIFY(QFile::link(m_dir->path() + "/1_CH1.dat", m_dir->path() + "/link.dat"));

    genPointDirData(m_dir->path());
    QTRY_COMPARE(m_snackbar->messages, QStringList{QStringLiteral("数据导出成功，位置%1").arg(m_dir->path())});
    QStringList exported = QDir(m_dir->path()).entryList({"*_Export.txt"}, QDir::Files, QDir::Name);
    QCOMPARE(exported, (QStringList{"1_CH1_Export.txt", "1_CH4_Export.txt"}));
    QCOMPARE(exportLines(m_dir->path() + "/1_CH4.DAT").size(), 1 + 61 + 1);

    // An empty folder is reported the same way.
    m_snackbar->messages.clear();
    const QString empty = m_dir->path() + "/empty";
    QVERIFY(QDir().mkpath(empty));
    genPointDirData(empty);
    QTRY_COMPARE(m_snackbar->messages, QStringList{QStringLiteral("数据导出成功，位置%1").arg(empty)});
}

void TestPointDataExport::fullDiskIsNotReportedAsSuccess()
{
    if (!QFileInfo("/dev/full").exists())
        QSKIP("no /dev/full here");
    channelFile("1_CH1.dat", 61, 1, 1.0, QVector<qint32>(61, 1));
    channelFile("1_CH2.dat", 61, 100, 1.0, QVector<qint32>(6100, 2));
    // Every write of this output fails as on a full disk.
    QVERIFY(QFile::link("/dev/full", m_dir->path() + "/1_CH2_Export.txt"));
    QVERIFY(!exportChannelFile(m_dir->path() + "/1_CH2.dat"));
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/1_CH2_Export.txt"));  // no torn text left

    QVERIFY(QFile::link("/dev/full", m_dir->path() + "/1_CH2_Export.txt"));
    genPointDirData(m_dir->path());
    QTRY_COMPARE(m_snackbar->messages,
                 QStringList{QStringLiteral("数据导出失败：%1 个文件未导出，位置%2").arg(1).arg(m_dir->path())});
    QCOMPARE(exportLines(m_dir->path() + "/1_CH1.dat").size(), 1 + 61 + 1);
}

void TestPointDataExport::exportFromTheContextMenu()
{
    Form_Index index;
    const QString path = makeProject(m_dir->path(), {pointEntry(4, 1, 10, {61})});
    QVERIFY(index.openProject(path));
    const QString pointDir = index.projectDir() + "/4";
    QVERIFY(QDir().mkpath(pointDir));
    QVERIFY(QFile::rename(channelFile("1_CH2.dat", 61, 1, 1.0, QVector<qint32>(61, 5)), pointDir + "/1_CH2.dat"));

    index.show();
    QVERIFY(QTest::qWaitForWindowExposed(&index));
    index.expandAll();
    index.onRightClicked(index.visualItemRect(index.pointRow(4)).center());
    QCOMPARE(index.indexMenu()->actions().first()->text(), QStringLiteral("导出浮点数"));
    index.indexMenu()->actions().first()->trigger();
    index.indexMenu()->hide();
    QTRY_COMPARE(m_snackbar->messages, QStringList{QStringLiteral("数据导出成功，位置%1").arg(pointDir)});
    QVERIFY(QFile::exists(pointDir + "/1_CH2_Export.txt"));
}

QTEST_MAIN(TestPointDataExport)
#include "tst_pointdataexport.moc"
