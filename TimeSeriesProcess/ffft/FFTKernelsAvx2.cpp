// The AVX2 kernel. Built with -mavx2 -mno-fma -ffp-contract=off (see the library's
// CMakeLists): a fused multiply-add would round differently from the plain passes.
#include "FFTKernelsImpl.h"

#if defined(__AVX2__)
#include "VectorOpsAvx2.h"

namespace ffft {

void runKernelAvx2(const KernelArgs& args)
{
    kernel::Passes<Avx2Ops>::run(args);
}

} // namespace ffft

#else

namespace ffft {
// Built without AVX2 (another compiler or target): the dispatcher never picks this.
void runKernelAvx2(const KernelArgs& args)
{
    runKernelPlain(args);
}
} // namespace ffft

#endif
