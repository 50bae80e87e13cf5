// The polar conversions for AVX2 with FMA, two registers of four doubles
// at a time. The build compiles this file alone with -mavx2 -mfma;
// nspvmath.cpp calls it only on a CPU that has both.
#include "nspvmath.h"

#if defined(__AVX2__) && defined(__FMA__)

#include "nspvmathpolar.h"

namespace {
const NspPolarKernels kernels = {nspIsaNames[NSP_IsaAvx2], polar::cartToPolarRun<Twice<MathAvx2>>,
                                 polar::polarToCartRun<Twice<MathAvx2>>};
}

const NspPolarKernels* nspPolarKernelsAvx2() { return &kernels; }

#else

const NspPolarKernels* nspPolarKernelsAvx2() { return nullptr; }

#endif
