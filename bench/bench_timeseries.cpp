// Timing of the spectral building blocks for one channel block of 16384 samples.
// Run by hand: build/bench/bench_timeseries [repetitions]

#include "ScanBandAverage.h"
#include "SpectralPrimitives.h"
#include "ffft/FFTReal.h"

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
    const double tTransform = microsecondsPer(repetitions, [&] {
        fft.transform(f.data(), samples.constData());
        sink = sink + f[1];
    });
    const double tConstructAndTransform = microsecondsPer(repetitions, [&] {
        ffft::FFTReal<double> once(N);
        once.transform(f.data(), samples.constData());
        sink = sink + f[1];
    });
    const double tSpectrum = microsecondsPer(repetitions, [&] {
        sink = sink + amplitudeSpectrum(samples, N, 7800).at(1).re;
    });
    out << "FFT transform only:            " << QString::number(tTransform, 'f', 1) << " us\n";
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
