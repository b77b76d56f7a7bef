#include "StackingEstimators.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

using C = std::complex<double>;

CrossSpectrum scalar(double frequency, C value)
{
    CrossSpectrum r;
    r.n = 1;
    r.frequency = frequency;
    r.matrix = {{value}};
    return r;
}

CrossSpectrum square(double frequency, C a, C b, C c, C d)
{
    CrossSpectrum r;
    r.n = 2;
    r.frequency = frequency;
    r.matrix = {{a, b}, {c, d}};
    return r;
}

bool near(const CrossSpectrum& a, const CrossSpectrum& b, double tolerance = 1e-12)
{
    if (a.n != b.n || a.frequency != b.frequency || a.matrix.size() != b.matrix.size())
        return false;
    for (int i = 0; i < a.matrix.size(); ++i) {
        if (a.matrix[i].size() != b.matrix[i].size())
            return false;
        for (int j = 0; j < a.matrix[i].size(); ++j) {
            if (std::abs(a.matrix[i][j] - b.matrix[i][j]) > tolerance)
                return false;
        }
    }
    return true;
}

const double NaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

class TestStackingEstimators : public QObject
{
    Q_OBJECT
private slots:
    void identicalBlocksGiveThatBlock();
    void meanLeavesOutUnusableRecords();
    void robustAndMedianLeaveOutUnusableRecords();
    void medianStackReplacesInTurn();
    void huberStackWeightsOutliers();
};

void TestStackingEstimators::identicalBlocksGiveThatBlock()
{
    const QVector<CrossSpectrum> block = {square(1.5, {2, 1}, {0.3, -7}, {0.3, 7}, {9, 0}),
                                          square(2.5, {1e-3, 0}, {-4, 4}, {-4, -4}, {0.1, 0})};
    const QList<QVector<CrossSpectrum> > blocks = {block, block, block};
    for (const QVector<CrossSpectrum>& stacked : {stackMean(blocks), stackRobust(blocks, 5), stackMedian(blocks)}) {
        QCOMPARE(stacked.size(), 2);
        QVERIFY(near(stacked.at(0), block.at(0)));
        QVERIFY(near(stacked.at(1), block.at(1)));
    }
    QVERIFY(stackMean({}).isEmpty());
    QVERIFY(stackMedian({QVector<CrossSpectrum>(), block}).isEmpty());
    QVERIFY(stackRobust({}, 5).isEmpty());
}

void TestStackingEstimators::meanLeavesOutUnusableRecords()
{
    const QList<QVector<CrossSpectrum> > blocks = {
        {scalar(1, {1, 2}), scalar(2, {NaN, 0}), square(3, {1, 0}, {2, 0}, {3, 0}, {4, 0})},
        {scalar(1, {0, NaN}), scalar(2, {5, 5}), square(3, {3, 0}, {2, 0}, {1, 0}, {0, NaN})},
        {scalar(1, {3, -4}), scalar(2, {NaN, NaN}), square(3, {5, 0}, {0, 2}, {0, 0}, {2, 0})},
    };
    const QVector<CrossSpectrum> mean = stackMean(blocks);
    QCOMPARE(mean.size(), 3);
    QVERIFY(near(mean.at(0), scalar(1, {2, -1})));  // blocks 0 and 2, divided by 2
    QVERIFY(near(mean.at(1), scalar(2, {5, 5})));
    QVERIFY(near(mean.at(2), square(3, {3, 0}, {1, 1}, {1.5, 0}, {3, 0})));

    // No usable record: a zero matrix with the first block's count and frequency.
    const QVector<CrossSpectrum> none = stackMean({{square(7, {NaN, 0}, 0, 0, 0)}, {square(7, 0, {0, NaN}, 0, 0)}});
    QVERIFY(near(none.at(0), square(7, 0, 0, 0, 0)));
}

