#pragma once

#include <cstdint>

namespace ffft {

// Everything the fast transform needs for one call. Lengths from 64 on (nbr_bits >= 6).
struct KernelArgs
{
    double* f = nullptr;              // output, N values
    double* buffer = nullptr;         // work buffer, N values
    const double* x = nullptr;        // input, N values, read in bit-reversed order
    const double* window = nullptr;   // taper factor per sample, or null
    double scale = 1;                 // read only with a window: x * scale * window
    int32_t nbr_bits = 0;
    const int32_t* groups = nullptr;  // N / 16 entries: where the group of 16 read from q goes
    const double* const* cosOf = nullptr;  // per pass p: cos of i pi / 2^p, i < 2^(p-1)
    const double* const* sinOf = nullptr;  // per pass p: the matching sine values
};

// The same arithmetic, operation for operation, as the radix-2 passes one after the
// other, so both kernels give bit for bit what the plain passes give.
void runKernelPlain(const KernelArgs& args);
void runKernelAvx2(const KernelArgs& args);

// AVX2 when the processor has it and nobody asked for the plain kernel.
void runKernel(const KernelArgs& args);
bool avx2Available();
bool useAvx2Kernels();
// Tests run both kernels on one machine; false restores the automatic choice.
void forcePlainKernel(bool plain);

} // namespace ffft
