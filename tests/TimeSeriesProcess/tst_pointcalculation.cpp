#include "OperatorMessages.h"
#include "PipelineFixtures.h"
#include "PointCalculation.h"
#include "SoundingMerge.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace fixtures;

namespace {

const int N = 16384;

// A point folder "<project>/12" with its groups' channel files: every electric channel
// is a multiple of one magnetic channel, each magnetic channel its own noise.
struct PointFixture
{
    QTemporaryDir project;
    QString pointDir;
    st_PointParam param;

    PointFixture()
    {
        pointDir = project.filePath("12");
        QDir().mkpath(pointDir);
        param = defaultPointParam();
        param.Pos.ID = 12;
        param.GroupNum = 0;
    }

    // E0 = 2 Hy, E1 = 5 Hx, E2 = 3 Hz.
    bool writeGroup(int group, quint32 rate, quint32 duration)
    {
        ChannelHeader h;
        h.sampleRate = rate;
        h.duration = duration;
        const QVector<qint32> hx = noise(3 * N, 100 + group);
        const QVector<qint32> hy = noise(3 * N, 200 + group);
        const QVector<qint32> hz = noise(3 * N, 300 + group);
        ChannelHeader e = h;
        e.sensorId = "FLAT-E";
        return writeChannelFile(channelFilePath(pointDir, group, 1), h, hx)
               && writeChannelFile(channelFilePath(pointDir, group, 2), h, hy)
               && writeChannelFile(channelFilePath(pointDir, group, 3), h, hz)
               && writeChannelFile(channelFilePath(pointDir, group, 4), e, scaled(hy, 2))
               && writeChannelFile(channelFilePath(pointDir, group, 5), e, scaled(hx, 5))
               && writeChannelFile(channelFilePath(pointDir, group, 6), e, scaled(hz, 3));
    }