void TestStackingEstimators::robustAndMedianLeaveOutUnusableRecords()
{
    const QList<QVector<CrossSpectrum> > blocks = {
        {scalar(4, {1, 1}), scalar(8, {NaN, 0})},
        {scalar(4, {NaN, 1}), scalar(8, {0, NaN})},
        {scalar(4, {5, -3}), scalar(8, {NaN, NaN})},
    };
    // Two usable records at 4 Hz: the median stack gives the second, the robust one the mean.
    const QVector<CrossSpectrum> median = stackMedian(blocks);
    QVERIFY(near(median.at(0), scalar(4, {5, -3})));
    const QVector<CrossSpectrum> robust = stackRobust(blocks, 1);
    QVERIFY(near(robust.at(0), scalar(4, {3, -1})));
    // None usable at 8 Hz: zeros, like the mean.
    QVERIFY(near(median.at(1), scalar(8, 0)));
    QVERIFY(near(robust.at(1), scalar(8, 0)));
}

void TestStackingEstimators::medianStackReplacesInTurn()
{
    // Real parts 1, 5, 2: 3.5 (of 5, 2), 2.75 (of 3.5, 2), 3.125 (of 3.5, 2.75), then 3.125.
    // Imaginary parts 4, 0, -2: -1, -1.5, -1.25, then -1.25.
    const CrossSpectrum three = medianStack({scalar(6, {1, 4}), scalar(6, {5, 0}), scalar(6, {2, -2})});
    QCOMPARE(three.n, 1);
    QCOMPARE(three.frequency, 6.0);
    QCOMPARE(three.matrix[0][0], C(3.125, -1.25));

    // Two records: the first takes the second's value, so the second's value is the result.
    const CrossSpectrum two = medianStack({square(2, {1, 1}, {2, 2}, {3, 3}, {4, 4}),
                                           square(2, {-1, 0}, {7, 1}, {0, 0}, {4, 9})});
    QVERIFY(near(two, square(2, {-1, 0}, {7, 1}, {0, 0}, {4, 9})));

    // Elements are estimated independently of each other.
    const CrossSpectrum mixed = medianStack({square(1, {1, 0}, {0, 0}, {0, 0}, {10, 0}),
                                             square(1, {5, 0}, {0, 0}, {0, 0}, {10, 0}),
                                             square(1, {2, 0}, {0, 0}, {0, 0}, {-10, 0})});
    QCOMPARE(mixed.matrix[0][0], C(3.125, 0));
    QCOMPARE(mixed.matrix[1][1], C(-2.5, 0));  // 10, 10, -10: 0, -5, -2.5, then -2.5

    QVERIFY(near(medianStack({scalar(3, {2, 5})}), scalar(3, {2, 5})));
    QCOMPARE(medianStack({}).n, 0);
}

void TestStackingEstimators::huberStackWeightsOutliers()
{
    const QVector<CrossSpectrum> outlier = {scalar(1, 0), scalar(1, 0), scalar(1, 30)};
    // One iteration: the plain mean.
    QVERIFY(near(huberStack(outlier, 1), scalar(1, 10)));
    QVERIFY(near(huberStack(outlier, 0), scalar(1, 10)));
    // Residuals 10, 10, 20 give weights 0.15, 0.15, 0.075; mean over 3 records: 2.25 / 3.
    QVERIFY(near(huberStack(outlier, 2), scalar(1, 0.75)));
    // Weighted residuals 0.75, 0.75, 1.5 are all within 1.5: weights back to 1.
    QVERIFY(near(huberStack(outlier, 3), scalar(1, 10)));

    // The residual is the mean over all n * n elements: 10 / 4, 10 / 4, 20 / 4 give weights
    // 0.6, 0.6, 0.3 and the next mean 0.3 * 30 / 3.
    const QVector<CrossSpectrum> matrices = {square(2, 0, 0, 0, 0), square(2, 0, 0, 0, 0), square(2, 30, 0, 0, 0)};
    QVERIFY(near(huberStack(matrices, 2), square(2, 3, 0, 0, 0)));

    // Small residuals keep every weight at 1: the plain mean after 5 iterations.
    const QVector<CrossSpectrum> close = {scalar(2, {1, 1}), scalar(2, {2, 0}), scalar(2, {1.5, -1})};
    QVERIFY(near(huberStack(close, 5), scalar(2, {1.5, 0})));
    QCOMPARE(huberStack({}, 5).n, 0);
}

QTEST_GUILESS_MAIN(TestStackingEstimators)

#include "tst_stackingestimators.moc"
