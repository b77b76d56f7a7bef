#include "SpectralPrimitives.h"

#include "ffft/FFTReal.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

SpectrumPoint makePoint(double frequency, double re, double im)
{
    return SpectrumPoint{frequency, re, im, std::atan2(im, re), std::sqrt(re * re + im * im)};
}

QVector<QVector<std::complex<double> > > zeroMatrix(int n)
{
    return QVector<QVector<std::complex<double> > >(n, QVector<std::complex<double> >(n));
}

bool hasShape(const CrossSpectrum& record, int n)
{
    if (record.matrix.size() != n)
        return false;
    for (const auto& row : record.matrix) {
        if (row.size() != n)
            return false;
    }
    return true;
}

} // namespace

double bandWeight(double f, double fp, double bw)
{
    const double d = f - fp;
    const double h = bw * f;
    if (std::fabs(d) >= h)
        return 0;
    if (d == 0)
        return 1;
    const double x = d * 3.141592653 / h;
    return std::pow(std::sin(x) / x, 4.0);
}

QVector<double> applyTaper(const QVector<double>& samples, int n, bool scale, double length)
{
    if (scale && length == 0) {
        qWarning().noquote() << "applyTaper" << "electrode length 0 refused";
        return QVector<double>();
    }
    const double s = scale ? 1000 / length : 1;
    const double pi = 3.141592653589793;
    QVector<double> out(samples.size());
    const int tapered = std::min(std::max(n, 0), samples.size());
    for (int i = 0; i < tapered; ++i)
        out[i] = samples.at(i) * s * (0.5 + 0.5 * std::cos(i * pi / n));
    // Past the window only the unit conversion applies.
    for (int i = tapered; i < samples.size(); ++i)
        out[i] = samples.at(i) * s;
    return out;
}

QVector<SpectrumPoint> amplitudeSpectrum(const QVector<double>& samples, int N, double fs)
{
    if (N < 2 || !ffft::FFTReal_is_pow2(N) || samples.size() < N) {
        qWarning().noquote() << "amplitudeSpectrum" << "no spectrum of" << samples.size() << "samples with N =" << N;
        return QVector<SpectrumPoint>();
    }
    QVector<double> F(N);
    {
        ffft::FFTReal<double> fft(N);
        fft.transform(F.data(), samples.constData());
    }

    const double s = std::sqrt(2 / (N * fs));
    const int half = N / 2;
    QVector<SpectrumPoint> spectrum;
    spectrum.reserve(half);
    for (int k = 1; k <= half; ++k) {
        const double re = F.at(k) * s;
        const double im = k < half ? -F.at(half + k) * s : 0.0;
        spectrum.append(makePoint(k * fs / N, re, im));
    }
    return spectrum;
}

QVector<SpectrumPoint> divideByCalibration(const QVector<SpectrumPoint>& spectrum,
                                           const QVector<CalibrationData>& calibration)
{
    if (spectrum.size() != calibration.size())
        return spectrum;
    QVector<SpectrumPoint> result;
    result.reserve(spectrum.size());
    for (int i = 0; i < spectrum.size(); ++i) {
        const SpectrumPoint& p = spectrum.at(i);
        const CalibrationData& c = calibration.at(i);
        const std::complex<double> q = std::complex<double>(p.re, p.im) / std::complex<double>(c.re, c.im);
        result.append(SpectrumPoint{p.frequency, q.real(), q.imag(), std::atan2(q.imag(), q.real()), std::abs(q)});
    }
    return result;
}

CrossSpectrum crossSpectralMatrix(int n, const QVector<SpectrumPoint>& points)
{
    CrossSpectrum result;
    if (n < 0 || points.size() < n) {
        qWarning().noquote() << "crossSpectralMatrix" << points.size() << "values for" << n << "channels";
        return result;
    }
    result.n = n;
    result.frequency = points.isEmpty() ? 0.0 : points.first().frequency;
    result.matrix = zeroMatrix(n);
    for (int i = 0; i < n; ++i) {
        const std::complex<double> xi(points.at(i).re, points.at(i).im);
        for (int j = 0; j < n; ++j)
            result.matrix[i][j] = xi * std::conj(std::complex<double>(points.at(j).re, points.at(j).im));
    }
    return result;
}

SpectrumPoint bandAverageSpectrum(double f, const QVector<SpectrumPoint>& spectrum, double bw, bool weighted)
{
    const double lower = f * (1 - bw);
    const double upper = f * (1 + bw);
    // The band is one run of the ascending spectrum: find its ends by bisection and sum
    // exactly the points a full scan would select, in the same order.
    const auto first = std::upper_bound(spectrum.constBegin(), spectrum.constEnd(), lower,
                                        [](double value, const SpectrumPoint& p) { return value < p.frequency; });
    const auto last = std::lower_bound(first, spectrum.constEnd(), upper,
                                       [](const SpectrumPoint& p, double value) { return p.frequency < value; });

    double W = 0;
    double re = 0;
    double im = 0;
    for (auto it = first; it < last; ++it) {
        const double w = weighted ? bandWeight(f, it->frequency, bw) : 1.0;
        W += w;
        re += w * it->re;
        im += w * it->im;
    }
    if (W != 0) {
        re /= W;
        im /= W;
    }
    return makePoint(f, re, im);
}

CrossSpectrum bandAverageCrossSpectra(double f, const QVector<CrossSpectrum>& records, double bw, bool weighted)
{
    CrossSpectrum result;
    result.frequency = f;
    if (records.isEmpty())
        return result;
    const int n = std::max(records.first().n, 0);
    result.n = n;
    result.matrix = zeroMatrix(n);

    const double lower = f * (1 - bw);
    const double upper = f * (1 + bw);
    double W = 0;
    for (const CrossSpectrum& record : records) {
        if (!(lower < record.frequency && record.frequency < upper) || !hasShape(record, n))
            continue;
        const double w = weighted ? bandWeight(f, record.frequency, bw) : 1.0;
        W += w;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                result.matrix[i][j] += w * record.matrix.at(i).at(j);
        }
    }
    // Nothing in the band: zeros, as for a single spectrum, rather than 0/0.
    if (W != 0) {
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                result.matrix[i][j] /= W;
        }
    }
    return result;
}
