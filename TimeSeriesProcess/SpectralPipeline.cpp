#include "SpectralPipeline.h"

#include "BandSums.h"
#include "ChannelBlockReader.h"
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
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <map>
#include <future>
#include <memory>
#include <tuple>
#include <vector>

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

// Band averages of every target of the plan from the kept bins, into
// out[(t * channels + c) * 2 ...]. A pair of channels has its bins side by side, (re0,
// im0, re1, im1) per bin, and both are summed in one pass over the weights; any other
// count has channel c's bins (re, im) at bins + 2 * kept * c. Each sum runs over its bins
// in ascending order, exactly as a scan of the band adds them.
void bandAverages(const BandPlan& plan, const double* bins, int channels, double* out, double* sums)
{
    const int targets = plan.inRange.size();
    const auto store = [&](int t, int c, double sumRe, double sumIm) {
        const double W = plan.weightSums.at(t);
        if (W != 0) {
            sumRe /= W;
            sumIm /= W;
        }
        out[(t * channels + c) * 2] = sumRe;
        out[(t * channels + c) * 2 + 1] = sumIm;
    };
    if (channels == 2) {
        BandSumsArgs args;
        args.targets = targets;
        args.start = plan.bandStart.constData();
        args.offset = plan.bandOffset.constData();
        args.count = plan.bandCount.constData();
        args.weights = plan.weights.constData();
        args.bins = bins;
        args.sums = sums;
        bandSumsPair(args);
        for (int t = 0; t < targets; ++t) {
            store(t, 0, sums[4 * t], sums[4 * t + 1]);
            store(t, 1, sums[4 * t + 2], sums[4 * t + 3]);
        }
        return;
    }
    const int stride = 2 * plan.keptCount;
    for (int t = 0; t < targets; ++t) {
        for (int c = 0; c < channels; ++c) {
            double sum[2] = {0, 0};
            addBand(plan.weights.constData() + plan.bandOffset.at(t), bins + c * stride + 2 * plan.bandStart.at(t), 0,
                    plan.bandCount.at(t), sum);
            store(t, c, sum[0], sum[1]);
        }
    }
}

// Scratch of one worker thread, kept from block to block and from pair to pair.
struct BlockScratch
{
    std::unique_ptr<ffft::FFTReal<double> > fft;
    std::vector<double> samples;  // N per channel
    std::vector<double*> channelSamples;
    std::vector<double> transformed;
    std::vector<double> bins;
    std::vector<double> sums;
};

BlockScratch& blockScratch(int N, int channels, size_t binValues, size_t sumValues)
{
    thread_local BlockScratch scratch;
    if (!scratch.fft || scratch.transformed.size() != size_t(N)) {
        scratch.fft.reset(new ffft::FFTReal<double>(N));
        scratch.samples.clear();
        scratch.transformed.assign(size_t(N), 0.0);
    }
    if (scratch.samples.size() < size_t(N) * channels)
        scratch.samples.resize(size_t(N) * channels);
    if (scratch.bins.size() < binValues)
        scratch.bins.resize(binValues);
    if (scratch.sums.size() < sumValues)
        scratch.sums.resize(sumValues);
    return scratch;
}

// What every block of one channel-pair calculation shares, read-only.
struct PairWork
{
    const BandPlan* plan;
    const ChannelBlockReader* reader;
    int channels;
    bool detrend;
    bool sensorCalAll;
    QVector<double> scales;  // per channel: 1000 / electrode length for even channels
    QVector<QVector<CalibrationData> > boardTables;
    QVector<QVector<CalibrationData> > sensorTables;
    QVector<int> excluded;

    int targets() const { return plan->inRange.size(); }
    // Calibrated band values of one block: [target][channel] (re, im).
    size_t blockValues() const { return size_t(targets()) * size_t(channels) * 2; }
};

void divideInPlace(double* value, const CalibrationData& c)
{
    const std::complex<double> q = std::complex<double>(value[0], value[1]) / std::complex<double>(c.re, c.im);
    value[0] = q.real();
    value[1] = q.imag();
}

