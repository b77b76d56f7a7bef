#include "TSGraphHeader.h"

#include <cmath>
#include <limits>

bool tsGraphSampleCount(const DataFileHeader& header, int* sampleRate, int* totalSamples)
{
    const uint32_t rate = header.sampleRate;
    const uint32_t duration = header.duration;
    if (rate < 1 || rate > uint32_t(MaxTSGraphRate) || duration < 1
        || duration > uint32_t(std::numeric_limits<int>::max()) / rate)
        return false;
    *sampleRate = int(rate);
    *totalSamples = int(rate * duration);
    return true;
}

int tsGraphSampleAt(double t, int sampleRate)
{
    const double limit = double(1 << 29);
    const double index = t * sampleRate;
    if (std::isnan(index))
        return 0;
    return int(std::fmax(-limit, std::fmin(limit, index)));
}
