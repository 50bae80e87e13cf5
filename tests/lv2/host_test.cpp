// The LV2 plug-ins in a lilv host: block lengths, the preset port and the
// presets, custom curves by patch:Set and by file, the state, bypass and
// sample rates. The reference is the engine itself, run directly: the
// plug-in must add nothing to it and lose nothing of it.
#include <gtest/gtest.h>
#include <lv2/presets/presets.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine.h"
#include "test_host.h"
#include "vortigen_version.h"

namespace lv2test {
namespace {

using vtengine::Effect;

// The engine over the whole input, optionally switching to other curves
// after `switchAt` frames.
Channels engineOutput(Effect effect, const std::vector<vtengine::PointList>& curves, double rate,
                      const Channels& input, std::size_t switchAt = 0,
                      const std::vector<vtengine::PointList>* later = nullptr) {
  vtengine::EngineSettings settings;
  settings.effect = effect;
  settings.curves = curves;
  settings.sampleRate = rate;
  settings.channels = static_cast<int>(input.size());
  vtengine::Engine engine(settings);
  Channels output = input;
  std::vector<const float*> in;
  std::vector<float*> out;
  auto run = [&](std::size_t from, std::size_t to) {
    in.clear();
    out.clear();
    for (std::size_t c = 0; c < input.size(); ++c) {
      in.push_back(input[c].data() + from);
      out.push_back(output[c].data() + from);
    }
    engine.process(in.data(), out.data(), to - from);
  };
  const std::size_t frames = input[0].size();
  if (later == nullptr) switchAt = frames;
  run(0, switchAt);
  if (later != nullptr) {
    auto tables = vtengine::prepareCurves(effect, *later);
    engine.useCurves(tables);
    run(switchAt, frames);
  }
  return output;
}

std::vector<vtengine::PointList> presetCurves(Effect effect, int item) {
  return vtengine::parsePreset(vtengine::effectInfo(effect).builtInPresets.at(item - 1).text)
      .curves;
}

std::string mineText(Effect effect) {
  return effect == Effect::Dynamic
             ? "Mine,3,2,0,12000,16384,3000,2,0,2000,16384,9000,2,0,0,16384,5000"
             : "Mine,3,3,0,0,6000,14000,16384,16384";
}

struct PluginCase {
  const char* uri;
  Effect effect;
  int channels;
};

const PluginCase pluginCases[] = {
    {dynamicUri, Effect::Dynamic, 2},
    {fourierUri, Effect::Fourier, 2},
    {dynamicMonoUri, Effect::Dynamic, 1},
    {fourierMonoUri, Effect::Fourier, 1},
};

class EachPlugin : public ::testing::TestWithParam<PluginCase> {
 protected:
  World world_;
};

std::string caseName(const ::testing::TestParamInfo<PluginCase>& info) {
  std::string name = std::string(info.param.effect == Effect::Dynamic ? "dynamic" : "fourier") +
                     (info.param.channels == 1 ? "Mono" : "Stereo");
  return name;
}

TEST_P(EachPlugin, OutputDoesNotDependOnTheHostsBlockLength) {
  const Channels input = testSignal(44100, GetParam().channels, 0.5);
  Channels first;
  for (std::size_t block : {4096u, 64u, 1u}) {
    Instance plugin(world_, GetParam().uri);
    plugin.setControl("preset", 3);
    const Channels output = plugin.process(input, block);
    if (first.empty()) {
      first = output;
    } else {
      EXPECT_EQ(output, first) << "blocks of " << block << " frames";
    }
  }
}

TEST_P(EachPlugin, EveryPresetPortValueRunsThatBuiltInPreset) {
  const Effect effect = GetParam().effect;
  const Channels input = testSignal(44100, GetParam().channels, 0.3);
  const int presets = static_cast<int>(vtengine::effectInfo(effect).builtInPresets.size());
  for (int item = 1; item <= presets; ++item) {
    Instance plugin(world_, GetParam().uri);
    plugin.setControl("preset", static_cast<float>(item));
    EXPECT_EQ(plugin.process(input, 512),
              engineOutput(effect, presetCurves(effect, item), 44100, input))
        << "preset " << item;
  }
}

TEST_P(EachPlugin, EachPsetPresetLoadsItsBuiltInPreset) {
  const Effect effect = GetParam().effect;
  const Channels input = testSignal(44100, GetParam().channels, 0.2);
  LilvNode* presetClass = lilv_new_uri(world_.lilv(), LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(world_.plugin(GetParam().uri), presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), vtengine::effectInfo(effect).builtInPresets.size());
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    const std::string uri = lilv_node_as_uri(preset);
    const int item = std::stoi(uri.substr(uri.rfind("item") + 4));
    Instance plugin(world_, GetParam().uri);
    plugin.restoreState(world_, preset);
    EXPECT_EQ(plugin.process(input, 256),
              engineOutput(effect, presetCurves(effect, item), 44100, input))
        << uri;
  }
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
}

TEST_P(EachPlugin, PatchSetOfAPresetTextTakesEffectAtTheNextBlock) {
  const Effect effect = GetParam().effect;
  const Channels input = testSignal(44100, GetParam().channels, 0.5);
  Instance plugin(world_, GetParam().uri);
  plugin.patchSetText(mineText(effect));
  // The first block runs with the initial curves while the worker prepares
  // the new ones; they are used from the second block on.
  const Channels output = plugin.process(input, 64);
  const auto mine = vtengine::parsePreset(mineText(effect)).curves;
  EXPECT_EQ(output, engineOutput(effect, {}, 44100, input, 64, &mine));
  plugin.patchGet();
  plugin.cycle(1);
  EXPECT_EQ(plugin.notified().at(presetTextUri), mineText(effect));
}

INSTANTIATE_TEST_SUITE_P(Lv2, EachPlugin, ::testing::ValuesIn(pluginCases), caseName);

class CustomCurves : public ::testing::Test {
 protected:
  World world_;
  Channels input_ = testSignal(44100, 2, 0.4);
};

TEST_F(CustomCurves, MalformedTextIsRefusedWithALogMessageAndTheCurvesStay) {
  Instance plugin(world_, dynamicUri);
  plugin.patchSetText(mineText(Effect::Dynamic));
  plugin.cycle(1);
  for (const char* broken :
       {"Broken,3,2,0,100", "Two curves,3,1,0,0,1,0,0", "", "Mine,3,1,20000,0,1,0,0,1,0,0"}) {
    plugin.patchSetText(broken);
    plugin.cycle(1);
  }
  const auto errors = world_.errors();
  ASSERT_EQ(errors.size(), 4u);
  for (const auto& line : errors) EXPECT_NE(line.find("refused"), std::string::npos) << line;
  plugin.patchGet();
  plugin.cycle(1);
  EXPECT_EQ(plugin.notified().at(presetTextUri), mineText(Effect::Dynamic));

  Instance fresh(world_, dynamicUri);  // the same cycles without the broken texts
  fresh.patchSetText(mineText(Effect::Dynamic));
  for (int cycle = 0; cycle < 6; ++cycle) fresh.cycle(1);
  EXPECT_EQ(plugin.process(input_, 128), fresh.process(input_, 128));
}

TEST_F(CustomCurves, PresetFileIsReadAndUsedLikeTheTextItHolds) {
  const auto path = std::filesystem::temp_directory_path() / "vortigen-lv2-preset.txt";
  std::ofstream(path) << mineText(Effect::Fourier) << "\n";
  Instance byFile(world_, fourierUri);
  byFile.patchSetFile(path.string());
  byFile.cycle(1);
  Instance byText(world_, fourierUri);
  byText.patchSetText(mineText(Effect::Fourier));
  byText.cycle(1);
  EXPECT_EQ(byFile.process(input_, 256), byText.process(input_, 256));
  EXPECT_EQ(byFile.notified().at(presetFileUri), path.string());
  EXPECT_EQ(byFile.notified().at(presetTextUri), mineText(Effect::Fourier));

  byFile.patchSetFile((path.string() + ".missing"));
  byFile.cycle(1);
  ASSERT_EQ(world_.errors().size(), 1u);
  EXPECT_NE(world_.errors()[0].find(".missing"), std::string::npos) << world_.errors()[0];
  std::filesystem::remove(path);
}

TEST_F(CustomCurves, StateRestoredIntoANewInstanceGivesTheSameOutput) {
  const auto dir = std::filesystem::temp_directory_path() / "vortigen-lv2-state";
  std::filesystem::create_directories(dir);
  for (float preset : {0.0f, 7.0f}) {
    Instance saved(world_, dynamicUri);
    saved.setControl("preset", preset);
    saved.patchSetText(mineText(Effect::Dynamic));
    saved.process(input_, 1024);
    LilvState* state = saved.saveState(dir.string());
    ASSERT_NE(state, nullptr);
    Instance restored(world_, dynamicUri);
    restored.restoreState(state);
    lilv_state_free(state);
    const auto curves = preset == 0.0f ? vtengine::parsePreset(mineText(Effect::Dynamic)).curves
                                       : presetCurves(Effect::Dynamic, 7);
    EXPECT_EQ(restored.process(input_, 333), engineOutput(Effect::Dynamic, curves, 44100, input_))
        << "preset port " << preset;
    // The custom text came back too, also while a built-in preset plays.
    restored.patchGet();
    restored.cycle(1);
    EXPECT_EQ(restored.notified().at(presetTextUri), mineText(Effect::Dynamic));
  }
  std::filesystem::remove_all(dir);
}

TEST_F(CustomCurves, StateKeepsThePresetFileAsAPathTheNewInstanceCanRead) {
  const auto dir = std::filesystem::temp_directory_path() / "vortigen-lv2-path-state";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "state");
  const auto file = dir / "mine.txt";
  std::ofstream(file) << mineText(Effect::Fourier);
  Instance saved(world_, fourierUri);
  saved.patchSetFile(file.string());
  saved.cycle(1);
  // Saved into a state bundle on disk, as a host saves a session, and read
  // back from there: lilv links the file into the bundle.
  LilvState* state = saved.saveState((dir / "state").string());
  ASSERT_NE(state, nullptr);
  ASSERT_EQ(lilv_state_save(world_.lilv(), world_.uridMap(), world_.uridUnmap(), state, nullptr,
                            (dir / "state").c_str(), "state.ttl"),
            0);
  lilv_state_free(state);
  state = lilv_state_new_from_file(world_.lilv(), world_.uridMap(), nullptr,
                                   (dir / "state" / "state.ttl").c_str());
  ASSERT_NE(state, nullptr);
  Instance restored(world_, fourierUri);
  restored.restoreState(state);
  lilv_state_free(state);
  restored.patchGet();
  restored.cycle(1);
  const std::string path = restored.notified().at(presetFileUri);
  std::ifstream reread(path);
  std::string text;
  std::getline(reread, text);
  EXPECT_EQ(text, mineText(Effect::Fourier))
      << "the restored path " << path << " does not lead to the file";
  EXPECT_EQ(restored.notified().at(presetTextUri), mineText(Effect::Fourier));
  std::filesystem::remove_all(dir);
}

