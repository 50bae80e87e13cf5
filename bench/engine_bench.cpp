// engine_bench: the engine's throughput against XfmDo's on the same
// material: 30 s of 16-bit 44.1 kHz music-like audio, both effects, mono
// and stereo. XfmDo runs in the plug-in library through the reference
// host over the 16-bit samples; the engine over the same samples as
// floats, in blocks of 4096 frames, finish() included. Reported as a
// multiple of real time from the CPU time of the one core that runs it;
// the engine on two threads (runThreadedEngine) from the wall time.
//
//   build/bench/engine_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_material.h"
#include "engine.h"
#include "vthost.h"

namespace {

constexpr int sampleRate = 44100;
constexpr int seconds = 30;
constexpr size_t blockLength = 4096;

std::vector<int16_t> material(int channels) { return musicMaterial(channels, seconds, sampleRate); }

void countRealTime(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter(double(seconds) * state.iterations(), benchmark::Counter::kIsRate);
}

void runXfmDo(benchmark::State& state, const char* pluginPath, vtengine::Effect, const char* preset,
              int channels) {
  const std::vector<int16_t> samples = material(channels);
  std::vector<uint8_t> input(samples.size() * 2);
  std::memcpy(input.data(), samples.data(), input.size());
  vthost::PluginLibrary plugin(pluginPath);
  vthost::WaveFormat format;
  format.channels = static_cast<WORD>(channels);
  format.bitsPerSample = 16;
  format.sampleRate = sampleRate;
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(plugin, format, input, options);
  host.init();
  host.applyPreset(preset);
  for (auto _ : state) {
    state.PauseTiming();
    host.waveform() = input;
    state.ResumeTiming();
    if (host.process() != 0) state.SkipWithError("XfmDo failed");
  }
  host.destroy();
  countRealTime(state);
}

void runEngineOn(benchmark::State& state, vtengine::Effect effect, const char* preset, int channels,
                 int threads) {
  const std::vector<int16_t> samples = material(channels);
  const size_t frames = samples.size() / channels;
  std::vector<std::vector<float>> planar(channels, std::vector<float>(frames));
  for (size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < channels; ++c) planar[c][t] = samples[t * channels + c] / 32768.0f;
  }
  vtengine::EngineSettings settings;
  settings.effect = effect;
  settings.curves = vtengine::parsePreset(preset).curves;
  settings.sampleRate = sampleRate;
  settings.channels = channels;
  settings.threads = threads;
  vtengine::Engine engine(settings);
  std::vector<std::vector<float>> output(channels, std::vector<float>(blockLength));
  std::vector<const float*> in(channels);
  std::vector<float*> out(channels);
  for (int c = 0; c < channels; ++c) out[c] = output[c].data();
  for (auto _ : state) {
    for (size_t at = 0; at < frames; at += blockLength) {
      for (int c = 0; c < channels; ++c) in[c] = planar[c].data() + at;
      engine.process(in.data(), out.data(), std::min(blockLength, frames - at));
    }
    engine.finish(out.data());
    benchmark::DoNotOptimize(output[0][0]);
  }
  countRealTime(state);
}

void runEngine(benchmark::State& state, const char*, vtengine::Effect effect, const char* preset,
               int channels) {
  runEngineOn(state, effect, preset, channels, 1);
}

// The engine's frames on two threads: timed by the clock on the wall, the
// calling thread's CPU time leaving out the helper's.
void runThreadedEngine(benchmark::State& state, const char*, vtengine::Effect effect,
                       const char* preset, int channels) {
  runEngineOn(state, effect, preset, channels, 2);
}

const char dynamicPreset[] =
    "Hard Attack Soft Release,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,3834,16384,3834";
const char fourierPreset[] = "Light Sound,3,3,0,0,11969,4740,16384,16384";

using vtengine::Effect;

BENCHMARK_CAPTURE(runXfmDo, dynamicStereo, VORTIGEN_DYNAMIC_PLUGIN, Effect::Dynamic, dynamicPreset,
                  2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runEngine, dynamicStereo, "", Effect::Dynamic, dynamicPreset, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runThreadedEngine, dynamicStereo, "", Effect::Dynamic, dynamicPreset, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(runXfmDo, dynamicMono, VORTIGEN_DYNAMIC_PLUGIN, Effect::Dynamic, dynamicPreset, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runEngine, dynamicMono, "", Effect::Dynamic, dynamicPreset, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runXfmDo, fourierStereo, VORTIGEN_FOURIER_PLUGIN, Effect::Fourier, fourierPreset,
                  2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runEngine, fourierStereo, "", Effect::Fourier, fourierPreset, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runThreadedEngine, fourierStereo, "", Effect::Fourier, fourierPreset, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(runXfmDo, fourierMono, VORTIGEN_FOURIER_PLUGIN, Effect::Fourier, fourierPreset, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runEngine, fourierMono, "", Effect::Fourier, fourierPreset, 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
