#include "AppConstants.h"
#include "TimeSeriesProcess.h"

#include <QtTest>

#include <cmath>

class TestConstants : public QObject
{
    Q_OBJECT
private slots:
    void standardFrequenciesFollowTheDecadeRule();
    void bandListsAreParallel();
};

// Each entry is 10^(k/10 - 4) to three significant digits; only entry 64 is 248, not 251.
void TestConstants::standardFrequenciesFollowTheDecadeRule()
{
    QCOMPARE(StandardFrequencies.size(), 104);
    for (int k = 0; k < 104; ++k) {
        const double exact = std::pow(10.0, k / 10.0 - 4.0);
        const double scale = std::pow(10.0, std::floor(std::log10(exact)) - 2.0);
        double expected = std::round(exact / scale) * scale;
        if (k == 64)
            expected = 248.0;
        QVERIFY2(std::fabs(StandardFrequencies[k] - expected) <= expected * 1e-12,
                 qPrintable(QStringLiteral("entry %1: %2 != %3").arg(k).arg(StandardFrequencies[k]).arg(expected)));
        if (k > 0)
            QVERIFY(StandardFrequencies[k] > StandardFrequencies[k - 1]);
    }
    QCOMPARE(StandardFrequencies.first(), 0.0001);
    QCOMPARE(StandardFrequencies.last(), 2000000.0);
    QCOMPARE(StandardFrequencies[63], 200.0);
    QCOMPARE(StandardFrequencies[64], 248.0);
    QCOMPARE(StandardFrequencies[65], 316.0);
    QCOMPARE(StandardFrequencies[44], 2.51);
    QCOMPARE(StandardFrequencies[94], 251000.0);
}

void TestConstants::bandListsAreParallel()
{
    QCOMPARE(ModelName, QStringLiteral("Varn28"));
    QCOMPARE(GainList.size(), 5);
    QCOMPARE(*std::max_element(GainList.begin(), GainList.end()), 160);
    QCOMPARE(SampleRateList.size(), BandNameList.size());
    QCOMPARE(SampleRateList.size(), BandRangeList.size());
    const int m = SampleRateList.indexOf(7800);
    QCOMPARE(m, 2);
    QCOMPARE(BandNameList.at(m), QStringLiteral("M Band"));
    QCOMPARE(BandRangeList.at(SampleRateList.indexOf(250000)), QStringLiteral("100kHz ~ 794Hz"));
    QCOMPARE(SampleRateList.indexOf(1000), -1);
}

QTEST_APPLESS_MAIN(TestConstants)
#include "tst_constants.moc"
