// Nothing destroyed: a destination that is an input or another
// destination is refused before anything is written, however it is
// spelled; a read-only file is not replaced; a replaced file keeps its
// mode and owner; a batch's spectrograms each get their own file.
#include <sys/stat.h>

#include <set>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

TEST_F(Tool, NoDestinationMayBeAnInputOrAnotherDestination) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  const std::string original = tool::fileText(in);
  fs::create_hard_link(in, path("hard.wav"));
  fs::create_symlink(in, path("link.png"));
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string said;
  };
  const std::string out = path("out.wav");
  const Case cases[] = {
      {"the spectrogram on the input",
       {"--spectrogram", in},
       "spectrogram " + in + " is the input"},
      {"the spectrogram on the input by a hard link",
       {"--spectrogram", path("hard.wav")},
       "is the input file"},
      {"the spectrogram on the input through a symbolic link",
       {"--spectrogram", path("link.png")},
       "is the input file"},
      {"the spectrogram on the output", {"--spectrogram", out}, "are the same file"},
      {"the spectrogram on the output by another spelling",
       {"--spectrogram", path("./out.wav")},
       "are the same file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"dynamic", in, out, "--preset", "Chaos"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(tool::fileText(in), original);
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST_F(Tool, ABatchNeverWritesOverItsInputs) {
  fs::create_directories(dir_ / "z");
  std::vector<std::string> inputs;
  for (const char* name : {"z/a.wav", "z/b.wav"})
    inputs.push_back(write(name, testSound(1, 16, 22050, 0.2)));
  const std::string before = tool::fileText(inputs[0]);
  for (const std::string& directory : {path("z"), path("z/../z/")}) {
    SCOPED_TRACE(directory);
    const tool::Result r =
        vortigen({"dynamic", inputs[0], inputs[1], "--preset", "Chaos", "--output-dir", directory});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("is the input file"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
    EXPECT_EQ(tool::fileText(inputs[0]), before);
  }
}

TEST_F(Tool, ABatchsSpectrogramsAreOnePerOutputInADirectory) {
  fs::create_directories(dir_ / "in");
  const std::string a = write("in/a.wav", testSound(1, 16, 22050, 0.2));
  const std::string b = write("in/b.wav", testSound(1, 16, 22050, 0.3));
  const tool::Result one = vortigen({"dynamic", a, b, "--preset", "Chaos", "--output-dir",
                                     path("out"), "--spectrogram", path("sp.png")});
  EXPECT_EQ(one.status, 2) << one.err;
  EXPECT_NE(one.err.find("one picture for the many outputs"), std::string::npos) << one.err;
  EXPECT_FALSE(fs::exists(path("sp.png")));
  EXPECT_FALSE(fs::exists(path("out")));

  const tool::Result each = vortigen({"dynamic", a, b, "--preset", "Chaos", "--output-dir",
                                      path("out"), "--spectrogram", path("pictures") + "/"});
  ASSERT_EQ(each.status, 0) << each.err;
  for (const char* name : {"pictures/a.png", "pictures/b.png"}) {
    EXPECT_EQ(tool::fileText(path(name)).substr(1, 3), "PNG") << name;
  }
}

TEST_F(Tool, AReadOnlyOutputIsRefusedAndAReplacedOneKeepsItsOwner) {
  const std::string in = write("in.wav", testSound(1, 16, 22050, 0.2));
  const std::string out = path("out.wav");
  std::ofstream(out) << "the user's own file";
  chmod(out.c_str(), 0444);
  const tool::Result refused = vortigen({"dynamic", in, out, "--preset", "Chaos"});
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_NE(refused.err.find("Permission denied"), std::string::npos) << refused.err;
  EXPECT_EQ(tool::fileText(out), "the user's own file");
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"config", "in.wav", "out.wav"}));

  // A user who may give files away (root) keeps the replaced file's
  // owner and group; anyone else owns what they write.
  chmod(out.c_str(), 0640);
  if (geteuid() != 0) GTEST_SKIP() << "keeping another's owner needs root";
  ASSERT_EQ(chown(out.c_str(), 4321, 4322), 0);
  const tool::Result replaced = vortigen({"dynamic", in, out, "--preset", "Chaos"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  struct stat about {};
  ASSERT_EQ(stat(out.c_str(), &about), 0);
  EXPECT_EQ(about.st_uid, 4321u);
  EXPECT_EQ(about.st_gid, 4322u);
  EXPECT_EQ(about.st_mode & 07777, 0640u);
}

}  // namespace
