// The engine against the real plug-in libraries through the reference host:
// every built-in preset of both effects, 8- and 16-bit, mono and stereo,
// at each frame length, over whole and partial selections. The engine's
// output, clipped and quantised as XfmDo does, must be the plug-in's
// sample for sample.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_support.h"
#include "host_support.h"
#include "vthost.h"

namespace {

using enginetest::Planar;
using vtengine::Effect;

vthost::PluginLibrary& library(Effect effect) {
  static vthost::PluginLibrary dynamic(VORTIGEN_DYNAMIC_PLUGIN);
  static vthost::PluginLibrary fourier(VORTIGEN_FOURIER_PLUGIN);
  return effect == Effect::Dynamic ? dynamic : fourier;
}

struct Material {
  int bits;
  int channels;
  LONG sampleRate;
};

// Interleaved integer samples: 8-bit as -128..127 (the byte less 128).
std::vector<int> samplesOf(const Material& m, int frames) {
  const double amplitude = m.bits == 8 ? 118.0 : 29000.0;
  const std::vector<double> values =
      support::musicLike(frames, m.channels, amplitude, m.sampleRate);
  std::vector<int> samples(values.size());
  const double limit = m.bits == 8 ? 127.0 : 32767.0;
  for (size_t i = 0; i < values.size(); ++i) {
    samples[i] = static_cast<int>(std::lround(std::clamp(values[i], -limit - 1, limit)));
  }
  return samples;
}

std::vector<uint8_t> bytesOf(const Material& m, const std::vector<int>& samples) {
  if (m.bits == 16) {
    return support::bytesOf16(std::vector<int16_t>(samples.begin(), samples.end()));
  }
  std::vector<uint8_t> bytes(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) bytes[i] = static_cast<uint8_t>(samples[i] + 128);
  return bytes;
}

std::vector<int> samplesOfBytes(const Material& m, const std::vector<uint8_t>& bytes) {
  if (m.bits == 16) {
    const std::vector<int16_t> s = support::samplesOf16(bytes);
    return std::vector<int>(s.begin(), s.end());
  }
  std::vector<int> samples(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) samples[i] = bytes[i] - 128;
  return samples;
}

// What the plug-in makes of frames first..last of the samples.
std::vector<int> throughPlugin(Effect effect, const Material& m, const std::string& preset,
                               const std::vector<int>& samples, LONG first, LONG last) {
  vthost::WaveFormat format;
  format.channels = static_cast<WORD>(m.channels);
  format.bitsPerSample = static_cast<WORD>(m.bits);
  format.sampleRate = m.sampleRate;
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(library(effect), format, bytesOf(m, samples), options);
  EXPECT_EQ(host.init(), 1);
  host.applyPreset(preset);
  EXPECT_EQ(host.process(first, last), 0);
  EXPECT_TRUE(host.errors().empty()) << host.errors().front();
  return samplesOfBytes(m, host.waveform());
}

// What the engine makes of them, quantised as XfmDo writes it; the rest as
// it was.
std::vector<int> throughEngine(Effect effect, const Material& m, const std::string& preset,
                               const std::vector<int>& samples, LONG first, LONG last,
                               size_t blockLength = 1000) {
  vtengine::EngineSettings settings;
  settings.effect = effect;
  settings.curves = vtengine::parsePreset(preset).curves;
  settings.sampleRate = m.sampleRate;
  settings.channels = m.channels;
  settings.integerScale = m.bits == 8 ? 128.0f : 32768.0f;
  vtengine::Engine engine(settings);

  const size_t frames = static_cast<size_t>(last - first + 1);
  Planar input = enginetest::silence(m.channels, frames);
  for (size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < m.channels; ++c) {
      const int sample = samples[(static_cast<size_t>(first) + t) * m.channels + c];
      input[c][t] = static_cast<float>(sample) / settings.integerScale;
    }
  }
  const Planar output = enginetest::runEngine(engine, input, blockLength);
  std::vector<int> result = samples;
  for (size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < m.channels; ++c) {
      result[(static_cast<size_t>(first) + t) * m.channels + c] =
          enginetest::quantised(output[c][t], settings.integerScale, m.bits);
    }
  }
  return result;
}

