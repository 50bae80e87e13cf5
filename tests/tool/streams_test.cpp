// Reading and writing as people who pipe sound between programs expect:
// "-" for standard input and output, one rule for truncated files of every
// format, tags and channel layout carried over, the usual exit statuses,
// values that are empty or too large refused by name, presets by number.
#include <set>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

int64_t readableFrames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1;
  std::vector<float> block(size_t(4096 * info.channels));
  int64_t frames = 0;
  for (sf_count_t got; (got = sf_readf_float(file, block.data(), 4096)) > 0;) frames += got;
  sf_close(file);
  return frames;
}

TEST_F(Tool, StandardInputAndOutputCarryEveryFormat) {
  const std::string in = write("in.wav", testSound(2, 16, 22050, 0.3));
  ASSERT_EQ(vortigen({"dynamic", in, path("file.flac"), "--preset", "Chaos"}).status, 0);
  for (const char* type : {"wav", "aiff", "flac", "ogg"}) {
    SCOPED_TRACE(type);
    const tool::Result r =
        vortigen({"dynamic", "-", "-", "--type", type, "--preset", "Chaos"}, {}, in);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string piped = path(std::string("piped.") + type);
    std::ofstream(piped, std::ios::binary) << r.out;
    const Sound got = readSound(piped);
    EXPECT_EQ(got.frames(), 6615);
    if (std::string(type) != "ogg") {
      EXPECT_EQ(largestDifference(got, readSound(path("file.flac"))), 0.0);
    }
  }
  // A piped FLAC read from standard input, written to a file.
  const tool::Result fromPipe =
      vortigen({"dynamic", "-", path("again.wav"), "--preset", "Chaos"}, {}, path("piped.flac"));
  EXPECT_EQ(fromPipe.status, 0) << fromPipe.err;
  EXPECT_EQ(readSound(path("again.wav")).frames(), 6615);

  // Standard input is named as such, never by the copy the tool keeps.
  fs::copy_file(in, path("cut.wav"));
  fs::resize_file(path("cut.wav"), fs::file_size(in) / 2);
  const tool::Result cut =
      vortigen({"dynamic", "-", path("cut-out.wav"), "--preset", "Chaos"}, {}, path("cut.wav"));
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find("'standard input' is truncated"), std::string::npos) << cut.err;
  EXPECT_EQ(cut.err.find("vortigen-standard-input"), std::string::npos) << cut.err;

  const tool::Result untyped = vortigen({"dynamic", in, "-", "--preset", "Chaos"});
  EXPECT_EQ(untyped.status, 2);
  EXPECT_NE(untyped.err.find("--type"), std::string::npos) << untyped.err;
  EXPECT_EQ(untyped.out, "");
}

