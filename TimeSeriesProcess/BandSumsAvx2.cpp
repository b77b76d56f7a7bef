// Built with -mavx2 -mno-fma -ffp-contract=off (see CMakeLists), like the transform's kernel.
#include "BandSumsImpl.h"

#if defined(__AVX2__)
#include "ffft/VectorOpsAvx2.h"

void bandSumsPairAvx2(const BandSumsArgs& args)
{
    bandSumsWith<ffft::Avx2Ops>(args);
}
#else
void bandSumsPairAvx2(const BandSumsArgs& args)
{
    bandSumsPairPlain(args);
}
#endif
