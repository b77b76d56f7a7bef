#include "PipelineFixtures.h"
#include "ReferencePipeline.h"
#include "SpectralPipeline.h"
#include "StandardFrequencies.h"
#include "ffft/FFTKernels.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace fixtures;

namespace {

const int N = 16384;
const double Pi7 = 3.1415926;  // the phase's own pi
const double Pi10 = 3.141592653;  // the calibration's degrees-to-radians pi

// E = k H in counts, both channels' files of one group; block b of both scaled by scaleOf(b).
template <typename ScaleOf>
bool writeCoupledPair(const QString& dir, ChannelHeader h, int k, int blocksWritten, ScaleOf scaleOf,
                      quint32 seed = 7)
{
    const QVector<qint32> pattern = noise(N, seed);
    const QVector<qint32> magnetic = scaledBlocks(pattern, blocksWritten, scaleOf);
    ChannelHeader e = h;
    e.sensorId = "FLAT-E";
    return writeChannelFile(channelFilePath(dir, 1, 4), e, scaled(magnetic, k))
           && writeChannelFile(channelFilePath(dir, 1, 1), h, magnetic);
}

QStringList pairFiles(const QString& dir)
{
    return {channelFilePath(dir, 1, 4), channelFilePath(dir, 1, 1)};
}

QString bandFolder(quint32 rate)
{
    return rate > 4000 ? "/High/" : rate <= 100 ? "/Low/" : "/Mid/";
}

QVector<CalibrationEntry> flatLibrary(quint32 rate, double sensorPhase = 20, quint32 serial = 1203)
{
    const QString prefix = QString::number(serial) + bandFolder(rate);
    return {flatEntry(prefix + "E0-1"), flatEntry(prefix + "Hx-1"), flatEntry("Sensor/FLAT-E"),
            flatEntry("Sensor/FLAT-H", 1.0, sensorPhase)};
}

QString calibrationFolder()
{
    return QCoreApplication::applicationDirPath();
}

FreqImpData runPair(const QStringList& files, QVector<int> excluded = {})
{
    return processWithBinCalibration(files, N, 2, 50, true, 0.5, excluded);
}

} // namespace

class TestSpectralPipeline : public QObject
{
    Q_OBJECT

private slots:
    void logSpacedTargets();
    void selectionMedianAndBandLimits_data();
    void selectionMedianAndBandLimits();
    void notchRecordsTakeTheWeightedMeanOfTheOthers();
    void proportionalChannelsAtEveryBandRate_data();
    void proportionalChannelsAtEveryBandRate();
    void blockCountsAndStacks();
    void excludedBlockIsSkippedAndShortensTheLoop();
    void headersClaimingMoreThanTheFileHolds();
    void missingFilesAndEntriesGiveNoResult();
    void fileNameWithoutChannelUsesUnknown();
    void unusableCalibrationGivesNoRecords();
    void sameAsStraightEvaluation_data();
    void sameAsStraightEvaluation();

private:
    QTemporaryDir m_dir;
};

void TestSpectralPipeline::logSpacedTargets()
{
    const QVector<double> t = logSpacedFrequencies(0.01, 100000, 70);
    QCOMPARE(t.size(), 491);
    QCOMPARE(t.first(), 0.01);
    QVERIFY(std::fabs(t.at(1) - 0.010334) < 1e-6);
    QVERIFY(std::fabs(t.at(139) - 0.96764) < 1e-5);
    QCOMPARE(t.at(140), 1.0);
    QCOMPARE(t.at(141), 1.03);
    QCOMPARE(t.at(142), 1.07);
    QCOMPARE(t.at(489), 96764.11);
    QCOMPARE(t.last(), 100000.0);
    QVERIFY(logSpacedFrequencies(10, 1, 70).isEmpty());
}

