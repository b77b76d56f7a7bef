#pragma once

#include "Assert.h"
#include "DynArray.h"
#include "PhaseOscillator.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace ffft {

inline bool FFTReal_is_pow2(int32_t x)
{
    return (x & -x) == x;
}

// Forward real FFT of a power-of-two length, unscaled, radix 2 decimation in time.
// Output layout of transform(f, x), with X(k) = sum x[n] exp(-2 pi i k n / N):
//   f[k]         =  Re X(k)  for k = 0 .. N/2
//   f[N/2 + k]   = -Im X(k)  for k = 1 .. N/2 - 1
// One object per thread: transform() writes the work buffer and the oscillators.
template <class DT>
class FFTReal
{
public:
    using DataType = DT;
    enum { MAX_BIT_DEPTH = 30 };

    explicit FFTReal(int32_t length);
    virtual ~FFTReal() = default;

    FFTReal(const FFTReal&) = delete;
    FFTReal& operator=(const FFTReal&) = delete;

    void transform(DataType f[], const DataType x[]);
    DataType* use_buffer() const;

private:
    // Above this pass the twiddles come from an oscillator instead of the table.
    enum { TRIGO_BD_LIMIT = 12 };

    static int32_t bitsToCount(int32_t x);
    void initBitReversal();
    void initCosineTable();
    void initOscillators();

    void computeGeneral(DataType f[], const DataType x[]);
    void computeDirectPass12(DataType df[], const DataType x[]) const;
    void computeDirectPass3(DataType dest[], const DataType src[]) const;
    void computeTablePass(DataType df[], const DataType sf[], int pass) const;
    void computeOscillatorPass(DataType df[], const DataType sf[], int pass);

    int32_t _length;
    int32_t _nbr_bits;
    DynArray<int32_t> _br_lut;
    DynArray<DataType> _trigo_lut;
    mutable DynArray<DataType> _buffer;
    DynArray<PhaseOscillator> _trigo_osc;
};

template <class DT>
int32_t FFTReal<DT>::bitsToCount(int32_t x)
{
    ffft_assert(x > 0);
    int32_t bits = 0;
    for (int32_t v = x - 1; v > 0; v >>= 1)
        ++bits;
    return bits;
}

template <class DT>
FFTReal<DT>::FFTReal(int32_t length)
    : _length(length)
    , _nbr_bits(bitsToCount(length))
{
    _buffer.resize(length);
    ffft_assert(FFTReal_is_pow2 (length));
    ffft_assert(_nbr_bits <= MAX_BIT_DEPTH);
    initBitReversal();
    initCosineTable();
    initOscillators();
}

template <class DT>
typename FFTReal<DT>::DataType* FFTReal<DT>::use_buffer() const
{
    return &_buffer[0];
}

template <class DT>
void FFTReal<DT>::initBitReversal()
{
    _br_lut.resize(_length);
    for (int32_t i = 0; i < _length; ++i) {
        int32_t reversed = 0;
        for (int32_t b = 0; b < _nbr_bits; ++b)
            reversed |= ((i >> b) & 1) << (_nbr_bits - 1 - b);
        _br_lut[i] = reversed;
    }
}

template <class DT>
void FFTReal<DT>::initCosineTable()
{
    if (_nbr_bits <= 3)
        return;
    _trigo_lut.resize((1 << (_nbr_bits - 1)) - 4);
    const double pi = 3.141592653589793;
    for (int level = 3; level < _nbr_bits; ++level) {
        const int32_t count = 1 << (level - 1);
        const int32_t start = count - 4;
        const double mul = pi / double(1 << level);
        for (int32_t i = 0; i < count; ++i)
            _trigo_lut[start + i] = DataType(std::cos(i * mul));
    }
}

template <class DT>
void FFTReal<DT>::initOscillators()
{
    if (_nbr_bits <= TRIGO_BD_LIMIT)
        return;
    const int32_t count = _nbr_bits - TRIGO_BD_LIMIT;
    _trigo_osc.resize(count);
    const double pi = 3.141592653589793;
    for (int32_t k = 0; k < count; ++k)
        _trigo_osc[k].setStep((pi / 2) / double(1 << (TRIGO_BD_LIMIT + k)));
}

template <class DT>
void FFTReal<DT>::transform(DataType f[], const DataType x[])
{
    ffft_assert(f != 0);
    ffft_assert(f != use_buffer ());
    ffft_assert(x != 0);
    ffft_assert(x != use_buffer ());
    ffft_assert(x != f);

    if (_nbr_bits > 2) {
        computeGeneral(f, x);
    } else if (_nbr_bits == 2) {
        f[1] = x[0] - x[2];
        f[3] = x[1] - x[3];
        const DataType b0 = x[0] + x[2];
        const DataType b2 = x[1] + x[3];
        f[0] = b0 + b2;
        f[2] = b0 - b2;
    } else if (_nbr_bits == 1) {
        f[0] = x[0] + x[1];
        f[1] = x[0] - x[1];
    } else {
        f[0] = x[0];
    }
}

