#include "BandSumsImpl.h"
#include "ffft/FFTKernels.h"
#include "ffft/VectorOpsPlain.h"

void bandSumsPairPlain(const BandSumsArgs& args)
{
    bandSumsWith<ffft::PlainOps>(args);
}

void bandSumsPair(const BandSumsArgs& args)
{
    if (ffft::useAvx2Kernels())
        bandSumsPairAvx2(args);
    else
        bandSumsPairPlain(args);
}
