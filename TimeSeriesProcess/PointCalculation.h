#pragma once

#include "MTEstimates.h"
#include "SpectralPipeline.h"

#include "PointParam.h"

#include <QMap>
#include <QString>
#include <QVector>

// A point's sounding results keyed by channel pair: 0, 1, 2 = E0, E1, E2 with the magnetic
// channel their CHMatch bits name; 3, 4, 5 = E0, E1, E2 with Hz.
using PointResult = QMap<int, QVector<OneFreqImpedance> >;
using PointCrossPower = QMap<int, QVector<CrossSpectrum> >;

// The point's results. Without force an existing result table is read back; otherwise
// every group is computed on the global pool, merged in group order and both tables are
// written. Blocks; run it on a pool thread. ok (if given) tells whether anything came out.
PointResult calcPointData(const QString& pointDir, const st_PointParam& param, bool* ok = nullptr,
                          bool force = false);

// Merges one group's results into the point's result table and returns the table's map.
PointResult calcGroupData(const QString& pointDir, const st_PointParam& param, int group, bool* ok = nullptr);

// Every channel pair of one group (1 to 4) that the masks ask for; a pair without result
// is absent.
QMap<int, FreqImpData> p_calcFreqData(const QString& pointDir, quint8 chSelect, quint8 chMatch, uint group,
                                      bool* ok = nullptr);

// One channel pair of one group; channels 0-based (0 Hx ... 5 E2), a the electric one.
FreqImpData CalcImpedance(const QString& pointDir, int group, int a, int b);

// Replaces every depth from the list's mean apparent resistivity over 8000 .. 20000 Hz
// (closed band). An empty list, or one with nothing in that band, stays unchanged.
void calcDepthByMeanRho(QVector<OneFreqImpedance>& list, double factor);

// The point's tables: "<project>/data/<id>.txt" and "<project>/data/CP_<id>.txt", the
// project folder being the point folder's parent.
QString impedanceTablePath(const QString& pointDir, const st_PointParam& param);
QString crossPowerTablePath(const QString& pointDir, const st_PointParam& param);

// Writes replace the file as a whole (temporary file and rename) and are serialised per
// path with the readers; false when the file could not be written. An empty map writes
// no impedance table (an existing one stays).
bool writeImpedanceFile(const QString& path, const PointResult& result);
PointResult readImpedanceFile(const QString& path);
bool writeCrossPowerFile(const QString& path, const PointCrossPower& crossPower);
