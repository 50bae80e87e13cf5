// The engine as a stream: block lengths, channel counts, latency, restarts
// and curve changes; its settings and effect tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "engine_support.h"
#include "expected_presets.h"
#include "host_support.h"
#include "vthost.h"

namespace {

using enginetest::Planar;
using vtengine::Effect;
using vtengine::Engine;
using vtengine::EngineSettings;

// Float material on the 16-bit scale's grid, like decoded 16-bit audio.
Planar music(int channels, size_t frames, double sampleRate) {
  const std::vector<double> values =
      support::musicLike(static_cast<int>(frames), channels, 0.8, sampleRate);
  Planar planar = enginetest::silence(channels, frames);
  for (size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < channels; ++c) planar[c][t] = static_cast<float>(values[t * channels + c]);
  }
  return planar;
}

EngineSettings settingsFor(Effect effect, int presetIndex, int channels, double sampleRate) {
  EngineSettings s;
  s.effect = effect;
  s.curves =
      vtengine::parsePreset(vtengine::effectInfo(effect).builtInPresets[presetIndex].text).curves;
  s.channels = channels;
  s.sampleRate = sampleRate;
  return s;
}

// Dynamic keeps an envelope from frame to frame, and chaos turns phases
// by it: the most state a stream carries.
constexpr int dynamicChaos = 7;  // "Soft Dynamic+Chaos"
constexpr int fourierNoEffect = 0;

bool sameBits(const Planar& a, const Planar& b) {
  if (a.size() != b.size()) return false;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return false;
    if (!std::equal(a[c].begin(), a[c].end(), b[c].begin(),
                    [](float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; })) {
      return false;
    }
  }
  return true;
}

// The effect table: every effect once, in the order of its value, found by
// its own name, and with the curves its plug-in creates.
TEST(EffectTable, ListsEveryEffectOnceByItsOwnName) {
  const std::vector<vtengine::Effect>& effects = vtengine::allEffects();
  ASSERT_EQ(effects.size(), 2u);
  for (std::size_t i = 0; i < effects.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(effects[i]), i);
    const vtengine::EffectInfo& info = vtengine::effectInfo(effects[i]);
    EXPECT_EQ(info.effect, effects[i]);
    EXPECT_EQ(vtengine::effectNamed(info.name), effects[i]);
    EXPECT_EQ(info.initialCurves.size(), info.curveNames.size());
  }
  EXPECT_EQ(vtengine::effectInfo(vtengine::Effect::Dynamic).name, "dynamic");
  EXPECT_EQ(vtengine::effectInfo(vtengine::Effect::Fourier).name, "fourier");
  EXPECT_EQ(vtengine::effectNamed("Chaos"), std::nullopt);
}