// A string atom's text ends at its first NUL, as the saved state's does:
// bytes after one were once taken into the curves and the saved text, which
// then restored as a different text or not at all (the fuzzer's finding: a
// text starting with NULs was accepted, saved, and refused on restore).
TEST_F(CustomCurves, TextsWithNulBytesAreTakenOnlyAsFarAsTheStateKeepsThem) {
  const std::string mine = mineText(Effect::Dynamic);
  const auto dir = std::filesystem::temp_directory_path() / "vortigen-lv2-nul-state";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto file = dir / "nul.txt";
  std::ofstream(file, std::ios::binary) << mine << std::string("\0 more", 6);

  Instance plugin(world_, dynamicUri);
  plugin.patchSetText(mine + std::string("\0,1,2", 5));  // taken as far as the NUL
  plugin.cycle(1);
  plugin.patchSetText(std::string("\0\0", 2) + mine);  // an empty text: refused
  plugin.cycle(1);
  plugin.patchSetFile(file.string());  // a file holding a NUL: refused
  plugin.cycle(1);
  const auto errors = world_.errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("refused"), std::string::npos) << errors[0];
  EXPECT_NE(errors[1].find("NUL"), std::string::npos) << errors[1];
  plugin.patchGet();
  plugin.cycle(1);
  EXPECT_EQ(plugin.notified().at(presetTextUri), mine);

  LilvState* state = plugin.saveState(dir.string());
  ASSERT_NE(state, nullptr);
  Instance restored(world_, dynamicUri);
  restored.restoreState(state);
  lilv_state_free(state);
  EXPECT_EQ(world_.errors().size(), 2u) << "the saved state did not restore";
  const auto curves = vtengine::parsePreset(mine).curves;
  EXPECT_EQ(restored.process(input_, 256), engineOutput(Effect::Dynamic, curves, 44100, input_));
  std::filesystem::remove_all(dir);
}

