// libvortigen's C interface as a caller sees it, through libvortigen.so:
// what it lists, that its output is the engine's bit for bit (planar,
// interleaved, in place, any block length, flush), curve swaps, resets,
// and every refusal with its status and message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine.h"
#include "host_support.h"
#include "vortigen/vortigen.h"

namespace {

using Planar = std::vector<std::vector<float>>;

Planar music(int channels, size_t frames) {
  const std::vector<double> values = support::musicLike(static_cast<int>(frames), channels, 0.8);
  Planar planar(static_cast<size_t>(channels), std::vector<float>(frames));
  for (size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < channels; ++c) planar[c][t] = float(values[t * channels + c]);
  }
  return planar;
}

bool sameBits(const Planar& a, const Planar& b) {
  if (a.size() != b.size()) return false;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size() ||
        std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0)
      return false;
  }
  return true;
}

// Owns an instance for the length of a test.
struct Instance {
  Instance(const char* effect, const char* preset, int channels, double rate = 44100,
           int scale = 32768) {
    status = vortigen_new(effect, preset, rate, channels, scale, &p);
  }
  ~Instance() { vortigen_free(p); }
  vortigen_instance* p = nullptr;
  vortigen_status status;
};

// The stream through the C interface in blocks, then flush: the output
// without its first latency frames, as long as the input.
Planar runPlanar(vortigen_instance* instance, const Planar& input, size_t block) {
  const size_t frames = input[0].size(), latency = size_t(vortigen_latency(instance));
  Planar all(input.size(), std::vector<float>(frames + latency));
  std::vector<const float*> in(input.size());
  std::vector<float*> out(input.size());
  for (size_t at = 0; at < frames; at += block) {
    for (size_t c = 0; c < input.size(); ++c) {
      in[c] = input[c].data() + at;
      out[c] = all[c].data() + at;
    }
    EXPECT_EQ(vortigen_process(instance, in.data(), out.data(), std::min(block, frames - at)),
              VORTIGEN_OK);
  }
  for (size_t c = 0; c < input.size(); ++c) out[c] = all[c].data() + frames;
  EXPECT_EQ(vortigen_flush(instance, out.data()), VORTIGEN_OK);
  for (auto& channel : all) channel.erase(channel.begin(), channel.begin() + long(latency));
  return all;
}

// The same through the interleaved calls, in place in one buffer.
Planar runInterleavedInPlace(vortigen_instance* instance, const Planar& input, size_t block) {
  const size_t channels = input.size(), frames = input[0].size();
  const size_t latency = size_t(vortigen_latency(instance));
  std::vector<float> buffer((frames + latency) * channels);
  for (size_t f = 0; f < frames; ++f) {
    for (size_t c = 0; c < channels; ++c) buffer[f * channels + c] = input[c][f];
  }
  for (size_t at = 0; at < frames; at += block) {
    float* here = buffer.data() + at * channels;
    EXPECT_EQ(vortigen_process_interleaved(instance, here, here, std::min(block, frames - at)),
              VORTIGEN_OK);
  }
  EXPECT_EQ(vortigen_flush_interleaved(instance, buffer.data() + frames * channels), VORTIGEN_OK);
  Planar out(channels, std::vector<float>(frames));
  for (size_t f = 0; f < frames; ++f) {
    for (size_t c = 0; c < channels; ++c) out[c][f] = buffer[(f + latency) * channels + c];
  }
  return out;
}

// The engine called directly, whole stream at once.
Planar runEngine(vtengine::Effect effect, const std::string& presetText, const Planar& input,
                 double rate = 44100, float scale = 32768) {
  vtengine::EngineSettings settings;
  settings.effect = effect;
  settings.curves = vtengine::parsePreset(presetText).curves;
  settings.channels = int(input.size());
  settings.sampleRate = rate;
  settings.integerScale = scale;
  vtengine::Engine engine(settings);
  const size_t frames = input[0].size(), latency = size_t(engine.latency());
  Planar all(input.size(), std::vector<float>(frames + latency));
  std::vector<const float*> in;
  std::vector<float*> out, tail;
  for (size_t c = 0; c < input.size(); ++c) {
    in.push_back(input[c].data());
    out.push_back(all[c].data());
    tail.push_back(all[c].data() + frames);
  }
  engine.process(in.data(), out.data(), frames);
  engine.finish(tail.data());
  for (auto& channel : all) channel.erase(channel.begin(), channel.begin() + long(latency));
  return all;
}

