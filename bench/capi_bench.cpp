// capi_bench: libvortigen's C interface (the shared library, planar and
// interleaved calls) against the engine called directly in C++, on the
// same material: 30 s of 16-bit 44.1 kHz music-like audio as floats,
// stereo, both effects, blocks of 4096 frames, flush included. Reported as
// a multiple of real time from the CPU time of the one core that runs it.
//
//   build/bench/capi_bench --benchmark_repetitions=7
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench_material.h"
#include "engine.h"
#include "vortigen/vortigen.h"

namespace {

constexpr int sampleRate = 44100;
constexpr int seconds = 30;
constexpr int channels = 2;
constexpr size_t blockLength = 4096;

struct Material {
  Material() {
    const std::vector<int16_t> samples = musicMaterial(channels, seconds, sampleRate);
    frames = samples.size() / channels;
    planar.assign(channels, std::vector<float>(frames));
    interleaved.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
      interleaved[i] = samples[i] / 32768.0f;
      planar[i % channels][i / channels] = interleaved[i];
    }
  }
  size_t frames;
  std::vector<std::vector<float>> planar;
  std::vector<float> interleaved;
};

const Material& material() {
  static const Material m;
  return m;
}

void countRealTime(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter(double(seconds) * state.iterations(), benchmark::Counter::kIsRate);
}

void engineDirect(benchmark::State& state, vtengine::Effect effect, const char* preset) {
  const Material& m = material();
  vtengine::EngineSettings settings;
  settings.effect = effect;
  settings.curves = vtengine::parsePreset(preset).curves;
  settings.sampleRate = sampleRate;
  settings.channels = channels;
  vtengine::Engine engine(settings);
  std::vector<std::vector<float>> output(channels, std::vector<float>(blockLength));
  std::vector<const float*> in(channels);
  std::vector<float*> out{output[0].data(), output[1].data()};
  for (auto _ : state) {
    for (size_t at = 0; at < m.frames; at += blockLength) {
      for (int c = 0; c < channels; ++c) in[c] = m.planar[c].data() + at;
      engine.process(in.data(), out.data(), std::min(blockLength, m.frames - at));
    }
    engine.finish(out.data());
    benchmark::DoNotOptimize(output[0][0]);
  }
  countRealTime(state);
}

vortigen_instance* instanceOf(benchmark::State& state, const char* effect, const char* preset) {
  vortigen_instance* instance = nullptr;
  if (vortigen_new(effect, preset, sampleRate, channels, 32768, &instance) != VORTIGEN_OK)
    state.SkipWithError(vortigen_last_error());
  return instance;
}

void capiPlanar(benchmark::State& state, const char* effect, const char* preset) {
  const Material& m = material();
  vortigen_instance* instance = instanceOf(state, effect, preset);
  std::vector<std::vector<float>> output(channels, std::vector<float>(blockLength));
  std::vector<const float*> in(channels);
  std::vector<float*> out{output[0].data(), output[1].data()};
  for (auto _ : state) {
    for (size_t at = 0; at < m.frames; at += blockLength) {
      for (int c = 0; c < channels; ++c) in[c] = m.planar[c].data() + at;
      vortigen_process(instance, in.data(), out.data(), std::min(blockLength, m.frames - at));
    }
    vortigen_flush(instance, out.data());
    benchmark::DoNotOptimize(output[0][0]);
  }
  vortigen_free(instance);
  countRealTime(state);
}

void capiInterleaved(benchmark::State& state, const char* effect, const char* preset) {
  const Material& m = material();
  vortigen_instance* instance = instanceOf(state, effect, preset);
  std::vector<float> output(blockLength * channels);
  for (auto _ : state) {
    for (size_t at = 0; at < m.frames; at += blockLength) {
      vortigen_process_interleaved(instance, m.interleaved.data() + at * channels, output.data(),
                                   std::min(blockLength, m.frames - at));
    }
    vortigen_flush_interleaved(instance, output.data());
    benchmark::DoNotOptimize(output[0]);
  }
  vortigen_free(instance);
  countRealTime(state);
}

const char dynamicPreset[] =
    "Hard Attack Soft Release,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,3834,16384,3834";
const char fourierPreset[] = "Light Sound,3,3,0,0,11969,4740,16384,16384";

BENCHMARK_CAPTURE(engineDirect, dynamic, vtengine::Effect::Dynamic, dynamicPreset)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(capiPlanar, dynamic, "dynamic", dynamicPreset)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(capiInterleaved, dynamic, "dynamic", dynamicPreset)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(engineDirect, fourier, vtengine::Effect::Fourier, fourierPreset)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(capiPlanar, fourier, "fourier", fourierPreset)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(capiInterleaved, fourier, "fourier", fourierPreset)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
