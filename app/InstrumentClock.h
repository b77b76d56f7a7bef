#pragma once

#include <QtGlobal>

#include <atomic>

// The instrument clock as of the last status report, kept by the status bar and read when a
// cooperative start is planned.
extern std::atomic<qint64> TimeDiff;    // instrument time minus computer time, ms
extern std::atomic<quint8> TimeSynced;  // non-zero when the instrument clock is satellite-set
