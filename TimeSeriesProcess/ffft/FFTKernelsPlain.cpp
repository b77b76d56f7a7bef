// The portable kernel: four lanes of plain doubles.
#include "FFTKernelsImpl.h"

#include "VectorOpsPlain.h"

namespace ffft {

void runKernelPlain(const KernelArgs& args)
{
    kernel::Passes<PlainOps>::run(args);
}

} // namespace ffft