// Taper, transform, band averages and calibration of block b of every channel, exactly
// as the primitives compute them one after the other. False when a read fails.
bool computeBlock(const PairWork& work, qint64 b, double* out)
{
    const BandPlan& plan = *work.plan;
    const int N = plan.N;
    const int kept = plan.keptCount;
    BlockScratch& s = blockScratch(N, work.channels, size_t(2) * kept * work.channels, size_t(4) * work.targets());
    const double scale = std::sqrt(2 / (N * plan.fs));
    const int half = N / 2;
    std::vector<double*>& channelSamples = s.channelSamples;
    channelSamples.resize(size_t(work.channels));
    for (int c = 0; c < work.channels; ++c)
        channelSamples[size_t(c)] = s.samples.data() + size_t(N) * c;
    if (!work.reader->readAll(b, channelSamples.data(), false, work.detrend))
        return false;
    for (int c = 0; c < work.channels; ++c) {
        s.fft->transform_windowed(s.transformed.data(), channelSamples[size_t(c)], plan.window.constData(), work.scales.at(c));
        const double* F = s.transformed.data();
        // A pair's bins side by side (see bandAverages).
        const bool pair = work.channels == 2;
        double* bins = s.bins.data() + (pair ? 2 * c : 2 * kept * c);
        const int step = pair ? 4 : 2;
        for (int j = 0; j < kept; ++j) {
            const int k = plan.firstBin + j;
            bins[step * j] = F[k] * scale;
            bins[step * j + 1] = k < half ? -F[half + k] * scale : 0.0;
        }
    }
    bandAverages(plan, s.bins.data(), work.channels, out, s.sums.data());
    const int targets = work.targets();
    for (int c = 0; c < work.channels; ++c) {
        const bool divideBySensor = c % 2 == 1 || work.sensorCalAll;
        for (int t = 0; t < targets; ++t) {
            double* value = out + (size_t(t) * work.channels + c) * 2;
            divideInPlace(value, work.boardTables.at(c).at(t));
            if (divideBySensor)
                divideInPlace(value, work.sensorTables.at(c).at(t));
        }
    }
    return true;
}

const int BlocksPerTask = 2;
// Blocks computed ahead of the stacking; bounds the memory whatever the block count.
const int WindowBlocks = 64;

// Computes blocks first .. first + count - 1 into their places in computed, on the calling thread and
// on helpers of the global pool that take a few blocks at a time from a shared counter,
// so no thread waits while blocks are left. Excluded blocks are not computed.
void computeWindow(const PairWork& work, qint64 first, int count, std::vector<double>& computed,
                   std::vector<char>& ok)
{
    const size_t slotSize = work.blockValues();
    std::atomic<int> next(0);
    const auto run = [&] {
        for (;;) {
            const int start = next.fetch_add(BlocksPerTask);
            if (start >= count)
                return;
            for (int k = start; k < std::min(count, start + BlocksPerTask); ++k) {
                const qint64 b = first + k;
                const bool excluded = b <= std::numeric_limits<int>::max() && work.excluded.contains(int(b));
                ok[size_t(k)] = !excluded && computeBlock(work, b, computed.data() + slotSize * size_t(k));
            }
        }
    };
    const int tasks = (count + BlocksPerTask - 1) / BlocksPerTask;
    const int helpers = std::max(0, std::min(tasks, QThreadPool::globalInstance()->maxThreadCount()) - 1);
    QVector<QFuture<void> > futures;
    for (int h = 0; h < helpers; ++h)
        futures.append(QtConcurrent::run(QThreadPool::globalInstance(), run));
    run();
    for (QFuture<void>& future : futures)
        future.waitForFinished();
}

// The cross-power matrices of one block's values at target t, as crossSpectralMatrix
// makes them.
CrossSpectrum blockCrossSpectrum(const double* block, int channels, int t, double frequency)
{
    QVector<SpectrumPoint> points(channels);
    for (int c = 0; c < channels; ++c) {
        const double* v = block + (size_t(t) * channels + c) * 2;
        points[c] = SpectrumPoint{frequency, v[0], v[1], 0, 0};
    }
    return crossSpectralMatrix(channels, points);
}

