// Progress as the user and a scheduler's log see it: a bar that fits the
// terminal and names the file, messages on lines of their own, a batch's
// share and time left counted in frames, plain lines at an interval
// without a terminal, and nothing but errors with --quiet.
#include <regex>
#include <set>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

class Progress : public Tool {
 protected:
  std::map<std::string, std::string> slowed(int milliseconds) {
    return {{"XDG_CONFIG_HOME", configHome().string()},
            {"VORTIGEN_TEST_PROGRESS_DELAY_MS", std::to_string(milliseconds)}};
  }
};

TEST_F(Progress, TheBarFitsTheTerminalAndNamesTheFileAndMessagesKeepLinesOfTheirOwn) {
  fs::create_directories(dir_ / "in");
  const std::string slow =
      write("in/a-slow-take-with-a-long-name.wav", testSound(1, 8, 11025, 1.0));
  std::ofstream(path("in/broken.wav")) << "not a sound at all";
  for (const unsigned short columns : {40, 60, 100}) {
    SCOPED_TRACE(columns);
    fs::remove_all(dir_ / "out");
    const tool::Result r =
        tool::runOnTerminal(vortigenPath,
                            {"dynamic", slow, path("in/broken.wav"), "--output-dir", path("out"),
                             "--preset", "Chaos", "--jobs", "1"},
                            slowed(20), columns, std::chrono::seconds(60));
    EXPECT_EQ(r.status, 1) << r.err;
    bool named = false, barred = false, broken = false;
    for (const std::string& line : tool::screenLines(r.err)) {
      const size_t message = line.find("vortigen: ");
      if (message != std::string::npos) {
        EXPECT_EQ(message, 0u) << "a message not on a line of its own: " << line;
        broken = broken || line.find("broken.wav") != std::string::npos;
      } else if (line.find('%') != std::string::npos) {
        EXPECT_LT(line.size(), size_t(columns)) << "wider than the terminal: " << line;
        named = named || line.find("dynamic a-slow") == 0;
        barred = barred || line.find("[#") != std::string::npos;
      }
    }
    EXPECT_TRUE(named) << r.err;
    EXPECT_TRUE(broken) << r.err;
    if (columns >= 60) {
      EXPECT_TRUE(barred) << r.err;
    }
  }
}

TEST_F(Progress, WithoutATerminalABatchWritesLinesWhoseShareAndTimeLeftCountFramesNotFiles) {
  fs::create_directories(dir_ / "in");
  std::vector<std::string> inputs;
  for (const char* name : {"a.wav", "b.wav", "c.wav"})
    inputs.push_back(write(std::string("in/") + name, testSound(1, 8, 11025, 0.2)));
  inputs.push_back(write("in/z-long.wav", testSound(1, 8, 11025, 3.0)));  // processed last
  std::vector<std::string> args{"dynamic"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  args.insert(args.end(), {"--output-dir", path("out"), "--preset", "Chaos", "--jobs", "1",
                           "--progress-interval", "0.05"});
  const tool::Result r = tool::run(vortigenPath, args, slowed(20), dir_ / "scratch");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::regex progressLine(
      R"(vortigen: dynamic ([^:]+): (\d)/4 files, (\d+)% \((\d+) of (\d+) frames\), (\d+) frames/s, (\d+):(\d\d) left)");
  int lines = 0, earlyInTheLongFile = 0;
  std::set<int> sharesInTheLongFile;  // its worker's progress shows as it grows
  for (std::sregex_iterator m(r.err.begin(), r.err.end(), progressLine), end; m != end; ++m) {
    ++lines;
    const int filesDone = std::stoi((*m)[2]);
    const int percent = std::stoi((*m)[3]);
    const double done = std::stod((*m)[4]), total = std::stod((*m)[5]);
    EXPECT_EQ(total, 3 * 2205 + 33075) << "the frames of all four inputs";
    EXPECT_EQ(percent, int(100 * done / total)) << m->str();
    // The time left is the frames still to do at the rate so far.
    const double rate = std::stod((*m)[6]);
    const double left = std::stod((*m)[7]) * 60 + std::stod((*m)[8]);
    if (rate > 0) {
      EXPECT_NEAR(left, (total - done) / rate, 1.0) << m->str();
    }
    if (filesDone == 3) {
      EXPECT_EQ((*m)[1], "z-long.wav") << "the line names the file in work";
      // Three files of four are done, yet less than half of the frames.
      earlyInTheLongFile += percent < 50;
      sharesInTheLongFile.insert(percent);
    }
  }
  EXPECT_GE(lines, 3) << r.err;
  EXPECT_GE(earlyInTheLongFile, 1) << r.err;
  EXPECT_GE(sharesInTheLongFile.size(), 3u) << r.err;
}

TEST_F(Progress, ProgressLinesComeOnlyAfterTheIntervalAndNeverWithQuiet) {
  fs::create_directories(dir_ / "in");
  const std::string in = write("in/take.wav", testSound(1, 8, 11025, 1.0));
  std::ofstream(path("in/broken.wav")) << "not a sound at all";

  // One file without a terminal: plain lines naming it, at the interval given.
  const tool::Result single = tool::run(
      vortigenPath,
      {"dynamic", in, path("single.wav"), "--preset", "Chaos", "--progress-interval", "0.05"},
      slowed(20), dir_ / "scratch");
  ASSERT_EQ(single.status, 0) << single.err;
  EXPECT_NE(single.err.find("vortigen: dynamic take.wav: "), std::string::npos) << single.err;
  EXPECT_NE(single.err.find(" of 11025 frames)"), std::string::npos) << single.err;

  // The default interval outlasts a short run: no progress line.
  const tool::Result quick = vortigen({"dynamic", in, path("quick.wav"), "--preset", "Chaos"});
  ASSERT_EQ(quick.status, 0) << quick.err;
  EXPECT_EQ(quick.err.find("frames/s"), std::string::npos) << quick.err;

  // --quiet: the failing file's line alone, no progress, no summary.
  const tool::Result quiet =
      tool::run(vortigenPath,
                {"dynamic", in, path("in/broken.wav"), "--output-dir", path("out"), "--preset",
                 "Chaos", "--progress-interval", "0.01", "-q"},
                slowed(20), dir_ / "scratch");
  EXPECT_EQ(quiet.status, 1) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(lineCount(quiet.err), 1) << quiet.err;
  EXPECT_NE(quiet.err.find("broken.wav"), std::string::npos) << quiet.err;

  const tool::Result negative =
      vortigen({"dynamic", in, path("neg.wav"), "--progress-interval", "-1"});
  EXPECT_EQ(negative.status, 2) << negative.err;
}

}  // namespace
