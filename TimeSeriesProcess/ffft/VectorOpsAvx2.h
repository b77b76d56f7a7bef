#pragma once
// Four doubles in one AVX2 register. Include only from source files built with -mavx2
// -mno-fma -ffp-contract=off. Defined per source file (anonymous namespace) on purpose:
// nothing compiled for AVX2 may be shared with code that runs without it.

#include <immintrin.h>

#if !defined(__AVX2__) || defined(__FMA__)
#error "built for AVX2 without FMA only"
#endif

namespace ffft {
namespace {

struct Avx2Ops
{
    using V = __m256d;

    static V load(const double* p) { return _mm256_loadu_pd(p); }
    static V loadReversed(const double* p) { return _mm256_permute4x64_pd(_mm256_loadu_pd(p), 0x1B); }
    static void store(double* p, V a) { _mm256_storeu_pd(p, a); }
    static void storeReversed(double* p, V a) { _mm256_storeu_pd(p, _mm256_permute4x64_pd(a, 0x1B)); }
    static V set1(double x) { return _mm256_set1_pd(x); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static void transpose(V& a, V& b, V& c, V& d)
    {
        const V ab0 = _mm256_unpacklo_pd(a, b);  // a0 b0 a2 b2
        const V ab1 = _mm256_unpackhi_pd(a, b);  // a1 b1 a3 b3
        const V cd0 = _mm256_unpacklo_pd(c, d);
        const V cd1 = _mm256_unpackhi_pd(c, d);
        a = _mm256_permute2f128_pd(ab0, cd0, 0x20);
        b = _mm256_permute2f128_pd(ab1, cd1, 0x20);
        c = _mm256_permute2f128_pd(ab0, cd0, 0x31);
        d = _mm256_permute2f128_pd(ab1, cd1, 0x31);
    }
};

} // namespace
} // namespace ffft
