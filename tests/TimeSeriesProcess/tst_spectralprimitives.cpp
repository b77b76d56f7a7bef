#include "ScanBandAverage.h"
#include "SpectralPrimitives.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

const double Pi = 3.141592653589793;

bool sameBits(const SpectrumPoint& a, const SpectrumPoint& b)
{
    return std::memcmp(&a, &b, sizeof(SpectrumPoint)) == 0;
}

SpectrumPoint point(double frequency, double re, double im)
{
    return SpectrumPoint{frequency, re, im, std::atan2(im, re), std::hypot(re, im)};
}

QVector<double> randomSamples(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QVector<double> x(n);
    for (double& v : x)
        v = rng.generateDouble() * 200 - 100;
    return x;
}

CrossSpectrum record(double frequency, std::complex<double> value)
{
    CrossSpectrum r;
    r.n = 2;
    r.frequency = frequency;
    r.matrix = {{value, 2.0 * value}, {std::conj(value), 1.0}};
    return r;
}

} // namespace

class TestSpectralPrimitives : public QObject
{
    Q_OBJECT
private slots:
    void bandWeightWindow();
    void taperWindowAndScale();
    void taperRefusesElectrodeLengthZero();
    void spectrumOfConstantCosineAndSine();
    void spectrumRefusesBadLengths();
    void divisionByCalibration();
    void crossMatrixIsHermitian();
    void bandAverageSelectsStrictlyInsideTheBand();
    void bandAverageBisectionEqualsFullScan();
    void bandAverageOfCrossSpectra();
};

void TestSpectralPrimitives::bandWeightWindow()
{
    QCOMPARE(bandWeight(10, 10, 0.5), 1.0);
    QCOMPARE(bandWeight(10, 15, 0.5), 0.0);
    QCOMPARE(bandWeight(10, 5, 0.5), 0.0);
    QCOMPARE(bandWeight(10, 40, 0.5), 0.0);
    // Half-way to the edge: (sin(pi/2) / (pi/2))^4 with pi to nine decimals.
    QVERIFY(std::fabs(bandWeight(10, 7.5, 0.5) - 0.16426) < 5e-6);
    QCOMPARE(bandWeight(10, 7.5, 0.5), bandWeight(10, 12.5, 0.5));
    const double x = 2.5 * 3.141592653 / 5;
    QCOMPARE(bandWeight(10, 7.5, 0.5), std::pow(std::sin(x) / x, 4.0));
    QVERIFY(bandWeight(100, 99, 0.5) > bandWeight(100, 90, 0.5));
}

void TestSpectralPrimitives::taperWindowAndScale()
{
    const QVector<double> ones(16, 1.0);
    const QVector<double> plain = applyTaper(ones, 16, false, 0);
    QCOMPARE(plain.size(), 16);
    QCOMPARE(plain.at(0), 1.0);
    QCOMPARE(plain.at(8), 0.5);
    QCOMPARE(plain.at(4), 0.5 + 0.5 * std::cos(4 * Pi / 16));
    QVERIFY(plain.at(15) > 0 && plain.at(15) < 0.01);

    // 50 m of electrode: mV to mV/km is a factor 20.
    const QVector<double> scaled = applyTaper(ones, 16, true, 50);
    QCOMPARE(scaled.at(0), 20.0);
    QCOMPARE(scaled.at(8), 10.0);

    // Past the window only the unit conversion applies; n beyond the block is harmless.
    const QVector<double> partial = applyTaper(ones, 8, true, 50);
    QCOMPARE(partial.at(4), 10.0);
    QCOMPARE(partial.at(12), 20.0);
    QCOMPARE(applyTaper(ones, 64, false, 0).size(), 16);
}

void TestSpectralPrimitives::taperRefusesElectrodeLengthZero()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("applyTaper.*electrode length 0"));
    QVERIFY(applyTaper(QVector<double>(16, 1.0), 16, true, 0).isEmpty());
    // Without scaling the length is not used.
    QCOMPARE(applyTaper(QVector<double>(16, 1.0), 16, false, 0).size(), 16);
}

