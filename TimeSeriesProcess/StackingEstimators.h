#pragma once

#include "SpectralPrimitives.h"

#include <QList>
#include <QVector>

// Each estimator combines the per-block lists of cross-power matrices (one list per block,
// all at the same frequencies) into one list, frequency by frequency and element by
// element. Records holding a NaN are left out. Channel count and frequency of each result
// come from the first block's record.

// Plain mean; a frequency without usable records gives a zero matrix.
QVector<CrossSpectrum> stackMean(const QList<QVector<CrossSpectrum> >& blocks);

// Mean with Huber weights (huberStack) over the usable records of each frequency.
QVector<CrossSpectrum> stackRobust(const QList<QVector<CrossSpectrum> >& blocks, int iterations);

// Leave-one-out median estimate (medianStack) over the usable records of each frequency.
QVector<CrossSpectrum> stackMedian(const QList<QVector<CrossSpectrum> >& blocks);

// Robust mean of one frequency's records: weights 1, then 1.5 / r for records whose mean
// absolute deviation r from the weighted mean exceeds 1.5; the last of `iterations`
// means is returned (always divided by the record count).
CrossSpectrum huberStack(const QVector<CrossSpectrum>& records, int iterations);

// Median estimate of one frequency's records: each record's element is first replaced in
// turn by the median of the others, then the median of all is taken.
CrossSpectrum medianStack(const QVector<CrossSpectrum>& records);
