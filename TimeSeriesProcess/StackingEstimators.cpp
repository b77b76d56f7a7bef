#include "StackingEstimators.h"

#include <algorithm>
#include <cmath>

namespace {

using Matrix = QVector<QVector<std::complex<double> > >;

Matrix zeroMatrix(int n)
{
    return Matrix(n, QVector<std::complex<double> >(n));
}

// A record takes part when its matrix is n x n and holds no NaN.
bool isUsable(const CrossSpectrum& record)
{
    if (record.n < 0 || record.matrix.size() != record.n)
        return false;
    for (const auto& row : record.matrix) {
        if (row.size() != record.n)
            return false;
        for (const std::complex<double>& value : row) {
            if (std::isnan(value.real()) || std::isnan(value.imag()))
                return false;
        }
    }
    return true;
}

CrossSpectrum emptyLike(const CrossSpectrum& model)
{
    CrossSpectrum result;
    result.n = std::max(model.n, 0);
    result.frequency = model.frequency;
    result.matrix = zeroMatrix(result.n);
    return result;
}

// Usable records at index k of every block (that has one), in block order, of the same
// channel count as the first block's record.
QVector<CrossSpectrum> usableRecords(const QList<QVector<CrossSpectrum> >& blocks, int k, int n)
{
    QVector<CrossSpectrum> records;
    records.reserve(blocks.size());
    for (const QVector<CrossSpectrum>& block : blocks) {
        if (k < block.size() && block.at(k).n == n && isUsable(block.at(k)))
            records.append(block.at(k));
    }
    return records;
}

// Sorts its argument.
double medianOf(QVector<double>& values)
{
    std::sort(values.begin(), values.end());
    const int k = values.size();
    if (k % 2 == 1)
        return values.at(k / 2);
    return (values.at(k / 2 - 1) + values.at(k / 2)) * 0.5;
}

template <typename Estimate>
QVector<CrossSpectrum> stackEach(const QList<QVector<CrossSpectrum> >& blocks, Estimate estimate)
{
    QVector<CrossSpectrum> result;
    if (blocks.isEmpty())
        return result;
    const QVector<CrossSpectrum>& first = blocks.first();
    result.reserve(first.size());
    for (int k = 0; k < first.size(); ++k) {
        const CrossSpectrum& model = first.at(k);
        const QVector<CrossSpectrum> records = usableRecords(blocks, k, model.n);
        // Nothing to estimate from: zeros, as the mean gives.
        CrossSpectrum record = records.isEmpty() ? emptyLike(model) : estimate(records);
        record.n = std::max(model.n, 0);
        record.frequency = model.frequency;
        result.append(record);
    }
    return result;
}

} // namespace

QVector<CrossSpectrum> stackMean(const QList<QVector<CrossSpectrum> >& blocks)
{
    return stackEach(blocks, [](const QVector<CrossSpectrum>& records) {
        CrossSpectrum sum = emptyLike(records.first());
        const int n = sum.n;
        for (const CrossSpectrum& record : records) {
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j)
                    sum.matrix[i][j] += record.matrix.at(i).at(j);
            }
        }
        const double c = records.size();
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                sum.matrix[i][j] /= c;
        }
        return sum;
    });
}

QVector<CrossSpectrum> stackRobust(const QList<QVector<CrossSpectrum> >& blocks, int iterations)
{
    return stackEach(blocks, [iterations](const QVector<CrossSpectrum>& records) {
        return huberStack(records, iterations);
    });
}

QVector<CrossSpectrum> stackMedian(const QList<QVector<CrossSpectrum> >& blocks)
{
    return stackEach(blocks, [](const QVector<CrossSpectrum>& records) { return medianStack(records); });
}

CrossSpectrum huberStack(const QVector<CrossSpectrum>& records, int iterations)
{
    if (records.isEmpty())
        return CrossSpectrum();
    CrossSpectrum mean = emptyLike(records.first());
    const int n = mean.n;
    const int m = records.size();
    for (const CrossSpectrum& record : records) {
        if (!isUsable(record) || record.n != n)
            return mean;  // not of one shape: nothing sound to average
    }
    if (n == 0)
        return mean;

    // Fewer than one iteration still means one: the plain mean.
    const int rounds = std::max(iterations, 1);
    QVector<double> weights(m, 1.0);
    for (int round = 0; round < rounds; ++round) {
        mean.matrix = zeroMatrix(n);
        for (int b = 0; b < m; ++b) {
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j)
                    mean.matrix[i][j] += weights.at(b) * records.at(b).matrix.at(i).at(j);
            }
        }
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                mean.matrix[i][j] /= double(m);
        }
        if (round == rounds - 1)
            break;

        for (int b = 0; b < m; ++b) {
            double residual = 0;
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j)
                    residual += std::abs(weights.at(b) * records.at(b).matrix.at(i).at(j) - mean.matrix.at(i).at(j));
            }
            residual /= double(n) * n;
            weights[b] = residual <= 1.5 ? 1.0 : 1.5 / residual;
        }
    }
    return mean;
}

CrossSpectrum medianStack(const QVector<CrossSpectrum>& records)
{
    if (records.isEmpty())
        return CrossSpectrum();
    CrossSpectrum result = emptyLike(records.first());
    const int n = result.n;
    const int m = records.size();
    for (const CrossSpectrum& record : records) {
        if (!isUsable(record) || record.n != n)
            return result;
    }
    // A single record has no others to take a median of: it is its own estimate.
    if (m == 1) {
        result.matrix = records.first().matrix;
        return result;
    }

    QVector<CrossSpectrum> work = records;
    QVector<double> reals;
    QVector<double> imags;
    reals.reserve(m);
    imags.reserve(m);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            for (int b = 0; b < m; ++b) {
                reals.clear();
                imags.clear();
                for (int o = 0; o < m; ++o) {
                    if (o == b)
                        continue;
                    reals.append(work.at(o).matrix.at(i).at(j).real());
                    imags.append(work.at(o).matrix.at(i).at(j).imag());
                }
                work[b].matrix[i][j] = std::complex<double>(medianOf(reals), medianOf(imags));
            }
            reals.clear();
            imags.clear();
            for (int b = 0; b < m; ++b) {
                reals.append(work.at(b).matrix.at(i).at(j).real());
                imags.append(work.at(b).matrix.at(i).at(j).imag());
            }
            result.matrix[i][j] = std::complex<double>(medianOf(reals), medianOf(imags));
        }
    }
    return result;
}
