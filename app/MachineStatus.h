#pragma once

#include <QtGlobal>

// One status report of the instrument. On the wire it is 48 little-endian bytes; it is decoded
// field by field so the host's struct layout never matters.
struct st_MachineStatus
{
    static constexpr int Size = 48;

    quint64 Time = 0;          // 0: instrument clock, ms since 1970-01-01 UTC
    quint8 State = 0;          // 8: 0 idle, 1 busy, 2 error, other = transmission error
    quint8 GPSState = 0;       // 10: 0 not locked, 1 locked, 2 error
    quint8 Satellites = 0;     // 11
    float Voltage = 0;         // 12: V
    float FreeMemory = 0;      // 16: percent
    float CPUTemperature = 0;  // 20: degrees Celsius
    quint32 ErrorBits = 0;     // 24: ERR_ID bits
    float Latitude = 0;        // 28: ddmm.mmmm
    float Longitude = 0;       // 32: ddmm.mmmm
    float Altitude = 0;        // 36
    quint8 ClockValid = 0;     // 40: instrument clock set from the satellites
    quint8 ErrorChannels = 0;  // 41: bit c-1 = channel c
};

// Decodes a raw status report. A report shorter than 48 bytes is refused (false, *status
// untouched): a torn report must not be shown as if the instrument had said it.
bool readMachineStatus(const char* data, qint64 size, st_MachineStatus* status);
