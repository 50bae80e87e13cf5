// The bundle in lilv's own command-line hosts: lv2ls finds the plug-ins,
// lv2info reads their ports, enumeration and presets without a complaint,
// and lv2apply on real recordings gives what the vortigen tool gives for
// the same preset, once shifted back by the latency the plug-in reports.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine.h"
#include "test_host.h"

namespace lv2test {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs a shell command; its output and errors come back separately.
Result run(const std::string& command) {
  const fs::path errors = fs::temp_directory_path() / "vortigen-lv2-stderr.txt";
  FILE* pipe = popen((command + " 2>" + errors.string()).c_str(), "r");
  if (pipe == nullptr) return {-1, {}, "cannot start " + command};
  std::string out;
  std::array<char, 4096> chunk;
  while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
    out.append(chunk.data(), n);
  const int status = pclose(pipe);
  std::ifstream file(errors);
  std::stringstream err;
  err << file.rdbuf();
  return {status, out, err.str()};
}

// lilv's tools, run in the environment the build needs (see CMakeLists.txt).
std::string lilvTool(const std::string& command) {
  return std::string(LILV_TOOL_ENV) + " " + command;
}

class LilvTools : public ::testing::Test {
 protected:
  void SetUp() override {
    // lilv's tools find the bundle the build wrote, and only ours.
    setenv("LV2_PATH", fs::path(VORTIGEN_LV2_BUNDLE).parent_path().c_str(), 1);
  }
};

TEST_F(LilvTools, Lv2lsListsEveryPlugin) {
  const Result listed = run(lilvTool("lv2ls"));
  ASSERT_EQ(listed.status, 0) << listed.err;
  for (const char* uri : {dynamicUri, fourierUri, dynamicMonoUri, fourierMonoUri}) {
    EXPECT_NE(listed.out.find(std::string(uri) + "\n"), std::string::npos) << uri;
  }
  EXPECT_EQ(listed.err, "");
}

TEST_F(LilvTools, Lv2infoShowsPortsEnumerationAndPresetsWithoutAWarning) {
  struct Case {
    const char* uri;
    vtengine::Effect effect;
    std::vector<const char*> audioSymbols;
  };
  const Case cases[] = {
      {dynamicUri, vtengine::Effect::Dynamic, {"in_l", "in_r", "out_l", "out_r"}},
      {fourierMonoUri, vtengine::Effect::Fourier, {"in", "out"}},
  };
  for (const Case& c : cases) {
    const Result info = run(lilvTool(std::string("lv2info ") + c.uri));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.err, "") << c.uri << ": lilv complained";
    for (const char* text :
         {"Has latency:       yes, reported by port 2", "Scale Points:", "lv2core#enumeration",
          "lv2core#reportsLatency", "lv2core#enabled", "= \"Custom curves (preset text)\""}) {
      EXPECT_NE(info.out.find(text), std::string::npos) << c.uri << " lacks " << text;
    }
    for (const char* symbol : c.audioSymbols) {
      EXPECT_NE(info.out.find(std::string("Symbol:      ") + symbol + "\n"), std::string::npos)
          << c.uri << " lacks port " << symbol;
    }
    const auto& presets = vtengine::effectInfo(c.effect).builtInPresets;
    const std::string presetList = info.out.substr(info.out.find("Presets:"));
    for (std::size_t k = 0; k < presets.size(); ++k) {
      const std::string name = vtengine::parsePreset(presets[k].text).name;
      EXPECT_NE(presetList.find(" " + name + "\n"), std::string::npos) << name << " not a preset";
      EXPECT_NE(info.out.find(std::to_string(k + 1) + " = \"" + name + "\""), std::string::npos)
          << name << " not scale point " << k + 1;
    }
  }
}

TEST_F(LilvTools, InstalledBundleLoadsFromPrefixLibLv2) {
  const fs::path prefix = fs::temp_directory_path() / "vortigen-lv2-prefix";
  fs::remove_all(prefix);
  const Result installed = run(std::string(VORTIGEN_CMAKE) + " --install " + VORTIGEN_BUILD_DIR +
                               " --prefix " + prefix.string() + " >/dev/null");
  ASSERT_EQ(installed.status, 0) << installed.err;
  setenv("LV2_PATH", (prefix / "lib/lv2").c_str(), 1);
  EXPECT_NE(run(lilvTool("lv2ls")).out.find(std::string(fourierUri) + "\n"), std::string::npos);
  // lv2apply loads the module, which needs nothing beside it, and gives
  // it no log: the plug-in says nothing.
  const fs::path in = prefix / "in.wav", out = prefix / "out.wav";
  ASSERT_EQ(run("sox -n -r 44100 -c 2 -b 16 " + in.string() + " synth 0.1 sine 440").status, 0);
  const Result applied =
      run(lilvTool("lv2apply -i " + in.string() + " -o " + out.string() + " " + fourierUri));
  EXPECT_EQ(applied.status, 0) << applied.err;
  EXPECT_EQ(applied.err, "") << "the plug-in wrote on the host's standard error";
  EXPECT_TRUE(fs::exists(out));
  fs::remove_all(prefix);
}

