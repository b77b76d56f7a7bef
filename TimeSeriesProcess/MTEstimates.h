#pragma once

#include "SpectralPrimitives.h"

// The sounding values of one frequency.
struct OneFreqImpedance
{
    double Frequency = 0;      // Hz
    double Coh = 0;            // 0 .. 1
    double ApparentResis = 0;  // ohm-metres
    double Phase = 0;          // degrees, 0 .. 90
    double TrueResis = 0;      // ohm-metres
    double Depth = 0;          // metres
    double MagneticPower = 0;
};

// Apparent resistivity, coherence and phase (folded into 0 .. 90 degrees) of a 2 x 2
// cross-power matrix, channel 0 electric (mV/km), channel 1 magnetic (mV). TrueResis,
// Depth and MagneticPower are left 0. A zero power or frequency gives inf/NaN values.
OneFreqImpedance calcResistivityPhase(CrossSpectrum spectrum);