void TestSpectralPrimitives::spectrumOfConstantCosineAndSine()
{
    const int N = 16384;
    const double fs = 7800;
    const double s = std::sqrt(2 / (N * fs));

    const QVector<SpectrumPoint> constant = amplitudeSpectrum(QVector<double>(N, 3.0), N, fs);
    QCOMPARE(constant.size(), N / 2);
    QCOMPARE(constant.first().frequency, fs / N);  // the constant term is dropped
    QVERIFY(constant.first().amplitude < 1e-9);
    QCOMPARE(constant.last().frequency, fs / 2);
    QCOMPARE(constant.last().im, 0.0);
    QCOMPARE(constant.at(99).frequency, 100 * fs / N);

    const int k0 = 123;
    const double A = 2.5;
    QVector<double> cosine(N + 10), sine(N);  // samples beyond N are not used
    for (int t = 0; t < N; ++t) {
        cosine[t] = A * std::cos(2 * Pi * k0 * t / N);
        sine[t] = A * std::sin(2 * Pi * k0 * t / N);
    }
    cosine[N] = 1e9;
    const QVector<SpectrumPoint> c = amplitudeSpectrum(cosine, N, fs);
    QCOMPARE(c.size(), N / 2);
    const SpectrumPoint& ck = c.at(k0 - 1);
    QVERIFY(std::fabs(ck.re - A * (N / 2) * s) < 1e-9);
    QVERIFY(std::fabs(ck.im) < 1e-9);
    QVERIFY(std::fabs(ck.amplitude - A * (N / 2) * s) < 1e-9);
    QVERIFY(std::fabs(c.at(k0).amplitude) < 1e-9);

    const QVector<SpectrumPoint> sn = amplitudeSpectrum(sine, N, fs);
    const SpectrumPoint& sk = sn.at(k0 - 1);
    QVERIFY(std::fabs(sk.im + A * (N / 2) * s) < 1e-9);
    QVERIFY(std::fabs(sk.re) < 1e-9);
    QVERIFY(std::fabs(sk.phase + Pi / 2) < 1e-9);
}

void TestSpectralPrimitives::spectrumRefusesBadLengths()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("amplitudeSpectrum"));
    QVERIFY(amplitudeSpectrum(QVector<double>(100, 1.0), 96, 100).isEmpty());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("amplitudeSpectrum"));
    QVERIFY(amplitudeSpectrum(QVector<double>(100, 1.0), 128, 100).isEmpty());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("amplitudeSpectrum"));
    QVERIFY(amplitudeSpectrum(QVector<double>(), 16384, 100).isEmpty());
}

void TestSpectralPrimitives::divisionByCalibration()
{
    const QVector<SpectrumPoint> spectrum = {point(1, 1, 2), point(2, -3, 0)};
    const QVector<CalibrationData> calibration = {{1, 5, 0, 3, -4}, {2, 2, 0, 0, 2}};
    const QVector<SpectrumPoint> q = divideByCalibration(spectrum, calibration);
    QCOMPARE(q.size(), 2);
    // (1 + 2i) / (3 - 4i) = -0.2 + 0.4i ; -3 / 2i = 1.5i
    QCOMPARE(q.at(0).frequency, 1.0);
    QVERIFY(std::fabs(q.at(0).re + 0.2) < 1e-15);
    QVERIFY(std::fabs(q.at(0).im - 0.4) < 1e-15);
    QVERIFY(std::fabs(q.at(0).amplitude - std::sqrt(0.2)) < 1e-15);
    QCOMPARE(q.at(0).phase, std::atan2(q.at(0).im, q.at(0).re));
    QVERIFY(std::fabs(q.at(1).re) < 1e-15);
    QVERIFY(std::fabs(q.at(1).im - 1.5) < 1e-15);

    const QVector<SpectrumPoint> unchanged = divideByCalibration(spectrum, calibration.mid(0, 1));
    QCOMPARE(unchanged.at(0).re, 1.0);
    QCOMPARE(unchanged.at(1).re, -3.0);
}

void TestSpectralPrimitives::crossMatrixIsHermitian()
{
    const QVector<SpectrumPoint> points = {point(8, 1, 2), point(9, -3, 0.5), point(10, 0, -1)};
    const CrossSpectrum c = crossSpectralMatrix(3, points);
    QCOMPARE(c.n, 3);
    QCOMPARE(c.frequency, 8.0);
    QCOMPARE(c.matrix.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(c.matrix[i][i].imag(), 0.0);
        QVERIFY(std::fabs(c.matrix[i][i].real() - points[i].amplitude * points[i].amplitude) < 1e-12);
        for (int j = 0; j < 3; ++j)
            QCOMPARE(c.matrix[j][i], std::conj(c.matrix[i][j]));
    }
    // (1 + 2i)(-3 - 0.5i) = -3 - 0.5i - 6i + 1 = -2 - 6.5i
    QCOMPARE(c.matrix[0][1], std::complex<double>(-2, -6.5));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("crossSpectralMatrix"));
    QCOMPARE(crossSpectralMatrix(4, points).n, 0);
}

