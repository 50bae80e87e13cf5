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
#include "polar_material.h"

namespace {

using namespace polar_material;

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
