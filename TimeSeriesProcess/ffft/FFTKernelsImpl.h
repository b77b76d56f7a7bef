#pragma once
// The transform's passes for lengths from 64 on, written once over a four-lane vector
// type O (plain doubles or AVX2). Every value goes through exactly the additions,
// subtractions and multiplications of the radix-2 passes, in the same order; only the
// order in which independent values are computed changes:
//   - the bit-reversed read walks the input in order (16 sequential streams) and scatters
//     whole groups of 16 outputs, with the taper multiplied in on the way;
//   - passes 1 to 3 and the first table pass run on those groups in registers;
//   - the later passes go two at a time per sweep over the data.
// Include it only from the kernels' own source files, each with its own O.

#include "FFTKernels.h"

namespace ffft {
namespace kernel {

template <class O>
struct Passes
{
    using V = typename O::V;
    // 2 x 16 KiB: source and destination of a chunk stay in the first-level cache.
    static constexpr int32_t ChunkLength = 2048;

    // Bit reversal, passes 1 and 2, pass 3 and the table pass of blocks of 16.
    template <bool Windowed>
    static void firstStage(const KernelArgs& a, double* out)
    {
        const int32_t N = int32_t(1) << a.nbr_bits;
        const int32_t stride = N >> 4;
        static const int reversed4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
        const V r2 = O::set1(0.7071067811865476);
        const double* c3 = a.cosOf[3];
        const double* s3 = a.sinOf[3];
        const V scale = O::set1(a.scale);

        for (int32_t q = 0; q < stride; q += 4) {
            V in[16];
            for (int t = 0; t < 16; ++t) {
                const int32_t index = q + t * stride;
                in[t] = Windowed ? O::mul(O::mul(O::load(a.x + index), scale), O::load(a.window + index))
                                 : O::load(a.x + index);
            }
            V d[16];
            for (int u = 0; u < 16; u += 4) {
                const V A = in[reversed4[u]], B = in[reversed4[u + 1]];
                const V C = in[reversed4[u + 2]], D = in[reversed4[u + 3]];
                d[u + 1] = O::sub(A, B);
                d[u + 3] = O::sub(C, D);
                const V sab = O::add(A, B);
                const V scd = O::add(C, D);
                d[u] = O::add(sab, scd);
                d[u + 2] = O::sub(sab, scd);
            }
            V e[16];
            for (int i = 0; i < 16; i += 8) {
                e[i] = O::add(d[i], d[i + 4]);
                e[i + 4] = O::sub(d[i], d[i + 4]);
                e[i + 2] = d[i + 2];
                e[i + 6] = d[i + 6];
                V v = O::mul(O::sub(d[i + 5], d[i + 7]), r2);
                e[i + 1] = O::add(d[i + 1], v);
                e[i + 3] = O::sub(d[i + 1], v);
                v = O::mul(O::add(d[i + 5], d[i + 7]), r2);
                e[i + 5] = O::add(v, d[i + 3]);
                e[i + 7] = O::sub(v, d[i + 3]);
            }
            V g[16];
            g[0] = O::add(e[0], e[8]);
            g[8] = O::sub(e[0], e[8]);
            g[4] = e[4];
            g[12] = e[12];
            for (int i = 1; i < 4; ++i) {
                const V ci = O::set1(c3[i]);
                const V si = O::set1(s3[i]);
                V v = O::sub(O::mul(e[8 + i], ci), O::mul(e[12 + i], si));
                g[i] = O::add(e[i], v);
                g[8 - i] = O::sub(e[i], v);
                v = O::add(O::mul(e[8 + i], si), O::mul(e[12 + i], ci));
                g[8 + i] = O::add(v, e[4 + i]);
                g[16 - i] = O::sub(v, e[4 + i]);
            }
            // Lane l holds the group whose inputs start at q + l.
            double* rows[4];
            for (int l = 0; l < 4; ++l)
                rows[l] = out + 16 * a.groups[q + l];
            for (int w = 0; w < 16; w += 4) {
                V t0 = g[w], t1 = g[w + 1], t2 = g[w + 2], t3 = g[w + 3];
                O::transpose(t0, t1, t2, t3);
                O::store(rows[0] + w, t0);
                O::store(rows[1] + w, t1);
                O::store(rows[2] + w, t2);
                O::store(rows[3] + w, t3);
            }
        }
    }

    // Four neighbouring i of one pass inside one block: (s1r, s2r, s1i, s2i) at i give
    // r (to i), rm (to m - i), i1 (to m + i) and i2 (to 2m - i).
    struct Butterfly
    {
        V r, rm, i1, i2;
    };

    static Butterfly butterfly(V s1r, V s2r, V s1i, V s2i, V c, V s)
    {
        Butterfly b;
        V v = O::sub(O::mul(s2r, c), O::mul(s2i, s));
        b.r = O::add(s1r, v);
        b.rm = O::sub(s1r, v);
        v = O::add(O::mul(s2r, s), O::mul(s2i, c));
        b.i1 = O::add(v, s1i);
        b.i2 = O::sub(v, s1i);
        return b;
    }

    static Butterfly load(const double* block, int32_t m, int32_t h, int32_t i, V c, V s)
    {
        return butterfly(O::load(block + i), O::load(block + m + i), O::load(block + h + i),
                         O::load(block + m + h + i), c, s);
    }

    // The chunks of four that cover i = 1 .. h - 1 (h >= 8) start at 1, 5, ... h - 7 and,
    // overlapping its neighbour (the same values are written again), h - 4.
    static int32_t chunkStart(int32_t k, int32_t h)
    {
        return k <= h - 7 ? k : h - 4;
    }

