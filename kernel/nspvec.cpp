// nspvec: clamping against a threshold and the vector maximum.
#include "nspcheck.h"

namespace {
const char module[] = "nspvec";
}

extern "C" {

// relOp 0 raises everything below thresh (NaN included, so that a clipped
// signal never carries a NaN); any other relOp lowers everything above it.
void nspsbThresh1(float* vec, int len, float thresh, int relOp) {
  constexpr int line = nspLine::sbThresh1;
  if (nspBadArgument(len <= 0, "nspsbThresh1", "len<=0", module, line) ||
      nspBadArgument(vec == nullptr, "nspsbThresh1", "vec==0", module, line)) {
    return;
  }
  // Every element is stored, kept or replaced, so that the loops vectorise.
  if (relOp == 0) {
    for (int i = 0; i < len; ++i) {
      vec[i] = (vec[i] < thresh || vec[i] != vec[i]) ? thresh : vec[i];
    }
  } else {
    for (int i = 0; i < len; ++i) vec[i] = vec[i] > thresh ? thresh : vec[i];
  }
}

// Equal elements and NaNs never replace the value held.
float nspsMax(const float* vec, int len) {
  constexpr int line = nspLine::sMax;
  if (nspBadArgument(len <= 0, "nspsMax", "len<=0", module, line) ||
      nspBadArgument(vec == nullptr, "nspsMax", "vec==0", module, line)) {
    return 0.0f;
  }
  float largest = vec[0];
  for (int i = 1; i < len; ++i) {
    if (vec[i] > largest) largest = vec[i];
  }
  return largest;
}

}  // extern "C"
