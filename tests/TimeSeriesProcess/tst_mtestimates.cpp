#include "MTEstimates.h"
#include "StackingEstimators.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

namespace {

using C = std::complex<double>;

const double Pi = 3.141592653589793;
// The phase is converted with pi to seven decimals, so degrees come out scaled by this.
const double PhaseScale = Pi / 3.1415926;

CrossSpectrum matrix(double frequency, C s00, C s01, C s11)
{
    CrossSpectrum r;
    r.n = 2;
    r.frequency = frequency;
    r.matrix = {{s00, s01}, {std::conj(s01), s11}};
    return r;
}

SpectrumPoint point(double frequency, C value)
{
    return SpectrumPoint{frequency, value.real(), value.imag(), std::arg(value), std::abs(value)};
}

} // namespace

class TestMTEstimates : public QObject
{
    Q_OBJECT
private slots:
    void proportionalChannels_data();
    void proportionalChannels();
    void workedValues();
    void phaseFoldsIntoTheFirstQuadrant();
};

void TestMTEstimates::proportionalChannels_data()
{
    QTest::addColumn<double>("modulus");
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("phase");
    QTest::newRow("45") << 10.0 << 45.0 << 45.0 * PhaseScale;
    QTest::newRow("-30") << 3.0 << -30.0 << 30.0 * PhaseScale;
    QTest::newRow("120") << 0.5 << 120.0 << 180 - 120.0 * PhaseScale;
    QTest::newRow("-120") << 70.0 << -120.0 << -120.0 * PhaseScale + 180;
    QTest::newRow("0") << 2.0 << 0.0 << 0.0;
}

// E = k H for a fixed complex k, through cross matrices of several blocks, stacking and a
// band average: resistivity |k|^2 / (5 f), coherence 1, phase the folded angle of k.
void TestMTEstimates::proportionalChannels()
{
    QFETCH(double, modulus);
    QFETCH(double, degrees);
    QFETCH(double, phase);
    const C k = std::polar(modulus, degrees * Pi / 180);
    const double f = 10;

    QRandomGenerator rng(17);
    QList<QVector<CrossSpectrum> > blocks;
    for (int b = 0; b < 3; ++b) {
        QVector<CrossSpectrum> block;
        for (double freq : {8.0, 9.0, 10.0, 11.0, 12.0}) {
            const C h(rng.generateDouble() * 2 - 1, rng.generateDouble() * 2 - 1);
            block.append(crossSpectralMatrix(2, {point(freq, k * h), point(freq, h)}));
        }
        blocks.append(block);
    }
    // Coherence 1 holds per record; after averaging only because E/H is the same everywhere.
    const CrossSpectrum averaged = bandAverageCrossSpectra(f, stackMean(blocks), 0.5, true);
    const OneFreqImpedance r = calcResistivityPhase(averaged);

    QCOMPARE(r.Frequency, f);
    QVERIFY(std::fabs(r.ApparentResis / (modulus * modulus / (5 * f)) - 1) < 1e-12);
    QVERIFY(std::fabs(r.Coh - 1) < 1e-12);
    QVERIFY2(std::fabs(r.Phase - phase) < 1e-9, qPrintable(QString::number(r.Phase, 'g', 17)));
    QCOMPARE(r.TrueResis, 0.0);
    QCOMPARE(r.Depth, 0.0);
    QCOMPARE(r.MagneticPower, 0.0);
}

void TestMTEstimates::workedValues()
{
    QCOMPARE(calcResistivityPhase(matrix(10, 50, 1, 1)).ApparentResis, 1.0);
    QCOMPARE(calcResistivityPhase(matrix(10, 50, 1, 1)).Phase, 0.0);

    // Purely imaginary S01: just above 90, folded to just below.
    const OneFreqImpedance up = calcResistivityPhase(matrix(1, 4, C(0, 2), 1));
    QCOMPARE(up.Phase, std::fabs(90 * PhaseScale - 180));
    QVERIFY(up.Phase < 90 && up.Phase > 89.999998);
    QCOMPARE(up.Coh, 1.0);

    // Uncorrelated part: |S01|^2 / (S00 S11) = 1 / 4.
    QCOMPARE(calcResistivityPhase(matrix(1, 4, 1, 1)).Coh, 0.5);
}

void TestMTEstimates::phaseFoldsIntoTheFirstQuadrant()
{
    // E = -k H: the angle is 180 or -180 degrees by the sign of a zero imaginary part, or
    // a hair beyond -180 after the seven-decimal pi. Either way a phase of almost 0.
    const double nearZero = Pi * 180 / 3.1415926 - 180;
    for (const C s01 : {C(-2, 0.0), C(-2, -0.0), C(-2, -1e-12), C(-2, 1e-12)}) {
        const OneFreqImpedance r = calcResistivityPhase(matrix(5, 4, s01, 1));
        QVERIFY2(r.Phase >= 0 && r.Phase <= 90, qPrintable(QString::number(r.Phase)));
        QVERIFY(r.Phase < 1e-5);
    }
    QCOMPARE(calcResistivityPhase(matrix(5, 4, C(-2, -0.0), 1)).Phase, nearZero);
    QCOMPARE(calcResistivityPhase(matrix(5, 4, C(-2, 0.0), 1)).Phase, nearZero);

    // Every quadrant lands in 0 .. 90.
    for (int degrees = -179; degrees <= 180; degrees += 7) {
        const OneFreqImpedance r = calcResistivityPhase(matrix(5, 4, std::polar(2.0, degrees * Pi / 180), 1));
        QVERIFY2(r.Phase >= 0 && r.Phase <= 90, qPrintable(QString::number(degrees)));
    }
    QCOMPARE(calcResistivityPhase(matrix(5, 4, C(-1, -1), 1)).Phase, -135 * PhaseScale + 180);
    QCOMPARE(calcResistivityPhase(matrix(5, 4, C(1, -1), 1)).Phase, 45 * PhaseScale);
}

QTEST_GUILESS_MAIN(TestMTEstimates)

#include "tst_mtestimates.moc"
