#include "SoundingMerge.h"

#include "SpectralPipeline.h"

#include <algorithm>
#include <cmath>

namespace {

template <typename Record, typename FrequencyOf>
bool hasFrequency(const QVector<Record>& records, double frequency, FrequencyOf frequencyOf)
{
    for (const Record& r : records) {
        if (std::fabs(frequencyOf(r) - frequency) < 1e-5)
            return true;
    }
    return false;
}

} // namespace

double combineValues(double x, double y)
{
    return ((x + y) / 2 + 2 / (1 / x + 1 / y)) / 2;
}

std::complex<double> combineValues(std::complex<double> x, std::complex<double> y)
{
    const std::complex<double> one(1.0, 0.0);
    const std::complex<double> two(2.0, 0.0);
    return ((x + y) / two + two / (one / x + one / y)) / two;
}

void smoothThreePoint(QVector<double>& v)
{
    const int n = v.size();
    if (n < 3)
        return;
    QVector<double> out(n);
    out[0] = (5 * v.at(0) + 2 * v.at(1) - v.at(2)) / 6;
    for (int i = 1; i <= n - 2; ++i)
        out[i] = (v.at(i - 1) + v.at(i) + v.at(i + 1)) / 3;
    out[n - 1] = (5 * v.at(n - 1) + 2 * v.at(n - 2) - v.at(n - 3)) / 6;
    v = out;
}

QVector<OneFreqImpedance> mergeImpedanceLists(QVector<OneFreqImpedance> a, QVector<OneFreqImpedance> b)
{
    if (b.isEmpty())
        return a;
    if (a.isEmpty())
        return b;

    const auto frequencyOf = [](const OneFreqImpedance& r) { return r.Frequency; };
    QVector<OneFreqImpedance> merged = a;
    for (const OneFreqImpedance& r : b) {
        if (!hasFrequency(merged, r.Frequency, frequencyOf))
            merged.append(r);
    }

    QVector<int> overlaps;
    for (int i = 0; i < a.size(); ++i) {
        for (const OneFreqImpedance& r : b) {
            if (std::fabs(a.at(i).Frequency - r.Frequency) < 1e-5) {
                merged[i].ApparentResis = combineValues(a.at(i).ApparentResis, r.ApparentResis);
                merged[i].Phase = combineValues(a.at(i).Phase, r.Phase);
                merged[i].MagneticPower = combineValues(a.at(i).MagneticPower, r.MagneticPower);
                overlaps.append(i);
            }
        }
    }
    for (int i = 0; i < a.size(); ++i)
        updateDepthAndTrueResis(merged[i]);

    std::stable_sort(merged.begin(), merged.end(),
                     [](const OneFreqImpedance& x, const OneFreqImpedance& y) { return x.Frequency < y.Frequency; });

    QVector<double> smoothed;
    smoothed.reserve(merged.size());
    for (const OneFreqImpedance& r : merged)
        smoothed.append(r.ApparentResis);
    smoothThreePoint(smoothed);

    QVector<int> positions;
    for (int i : overlaps) {
        for (int k = 0; k < merged.size(); ++k) {
            if (std::fabs(merged.at(k).Frequency - a.at(i).Frequency) < 1e-5) {
                merged[k].ApparentResis = smoothed.at(k);
                updateDepthAndTrueResis(merged[k]);
                positions.append(k);
            }
        }
    }

    if (!positions.isEmpty() && positions.size() <= 4) {
        std::sort(positions.begin(), positions.end());
        int neighbour = -1;
        if (positions.first() > 0)
            neighbour = positions.first() - 1;
        else if (positions.last() < merged.size() - 1)
            neighbour = positions.last() + 1;
        if (neighbour >= 0) {
            merged[neighbour].ApparentResis = smoothed.at(neighbour);
            updateDepthAndTrueResis(merged[neighbour]);
        }
    }
    return merged;
}

QVector<CrossSpectrum> mergeCrossSpectra(QVector<CrossSpectrum> a, QVector<CrossSpectrum> b)
{
    if (b.isEmpty())
        return a;
    if (a.isEmpty())
        return b;

    const auto frequencyOf = [](const CrossSpectrum& r) { return r.frequency; };
    QVector<CrossSpectrum> merged = a;
    for (const CrossSpectrum& r : b) {
        if (!hasFrequency(merged, r.frequency, frequencyOf))
            merged.append(r);
    }

    for (int i = 0; i < a.size(); ++i) {
        for (const CrossSpectrum& r : b) {
            if (std::fabs(a.at(i).frequency - r.frequency) >= 1e-7)
                continue;
            // Only 2 x 2 matrices are combined; anything smaller has nothing to combine.
            if (a.at(i).matrix.size() < 2 || r.matrix.size() < 2 || a.at(i).matrix.at(0).size() < 2
                || a.at(i).matrix.at(1).size() < 2 || r.matrix.at(0).size() < 2 || r.matrix.at(1).size() < 2)
                continue;
            for (int row = 0; row < 2; ++row) {
                for (int col = 0; col < 2; ++col)
                    merged[i].matrix[row][col] = combineValues(a.at(i).matrix.at(row).at(col), r.matrix.at(row).at(col));
            }
        }
    }

    std::stable_sort(merged.begin(), merged.end(),
                     [](const CrossSpectrum& x, const CrossSpectrum& y) { return x.frequency < y.frequency; });
    return merged;
}
