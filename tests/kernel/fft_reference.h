// Double-precision references for the FFT tests: a plain DFT for small
// sizes and an iterative radix-2 FFT for large ones, written independently
// of the kernel (natural-order input, its own twiddles computed per index).
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "nsp.h"

using ComplexD = std::complex<double>;

// e^(sign * 2 pi i * k / n), with k reduced first so the angle stays exact.
inline ComplexD unitRoot(std::int64_t k, std::int64_t n, int sign) {
  const double angle = 2.0 * std::numbers::pi * static_cast<double>(k % n) / static_cast<double>(n);
  return {std::cos(angle), sign * std::sin(angle)};
}

// X[k] = sum x[t] e^(sign 2 pi i k t / n), O(n^2).
inline std::vector<ComplexD> plainDft(const std::vector<ComplexD>& x, int sign) {
  const auto n = static_cast<std::int64_t>(x.size());
  std::vector<ComplexD> roots(n);
  for (std::int64_t k = 0; k < n; ++k) roots[k] = unitRoot(k, n, sign);
  std::vector<ComplexD> out(n);
  for (std::int64_t k = 0; k < n; ++k) {
    ComplexD sum = 0;
    for (std::int64_t t = 0; t < n; ++t) sum += x[t] * roots[(k * t) % n];
    out[k] = sum;
  }
  return out;
}

// The same sum by an iterative radix-2 FFT (n a power of two).
inline std::vector<ComplexD> referenceFft(std::vector<ComplexD> x, int sign) {
  const auto n = static_cast<std::int64_t>(x.size());
  for (std::int64_t i = 1, j = 0; i < n; ++i) {
    std::int64_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j |= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  std::vector<ComplexD> roots(n / 2 + 1);
  for (std::int64_t k = 0; k <= n / 2; ++k) roots[k] = unitRoot(k, n, sign);
  for (std::int64_t len = 2; len <= n; len *= 2) {
    const std::int64_t step = n / len;
    for (std::int64_t start = 0; start < n; start += len) {
      for (std::int64_t k = 0; k < len / 2; ++k) {
        const ComplexD t = roots[k * step] * x[start + k + len / 2];
        x[start + k + len / 2] = x[start + k] - t;
        x[start + k] += t;
      }
    }
  }
  return x;
}

inline std::vector<ComplexD> referenceTransform(const std::vector<ComplexD>& x, int sign) {
  return x.size() <= 2048 ? plainDft(x, sign) : referenceFft(x, sign);
}

// Bins 0..N/2 of the transform of N real samples (one bin for N = 1).
inline std::vector<ComplexD> referenceRealSpectrum(const std::vector<float>& samples, int sign) {
  std::vector<ComplexD> x(samples.begin(), samples.end());
  std::vector<ComplexD> full = referenceTransform(x, sign);
  full.resize(samples.size() / 2 + 1);
  return full;
}

inline double relativeRmsError(const ComplexFloat* got, const std::vector<ComplexD>& want) {
  double errorSum = 0, normSum = 0;
  for (std::size_t k = 0; k < want.size(); ++k) {
    errorSum += std::norm(ComplexD(got[k].re, got[k].im) - want[k]);
    normSum += std::norm(want[k]);
  }
  return std::sqrt(errorSum / normSum);
}

inline double relativeRmsError(const float* got, const std::vector<float>& want) {
  double errorSum = 0, normSum = 0;
  for (std::size_t t = 0; t < want.size(); ++t) {
    const double d = static_cast<double>(got[t]) - want[t];
    errorSum += d * d;
    normSum += static_cast<double>(want[t]) * want[t];
  }
  return std::sqrt(errorSum / normSum);
}

// Uniform noise in [-1, 1), reproducible per seed.
inline std::vector<float> noise(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> samples(count);
  for (float& s : samples) s = uniform(generator);
  return samples;
}
