// fft_bench: the kernel's real FFT against FFTW 3 in single precision.
//
// Times one forward plus one inverse real transform of N samples for each
// size, ours (nspsRealFftNip with flags 1, nspsCcsFftNip with flags 2, which
// includes the 1/N scaling pass) and FFTW's (r2c then c2r, FFTW_MEASURE
// plans, unscaled), and prints the ratio ours/FFTW per size. Before timing
// it prints the accuracy of both against FFTW in double precision.
//
// FFTW is a benchmark-only dependency; nothing that ships links it.
//
//   fft_bench [--isa=scalar|sse2|avx2] [Google Benchmark options]
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "nsp.h"
#include "nspfftisa.h"

namespace {

const int benchOrders[] = {8, 9, 10, 12, 14, 16, 20};

std::vector<float> noise(std::size_t count) {
  std::mt19937 generator(12345);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> samples(count);
  for (float& s : samples) s = uniform(generator);
  return samples;
}

// ---- Accuracy ----------------------------------------------------------------

double rmsError(const std::vector<std::complex<double>>& got,
                const std::vector<std::complex<double>>& want) {
  double error = 0, norm = 0;
  for (std::size_t k = 0; k < want.size(); ++k) {
    error += std::norm(got[k] - want[k]);
    norm += std::norm(want[k]);
  }
  return std::sqrt(error / norm);
}

double rmsError(const float* got, const std::vector<float>& want) {
  double error = 0, norm = 0;
  for (std::size_t t = 0; t < want.size(); ++t) {
    const double d = static_cast<double>(got[t]) - want[t];
    error += d * d;
    norm += static_cast<double>(want[t]) * want[t];
  }
  return std::sqrt(error / norm);
}

void printAccuracy() {
  std::printf("Relative RMS error against FFTW in double precision (uniform noise):\n");
  std::printf("%9s  %14s %14s  %14s %14s\n", "N", "ours forward", "FFTW forward", "ours fwd+inv",
              "FFTW fwd+inv");
  for (int order : benchOrders) {
    const int n = 1 << order;
    const std::vector<float> samples = noise(n);

    std::vector<double> inD(samples.begin(), samples.end());
    std::vector<fftw_complex> outD(n / 2 + 1);
    fftw_plan planD = fftw_plan_dft_r2c_1d(n, inD.data(), outD.data(), FFTW_ESTIMATE);
    fftw_execute(planD);
    fftw_destroy_plan(planD);
    std::vector<std::complex<double>> want(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k) want[k] = {outD[k][0], outD[k][1]};

    std::vector<ComplexFloat> ours(n / 2 + 1);
    std::vector<float> oursBack(n);
    nspsRealFftNip(samples.data(), ours.data(), order, NSP_FftForward);
    nspsCcsFftNip(ours.data(), oursBack.data(), order, NSP_FftInverse);
    std::vector<std::complex<double>> oursD(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k) oursD[k] = {ours[k].re, ours[k].im};

    std::vector<float> inF(samples);
    std::vector<fftwf_complex> outF(n / 2 + 1);
    std::vector<float> backF(n);
    fftwf_plan forward = fftwf_plan_dft_r2c_1d(n, inF.data(), outF.data(), FFTW_ESTIMATE);
    fftwf_plan inverse = fftwf_plan_dft_c2r_1d(n, outF.data(), backF.data(), FFTW_ESTIMATE);
    fftwf_execute(forward);
    std::vector<std::complex<double>> fftwD(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k) fftwD[k] = {outF[k][0], outF[k][1]};
    fftwf_execute(inverse);
    for (float& s : backF) s /= static_cast<float>(n);
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(inverse);

    std::printf("%9d  %14.3g %14.3g  %14.3g %14.3g\n", n, rmsError(oursD, want),
                rmsError(fftwD, want), rmsError(oursBack.data(), samples),
                rmsError(backF.data(), samples));
  }
  std::printf("\n");
}

// ---- Timing ------------------------------------------------------------------

void oursForwardInverse(benchmark::State& state, int order) {
  const int n = 1 << order;
  const std::vector<float> samples = noise(n);
  std::vector<ComplexFloat> spectrum(n / 2 + 1);
  std::vector<float> back(n);
  nspsRealFftNip(nullptr, nullptr, order, NSP_FftInitOnly);
  nspsCcsFftNip(nullptr, nullptr, order, NSP_FftInitOnly);
  for (auto _ : state) {
    nspsRealFftNip(samples.data(), spectrum.data(), order, NSP_FftForward);
    nspsCcsFftNip(spectrum.data(), back.data(), order, NSP_FftInverse);
    benchmark::DoNotOptimize(back.data());
    benchmark::ClobberMemory();
  }
  if (nspStatusGet() != NSP_StatusNoError) state.SkipWithError("kernel reported an error");
}

void fftwForwardInverse(benchmark::State& state, int order) {
  const int n = 1 << order;
  float* samples = fftwf_alloc_real(n);
  float* back = fftwf_alloc_real(n);
  fftwf_complex* spectrum = fftwf_alloc_complex(n / 2 + 1);
  fftwf_plan forward = fftwf_plan_dft_r2c_1d(n, samples, spectrum, FFTW_MEASURE);
  fftwf_plan inverse = fftwf_plan_dft_c2r_1d(n, spectrum, back, FFTW_MEASURE);
  const std::vector<float> input = noise(n);
  std::memcpy(samples, input.data(), n * sizeof(float));
  for (auto _ : state) {
    fftwf_execute(forward);
    fftwf_execute(inverse);
    benchmark::DoNotOptimize(back);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(forward);
  fftwf_destroy_plan(inverse);
  fftwf_free(spectrum);
  fftwf_free(back);
  fftwf_free(samples);
}

// Console output as usual, plus the times kept for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With --benchmark_repetitions the median stands for the size. CPU time,
    // not wall time: both run on one thread, and on a shared machine the
    // wall time also counts the other processes' turns.
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (single || median) times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printRatios() const {
    std::printf("\nForward + inverse real FFT, time ours / FFTW (FFTW_MEASURE):\n");
    std::printf("%9s %14s %14s %8s\n", "N", "ours (ns CPU)", "FFTW (ns CPU)", "ratio");
    for (int order : benchOrders) {
      const auto ours = times_.find("ours/" + std::to_string(1 << order));
      const auto fftw = times_.find("fftw/" + std::to_string(1 << order));
      if (ours == times_.end() || fftw == times_.end()) continue;
      std::printf("%9d %14.0f %14.0f %8.2f\n", 1 << order, ours->second, fftw->second,
                  ours->second / fftw->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Our own option first: which vector width of the kernel to time.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--isa=", 0) == 0) {
      const std::string isa = arg.substr(6);
      if (!nspFftSelectIsa(nspIsaNamed(isa.c_str()))) {
        std::fprintf(stderr, "fft_bench: %s is not available on this machine\n", isa.c_str());
        return 1;
      }
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  std::printf("Kernel FFT stages: %s\n\n", nspFftKernels().name);
  printAccuracy();

  for (int order : benchOrders) {
    const std::string size = std::to_string(1 << order);
    benchmark::RegisterBenchmark(("ours/" + size).c_str(), oursForwardInverse, order);
    benchmark::RegisterBenchmark(("fftw/" + size).c_str(), fftwForwardInverse, order);
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
