#pragma once

#include "MTEstimates.h"
#include "SpectralPrimitives.h"

#include <QVector>

// Folding a new group's results (b) into a channel pair's accumulated results (a): new
// frequencies are added, shared ones combined as the mean of the arithmetic and harmonic
// means, the result sorted by frequency.

// Also smooths the resistivity where the lists overlap and recomputes Depth and TrueResis.
QVector<OneFreqImpedance> mergeImpedanceLists(QVector<OneFreqImpedance> a, QVector<OneFreqImpedance> b);

QVector<CrossSpectrum> mergeCrossSpectra(QVector<CrossSpectrum> a, QVector<CrossSpectrum> b);

// Three-point running mean; the ends use (5 v0 + 2 v1 - v2) / 6. Fewer than 3 values stay.
void smoothThreePoint(QVector<double>& values);

// ((x + y) / 2 + 2 / (1/x + 1/y)) / 2
double combineValues(double x, double y);
std::complex<double> combineValues(std::complex<double> x, std::complex<double> y);
