// nsparith: copy, fill, clear, scale, multiply and add over float vectors.
//
// Element results are rounded to float once. For a single product or sum of
// two floats, rounding the exact double result to float equals the float
// operation itself (double carries more than twice float's precision), so
// the loops use float arithmetic and stay vectorisable.
//
// The loops run from the last element down to the first: that order is
// observable when source and destination overlap.
#include "nspcheck.h"

namespace {
const char module[] = "nsparith";
}

extern "C" {

void nspsbCopy(const float* src, float* dst, int n) {
  constexpr int line = nspLine::sbCopy;
  if (nspBadArgument(n <= 0, "nspsbCopy", "n<=0", module, line) ||
      nspBadArgument(src == nullptr, "nspsbCopy", "src==0", module, line) ||
      nspBadArgument(dst == nullptr, "nspsbCopy", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = src[i];
}

void nspsbSet(float val, float* dst, int n) {
  constexpr int line = nspLine::sbSet;
  if (nspBadArgument(n <= 0, "nspsbSet", "n<=0", module, line) ||
      nspBadArgument(dst == nullptr, "nspsbSet", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = val;
}

void nspcbZero(ComplexFloat* dst, int n) {
  constexpr int line = nspLine::cbZero;
  if (nspBadArgument(n <= 0, "nspcbZero", "n<=0", module, line) ||
      nspBadArgument(dst == nullptr, "nspcbZero", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = ComplexFloat{0.0f, 0.0f};
}

void nspsbMpy1(float val, float* dst, int n) {
  constexpr int line = nspLine::sbMpy1;
  if (nspBadArgument(n <= 0, "nspsbMpy1", "n<=0", module, line) ||
      nspBadArgument(dst == nullptr, "nspsbMpy1", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = dst[i] * val;
}

void nspsbMpy2(const float* src, float* dst, int n) {
  constexpr int line = nspLine::sbMpy2;
  if (nspBadArgument(n <= 0, "nspsbMpy2", "n<=0", module, line) ||
      nspBadArgument(src == nullptr, "nspsbMpy2", "src==0", module, line) ||
      nspBadArgument(dst == nullptr, "nspsbMpy2", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = dst[i] * src[i];
}

void nspsbMpy3(const float* srcA, const float* srcB, float* dst, int n) {
  constexpr int line = nspLine::sbMpy3;
  if (nspBadArgument(n <= 0, "nspsbMpy3", "n<=0", module, line) ||
      nspBadArgument(srcA == nullptr, "nspsbMpy3", "srcA==0", module, line) ||
      nspBadArgument(srcB == nullptr, "nspsbMpy3", "srcB==0", module, line) ||
      nspBadArgument(dst == nullptr, "nspsbMpy3", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = srcA[i] * srcB[i];
}

void nspsbAdd2(const float* src, float* dst, int n) {
  constexpr int line = nspLine::sbAdd2;
  if (nspBadArgument(n <= 0, "nspsbAdd2", "n<=0", module, line) ||
      nspBadArgument(src == nullptr, "nspsbAdd2", "src==0", module, line) ||
      nspBadArgument(dst == nullptr, "nspsbAdd2", "dst==0", module, line)) {
    return;
  }
  for (int i = n - 1; i >= 0; --i) dst[i] = dst[i] + src[i];
}

}  // extern "C"
