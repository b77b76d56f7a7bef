#include "SpectralPipeline.h"

#include "ChannelDataFile.h"
#include "StackingEstimators.h"
#include "StandardFrequencies.h"
#include "ffft/FFTReal.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <map>
#include <future>
#include <memory>
#include <tuple>

namespace {

const double NotchFrequencies[] = {2000, 2510, 3160, 3980, 39.8, 50.1, 63.1, 79.4};

// Everything of a block's spectral work that depends only on the sample rate, the block
// length and the bandwidth: the taper, the kept bins, the target frequencies inside the
// band and, per target, its bins and band weights in scan order. Built once per rate and
// shared read-only by every pipeline.
struct BandPlan
{
    int N = 0;
    double fs = 0;
    double fmin = 0;
    double fmax = 0;
    QVector<double> window;      // half-cosine taper factor per sample
    int firstBin = 1;            // FFT bin of the first kept spectral point
    int keptCount = 0;
    QVector<double> inRange;     // target frequencies inside the band
    QVector<int> bandStart;      // per target: first kept point in its band
    QVector<int> bandOffset;     // per target: where its weights start in `weights`
    QVector<int> bandCount;
    QVector<double> weights;
    QVector<double> weightSums;  // summed in scan order, as the averaging sums them
};

const QVector<double>& targetFrequencies()
{
    static const QVector<double> targets = logSpacedFrequencies(0.01, 100000, 70);
    return targets;
}

std::shared_ptr<const BandPlan> buildPlan(double fs, int N, double bw)
{
    auto plan = std::make_shared<BandPlan>();
    plan->N = N;
    plan->fs = fs;
    const double pi = 3.141592653589793;
    plan->window.resize(N);
    for (int i = 0; i < N; ++i)
        plan->window[i] = 0.5 + 0.5 * std::cos(i * pi / N);

    // The bin frequencies exactly as the amplitude spectrum computes them.
    const int half = N / 2;
    QVector<SpectrumPoint> bins(half);
    for (int k = 1; k <= half; ++k)
        bins[k - 1].frequency = k * fs / N;
    const QVector<SpectrumPoint> kept = limitSpectrumBand(bins, fs, N, plan->fmin, plan->fmax);
    plan->keptCount = kept.size();
    plan->firstBin = half - kept.size() + 1;
    plan->inRange = selectInRange(targetFrequencies(), plan->fmin, plan->fmax);

    const int targets = plan->inRange.size();
    plan->bandStart.resize(targets);
    plan->bandOffset.resize(targets);
    plan->bandCount.resize(targets);
    plan->weightSums.resize(targets);
    for (int t = 0; t < targets; ++t) {
        const double f = plan->inRange.at(t);
        const double lower = f * (1 - bw);
        const double upper = f * (1 + bw);
        const auto first = std::upper_bound(kept.constBegin(), kept.constEnd(), lower,
                                            [](double value, const SpectrumPoint& p) { return value < p.frequency; });
        const auto last = std::lower_bound(first, kept.constEnd(), upper,
                                           [](const SpectrumPoint& p, double value) { return p.frequency < value; });
        plan->bandStart[t] = int(first - kept.constBegin());
        plan->bandOffset[t] = plan->weights.size();
        plan->bandCount[t] = int(last - first);
        double W = 0;
        for (auto it = first; it < last; ++it) {
            const double w = bandWeight(f, it->frequency, bw);
            W += w;
            plan->weights.append(w);
        }
        plan->weightSums[t] = W;
    }
    return plan;
}

std::shared_ptr<const BandPlan> bandPlan(double fs, int N, double bw)
{
    using Pending = std::shared_future<std::shared_ptr<const BandPlan> >;
    static QMutex mutex;
    static std::map<std::tuple<double, int, double>, Pending> plans;
    const auto key = std::make_tuple(fs, N, bw);
    std::promise<std::shared_ptr<const BandPlan> > promise;
    Pending pending;
    {
        QMutexLocker locker(&mutex);
        auto found = plans.find(key);
        if (found != plans.end()) {
            pending = found->second;
        } else {
            // Only a handful of rates exist; a caller cycling through many starts afresh.
            if (plans.size() >= 32)
                plans.clear();
            pending = promise.get_future().share();
            plans.emplace(key, pending);
            locker.unlock();
            // Built outside the lock: other rates' plans are built at the same time, and the
            // pipelines of this rate wait for this one.
            promise.set_value(buildPlan(fs, N, bw));
        }
    }
    return pending.get();
}

// Adds the weighted bins from..to - 1 of one band to sum (real, imaginary), in bin order.
inline void addBand(const double* w, const double* b, int from, int to, double sum[2])
{
#if defined(__SSE2__)
    __m128d a = _mm_loadu_pd(sum);
    for (int i = from; i < to; ++i)
        a = _mm_add_pd(a, _mm_mul_pd(_mm_set1_pd(w[i]), _mm_loadu_pd(b + 2 * i)));
    _mm_storeu_pd(sum, a);
#else
    double re = sum[0];
    double im = sum[1];
    for (int i = from; i < to; ++i) {
        re += w[i] * b[2 * i];
        im += w[i] * b[2 * i + 1];
    }
    sum[0] = re;
    sum[1] = im;
#endif
}

// The weighted band average of every target of the plan from one channel block: taper,
// real FFT, scaling and averaging with the plan's weights, summed in the same order as
// a scan of the band would sum them.
QVector<SpectrumPoint> bandSpectrum(const BandPlan& plan, ffft::FFTReal<double>& fft, QVector<double>& tapered,
                                    QVector<double>& transformed, const QVector<double>& samples, double scale,
                                    QVector<double>& spectrum)
{
    const int N = plan.N;
    const double* x = samples.constData();
    const double* window = plan.window.constData();
    double* y = tapered.data();
    for (int i = 0; i < N; ++i)
        y[i] = x[i] * scale * window[i];
    fft.transform(transformed.data(), tapered.constData());
    const double* F = transformed.constData();

    const double s = std::sqrt(2 / (N * plan.fs));
    const int half = N / 2;
    // Real and imaginary parts side by side, so one load fetches a bin.
    double* bins = spectrum.data();
    for (int j = 0; j < plan.keptCount; ++j) {
        const int k = plan.firstBin + j;
        bins[2 * j] = F[k] * s;
        bins[2 * j + 1] = k < half ? -F[half + k] * s : 0.0;
    }

    const int targets = plan.inRange.size();
    QVector<SpectrumPoint> band(targets);
    const double* weights = plan.weights.constData();
    const auto store = [&](int t, double sumRe, double sumIm) {
        const double W = plan.weightSums.at(t);
        if (W != 0) {
            sumRe /= W;
            sumIm /= W;
        }
        // Phase and amplitude are left out: only the complex value goes on to the matrices.
        band[t] = SpectrumPoint{plan.inRange.at(t), sumRe, sumIm, 0, 0};
    };
    // Each target's sums run over its bins in ascending order, exactly as a scan would add
    // them; four targets go side by side only so that their additions overlap in time, and
    // a bin's real and imaginary parts share one (lane-wise, so equally exact) operation.
    // The few targets beyond a multiple of four are the lowest, with the fewest bins.
    int t = 0;
    for (; t < targets % 4; ++t) {
        double sum[2] = {0, 0};
        addBand(weights + plan.bandOffset.at(t), bins + 2 * plan.bandStart.at(t), 0, plan.bandCount.at(t), sum);
        store(t, sum[0], sum[1]);
    }
    for (; t + 4 <= targets; t += 4) {
        const double* w[4];
        const double* b[4];
        int count[4];
        for (int q = 0; q < 4; ++q) {
            w[q] = weights + plan.bandOffset.at(t + q);
            b[q] = bins + 2 * plan.bandStart.at(t + q);
            count[q] = plan.bandCount.at(t + q);
        }
        const int common = std::min(std::min(count[0], count[1]), std::min(count[2], count[3]));
        double sum[4][2];
#if defined(__SSE2__)
        __m128d a0 = _mm_setzero_pd(), a1 = _mm_setzero_pd(), a2 = _mm_setzero_pd(), a3 = _mm_setzero_pd();
        for (int i = 0; i < common; ++i) {
            a0 = _mm_add_pd(a0, _mm_mul_pd(_mm_set1_pd(w[0][i]), _mm_loadu_pd(b[0] + 2 * i)));
            a1 = _mm_add_pd(a1, _mm_mul_pd(_mm_set1_pd(w[1][i]), _mm_loadu_pd(b[1] + 2 * i)));
            a2 = _mm_add_pd(a2, _mm_mul_pd(_mm_set1_pd(w[2][i]), _mm_loadu_pd(b[2] + 2 * i)));
            a3 = _mm_add_pd(a3, _mm_mul_pd(_mm_set1_pd(w[3][i]), _mm_loadu_pd(b[3] + 2 * i)));
        }
        _mm_storeu_pd(sum[0], a0);
        _mm_storeu_pd(sum[1], a1);
        _mm_storeu_pd(sum[2], a2);
        _mm_storeu_pd(sum[3], a3);
#else
        for (int q = 0; q < 4; ++q)
            sum[q][0] = sum[q][1] = 0;
        for (int i = 0; i < common; ++i) {
            for (int q = 0; q < 4; ++q) {
                sum[q][0] += w[q][i] * b[q][2 * i];
                sum[q][1] += w[q][i] * b[q][2 * i + 1];
            }
        }
#endif
        for (int q = 0; q < 4; ++q) {
            addBand(w[q], b[q], common, count[q], sum[q]);
            store(t + q, sum[q][0], sum[q][1]);
        }
    }
    return band;
}

// The calibrated complex values exactly as divideByCalibration computes them, in place and
// without the phase and amplitude that nothing downstream reads.
void divideInPlace(QVector<SpectrumPoint>& band, const QVector<CalibrationData>& calibration)
{
    if (band.size() != calibration.size())
        return;
    for (int i = 0; i < band.size(); ++i) {
        SpectrumPoint& p = band[i];
        const CalibrationData& c = calibration.at(i);
        const std::complex<double> q = std::complex<double>(p.re, p.im) / std::complex<double>(c.re, c.im);
        p.re = q.real();
        p.im = q.imag();
    }
}

// A calibration that would divide by zero or carry NaN or inf into the results.
bool isUsableCalibration(const QVector<CalibrationData>& table)
{
    for (const CalibrationData& point : table) {
        if (!std::isfinite(point.re) || !std::isfinite(point.im) || (point.re == 0 && point.im == 0))
            return false;
    }
    return true;
}

// The measured values; TrueResis is left to its formula (a phase of exactly 0 makes it inf).
bool isFiniteRecord(const OneFreqImpedance& r)
{
    return std::isfinite(r.Frequency) && std::isfinite(r.Coh) && std::isfinite(r.ApparentResis)
           && std::isfinite(r.Phase) && std::isfinite(r.Depth) && std::isfinite(r.MagneticPower);
}

QString channelName(const QString& path)
{
    const QRegularExpression pattern(QStringLiteral("CH(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(QFileInfo(path).fileName());
    const quint8 channel = match.hasMatch() ? quint8(match.captured(1).toInt()) : 0;
    switch (channel) {
    case 1: return QStringLiteral("Hx");
    case 2: return QStringLiteral("Hy");
    case 3: return QStringLiteral("Hz");
    case 4: return QStringLiteral("E0");
    case 5: return QStringLiteral("E1");
    case 6: return QStringLiteral("E2");
    default: return QStringLiteral("Unknown");
    }
}

QString bandFolder(quint32 rate)
{
    if (rate > 4000)
        return QStringLiteral("/High/");
    if (rate <= 100)
        return QStringLiteral("/Low/");
    return QStringLiteral("/Mid/");
}

} // namespace

bool isNotchFrequency(double frequency)
{
    for (double notch : NotchFrequencies) {
        if (std::fabs(frequency - notch) < 1e-5)
            return true;
    }
    return false;
}

void updateDepthAndTrueResis(OneFreqImpedance& record)
{
    record.Depth = 356 * std::sqrt(record.ApparentResis / record.Frequency);
    record.TrueResis = (90 / record.Phase - 1) * record.ApparentResis;
}

QVector<double> selectInRange(const QVector<double>& values, double lo, double hi)
{
    QVector<double> result;
    for (double v : values) {
        if (lo <= v && v <= hi)
            result.append(v);
    }
    return result;
}

QVector<double> logSpacedFrequencies(double from, double to, int perDecade)
{
    const double span = std::log10(to) - std::log10(from);
    const int count = int(span * perDecade + 1);
    QVector<double> result;
    if (count <= 0)
        return result;
    const double step = count > 1 ? span / (count - 1) : 0.0;
    result.reserve(count);
    for (int i = 0; i < count; ++i) {
        double value = std::pow(10.0, std::log10(from) + i * step);
        if (value > 1)
            value = std::round(value * 100) / 100;
        result.append(value);
    }
    return result;
}

double median(QVector<double>& values)
{
    std::sort(values.begin(), values.end());
    const int k = values.size();
    if (k % 2 == 1)
        return values.at(k / 2);
    return (values.at(k / 2 - 1) + values.at(k / 2)) / 2;
}

QVector<SpectrumPoint> limitSpectrumBand(const QVector<SpectrumPoint>& spectrum, double fs, int N, double& fmin,
                                         double& fmax)
{
    fmax = fs > 200000 ? fs / 2 : fs / 6;
    double lower;
    if (fs > 8000) {
        lower = 700;
    } else if (fs > 600) {
        lower = 6;
    } else if (fs > 260) {
        lower = 1;
    } else if (N == 4096) {
        lower = 0.8;
    } else {
        fmin = 16 * fs / N;
        return spectrum;
    }
    QVector<SpectrumPoint> kept;
    fmin = fs;
    for (const SpectrumPoint& p : spectrum) {
        if (p.frequency >= lower) {
            kept.append(p);
            fmin = std::min(fmin, p.frequency);
        }
    }
    return kept;
}

void repairNotchFrequencies(QVector<OneFreqImpedance>& records)
{
    for (int i = 0; i < records.size(); ++i) {
        if (!isNotchFrequency(records.at(i).Frequency))
            continue;
        double W = 0;
        double rho = 0;
        double phase = 0;
        for (int j = 0; j < records.size(); ++j) {
            if (isNotchFrequency(records.at(j).Frequency))
                continue;
            const double d = double(j - i);
            const double w = (1 / d) * (1 / d);
            W += w;
            rho += w * records.at(j).ApparentResis;
            phase += w * records.at(j).Phase;
        }
        records[i].ApparentResis = rho / W;
        records[i].Phase = phase / W;
    }
    for (OneFreqImpedance& record : records)
        updateDepthAndTrueResis(record);
}

FreqImpData TimeSeriesProcess::realProcess(int fileType, QStringList files,
                                           QMap<int, QVector<CalibrationData> > boardCal,
                                           QMap<int, QVector<CalibrationData> > sensorCal, QVector<double> factors,
                                           double fs, double duration, bool sensorCalAll, int N, int method,
                                           int maxBlocks, bool detrend, double bw, QVector<int> excluded)
{
    const int blocks = int(duration * fs / N - excluded.size());
    if (maxBlocks <= 0 || blocks <= 0)
        return FreqImpData();
    if (fileType != 28 && fileType != 18)
        return FreqImpData();
    // A single channel has no impedance, and the transform needs a power of two.
    if (files.size() < 2 || N < 2 || !ffft::FFTReal_is_pow2(N) || !(fs > 0)) {
        qWarning().noquote() << "realProcess" << files.size() << "files, N =" << N << "fs =" << fs << ": nothing to do";
        return FreqImpData();
    }
    const int channels = files.size();
    for (int c = 0; c < channels; c += 2) {
        if (factors.value(c, 1.0) == 0) {
            qWarning().noquote() << "realProcess" << files.at(c) << "electrode length 0 refused";
            return FreqImpData();
        }
    }

    const std::shared_ptr<const BandPlan> plan = bandPlan(fs, N, bw);
    const QVector<double> standard = selectInRange(StandardFrequencies, plan->fmin, plan->fmax);
    if (plan->inRange.isEmpty() || standard.isEmpty())
        return FreqImpData();

    // Calibrations resampled at the targets once; the targets are the same for every block.
    QVector<QVector<CalibrationData> > boardTables(channels);
    QVector<QVector<CalibrationData> > sensorTables(channels);
    for (int c = 0; c < channels; ++c) {
        const bool useSensor = c % 2 == 1 || sensorCalAll;
        const QVector<CalibrationData> board = boardCal.value(c);
        const QVector<CalibrationData> sensor = sensorCal.value(c);
        if (board.size() < 2 || (useSensor && sensor.size() < 2)) {
            qWarning().noquote() << files.at(c) << "has no usable calibration";
            return FreqImpData();
        }
        boardTables[c] = resampleCalibration(board, plan->inRange);
        if (useSensor)
            sensorTables[c] = resampleCalibration(sensor, plan->inRange);
        if (!isUsableCalibration(boardTables.at(c)) || !isUsableCalibration(sensorTables.at(c))) {
            qWarning().noquote() << files.at(c) << "calibration is zero or not a number";
            return FreqImpData();
        }
    }

    ffft::FFTReal<double> fft(N);
    QVector<double> tapered(N);
    QVector<double> transformed(N);
    QVector<double> spectrum(2 * plan->keptCount);

    QList<QVector<CrossSpectrum> > processed;
    for (int b = 0; b < blocks; ++b) {
        bool ok = false;
        const QList<QVector<double> > samples =
            fileType == 28 ? readChannelBlocks(files, N, b, &ok, false, detrend)
                           : readRawChannelBlocks(files, N, b, fs, &ok, false, detrend);
        if (excluded.contains(b) || !ok || samples.size() != channels)
            continue;

        QVector<QVector<SpectrumPoint> > bands(channels);
        for (int c = 0; c < channels; ++c) {
            const bool electric = c % 2 == 0;
            const double scale = electric ? 1000 / factors.value(c, 1.0) : 1;
            QVector<SpectrumPoint> band =
                bandSpectrum(*plan, fft, tapered, transformed, samples.at(c), scale, spectrum);
            divideInPlace(band, boardTables.at(c));
            if (!electric || sensorCalAll)
                divideInPlace(band, sensorTables.at(c));
            bands[c] = band;
        }

        QVector<CrossSpectrum> blockResult;
        blockResult.reserve(bands.first().size());
        QVector<SpectrumPoint> points(channels);
        for (int k = 0; k < bands.first().size(); ++k) {
            for (int c = 0; c < channels; ++c)
                points[c] = bands.at(c).at(k);
            blockResult.append(crossSpectralMatrix(channels, points));
        }
        processed.append(blockResult);
        if (processed.size() == maxBlocks)
            break;
    }

    QVector<QVector<OneFreqImpedance> > stacks;
    QVector<QVector<CrossSpectrum> > stackSpectra;
    for (int t = 0; t + 3 <= processed.size(); t += 3) {
        const QList<QVector<CrossSpectrum> > triple{processed.at(t), processed.at(t + 1), processed.at(t + 2)};
        QVector<CrossSpectrum> stacked;
        if (method == 6)
            stacked = stackMedian(triple);
        else if (method == 8)
            stacked = stackRobust(triple, 5);
        else if (method != 3)
            stacked = stackMean(triple);

        QVector<CrossSpectrum> spectra;
        QVector<OneFreqImpedance> records;
        // Nothing stacked (method 3) averages to nothing rather than to empty matrices.
        if (!stacked.isEmpty()) {
            for (double s : standard)
                spectra.append(bandAverageCrossSpectra(s, stacked, bw, true));
        }
        if (channels <= 3) {
            for (const CrossSpectrum& spectrum : spectra) {
                OneFreqImpedance record = calcResistivityPhase(spectrum);
                record.MagneticPower = spectrum.matrix.at(1).at(1).real();
                records.append(record);
            }
            repairNotchFrequencies(records);
        }
        stacks.append(records);
        stackSpectra.append(spectra);
    }

    FreqImpData result;
    if (stacks.isEmpty() || stacks.first().isEmpty())
        return result;
    const int S = stacks.size();
    QVector<double> rho(S), phase(S), coh(S), power(S);
    for (int k = 0; k < stacks.first().size(); ++k) {
        for (int i = 0; i < S; ++i) {
            const OneFreqImpedance& r = stacks.at(i).at(k);
            rho[i] = r.ApparentResis;
            phase[i] = r.Phase;
            coh[i] = r.Coh;
            power[i] = r.MagneticPower;
        }
        OneFreqImpedance record;
        record.Frequency = stacks.first().at(k).Frequency;
        record.ApparentResis = median(rho);
        record.Phase = median(phase);
        record.Coh = median(coh);
        record.MagneticPower = median(power);
        updateDepthAndTrueResis(record);

        CrossSpectrum sum = stackSpectra.first().at(k);
        for (int i = 1; i < S; ++i) {
            const CrossSpectrum& other = stackSpectra.at(i).at(k);
            for (int r = 0; r < sum.matrix.size(); ++r) {
                for (int c = 0; c < sum.matrix.at(r).size(); ++c)
                    sum.matrix[r][c] += other.matrix.at(r).at(c);
            }
        }
        const double inverse = 1.0 / S;
        for (auto& row : sum.matrix) {
            for (auto& value : row)
                value *= inverse;
        }

        // A frequency whose data give no finite values (a silent channel) is no result.
        if (!isFiniteRecord(record)) {
            qWarning().noquote() << "realProcess" << files.first() << "no finite result at" << record.Frequency << "Hz";
            continue;
        }
        result.impedance.append(record);
        result.crossPower.append(sum);
    }
    return result;
}

FreqImpData processWithBinCalibration(QStringList files, int N, int method, int maxBlocks, bool detrend, double bw,
                                      QVector<int> excluded)
{
    QVector<DataFileHeader> headers;
    for (const QString& path : files) {
        if (!QFile::exists(path)) {
            qWarning().noquote() << path + QStringLiteral(" is not exist !");
            return FreqImpData();
        }
        headers.append(readDataFileHeader(path));
    }
    if (files.isEmpty())
        return FreqImpData();

    const QStringList index = readBinIndex();
    QMap<int, QVector<CalibrationData> > boardCal;
    QMap<int, QVector<CalibrationData> > sensorCal;
    for (int i = 0; i < files.size(); ++i) {
        const DataFileHeader& h = headers.at(i);
        const QString boardName = QString::number(h.serialNumber) + bandFolder(h.sampleRate)
                                  + channelName(files.at(i)) + QStringLiteral("-") + QString::number(h.gain);
        QString sensorName = QStringLiteral("Sensor/") + h.sensorIdText();
        if (!index.contains(boardName)) {
            qWarning().noquote() << boardName + QStringLiteral(" is not exist !");
            return FreqImpData();
        }
        if (!index.contains(sensorName)) {
            qWarning().noquote() << sensorName + QStringLiteral(" is not exist !");
            return FreqImpData();
        }
        boardCal[i] = readBinBoardCalibration(boardName);
        sensorCal[i] = readBinSensorCalibration(sensorName, h.sensorVariant != 0);
    }

    const DataFileHeader& first = headers.first();
    const QVector<double> factors{double(first.electrodeLength), 1.0};
    return TimeSeriesProcess::realProcess(28, files, boardCal, sensorCal, factors, double(first.sampleRate),
                                          double(first.duration), first.sensorCalScope == 0, N, method, maxBlocks,
                                          detrend, bw, excluded);
}
