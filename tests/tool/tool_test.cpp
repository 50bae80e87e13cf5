// The vortigen tool driven as a user drives it: a child process per
// command, judged by its exit status, its messages and the files it leaves.
#include "tool_fixture.h"

namespace fs = std::filesystem;
using vtmedia::Audio;
using namespace tooltest;

namespace {

// ---- Formats: every sample format and rate the plug-ins take -------------------------------

TEST_F(Tool, FlatPresetGivesTheInputBackWithinOneStepInEveryFormatAndRate) {
  for (int channels : {1, 2}) {
    for (int bits : {8, 16}) {
      for (int rate : {11025, 22050, 44100, 48000}) {
        const std::string name =
            std::to_string(channels) + "ch-" + std::to_string(bits) + "bit-" + std::to_string(rate);
        SCOPED_TRACE(name);
        const Audio input = testSound(channels, bits, rate, 0.25);
        const std::string in = write(name + ".wav", input);
        const tool::Result r =
            vortigen({"dynamic", in, path(name + "-out.wav"), "--preset", "Flat (no effect)"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Audio output = vtmedia::readAudio(path(name + "-out.wav"));
        EXPECT_EQ(output.channels, channels);
        EXPECT_EQ(output.bitsPerSample, bits);
        EXPECT_EQ(output.sampleRate, rate);
        ASSERT_EQ(output.bytes.size(), input.bytes.size());
        EXPECT_LE(largestDifference(input, output), 1);
      }
    }
  }
}

TEST_F(Tool, PresetTextChangesTheSoundAndKeepsItsFormat) {
  for (int channels : {1, 2}) {
    for (int bits : {8, 16}) {
      SCOPED_TRACE(std::to_string(channels) + " channels, " + std::to_string(bits) + " bits");
      const Audio input = testSound(channels, bits, 22050, 0.25);
      const std::string in = write("in.wav", input);
      const tool::Result r =
          vortigen({"dynamic", in, path("out.wav"), "--preset-text", hardAttackText});
      ASSERT_EQ(r.status, 0) << r.err;
      const Audio output = vtmedia::readAudio(path("out.wav"));
      EXPECT_EQ(output.bitsPerSample, bits);
      ASSERT_EQ(output.bytes.size(), input.bytes.size());
      EXPECT_GT(largestDifference(input, output), bits == 8 ? 2 : 200);
    }
  }
}

TEST_F(Tool, ABuiltInPresetByNameInAnyCaseEqualsItsTextAndFlacWorksBothWays) {
  const Audio input = testSound(2, 16, 44100, 0.3);
  const std::string in = write("in.flac", input);
  ASSERT_EQ(vortigen({"dynamic", in, path("by-name.flac"), "--preset", "hard attack"}).status, 0);
  ASSERT_EQ(vortigen({"dynamic", in, path("by-text.wav"), "--preset-text", hardAttackText}).status,
            0);
  const Audio byName = vtmedia::readAudio(path("by-name.flac"));
  const Audio byText = vtmedia::readAudio(path("by-text.wav"));
  EXPECT_EQ(byName.bytes, byText.bytes);
  EXPECT_NE(byName.bytes, input.bytes);
}

// ---- Curves: presets, texts, single curves, the initial shape -----------------------------

TEST_F(Tool, OneCurveGivenAloneLeavesTheOthersInTheirInitialShape) {
  // "Chaos" is the initial attack and release curves with full chaos.
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.3));
  ASSERT_EQ(vortigen({"dynamic", in, path("preset.wav"), "--preset", "Chaos"}).status, 0);
  const tool::Result r =
      vortigen({"dynamic", in, path("curve.wav"), "--curve", "chaos=0:16384,16384:16384"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(tool::fileText(path("curve.wav")), tool::fileText(path("preset.wav")));
}

TEST_F(Tool, CurvesGivenAfterAPresetReplaceOnlyTheirOwn) {
  // "Soft Release+Chaos" is "Soft Release" with the chaos curve at full.
  const std::string in = write("in.wav", testSound(2, 16, 44100, 0.3));
  ASSERT_EQ(vortigen({"dynamic", in, path("a.wav"), "--preset", "Soft Release+Chaos"}).status, 0);
  const tool::Result r = vortigen({"dynamic", in, path("b.wav"), "--preset", "Soft Release",
                                   "--curve", "chaos=0:16384,16384:16384"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(tool::fileText(path("a.wav")), tool::fileText(path("b.wav")));
}

TEST_F(Tool, WithoutCurvesTheToolSaysTheResultIsNearTransparent) {
  const Audio input = testSound(1, 16, 44100, 0.2);
  const std::string in = write("in.wav", input);
  const tool::Result r = vortigen({"fourier", in, path("out.wav")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("near-transparent"), std::string::npos) << r.err;
  EXPECT_EQ(lineCount(r.err), 1);
}

// ---- Selection ---------------------------------------------------------------------------

TEST_F(Tool, SelectionBySecondsOrFramesLeavesTheRestBitIdentical) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    size_t first, end;  // sample frames
  };
  const Case cases[] = {
      {"seconds", {"--from", "0.1", "--to", "0.2"}, 2205, 4410},
      {"frames", {"--from", "3000s", "--to", "6000s"}, 3000, 6000},
      {"from only", {"--from", "5000s"}, 5000, 11025},
      {"to past the end", {"--to", "9"}, 0, 11025},
  };
  const Audio input = testSound(2, 16, 22050, 0.5);
  const std::string in = write("in.wav", input);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"dynamic", in, path("out.wav"), "--preset", "Chaos"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const tool::Result r = vortigen(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio output = vtmedia::readAudio(path("out.wav"));
    ASSERT_EQ(output.bytes.size(), input.bytes.size());
    const size_t frameBytes = size_t(input.blockAlign());
    const auto begin = input.bytes.begin();
    EXPECT_TRUE(std::equal(begin, begin + c.first * frameBytes, output.bytes.begin())) << "before";
    EXPECT_TRUE(std::equal(begin + c.end * frameBytes, input.bytes.end(),
                           output.bytes.begin() + c.end * frameBytes))
        << "after";
    EXPECT_FALSE(std::equal(begin + c.first * frameBytes, begin + c.end * frameBytes,
                            output.bytes.begin() + c.first * frameBytes))
        << "inside";
  }
}

// ---- Errors: one line, the right status, no output ---------------------------------------

TEST_F(Tool, ErrorsAreOneLineWithTheirStatusAndWriteNothing) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  {
    SF_INFO info{};
    info.channels = 3;
    info.samplerate = 22050;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path("three.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(3 * 1000, 100);
    sf_writef_short(file, samples.data(), 1000);
    sf_close(file);
    info.channels = 1;
    sf_close(sf_open(path("empty.wav").c_str(), SFM_WRITE, &info));
    writeSound(path("deep.wav"), toneSound(1, 22050, 0.2, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  }
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> said;
  };
  const std::string out = path("out.wav");
  const Case cases[] = {
      {"unknown preset",
       {"dynamic", in, out, "--preset", "Loud"},
       2,
       {"no preset \"Loud\"", "\"Flat (no effect)\"", "\"Hard Attack Soft Release\"", "\"Chaos\""}},
      {"unknown fourier preset",
       {"fourier", in, out, "--preset", "Chaos"},
       2,
       {"\"Hay Fever\"", "\"Five\""}},
      {"malformed preset text",
       {"dynamic", in, out, "--preset-text", "Mine,3,2,0,8192,16384"},
       2,
       {"\"Mine,3,2,0,8192,16384\"", "ends where the y of point 2 of curve 1 should follow"}},
      {"non-number in a preset text",
       {"fourier", in, out, "--preset-text", "Mine,3,2,0,0,x,16384"},
       2,
       {"\"x\" as field 6"}},
      {"too few curves in a preset text",
       {"dynamic", in, out, "--preset-text", "Mine,3,2,0,0,16384,0"},
       2,
       {"1 point list", "3 curves"}},
      {"point outside the range",
       {"fourier", in, out, "--curve", "transfer=0:0,16384:20000"},
       2,
       {"16384:20000", "0..16384"}},
      {"unknown curve",
       {"fourier", in, out, "--curve", "attack=0:0,16384:0"},
       2,
       {"no curve \"attack\"", "transfer"}},
      {"malformed point",
       {"dynamic", in, out, "--curve", "chaos=0:0,16384"},
       2,
       {"point 2 \"16384\""}},
      {"malformed position",
       {"dynamic", in, out, "--from", "1.5.2"},
       2,
       {"--from \"1.5.2\"", "66150s"}},
      {"selection beyond the end", {"dynamic", in, out, "--from", "2"}, 2, {"4410 sample frames"}},
      {"empty selection", {"dynamic", in, out, "--from", "100s", "--to", "100s"}, 2, {"--to 100s"}},
      {"unknown output extension",
       {"dynamic", in, path("out.mp3"), "--preset", "Chaos"},
       2,
       {".wav, .aiff, .flac or .ogg"}},
      {"preset and preset text",
       {"dynamic", in, out, "--preset", "Chaos", "--preset-text", hardAttackText},
       2,
       {"excludes"}},
      {"missing output", {"dynamic", in}, 2, {"OUTPUT is required", "vortigen dynamic --help"}},
      {"unknown command", {"reverb", in, out}, 2, {"no command \"reverb\""}},
      {"three channels on the plug-in path",
       {"dynamic", path("three.wav"), out, "--preset", "Chaos", "--path", "plugin"},
       2,
       {"--path plugin cannot process", "3 channels", "mono and stereo only", "--path engine"}},
      {"24 bits on the plug-in path",
       {"dynamic", path("deep.wav"), out, "--path", "plugin"},
       2,
       {"24-bit PCM", "8- and 16-bit PCM only"}},
      {"from exactly at the end",
       {"dynamic", in, out, "--from", "4410s"},
       2,
       {"--from 4410s (frame 4410) lies at or after the end"}},
      {"negative frame count",
       {"dynamic", in, out, "--from=-5s"},
       2,
       {"--from \"-5s\" is no count of sample frames"}},
      {"seconds round to the nearest frame",
       {"dynamic", in, out, "--from", "0.100028", "--to", "2206s"},
       2,
       {"--to 2206s (frame 2206) does not lie after --from 0.100028 (frame 2206)"}},
      {"no such sample format",
       {"dynamic", in, out, "--bits", "12"},
       2,
       {"--bits 12", "8, 16, 24, 32 or float"}},
      {"no such path",
       {"dynamic", in, out, "--path", "gpu"},
       2,
       {"--path gpu", "plugin or engine"}},
      {"float into FLAC",
       {"dynamic", in, path("out.flac"), "--bits", "float"},
       2,
       {"cannot hold 32-bit float", "--bits"}},
      {"no arguments at all",
       {},
       2,
       {"give a command: dynamic, fourier, presets, list, demo, dialog or studio"}},
      {"empty file",
       {"dynamic", path("empty.wav"), out, "--preset", "Chaos"},
       1,
       {"holds no samples"}},
      {"missing input", {"dynamic", path("missing.wav"), out}, 1, {"missing.wav", "No such file"}},
      {"no such output directory",
       {"dynamic", in, path("nowhere/out.wav")},
       1,
       {"nowhere", "No such file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tool::Result r = vortigen(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("vortigen: ", 0), 0u) << r.err;
    for (const std::string& words : c.said)
      EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    EXPECT_EQ(filesHere(),
              (std::vector<std::string>{"config", "deep.wav", "empty.wav", "in.wav", "three.wav"}));
  }
}

TEST_F(Tool, HelpForTheToolAndEachCommand) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"},
                                             {"dynamic", "--help"},
                                             {"fourier", "--help"},
                                             {"presets", "--help"},
                                             {"list", "--help"},
                                             {"demo", "--help"}}) {
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_NE(r.out.find("Usage: vortigen"), std::string::npos) << r.out;
  }
  EXPECT_NE(vortigen({"dynamic", "--help"}).out.find("--curve NAME=x:y"), std::string::npos);
  EXPECT_EQ(vortigen({}).status, 2);
  const tool::Result version = vortigen({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vortigen " VORTIGEN_VERSION "\n");
}

// ---- Nothing lost --------------------------------------------------------------------------

TEST_F(Tool, TheInputIsNeverTheOutputUnlessInPlaceIsGiven) {
  const Audio input = testSound(1, 16, 22050, 0.2);
  const std::string in = write("in.wav", input);
  const std::string original = tool::fileText(in);
  fs::create_directories(dir_ / "sub");
  fs::create_symlink(in, path("link.wav"));
  fs::create_hard_link(in, path("hard.wav"));
  for (const std::string& same : {in, path("sub/../in.wav"), path("link.wav"), path("hard.wav")}) {
    SCOPED_TRACE(same);
    const tool::Result r = vortigen({"dynamic", in, same, "--preset", "Chaos"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--in-place"), std::string::npos) << r.err;
    EXPECT_EQ(tool::fileText(in), original);
  }

  const tool::Result r =
      vortigen({"dynamic", in, path("link.wav"), "--preset", "Chaos", "--in-place"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(path("link.wav"))) << "written through the link, not over it";
  const Audio processed = vtmedia::readAudio(in);
  EXPECT_NE(processed.bytes, input.bytes);
  EXPECT_EQ(processed.bytes.size(), input.bytes.size());
  EXPECT_EQ(filesHere(),
            (std::vector<std::string>{"config", "hard.wav", "in.wav", "link.wav", "sub"}));
}

TEST_F(Tool, AFailedOrCancelledRunLeavesAnExistingOutputAsItWas) {
  const std::string in = write("in.wav", testSound(2, 16, 44100, 0.5));
  write("three.wav", testSound(1, 16, 44100, 0.1));
  {
    SF_INFO info{};
    info.channels = 3;
    info.samplerate = 22050;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path("three.wav").c_str(), SFM_WRITE, &info);
    std::vector<short> samples(300, 1);
    sf_writef_short(file, samples.data(), 100);
    sf_close(file);
  }
  std::ofstream(path("out.wav")) << "the user's earlier result";

  const tool::Result failed =
      vortigen({"dynamic", path("three.wav"), path("out.wav"), "--preset", "Chaos"});
  EXPECT_EQ(failed.status, 1);
  const tool::Result cancelled = vortigen({"dynamic", in, path("out.wav"), "--preset", "Chaos"},
                                          {{"VORTIGEN_TEST_CANCEL_AFTER_PASS", "3"}});
  EXPECT_EQ(cancelled.status, 130);
  EXPECT_NE(cancelled.err.find("interrupted; nothing was written"), std::string::npos)
      << cancelled.err;
  EXPECT_EQ(tool::fileText(path("out.wav")), "the user's earlier result");
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"config", "in.wav", "out.wav", "three.wav"}))
      << "no temporary file is left behind";
}

TEST_F(Tool, KeepPartialWritesTheProcessedBeginningAndTheUntouchedRestUnderItsOwnName) {
  // At 44100 Hz a block is 512 sample frames; cancelled after pass 3,
  // the plug-in has written blocks 0 to 3 and the rest is as it was.
  const Audio input = testSound(1, 16, 44100, 0.5);
  const std::string in = write("in.wav", input);
  const tool::Result r =
      vortigen({"dynamic", in, path("out.wav"), "--preset", "Chaos", "--keep-partial"},
               {{"VORTIGEN_TEST_CANCEL_AFTER_PASS", "3"}});
  EXPECT_EQ(r.status, 130);
  EXPECT_NE(r.err.find("partly processed"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(path("out.wav")));
  const Audio output = vtmedia::readAudio(path("out.partial.wav"));
  ASSERT_EQ(output.bytes.size(), input.bytes.size());
  const size_t processedBytes = 4 * 512 * 2;
  EXPECT_FALSE(
      std::equal(input.bytes.begin(), input.bytes.begin() + processedBytes, output.bytes.begin()));
  EXPECT_TRUE(std::equal(input.bytes.begin() + processedBytes, input.bytes.end(),
                         output.bytes.begin() + processedBytes));
}

TEST_F(Tool, CtrlCOnTheTerminalStopsTheRunCleanlyAfterTheProgressBarShowed) {
  // Each progress report is held a while, so that the run is surely still
  // going when Ctrl-C comes: 3 s of 11025 Hz make 258 passes and 28
  // reports, so at least 1.4 s.
  const std::string in = write("in.wav", testSound(1, 8, 11025, 3.0));
  const tool::Result r = tool::runOnTerminalAndInterrupt(
      vortigenPath, {"dynamic", in, path("out.wav"), "--preset", "Chaos"},
      {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "50"}}, "%",
      3, std::chrono::seconds(60));
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("dynamic in.wav [#"), std::string::npos)
      << "a progress bar on the terminal: " << r.err;
  EXPECT_EQ(r.err.find("100%"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("interrupted; nothing was written"), std::string::npos) << r.err;
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"config", "in.wav"}));
}

// ---- Presets, effects, profile -----------------------------------------------------------------

TEST_F(Tool, PresetsStoredInTheProfileAreListedAndUsable) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  const std::string profile = path("profiles/mine.ini");
  // Listing reads; it makes neither the folder nor the file.
  const tool::Result first = vortigen({"presets", "dynamic", "--profile", profile});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("Hard Attack Soft Release"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("none besides the built-in ones"), std::string::npos) << first.out;
  EXPECT_FALSE(fs::exists(path("profiles")));

  fs::create_directories(path("profiles"));
  const std::string stored =
      "[Vortigens\\Dynamic]\nItem1=Mine,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,"
      "0\n";
  std::ofstream(profile) << stored;
  const tool::Result listed = vortigen({"presets", "dynamic", "--profile", profile});
  EXPECT_NE(listed.out.find("  Mine "), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("  Chaos "), std::string::npos) << listed.out;
  EXPECT_EQ(tool::fileText(profile), stored) << "reading the presets changed the profile";
  ASSERT_EQ(
      vortigen({"dynamic", in, path("a.wav"), "--profile", profile, "--preset", "Mine"}).status, 0);
  ASSERT_EQ(vortigen({"dynamic", in, path("b.wav"), "--preset", "Hard Attack Soft Release"}).status,
            0);
  EXPECT_EQ(tool::fileText(path("a.wav")), tool::fileText(path("b.wav")));

  // Without --profile the per-user one is read, but never made.
  const tool::Result fourier = vortigen({"presets", "fourier"});
  EXPECT_EQ(fourier.status, 0) << fourier.err;
  EXPECT_NE(fourier.out.find("Hay Fever"), std::string::npos) << fourier.out;
  EXPECT_FALSE(fs::exists(configHome() / "vortigen"));
}

// Entries the host cannot read are reported and kept; the listing must not
// call a section of them empty of all but the built-in presets (it holds
// none of those either), nor hide them when readable presets sit beside.
TEST_F(Tool, PresetListingSaysWhenTheProfileHoldsEntriesItCannotRead) {
  fs::create_directories(path("profiles"));
  const std::string profile = path("profiles/damaged.ini");
  const std::string unreadable = "[Vortigens\\Dynamic]\nItem1=Mine,3,2,0,12375\n";
  std::ofstream(profile) << unreadable;
  const tool::Result alone = vortigen({"presets", "dynamic", "--profile", profile});
  ASSERT_EQ(alone.status, 0) << alone.err;
  EXPECT_NE(alone.err.find("key Item1"), std::string::npos) << alone.err;
  EXPECT_EQ(alone.out.find("none besides the built-in ones"), std::string::npos) << alone.out;
  EXPECT_NE(alone.out.find("no readable presets"), std::string::npos) << alone.out;
  EXPECT_EQ(tool::fileText(profile), unreadable) << "the unreadable entry was not kept";

  const tool::Result besideOwn = [&] {
    std::ofstream(profile)
        << unreadable << "Item2=Own,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,0\n";
    return vortigen({"presets", "dynamic", "--profile", profile});
  }();
  ASSERT_EQ(besideOwn.status, 0) << besideOwn.err;
  EXPECT_NE(besideOwn.out.find("  Own "), std::string::npos) << besideOwn.out;
  EXPECT_EQ(besideOwn.out.find("no readable presets"), std::string::npos) << besideOwn.out;

  const tool::Result besideBuiltIn = [&] {
    std::ofstream(profile) << unreadable
                           << "Item2=Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,"
                              "16384,16384\n";
    return vortigen({"presets", "dynamic", "--profile", profile});
  }();
  ASSERT_EQ(besideBuiltIn.status, 0) << besideBuiltIn.err;
  EXPECT_NE(besideBuiltIn.out.find("none besides the built-in ones that can be read"),
            std::string::npos)
      << besideBuiltIn.out;
}

// One entry the host cannot read blocks nothing: it is named once, by the
// profile's path and its key, and the built-in and other stored presets
// work, in single runs and in batches, without a change to the profile.
TEST_F(Tool, AnUnreadableStoredPresetIsReportedOnceAndBlocksNoOther) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  fs::create_directories(path("profiles"));
  const std::string profile = path("profiles/mixed.ini");
  const std::string stored =
      "[Vortigens\\Dynamic]\nItem1=Mine,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,"
      "0\nItem13=Bad,3,2,0,99999\n";
  std::ofstream(profile) << stored;
  ASSERT_EQ(
      vortigen({"dynamic", in, path("reference.wav"), "--preset-text", hardAttackText}).status, 0);
  const std::vector<std::vector<std::string>> runs{
      {"dynamic", in, path("built-in.wav"), "--preset", "Hard Attack", "--profile", profile},
      {"dynamic", in, path("mine.wav"), "--preset", "Mine", "--profile", profile},
      {"dynamic", in, "--output-dir", path("batch"), "--preset", "Hard Attack", "--profile",
       profile, "--jobs", "1"}};
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args[2]);
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, 0) << r.err;
    size_t warnings = 0;
    for (size_t at = r.err.find("Item13"); at != std::string::npos;
         at = r.err.find("Item13", at + 1))
      ++warnings;
    EXPECT_EQ(warnings, 1u) << r.err;
    EXPECT_NE(r.err.find("key Item13 of [Vortigens\\Dynamic] in " + profile), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("vortigen-presets-"), std::string::npos) << "a private copy was named";
  }
  EXPECT_EQ(tool::fileText(path("built-in.wav")), tool::fileText(path("reference.wav")));
  EXPECT_EQ(readSound(path("batch/in.wav")).samples, readSound(path("reference.wav")).samples);
  EXPECT_EQ(tool::fileText(profile), stored);
}