std::string presetTextNamed(const char* effect, const char* name) {
  for (int i = 0; i < vortigen_preset_count(effect); ++i) {
    if (std::string(vortigen_preset_name(effect, i)) == name)
      return vortigen_preset_text(effect, i);
  }
  return "";
}

// ---- Listing ---------------------------------------------------------------

TEST(CapiListing, EffectsCurvesAndPresetsAreTheEngines) {
  ASSERT_EQ(vortigen_effect_count(), 2);
  for (int e = 0; e < 2; ++e) {
    const char* name = vortigen_effect_name(e);
    ASSERT_NE(name, nullptr);
    const vtengine::EffectInfo& info = vtengine::effectInfo(*vtengine::effectNamed(name));
    EXPECT_EQ(vortigen_effect_description(name), info.description);
    ASSERT_EQ(vortigen_curve_count(name), int(info.curveNames.size()));
    for (int c = 0; c < vortigen_curve_count(name); ++c)
      EXPECT_EQ(vortigen_curve_name(name, c), info.curveNames[size_t(c)]);
    ASSERT_EQ(vortigen_preset_count(name), int(info.builtInPresets.size()));
    for (int p = 0; p < vortigen_preset_count(name); ++p) {
      EXPECT_STREQ(vortigen_preset_text(name, p), info.builtInPresets[size_t(p)].text);
      EXPECT_EQ(vortigen_preset_name(name, p),
                vtengine::parsePreset(info.builtInPresets[size_t(p)].text).name);
    }
  }
  EXPECT_STREQ(vortigen_preset_name("dynamic", 8), "Hard Attack");
  EXPECT_STREQ(vortigen_curve_name("FOURIER", 0), "transfer");
}

TEST(CapiListing, OutOfRangeAsksAreRefusedWithAMessage) {
  EXPECT_EQ(vortigen_effect_name(2), nullptr);
  EXPECT_EQ(vortigen_effect_name(-1), nullptr);
  EXPECT_EQ(vortigen_curve_count("reverb"), -1);
  EXPECT_NE(std::string(vortigen_last_error()).find("reverb"), std::string::npos);
  EXPECT_EQ(vortigen_curve_name("dynamic", 3), nullptr);
  EXPECT_NE(std::string(vortigen_last_error()).find("give 0 to 2"), std::string::npos);
  EXPECT_EQ(vortigen_preset_text("fourier", 6), nullptr);
  EXPECT_EQ(vortigen_preset_count(nullptr), -1);
  EXPECT_EQ(vortigen_effect_description(nullptr), nullptr);
}

// ---- Output equals the engine's ---------------------------------------------

struct Case {
  const char* effect;
  vtengine::Effect engineEffect;
  const char* preset;
  int channels;
  double rate;
};

TEST(CapiOutput, PlanarAndInterleavedInAnyBlocksAreTheEnginesBitForBit) {
  const Case cases[] = {{"dynamic", vtengine::Effect::Dynamic, "Soft Dynamic+Chaos", 2, 44100},
                        {"dynamic", vtengine::Effect::Dynamic, "Hard Attack", 3, 22050},
                        {"fourier", vtengine::Effect::Fourier, "Five", 1, 48000}};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.effect) + " " + k.preset);
    const Planar input = music(k.channels, 9000);
    const Planar expected =
        runEngine(k.engineEffect, presetTextNamed(k.effect, k.preset), input, k.rate);
    Instance instance(k.effect, k.preset, k.channels, k.rate);
    ASSERT_EQ(instance.status, VORTIGEN_OK) << vortigen_last_error();
    for (size_t block : {size_t(1), size_t(1000), size_t(4096), size_t(9000)}) {
      // Each flush leaves the instance ready for the next stream.
      EXPECT_TRUE(sameBits(runPlanar(instance.p, input, block), expected)) << block;
      EXPECT_TRUE(sameBits(runInterleavedInPlace(instance.p, input, block), expected)) << block;
    }
  }
}

