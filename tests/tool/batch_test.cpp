// Batches: many inputs into one directory, worker processes, a failing
// file among good ones, resumption, and shards that partition the inputs.
#include <csignal>
#include <set>
#include <thread>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

class Batch : public Tool {
 protected:
  // n short stereo inputs in in/, named a0.wav, a1.wav, ...
  std::vector<std::string> makeInputs(int n) {
    fs::create_directories(dir_ / "in");
    std::vector<std::string> inputs;
    for (int i = 0; i < n; ++i) {
      const std::string name = "in/a" + std::to_string(i) + ".wav";
      inputs.push_back(write(name, testSound(2, 16, 22050, 0.15 + 0.01 * i)));
    }
    return inputs;
  }

  tool::Result batch(const std::vector<std::string>& inputs,
                     const std::vector<std::string>& options) {
    std::vector<std::string> args{"dynamic"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"--preset", "Chaos", "--output-dir", path("out")});
    args.insert(args.end(), options.begin(), options.end());
    return vortigen(args);
  }

  std::set<std::string> outputs(const std::string& directory = "out") const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / directory))
      names.insert(e.path().filename().string());
    return names;
  }
};

TEST_F(Batch, AFailingFileIsReportedAndTheRestAreProcessedAsSingleRunsWould) {
  std::vector<std::string> inputs = makeInputs(3);
  std::ofstream(path("in/broken.wav")) << "not a sound at all";
  inputs.push_back(path("in/broken.wav"));
  const tool::Result r = batch(inputs, {"--jobs", "2"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("4 files: 3 processed, 0 skipped (already complete), 1 failed."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("broken.wav"), std::string::npos) << r.err;
  EXPECT_EQ(outputs(), (std::set<std::string>{"a0.wav", "a1.wav", "a2.wav"}));
  ASSERT_EQ(vortigen({"dynamic", inputs[1], path("single.wav"), "--preset", "Chaos"}).status, 0);
  EXPECT_EQ(tool::fileText(path("out/a1.wav")), tool::fileText(path("single.wav")));
}

TEST_F(Batch, ARerunSkipsCompleteOutputsAndRedoesMissingOrIncompleteOnes) {
  const std::vector<std::string> inputs = makeInputs(4);
  const tool::Result first = batch(inputs, {"--jobs", "2"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("4 files: 4 processed, 0 skipped"), std::string::npos) << first.out;
  const std::string kept = tool::fileText(path("out/a0.wav"));

  fs::remove(path("out/a1.wav"));
  // What a run killed outright might leave: a file of the name, too short.
  std::ofstream(path("out/a2.wav")) << "RIFF";
  const tool::Result second = batch(inputs, {"--jobs", "1"});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.out.find("4 files: 2 processed, 2 skipped (already complete), 0 failed."),
            std::string::npos)
      << second.out;
  EXPECT_EQ(tool::fileText(path("out/a0.wav")), kept);
  EXPECT_EQ(readSound(path("out/a2.wav")).frames(), readSound(inputs[2]).frames());
}

TEST_F(Batch, ASignalStopsEveryWorkerCleanlyAndARerunFinishesTheJob) {
  fs::create_directories(dir_ / "in");
  std::vector<std::string> inputs;
  for (int i = 0; i < 5; ++i)
    inputs.push_back(write("in/slow" + std::to_string(i) + ".wav", testSound(1, 8, 11025, 3.0)));
  std::vector<std::string> args{"dynamic"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  args.insert(args.end(), {"--preset", "Chaos", "--output-dir", path("out"), "--jobs", "2"});
  // Each progress report is held, so every file takes over a second.
  const tool::Started started = tool::start(
      vortigenPath, args,
      {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "50"}},
      dir_ / "scratch");
  auto temporaries = [&] {
    int found = 0;
    if (fs::is_directory(dir_ / "out")) {
      for (const auto& e : fs::directory_iterator(dir_ / "out"))
        found += e.path().filename().string()[0] == '.';
    }
    return found;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (temporaries() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GT(temporaries(), 0) << "no worker started writing";
  kill(started.pid, SIGTERM);
  const tool::Result stopped = tool::finish(started);
  EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.err;
  EXPECT_NE(stopped.out.find("not done (interrupted; run again to resume)"), std::string::npos)
      << stopped.out;
  EXPECT_EQ(temporaries(), 0);
  EXPECT_LT(outputs().size(), 5u);

  const tool::Result rerun = batch(inputs, {});
  EXPECT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_EQ(outputs().size(), 5u);
}

TEST_F(Batch, FilesTooShortToProcessAreCountedAsFailures) {
  std::vector<std::string> inputs = makeInputs(2);
  inputs.push_back(write("in/tiny.wav", testSound(1, 16, 22050, 0.005)));
  const tool::Result r = batch(inputs, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.out.find(
          "3 files: 2 processed, 0 skipped (already complete), 1 failed (1 too short to process)."),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("nothing was processed in " + path("in/tiny.wav")), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(path("out/tiny.wav")));
}

TEST_F(Batch, RequestsThatCannotWorkAreRefusedBeforeAnyFileIsWritten) {
  const std::vector<std::string> inputs = makeInputs(2);
  fs::create_directories(dir_ / "other");
  const std::string twin = write("other/a0.wav", testSound(1, 16, 22050, 0.2));
  struct Case {
    const char* name;
    std::vector<std::string> inputs;
    std::vector<std::string> options;
    std::string said;
  };
  const Case cases[] = {
      {"two inputs of one name", {inputs[0], twin}, {}, "would both be written to"},
      {"a shard past the count", inputs, {"--shard", "4/3"}, "--shard 4/3 is no slice"},
      {"a shard that is no fraction", inputs, {"--shard", "2"}, "--shard 2 is no slice"},
      {"no jobs", inputs, {"--jobs", "0"}, "--jobs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tool::Result r = batch(c.inputs, c.options);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("out/a1.wav")));
  }
}

}  // namespace