    // Pass p (blocks of 2m, m = 2^p) from src into dst.
    static void singlePass(double* dst, const double* src, int32_t N, int p, const double* cp, const double* sp)
    {
        const int32_t m = int32_t(1) << p;
        const int32_t h = m >> 1;
        for (int32_t c = 0; c < N; c += 2 * m) {
            const double* S = src + c;
            double* D = dst + c;
            D[0] = S[0] + S[m];
            D[m] = S[0] - S[m];
            D[h] = S[h];
            D[m + h] = S[m + h];
            for (int32_t k = 1; k <= h - 3; k += 4) {
                const int32_t i = chunkStart(k, h);
                const Butterfly b = load(S, m, h, i, O::load(cp + i), O::load(sp + i));
                O::store(D + i, b.r);
                O::storeReversed(D + m - i - 3, b.rm);
                O::store(D + m + i, b.i1);
                O::storeReversed(D + 2 * m - i - 3, b.i2);
            }
        }
    }

    // Passes p and p + 1 in one sweep (blocks of 4m): pass p's butterflies at i in both
    // halves of a block give everything pass p + 1 needs at i and at m - i.
    static void twoPasses(double* dst, const double* src, int32_t N, int p, const double* cp, const double* sp,
                          const double* cq, const double* sq)
    {
        const int32_t m = int32_t(1) << p;
        const int32_t h = m >> 1;
        for (int32_t c = 0; c < N; c += 4 * m) {
            const double* A = src + c;
            const double* B = A + 2 * m;
            double* D = dst + c;

            const double a0 = A[0] + A[m], am = A[0] - A[m], ah = A[h], amh = A[m + h];
            const double b0 = B[0] + B[m], bm = B[0] - B[m], bh = B[h], bmh = B[m + h];
            D[0] = a0 + b0;
            D[2 * m] = a0 - b0;
            D[m] = am;
            D[3 * m] = bm;
            {
                const double ci = cq[h];
                const double si = sq[h];
                double v = bh * ci - bmh * si;
                D[h] = ah + v;
                D[2 * m - h] = ah - v;
                v = bh * si + bmh * ci;
                D[2 * m + h] = v + amh;
                D[4 * m - h] = v - amh;
            }

            for (int32_t k = 1; k <= h - 3; k += 4) {
                const int32_t i = chunkStart(k, h);
                const V c1 = O::load(cp + i);
                const V s1 = O::load(sp + i);
                const Butterfly a = load(A, m, h, i, c1, s1);
                const Butterfly b = load(B, m, h, i, c1, s1);

                // Pass p + 1 at i: first halves at i and m + i.
                const Butterfly x = butterfly(a.r, b.r, a.i1, b.i1, O::load(cq + i), O::load(sq + i));
                O::store(D + i, x.r);
                O::storeReversed(D + 2 * m - i - 3, x.rm);
                O::store(D + 2 * m + i, x.i1);
                O::storeReversed(D + 4 * m - i - 3, x.i2);

                // Pass p + 1 at m - i (lanes run downwards): positions m - i and 2m - i.
                const Butterfly y = butterfly(a.rm, b.rm, a.i2, b.i2, O::loadReversed(cq + m - i - 3),
                                              O::loadReversed(sq + m - i - 3));
                O::storeReversed(D + m - i - 3, y.r);
                O::store(D + m + i, y.rm);
                O::storeReversed(D + 3 * m - i - 3, y.i1);
                O::store(D + 3 * m + i, y.i2);
            }
        }
    }

    static void run(const KernelArgs& a)
    {
        const int32_t N = int32_t(1) << a.nbr_bits;
        const int later = a.nbr_bits - 4;  // passes 4 .. nbr_bits - 1
        const int sweeps = later / 2 + later % 2;
        // Start in the array that makes the last sweep end in f.
        double* current = sweeps % 2 == 0 ? a.f : a.buffer;
        double* other = current == a.f ? a.buffer : a.f;
        if (a.window)
            firstStage<true>(a, current);
        else
            firstStage<false>(a, current);
        // The sweeps whose blocks fit in a chunk that stays in the first-level cache run
        // chunk by chunk; each chunk sees the same sweeps, so it ends in the same array.
        const int32_t chunk = N < ChunkLength ? N : ChunkLength;
        int p = 4;
        int chunkSweeps = 0;
        while (p + 1 + chunkSweeps * 2 < a.nbr_bits && (int32_t(4) << (p + chunkSweeps * 2)) <= chunk)
            ++chunkSweeps;
        for (int32_t c = 0; c < N; c += chunk) {
            double* from = current + c;
            double* to = other + c;
            for (int k = 0; k < chunkSweeps; ++k) {
                const int q = p + 2 * k;
                twoPasses(to, from, chunk, q, a.cosOf[q], a.sinOf[q], a.cosOf[q + 1], a.sinOf[q + 1]);
                double* t = from;
                from = to;
                to = t;
            }
        }
        if (chunkSweeps % 2 == 1) {
            double* t = current;
            current = other;
            other = t;
        }
        p += 2 * chunkSweeps;
        for (; p + 1 < a.nbr_bits; p += 2) {
            twoPasses(other, current, N, p, a.cosOf[p], a.sinOf[p], a.cosOf[p + 1], a.sinOf[p + 1]);
            double* t = current;
            current = other;
            other = t;
        }
        if (p < a.nbr_bits)
            singlePass(other, current, N, p, a.cosOf[p], a.sinOf[p]);
    }
};

} // namespace kernel
} // namespace ffft
