#pragma once

#include "CalibrationLibrary.h"
#include "MTEstimates.h"
#include "SpectralPrimitives.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The result of one channel pair of one group: one record per standard frequency inside
// the band, ascending, and the averaged cross-power matrix at the same frequencies.
// Both empty means no result.
struct FreqImpData
{
    QVector<OneFreqImpedance> impedance;
    QVector<CrossSpectrum> crossPower;
};

class TimeSeriesProcess
{
public:
    // Sounding results of the channel files (electric channel first). The maps are keyed by
    // the file's position. fileType 28: the instrument's channel files, 18: header-less raw
    // files; anything else reads nothing. duration in seconds. method: 6 median, 8 robust,
    // 3 nothing, any other the mean of each triple of blocks.
    static FreqImpData realProcess(int fileType, QStringList files, QMap<int, QVector<CalibrationData> > boardCal,
                                   QMap<int, QVector<CalibrationData> > sensorCal, QVector<double> factors,
                                   double fs, double duration, bool sensorCalAll, int N, int method, int maxBlocks,
                                   bool detrend, double bw, QVector<int> excluded);

private:
    TimeSeriesProcess() = delete;
};

// One channel pair: files[0] the electric channel's file, files[1] the magnetic one. Block
// parameters come from files[0]'s header, calibrations from the ".bin" libraries of the
// program's folder. A missing file or calibration entry gives an empty result.
FreqImpData processWithBinCalibration(QStringList files, int N, int method, int maxBlocks, bool detrend, double bw,
                                      QVector<int> excluded);

// Drops the points below the band's lower bound; fmin and fmax are the band the spectrum
// supports at this rate (fmax only limits later selections).
QVector<SpectrumPoint> limitSpectrumBand(const QVector<SpectrumPoint>& spectrum, double fs, int N, double& fmin,
                                         double& fmax);

// Records at a mains-related notch frequency take resistivity and phase from the other
// records, weighted by 1 / distance^2 in the list; then every record's Depth and TrueResis.
void repairNotchFrequencies(QVector<OneFreqImpedance>& records);

bool isNotchFrequency(double frequency);

// The values v with lo <= v <= hi, in their order.
QVector<double> selectInRange(const QVector<double>& values, double lo, double hi);

// perDecade values per decade from `from` to `to`; values above 1 rounded to 2 decimals.
QVector<double> logSpacedFrequencies(double from, double to, int perDecade);

// Sorts its argument; never called with an empty list.
double median(QVector<double>& values);

// Bostick depth and Niblett-Bostick resistivity from the record's resistivity and phase.
void updateDepthAndTrueResis(OneFreqImpedance& record);