    QString table() const { return project.filePath("data/12.txt"); }
    QString crossTable() const { return project.filePath("data/CP_12.txt"); }
};

QVector<CalibrationEntry> pointLibrary()
{
    QVector<CalibrationEntry> entries{flatEntry("Sensor/FLAT-E"), flatEntry("Sensor/FLAT-H", 1.0, 25)};
    for (const char* channel : {"Hx", "Hy", "Hz", "E0", "E1", "E2"})
        entries.append(flatEntry(QStringLiteral("1203/High/%1-1").arg(channel)));
    return entries;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

OneFreqImpedance row(double f, double coh, double rho, double phase, double trueResis, double depth)
{
    OneFreqImpedance r;
    r.Frequency = f;
    r.Coh = coh;
    r.ApparentResis = rho;
    r.Phase = phase;
    r.TrueResis = trueResis;
    r.Depth = depth;
    return r;
}

bool sameTableValues(const PointResult& a, const PointResult& b)
{
    if (a.keys() != b.keys())
        return false;
    for (int key : a.keys()) {
        if (a[key].size() != b[key].size())
            return false;
        for (int i = 0; i < a[key].size(); ++i) {
            const OneFreqImpedance& x = a[key][i];
            const OneFreqImpedance& y = b[key][i];
            if (x.Frequency != y.Frequency || x.Coh != y.Coh || x.ApparentResis != y.ApparentResis
                || x.Phase != y.Phase || x.TrueResis != y.TrueResis || x.Depth != y.Depth)
                return false;
        }
    }
    return true;
}

// What a table holds after writing: values as the table prints them.
PointResult throughTable(const PointResult& result)
{
    QTemporaryDir dir;
    writeImpedanceFile(dir.filePath("t.txt"), result);
    return readImpedanceFile(dir.filePath("t.txt"));
}

} // namespace

class TestPointCalculation : public QObject
{
    Q_OBJECT

private slots:
    void depthFromBandMean();
    void depthUnchangedWithoutBand();
    void impedanceTableColumns();
    void wideValuesKeepABlank();
    void crossPowerTableColumns();
    void failedWriteIsReported();
    void unreadableTableIsNotOverwritten();
    void pairsFollowTheMatchBits();
    void hzPairsAndPairsWithoutData();
    void pointCalculationMergesGroupsInOrder();
    void concurrentGroupsAllReachTheTable();
    void pointWithoutRecordings();
    void unusableCalibrationLeavesNoRows();
    void pointCalculationAsAProgramsFirstAct();
    void init();

private:
    QStringList m_messages;
};

static OneFreqImpedance record(double f, double rho, double depth = -1)
{
    OneFreqImpedance r;
    r.Frequency = f;
    r.ApparentResis = rho;
    r.Depth = depth;
    return r;
}

void TestPointCalculation::depthFromBandMean()
{
    // The band's edges count; 7999 and 20001 Hz do not.
    QVector<OneFreqImpedance> list{record(20001, 1000), record(20000, 100), record(10000, 300),
                                   record(8000, 200), record(7999, 5000), record(0, 50, 7),
                                   record(-1, 50, 9)};
    calcDepthByMeanRho(list, 2.0);
    const double mean = 200.0;
    QCOMPARE(list[0].Depth, std::sqrt(mean / 20001) * 356.0 * 2.0);
    QCOMPARE(list[2].Depth, std::sqrt(mean / 10000) * 356.0 * 2.0);
    QCOMPARE(list[4].Depth, std::sqrt(mean / 7999) * 356.0 * 2.0);
    QCOMPARE(list[5].Depth, 7.0);
    QCOMPARE(list[6].Depth, 9.0);
}

void TestPointCalculation::depthUnchangedWithoutBand()
{
    QVector<OneFreqImpedance> empty;
    calcDepthByMeanRho(empty, 1.0);
    QVERIFY(empty.isEmpty());

    QVector<OneFreqImpedance> list{record(1000, 10, 3), record(30000, 20, 4)};
    calcDepthByMeanRho(list, 1.0);
    QCOMPARE(list[0].Depth, 3.0);
    QCOMPARE(list[1].Depth, 4.0);
}

void TestPointCalculation::init()
{
    m_messages.clear();
    setSnackbarReceiver([this](const QString& message) { m_messages.append(message); });
    QVERIFY(installCalibrationLibrary(QCoreApplication::applicationDirPath(), pointLibrary()));
}

void TestPointCalculation::impedanceTableColumns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("1.txt");
    PointResult result;
    result[3] = {row(0.0631, 0.987654, 123.456, 45.5, 111.25, 15640.2)};
    result[0] = {row(1000, 1, 2.5, 60, -1.25, 17.8), row(12600, 0.5, 1e-7, 7.25, 3, 4)};
    QVERIFY(writeImpedanceFile(path, result));
    const QByteArray expected = "Key Frequency Coh         ApparentResis Phase     TrueResis   Depth\n"
                                "0   1000      1           2.5           60        -1.25       17.8\n"
                                "0   12600     0.5         1e-07         7.25      3           4\n"
                                "3   0.0631    0.987654    123.456       45.5      111.25      15640.2\n";
    QCOMPARE(fileBytes(path), expected);
    QVERIFY(sameTableValues(readImpedanceFile(path), result));

    // An empty map leaves an existing table as it was.
    QVERIFY(writeImpedanceFile(path, PointResult()));
    QCOMPARE(fileBytes(path), expected);
    QVERIFY(!QFile::exists(dir.filePath("2.txt")) && writeImpedanceFile(dir.filePath("2.txt"), PointResult()));
    QVERIFY(!QFile::exists(dir.filePath("2.txt")));
    QVERIFY(readImpedanceFile(dir.filePath("2.txt")).isEmpty());
}

void TestPointCalculation::wideValuesKeepABlank()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("1.txt");
    PointResult result;
    result[1000] = {row(0.000125893, -0.123457, -1.23457e-100, 89.9999, -1.23457e+06, 123456)};
    QVERIFY(writeImpedanceFile(path, result));
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    QCOMPARE(lines.at(1), QByteArray("1000 0.000125893 -0.123457   -1.23457e-100 89.9999   -1.23457e+06 123456"));
    QVERIFY(sameTableValues(readImpedanceFile(path), result));

    // Lines that do not hold seven values are passed over.
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write("2 1 2 3\nx 1 2 3 4 5 6\n2 1 2 3 4 5 6\n");
    file.close();
    const PointResult read = readImpedanceFile(path);
    QCOMPARE(read.keys(), QList<int>({2, 1000}));
    QCOMPARE(read[2].size(), 1);
    QCOMPARE(read[2][0].Depth, 6.0);
}

