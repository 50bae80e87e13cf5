// preview_bench: what the studio does after a curve edit before the page can
// play and draw it: the processed preview of a 30-second stereo 44.1 kHz
// selection (16-bit in, the float engine, 16-bit out), for each effect with
// curves that make it work.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <string>

#include "processing.h"

namespace {

vtmedia::Audio thirtySeconds() {
  vtmedia::Audio audio;
  audio.channels = 2;
  audio.sampleRate = 44100;
  const size_t frames = 30 * 44100;
  audio.bytes.resize(frames * 4);
  uint32_t seed = 1;
  for (size_t f = 0; f < frames; ++f) {
    const double t = double(f) / 44100;
    seed = seed * 1664525u + 1013904223u;
    const double noise = (double(seed >> 8) / double(1u << 24) - 0.5) * 2000;
    const auto left = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 220 * t) + noise);
    const auto right = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 1375 * t) - noise);
    for (const auto& [at, v] : {std::pair{4 * f, left}, std::pair{4 * f + 2, right}}) {
      audio.bytes[at] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF);
      audio.bytes[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    }
  }
  return audio;
}

void previewAfterEdit(benchmark::State& state, const std::string& effect,
                      const vtstudio::CurveSet& curves) {
  static const vtmedia::Audio audio = thirtySeconds();
  vtstudio::Processing processing(
      {{"dynamic", VORTIGEN_DYNAMIC_PLUGIN}, {"fourier", VORTIGEN_FOURIER_PLUGIN}});
  const vtstudio::FrameRange range{0, audio.frames()};
  for (auto _ : state) {
    std::vector<int16_t> preview = processing.preview(effect, curves, audio, range);
    benchmark::DoNotOptimize(preview.data());
  }
  state.counters["selection_s"] = 30;
}

BENCHMARK_CAPTURE(previewAfterEdit, dynamic_30s_stereo, std::string("dynamic"),
                  vtstudio::CurveSet{{{0, 12375}, {9000, 3000}, {16384, 12375}},
                                     {{0, 1394}, {16384, 1394}},
                                     {{0, 0}, {16384, 3834}}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(previewAfterEdit, fourier_30s_stereo, std::string("fourier"),
                  vtstudio::CurveSet{{{0, 0}, {11969, 4740}, {16384, 16384}}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
