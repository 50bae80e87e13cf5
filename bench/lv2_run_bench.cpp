// The LV2 plug-ins as a host's audio thread sees them: 48 kHz stereo in
// blocks of 64 frames. For each effect it reports the share of one core
// the plug-in takes (thread CPU time over audio time) and the longest
// single run() against the block period: a spectral frame is computed in
// one block of several, so the peak matters more than the mean.
//   lv2_run_bench [SECONDS] [REPEATS]
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "variants.h"

namespace {

constexpr double rate = 48000;
constexpr std::uint32_t block = 64;

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Figures {
  double cpuShare;    // of one core
  double meanMicros;  // CPU time per run()
  double p99Micros;
  double worstMicros;      // the longest run() in CPU time: the computation's peak
  double worstWallMicros;  // and in wall time, which a busy machine's scheduling adds to
};

Figures measure(const LV2_Descriptor* descriptor, float preset, double seconds) {
  LV2_Handle handle = descriptor->instantiate(descriptor, rate, VORTIGEN_LV2_BUNDLE, nullptr);
  if (handle == nullptr) std::exit(1);
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<float> input[2], output[2];
  for (int c = 0; c < 2; ++c) {
    input[c].resize(frames);
    output[c].resize(frames);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(c);
    for (std::size_t i = 0; i < frames; ++i) {
      noise = noise * 1664525u + 1013904223u;
      input[c][i] = static_cast<float>(0.3 * std::sin(0.02 * static_cast<double>(i) * (c + 1)) +
                                       0.05 * ((noise >> 8) / 16777216.0 - 0.5));
    }
  }
  float enabled = 1, latency = 0;
  descriptor->connect_port(handle, vtlv2::portPreset, &preset);
  descriptor->connect_port(handle, vtlv2::portEnabled, &enabled);
  descriptor->connect_port(handle, vtlv2::portLatency, &latency);
  descriptor->connect_port(handle, vtlv2::portControl, nullptr);
  descriptor->connect_port(handle, vtlv2::portNotify, nullptr);
  descriptor->activate(handle);
  auto connect = [&](std::size_t at) {
    for (std::uint32_t c = 0; c < 2; ++c) {
      descriptor->connect_port(handle, vtlv2::firstAudioPort + c, input[c].data() + at);
      descriptor->connect_port(handle, vtlv2::firstAudioPort + 2 + c, output[c].data() + at);
    }
  };
  // First the share of a core, untouched by timing calls; then, after a
  // new start, each run() timed on its own.
  const double cpuStart = threadSeconds();
  std::size_t blocks = 0;
  for (std::size_t at = 0; at + block <= frames; at += block, ++blocks) {
    connect(at);
    descriptor->run(handle, block);
  }
  const double cpu = threadSeconds() - cpuStart;
  descriptor->deactivate(handle);
  descriptor->activate(handle);
  std::vector<double> calls;
  calls.reserve(blocks);
  double worstWall = 0;
  for (std::size_t at = 0; at + block <= frames; at += block) {
    connect(at);
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = threadSeconds();
    descriptor->run(handle, block);
    calls.push_back(1e6 * (threadSeconds() - cpuBefore));
    worstWall =
        std::max(worstWall,
                 std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  descriptor->cleanup(handle);
  std::vector<double> sorted = calls;
  std::sort(sorted.begin(), sorted.end());
  double sum = 0;
  for (double c : calls) sum += c;
  return {cpu / (static_cast<double>(blocks * block) / rate),
          sum / static_cast<double>(calls.size()), sorted[sorted.size() * 99 / 100], sorted.back(),
          worstWall};
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  void* module = dlopen(VORTIGEN_LV2_BUNDLE "/vortigen.so", RTLD_NOW);
  if (module == nullptr) {
    std::fprintf(stderr, "lv2_run_bench: %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor"));
  const double period = 1e6 * block / rate;
  std::printf("48000 Hz stereo, blocks of %u frames (period %.0f us), %.0f s of audio, %d runs\n",
              block, period, seconds, repeats);
  std::printf("%-8s %4s %10s %8s %8s %24s %22s\n", "effect", "run", "CPU share", "mean us",
              "p99 us", "worst CPU us (x period)", "worst wall us (x period)");
  for (std::uint32_t index = 0; index < 2; ++index) {
    const LV2_Descriptor* descriptor = entry(index);
    for (int r = 0; r < repeats; ++r) {
      const Figures f = measure(descriptor, index == 0 ? 12.0f : 5.0f, seconds);
      std::printf("%-8s %4d %9.2f%% %8.1f %8.1f %16.1f (%.3f) %14.0f (%.2f)\n",
                  vtlv2::variants[index].symbol, r + 1, 100 * f.cpuShare, f.meanMicros, f.p99Micros,
                  f.worstMicros, f.worstMicros / period, f.worstWallMicros,
                  f.worstWallMicros / period);
    }
  }
  dlclose(module);
  return 0;
}
