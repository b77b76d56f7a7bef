#pragma once

// Weighted band sums of both channels of a pair, from bins stored (re0, im0, re1, im1)
// per bin. For every target t: sums[4t .. 4t+3] = the sum over i < count[t] of
// weights[offset[t] + i] * bin[start[t] + i], added in ascending i from zero, lane by
// lane. Four targets run side by side only so that their additions overlap in time; each
// sum is rounded exactly as a scan of its band would round it.
struct BandSumsArgs
{
    int targets = 0;
    const int* start = nullptr;
    const int* offset = nullptr;
    const int* count = nullptr;
    const double* weights = nullptr;
    const double* bins = nullptr;
    double* sums = nullptr;
};

// AVX2 when the transform uses it (ffft::useAvx2Kernels), the plain lanes otherwise.
void bandSumsPair(const BandSumsArgs& args);
void bandSumsPairPlain(const BandSumsArgs& args);
void bandSumsPairAvx2(const BandSumsArgs& args);
