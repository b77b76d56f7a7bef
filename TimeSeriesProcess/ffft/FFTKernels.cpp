#include "FFTKernels.h"

#include <atomic>

namespace ffft {
namespace {

std::atomic<bool> plainForced{false};

} // namespace

bool avx2Available()
{
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
#else
    return false;
#endif
}

void forcePlainKernel(bool plain)
{
    plainForced.store(plain, std::memory_order_relaxed);
}

bool useAvx2Kernels()
{
    return avx2Available() && !plainForced.load(std::memory_order_relaxed);
}

void runKernel(const KernelArgs& args)
{
    if (useAvx2Kernels())
        runKernelAvx2(args);
    else
        runKernelPlain(args);
}

} // namespace ffft