// Empty when equal; else how many samples differ and where the first is.
std::string differences(const std::vector<int>& expected, const std::vector<int>& actual,
                        int channels) {
  if (expected.size() != actual.size()) return "lengths differ";
  size_t count = 0;
  size_t firstAt = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == actual[i]) continue;
    if (count++ == 0) firstAt = i;
  }
  if (count == 0) return {};
  return std::to_string(count) + " samples differ, the first at frame " +
         std::to_string(firstAt / channels) + " channel " + std::to_string(firstAt % channels) +
         ": plug-in " + std::to_string(expected[firstAt]) + ", engine " +
         std::to_string(actual[firstAt]);
}

struct Selection {
  const char* name;
  LONG first;
  LONG lastFromEnd;  // frames left after the selection
};

using EquivalenceCase = std::tuple<Effect, int, int, LONG>;

class EngineEquivalence : public testing::TestWithParam<EquivalenceCase> {};

TEST_P(EngineEquivalence, EveryBuiltInPresetMatchesThePluginSampleForSample) {
  const auto [effect, bits, channels, rate] = GetParam();
  const Material m{bits, channels, rate};
  // Half a second and a short last block; partial selections start and end
  // off the block grid.
  const int frames = static_cast<int>(rate / 2) + 321;
  const std::vector<int> samples = samplesOf(m, frames);
  const Selection selections[] = {
      {"whole", 0, 0}, {"partial", 1234, 777}, {"from the start", 0, 5000}};
  for (const BuiltInPreset& preset : vtengine::effectInfo(effect).builtInPresets) {
    for (const Selection& s : selections) {
      SCOPED_TRACE(std::string(preset.text) + ", " + s.name + " selection");
      const LONG last = frames - 1 - s.lastFromEnd;
      const std::string text(preset.text);
      const std::vector<int> plugin = throughPlugin(effect, m, text, samples, s.first, last);
      const std::vector<int> engine = throughEngine(effect, m, text, samples, s.first, last);
      EXPECT_EQ(differences(plugin, engine, channels), "");
    }
  }
}

std::string caseName(const testing::TestParamInfo<EquivalenceCase>& info) {
  const auto [effect, bits, channels, rate] = info.param;
  return std::string(effect == Effect::Dynamic ? "Dynamic" : "Fourier") + "_" +
         std::to_string(bits) + "bit_" + (channels == 1 ? "mono_" : "stereo_") +
         std::to_string(rate);
}

INSTANTIATE_TEST_SUITE_P(, EngineEquivalence,
                         testing::Combine(testing::Values(Effect::Dynamic, Effect::Fourier),
                                          testing::Values(8, 16), testing::Values(1, 2),
                                          testing::Values(11025, 22050, 44100)),
                         caseName);

// Selections around the block length H = 128 (11025 Hz): the ones XfmDo
// hands back unchanged, one pass with a one-frame last block, whole blocks
// only, a short last block.
TEST(EngineEquivalenceShortStreams, SelectionsAroundOneAndTwoBlocksMatchThePlugin) {
  const Material m{16, 2, 11025};
  const int h = 128;
  const std::vector<int> samples = samplesOf(m, 8 * h);
  for (Effect effect : {Effect::Dynamic, Effect::Fourier}) {
    const std::string preset(vtengine::effectInfo(effect).builtInPresets[1].text);
    for (int length : {1, h - 1, h, h + 1, 2 * h - 1, 2 * h, 2 * h + 1, 3 * h, 3 * h + 5}) {
      SCOPED_TRACE(preset + ", " + std::to_string(length) + " frames");
      const LONG first = 100;
      const LONG last = first + length - 1;
      EXPECT_EQ(differences(throughPlugin(effect, m, preset, samples, first, last),
                            throughEngine(effect, m, preset, samples, first, last, 7), 2),
                "");
    }
  }
}

}  // namespace
