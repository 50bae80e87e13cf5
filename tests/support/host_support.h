// Helpers shared by the tests that drive plug-ins through the reference
// host: sample conversion for waveforms, test signals, and a watch on the
// movable memory of the process.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vthost.h"
#include "vtplatform.h"

namespace support {

inline std::vector<uint8_t> bytesOf16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

inline std::vector<int16_t> samplesOf16(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// A deterministic stand-in for music: a few partials with slowly moving
// amplitudes plus a little noise, peaking near the given amplitude. Each
// channel gets its own partials. Values are sample values of the 16-bit
// scale; for 8-bit material pass an amplitude below 128.
inline std::vector<double> musicLike(int frames, int channels, double amplitude,
                                     double sampleRate = 44100.0) {
  std::vector<double> out(static_cast<size_t>(frames) * channels);
  uint32_t noise = 12345u;
  const double pi = 3.14159265358979323846;
  for (int ch = 0; ch < channels; ++ch) {
    const double base = 110.0 * (ch + 1);
    for (int t = 0; t < frames; ++t) {
      const double time = t / sampleRate;
      double v = 0.0;
      v += 0.45 * std::sin(2 * pi * base * time);
      v += 0.25 * std::sin(2 * pi * base * 2.01 * time + 0.3) *
           (0.6 + 0.4 * std::sin(2 * pi * 3 * time));
      v += 0.12 * std::sin(2 * pi * 1234.5 * time + ch);
      v += 0.08 * std::sin(2 * pi * 5011.0 * time) * std::sin(2 * pi * 0.7 * time);
      noise = noise * 1664525u + 1013904223u;
      v += 0.05 * ((noise >> 8) / double(1u << 24) - 0.5);
      out[static_cast<size_t>(t) * channels + ch] = amplitude * v;
    }
  }
  return out;
}

inline std::vector<uint8_t> pcm16Of(const std::vector<double>& values) {
  std::vector<int16_t> samples(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    samples[i] = static_cast<int16_t>(std::lround(std::clamp(values[i], -32768.0, 32767.0)));
  }
  return bytesOf16(samples);
}

inline std::vector<uint8_t> pcm8Of(const std::vector<double>& values) {
  std::vector<uint8_t> bytes(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(std::lround(std::clamp(values[i], -128.0, 127.0)) + 128);
  }
  return bytes;
}

// Fails the test if movable memory blocks or locks are left over between
// its construction and the check.
class MemoryWatch {
 public:
  MemoryWatch() { vtGlobalStats(&start_); }
  void expectNothingLeaked(const char* when) const {
    VtGlobalStats now{};
    vtGlobalStats(&now);
    EXPECT_EQ(now.liveBlocks, start_.liveBlocks) << "movable blocks left over " << when;
    EXPECT_EQ(now.liveLocks, start_.liveLocks) << "locks left over " << when;
  }

 private:
  VtGlobalStats start_{};
};

inline long liveLocks() {
  VtGlobalStats now{};
  vtGlobalStats(&now);
  return now.liveLocks;
}

}  // namespace support
