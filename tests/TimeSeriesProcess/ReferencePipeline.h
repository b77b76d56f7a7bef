#pragma once
// The pipeline of one channel pair evaluated straight from its formulas: every block
// tapers, transforms and averages each target with freshly computed band weights and
// resamples the calibrations again, and every block is detrended here from the formulas
// rather than by the reader. The library must give exactly these results.

#include "ChannelDataFile.h"
#include "SpectralPipeline.h"
#include "StackingEstimators.h"
#include "StandardFrequencies.h"

#include <QList>

#include <cmath>

namespace reference {

// Mean and least-squares line over the abscissa -1 .. +1 removed, term by term.
inline QVector<double> detrendStraight(const QVector<double>& y)
{
    const int n = y.size();
    double sum = 0;
    for (int i = 0; i < n; ++i)
        sum += y.at(i);
    const double mean = sum / n;
    double sxy = 0;
    double sxx = 0;
    for (int i = 0; i < n; ++i) {
        const double x = 2.0 * i / (n - 1) - 1.0;
        sxy += y.at(i) * x;
        sxx += x * x;
    }
    const double slope = sxy / sxx;
    QVector<double> result(n);
    for (int i = 0; i < n; ++i) {
        const double x = 2.0 * i / (n - 1) - 1.0;
        result[i] = y.at(i) - mean - slope * x;
    }
    return result;
}

inline FreqImpData realProcess(const QStringList& files, const QMap<int, QVector<CalibrationData> >& boardCal,
                               const QMap<int, QVector<CalibrationData> >& sensorCal, const QVector<double>& factors,
                               double fs, double duration, bool sensorCalAll, int N, int maxBlocks, bool detrend,
                               double bw, const QVector<int>& excluded)
{
    const QVector<double> targets = logSpacedFrequencies(0.01, 100000, 70);
    const int blocks = int(duration * fs / N - excluded.size());
    FreqImpData result;
    if (maxBlocks <= 0 || blocks <= 0)
        return result;
    double fmin = 0;
    double fmax = 0;
    QList<QVector<CrossSpectrum> > processed;
    for (int b = 0; b < blocks; ++b) {
        bool ok = false;
        QList<QVector<double> > samples = readChannelBlocks(files, N, b, &ok, false, false);
        if (excluded.contains(b) || !ok)
            continue;
        if (detrend) {
            for (QVector<double>& channel : samples)
                channel = detrendStraight(channel);
        }
        QVector<QVector<SpectrumPoint> > bands;
        for (int c = 0; c < files.size(); ++c) {
            const bool even = c % 2 == 0;
            const QVector<double> tapered = applyTaper(samples.at(c), N, even, even ? factors.at(c) : 1.0);
            QVector<SpectrumPoint> spectrum = amplitudeSpectrum(tapered, N, fs);
            spectrum = limitSpectrumBand(spectrum, fs, N, fmin, fmax);
            const QVector<double> inRange = selectInRange(targets, fmin, fmax);
            QVector<SpectrumPoint> band(inRange.size());
            for (int k = 0; k < inRange.size(); ++k)
                band[k] = bandAverageSpectrum(inRange.at(k), spectrum, bw, true);
            band = divideByCalibration(band, resampleCalibration(boardCal.value(c), inRange));
            if (!even || sensorCalAll)
                band = divideByCalibration(band, resampleCalibration(sensorCal.value(c), inRange));
            bands.append(band);
        }
        QVector<CrossSpectrum> blockResult;
        for (int k = 0; k < bands.first().size(); ++k) {
            QVector<SpectrumPoint> points;
            for (const QVector<SpectrumPoint>& band : bands)
                points.append(band.at(k));
            blockResult.append(crossSpectralMatrix(files.size(), points));
        }
        processed.append(blockResult);
        if (processed.size() == maxBlocks)
            break;
    }

    QVector<QVector<OneFreqImpedance> > stacks;
    QVector<QVector<CrossSpectrum> > stackSpectra;
    for (int t = 0; t + 3 <= processed.size(); t += 3) {
        const QVector<CrossSpectrum> stacked = stackMean({processed.at(t), processed.at(t + 1), processed.at(t + 2)});
        QVector<CrossSpectrum> spectra;
        QVector<OneFreqImpedance> records;
        for (double s : selectInRange(StandardFrequencies, fmin, fmax)) {
            const CrossSpectrum spectrum = bandAverageCrossSpectra(s, stacked, bw, true);
            OneFreqImpedance record = calcResistivityPhase(spectrum);
            record.MagneticPower = spectrum.matrix.at(1).at(1).real();
            records.append(record);
            spectra.append(spectrum);
        }
        repairNotchFrequencies(records);
        stacks.append(records);
        stackSpectra.append(spectra);
    }
    if (stacks.isEmpty() || stacks.first().isEmpty())
        return result;
    const int S = stacks.size();
    for (int k = 0; k < stacks.first().size(); ++k) {
        QVector<double> rho, phase, coh, power;
        for (const QVector<OneFreqImpedance>& stack : stacks) {
            rho.append(stack.at(k).ApparentResis);
            phase.append(stack.at(k).Phase);
            coh.append(stack.at(k).Coh);
            power.append(stack.at(k).MagneticPower);
        }
        OneFreqImpedance record;
        record.Frequency = stacks.first().at(k).Frequency;
        record.ApparentResis = median(rho);
        record.Phase = median(phase);
        record.Coh = median(coh);
        record.MagneticPower = median(power);
        record.Depth = 356 * std::sqrt(record.ApparentResis / record.Frequency);
        record.TrueResis = (90 / record.Phase - 1) * record.ApparentResis;
        result.impedance.append(record);

        CrossSpectrum sum = stackSpectra.first().at(k);
        for (int i = 1; i < S; ++i) {
            for (int r = 0; r < sum.n; ++r) {
                for (int c = 0; c < sum.n; ++c)
                    sum.matrix[r][c] += stackSpectra.at(i).at(k).matrix.at(r).at(c);
            }
        }
        for (int r = 0; r < sum.n; ++r) {
            for (int c = 0; c < sum.n; ++c)
                sum.matrix[r][c] *= 1.0 / S;
        }
        result.crossPower.append(sum);
    }
    return result;
}

} // namespace reference