void TestSpectralPipeline::selectionMedianAndBandLimits_data()
{
    QTest::addColumn<double>("fs");
    QTest::addColumn<double>("fmin");
    QTest::addColumn<double>("fmax");
    QTest::newRow("250000") << 250000.0 << 700.0 << 125000.0;
    QTest::newRow("7800") << 7800.0 << 6.0 << 1300.0;
    QTest::newRow("488") << 488.0 << 1.0 << 488.0 / 6;
    QTest::newRow("61") << 61.0 << 16 * 61.0 / N << 61.0 / 6;
}

void TestSpectralPipeline::selectionMedianAndBandLimits()
{
    QFETCH(double, fs);
    QFETCH(double, fmin);
    QFETCH(double, fmax);
    QVector<SpectrumPoint> spectrum;
    for (int k = 1; k <= N / 2; ++k)
        spectrum.append(SpectrumPoint{k * fs / N, 1, 0, 0, 1});
    double lo = 0, hi = 0;
    const QVector<SpectrumPoint> kept = limitSpectrumBand(spectrum, fs, N, lo, hi);
    QCOMPARE(hi, fmax);
    // The lower bound is the first bin at or above it; the low rate keeps everything.
    QVERIFY(lo >= fmin && lo < fmin + fs / N + 1e-12);
    QCOMPARE(kept.first().frequency, fs <= 260 ? fs / N : lo);
    QCOMPARE(kept.last().frequency, fs / 2);

    QCOMPARE(selectInRange({5, 1, 2, 3, 0.5}, 1, 3), QVector<double>({1, 2, 3}));
    QVector<double> odd{3, 1, 2};
    QCOMPARE(median(odd), 2.0);
    QCOMPARE(odd, QVector<double>({1, 2, 3}));
    QVector<double> even{4, 1, 3, 2};
    QCOMPARE(median(even), 2.5);
}

void TestSpectralPipeline::notchRecordsTakeTheWeightedMeanOfTheOthers()
{
    auto rec = [](double f, double rho, double phase) {
        OneFreqImpedance r;
        r.Frequency = f;
        r.ApparentResis = rho;
        r.Phase = phase;
        return r;
    };
    QVector<OneFreqImpedance> list{rec(31.6, 10, 20), rec(50.1, 999, 99), rec(55, 40, 50), rec(79.4, 999, 99),
                                   rec(100, 70, 80)};
    repairNotchFrequencies(list);
    // 50.1 at position 1: weights 1, 1 and 1/9 for positions 0, 2 and 4.
    const double W = 1 + 1 + 1.0 / 9;
    QVERIFY(std::fabs(list[1].ApparentResis - (10 + 40 + 70.0 / 9) / W) < 1e-12);
    QVERIFY(std::fabs(list[1].Phase - (20 + 50 + 80.0 / 9) / W) < 1e-12);
    // 79.4 at position 3: weights 1/9, 1 and 1.
    QVERIFY(std::fabs(list[3].ApparentResis - (10.0 / 9 + 40 + 70) / (1.0 / 9 + 2)) < 1e-12);
    QCOMPARE(list[0].ApparentResis, 10.0);
    for (const OneFreqImpedance& r : list) {
        QCOMPARE(r.Depth, 356 * std::sqrt(r.ApparentResis / r.Frequency));
        QCOMPARE(r.TrueResis, (90 / r.Phase - 1) * r.ApparentResis);
    }

    QVector<OneFreqImpedance> allNotch{rec(50.1, 1, 1), rec(63.1, 2, 2)};
    repairNotchFrequencies(allNotch);
    QVERIFY(std::isnan(allNotch[0].ApparentResis));
}

void TestSpectralPipeline::proportionalChannelsAtEveryBandRate_data()
{
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<quint32>("duration");
    QTest::newRow("61") << 61u << 806u;
    QTest::newRow("488") << 488u << 101u;
    QTest::newRow("7800") << 7800u << 7u;
    // One second holds 15 blocks; only three are in the file, the others fail to read.
    QTest::newRow("250000") << 250000u << 1u;
}