TEST_F(Tool, BuiltInPresetsNeedNoWritableHome) {
  // A home below a plain file cannot be made, even by root.
  std::ofstream(path("plain")) << "not a directory";
  const std::map<std::string, std::string> homeless{{"HOME", path("plain/home")},
                                                    {"XDG_CONFIG_HOME", ""}};
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  const tool::Result listed = vortigen({"presets", "fourier"}, homeless);
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("Hay Fever"), std::string::npos) << listed.out;
  const tool::Result used =
      vortigen({"dynamic", in, path("out.wav"), "--preset", "Chaos"}, homeless);
  EXPECT_EQ(used.status, 0) << used.err;
  EXPECT_TRUE(fs::exists(path("out.wav")));
}

TEST_F(Tool, ListShowsBothEffectsWithTheirDescriptions) {
  const tool::Result r = vortigen({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Dynamic and Chaos Effects"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Adds Pure Sound Effect"), std::string::npos) << r.out;
  const tool::Result wrong = vortigen({"list", "--plugin-dir", path("none")});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("--plugin-dir"), std::string::npos) << wrong.err;
}

// ---- Pictures and the demonstration ----------------------------------------------------------

bool isPng(const std::string& path) {
  return tool::fileText(path).rfind("\x89PNG\r\n\x1a\n", 0) == 0;
}

