// The two plug-in libraries, each loaded once per test process.
#pragma once

#include <string>
#include <vector>

#include "host_support.h"
#include "vthost.h"

namespace plugins {

inline vthost::PluginLibrary& dynamic() {
  static vthost::PluginLibrary library(VORTIGEN_DYNAMIC_PLUGIN);
  return library;
}

inline vthost::PluginLibrary& fourier() {
  static vthost::PluginLibrary library(VORTIGEN_FOURIER_PLUGIN);
  return library;
}

// An initialised instance with an empty call log, the curves set from a
// preset text when one is given.
struct Instance {
  vthost::EffectHost host;
  Instance(vthost::PluginLibrary& plugin, vthost::WaveFormat format, std::vector<uint8_t> waveform,
           const std::string& preset = {})
      : host(plugin, format, std::move(waveform)) {
    EXPECT_EQ(host.init(), 1);
    if (!preset.empty()) host.applyPreset(preset);
    host.clearCalls();
  }

  // Processes the whole waveform and returns it.
  const std::vector<uint8_t>& processed() {
    EXPECT_EQ(host.process(), 0);
    EXPECT_TRUE(host.errors().empty()) << host.errors().front();
    return host.waveform();
  }
};

// Largest absolute difference between two 16-bit waveforms, leaving out the
// samples where the input held -32768, which the clip range moves to -32767.
inline int largestStep16(const std::vector<int16_t>& input, const std::vector<int16_t>& output) {
  int largest = 0;
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] == -32768) continue;
    largest = std::max(largest, std::abs(int(output[i]) - int(input[i])));
  }
  return largest;
}

inline double rms(const std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x * x;
  return std::sqrt(sum / v.size());
}

inline std::vector<double> asDoubles16(const std::vector<uint8_t>& bytes) {
  const std::vector<int16_t> s = support::samplesOf16(bytes);
  return std::vector<double>(s.begin(), s.end());
}

}  // namespace plugins