TEST_F(CustomCurves, WithoutAWorkerTheCurvesStayAndTheLogSaysWhyOnce) {
  Instance plugin(world_, dynamicUri, 44100, /*withWorker=*/false);
  ASSERT_TRUE(plugin.valid());
  plugin.patchSetText(mineText(Effect::Dynamic));
  EXPECT_EQ(plugin.process(input_, 512), engineOutput(Effect::Dynamic, {}, 44100, input_));
  plugin.patchSetText(mineText(Effect::Dynamic));
  plugin.process(input_, 512);
  const auto messages = world_.messages();
  ASSERT_EQ(messages.size(), 1u) << "said once, however often the curves are set";
  EXPECT_NE(messages[0].find("no worker"), std::string::npos) << messages[0];
}

TEST_F(CustomCurves, WithoutAWorkerNothingIsLoggedWhileNoCurveIsSet) {
  Instance plugin(world_, dynamicUri, 44100, /*withWorker=*/false);
  ASSERT_TRUE(plugin.valid());
  plugin.setControl("preset", 3);
  plugin.process(input_, 512);
  EXPECT_EQ(world_.messages(), std::vector<std::string>{});
}

TEST(Bypass, DisabledOutputIsTheInputDelayedByTheLatencyAndSwitchesWithoutAJump) {
  World world;
  const Channels input = testSignal(44100, 2, 1.0);
  const Channels wet = [&] {
    Instance plugin(world, dynamicUri);
    plugin.setControl("preset", 9);
    return plugin.process(input, 512);
  }();
  Instance plugin(world, dynamicUri);
  plugin.setControl("preset", 9);
  const std::size_t switchAt = 22528;  // a multiple of the block length
  Channels firstPart(2), secondPart(2);
  for (int c = 0; c < 2; ++c) {
    firstPart[c].assign(input[c].begin(), input[c].begin() + switchAt);
    secondPart[c].assign(input[c].begin() + switchAt, input[c].end());
  }
  const Channels before = plugin.process(firstPart, 512);
  plugin.setControl("enabled", 0);
  const Channels after = plugin.process(secondPart, 512);
  const auto latency = static_cast<std::size_t>(plugin.latency());
  ASSERT_GT(latency, 0u);
  const std::size_t fade = static_cast<std::size_t>(std::round(0.02 * 44100));
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(std::equal(before[c].begin(), before[c].end(), wet[c].begin())) << "channel " << c;
    // While fading, nearer the wet output at first; then exactly the input,
    // delayed by the latency the host compensates for.
    for (std::size_t i = 0; i < 16; ++i) {
      const float dry = input[c][switchAt + i - latency];
      EXPECT_LE(std::abs(after[c][i] - wet[c][switchAt + i]), std::abs(after[c][i] - dry) + 1e-6f)
          << "frame " << i << " after the switch";
    }
    for (std::size_t i = fade + 1; i < after[c].size(); ++i) {
      ASSERT_EQ(after[c][i], input[c][switchAt + i - latency])
          << "frame " << i << " after the switch";
    }
  }
}