void TestPointCalculation::crossPowerTableColumns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("CP_1.txt");
    const QByteArray header = " Key Frequency      real_CP00      imag_CP00      real_CP01      imag_CP01"
                              "      real_CP10      imag_CP10      real_CP11      imag_CP11\n";
    QVERIFY(writeCrossPowerFile(path, PointCrossPower()));
    QCOMPARE(fileBytes(path), header);

    CrossSpectrum c;
    c.n = 2;
    c.frequency = 0.000125893;
    c.matrix = {{{1.5, 0}, {2, -3}}, {{2, 3}, {-1.23456e-123, 4}}};
    PointCrossPower map;
    map[4] = {c};
    QVERIFY(writeCrossPowerFile(path, map));
    QCOMPARE(fileBytes(path), header + "   4 0.000125893            1.5              0              2             -3"
                                       "              2              3  -1.23456e-123              4\n");
}

void TestPointCalculation::failedWriteIsReported()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    point.param.GroupNum = 1;
    point.param.CHMatch = 0x02;  // E0 with Hy
    QVERIFY(QDir().mkpath(point.table()));  // a folder where the table belongs
    QVERIFY(!writeImpedanceFile(point.table(), {{0, {row(1, 1, 1, 1, 1, 1)}}}));

    bool ok = false;
    const PointResult result = calcGroupData(point.pointDir, point.param, 1, &ok);
    QVERIFY(ok && result.contains(0));
    QCOMPARE(m_messages, QStringList({"结果文件保存失败：" + QDir::toNativeSeparators(point.table())}));
}

// A table that exists but cannot be opened (here a socket, which no one can open as a file)
// may hold earlier groups: the group is not written over it, and the failure is reported.
void TestPointCalculation::unreadableTableIsNotOverwritten()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    point.param.GroupNum = 1;
    point.param.CHMatch = 0x02;
    QVERIFY(QDir().mkpath(QFileInfo(point.table()).path()));
    const QByteArray path = QFile::encodeName(point.table());
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    QVERIFY(size_t(path.size()) < sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    bool ok = false;
    const PointResult result = calcGroupData(point.pointDir, point.param, 1, &ok);
    QVERIFY(ok && result.contains(0));
    struct stat info = {};
    QCOMPARE(::stat(path.constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(m_messages, QStringList({"结果文件保存失败：" + QDir::toNativeSeparators(point.table())}));
}

void TestPointCalculation::pairsFollowTheMatchBits()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    // E0 bits 10 (Hy), E1 bits 01 (Hx).
    bool ok = false;
    const QMap<int, FreqImpData> pairs = p_calcFreqData(point.pointDir, 0x1B, 0x06, 1, &ok);
    QVERIFY(ok);
    QCOMPARE(pairs.keys(), QList<int>({0, 1}));
    const double scale[] = {2, 5};
    for (int key : {0, 1}) {
        const FreqImpData& data = pairs[key];
        QVERIFY(!data.impedance.isEmpty());
        QCOMPARE(data.crossPower.size(), data.impedance.size());
        for (const OneFreqImpedance& r : data.impedance) {
            QVERIFY(std::fabs(r.Coh - 1) < 1e-9);
            if (!isNotchFrequency(r.Frequency))
                QVERIFY(std::fabs(r.ApparentResis / (scale[key] * scale[key] / (5 * r.Frequency)) - 1) < 1e-9);
        }
    }

    QTest::ignoreMessage(QtWarningMsg, "GroupNum must be 1/2/3/4.");
    QVERIFY(p_calcFreqData(point.pointDir, 0x1B, 0x06, 5, &ok).isEmpty());
    QVERIFY(!ok);
}

void TestPointCalculation::hzPairsAndPairsWithoutData()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    const QMap<int, FreqImpData> hz = p_calcFreqData(point.pointDir, 0x38, 0x40, 1);
    QCOMPARE(hz.keys(), QList<int>({3, 4, 5}));
    // E2 = 3 Hz
    const OneFreqImpedance& r = hz[5].impedance.first();
    QVERIFY(std::fabs(r.ApparentResis / (9 / (5 * r.Frequency)) - 1) < 1e-9);
    // Only the selected electric channels.
    QCOMPARE(p_calcFreqData(point.pointDir, 0x10, 0x40, 1).keys(), QList<int>({4}));

    // A missing file and a missing calibration entry drop their pairs; the others go on.
    QVERIFY(QFile::remove(channelFilePath(point.pointDir, 1, 5)));
    QVector<CalibrationEntry> library = pointLibrary();
    library.removeLast();  // E2's board
    QVERIFY(installCalibrationLibrary(QCoreApplication::applicationDirPath(), library));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(channelFilePath(point.pointDir, 1, 5) + " is not exist !"));
    QTest::ignoreMessage(QtWarningMsg, "1203/High/E2-1 is not exist !");
    QCOMPARE(p_calcFreqData(point.pointDir, 0x38, 0x69, 1).keys(), QList<int>({0, 3}));
}