void TestSpectralPrimitives::bandAverageSelectsStrictlyInsideTheBand()
{
    const QVector<SpectrumPoint> spectrum = {point(4, 100, 0), point(5, 100, 0), point(7.5, 1, 1),
                                             point(10, 3, -1), point(12.5, 5, 3), point(15, 100, 0),
                                             point(16, 100, 0)};
    // Unweighted: 7.5, 10 and 12.5 only; 5 and 15 lie exactly on the bounds.
    const SpectrumPoint mean = bandAverageSpectrum(10, spectrum, 0.5, false);
    QCOMPARE(mean.frequency, 10.0);
    QCOMPARE(mean.re, 3.0);
    QCOMPARE(mean.im, 1.0);
    QCOMPARE(mean.amplitude, std::sqrt(10.0));
    QCOMPARE(mean.phase, std::atan2(1.0, 3.0));

    const double w = bandWeight(10, 7.5, 0.5);
    const SpectrumPoint weighted = bandAverageSpectrum(10, spectrum, 0.5, true);
    QVERIFY(std::fabs(weighted.re - (w * 1 + 3 + w * 5) / (1 + 2 * w)) < 1e-15);
    QVERIFY(std::fabs(weighted.im - (w * 1 - 1 + w * 3) / (1 + 2 * w)) < 1e-15);

    // Nothing in the band: zeros at the centre.
    const SpectrumPoint empty = bandAverageSpectrum(1000, spectrum, 0.5, true);
    QCOMPARE(empty.frequency, 1000.0);
    QCOMPARE(empty.re, 0.0);
    QCOMPARE(empty.im, 0.0);
    QCOMPARE(empty.amplitude, 0.0);
    QCOMPARE(bandAverageSpectrum(10, QVector<SpectrumPoint>(), 0.5, true).re, 0.0);
}

void TestSpectralPrimitives::bandAverageBisectionEqualsFullScan()
{
    const int N = 16384;
    const double fs = 488;
    const QVector<SpectrumPoint> spectrum = amplitudeSpectrum(randomSamples(N, 5), N, fs);

    QVector<double> targets;
    for (int i = 0; i <= 490; ++i)
        targets.append(std::pow(10.0, -2 + i / 70.0));
    // Centres whose band edges fall exactly on bins, and degenerate bands.
    for (int k : {1, 2, 3, 100, 4096, 8191, 8192})
        targets << 2 * k * fs / N << k * fs / N << 2 * k * fs / N / 3;
    targets << 0 << -5 << fs << 1e9 << std::nan("");

    for (double bw : {0.5, 0.1, 1.0, 1.5, 0.0, -0.5}) {
        for (double f : targets) {
            for (bool weighted : {true, false}) {
                const SpectrumPoint fast = bandAverageSpectrum(f, spectrum, bw, weighted);
                const SpectrumPoint reference = scanBandAverage(f, spectrum, bw, weighted);
                QVERIFY2(sameBits(fast, reference), qPrintable(QStringLiteral("f %1 bw %2").arg(f).arg(bw)));
            }
        }
    }
}

void TestSpectralPrimitives::bandAverageOfCrossSpectra()
{
    const QVector<CrossSpectrum> records = {record(5, {100, 0}), record(7.5, {1, 1}), record(10, {3, -1}),
                                            record(12.5, {5, 3}), record(15, {100, 0})};
    const CrossSpectrum mean = bandAverageCrossSpectra(10, records, 0.5, false);
    QCOMPARE(mean.n, 2);
    QCOMPARE(mean.frequency, 10.0);
    QCOMPARE(mean.matrix[0][0], std::complex<double>(3, 1));
    QCOMPARE(mean.matrix[0][1], std::complex<double>(6, 2));
    QCOMPARE(mean.matrix[1][0], std::complex<double>(3, -1));
    QCOMPARE(mean.matrix[1][1], std::complex<double>(1, 0));

    const double w = bandWeight(10, 12.5, 0.5);
    const CrossSpectrum weighted = bandAverageCrossSpectra(10, records, 0.5, true);
    QVERIFY(std::abs(weighted.matrix[0][0] - (w * std::complex<double>(6, 4) + std::complex<double>(3, -1)) / (1 + 2 * w)) < 1e-15);

    // No record in the band gives zeros, not 0/0.
    const CrossSpectrum empty = bandAverageCrossSpectra(100, records, 0.5, true);
    QCOMPARE(empty.n, 2);
    QCOMPARE(empty.matrix[1][1], std::complex<double>(0, 0));
    QCOMPARE(bandAverageCrossSpectra(10, QVector<CrossSpectrum>(), 0.5, true).n, 0);
}

QTEST_GUILESS_MAIN(TestSpectralPrimitives)

#include "tst_spectralprimitives.moc"
