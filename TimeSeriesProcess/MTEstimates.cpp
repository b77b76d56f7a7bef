#include "MTEstimates.h"

#include <cmath>

OneFreqImpedance calcResistivityPhase(CrossSpectrum spectrum)
{
    OneFreqImpedance result;
    result.Frequency = spectrum.frequency;
    if (spectrum.n < 2 || spectrum.matrix.size() < 2 || spectrum.matrix.at(0).size() < 2
        || spectrum.matrix.at(1).size() < 2) {
        result.Coh = result.ApparentResis = result.Phase = std::nan("");
        return result;
    }
    const std::complex<double> s00 = spectrum.matrix.at(0).at(0);
    const std::complex<double> s11 = spectrum.matrix.at(1).at(1);
    const std::complex<double> s01 = spectrum.matrix.at(0).at(1);
    const double f = spectrum.frequency;

    result.ApparentResis = (s00.real() / s11.real()) / (5 * f);

    const double cross = std::abs(s01);
    result.Coh = std::sqrt(cross * cross / (std::abs(s11) * std::abs(s00)));

    // The phase has always been computed with pi to seven decimals.
    const double p = std::atan2(s01.imag(), s01.real()) * 180 / 3.1415926;
    if (p > -180 && p < -90)
        result.Phase = p + 180;
    else if (p >= -90 && p < 0)
        result.Phase = -p;
    else if (p > 90)
        result.Phase = std::fabs(p - 180);
    else if (p <= -180)
        result.Phase = std::fabs(p + 180);  // E = -k H: the mirror of the p > 90 branch
    else
        result.Phase = p;
    return result;
}
