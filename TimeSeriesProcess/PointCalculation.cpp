#include "PointCalculation.h"

#include <cmath>

void calcDepthByMeanRho(QVector<OneFreqImpedance> &list, double factor)
{
    double sum = 0;
    int count = 0;
    for (const OneFreqImpedance &r : list) {
        if (r.Frequency >= 8000.0 && r.Frequency <= 20000.0) {
            sum += r.ApparentResis;
            ++count;
        }
    }
    if (count == 0)
        return;
    const double mean = sum / count;
    for (OneFreqImpedance &r : list) {
        if (r.Frequency > 0)
            r.Depth = std::sqrt(mean / r.Frequency) * 356.0 * factor;
    }
}
