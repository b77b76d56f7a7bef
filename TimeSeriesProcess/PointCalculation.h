#pragma once

#include "MTEstimates.h"

#include <QVector>

// Replaces every depth from the list's mean apparent resistivity over 8000 .. 20000 Hz
// (closed band). An empty list, or one with nothing in that band, stays unchanged.
void calcDepthByMeanRho(QVector<OneFreqImpedance> &list, double factor);