void TestSpectralPipeline::proportionalChannelsAtEveryBandRate()
{
    QFETCH(quint32, rate);
    QFETCH(quint32, duration);
    const int k = 3;
    const double phaseDegrees = 30;
    QTemporaryDir dir;
    ChannelHeader h;
    h.sampleRate = rate;
    h.duration = duration;
    QVERIFY(writeCoupledPair(dir.path(), h, k, 3, [](int) { return 1; }));
    QVERIFY(installCalibrationLibrary(calibrationFolder(), flatLibrary(rate, phaseDegrees)));

    const FreqImpData result = runPair(pairFiles(dir.path()));
    double fmin = 0, fmax = 0;
    limitSpectrumBand(QVector<SpectrumPoint>{{double(rate) / N * 16, 0, 0, 0, 0}}, rate, N, fmin, fmax);
    QVector<SpectrumPoint> bins;
    for (int b = 1; b <= N / 2; ++b)
        bins.append(SpectrumPoint{b * double(rate) / N, 0, 0, 0, 0});
    limitSpectrumBand(bins, rate, N, fmin, fmax);
    const QVector<double> expected = selectInRange(StandardFrequencies, fmin, fmax);
    QVERIFY(expected.size() > 10);
    QCOMPARE(result.impedance.size(), expected.size());
    QCOMPARE(result.crossPower.size(), expected.size());

    const double phase = phaseDegrees * Pi10 / Pi7;
    for (int i = 0; i < expected.size(); ++i) {
        const OneFreqImpedance& r = result.impedance.at(i);
        QCOMPARE(r.Frequency, expected.at(i));
        QCOMPARE(result.crossPower.at(i).frequency, expected.at(i));
        QVERIFY2(std::fabs(r.Coh - 1) < 1e-9, qPrintable(QString::number(r.Coh)));
        QVERIFY2(std::fabs(r.Phase - phase) < 1e-9, qPrintable(QString::number(r.Phase, 'g', 12)));
        QVERIFY(r.MagneticPower > 0);
        double rho = double(k) * k / (5 * r.Frequency);
        if (isNotchFrequency(r.Frequency)) {
            // Repaired from the other records of the list by 1 / distance^2.
            double W = 0, sum = 0;
            for (int j = 0; j < expected.size(); ++j) {
                if (isNotchFrequency(expected.at(j)))
                    continue;
                const double w = 1.0 / double(j - i) / double(j - i);
                W += w;
                sum += w * double(k) * k / (5 * expected.at(j));
            }
            rho = sum / W;
        }
        QVERIFY2(std::fabs(r.ApparentResis / rho - 1) < 1e-9,
                 qPrintable(QString("%1 Hz: %2 vs %3").arg(r.Frequency).arg(r.ApparentResis).arg(rho)));
        QCOMPARE(r.Depth, 356 * std::sqrt(r.ApparentResis / r.Frequency));
        QCOMPARE(r.TrueResis, (90 / r.Phase - 1) * r.ApparentResis);
    }
}

