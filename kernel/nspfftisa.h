// The instruction-set variants of the FFT stages inside nspffts.
//
// The stages exist once per vector width (scalar, SSE2, AVX2); nspffts picks
// the widest one the CPU runs the first time it needs them, as nspisa.h
// describes. Tests select each variant in turn to check them all against
// the same references.
#ifndef VORTIGEN_KERNEL_NSPFFTISA_H
#define VORTIGEN_KERNEL_NSPFFTISA_H

#include "nsp.h"
#include "nspisa.h"

struct NspFftKernels {
  const char* name;
  // The radix-4 kernels of 4..1024 points, base = radix table + 2 floats.
  void (*radix4Forward)(ComplexFloat* data, int n, const float* base);
  void (*radix4Inverse)(ComplexFloat* data, int n, const float* base);
  // Blocked radix-2 passes (see nspFftRadix2Passes).
  void (*radix2PassesForward)(ComplexFloat* data, int len, int span, const ComplexFloat* table,
                              int total, int run);
  void (*radix2PassesInverse)(ComplexFloat* data, int len, int span, const ComplexFloat* table,
                              int total, int run);
  // The real transform's split of the n-point complex result into bins
  // 0..n, in place in `out` (n + 1 values), per direction.
  void (*splitForward)(ComplexFloat* out, int n, const ComplexFloat* splitTable);
  void (*splitInverse)(ComplexFloat* out, int n, const ComplexFloat* splitTable);
  // The inverse real transform's pre-processing of bins 0..n into n complex
  // values, per direction; expTable is the exponential table of order 2n.
  void (*unsplitForward)(const ComplexFloat* in, ComplexFloat* out, int n,
                         const ComplexFloat* expTable);
  void (*unsplitInverse)(const ComplexFloat* in, ComplexFloat* out, int n,
                         const ComplexFloat* expTable);
  // Multiplies `count` complex values by a real factor.
  void (*scale)(ComplexFloat* data, int count, float factor);
  // The radix-4 kernels of 32..1024 points from natural-order src into a
  // dst that does not overlap it, the bit-reversal folded in, and with a
  // scale other than 0 every output multiplied by it; null where the
  // variant has none (reorder, radix-4 kernel and scaling pass then).
  void (*radix4NaturalForward)(const ComplexFloat* src, ComplexFloat* dst, int n, const float* base,
                               float scale);
  void (*radix4NaturalInverse)(const ComplexFloat* src, ComplexFloat* dst, int n, const float* base,
                               float scale);
};

// The variant in use (chosen on first call).
const NspFftKernels& nspFftKernels();

// The variant `isa` (NspIsa) if this build and CPU have it, else null.
const NspFftKernels* nspFftKernelsFor(int isa);

// Switches to the variant `isa` if this build and CPU have it; returns
// whether it did. For tests and benchmarks.
bool nspFftSelectIsa(int isa);

// The AVX2 variant, defined in its own translation unit; null when that
// unit was compiled without AVX2 and FMA. Call only after checking the CPU.
const NspFftKernels* nspFftKernelsAvx2();

#endif
