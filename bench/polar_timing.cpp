// polar_timing: the polar conversions per instruction-set variant, and the
// C library loops they replace, timed with the standard clock alone, so
// that the same program runs where Google Benchmark does not: in the
// Windows cross builds (under Wine) as on Linux.
//
//   polar_timing [calls per repetition] [repetitions]
//
// Prints, per conversion and variant, the shortest and the median time of
// one call on 513 bins over the repetitions; the shortest is the figure a
// busy machine disturbs least.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "nsp.h"
#include "nspvmath.h"
#include "polar_material.h"

namespace {

using namespace polar_material;

struct Timing {
  double shortest, median;  // ns per call
};

template <typename Call>
Timing timeCalls(int calls, int repetitions, Call call) {
  std::vector<double> perCall;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) call();
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    perCall.push_back(spent.count() / calls);
  }
  std::sort(perCall.begin(), perCall.end());
  return {perCall.front(), perCall[perCall.size() / 2]};
}

void printRow(const char* variant, Timing toPolar, Timing toCart) {
  std::printf("| %-9s | %7.0f | %7.0f | %7.0f | %7.0f |\n", variant, toPolar.shortest,
              toPolar.median, toCart.shortest, toCart.median);
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 9;
  if (calls < 1 || repetitions < 1) {
    std::fprintf(stderr, "usage: polar_timing [calls per repetition] [repetitions]\n");
    return 2;
  }
  std::printf("variant chosen for this CPU: %s\n", nspPolarKernels().name);
  Frame& f = frame();
  volatile float sink = 0.0f;  // keeps the calls from being optimised away
  auto toPolar = [&] {
    nspcbCartToPolar(f.spectrum.data(), f.mag.data(), f.phase.data(), kBins);
    sink = f.phase[kBins / 2];
  };
  auto toCart = [&] {
    nspcbPolarToCart(f.mag.data(), f.phase.data(), f.back.data(), kBins);
    sink = f.back[kBins / 2].re;
  };
  std::printf("ns per call on %d bins (%d calls x %d repetitions): shortest, median\n", kBins,
              calls, repetitions);
  std::printf("| variant | CartToPolar shortest | median | PolarToCart shortest | median |\n");
  std::printf("|---|---:|---:|---:|---:|\n");
  printRow("clibrary",
           timeCalls(calls, repetitions,
                     [&] {
                       libraryCartToPolar(f.spectrum.data(), f.mag.data(), f.phase.data(), kBins);
                       sink = f.phase[kBins / 2];
                     }),
           timeCalls(calls, repetitions, [&] {
             libraryPolarToCart(f.mag.data(), f.phase.data(), f.back.data(), kBins);
             sink = f.back[kBins / 2].re;
           }));
  for (int isa : nspIsaAll) {
    const NspPolarKernels* kernels = nspPolarKernelsFor(isa);
    if (kernels == nullptr) continue;
    nspPolarSelectIsa(isa);
    printRow(kernels->name, timeCalls(calls, repetitions, toPolar),
             timeCalls(calls, repetitions, toCart));
  }
  return sink > 1e30f ? 1 : 0;
}
