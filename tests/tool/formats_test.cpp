// Sample formats, channel counts and rates: what each path takes, what the
// output keeps, what --bits changes, and clipping reported.
#include <csignal>
#include <thread>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

int subtypeOf(const Sound& s) { return s.format & SF_FORMAT_SUBMASK; }

TEST_F(Tool, BitsWidensThePlugInsResultExactlyAndNarrowsItByRounding) {
  const std::string in = path("in.wav");
  writeSound(in, toneSound(2, 44100, 0.3, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  ASSERT_EQ(vortigen({"dynamic", in, path("16.wav"), "--preset", "Chaos"}).status, 0);
  const Sound reference = readSound(path("16.wav"));
  ASSERT_EQ(subtypeOf(reference), SF_FORMAT_PCM_16);
  struct Case {
    const char* bits;
    const char* file;
    int subtype;
    double tolerance;
  };
  const Case cases[] = {
      {"24", "24.wav", SF_FORMAT_PCM_24, 0.0},      {"32", "32.wav", SF_FORMAT_PCM_32, 0.0},
      {"float", "float.wav", SF_FORMAT_FLOAT, 0.0}, {"24", "24.flac", SF_FORMAT_PCM_24, 0.0},
      {"8", "8.wav", SF_FORMAT_PCM_U8, 0.5 / 128},  {"16", "16.aiff", SF_FORMAT_PCM_16, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const tool::Result r =
        vortigen({"dynamic", in, path(c.file), "--preset", "Chaos", "--bits", c.bits});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound out = readSound(path(c.file));
    EXPECT_EQ(subtypeOf(out), c.subtype);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.rate, 44100);
    ASSERT_EQ(out.frames(), reference.frames());
    EXPECT_LE(largestDifference(out, reference), c.tolerance + 1e-9);
  }
}

TEST_F(Tool, ClippedSamplesAreCountedAndReported) {
  const std::string in = path("in.wav");
  writeSound(in, toneSound(2, 44100, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.95));
  // Every level lifted to full scale.
  const tool::Result loud =
      vortigen({"fourier", in, path("loud.wav"), "--curve", "transfer=0:16384,16384:16384"});
  ASSERT_EQ(loud.status, 0) << loud.err;
  EXPECT_NE(loud.err.find("samples were clipped at full scale"), std::string::npos) << loud.err;
  const tool::Result gentle =
      vortigen({"fourier", in, path("gentle.wav"), "--preset", "No Effect"});
  ASSERT_EQ(gentle.status, 0) << gentle.err;
  EXPECT_EQ(gentle.err.find("clipped"), std::string::npos) << gentle.err;
}

}  // namespace

namespace {

using namespace tooltest;

int subtypeOfFile(const Sound& s) { return s.format & SF_FORMAT_SUBMASK; }

TEST_F(Tool, DeepWideAndFastInputsGoThroughTheEngineAndKeepTheirFormat) {
  struct Case {
    const char* name;
    int channels;
    int rate;
    int format;
  };
  const Case cases[] = {
      {"24-bit stereo", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"float stereo", 2, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {"32-bit mono", 1, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_32},
      {"24-bit FLAC", 2, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"4 channels", 4, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {"6 channels, 24-bit", 6, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"48 kHz float", 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
      {"96 kHz 24-bit", 2, 96000, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"96 kHz 16-bit (the plug-in's)", 2, 96000, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool flac = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
    const Sound input = toneSound(c.channels, c.rate, 0.4, c.format, 0.5);
    const std::string in = path(flac ? "in.flac" : "in.wav"),
                      out = path(flac ? "out.flac" : "out.wav");
    writeSound(in, input);
    const tool::Result r = vortigen({"dynamic", in, out, "--preset", "Chaos"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    const Sound output = readSound(out);
    EXPECT_EQ(output.format, c.format);
    EXPECT_EQ(output.channels, c.channels);
    EXPECT_EQ(output.rate, c.rate);
    ASSERT_EQ(output.frames(), input.frames());
    // Every channel is processed, none is silenced.
    for (int ch = 0; ch < c.channels; ++ch) {
      double changed = 0, level = 0;
      for (int64_t f = 0; f < output.frames(); ++f) {
        const size_t i = size_t(f * c.channels + ch);
        changed = std::max(changed, double(std::abs(output.samples[i] - input.samples[i])));
        level = std::max(level, double(std::abs(output.samples[i])));
      }
      EXPECT_GT(changed, 0.01) << "channel " << ch;
      EXPECT_GT(level, 0.1) << "channel " << ch;
    }
  }
}

TEST_F(Tool, TheEnginePathGivesWhatThePlugInGivesFor16BitStereo) {
  const std::string in = path("in.wav");
  writeSound(in, toneSound(2, 44100, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  for (const std::vector<std::string>& settings : std::vector<std::vector<std::string>>{
           {"dynamic", "--preset", "Chaos"},
           {"fourier", "--preset", "Five", "--from", "0.1", "--to", "0.35"},
           {"dynamic", "--preset", "Hard Attack", "--from", "7000s"}}) {
    SCOPED_TRACE(settings[0] + " " + settings[2]);
    std::vector<std::string> args{settings[0], in, path("plugin.wav")};
    args.insert(args.end(), settings.begin() + 1, settings.end());
    ASSERT_EQ(vortigen(args).status, 0);
    args[2] = path("engine.wav");
    args.insert(args.end(), {"--path", "engine"});
    const tool::Result r = vortigen(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(tool::fileText(path("plugin.wav")) == tool::fileText(path("engine.wav")));
  }
}

// Real recordings (the voice prompts of the sound system's test tool) made
// 8-bit, mono and stereo, through every built-in preset of both effects.
TEST_F(Tool, TheEnginePathGivesWhatThePlugInGivesFor8BitRecordingsWithEveryPreset) {
  const fs::path prompts = "/usr/share/sounds/alsa";
  if (!fs::exists(prompts / "Front_Left.wav") || !fs::exists(prompts / "Rear_Right.wav"))
    GTEST_SKIP() << "no recordings in " << prompts;
  const Sound left = readSound((prompts / "Front_Left.wav").string());
  const Sound right = readSound((prompts / "Rear_Right.wav").string());
  const int64_t frames = std::min<int64_t>({left.frames(), right.frames(), left.rate});
  Sound mono{1, left.rate, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, {}};
  Sound stereo{2, left.rate, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, {}};
  for (int64_t f = 0; f < frames; ++f) {
    mono.samples.push_back(left.samples[size_t(f * left.channels)]);
    stereo.samples.push_back(left.samples[size_t(f * left.channels)]);
    stereo.samples.push_back(right.samples[size_t(f * right.channels)]);
  }
  writeSound(path("mono.wav"), mono);
  writeSound(path("stereo.wav"), stereo);
  for (const std::string effect : {"dynamic", "fourier"}) {
    const tool::Result listed = vortigen({"presets", effect});
    const std::string builtIn = listed.out.substr(0, listed.out.find("\nPresets of"));
    const int presets = lineCount(builtIn);  // the heading ends in one, the last preset in none
    ASSERT_GE(presets, 5) << listed.out;
    for (int number = 1; number <= presets; ++number) {
      for (const char* input : {"mono.wav", "stereo.wav"}) {
        SCOPED_TRACE(effect + " preset " + std::to_string(number) + " " + input);
        std::vector<std::string> args{
            effect, path(input), path("plugin.wav"), "--preset", std::to_string(number), "-q"};
        ASSERT_EQ(vortigen(args).status, 0);
        args[2] = path("engine.wav");
        args.insert(args.end(), {"--path", "engine"});
        ASSERT_EQ(vortigen(args).status, 0);
        EXPECT_TRUE(tool::fileText(path("plugin.wav")) == tool::fileText(path("engine.wav")));
      }
    }
  }
}

TEST_F(Tool, FloatOutputOfTheEngineIsNotClippedAndIntegerOutputCountsItsClipping) {
  // A float master may go above full scale; the engine keeps it there.
  const std::string in = path("hot.wav");
  writeSound(in, toneSound(2, 44100, 0.4, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1.6));
  const tool::Result asFloat =
      vortigen({"fourier", in, path("float.wav"), "--preset", "No Effect"});
  ASSERT_EQ(asFloat.status, 0) << asFloat.err;
  EXPECT_EQ(asFloat.err.find("clipped"), std::string::npos) << asFloat.err;
  const Sound output = readSound(path("float.wav"));
  EXPECT_EQ(subtypeOfFile(output), SF_FORMAT_FLOAT);
  float peak = 0;
  for (float v : output.samples) peak = std::max(peak, std::abs(v));
  EXPECT_GT(peak, 1.2f);

  const tool::Result as16 =
      vortigen({"fourier", in, path("16.wav"), "--preset", "No Effect", "--bits", "16"});
  ASSERT_EQ(as16.status, 0) << as16.err;
  EXPECT_NE(as16.err.find("samples were clipped at full scale; --bits float keeps them"),
            std::string::npos)
      << as16.err;
  EXPECT_EQ(subtypeOfFile(readSound(path("16.wav"))), SF_FORMAT_PCM_16);
}

TEST_F(Tool, AnInterruptedEngineRunWritesNothingOrWithKeepPartialTheRestUnchanged) {
  writeSound(path("in.wav"), toneSound(4, 44100, 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const Sound input = readSound(path("in.wav"));
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "--keep-partial" : "plain");
    std::vector<std::string> args{"dynamic", path("in.wav"), path("out.wav"), "--preset", "Chaos"};
    if (keep) args.push_back("--keep-partial");
    const tool::Started started = tool::start(
        vortigenPath, args,
        {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "100"}},
        dir_ / "scratch");
    // Once the output is being written, the engine is under way.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto writing = [&] {
      for (const auto& e : fs::directory_iterator(dir_)) {
        if (e.path().filename().string().rfind(".out.vortigen-", 0) == 0) return true;
      }
      return false;
    };
    while (!writing() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(started.pid, SIGINT);
    const tool::Result r = tool::finish(started);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_FALSE(fs::exists(path("out.wav")));
    ASSERT_EQ(fs::exists(path("out.partial.wav")), keep);
    if (keep) {
      const Sound output = readSound(path("out.partial.wav"));
      ASSERT_EQ(output.frames(), input.frames());
      const size_t tail = input.samples.size() - 1000;
      EXPECT_TRUE(std::equal(input.samples.begin() + long(tail), input.samples.end(),
                             output.samples.begin() + long(tail)));
      EXPECT_FALSE(
          std::equal(input.samples.begin(), input.samples.begin() + 20000, output.samples.begin()));
    }
  }
}

}  // namespace
