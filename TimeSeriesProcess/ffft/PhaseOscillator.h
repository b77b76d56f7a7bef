#pragma once

#include <cmath>

namespace ffft {

// Cosine and sine of k times a fixed step, advanced by one rotation per call. Used where a
// table of the whole pass would be too large to stay in cache.
class PhaseOscillator
{
public:
    void setStep(double angle)
    {
        _step_cos = std::cos(angle);
        _step_sin = std::sin(angle);
    }
    void clearBuffers()
    {
        _pos_cos = 1;
        _pos_sin = 0;
    }
    void step()
    {
        const double oldCos = _pos_cos;
        const double oldSin = _pos_sin;
        _pos_cos = oldCos * _step_cos - oldSin * _step_sin;
        _pos_sin = oldCos * _step_sin + oldSin * _step_cos;
    }
    double getCos() const
    {
        return _pos_cos;
    }
    double getSin() const
    {
        return _pos_sin;
    }

private:
    double _pos_cos = 1;
    double _pos_sin = 0;
    double _step_cos = 1;
    double _step_sin = 0;
};

} // namespace ffft
