// Ways the tool once failed its user quietly or lost their files: nothing
// processed with no word, an example that did not work, pictures replaced
// by broken ones, damaged inputs taken at their word, temporary files left
// behind by signals, and file modes.
#include <sys/resource.h>
#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

TEST_F(Tool, ASelectionTooShortToProcessIsReportedAndNothingIsWritten) {
  struct Case {
    const char* name;
    int rate;
    double seconds;
    std::vector<std::string> options;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {"a whole file of half a frame",
       44100,
       512 / 44100.0,
       {},
       1,
       "the selection holds 512 sample frames"},
      {"a selection of half a frame",
       22050,
       0.5,
       {"--from", "100s", "--to", "356s"},
       1,
       "at 22050 Hz the effects process selections of at least 257"},
      {"one frame more is processed", 44100, 513 / 44100.0, {}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string in = write("in.wav", testSound(1, 16, c.rate, c.seconds));
    std::vector<std::string> args{"dynamic", in, path("out.wav"), "--preset", "Chaos"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(fs::exists(path("out.wav")), c.status == 0);
    if (c.status != 0) {
      EXPECT_EQ(lineCount(r.err), 1) << r.err;
      EXPECT_NE(r.err.find("nothing was processed"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
    fs::remove(path("out.wav"));
  }
}

TEST_F(Tool, TheHelpsSelectionExampleWorksAtCommonRates) {
  const tool::Result help = vortigen({"--help"});
  std::istringstream lines(help.out);
  std::string line;
  std::vector<std::string> example;
  while (std::getline(lines, line)) {
    if (line.find(" --from ") == std::string::npos) continue;
    std::istringstream words(line);
    for (std::string word; words >> word;) example.push_back(word);
    break;
  }
  ASSERT_GT(example.size(), 3u) << help.out;
  ASSERT_EQ(example[0], "vortigen");
  for (int rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    const std::string in = write("in.wav", testSound(2, 16, rate, 2.0));
    std::vector<std::string> args(example.begin() + 1, example.end());
    for (std::string& a : args) {
      if (a == "in.wav") a = in;
      if (a == "out.wav") a = path("out.wav");
    }
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

// Room for the sound (35 kB) but not for the picture.
void limitFileSizeTo60k() {
  const rlimit limit{60000, 60000};
  setrlimit(RLIMIT_FSIZE, &limit);
  signal(SIGXFSZ, SIG_IGN);
}

TEST_F(Tool, ASpectrogramThatCannotBeWrittenChangesNoFile) {
  const std::string in = write("in.wav", testSound(2, 16, 44100, 0.2));
  {
    SCOPED_TRACE("its directory is missing: found before processing");
    const tool::Result r = vortigen({"dynamic", in, path("out.wav"), "--preset", "Chaos",
                                     "--spectrogram", path("nowhere/look.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nowhere"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("out.wav")));
  }
  {
    SCOPED_TRACE("the disk fills while the picture is written");
    std::ofstream(path("look.png")) << "the earlier picture";
    std::ofstream(path("out.wav")) << "the earlier sound";
    const tool::Started started = tool::start(
        vortigenPath,
        {"dynamic", in, path("out.wav"), "--preset", "Chaos", "--spectrogram", path("look.png")},
        {{"XDG_CONFIG_HOME", configHome().string()}}, dir_ / "scratch", limitFileSizeTo60k);
    const tool::Result r = tool::finish(started);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("look.png"), std::string::npos) << r.err;
    EXPECT_TRUE(tool::fileText(path("look.png")) == "the earlier picture");
    EXPECT_TRUE(tool::fileText(path("out.wav")) == "the earlier sound");
    EXPECT_EQ(filesHere(), (std::vector<std::string>{"config", "in.wav", "look.png", "out.wav"}));
  }
}

TEST_F(Tool, DamagedInputsAreNamedAsSuch) {
  const Sound sound = toneSound(2, 22050, 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  writeSound(path("whole.ogg"), Sound{2, 22050, SF_FORMAT_OGG | SF_FORMAT_VORBIS, sound.samples});
  // Half of this Ogg file holds no page of sound that can be read.
  fs::copy_file(path("whole.ogg"), path("cut.ogg"));
  fs::resize_file(path("cut.ogg"), fs::file_size(path("whole.ogg")) / 2);

  const tool::Result ogg =
      vortigen({"dynamic", path("cut.ogg"), path("out.ogg"), "--preset", "Chaos"});
  EXPECT_EQ(ogg.status, 1);
  EXPECT_NE(ogg.err.find("truncated or damaged"), std::string::npos) << ogg.err;
  EXPECT_EQ(ogg.err.find("too long"), std::string::npos) << ogg.err;
}

TEST_F(Tool, UnreadableInputsAreDescribedInTheToolsOwnWords) {
  fs::create_directories(path("folder.wav"));
  std::ofstream(path("noise.wav")) << "seventeen bytes!!";
  std::ofstream(path("nodata.wav"), std::ios::binary) << std::string(
      "RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00"
      "\x44\xac\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00",
      36);
  const std::pair<const char*, const char*> cases[] = {
      {"folder.wav", "it is a directory"},
      {"noise.wav", "it is no sound file the tool knows"},
      {"nodata.wav", "its header is damaged"},
  };
  for (const auto& [name, said] : cases) {
    SCOPED_TRACE(name);
    const tool::Result r = vortigen({"dynamic", path(name), path("out.wav"), "--preset", "Chaos"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    for (const char* jargon : {"System error", "Internal error", "Error in", "not recognised"})
      EXPECT_EQ(r.err.find(jargon), std::string::npos) << r.err;
  }
}

// The temporary output files of the test directory.
std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().find(".vortigen-") != std::string::npos)
      found.push_back(e.path().string());
  }
  return found;
}

TEST_F(Tool, EverySignalButKillLeavesNoTemporaryFileBehind) {
  // Each progress report is held, so the run lasts well over a second.
  const std::string in = write("in.wav", testSound(1, 8, 11025, 3.0));
  struct Case {
    const char* name;
    std::vector<int> signals;
    int status;
  };
  const Case cases[] = {
      {"hang-up", {SIGHUP}, 128 + SIGHUP},
      {"terminate", {SIGTERM}, 128 + SIGTERM},
      {"a second interrupt during the clean-up", {SIGINT, SIGINT}, 128 + SIGINT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tool::Started started = tool::start(
        vortigenPath, {"dynamic", in, path("out.wav"), "--preset", "Chaos"},
        {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "50"}},
        dir_ / "scratch");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (temporaries(dir_).empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(temporaries(dir_).empty()) << "the run never started writing";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int number : c.signals) kill(started.pid, number);
    const tool::Result r = tool::finish(started);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(temporaries(dir_), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(path("out.wav")));
  }
}

void umask027() { umask(027); }
void umask022() { umask(022); }

TEST_F(Tool, ANewOutputFollowsTheUmaskAndAReplacedOneKeepsItsMode) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  auto modeOf = [](const std::string& file) {
    struct stat s {};
    stat(file.c_str(), &s);
    return s.st_mode & 07777;
  };
  const std::map<std::string, std::string> env{{"XDG_CONFIG_HOME", configHome().string()}};
  const std::vector<std::string> args{"dynamic", in, path("new.wav"), "--preset", "Chaos"};
  ASSERT_EQ(tool::finish(tool::start(vortigenPath, args, env, dir_ / "scratch", umask027)).status,
            0);
  EXPECT_EQ(modeOf(path("new.wav")), 0640u);
  fs::remove(path("new.wav"));
  ASSERT_EQ(tool::finish(tool::start(vortigenPath, args, env, dir_ / "scratch", umask022)).status,
            0);
  EXPECT_EQ(modeOf(path("new.wav")), 0644u);
  chmod(path("new.wav").c_str(), 0600);
  ASSERT_EQ(tool::finish(tool::start(vortigenPath, args, env, dir_ / "scratch", umask022)).status,
            0);
  EXPECT_EQ(modeOf(path("new.wav")), 0600u);
}

}  // namespace