void TestSpectralPipeline::blockCountsAndStacks()
{
    // Block b of both channels is the same pattern times b + 1, so the magnetic power of a
    // stack is the mean of its blocks' (b + 1)^2 times the pattern's: the median over the
    // stacks tells which blocks were stacked.
    QVERIFY(installCalibrationLibrary(calibrationFolder(), flatLibrary(16384)));
    ChannelHeader h;
    QTemporaryDir unitDir, fortyDir, manyDir;
    h.duration = 3;
    QVERIFY(writeCoupledPair(unitDir.path(), h, 2, 3, [](int) { return 1; }));
    h.duration = 40;
    QVERIFY(writeCoupledPair(fortyDir.path(), h, 2, 40, [](int b) { return b + 1; }));
    h.duration = 200;
    QVERIFY(writeCoupledPair(manyDir.path(), h, 2, 200, [](int b) { return b + 1; }));

    const FreqImpData unit = runPair(pairFiles(unitDir.path()));
    const FreqImpData forty = runPair(pairFiles(fortyDir.path()));
    const FreqImpData many = runPair(pairFiles(manyDir.path()));
    QVERIFY(!unit.impedance.isEmpty());
    QCOMPARE(forty.impedance.size(), unit.impedance.size());
    QCOMPARE(many.impedance.size(), unit.impedance.size());

    auto stackPower = [](int t) { return (std::pow(3 * t + 1, 2) + std::pow(3 * t + 2, 2) + std::pow(3 * t + 3, 2)) / 3; };
    // 40 blocks: 13 stacks, the median is stack 6. 200 blocks: 50 processed, 16 stacks.
    const double fortyRatio = stackPower(6);
    const double manyRatio = (stackPower(7) + stackPower(8)) / 2;
    double fortyMean = 0;
    for (int t = 0; t < 13; ++t)
        fortyMean += stackPower(t) / 13;
    for (int i = 0; i < unit.impedance.size(); ++i) {
        const double p0 = unit.impedance.at(i).MagneticPower;
        QVERIFY(std::fabs(forty.impedance.at(i).MagneticPower / p0 / fortyRatio - 1) < 1e-9);
        QVERIFY(std::fabs(many.impedance.at(i).MagneticPower / p0 / manyRatio - 1) < 1e-9);
        // The cross-power is the mean over the stacks.
        const double c0 = unit.crossPower.at(i).matrix.at(1).at(1).real();
        QVERIFY(std::fabs(forty.crossPower.at(i).matrix.at(1).at(1).real() / c0 / fortyMean - 1) < 1e-9);
        QVERIFY(std::fabs(forty.impedance.at(i).ApparentResis / unit.impedance.at(i).ApparentResis - 1) < 1e-9);
    }
}

void TestSpectralPipeline::excludedBlockIsSkippedAndShortensTheLoop()
{
    QVERIFY(installCalibrationLibrary(calibrationFolder(), flatLibrary(16384)));
    ChannelHeader h;
    QTemporaryDir unitDir, nineDir;
    h.duration = 3;
    QVERIFY(writeCoupledPair(unitDir.path(), h, 2, 3, [](int) { return 1; }));
    h.duration = 9;
    QVERIFY(writeCoupledPair(nineDir.path(), h, 2, 9, [](int b) { return b + 1; }));
    const FreqImpData unit = runPair(pairFiles(unitDir.path()));
    const FreqImpData all = runPair(pairFiles(nineDir.path()));
    const FreqImpData excluded = runPair(pairFiles(nineDir.path()), {1});
    QVERIFY(!unit.impedance.isEmpty());
    // All nine: stacks (0,1,2) (3,4,5) (6,7,8), median the middle one.
    // Block 1 excluded: the loop ends after block 7, stacks (0,2,3) (4,5,6).
    const double allRatio = (16.0 + 25 + 36) / 3;
    const double excludedRatio = ((1.0 + 9 + 16) / 3 + (25.0 + 36 + 49) / 3) / 2;
    for (int i = 0; i < unit.impedance.size(); ++i) {
        const double p0 = unit.impedance.at(i).MagneticPower;
        QVERIFY(std::fabs(all.impedance.at(i).MagneticPower / p0 / allRatio - 1) < 1e-9);
        QVERIFY(std::fabs(excluded.impedance.at(i).MagneticPower / p0 / excludedRatio - 1) < 1e-9);
    }
    // Fewer than three blocks left: nothing.
    QVERIFY(runPair(pairFiles(unitDir.path()), {2}).impedance.isEmpty());
}

