// nspffts, AVX2 variant: the FFT stages of nspfftcore.h instantiated for
// four complex values per vector. The build compiles this file alone with
// -mavx2 -mfma; nspffts calls it only on a CPU that has both.
#include "nspfftcore.h"

#if defined(__AVX2__) && defined(__FMA__)

namespace {
constexpr NspFftKernels avx2Kernels = makeFftKernels<VecAvx2>(NSP_IsaAvx2);
}

const NspFftKernels* nspFftKernelsAvx2() { return &avx2Kernels; }

#else

const NspFftKernels* nspFftKernelsAvx2() { return nullptr; }

#endif
