// The material the throughput benchmarks process: music-like partials with
// moving amplitudes plus some noise, interleaved 16-bit samples. One
// definition, so that every benchmark times the same sound.
#ifndef VORTIGEN_BENCH_BENCH_MATERIAL_H
#define VORTIGEN_BENCH_BENCH_MATERIAL_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<int16_t> musicMaterial(int channels, int seconds, int sampleRate) {
  const int frames = seconds * sampleRate;
  std::vector<int16_t> samples(size_t(frames) * channels);
  uint32_t noise = 1u;
  for (int i = 0; i < frames; ++i) {
    const double t = double(i) / sampleRate;
    for (int ch = 0; ch < channels; ++ch) {
      double v = 0;
      for (int p = 1; p <= 5; ++p) {
        v += std::sin(2 * M_PI * 110.0 * (ch + 1) * p * t) * (0.5 + 0.5 * std::sin(t * p)) / p;
      }
      noise = noise * 1664525u + 1013904223u;
      v = 9000 * v + 300.0 * (int32_t(noise) / 2147483648.0);
      samples[size_t(i) * channels + ch] = static_cast<int16_t>(std::lround(v));
    }
  }
  return samples;
}

#endif