TEST_F(Tool, SpectrogramIsWrittenBesideTheResult) {
  const std::string in = write("in.wav", testSound(2, 16, 44100, 0.3));
  const tool::Result r = vortigen(
      {"fourier", in, path("out.wav"), "--preset", "Five", "--spectrogram", path("look.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(isPng(path("look.png")));
}

TEST_F(Tool, DemoWritesTheInputAndEveryBuiltInPresetWithSpectrograms) {
  const tool::Result r = vortigen({"demo", path("demo"), "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  int sounds = 0, pictures = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "demo")) {
    if (e.path().extension() == ".wav") ++sounds;
    if (e.path().extension() == ".png" && isPng(e.path().string())) ++pictures;
  }
  EXPECT_EQ(sounds, 1 + 12 + 6);
  EXPECT_EQ(pictures, 1 + 12 + 6);
  EXPECT_NE(r.out.find("fourier-05-five.wav"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(fs::absolute(dir_ / "demo").string()), std::string::npos) << r.out;
  const Audio input = vtmedia::readAudio(path("demo/input.wav"));
  EXPECT_LE(
      largestDifference(input, vtmedia::readAudio(path("demo/dynamic-01-flat-no-effect.wav"))), 1);
  EXPECT_GT(largestDifference(input, vtmedia::readAudio(path("demo/dynamic-12-chaos.wav"))), 1000);
}

// ---- Installed --------------------------------------------------------------------------------

TEST_F(Tool, InstalledToolFindsItsPlugIns) {
  const tool::Result installed =
      tool::run(VORTIGEN_CMAKE, {"--install", VORTIGEN_BUILD_DIR, "--prefix", path("prefix")}, {},
                dir_ / "scratch");
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  const std::string program = path("prefix/bin/vortigen");
  const tool::Result r = tool::run(program, {"list"}, {}, dir_ / "scratch");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Adds Pure Sound Effect"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(path("prefix/lib/vortigen/plugins/dynamic.so")));
}

}  // namespace