void TestPointCalculation::pointCalculationMergesGroupsInOrder()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    QVERIFY(point.writeGroup(2, 7800, 7));
    point.param.GroupNum = 2;
    point.param.CHMatch = 0x06;

    bool ok = false;
    const PointResult result = calcPointData(point.pointDir, point.param, &ok, true);
    QVERIFY(ok);
    QCOMPARE(m_messages.first(), QStringLiteral("计算中请稍后"));
    QCOMPARE(result.keys(), QList<int>({0, 1}));

    // Group 2 first (start order), then group 1 merged into it.
    const QMap<int, FreqImpData> g1 = p_calcFreqData(point.pointDir, 0x1B, 0x06, 1);
    const QMap<int, FreqImpData> g2 = p_calcFreqData(point.pointDir, 0x1B, 0x06, 2);
    PointResult expected;
    PointCrossPower expectedCross;
    for (int key : {0, 1}) {
        expected[key] = mergeImpedanceLists(g2[key].impedance, g1[key].impedance);
        expectedCross[key] = mergeCrossSpectra(g2[key].crossPower, g1[key].crossPower);
        QVERIFY(expected[key].size() < g1[key].impedance.size() + g2[key].impedance.size());  // bands overlap
    }
    QVERIFY(sameTableValues(result, expected));
    QVERIFY(sameTableValues(readImpedanceFile(point.table()), throughTable(expected)));
    QTemporaryDir dir;
    QVERIFY(writeCrossPowerFile(dir.filePath("cp.txt"), expectedCross));
    QCOMPARE(fileBytes(point.crossTable()), fileBytes(dir.filePath("cp.txt")));

    // The same files give the same tables, byte for byte.
    const QByteArray first = fileBytes(point.table());
    calcPointData(point.pointDir, point.param, nullptr, true);
    QCOMPARE(fileBytes(point.table()), first);

    // Without force the table is read back rather than computed.
    QVERIFY(writeImpedanceFile(point.table(), {{4, {row(7, 1, 2, 3, 4, 5)}}}));
    const PointResult read = calcPointData(point.pointDir, point.param, nullptr, false);
    QCOMPARE(read.keys(), QList<int>({4}));
}

void TestPointCalculation::concurrentGroupsAllReachTheTable()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    QVERIFY(point.writeGroup(2, 7800, 7));
    point.param.GroupNum = 2;
    point.param.CHMatch = 0x06;
    const QMap<int, FreqImpData> g1 = p_calcFreqData(point.pointDir, 0x1B, 0x06, 1);
    const QMap<int, FreqImpData> g2 = p_calcFreqData(point.pointDir, 0x1B, 0x06, 2);
    for (int round = 0; round < 3; ++round) {
        QFile::remove(point.table());
        QFuture<PointResult> a = QtConcurrent::run([&] { return calcGroupData(point.pointDir, point.param, 1); });
        QFuture<PointResult> b = QtConcurrent::run([&] { return calcGroupData(point.pointDir, point.param, 2); });
        a.waitForFinished();
        b.waitForFinished();
        // Whichever came second merged into the first one's table: both groups are in it.
        const PointResult table = readImpedanceFile(point.table());
        const bool oneFirst = sameTableValues(table, throughTable({{0, mergeImpedanceLists(throughTable({{0, g1[0].impedance}})[0], g2[0].impedance)},
                                                                   {1, mergeImpedanceLists(throughTable({{1, g1[1].impedance}})[1], g2[1].impedance)}}));
        const bool twoFirst = sameTableValues(table, throughTable({{0, mergeImpedanceLists(throughTable({{0, g2[0].impedance}})[0], g1[0].impedance)},
                                                                   {1, mergeImpedanceLists(throughTable({{1, g2[1].impedance}})[1], g1[1].impedance)}}));
        QVERIFY(oneFirst || twoFirst);
    }
}

