// polar_bench: nspcbCartToPolar and nspcbPolarToCart on one spectrum of
// 513 bins (N = 1024), per instruction-set variant, against the plain loop
// with the C library's double sqrt/atan2/cos/sin that they replace.
//
//   build-polar/bench/polar_bench --benchmark_min_time=0.5
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "nsp.h"
#include "nspvmath.h"

namespace {

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

Frame& frame() {
  static Frame f;
  return f;
}

// The loops the kernel had before: double C library functions, rounded to
// float once.
void libraryCartToPolar(const ComplexFloat* src, float* mag, float* phase, int n) {
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

void libraryPolarToCart(const float* mag, const float* phase, ComplexFloat* dst, int n) {
  for (int i = 0; i < n; ++i) {
    const double angle = phase[i], m = mag[i];
    dst[i].re = static_cast<float>(std::cos(angle) * m);
    dst[i].im = static_cast<float>(std::sin(angle) * m);
  }
}

void perBin(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kBins); }

void cartToPolar(benchmark::State& state, int isa) {
  Frame& f = frame();
  nspPolarSelectIsa(isa);
  for (auto _ : state) {
    nspcbCartToPolar(f.spectrum.data(), f.mag.data(), f.phase.data(), kBins);
    benchmark::ClobberMemory();
  }
  perBin(state);
}

void polarToCart(benchmark::State& state, int isa) {
  Frame& f = frame();
  nspPolarSelectIsa(isa);
  for (auto _ : state) {
    nspcbPolarToCart(f.mag.data(), f.phase.data(), f.back.data(), kBins);
    benchmark::ClobberMemory();
  }
  perBin(state);
}

void libraryCartToPolarLoop(benchmark::State& state) {
  Frame& f = frame();
  for (auto _ : state) {
    libraryCartToPolar(f.spectrum.data(), f.mag.data(), f.phase.data(), kBins);
    benchmark::ClobberMemory();
  }
  perBin(state);
}

void libraryPolarToCartLoop(benchmark::State& state) {
  Frame& f = frame();
  for (auto _ : state) {
    libraryPolarToCart(f.mag.data(), f.phase.data(), f.back.data(), kBins);
    benchmark::ClobberMemory();
  }
  perBin(state);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("CartToPolar/513/clibrary", libraryCartToPolarLoop);
  benchmark::RegisterBenchmark("PolarToCart/513/clibrary", libraryPolarToCartLoop);
  for (int isa : nspIsaAll) {
    const NspPolarKernels* kernels = nspPolarKernelsFor(isa);
    if (kernels == nullptr) continue;
    benchmark::RegisterBenchmark((std::string("CartToPolar/513/") + kernels->name).c_str(),
                                 cartToPolar, isa);
    benchmark::RegisterBenchmark((std::string("PolarToCart/513/") + kernels->name).c_str(),
                                 polarToCart, isa);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
