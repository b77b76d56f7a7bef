#include "PointCalculation.h"

#include <QtTest>
#include <cmath>

class TestPointCalculation : public QObject
{
    Q_OBJECT

private slots:
    void depthFromBandMean();
    void depthUnchangedWithoutBand();
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

QTEST_GUILESS_MAIN(TestPointCalculation)
#include "tst_pointcalculation.moc"
