// The polar conversions' scalar and SSE2 variants, the choice of the
// variant in use, and the element-at-a-time path for overlapping buffers.
#include "nspvmath.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "nspvmathpolar.h"

namespace {

#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
// Arithmetic with excess precision (x87) breaks the exact two-sums the
// polynomial code relies on: there the scalar variant is the C library's.
void cartToPolarElement(const float* element, float* mag, float* phase) {
  const double re = element[0], im = element[1];
  if (im != 0.0) {
    *mag = static_cast<float>(std::sqrt(re * re + im * im));
    *phase = static_cast<float>(std::atan2(im, re));
  } else {
    polar::polarOfRealAxis(element, mag, phase);
  }
}

void polarToCartElement(const float* mag, const float* phase, float* dst) {
  const double angle = *phase, length = *mag;
  dst[0] = static_cast<float>(std::cos(angle) * length);
  dst[1] = static_cast<float>(std::sin(angle) * length);
}
#else
void cartToPolarElement(const float* element, float* mag, float* phase) {
  polar::cartToPolarBlock<MathScalar>(element, mag, phase);
}

void polarToCartElement(const float* mag, const float* phase, float* dst) {
  polar::polarToCartBlock<MathScalar>(mag, phase, dst);
}
#endif

// One element at a time from copies of its inputs, first to last: the
// order the routines promise when outputs overlap inputs.
void cartToPolarInOrder(const ComplexFloat* src, float* mag, float* phase, int length) {
  for (int i = 0; i < length; ++i) {
    float element[2];
    std::memcpy(element, &src[i], sizeof element);
    cartToPolarElement(element, mag + i, phase + i);
  }
}

void polarToCartInOrder(const float* mag, const float* phase, ComplexFloat* dst, int length) {
  for (int i = 0; i < length; ++i) {
    const float m = mag[i], p = phase[i];
    polarToCartElement(&m, &p, reinterpret_cast<float*>(dst + i));
  }
}

const NspPolarKernels scalarKernels = {nspIsaNames[NSP_IsaScalar], cartToPolarInOrder,
                                       polarToCartInOrder};

#if defined(__SSE2__)
const NspPolarKernels sse2Kernels = {nspIsaNames[NSP_IsaSse2],
                                     polar::cartToPolarRun<Twice<MathSse2>>,
                                     polar::polarToCartRun<Twice<MathSse2>>};
#endif

// The variants this build compiled.
const NspPolarKernels* builtKernels(int isa) {
  switch (isa) {
    case NSP_IsaScalar: return &scalarKernels;
#if defined(__SSE2__)
    case NSP_IsaSse2: return &sse2Kernels;
#endif
    case NSP_IsaAvx2: return nspPolarKernelsAvx2();
    case NSP_IsaAvx512: return nspPolarKernelsAvx512();
    default: return nullptr;
  }
}

NspIsaChoice<NspPolarKernels> choice{builtKernels};

bool overlap(const void* a, size_t aBytes, const void* b, size_t bBytes) {
  const uintptr_t x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
  return x < y + bBytes && y < x + aBytes;
}

}  // namespace

const NspPolarKernels* nspPolarKernelsFor(int isa) { return choice.variant(isa); }

const NspPolarKernels& nspPolarKernels() { return choice.inUse(); }

bool nspPolarSelectIsa(int isa) { return choice.select(isa); }

void nspPolarFromCart(const ComplexFloat* src, float* mag, float* phase, int length) {
  const size_t n = static_cast<size_t>(length);
  if (overlap(src, n * sizeof(ComplexFloat), mag, n * sizeof(float)) ||
      overlap(src, n * sizeof(ComplexFloat), phase, n * sizeof(float)) ||
      overlap(mag, n * sizeof(float), phase, n * sizeof(float))) {
    cartToPolarInOrder(src, mag, phase, length);
    return;
  }
  nspPolarKernels().cartToPolar(src, mag, phase, length);
}

void nspCartFromPolar(const float* mag, const float* phase, ComplexFloat* dst, int length) {
  const size_t n = static_cast<size_t>(length);
  if (overlap(dst, n * sizeof(ComplexFloat), mag, n * sizeof(float)) ||
      overlap(dst, n * sizeof(ComplexFloat), phase, n * sizeof(float))) {
    polarToCartInOrder(mag, phase, dst, length);
    return;
  }
  nspPolarKernels().polarToCart(mag, phase, dst, length);
}
