#pragma once

#include "CalibrationLibrary.h"

#include <QVector>

#include <complex>

// One complex spectral value.
struct SpectrumPoint
{
    double frequency = 0;  // Hz
    double re = 0;
    double im = 0;
    double phase = 0;      // atan2(im, re), radians
    double amplitude = 0;  // sqrt(re^2 + im^2)
};

// Cross-power matrix of n channels at one frequency: element (i, j) = X_i * conj(X_j).
struct CrossSpectrum
{
    int n = 0;
    double frequency = 0;  // Hz
    QVector<QVector<std::complex<double> > > matrix;
};

// Weight of a value at fp in the band of relative width bw around f: (sin x / x)^4,
// 1 at the centre, 0 from the band edges on.
double bandWeight(double f, double fp, double bw);

// Half-cosine window over the first n samples, times 1000 / length when scale is set
// (electric channels: mV to mV/km). An electrode length of 0 is refused: empty result.
QVector<double> applyTaper(const QVector<double>& samples, int n, bool scale, double length);

// Bins 1 .. N/2 of the real FFT of the first N samples, scaled by sqrt(2 / (N fs)).
// Empty when N is not a power of two of at least 2 or samples holds fewer than N values.
QVector<SpectrumPoint> amplitudeSpectrum(const QVector<double>& samples, int N, double fs);

// Complex division by a calibration resampled index for index; a calibration of another
// size leaves the spectrum as it is.
QVector<SpectrumPoint> divideByCalibration(const QVector<SpectrumPoint>& spectrum,
                                           const QVector<CalibrationData>& calibration);

// The n channels' values at one frequency (channel order) as a cross-power matrix.
CrossSpectrum crossSpectralMatrix(int n, const QVector<SpectrumPoint>& points);

// Average of the points with f(1 - bw) < frequency < f(1 + bw), weighted by bandWeight when
// weighted. spectrum must be in ascending frequency order (as amplitudeSpectrum gives it).
SpectrumPoint bandAverageSpectrum(double f, const QVector<SpectrumPoint>& spectrum, double bw, bool weighted);

// The same for cross-power matrices at ascending frequencies; an empty band gives zeros.
CrossSpectrum bandAverageCrossSpectra(double f, const QVector<CrossSpectrum>& records, double bw, bool weighted);
