// The material of the polar-conversion benchmarks: one spectrum of 513
// bins (N = 1024), and the plain loops with the C library's double
// functions that the kernel's conversions replace.
#ifndef VORTIGEN_BENCH_POLAR_MATERIAL_H
#define VORTIGEN_BENCH_POLAR_MATERIAL_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "nsp.h"

namespace polar_material {

constexpr int kBins = 513;

// A spectrum-like frame: levels over 100 dB, every phase.
struct Frame {
  std::vector<ComplexFloat> spectrum = std::vector<ComplexFloat>(kBins);
  std::vector<float> mag = std::vector<float>(kBins), phase = std::vector<float>(kBins);
  std::vector<ComplexFloat> back = std::vector<ComplexFloat>(kBins);

  Frame() {
    uint64_t state = 12345;
    auto unit = [&state] {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      return static_cast<double>(state >> 11) * 0x1p-53;
    };
    for (int i = 0; i < kBins; ++i) {
      const double level = std::pow(10.0, -5.0 * unit());
      const double angle = (2 * unit() - 1) * 3.14159265358979;
      spectrum[i] = {static_cast<float>(level * std::cos(angle)),
                     static_cast<float>(level * std::sin(angle))};
      if (i == 0 || i == kBins - 1) spectrum[i].im = 0.0f;
    }
    nspcbCartToPolar(spectrum.data(), mag.data(), phase.data(), kBins);
  }
};

inline Frame& frame() {
  static Frame f;
  return f;
}

// The loops the kernel had before: double C library functions, rounded to
// float once.
inline void libraryCartToPolar(const ComplexFloat* src, float* mag, float* phase, int n) {
  for (int i = 0; i < n; ++i) {
    const float re = src[i].re, im = src[i].im;
    if (im != 0.0f) {
      const double r = re, m = im;
      mag[i] = static_cast<float>(std::sqrt(r * r + m * m));
      phase[i] = static_cast<float>(std::atan2(m, r));
    } else {
      mag[i] = std::fabs(re);
      phase[i] = std::signbit(re) && re != 0.0f ? 3.1415927f : 0.0f;
    }
  }
}

inline void libraryPolarToCart(const float* mag, const float* phase, ComplexFloat* dst, int n) {
  for (int i = 0; i < n; ++i) {
    const double angle = phase[i], m = mag[i];
    dst[i].re = static_cast<float>(std::cos(angle) * m);
    dst[i].im = static_cast<float>(std::sin(angle) * m);
  }
}

}  // namespace polar_material

#endif
