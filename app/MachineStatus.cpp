#include "MachineStatus.h"

#include <QtEndian>

#include <cstring>

namespace {

float floatAt(const uchar* bytes, int offset)
{
    const quint32 word = qFromLittleEndian<quint32>(bytes + offset);
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

} // namespace

bool readMachineStatus(const char* data, qint64 size, st_MachineStatus* status)
{
    if (!data || !status || size < st_MachineStatus::Size)
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(data);
    st_MachineStatus s;
    s.Time = qFromLittleEndian<quint64>(bytes);
    s.State = bytes[8];
    s.GPSState = bytes[10];
    s.Satellites = bytes[11];
    s.Voltage = floatAt(bytes, 12);
    s.FreeMemory = floatAt(bytes, 16);
    s.CPUTemperature = floatAt(bytes, 20);
    s.ErrorBits = qFromLittleEndian<quint32>(bytes + 24);
    s.Latitude = floatAt(bytes, 28);
    s.Longitude = floatAt(bytes, 32);
    s.Altitude = floatAt(bytes, 36);
    s.ClockValid = bytes[40];
    s.ErrorChannels = bytes[41];
    *status = s;
    return true;
}