TEST(Bypass, AnEnabledPortLeftUnconnectedMeansEnabled) {
  World world;
  const Channels input = testSignal(44100, 2, 0.5);
  const Channels wet = [&] {
    Instance plugin(world, dynamicUri);
    plugin.setControl("preset", 9);
    return plugin.process(input, 512);
  }();
  Instance plugin(world, dynamicUri);
  plugin.setControl("preset", 9);
  plugin.setControl("enabled", 0);  // what the port would say, were it read
  plugin.disconnectControl("enabled");
  EXPECT_EQ(plugin.process(input, 512), wet);
}

// Hosts file plug-ins under their maintainer's name and compare versions:
// each plug-in names the project, its licence and the project's version.
TEST(Turtle, EachPluginNamesTheMaintainerTheLicenceAndTheProjectsVersion) {
  World world;
  LilvWorld* lilv = world.lilv();
  auto uri = [lilv](const char* text) { return lilv_new_uri(lilv, text); };
  LilvNode* minor = uri(LV2_CORE__minorVersion);
  LilvNode* micro = uri(LV2_CORE__microVersion);
  LilvNode* license = uri("http://usefulinc.com/ns/doap#license");
  for (const char* pluginUri : {dynamicUri, fourierUri, dynamicMonoUri, fourierMonoUri}) {
    const LilvPlugin* plugin = world.plugin(pluginUri);
    LilvNode* author = lilv_plugin_get_author_name(plugin);
    ASSERT_NE(author, nullptr) << pluginUri;
    EXPECT_STREQ(lilv_node_as_string(author), "Vortigen") << pluginUri;
    lilv_node_free(author);
    const LilvNode* subject = lilv_plugin_get_uri(plugin);
    LilvNode* minorValue = lilv_world_get(lilv, subject, minor, nullptr);
    LilvNode* microValue = lilv_world_get(lilv, subject, micro, nullptr);
    LilvNode* licenseValue = lilv_world_get(lilv, subject, license, nullptr);
    ASSERT_TRUE(minorValue && microValue && licenseValue) << pluginUri;
    EXPECT_EQ(lilv_node_as_int(minorValue), VORTIGEN_VERSION_MINOR) << pluginUri;
    EXPECT_EQ(lilv_node_as_int(microValue), VORTIGEN_VERSION_PATCH) << pluginUri;
    EXPECT_TRUE(lilv_node_is_uri(licenseValue)) << pluginUri;
    lilv_node_free(minorValue);
    lilv_node_free(microValue);
    lilv_node_free(licenseValue);
  }
  lilv_node_free(minor);
  lilv_node_free(micro);
  lilv_node_free(license);
}

TEST(SampleRates, EveryRateFrom22050To192000RunsWithTheEnginesLatency) {
  World world;
  for (double rate : {22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
    Instance plugin(world, fourierUri, rate);
    ASSERT_TRUE(plugin.valid()) << rate;
    plugin.setControl("preset", 2);
    const Channels output = plugin.process(testSignal(rate, 2, 0.1), 1024);
    vtengine::EngineSettings settings;
    settings.effect = Effect::Fourier;
    settings.sampleRate = rate;
    EXPECT_EQ(plugin.latency(), vtengine::Engine(settings).latency()) << rate;
    for (const auto& channel : output) {
      for (float v : channel) ASSERT_TRUE(std::isfinite(v)) << rate;
    }
  }
  EXPECT_TRUE(world.errors().empty());
}

TEST(SampleRates, ARateTheEngineRefusesGivesNoInstanceAndALogMessage) {
  World world;
  Instance plugin(world, dynamicUri, 0.0);
  EXPECT_FALSE(plugin.valid());
  ASSERT_EQ(world.errors().size(), 1u);
  EXPECT_NE(world.errors()[0].find("Vortigen dynamic"), std::string::npos) << world.errors()[0];
}

}  // namespace
}  // namespace lv2test
