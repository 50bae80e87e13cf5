// The polar conversions' instruction-set variants inside nspcvrts.
//
// nspcbCartToPolar and nspcbPolarToCart exist once per vector width
// (scalar, SSE2, AVX2 with FMA, AVX-512); the widest one the CPU runs is
// chosen the first time they are needed, as nspisa.h describes. Tests
// select each variant in turn to check them all against the C library.
#ifndef VORTIGEN_KERNEL_NSPVMATH_H
#define VORTIGEN_KERNEL_NSPVMATH_H

#include "nsp.h"
#include "nspisa.h"

struct NspPolarKernels {
  const char* name;
  // The element loops of nspcbCartToPolar and nspcbPolarToCart for
  // length >= 1, valid pointers, and outputs that overlap no input.
  void (*cartToPolar)(const ComplexFloat* src, float* mag, float* phase, int length);
  void (*polarToCart)(const float* mag, const float* phase, ComplexFloat* dst, int length);
};

// The element loops as nspcvrts calls them: any overlap of outputs and
// inputs is handled one element at a time, first to last.
void nspPolarFromCart(const ComplexFloat* src, float* mag, float* phase, int length);
void nspCartFromPolar(const float* mag, const float* phase, ComplexFloat* dst, int length);

// The variant in use (chosen on first call).
const NspPolarKernels& nspPolarKernels();

// The variant `isa` (NspIsa) if this build and CPU have it, else null.
const NspPolarKernels* nspPolarKernelsFor(int isa);

// Switches to the variant `isa` if this build and CPU have it; returns
// whether it did. For tests and benchmarks.
bool nspPolarSelectIsa(int isa);

// The wide variants, each defined in its own translation unit; null when
// that unit was compiled without its instruction set (as in a build for
// 32-bit Windows). Call only after checking the CPU.
const NspPolarKernels* nspPolarKernelsAvx2();
const NspPolarKernels* nspPolarKernelsAvx512();

#endif
