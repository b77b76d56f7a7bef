#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One point of a board's or sensor's frequency response.
struct CalibrationData
{
    double frequency = 0;  // Hz
    double amplitude = 0;
    double phase = 0;      // radians
    double re = 0;         // amplitude * cos(phase), filled by resampleCalibration
    double im = 0;         // amplitude * sin(phase), filled by resampleCalibration
};

// Where the ".bin" calibration libraries are looked up by default: the program's folder,
// worked out once (safe from any thread; the application object must exist by then).
QString calibrationLibraryFolder();

// Names of every entry of every library in folder (files in name order ignoring case,
// entries in directory order). Libraries without the magic "MT" add nothing; a library
// whose directory does not fit in the file, and entries whose data lie outside the file,
// are skipped with a warning.
QStringList readBinIndex(const QString& folder = calibrationLibraryFolder());

// The response stored under name, from the first library that holds it with at least two
// points; empty when none does (a single point is no response: callers treat the entry as
// missing).
QVector<CalibrationData> readBinBoardCalibration(const QString& name,
                                                 const QString& folder = calibrationLibraryFolder());

// As readBinBoardCalibration; an "ICMS-B" name read with variant set becomes its "C" entry
// (name is changed accordingly), and "ICMS" sensors store amplitude / (1000 * frequency).
QVector<CalibrationData> readBinSensorCalibration(QString& name, bool variant,
                                                  const QString& folder = calibrationLibraryFolder());

// Linear interpolation in (xs, ys), xs ascending; no extrapolation (the end values are
// held). Fewer than 2 points or sizes that differ give 0 and a line on stderr.
double linearInterpolation(const QVector<double>& xs, const QVector<double>& ys, double x);

// The calibration interpolated at every one of frequencies, in their order, with re and im.
// Where the response is not finite (the table holds inf or NaN, or interpolating between
// huge values overflows) re and im are NaN and a warning says the calibration is unusable.
QVector<CalibrationData> resampleCalibration(const QVector<CalibrationData>& calibration,
                                             const QVector<double>& frequencies);
