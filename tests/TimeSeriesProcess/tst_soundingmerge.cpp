#include "SoundingMerge.h"

#include <QtTest>

#include <cmath>

namespace {

OneFreqImpedance rec(double f, double rho, double phase = 45, double coh = 0.9, double power = 1)
{
    OneFreqImpedance r;
    r.Frequency = f;
    r.ApparentResis = rho;
    r.Phase = phase;
    r.Coh = coh;
    r.MagneticPower = power;
    return r;
}

double depthOf(const OneFreqImpedance& r)
{
    return 356 * std::sqrt(r.ApparentResis / r.Frequency);
}

CrossSpectrum cross(double f, std::complex<double> v)
{
    CrossSpectrum c;
    c.n = 2;
    c.frequency = f;
    c.matrix = {{v, v * 2.0}, {v * 3.0, v * 4.0}};
    return c;
}

} // namespace

class TestSoundingMerge : public QObject
{
    Q_OBJECT

private slots:
    void combineAndSmooth();
    void disjointListsMakeTheSortedUnion();
    void singleOverlapSmoothsItsNeighbour();
    void manyOverlapsSmoothOnlyThemselves();
    void crossSpectraCombineWithinTheTighterTolerance();
};

void TestSoundingMerge::combineAndSmooth()
{
    QCOMPARE(combineValues(7.0, 7.0), 7.0);
    QCOMPARE(combineValues(100.0, 400.0), 205.0);
    const std::complex<double> z = combineValues(std::complex<double>(100, 0), std::complex<double>(400, 0));
    QVERIFY(std::abs(z - std::complex<double>(205, 0)) < 1e-12);

    QVector<double> v{6, 12, 18, 6};
    smoothThreePoint(v);
    QCOMPARE(v, QVector<double>({(30.0 + 24 - 18) / 6, 12.0, 12.0, (30.0 + 36 - 12) / 6}));
    QVector<double> two{1, 5};
    smoothThreePoint(two);
    QCOMPARE(two, QVector<double>({1, 5}));
}

void TestSoundingMerge::disjointListsMakeTheSortedUnion()
{
    QVector<OneFreqImpedance> a{rec(100, 10), rec(10, 20)};
    const QVector<OneFreqImpedance> b{rec(50, 30), rec(1000, 40)};
    a[0].Depth = -1;
    QVector<OneFreqImpedance> bDepth = b;
    bDepth[0].Depth = -2;
    const QVector<OneFreqImpedance> merged = mergeImpedanceLists(a, bDepth);
    QCOMPARE(merged.size(), 4);
    QCOMPARE(merged[0].Frequency, 10.0);
    QCOMPARE(merged[1].Frequency, 50.0);
    QCOMPARE(merged[2].Frequency, 100.0);
    QCOMPARE(merged[3].Frequency, 1000.0);
    QCOMPARE(merged[2].ApparentResis, 10.0);
    QCOMPARE(merged[2].Depth, depthOf(merged[2]));  // a's records recomputed
    QCOMPARE(merged[1].Depth, -2.0);                 // b's records as they came

    QCOMPARE(mergeImpedanceLists(a, {}).size(), 2);
    QCOMPARE(mergeImpedanceLists({}, b).first().Frequency, 50.0);
}

