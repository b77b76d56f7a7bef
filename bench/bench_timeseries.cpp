// Timing of the spectral building blocks for one channel block of 16384 samples, and of
// the real FFT against FFTW (r2c, FFTW_MEASURE) when the benchmark was built with it.
// Run by hand: build/bench/bench_timeseries [repetitions]

#include "ScanBandAverage.h"
#include "SpectralPrimitives.h"
#include "ffft/FFTKernels.h"
#include "ffft/FFTReal.h"

#if defined(VARN_BENCH_FFTW)
#include <fftw3.h>
#endif

#include <algorithm>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

volatile double sink = 0;

template <typename Body>
double microsecondsPer(int repetitions, Body body)
{
    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < repetitions; ++r)
        body();
    return timer.nsecsElapsed() / 1000.0 / repetitions;
}

// Minimum and median over rounds of the microseconds per call; rounds of the two bodies
// alternate, so a busy machine slows both alike.
struct Spread
{
    double min = 0;
    double median = 0;
};

Spread spreadOf(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return Spread{values.first(), values.at(values.size() / 2)};
}

QString text(const Spread& s)
{
    return QStringLiteral("min %1 us, median %2 us").arg(s.min, 0, 'f', 1).arg(s.median, 0, 'f', 1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    const int N = 16384;

    QRandomGenerator rng(1);
    QVector<double> samples(N);
    for (double& v : samples)
        v = rng.generateDouble() * 200 - 100;

    // The 491 log-spaced targets from 0.01 Hz to 100 kHz, 70 per decade.
    QVector<double> targets;
    for (int i = 0; i <= 490; ++i)
        targets.append(std::pow(10.0, -2 + i / 70.0));

    QTextStream out(stdout);
    out << "repetitions " << repetitions << ", N " << N << "\n";

    ffft::FFTReal<double> fft(N);
    QVector<double> f(N);
    const int rounds = 41;
    const int perRound = std::max(1, repetitions / 4);
    QVector<double> ours, plain;
#if defined(VARN_BENCH_FFTW)
    double* in = fftw_alloc_real(size_t(N));
    fftw_complex* spectrum = fftw_alloc_complex(size_t(N / 2 + 1));
    const fftw_plan plan = fftw_plan_dft_r2c_1d(N, in, spectrum, FFTW_MEASURE);
    std::copy(samples.constBegin(), samples.constEnd(), in);
    QVector<double> theirs;
#endif
    for (int r = 0; r < rounds; ++r) {
        ours.append(microsecondsPer(perRound, [&] {
            fft.transform(f.data(), samples.constData());
            sink = sink + f[1];
        }));
        ffft::forcePlainKernel(true);
        plain.append(microsecondsPer(perRound, [&] {
            fft.transform(f.data(), samples.constData());
            sink = sink + f[1];
        }));
        ffft::forcePlainKernel(false);
#if defined(VARN_BENCH_FFTW)
        theirs.append(microsecondsPer(perRound, [&] {
            fftw_execute(plan);
            sink = sink + spectrum[1][0];
        }));
#endif
    }
    const Spread oursSpread = spreadOf(ours);
    out << "FFT " << N << (ffft::avx2Available() ? " (AVX2 kernel): " : " (plain kernel, no AVX2): ")
        << text(oursSpread) << "\n";
    out << "FFT " << N << " plain kernel: " << text(spreadOf(plain)) << "\n";
#if defined(VARN_BENCH_FFTW)
    const Spread theirsSpread = spreadOf(theirs);
    out << "FFTW " << N << " r2c MEASURE: " << text(theirsSpread) << "\n";
    out << "ratio to FFTW: " << QString::number(oursSpread.min / theirsSpread.min, 'f', 2) << " (min), "
        << QString::number(oursSpread.median / theirsSpread.median, 'f', 2) << " (median)\n";
    fftw_destroy_plan(plan);
    fftw_free(spectrum);
    fftw_free(in);
#else
    out << "FFTW not found at build time: no comparison\n";
#endif
    const double tConstructAndTransform = microsecondsPer(repetitions, [&] {
        ffft::FFTReal<double> once(N);
        once.transform(f.data(), samples.constData());
        sink = sink + f[1];
    });
    const double tSpectrum = microsecondsPer(repetitions, [&] {
        sink = sink + amplitudeSpectrum(samples, N, 7800).at(1).re;
    });
    out << "FFT object built + transform:  " << QString::number(tConstructAndTransform, 'f', 1) << " us\n";
    out << "amplitudeSpectrum (whole call): " << QString::number(tSpectrum, 'f', 1) << " us\n";

    for (double fs : {61.0, 488.0, 7800.0, 250000.0}) {
        const QVector<SpectrumPoint> spectrum = amplitudeSpectrum(samples, N, fs);
        // The targets a block of this rate averages at: from 16 bins up to fs / 6 (fs / 2 above 200 kHz).
        const double fmax = fs > 200000 ? fs / 2 : fs / 6;
        QVector<double> inRange;
        for (double t : targets) {
            if (t >= 16 * fs / N && t <= fmax)
                inRange.append(t);
        }
        const int blockRepetitions = qMax(1, repetitions / 10);
        const double tBisect = microsecondsPer(blockRepetitions, [&] {
            for (double t : inRange)
                sink = sink + bandAverageSpectrum(t, spectrum, 0.5, true).re;
        });
        const double tScan = microsecondsPer(blockRepetitions, [&] {
            for (double t : inRange)
                sink = sink + scanBandAverage(t, spectrum, 0.5, true).re;
        });
        out << "band averages, fs " << fs << " Hz, " << inRange.size() << " targets per block: bisection "
            << QString::number(tBisect, 'f', 1) << " us, full scan " << QString::number(tScan, 'f', 1) << " us\n";
    }
    out.flush();
    return 0;
}