TEST(EngineBlocks, AnyBlockLengthGivesTheSameOutput) {
  const Planar input = music(2, 20000, 44100);
  Engine reference(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  const Planar whole = enginetest::runEngine(reference, input, input[0].size());
  for (size_t block : {1, 7, 64, 4096}) {
    SCOPED_TRACE("blocks of " + std::to_string(block));
    Engine engine(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
    EXPECT_TRUE(sameBits(enginetest::runEngine(engine, input, block), whole));
  }
}

TEST(EngineBlocks, EmptyBlocksChangeNothing) {
  const Planar input = music(1, 3000, 22050);
  Engine plain(settingsFor(Effect::Fourier, 2, 1, 22050));
  const Planar expected = enginetest::runEngine(plain, input, 100);
  Engine engine(settingsFor(Effect::Fourier, 2, 1, 22050));
  float none = 0.0f;
  const float* noInput[] = {&none};
  float* noOutput[] = {&none};
  engine.process(noInput, noOutput, 0);
  EXPECT_TRUE(sameBits(enginetest::runEngine(engine, input, 100), expected));
}

TEST(EngineBlocks, AnEmptyStreamFinishesWithSilenceAndLeavesNothingBehind) {
  const Planar input = music(2, 4000, 44100);
  Engine fresh(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  const Planar expected = enginetest::runEngine(fresh, input, 256);
  Engine engine(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  Planar tail = enginetest::silence(2, static_cast<size_t>(engine.latency()));
  for (auto& channel : tail) std::fill(channel.begin(), channel.end(), 9.0f);
  float* out[] = {tail[0].data(), tail[1].data()};
  engine.finish(out);
  for (const auto& channel : tail) {
    EXPECT_TRUE(std::all_of(channel.begin(), channel.end(), [](float v) { return v == 0.0f; }));
  }
  EXPECT_TRUE(sameBits(enginetest::runEngine(engine, input, 256), expected));
}

// 3 to 6 channels: each pair as a stereo engine would process it, an odd
// last channel as a mono engine would.
TEST(EngineChannels, ManyChannelsArePairsAndAnOddLastChannelAlone) {
  for (int channels = 3; channels <= 6; ++channels) {
    SCOPED_TRACE(std::to_string(channels) + " channels");
    const Planar input = music(channels, 9000, 22050);
    Engine engine(settingsFor(Effect::Dynamic, dynamicChaos, channels, 22050));
    const Planar output = enginetest::runEngine(engine, input, 333);
    for (int first = 0; first < channels; first += 2) {
      const int width = std::min(2, channels - first);
      Planar part(input.begin() + first, input.begin() + first + width);
      Engine alone(settingsFor(Effect::Dynamic, dynamicChaos, width, 22050));
      const Planar expected = enginetest::runEngine(alone, part, 333);
      const Planar actual(output.begin() + first, output.begin() + first + width);
      EXPECT_TRUE(sameBits(actual, expected)) << "channels from " << first;
    }
  }
}

// The latency the engine reports is where an impulse comes out, and the
// output before it is silence.
TEST(EngineLatency, AnImpulseComesOutLatencyFramesLater) {
  for (double rate : {11025.0, 22050.0, 44100.0}) {
    SCOPED_TRACE(std::to_string(rate) + " Hz");
    Engine engine(settingsFor(Effect::Fourier, fourierNoEffect, 1, rate));
    const size_t frames = 8000;
    const size_t at = 3001;
    std::vector<float> input(frames, 0.0f);
    input[at] = 0.5f;
    std::vector<float> output(frames, 1.0f);
    const float* in[] = {input.data()};
    float* out[] = {output.data()};
    engine.process(in, out, frames);
    const auto peak = std::max_element(
        output.begin(), output.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_EQ(static_cast<size_t>(peak - output.begin()), at + engine.latency());
    EXPECT_NEAR(*peak, 0.5f, 0.01f);
    EXPECT_EQ(engine.latency(), engine.frameLength() - 1);
  }
}

TEST(EngineLatency, OutputBeforeTheLatencyIsSilenceEvenForLoudInput) {
  Engine engine(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  const Planar input = music(2, 5000, 44100);
  Planar output = enginetest::silence(2, 5000);
  for (auto& channel : output) std::fill(channel.begin(), channel.end(), 9.0f);
  const float* in[] = {input[0].data(), input[1].data()};
  float* out[] = {output[0].data(), output[1].data()};
  engine.process(in, out, 5000);
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(std::all_of(output[c].begin(), output[c].begin() + engine.latency(),
                            [](float v) { return v == 0.0f; }));
    EXPECT_NE(output[c][engine.latency()], 0.0f);
  }
}

// Float output is not clipped: clipping belongs to integer output.
TEST(EngineLevels, LoudInputComesOutBeyondFullScale) {
  Engine engine(settingsFor(Effect::Fourier, fourierNoEffect, 1, 44100));
  Planar input = music(1, 10000, 44100);
  for (float& v : input[0]) v *= 2.5f;
  const Planar output = enginetest::runEngine(engine, input, 512);
  const float loudest = *std::max_element(output[0].begin(), output[0].end());
  EXPECT_GT(loudest, 1.2f);
}

// Whatever a stream leaves behind (envelopes, tails, a half-filled block)
// must not reach the next one.
TEST(EngineRestart, ResetAndFinishStartTheNextStreamAfresh) {
  const Planar first = music(2, 7777, 44100);
  const Planar second = music(2, 6000, 44100);
  Engine fresh(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  const Planar expected = enginetest::runEngine(fresh, second, 1000);

  Engine afterFinish(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  enginetest::runEngine(afterFinish, first, 1000);
  EXPECT_TRUE(sameBits(enginetest::runEngine(afterFinish, second, 1000), expected));

  Engine afterReset(settingsFor(Effect::Dynamic, dynamicChaos, 2, 44100));
  Planar scratch = enginetest::silence(2, 3333);
  const float* in[] = {first[0].data(), first[1].data()};
  float* out[] = {scratch[0].data(), scratch[1].data()};
  afterReset.process(in, out, 3333);
  afterReset.reset();
  EXPECT_TRUE(sameBits(enginetest::runEngine(afterReset, second, 1000), expected));
}

TEST(EngineCurves, UsedCurvesActLikeAnEngineMadeWithThem) {
  const Planar input = music(2, 6000, 22050);
  Engine made(settingsFor(Effect::Dynamic, 8, 2, 22050));
  const Planar expected = enginetest::runEngine(made, input, 500);

  Engine engine(settingsFor(Effect::Dynamic, dynamicChaos, 2, 22050));
  auto tables =
      vtengine::prepareCurves(Effect::Dynamic, settingsFor(Effect::Dynamic, 8, 2, 22050).curves);
  engine.useCurves(tables);
  ASSERT_NE(tables, nullptr) << "the previous tables come back to be freed";
  EXPECT_TRUE(sameBits(enginetest::runEngine(engine, input, 500), expected));

  // Tables of the other effect are refused and stay with the caller.
  auto other =
      vtengine::prepareCurves(Effect::Fourier, vtengine::effectInfo(Effect::Fourier).initialCurves);
  engine.useCurves(other);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->effect(), Effect::Fourier);
  EXPECT_TRUE(sameBits(enginetest::runEngine(engine, input, 500), expected));
}

TEST(EngineSettingsCheck, UnusableSettingsAreRefusedNamingTheValue) {
  struct Case {
    const char* name;
    EngineSettings settings;
    const char* named;
  };
  EngineSettings base;
  auto with = [&base](auto change) {
    EngineSettings s = base;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"no channels", with([](EngineSettings& s) { s.channels = 0; }), "channel count 0"},
      {"zero rate", with([](EngineSettings& s) { s.sampleRate = 0; }), "sample rate"},
      {"NaN rate", with([](EngineSettings& s) { s.sampleRate = std::nan(""); }), "sample rate"},
      {"zero scale", with([](EngineSettings& s) { s.integerScale = 0; }), "integer scale"},
      {"two curves for three", with([](EngineSettings& s) {
         s.curves = {{{0, 0}}, {{0, 0}}};
       }),
       "takes 3 curves (attack, release, chaos), but 2"},
      {"a point above the range", with([](EngineSettings& s) {
         s.curves = {{{0, 0}}, {{0, 16385}}, {{0, 0}}};
       }),
       "release curve of dynamic has the point (0,16385)"},
      {"x falling", with([](EngineSettings& s) {
         s.curves = {{{0, 0}}, {{0, 0}}, {{500, 0}, {400, 0}}};
       }),
       "lets x fall from 500 to 400"},
      {"a curve without points", with([](EngineSettings& s) {
         s.curves = {{}, {{0, 0}}, {{0, 0}}};
       }),
       "attack curve of dynamic has no points"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Engine engine(c.settings);
      ADD_FAILURE() << "accepted";
    } catch (const vtengine::EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
  }
}

TEST(EngineGeometry, FrameLengthFollowsThePluginsRuleAtEveryRate) {
  const std::pair<double, int> cases[] = {{8000, 256},   {11025, 256}, {22049, 256},
                                          {22050, 512},  {44099, 512}, {44100, 1024},
                                          {48000, 1024}, {96000, 1024}};
  for (const auto& [rate, n] : cases) {
    EngineSettings s;
    s.sampleRate = rate;
    EXPECT_EQ(Engine(s).frameLength(), n) << rate << " Hz";
  }
}

// The effects' tables against what the plug-ins themselves seed and
// create, stated independently of both.
TEST(EngineEffects, BuiltInPresetsAreThePluginsOwnInKeyOrder) {
  const std::pair<Effect, const std::vector<std::string>*> effects[] = {
      {Effect::Dynamic, &expectedDynamicPresets()}, {Effect::Fourier, &expectedFourierPresets()}};
  for (const auto& [effect, expected] : effects) {
    const auto& presets = vtengine::effectInfo(effect).builtInPresets;
    ASSERT_EQ(presets.size(), expected->size());
    for (size_t i = 0; i < presets.size(); ++i) {
      EXPECT_EQ(presets[i].key, "Item" + std::to_string(i + 1));
      EXPECT_EQ(presets[i].text, (*expected)[i]);
      EXPECT_EQ(vtengine::presetText(vtengine::parsePreset(presets[i].text)), (*expected)[i])
          << "presetText does not give back what parsePreset read";
    }
  }
}

TEST(EngineEffects, InitialCurvesAreTheOnesXfmInitCreatesInTheHost) {
  const std::pair<Effect, const char*> effects[] = {{Effect::Dynamic, VORTIGEN_DYNAMIC_PLUGIN},
                                                    {Effect::Fourier, VORTIGEN_FOURIER_PLUGIN}};
  for (const auto& [effect, path] : effects) {
    vthost::PluginLibrary library(path);
    vthost::EffectHost host(library, vthost::WaveFormat{}, std::vector<uint8_t>(4));
    ASSERT_EQ(host.init(), 1);
    const auto handles = host.curveHandles();
    const auto& initial = vtengine::effectInfo(effect).initialCurves;
    ASSERT_EQ(handles.size(), initial.size());
    ASSERT_EQ(vtengine::effectInfo(effect).curveNames.size(), initial.size());
    for (size_t i = 0; i < handles.size(); ++i)
      EXPECT_EQ(host.curve(handles[i]).points, initial[i]);
    host.destroy();
  }
}

TEST(EngineEffects, EffectsAreFoundByNameInAnyLetterCase) {
  EXPECT_EQ(vtengine::effectNamed("Dynamic"), Effect::Dynamic);
  EXPECT_EQ(vtengine::effectNamed("FOURIER"), Effect::Fourier);
  EXPECT_EQ(vtengine::effectNamed("dynamics"), std::nullopt);
  EXPECT_EQ(vtengine::effectNamed(""), std::nullopt);
}

}  // namespace