TEST(CapiOutput, IntegerScaleIsPassedToTheEngine) {
  Planar input = music(1, 5000);
  for (float& v : input[0]) v /= 256.0f;  // values of 8-bit size
  const std::string text = presetTextNamed("dynamic", "Chaos");
  Instance instance("dynamic", "Chaos", 1, 44100, 128);
  ASSERT_EQ(instance.status, VORTIGEN_OK);
  EXPECT_TRUE(sameBits(runPlanar(instance.p, input, 777),
                       runEngine(vtengine::Effect::Dynamic, text, input, 44100, 128)));
}

TEST(CapiOutput, PresetByNameInAnyCaseOrByTextOrNoneGiveTheirCurves) {
  const Planar input = music(2, 6000);
  const std::string text = presetTextNamed("dynamic", "Hard Attack");
  Instance byName("dynamic", "hard attack", 2), byText("dynamic", text.c_str(), 2),
      initial("Dynamic", nullptr, 2), empty("dynamic", "", 2);
  ASSERT_EQ(byName.status, VORTIGEN_OK);
  ASSERT_EQ(byText.status, VORTIGEN_OK);
  ASSERT_EQ(initial.status, VORTIGEN_OK);
  ASSERT_EQ(empty.status, VORTIGEN_OK);
  const Planar hard = runEngine(vtengine::Effect::Dynamic, text, input);
  EXPECT_TRUE(sameBits(runPlanar(byName.p, input, 512), hard));
  EXPECT_TRUE(sameBits(runPlanar(byText.p, input, 512), hard));
  const vtengine::EffectInfo& info = vtengine::effectInfo(vtengine::Effect::Dynamic);
  const std::string initialText = vtengine::presetText({"Initial", 3, info.initialCurves});
  const Planar flat = runEngine(vtengine::Effect::Dynamic, initialText, input);
  EXPECT_TRUE(sameBits(runPlanar(initial.p, input, 512), flat));
  EXPECT_TRUE(sameBits(runPlanar(empty.p, input, 512), flat));
  EXPECT_FALSE(sameBits(flat, hard));
}

TEST(CapiStream, ResetStartsANewStreamWithTheSameCurves) {
  const Planar input = music(2, 4000);
  Instance instance("fourier", "Hay Fever", 2);
  const Planar first = runPlanar(instance.p, input, 4000);
  std::vector<const float*> in{input[0].data(), input[1].data()};
  std::vector<float> scratch0(1500), scratch1(1500);
  std::vector<float*> out{scratch0.data(), scratch1.data()};
  vortigen_process(instance.p, in.data(), out.data(), 1500);  // half a stream, abandoned
  vortigen_reset(instance.p);
  EXPECT_TRUE(sameBits(runPlanar(instance.p, input, 4000), first));
  EXPECT_EQ(vortigen_latency(instance.p), 1023);
  EXPECT_EQ(vortigen_channels(instance.p), 2);
  EXPECT_EQ(vortigen_latency(nullptr), 0);
  vortigen_reset(nullptr);
}

// ---- Curve swaps --------------------------------------------------------------

TEST(CapiCurves, ASwapMidStreamIsTheEnginesSwapAndHandsBackThePreviousCurves) {
  const Planar input = music(2, 8000);
  const size_t swapAt = 3000;
  auto engineTables = [](const char* name) {
    return vtengine::prepareCurves(vtengine::Effect::Dynamic,
                                   vtengine::parsePreset(presetTextNamed("dynamic", name)).curves);
  };
  // The engine: Soft Attack, then Chaos from frame swapAt on, then Soft Attack again.
  vtengine::EngineSettings settings;
  settings.curves = vtengine::parsePreset(presetTextNamed("dynamic", "Soft Attack")).curves;
  vtengine::Engine engine(settings);
  Planar expected(2, std::vector<float>(input[0].size())), got = expected;
  auto run = [&](auto process, Planar& out, size_t from, size_t to) {
    std::vector<const float*> in{input[0].data() + from, input[1].data() + from};
    std::vector<float*> o{out[0].data() + from, out[1].data() + from};
    process(in.data(), o.data(), to - from);
  };
  auto engineProcess = [&](const float* const* in, float* const* out, size_t n) {
    engine.process(in, out, n);
  };
  auto capiProcess = [&](vortigen_instance* p) {
    return [p](const float* const* in, float* const* out, size_t n) {
      ASSERT_EQ(vortigen_process(p, in, out, n), VORTIGEN_OK);
    };
  };
  run(engineProcess, expected, 0, swapAt);
  std::unique_ptr<vtengine::CurveTables> chaos = engineTables("Chaos");
  engine.useCurves(chaos);
  run(engineProcess, expected, swapAt, 6000);
  engine.useCurves(chaos);
  run(engineProcess, expected, 6000, 8000);

  Instance instance("dynamic", "Soft Attack", 2);
  vortigen_curves* curves = nullptr;
  ASSERT_EQ(vortigen_curves_prepare("dynamic", "Chaos", &curves), VORTIGEN_OK);
  run(capiProcess(instance.p), got, 0, swapAt);
  ASSERT_EQ(vortigen_use_curves(instance.p, &curves), VORTIGEN_OK);
  run(capiProcess(instance.p), got, swapAt, 6000);
  ASSERT_EQ(vortigen_use_curves(instance.p, &curves), VORTIGEN_OK);  // Soft Attack back
  run(capiProcess(instance.p), got, 6000, 8000);
  vortigen_curves_free(curves);
  EXPECT_TRUE(sameBits(got, expected));
}

