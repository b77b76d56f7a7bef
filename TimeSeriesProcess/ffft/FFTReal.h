#pragma once

#include "Assert.h"
#include "DynArray.h"
#include "FFTKernels.h"
#include "PhaseOscillator.h"

#include <cmath>
#include <cstdint>
#include <type_traits>
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
// One object per thread: transform() writes the work buffer. From 64 samples on, double
// transforms run the vector kernels (FFTKernels.h), which give the passes' values bit for
// bit; the twiddles of every pass, oscillator passes included, are computed once here.
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
    // The transform of x[i] * scale * window[i], the product rounded as written, without
    // an intermediate array.
    void transform_windowed(DataType f[], const DataType x[], const DataType window[], DataType scale);
    DataType* use_buffer() const;

private:
    // Above this pass the twiddles come from an oscillator instead of the table.
    enum { TRIGO_BD_LIMIT = 12 };
    // From this length on (2^6) the vector kernels run.
    enum { KERNEL_MIN_BITS = 6 };
    static constexpr bool HasKernel = std::is_same<DT, double>::value;

    static int32_t bitsToCount(int32_t x);
    void initBitReversal();
    void initCosineTable();
    void initOscillators();
    void initTwiddles();
    void runKernel(DataType f[], const DataType x[], const DataType window[], DataType scale);

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
    // Per pass p >= 3: cos and sin of i pi / 2^p for i < 2^(p-1), from the table or the
    // oscillator's recurrence exactly as the pass would step it.
    DynArray<double> _twiddles;
    // Bit-reversal of the groups of 16 (the entries 16 q of the table), kept apart so the
    // kernel's read of them stays small.
    DynArray<int32_t> _group_br;
    const double* _cos_of[MAX_BIT_DEPTH] = {};
    const double* _sin_of[MAX_BIT_DEPTH] = {};
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
    initTwiddles();
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
void FFTReal<DT>::initTwiddles()
{
    if (!HasKernel || _nbr_bits < KERNEL_MIN_BITS)
        return;
    _group_br.resize(_length / 16);
    for (int32_t q = 0; q < _length / 16; ++q)
        _group_br[q] = _br_lut[16 * q];
    // 2^(p-1) cosines and as many sines per pass p = 3 .. _nbr_bits - 1.
    _twiddles.resize(2 * ((1 << (_nbr_bits - 1)) - 4));
    double* next = &_twiddles[0];
    for (int pass = 3; pass < _nbr_bits; ++pass) {
        const int32_t h = 1 << (pass - 1);
        double* c = next;
        double* s = next + h;
        next += 2 * h;
        c[0] = 1;
        s[0] = 0;
        if (pass <= TRIGO_BD_LIMIT) {
            const DataType* cosTable = &_trigo_lut[h - 4];
            for (int32_t i = 1; i < h; ++i) {
                c[i] = double(cosTable[i]);
                s[i] = double(cosTable[h - i]);
            }
        } else {
            PhaseOscillator osc = _trigo_osc[pass - (TRIGO_BD_LIMIT + 1)];
            osc.clearBuffers();
            for (int32_t i = 1; i < h; ++i) {
                osc.step();
                c[i] = osc.getCos();
                s[i] = osc.getSin();
            }
        }
        _cos_of[pass] = c;
        _sin_of[pass] = s;
    }
}

template <class DT>
void FFTReal<DT>::runKernel(DataType f[], const DataType x[], const DataType window[], DataType scale)
{
    if constexpr (HasKernel) {
        KernelArgs args;
        args.f = f;
        args.buffer = use_buffer();
        args.x = x;
        args.window = window;
        args.scale = scale;
        args.nbr_bits = _nbr_bits;
        args.groups = &_group_br[0];
        args.cosOf = _cos_of;
        args.sinOf = _sin_of;
        ffft::runKernel(args);
    }
}

template <class DT>
void FFTReal<DT>::transform_windowed(DataType f[], const DataType x[], const DataType window[], DataType scale)
{
    ffft_assert(f != 0);
    ffft_assert(f != use_buffer ());
    ffft_assert(x != 0);
    ffft_assert(x != use_buffer ());
    ffft_assert(x != f);
    ffft_assert(window != 0);
    if (HasKernel && _nbr_bits >= KERNEL_MIN_BITS) {
        runKernel(f, x, window, scale);
        return;
    }
    // Short lengths: taper into a small array first.
    DataType tapered[1 << KERNEL_MIN_BITS];
    for (int32_t i = 0; i < _length; ++i)
        tapered[i] = x[i] * scale * window[i];
    transform(f, tapered);
}

template <class DT>
void FFTReal<DT>::transform(DataType f[], const DataType x[])
{
    ffft_assert(f != 0);
    ffft_assert(f != use_buffer ());
    ffft_assert(x != 0);
    ffft_assert(x != use_buffer ());
    ffft_assert(x != f);

    if (HasKernel && _nbr_bits >= KERNEL_MIN_BITS) {
        runKernel(f, x, nullptr, DataType(1));
    } else if (_nbr_bits > 2) {
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