TEST_F(Tool, EveryFormatCutShortIsProcessedAsFarAsItGoesAndReportedIncomplete) {
  const Sound sound = toneSound(2, 22050, 2.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  struct Case {
    const char* name;
    int format;
    double kept;  // share of the file's bytes left
  };
  const Case cases[] = {
      {"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.4},
      {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 0.4},
      {"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0.5},
      {"cut.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0.7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string cut = path(c.name);
    writeSound(cut, Sound{2, 22050, c.format, sound.samples});
    fs::resize_file(cut, uintmax_t(double(fs::file_size(cut)) * c.kept));
    const int64_t held = readableFrames(cut);
    ASSERT_GT(held, 2000);
    ASSERT_LT(held, 44100);
    const std::string out = path(std::string("out-") + c.name + ".wav");
    const tool::Result r = vortigen({"fourier", cut, out, "--preset", "Five"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(cut + "' is truncated"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(out + " is incomplete"), std::string::npos) << r.err;
    if (c.format != (SF_FORMAT_OGG | SF_FORMAT_VORBIS)) {
      EXPECT_NE(r.err.find("promises 44100 sample frames, " + std::to_string(44100 - held) +
                           " of them are missing"),
                std::string::npos)
          << r.err;
    }
    EXPECT_EQ(readSound(out).frames(), held) << "what can be read, no silence after it";
  }
}

TEST_F(Tool, TagsChannelLayoutAndTheRF64FormAreKept) {
  const Sound sound = toneSound(2, 22050, 0.3, 0);
  const std::pair<int, const char*> tags[] = {
      {SF_STR_TITLE, "Morning take"}, {SF_STR_ARTIST, "The Band"}, {SF_STR_COMMENT, "keep me"}};
  for (const char* name : {"in.flac", "in.ogg", "in.aiff", "in.wav"}) {
    SCOPED_TRACE(name);
    const int container = std::string(name).ends_with("flac")   ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                          : std::string(name).ends_with("ogg")  ? SF_FORMAT_OGG | SF_FORMAT_VORBIS
                          : std::string(name).ends_with("aiff") ? SF_FORMAT_AIFF | SF_FORMAT_PCM_16
                                                                : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 22050;
    info.format = container;
    SNDFILE* file = sf_open(path(name).c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    for (const auto& [kind, text] : tags) sf_set_string(file, kind, text);
    sf_writef_float(file, sound.samples.data(), sound.frames());
    sf_close(file);
    const std::string out = path(std::string("out-") + name);
    const tool::Result r = vortigen({"dynamic", path(name), out, "--preset", "Chaos"});
    ASSERT_EQ(r.status, 0) << r.err;
    file = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    for (const auto& [kind, text] : tags) {
      const char* got = sf_get_string(file, kind);
      EXPECT_NE(std::string(got == nullptr ? "" : got).find(text), std::string::npos) << text;
    }
    const int software = std::string(name).ends_with("aiff") ? SF_STR_COMMENT : SF_STR_SOFTWARE;
    EXPECT_NE(std::string(sf_get_string(file, software)).find("vortigen " VORTIGEN_VERSION),
              std::string::npos);
    sf_close(file);
  }

  // Six channels with their layout, in the 64-bit form.
  SF_INFO info{};
  info.channels = 6;
  info.samplerate = 22050;
  info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  int layout[6] = {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT,     SF_CHANNEL_MAP_CENTER,
                   SF_CHANNEL_MAP_LFE,  SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
  SNDFILE* file = sf_open(path("six.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  sf_command(file, SFC_SET_CHANNEL_MAP_INFO, layout, sizeof layout);
  const Sound six = toneSound(6, 22050, 0.3, 0);
  sf_writef_float(file, six.samples.data(), six.frames());
  sf_close(file);
  const tool::Result r =
      vortigen({"dynamic", path("six.wav"), path("six-out.wav"), "--preset", "Chaos"});
  ASSERT_EQ(r.status, 0) << r.err;
  file = sf_open(path("six-out.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  int kept[6] = {};
  EXPECT_EQ(sf_command(file, SFC_GET_CHANNEL_MAP_INFO, kept, sizeof kept), SF_TRUE);
  sf_close(file);
  EXPECT_TRUE(std::equal(std::begin(layout), std::end(layout), std::begin(kept)));
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);

  // What the output's format cannot hold is named in one warning.
  const tool::Result lost =
      vortigen({"dynamic", path("six.wav"), path("six.flac"), "--preset", "Chaos"});
  ASSERT_EQ(lost.status, 0) << lost.err;
  EXPECT_NE(lost.err.find("cannot hold the input's channel layout"), std::string::npos) << lost.err;
}

TEST_F(Tool, EmptyOrOverlargeValuesAndImpossibleRequestsAreUsageErrors) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  const std::string out = path("out.wav");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {"empty preset", {"--preset", ""}, "--preset: an empty value"},
      {"empty preset text", {"--preset-text", ""}, "--preset-text: an empty value"},
      {"empty start", {"--from", ""}, "--from: an empty value"},
      {"empty end", {"--to", ""}, "--to: an empty value"},
      {"empty profile", {"--preset", "Chaos", "--profile", ""}, "--profile: an empty value"},
      {"seconds beyond counting",
       {"--from", "99999999999999999999"},
       "\"99999999999999999999\" lies beyond"},
      {"frames beyond counting",
       {"--to", "99999999999999999999s"},
       "\"99999999999999999999s\" lies beyond"},
      {"an end beyond counting", {"--to", "1e15"}, "--to \"1e15\" lies beyond"},
      {"no such preset number", {"--preset", "99"}, "no preset number 99"},
      {"a type for a named file", {"--type", "wav"}, "standard output (-) only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"dynamic", in, out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
  }
  writeSound(path("deep.wav"), toneSound(1, 22050, 0.2, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
  const tool::Result plugin = vortigen({"dynamic", path("deep.wav"), out, "--path", "plugin"});
  EXPECT_EQ(plugin.status, 2) << plugin.err;

  const tool::Result late = vortigen({"dynamic", in, out, "--preset", "Chaos", "--to", "9999s"});
  EXPECT_EQ(late.status, 0) << late.err;
  EXPECT_NE(late.err.find("--to 9999s (frame 9999) lies after the end"), std::string::npos)
      << late.err;
}

TEST_F(Tool, QuietPrintsOnlyProblemsAndPresetsGoByNumberToo) {
  fs::create_directories(dir_ / "in");
  const std::string a = write("in/a.wav", testSound(1, 16, 22050, 0.2));
  const tool::Result quiet = vortigen({"dynamic", a, "--output-dir", path("out"), "-q"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");

  const tool::Result listed = vortigen({"presets", "dynamic"});
  const size_t at = listed.out.find("  Chaos ");
  ASSERT_NE(at, std::string::npos) << listed.out;
  const std::string number =
      std::to_string(std::stoi(listed.out.substr(listed.out.rfind('\n', at) + 1, 4)));
  ASSERT_EQ(vortigen({"dynamic", a, path("by-number.wav"), "--preset", number}).status, 0);
  ASSERT_EQ(vortigen({"dynamic", a, path("by-name.wav"), "--preset", "Chaos"}).status, 0);
  EXPECT_EQ(tool::fileText(path("by-number.wav")), tool::fileText(path("by-name.wav")));
}

}  // namespace
