// The polar conversions for AVX-512F, two registers of eight doubles at a
// time. The build compiles this file alone with -mavx512f; nspvmath.cpp
// calls it only on a CPU (and system) that has it.
#include "nspvmath.h"

#if defined(__AVX512F__)

#include "nspvmathpolar.h"

namespace {
const NspPolarKernels kernels = {nspIsaNames[NSP_IsaAvx512],
                                 polar::cartToPolarRun<Twice<MathAvx512>>,
                                 polar::polarToCartRun<Twice<MathAvx512>>};
}

const NspPolarKernels* nspPolarKernelsAvx512() { return &kernels; }

#else

const NspPolarKernels* nspPolarKernelsAvx512() { return nullptr; }

#endif
