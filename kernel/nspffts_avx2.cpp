// nspffts, AVX2 variant: the FFT stages of nspfftcore.h instantiated for
// four complex values per vector. This file alone is compiled with AVX2 and
// FMA enabled; nspffts uses it only after checking that the CPU has both.
#include "nspfftcore.h"

#if defined(__AVX2__) && defined(__FMA__)

namespace {
constexpr NspFftKernels avx2Kernels = makeFftKernels<VecAvx2>("AVX2");
}

const NspFftKernels* nspFftKernelsAvx2() { return &avx2Kernels; }

#endif