void TestSpectralPipeline::headersClaimingMoreThanTheFileHolds()
{
    // Three blocks on disk each time: a header claiming 10^9 blocks (a garbled duration:
    // hours of visits to blocks that are not there), one claiming 2^32 - 1 (more than an
    // int counts), and rate x duration that no file could hold at all.
    QVERIFY(installCalibrationLibrary(calibrationFolder(), flatLibrary(16384)));
    ChannelHeader h;
    QTemporaryDir honestDir, shortDir, garbledDir, impossibleDir;
    h.duration = 3;
    QVERIFY(writeCoupledPair(honestDir.path(), h, 2, 3, [](int b) { return b + 1; }));
    h.duration = 1000000000;
    QVERIFY(writeCoupledPair(shortDir.path(), h, 2, 3, [](int b) { return b + 1; }));
    h.duration = 0xFFFFFFFFu;
    QVERIFY(writeCoupledPair(garbledDir.path(), h, 2, 3, [](int b) { return b + 1; }));
    h.sampleRate = 0xFFFFFFFFu;
    QVERIFY(writeCoupledPair(impossibleDir.path(), h, 2, 3, [](int b) { return b + 1; }));

    const FreqImpData honest = runPair(pairFiles(honestDir.path()));
    QVERIFY(!honest.impedance.isEmpty());
    for (const QString& dir : {shortDir.path(), garbledDir.path()}) {
        QElapsedTimer timer;
        timer.start();
        const FreqImpData claimed = runPair(pairFiles(dir));
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(claimed.impedance.size(), honest.impedance.size());
        QVERIFY(std::memcmp(claimed.impedance.constData(), honest.impedance.constData(),
                            sizeof(OneFreqImpedance) * size_t(honest.impedance.size())) == 0);
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("damaged header"));
    QVERIFY(runPair(pairFiles(impossibleDir.path())).impedance.isEmpty());
}

void TestSpectralPipeline::missingFilesAndEntriesGiveNoResult()
{
    QTemporaryDir dir;
    ChannelHeader h;
    QVERIFY(writeCoupledPair(dir.path(), h, 2, 3, [](int) { return 1; }));
    QVector<CalibrationEntry> library = flatLibrary(16384);
    QVERIFY(installCalibrationLibrary(calibrationFolder(), library));
    QVERIFY(!runPair(pairFiles(dir.path())).impedance.isEmpty());

    QTest::ignoreMessage(QtWarningMsg, qPrintable(dir.filePath("1_CH2.dat") + " is not exist !"));
    const FreqImpData missing = runPair({pairFiles(dir.path()).first(), dir.filePath("1_CH2.dat")});
    QVERIFY(missing.impedance.isEmpty() && missing.crossPower.isEmpty());

    library.removeAt(3);  // the magnetic sensor
    QVERIFY(installCalibrationLibrary(calibrationFolder(), library));
    QTest::ignoreMessage(QtWarningMsg, "Sensor/FLAT-H is not exist !");
    QVERIFY(runPair(pairFiles(dir.path())).impedance.isEmpty());

    library.removeAt(0);  // the electric board
    QVERIFY(installCalibrationLibrary(calibrationFolder(), library));
    QTest::ignoreMessage(QtWarningMsg, "1203/High/E0-1 is not exist !");
    QVERIFY(runPair(pairFiles(dir.path())).impedance.isEmpty());
}

void TestSpectralPipeline::fileNameWithoutChannelUsesUnknown()
{
    QTemporaryDir dir;
    ChannelHeader h;
    h.sampleRate = 488;
    h.duration = 101;
    h.gain = 4;
    QVERIFY(writeCoupledPair(dir.path(), h, 2, 3, [](int) { return 1; }));
    const QString renamed = dir.filePath("electric.dat");
    QVERIFY(QFile::rename(pairFiles(dir.path()).first(), renamed));
    QVERIFY(installCalibrationLibrary(calibrationFolder(),
                                      {flatEntry("1203/Mid/Unknown-4"), flatEntry("1203/Mid/Hx-4"),
                                       flatEntry("Sensor/FLAT-E"), flatEntry("Sensor/FLAT-H")}));
    QVERIFY(!runPair({renamed, pairFiles(dir.path()).last()}).impedance.isEmpty());
}