TEST(CapiCurves, CurvesOfTheOtherEffectAreRefusedAndBothSidesKept) {
  const Planar input = music(1, 5000);
  Instance swapped("fourier", "Five", 1), untouched("fourier", "Five", 1);
  vortigen_curves* dynamicCurves = nullptr;
  ASSERT_EQ(vortigen_curves_prepare("dynamic", "Chaos", &dynamicCurves), VORTIGEN_OK);
  vortigen_curves* held = dynamicCurves;
  EXPECT_EQ(vortigen_use_curves(swapped.p, &dynamicCurves), VORTIGEN_ERROR_CURVES);
  EXPECT_NE(std::string(vortigen_last_error()).find("another effect"), std::string::npos);
  EXPECT_EQ(dynamicCurves, held);
  EXPECT_TRUE(sameBits(runPlanar(swapped.p, input, 1000), runPlanar(untouched.p, input, 1000)));
  vortigen_curves_free(dynamicCurves);
  vortigen_curves_free(nullptr);
  vortigen_curves* none = nullptr;
  EXPECT_EQ(vortigen_use_curves(swapped.p, &none), VORTIGEN_ERROR_ARGUMENT);
  EXPECT_EQ(vortigen_use_curves(swapped.p, nullptr), VORTIGEN_ERROR_ARGUMENT);
}

// ---- Refusals ------------------------------------------------------------------

struct Refusal {
  const char* what;
  const char* effect;
  const char* preset;
  double rate;
  int channels;
  int scale;
  vortigen_status status;
  const char* named;  // a piece of the message that names the fault
};

