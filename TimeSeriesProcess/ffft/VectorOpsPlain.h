#pragma once
// Four lanes of plain doubles, each operation lane by lane: the portable twin of
// VectorOpsAvx2.h. Defined per source file (anonymous namespace) on purpose.

namespace ffft {
namespace {

struct PlainOps
{
    struct V
    {
        double v[4];
    };

    static V load(const double* p) { return V{{p[0], p[1], p[2], p[3]}}; }
    static V loadReversed(const double* p) { return V{{p[3], p[2], p[1], p[0]}}; }
    static void store(double* p, const V& a)
    {
        for (int l = 0; l < 4; ++l)
            p[l] = a.v[l];
    }
    static void storeReversed(double* p, const V& a)
    {
        for (int l = 0; l < 4; ++l)
            p[3 - l] = a.v[l];
    }
    static V set1(double x) { return V{{x, x, x, x}}; }
    static V add(const V& a, const V& b) { return V{{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}}; }
    static V sub(const V& a, const V& b) { return V{{a.v[0] - b.v[0], a.v[1] - b.v[1], a.v[2] - b.v[2], a.v[3] - b.v[3]}}; }
    static V mul(const V& a, const V& b) { return V{{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}}; }
    static void transpose(V& a, V& b, V& c, V& d)
    {
        const V r0{{a.v[0], b.v[0], c.v[0], d.v[0]}};
        const V r1{{a.v[1], b.v[1], c.v[1], d.v[1]}};
        const V r2{{a.v[2], b.v[2], c.v[2], d.v[2]}};
        const V r3{{a.v[3], b.v[3], c.v[3], d.v[3]}};
        a = r0;
        b = r1;
        c = r2;
        d = r3;
    }
};

} // namespace
} // namespace ffft