struct Sound {
  std::vector<float> samples;  // interleaved
  int channels = 0;
  int rate = 0;
};

Sound readSound(const fs::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) throw std::runtime_error("cannot read " + path.string());
  Sound sound{std::vector<float>(static_cast<std::size_t>(info.frames * info.channels)),
              info.channels, info.samplerate};
  sf_readf_float(file, sound.samples.data(), info.frames);
  sf_close(file);
  return sound;
}

// The 16-bit step the tool writes for a float output: clipped, rounded to
// nearest with ties to even, as the plug-ins convert.
int quantised(float value) {
  const float clipped = std::fmin(std::fmax(value * 32768.0f, -32768.0f), 32767.0f);
  return static_cast<int>(std::nearbyint(clipped));
}

struct Recording {
  const char* name;
  std::vector<const char*> sources;  // merged into channels when several
  int rate;
  int channels;
  const char* uri;
  vtengine::Effect effect;
  int preset;
};

const Recording recordings[] = {
    {"FrontCenterMono44100",
     {"Front_Center.wav"},
     44100,
     1,
     dynamicMonoUri,
     vtengine::Effect::Dynamic,
     9},
    {"FrontLeftRight48000",
     {"Front_Left.wav", "Front_Right.wav"},
     48000,
     2,
     dynamicUri,
     vtengine::Effect::Dynamic,
     12},
    {"Noise22050", {"Noise.wav"}, 22050, 2, fourierUri, vtengine::Effect::Fourier, 2},
    {"RearLeftRight96000",
     {"Rear_Left.wav", "Rear_Right.wav"},
     96000,
     2,
     fourierUri,
     vtengine::Effect::Fourier,
     5},
};

void PrintTo(const Recording& recording, std::ostream* out) { *out << recording.name; }

class Lv2apply : public LilvTools, public ::testing::WithParamInterface<Recording> {};

TEST_P(Lv2apply, OutputShiftedByTheLatencyEqualsTheToolsOutput) {
  const Recording& r = GetParam();
  const fs::path dir = fs::temp_directory_path() / ("vortigen-lv2apply-" + std::string(r.name));
  fs::create_directories(dir);
  const fs::path in16 = dir / "in16.wav", inFloat = dir / "in-float.wav";
  const fs::path reference = dir / "vortigen.wav", applied = dir / "lv2apply.wav";

  std::string sources;
  for (const char* source : r.sources) sources += std::string(" /usr/share/sounds/alsa/") + source;
  const std::string merge = r.sources.size() > 1 ? " -M" : "";
  const Result made = run("sox" + merge + sources + " -b 16 -c " + std::to_string(r.channels) +
                          " " + in16.string() + " rate " + std::to_string(r.rate));
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(run("sox " + in16.string() + " -e floating-point -b 32 " + inFloat.string()).status, 0);

  const auto& info = vtengine::effectInfo(r.effect);
  const std::string presetName =
      vtengine::parsePreset(info.builtInPresets.at(r.preset - 1).text).name;
  const Result tool =
      run(std::string(VORTIGEN_TOOL) + " " + std::string(info.name) + " " + in16.string() + " " +
          reference.string() + " --preset '" + presetName + "'");
  ASSERT_EQ(tool.status, 0) << tool.err;
  const Result host = run(lilvTool("lv2apply -i " + inFloat.string() + " -o " + applied.string() +
                                   " -c preset " + std::to_string(r.preset) + " " + r.uri));
  ASSERT_EQ(host.status, 0) << host.err;

  World world;
  Instance probe(world, r.uri, r.rate);
  probe.cycle(1);
  const auto latency = static_cast<std::size_t>(probe.latency());

  const Sound expected = readSound(reference);
  const Sound output = readSound(applied);
  ASSERT_EQ(output.channels, r.channels);
  ASSERT_EQ(output.samples.size(), expected.samples.size());
  const std::size_t frames = expected.samples.size() / r.channels;
  ASSERT_GT(frames, 4 * latency);
  std::size_t differing = 0;
  std::string first;
  for (std::size_t i = 0; i + latency < frames; ++i) {
    for (int c = 0; c < r.channels; ++c) {
      const int want =
          static_cast<int>(std::lround(expected.samples[i * r.channels + c] * 32768.0f));
      const int got = quantised(output.samples[(i + latency) * r.channels + c]);
      if (got != want && differing++ == 0) {
        first = "frame " + std::to_string(i) + " channel " + std::to_string(c) + ": " +
                std::to_string(got) + " instead of " + std::to_string(want);
      }
    }
  }
  EXPECT_EQ(differing, 0u) << "first: " << first << " (latency " << latency << ")";
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(RealRecordings, Lv2apply, ::testing::ValuesIn(recordings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lv2test