TEST(CapiRefusals, BadSettingsGiveTheirStatusAMessageAndNoInstance) {
  const Refusal refusals[] = {
      {"unknown effect", "reverb", nullptr, 44100, 2, 32768, VORTIGEN_ERROR_EFFECT, "'reverb'"},
      {"no effect", nullptr, nullptr, 44100, 2, 32768, VORTIGEN_ERROR_ARGUMENT, "No effect"},
      {"unknown preset", "dynamic", "Hard Atack", 44100, 2, 32768, VORTIGEN_ERROR_PRESET,
       "'Hard Atack' is no built-in preset of dynamic (they are Flat (no effect), Soft Attack"},
      {"fourier's preset on dynamic", "dynamic", "Five", 44100, 2, 32768, VORTIGEN_ERROR_PRESET,
       "'Five'"},
      {"malformed text", "fourier", "Mine,3,2,0,0,16384", 44100, 2, 32768, VORTIGEN_ERROR_PRESET,
       ""},
      {"too few curves", "dynamic", "Mine,3,2,0,0,16384,16384", 44100, 2, 32768,
       VORTIGEN_ERROR_CURVES, ""},
      {"point out of range", "fourier", "Mine,3,2,0,0,16385,16384", 44100, 2, 32768,
       VORTIGEN_ERROR_CURVES, "outside 0..16384"},
      {"falling x", "fourier", "Mine,3,2,9000,0,100,16384", 44100, 2, 32768, VORTIGEN_ERROR_PRESET,
       "x fall"},
      {"no channels", "dynamic", nullptr, 44100, 0, 32768, VORTIGEN_ERROR_SETTINGS,
       "channel count 0"},
      {"too many channels", "dynamic", nullptr, 44100, VORTIGEN_MAX_CHANNELS + 1, 32768,
       VORTIGEN_ERROR_SETTINGS, "give 1 to 1024"},
      {"zero rate", "dynamic", nullptr, 0, 2, 32768, VORTIGEN_ERROR_SETTINGS, "sample rate"},
      {"NaN rate", "dynamic", nullptr, std::nan(""), 2, 32768, VORTIGEN_ERROR_SETTINGS,
       "sample rate"},
      {"infinite rate", "dynamic", nullptr, INFINITY, 2, 32768, VORTIGEN_ERROR_SETTINGS,
       "sample rate"},
      {"zero scale", "fourier", nullptr, 44100, 2, 0, VORTIGEN_ERROR_SETTINGS, "integer scale 0"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    vortigen_instance* instance = reinterpret_cast<vortigen_instance*>(&instance);  // not NULL
    EXPECT_EQ(vortigen_new(r.effect, r.preset, r.rate, r.channels, r.scale, &instance), r.status);
    EXPECT_EQ(instance, nullptr);
    const std::string message = vortigen_last_error();
    EXPECT_NE(message.find(r.named), std::string::npos) << message;
    EXPECT_FALSE(message.empty());
    EXPECT_STRNE(vortigen_status_text(r.status), "unknown status");
  }
  EXPECT_EQ(vortigen_new("dynamic", nullptr, 44100, 2, 32768, nullptr), VORTIGEN_ERROR_ARGUMENT);
  vortigen_curves* curves = reinterpret_cast<vortigen_curves*>(&curves);
  EXPECT_EQ(vortigen_curves_prepare("fourier", "Nope", &curves), VORTIGEN_ERROR_PRESET);
  EXPECT_EQ(curves, nullptr);
}

TEST(CapiRefusals, MissingBuffersAreRefusedAndAnEmptyBlockIsNot) {
  Instance instance("dynamic", "Chaos", 2);
  std::vector<float> a(64), b(64);
  const float* in[] = {a.data(), nullptr};
  float* out[] = {a.data(), b.data()};
  EXPECT_EQ(vortigen_process(instance.p, in, out, 64), VORTIGEN_ERROR_ARGUMENT);
  EXPECT_NE(std::string(vortigen_last_error()).find("channel buffer"), std::string::npos);
  EXPECT_EQ(vortigen_process(instance.p, nullptr, out, 64), VORTIGEN_ERROR_ARGUMENT);
  EXPECT_EQ(vortigen_process(nullptr, in, out, 64), VORTIGEN_ERROR_ARGUMENT);
  EXPECT_EQ(vortigen_process(instance.p, nullptr, nullptr, 0), VORTIGEN_OK);
  EXPECT_EQ(vortigen_process_interleaved(instance.p, a.data(), nullptr, 32),
            VORTIGEN_ERROR_ARGUMENT);
  EXPECT_EQ(vortigen_process_interleaved(instance.p, nullptr, nullptr, 0), VORTIGEN_OK);
  float* missing[] = {a.data(), nullptr};
  EXPECT_EQ(vortigen_flush(instance.p, missing), VORTIGEN_ERROR_ARGUMENT);
  EXPECT_EQ(vortigen_flush_interleaved(instance.p, nullptr), VORTIGEN_ERROR_ARGUMENT);
  EXPECT_EQ(vortigen_flush(nullptr, out), VORTIGEN_ERROR_ARGUMENT);
}

TEST(CapiRefusals, EachThreadKeepsItsOwnLastMessage) {
  vortigen_instance* instance = nullptr;
  ASSERT_EQ(vortigen_new("reverb", nullptr, 44100, 2, 32768, &instance), VORTIGEN_ERROR_EFFECT);
  std::string other = "unset";
  std::thread([&] {
    other = vortigen_last_error();
    vortigen_curve_count("chorus");
  }).join();
  EXPECT_EQ(other, "");
  EXPECT_NE(std::string(vortigen_last_error()).find("reverb"), std::string::npos);
}

TEST(CapiLibrary, VersionAndStatusTexts) {
  EXPECT_STREQ(vortigen_version(), "1.0.0");
  EXPECT_STREQ(vortigen_status_text(VORTIGEN_OK), "no error");
  EXPECT_STREQ(vortigen_status_text(static_cast<vortigen_status>(99)), "unknown status");
}

}  // namespace