void TestSoundingMerge::singleOverlapSmoothsItsNeighbour()
{
    // Overlap at merged position 5: positions 5 and 4 take the smoothed values.
    QVector<OneFreqImpedance> a;
    for (int i = 0; i < 6; ++i)
        a.append(rec(10 * (i + 1), 100 + 10 * i * i, 40, 0.5));
    QVector<OneFreqImpedance> b{rec(60, 400, 60, 0.99), rec(70, 500), rec(80, 300)};
    const QVector<OneFreqImpedance> merged = mergeImpedanceLists(a, b);
    QCOMPARE(merged.size(), 8);
    QVector<double> rho;
    for (int i = 0; i < 6; ++i)
        rho.append(a[i].ApparentResis);
    rho[5] = combineValues(a[5].ApparentResis, 400);
    rho << 500 << 300;
    QVector<double> smoothed = rho;
    smoothThreePoint(smoothed);
    for (int k = 0; k < 8; ++k) {
        const double expected = (k == 4 || k == 5) ? smoothed[k] : rho[k];
        QCOMPARE(merged[k].ApparentResis, expected);
        if (k < 6)  // the first list's records; the second list's keep what they had
            QCOMPARE(merged[k].Depth, depthOf(merged[k]));
    }
    QCOMPARE(merged[5].Coh, 0.5);  // the first list's coherence
    QCOMPARE(merged[5].Phase, combineValues(40, 60));

    // Overlap at position 0: position 1 follows instead.
    const QVector<OneFreqImpedance> low = mergeImpedanceLists({rec(1, 10), rec(2, 40)}, {rec(1, 90), rec(0.5, 20)});
    // sorted: 0.5 (b), 1 (overlap), 2
    QCOMPARE(low.size(), 3);
    QVector<double> lowRho{20, combineValues(10, 90), 40};
    QVector<double> lowSmoothed = lowRho;
    smoothThreePoint(lowSmoothed);
    QCOMPARE(low[1].ApparentResis, lowSmoothed[1]);
    QCOMPARE(low[0].ApparentResis, lowSmoothed[0]);
    QCOMPARE(low[2].ApparentResis, 40.0);

    const QVector<OneFreqImpedance> first = mergeImpedanceLists({rec(1, 10), rec(2, 40), rec(3, 50)}, {rec(1, 90)});
    QVector<double> firstRho{combineValues(10, 90), 40, 50};
    smoothThreePoint(firstRho);
    QCOMPARE(first[0].ApparentResis, firstRho[0]);
    QCOMPARE(first[1].ApparentResis, firstRho[1]);
    QCOMPARE(first[2].ApparentResis, 50.0);
}

void TestSoundingMerge::manyOverlapsSmoothOnlyThemselves()
{
    QVector<OneFreqImpedance> a, b;
    for (int i = 0; i < 8; ++i)
        a.append(rec(i + 1, 10 + i * i));
    for (int i = 2; i < 7; ++i)
        b.append(rec(i + 1, 50));
    const QVector<OneFreqImpedance> merged = mergeImpedanceLists(a, b);
    QVector<double> rho;
    for (int i = 0; i < 8; ++i)
        rho.append(i >= 2 && i < 7 ? combineValues(10 + i * i, 50) : 10 + i * i);
    QVector<double> smoothed = rho;
    smoothThreePoint(smoothed);
    for (int k = 0; k < 8; ++k)
        QCOMPARE(merged[k].ApparentResis, k >= 2 && k < 7 ? smoothed[k] : rho[k]);

    // Four overlaps still smooth the neighbour below the first of them.
    b.removeLast();
    const QVector<OneFreqImpedance> four = mergeImpedanceLists(a, b);
    rho[6] = 10 + 6 * 6;
    smoothed = rho;
    smoothThreePoint(smoothed);
    for (int k = 0; k < 8; ++k) {
        QCOMPARE(four[k].ApparentResis, k >= 1 && k < 6 ? smoothed[k] : rho[k]);
        QCOMPARE(four[k].Depth, depthOf(four[k]));
    }
}

void TestSoundingMerge::crossSpectraCombineWithinTheTighterTolerance()
{
    const QVector<CrossSpectrum> a{cross(100, {4, 1}), cross(10, {1, 0})};
    const QVector<CrossSpectrum> b{cross(100, {2, -1}), cross(10 + 5e-6, {9, 9}), cross(1, {7, 0})};
    const QVector<CrossSpectrum> merged = mergeCrossSpectra(a, b);
    // 10 + 5e-6 is neither new (within 1e-5) nor combined (not within 1e-7).
    QCOMPARE(merged.size(), 3);
    QCOMPARE(merged[0].frequency, 1.0);
    QCOMPARE(merged[1].frequency, 10.0);
    QVERIFY(merged[1].matrix == a[1].matrix);
    QCOMPARE(merged[2].frequency, 100.0);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 2; ++c) {
            const auto expected = combineValues(a[0].matrix[r][c], b[0].matrix[r][c]);
            QVERIFY(std::abs(merged[2].matrix[r][c] - expected) < 1e-12);
        }
    }
    QCOMPARE(mergeCrossSpectra(a, {}).size(), 2);
}

QTEST_GUILESS_MAIN(TestSoundingMerge)
#include "tst_soundingmerge.moc"