// The mean of a triple of blocks at every target, exactly as stackMean forms it from the
// blocks' cross-power matrices: a matrix holding a NaN stays out, none left gives zeros.
QVector<CrossSpectrum> stackMeanOf(const double* const blocks[3], int channels, const QVector<double>& targets)
{
    using Complex = std::complex<double>;
    const int n = channels;
    QVector<CrossSpectrum> result;
    result.reserve(targets.size());
    std::vector<Complex> sum(size_t(n) * n);
    std::vector<Complex> product(size_t(n) * n);
    for (int t = 0; t < targets.size(); ++t) {
        std::fill(sum.begin(), sum.end(), Complex());
        int usable = 0;
        for (int r = 0; r < 3; ++r) {
            const double* v = blocks[r] + size_t(t) * n * 2;
            bool hasNaN = false;
            for (int i = 0; i < n; ++i) {
                const Complex xi(v[2 * i], v[2 * i + 1]);
                for (int j = 0; j < n; ++j) {
                    const Complex p = xi * std::conj(Complex(v[2 * j], v[2 * j + 1]));
                    hasNaN = hasNaN || std::isnan(p.real()) || std::isnan(p.imag());
                    product[size_t(i) * n + j] = p;
                }
            }
            if (hasNaN)
                continue;
            ++usable;
            for (size_t e = 0; e < sum.size(); ++e)
                sum[e] += product[e];
        }
        if (usable > 0) {
            const double count = usable;
            for (Complex& value : sum)
                value /= count;
        }
        CrossSpectrum record;
        record.n = n;
        record.frequency = targets.at(t);
        record.matrix.resize(n);
        for (int i = 0; i < n; ++i) {
            record.matrix[i].resize(n);
            for (int j = 0; j < n; ++j)
                record.matrix[i][j] = sum[size_t(i) * n + j];
        }
        result.append(record);
    }
    return result;
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
    // The count a header claims, in 64 bits: rate and duration come from outside, and a
    // count no file could hold is a damaged header, not a reason to loop for hours.
    const double claimed = N > 0 ? duration * fs / N - excluded.size() : 0.0;
    if (!(claimed < double(std::numeric_limits<qint64>::max() / 4) / std::max(N, 1))) {
        qWarning().noquote() << "realProcess" << files.value(0) << "damaged header: rate" << fs << "duration"
                             << duration;
        return FreqImpData();
    }
    const qint64 blocks = claimed > 0 ? qint64(claimed) : 0;
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

    PairWork work;
    work.plan = plan.get();
    work.channels = channels;
    work.detrend = detrend;
    work.sensorCalAll = sensorCalAll;
    work.excluded = excluded;
    // Calibrations resampled at the targets once; the targets are the same for every block.
    work.boardTables.resize(channels);
    work.sensorTables.resize(channels);
    for (int c = 0; c < channels; ++c) {
        const bool useSensor = c % 2 == 1 || sensorCalAll;
        const QVector<CalibrationData> board = boardCal.value(c);
        const QVector<CalibrationData> sensor = sensorCal.value(c);
        if (board.size() < 2 || (useSensor && sensor.size() < 2)) {
            qWarning().noquote() << files.at(c) << "has no usable calibration";
            return FreqImpData();
        }
        work.boardTables[c] = resampleCalibration(board, plan->inRange);
        if (useSensor)
            work.sensorTables[c] = resampleCalibration(sensor, plan->inRange);
        if (!isUsableCalibration(work.boardTables.at(c)) || !isUsableCalibration(work.sensorTables.at(c))) {
            qWarning().noquote() << files.at(c) << "calibration is zero or not a number";
            return FreqImpData();
        }
        work.scales.append(c % 2 == 0 ? 1000 / factors.value(c, 1.0) : 1.0);
    }

    // Each file opened once for the whole pair. Blocks past the end of the shortest file
    // could never be read: the loop ends there, whatever the header claims.
    const ChannelBlockReader reader(files, N,
                                    fileType == 28 ? ChannelBlockReader::Layout::Instrument
                                                   : ChannelBlockReader::Layout::Raw,
                                    fs);
    if (!reader.isOpen())
        return FreqImpData();
    work.reader = &reader;
    const qint64 loopEnd = std::min(blocks, reader.blocksHeld());

    // Every triple of processed blocks is stacked as soon as it is complete.
    QVector<QVector<OneFreqImpedance> > stacks;
    QVector<QVector<CrossSpectrum> > stackSpectra;
    const size_t slotSize = work.blockValues();
    std::vector<double> triple(3 * slotSize);
    int inTriple = 0;
    const auto stackTriple = [&] {
        const double* const members[3] = {triple.data(), triple.data() + slotSize, triple.data() + 2 * slotSize};
        QVector<CrossSpectrum> stacked;
        if (method == 6 || method == 8) {
            QList<QVector<CrossSpectrum> > lists;
            for (const double* member : members) {
                QVector<CrossSpectrum> list;
                for (int t = 0; t < plan->inRange.size(); ++t)
                    list.append(blockCrossSpectrum(member, channels, t, plan->inRange.at(t)));
                lists.append(list);
            }
            stacked = method == 6 ? stackMedian(lists) : stackRobust(lists, 5);
        } else if (method != 3) {
            stacked = stackMeanOf(members, channels, plan->inRange);
        }

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
    };

    std::vector<double> computed;
    std::vector<char> ok;
    int processed = 0;
    for (qint64 next = 0; next < loopEnd && processed < maxBlocks;) {
        const int count = int(std::min<qint64>(
            loopEnd - next, std::min<qint64>(qint64(maxBlocks - processed) + excluded.size(), WindowBlocks)));
        computed.resize(slotSize * size_t(count));
        ok.assign(size_t(count), 0);
        computeWindow(work, next, count, computed, ok);
        for (int k = 0; k < count && processed < maxBlocks; ++k) {
            if (!ok[size_t(k)])
                continue;
            std::copy_n(computed.data() + slotSize * size_t(k), slotSize, triple.data() + slotSize * size_t(inTriple));
            ++processed;
            if (++inTriple == 3) {
                stackTriple();
                inTriple = 0;
            }
        }
        next += count;
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
