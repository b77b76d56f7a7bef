#pragma once

#include "ChannelDataFile.h"

// Highest sample rate the time-series page accepts from a header; far above the
// instrument's bands, low enough that a time axis of 100 s times the rate stays an int.
constexpr int MaxTSGraphRate = 2147483647 / 100;

// The sample rate and the sample count (rate x duration) of a channel file's header as
// the time-series page uses them. The fields are checked before any arithmetic: a rate
// below 1 or above MaxTSGraphRate, no samples, or more samples than an int counts mean a
// damaged header (false, outputs untouched).
bool tsGraphSampleCount(const DataFileHeader& header, int* sampleRate, int* totalSamples);

// Sample index at time t (seconds) of a rate, truncated and held within +-2^29 so that
// sums and differences of two indexes stay ints whatever axis the plot shows.
int tsGraphSampleAt(double t, int sampleRate);
