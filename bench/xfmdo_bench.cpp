// xfmdo_bench: throughput of a whole XfmDo call of each plug-in, through
// the reference host, on 16-bit 44.1 kHz material. Reported as the time one
// hour of audio takes and as a multiple of real time, both from the CPU
// time of the one core that runs the call.
//
//   build/bench/xfmdo_bench --benchmark_min_time=2
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench_material.h"
#include "vthost.h"

namespace {

constexpr int sampleRate = 44100;
constexpr int seconds = 30;

// The shared material as the host's bytes.
std::vector<uint8_t> material(int channels) {
  const std::vector<int16_t> samples = musicMaterial(channels, seconds, sampleRate);
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

void runEffect(benchmark::State& state, const char* pluginPath, const char* preset, int channels) {
  vthost::PluginLibrary plugin(pluginPath);
  const std::vector<uint8_t> input = material(channels);
  vthost::WaveFormat format;
  format.channels = static_cast<WORD>(channels);
  format.bitsPerSample = 16;
  format.sampleRate = sampleRate;
  vthost::EffectHost host(plugin, format, input);
  host.init();
  host.applyPreset(preset);
  for (auto _ : state) {
    state.PauseTiming();
    host.waveform() = input;
    host.clearCalls();
    state.ResumeTiming();
    if (host.process() != 0) state.SkipWithError("XfmDo failed");
  }
  host.destroy();
  state.counters["x_realtime"] =
      benchmark::Counter(double(seconds) * state.iterations(), benchmark::Counter::kIsRate);
  // Rate of hours processed, inverted: seconds per hour of audio.
  state.counters["s_per_hour"] =
      benchmark::Counter(double(seconds) / 3600.0 * state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

const char dynamicPreset[] =
    "Hard Attack Soft Release,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,3834,16384,3834";
const char fourierPreset[] = "Light Sound,3,3,0,0,11969,4740,16384,16384";
// Full chaos: every bin's phase moves by its whole envelope, which on loud
// bins reaches millions of radians (the sin/cos reduction's far range).
const char fullChaosPreset[] =
    "Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,16384,16384";

void dynamicStereo(benchmark::State& s) { runEffect(s, VORTIGEN_DYNAMIC_PLUGIN, dynamicPreset, 2); }
void dynamicMono(benchmark::State& s) { runEffect(s, VORTIGEN_DYNAMIC_PLUGIN, dynamicPreset, 1); }
void dynamicStereoFullChaos(benchmark::State& s) {
  runEffect(s, VORTIGEN_DYNAMIC_PLUGIN, fullChaosPreset, 2);
}
void fourierStereo(benchmark::State& s) { runEffect(s, VORTIGEN_FOURIER_PLUGIN, fourierPreset, 2); }
void fourierMono(benchmark::State& s) { runEffect(s, VORTIGEN_FOURIER_PLUGIN, fourierPreset, 1); }

BENCHMARK(dynamicStereo)->Unit(benchmark::kMillisecond);
BENCHMARK(dynamicMono)->Unit(benchmark::kMillisecond);
BENCHMARK(dynamicStereoFullChaos)->Unit(benchmark::kMillisecond);
BENCHMARK(fourierStereo)->Unit(benchmark::kMillisecond);
BENCHMARK(fourierMono)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
