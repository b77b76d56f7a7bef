#pragma once

#include "SpectralPrimitives.h"

#include <cmath>

// The band average as a plain scan of the whole spectrum: the reference that the library's
// bisection must equal bit for bit (tests), and the slow way it is timed against (bench).
inline SpectrumPoint scanBandAverage(double f, const QVector<SpectrumPoint>& spectrum, double bw, bool weighted)
{
    double W = 0, re = 0, im = 0;
    for (const SpectrumPoint& p : spectrum) {
        if (f * (1 - bw) < p.frequency && p.frequency < f * (1 + bw)) {
            const double w = weighted ? bandWeight(f, p.frequency, bw) : 1.0;
            W += w;
            re += w * p.re;
            im += w * p.im;
        }
    }
    if (W != 0) {
        re /= W;
        im /= W;
    }
    return SpectrumPoint{f, re, im, std::atan2(im, re), std::sqrt(re * re + im * im)};
}
