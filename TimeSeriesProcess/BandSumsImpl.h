#pragma once
// Written once over a four-lane vector type O (one bin of both channels per vector);
// included only by the two BandSums source files.

#include "BandSums.h"

template <class O>
void bandSumsWith(const BandSumsArgs& a)
{
    using V = typename O::V;
    const auto run = [&](int t, int lanes) {
        const double* w[4];
        const double* b[4];
        int n[4];
        V sum[4];
        int common = a.count[t];
        int longest = 0;
        for (int q = 0; q < lanes; ++q) {
            w[q] = a.weights + a.offset[t + q];
            b[q] = a.bins + 4 * a.start[t + q];
            n[q] = a.count[t + q];
            sum[q] = O::set1(0.0);
            common = n[q] < common ? n[q] : common;
            longest = n[q] > longest ? n[q] : longest;
        }
        int i = 0;
        if (lanes == 4) {
            for (; i < common; ++i) {
                sum[0] = O::add(sum[0], O::mul(O::set1(w[0][i]), O::load(b[0] + 4 * i)));
                sum[1] = O::add(sum[1], O::mul(O::set1(w[1][i]), O::load(b[1] + 4 * i)));
                sum[2] = O::add(sum[2], O::mul(O::set1(w[2][i]), O::load(b[2] + 4 * i)));
                sum[3] = O::add(sum[3], O::mul(O::set1(w[3][i]), O::load(b[3] + 4 * i)));
            }
        }
        for (; i < longest; ++i) {
            for (int q = 0; q < lanes; ++q) {
                if (i < n[q])
                    sum[q] = O::add(sum[q], O::mul(O::set1(w[q][i]), O::load(b[q] + 4 * i)));
            }
        }
        for (int q = 0; q < lanes; ++q)
            O::store(a.sums + 4 * (t + q), sum[q]);
    };
    int t = 0;
    for (; t < a.targets % 4; ++t)
        run(t, 1);
    for (; t < a.targets; t += 4)
        run(t, 4);
}