void TestPointCalculation::pointWithoutRecordings()
{
    PointFixture point;
    point.param.GroupNum = 1;
    QVERIFY(calcPointData(point.project.filePath("nothing"), point.param, nullptr, true).isEmpty());
    QVERIFY(writeChannelFile(channelFilePath(point.pointDir, 1, 1), ChannelHeader(), noise(N, 1)));
    QVERIFY(calcPointData(point.pointDir, point.param, nullptr, true).isEmpty());
    QCOMPARE(m_messages, QStringList({"时间序列不存在，请导出后再计算", "时间序列不存在，请导出后再计算"}));
    QVERIFY(!QFile::exists(point.crossTable()));
}

void TestPointCalculation::unusableCalibrationLeavesNoRows()
{
    PointFixture point;
    QVERIFY(point.writeGroup(1, 16384, 3));
    point.param.GroupNum = 1;
    point.param.CHMatch = 0x06;
    QVector<CalibrationEntry> library = pointLibrary();
    library[2] = flatEntry(library[2].name, 0.0);  // Hx's board: zero response
    QVERIFY(installCalibrationLibrary(QCoreApplication::applicationDirPath(), library));
    const PointResult result = calcPointData(point.pointDir, point.param, nullptr, true);
    QCOMPARE(result.keys(), QList<int>({0}));
    const QByteArray table = fileBytes(point.table()).toLower();
    QVERIFY(!table.isEmpty() && !table.contains("nan") && !table.contains("inf"));
    // CP table: header and key 0's rows only.
    QVERIFY(!fileBytes(point.crossTable()).contains("\n   1 "));

    // Nothing usable at all: no result table, a cross-power table of its header only.
    QVERIFY(QFile::remove(point.table()));
    library[3] = flatEntry(library[3].name, 0.0);  // Hy's board as well
    QVERIFY(installCalibrationLibrary(QCoreApplication::applicationDirPath(), library));
    bool ok = true;
    QVERIFY(calcPointData(point.pointDir, point.param, &ok, true).isEmpty());
    QVERIFY(!ok);
    QVERIFY(!QFile::exists(point.table()));
    QCOMPARE(fileBytes(point.crossTable()).count('\n'), 1);
    QVERIFY(fileBytes(point.crossTable()).startsWith(" Key Frequency"));
}

void TestPointCalculation::pointCalculationAsAProgramsFirstAct()
{
    // Twelve pair tasks look the calibration folder up at once in a program that has not
    // asked for it before: a race there corrupted the heap now and then (a few runs in a
    // hundred, depending on the machine's load), so the child runs many times over.
    PointFixture point;
    for (int g = 1; g <= 4; ++g)
        QVERIFY(point.writeGroup(g, 16384, 3));
    const int runs = 100;
    int started = 0;
    int passed = 0;
    QList<QProcess*> running;
    while (passed < runs) {
        while (started < runs && running.size() < 4) {
            auto* child = new QProcess(this);
            child->setProcessChannelMode(QProcess::MergedChannels);
            child->start(QCoreApplication::applicationFilePath(), {"--first-act-point", point.pointDir});
            running.append(child);
            ++started;
        }
        QProcess* child = running.takeFirst();
        const bool finished = child->waitForFinished(60000);
        const QByteArray output = child->readAll().right(2000)
                                  + QByteArray("\nexit status ") + QByteArray::number(int(child->exitStatus()))
                                  + " code " + QByteArray::number(child->exitCode());
        const bool clean = finished && child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0;
        delete child;
        QVERIFY2(clean, output.constData());
        ++passed;
    }
}

// The child of pointCalculationAsAProgramsFirstAct: a point calculation is its first act.
static int firstActPoint(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    st_PointParam param = defaultPointParam();
    param.Pos.ID = 12;
    param.GroupNum = 4;
    param.CHSelect = 0x3F;
    param.CHMatch = 0x29;  // E0-Hx, E1-Hy, E2-Hy: twelve pair tasks
    bool ok = false;
    calcPointData(QString::fromLocal8Bit(argv[2]), param, &ok, true);
    return ok ? 0 : 3;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--first-act-point") == 0)
        return firstActPoint(argc, argv);
    QCoreApplication app(argc, argv);
    TestPointCalculation test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_pointcalculation.moc"