void TestSpectralPipeline::unusableCalibrationGivesNoRecords()
{
    QTemporaryDir dir;
    ChannelHeader h;
    QVERIFY(writeCoupledPair(dir.path(), h, 2, 3, [](int) { return 1; }));
    QVector<CalibrationEntry> library = flatLibrary(16384);
    library[1] = flatEntry(library.at(1).name, 0.0);  // a zero response
    QVERIFY(installCalibrationLibrary(calibrationFolder(), library));
    QVERIFY(runPair(pairFiles(dir.path())).impedance.isEmpty());

    library = flatLibrary(16384);
    library[3].points.resize(1);  // a single point is no response
    QVERIFY(installCalibrationLibrary(calibrationFolder(), library));
    QVERIFY(runPair(pairFiles(dir.path())).impedance.isEmpty());

    // A silent magnetic channel divides by zero power: no record rather than NaN.
    ChannelHeader silent = h;
    QVERIFY(writeChannelFile(channelFilePath(dir.path(), 1, 1), silent, QVector<qint32>(3 * N, 0)));
    QVERIFY(installCalibrationLibrary(calibrationFolder(), flatLibrary(16384)));
    const FreqImpData quiet = runPair(pairFiles(dir.path()));
    for (const OneFreqImpedance& r : quiet.impedance)
        QVERIFY(std::isfinite(r.ApparentResis) && std::isfinite(r.Phase) && std::isfinite(r.Coh));
}

void TestSpectralPipeline::sameAsStraightEvaluation_data()
{
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<quint32>("duration");
    QTest::addColumn<bool>("sensorCalAll");
    QTest::addColumn<bool>("plain");  // the portable kernels, as on a processor without AVX2
    QTest::newRow("7800") << 7800u << 17u << false << false;
    QTest::newRow("250000") << 250000u << 1u << true << false;
    QTest::newRow("61") << 61u << 1612u << false << false;
    QTest::newRow("250000 plain") << 250000u << 1u << true << true;
}

void TestSpectralPipeline::sameAsStraightEvaluation()
{
    QFETCH(quint32, rate);
    QFETCH(quint32, duration);
    QFETCH(bool, sensorCalAll);
    QFETCH(bool, plain);
    // Independent noisy channels and calibrations that vary with frequency.
    QTemporaryDir dir;
    const QStringList files = pairFiles(dir.path());
    ChannelHeader h;
    h.sampleRate = rate;
    h.duration = duration;
    QVERIFY(writeChannelFile(files.at(0), h, noise(7 * N, 11)));
    QVERIFY(writeChannelFile(files.at(1), h, noise(7 * N, 12)));
    auto table = [](double a0, double p0) {
        QVector<CalibrationData> t;
        for (double f = 0.01; f < 300000; f *= 3.7)
            t.append(CalibrationData{f, a0 * (1 + std::log10(f + 1)), (p0 + f / 1000) * Pi10 / 180, 0, 0});
        return t;
    };
    const QMap<int, QVector<CalibrationData> > board{{0, table(1.5, 3)}, {1, table(0.7, -20)}};
    const QMap<int, QVector<CalibrationData> > sensor{{0, table(2.0, 10)}, {1, table(0.3, 40)}};
    const QVector<double> factors{50, 1};
    const QVector<int> excluded{4};

    ffft::forcePlainKernel(plain);
    const FreqImpData fast = TimeSeriesProcess::realProcess(28, files, board, sensor, factors, rate, duration,
                                                            sensorCalAll, N, 2, 50, true, 0.5, excluded);
    ffft::forcePlainKernel(false);
    const FreqImpData straight = reference::realProcess(files, board, sensor, factors, rate, duration, sensorCalAll,
                                                        N, 50, true, 0.5, excluded);
    QVERIFY(!straight.impedance.isEmpty());
    QCOMPARE(fast.impedance.size(), straight.impedance.size());
    for (int i = 0; i < fast.impedance.size(); ++i) {
        const OneFreqImpedance& a = fast.impedance.at(i);
        const OneFreqImpedance& b = straight.impedance.at(i);
        // Bit for bit, not merely close.
        QCOMPARE(memcmp(&a, &b, sizeof(a)), 0);
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 2; ++c)
                QVERIFY(fast.crossPower.at(i).matrix.at(r).at(c) == straight.crossPower.at(i).matrix.at(r).at(c));
        }
    }
}

QTEST_GUILESS_MAIN(TestSpectralPipeline)
#include "tst_spectralpipeline.moc"
