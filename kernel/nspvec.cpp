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

// Equal elements and NaNs never replace the value held: the result is the
// first element of the largest value (a NaN first element stays). Taken
// over eight interleaved lanes, which vectorise, then combined. Lanes find
// the same largest value, and only zeros of that value differ in their
// bits (+0 and -0), so for a largest value of zero the first zero is
// looked up.
float nspsMax(const float* vec, int len) {
  constexpr int line = nspLine::sMax;
  if (nspBadArgument(len <= 0, "nspsMax", "len<=0", module, line) ||
      nspBadArgument(vec == nullptr, "nspsMax", "vec==0", module, line)) {
    return 0.0f;
  }
  constexpr int lanes = 8;
  float lane[lanes];
  for (float& l : lane) l = vec[0];
  int i = 0;
  for (; len - i >= lanes; i += lanes) {
    for (int j = 0; j < lanes; ++j) lane[j] = vec[i + j] > lane[j] ? vec[i + j] : lane[j];
  }
  float largest = vec[0];
  for (float l : lane) largest = l > largest ? l : largest;
  for (; i < len; ++i) largest = vec[i] > largest ? vec[i] : largest;
  if (largest == 0.0f) {
    for (i = 0; vec[i] != 0.0f; ++i) {
    }
    return vec[i];
  }
  return largest;
}

}  // extern "C"
