// nspwin: the Bartlett (triangular) window.
#include "nspcheck.h"

namespace {
const char module[] = "nspwin";
}

extern "C" {

// Multiplies vec in place by w[i] = w[n-1-i] = i * 2/(n-1), working inwards
// from both ends at once. For odd n the middle element is met from both
// sides and multiplied twice by its weight (1 up to rounding).
void nspsWinBartlett(float* vec, int n) {
  constexpr int line = nspLine::sWinBartlett;
  if (nspBadArgument(vec == nullptr, "nspsWinBartlett", "Null pointer to buffer", module, line) ||
      nspBadArgument(n <= 2, "nspsWinBartlett", "Bad number of items", module, line)) {
    return;
  }
  const double step = 2.0 / (n - 1);
  // (n + 1) / 2, written so that n = INT_MAX does not overflow.
  const int half = n / 2 + n % 2;
  for (int i = 0; i < half; ++i) {
    const double weight = i * step;
    vec[i] = static_cast<float>(vec[i] * weight);
    vec[n - 1 - i] = static_cast<float>(vec[n - 1 - i] * weight);
  }
}

}  // extern "C"