template <class DT>
void FFTReal<DT>::computeGeneral(DataType f[], const DataType x[])
{
    // Two arrays alternate as source and destination; pick the start so that the
    // last pass writes into f.
    DataType* df;
    DataType* sf;
    if (_nbr_bits & 1) {
        df = use_buffer();
        sf = f;
    } else {
        df = f;
        sf = use_buffer();
    }

    computeDirectPass12(df, x);
    computeDirectPass3(sf, df);

    for (int pass = 3; pass < _nbr_bits; ++pass) {
        if (pass <= TRIGO_BD_LIMIT)
            computeTablePass(df, sf, pass);
        else
            computeOscillatorPass(df, sf, pass);
        std::swap(df, sf);
    }
}

template <class DT>
void FFTReal<DT>::computeDirectPass12(DataType df[], const DataType x[]) const
{
    ffft_assert(df != 0);
    ffft_assert(x != 0);
    ffft_assert(df != x);
    const int32_t* br = &_br_lut[0];
    for (int32_t i = 0; i < _length; i += 4) {
        const DataType a = x[br[i]];
        const DataType b = x[br[i + 1]];
        const DataType c = x[br[i + 2]];
        const DataType d = x[br[i + 3]];
        df[i + 1] = a - b;
        df[i + 3] = c - d;
        const DataType sab = a + b;
        const DataType scd = c + d;
        df[i] = sab + scd;
        df[i + 2] = sab - scd;
    }
}

template <class DT>
void FFTReal<DT>::computeDirectPass3(DataType dest[], const DataType src[]) const
{
    ffft_assert(dest != 0);
    ffft_assert(src != 0);
    ffft_assert(dest != src);
    const DataType sqrt2_2 = DataType(0.7071067811865476);
    for (int32_t i = 0; i < _length; i += 8) {
        dest[i] = src[i] + src[i + 4];
        dest[i + 4] = src[i] - src[i + 4];
        dest[i + 2] = src[i + 2];
        dest[i + 6] = src[i + 6];

        DataType v = (src[i + 5] - src[i + 7]) * sqrt2_2;
        dest[i + 1] = src[i + 1] + v;
        dest[i + 3] = src[i + 1] - v;

        v = (src[i + 5] + src[i + 7]) * sqrt2_2;
        dest[i + 5] = v + src[i + 3];
        dest[i + 7] = v - src[i + 3];
    }
}

template <class DT>
void FFTReal<DT>::computeTablePass(DataType df[], const DataType sf[], int pass) const
{
    ffft_assert(df != 0);
    ffft_assert(sf != 0);
    ffft_assert(df != sf);
    ffft_assert(pass < _nbr_bits);

    const int32_t m = 1 << pass;
    const int32_t h = m >> 1;
    const DataType* cosTable = &_trigo_lut[h - 4];

    for (int32_t c = 0; c < _length; c += m * 2) {
        const DataType* s1r = sf + c;
        const DataType* s2r = s1r + m;
        const DataType* s1i = s1r + h;
        const DataType* s2i = s1i + m;
        DataType* dfr = df + c;
        DataType* dfi = dfr + m;

        dfr[0] = s1r[0] + s2r[0];
        dfi[0] = s1r[0] - s2r[0];
        dfr[h] = s1r[h];
        dfi[h] = s2r[h];

        for (int32_t i = 1; i < h; ++i) {
            const DataType ci = cosTable[i];
            const DataType si = cosTable[h - i];

            DataType v = s2r[i] * ci - s2i[i] * si;
            dfr[i] = s1r[i] + v;
            dfi[-i] = s1r[i] - v;

            v = s2r[i] * si + s2i[i] * ci;
            dfi[i] = v + s1i[i];
            dfi[m - i] = v - s1i[i];
        }
    }
}

template <class DT>
void FFTReal<DT>::computeOscillatorPass(DataType df[], const DataType sf[], int pass)
{
    ffft_assert(df != 0);
    ffft_assert(sf != 0);
    ffft_assert(df != sf);
    ffft_assert(pass < _nbr_bits);

    const int32_t m = 1 << pass;
    const int32_t h = m >> 1;
    PhaseOscillator& osc = _trigo_osc[pass - (TRIGO_BD_LIMIT + 1)];

    for (int32_t c = 0; c < _length; c += m * 2) {
        const DataType* s1r = sf + c;
        const DataType* s2r = s1r + m;
        const DataType* s1i = s1r + h;
        const DataType* s2i = s1i + m;
        DataType* dfr = df + c;
        DataType* dfi = dfr + m;

        dfr[0] = s1r[0] + s2r[0];
        dfi[0] = s1r[0] - s2r[0];
        dfr[h] = s1r[h];
        dfi[h] = s2r[h];

        osc.clearBuffers();
        for (int32_t i = 1; i < h; ++i) {
            osc.step();
            const DataType ci = DataType(osc.getCos());
            const DataType si = DataType(osc.getSin());

            DataType v = s2r[i] * ci - s2i[i] * si;
            dfr[i] = s1r[i] + v;
            dfi[-i] = s1r[i] - v;

            v = s2r[i] * si + s2i[i] * ci;
            dfi[i] = v + s1i[i];
            dfi[m - i] = v - s1i[i];
        }
    }
}

} // namespace ffft
