// Resumption that can be trusted: a batch skips an output only when the
// completion record in its tags says a run of the same settings on the
// same input finished it; kept partial results, outputs of other settings,
// foreign or cut files are done again; a killed worker fails the batch and
// leaves no temporary file.
#include <csignal>
#include <set>
#include <thread>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

class Resume : public Tool {
 protected:
  std::vector<std::string> makeInputs(int n, double seconds = 0.15) {
    fs::create_directories(dir_ / "in");
    std::vector<std::string> inputs;
    for (int i = 0; i < n; ++i) {
      const std::string name = "in/a" + std::to_string(i) + ".wav";
      inputs.push_back(write(name, testSound(2, 16, 22050, seconds + 0.01 * i)));
    }
    return inputs;
  }

  tool::Result batch(const std::string& effect, const std::vector<std::string>& inputs,
                     const std::vector<std::string>& options) {
    std::vector<std::string> args{effect};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"--output-dir", path("out")});
    args.insert(args.end(), options.begin(), options.end());
    return vortigen(args);
  }

  // What a single run of the same settings writes for an input.
  std::string singleRun(const std::string& effect, const std::string& input,
                        const std::vector<std::string>& options) {
    std::vector<std::string> args{effect, input, path("single.wav")};
    args.insert(args.end(), options.begin(), options.end());
    const tool::Result r = vortigen(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return samplesOf(path("single.wav"));
  }

  static std::string samplesOf(const std::string& file) {
    const Sound s = readSound(file);
    return std::string(reinterpret_cast<const char*>(s.samples.data()),
                       s.samples.size() * sizeof(float));
  }

  std::vector<std::string> temporariesIn(const std::string& directory) const {
    std::vector<std::string> found;
    if (!fs::is_directory(dir_ / directory)) return found;
    for (const auto& e : fs::directory_iterator(dir_ / directory)) {
      if (e.path().filename().string().find(".vortigen-") != std::string::npos)
        found.push_back(e.path().filename().string());
    }
    return found;
  }
};

TEST_F(Resume, OutputsOfOtherSettingsOrEffectsAreRedoneAndForceRedoesAll) {
  const std::vector<std::string> inputs = makeInputs(3);
  ASSERT_EQ(batch("dynamic", inputs, {"--preset", "Chaos"}).status, 0);
  const tool::Result again = batch("dynamic", inputs, {"--preset", "Chaos"});
  EXPECT_NE(again.out.find("3 files: 0 processed, 3 skipped (already complete)"), std::string::npos)
      << again.out;

  struct Case {
    const char* name;
    std::string effect;
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"another preset", "dynamic", {"--preset", "Hard Attack"}},
      {"another effect", "fourier", {"--preset", "Five"}},
      {"one curve changed", "fourier", {"--preset", "Five", "--curve", "transfer=0:0,16384:9000"}},
      {"another sample format",
       "fourier",
       {"--preset", "Five", "--curve", "transfer=0:0,16384:9000", "--bits", "24"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tool::Result r = batch(c.effect, inputs, c.options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("3 files: 3 processed (3 redone for changed settings), 0 skipped"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(samplesOf(path("out/a1.wav")), singleRun(c.effect, inputs[1], c.options));
  }
  const tool::Result forced =
      batch("fourier", inputs,
            {"--preset", "Five", "--curve", "transfer=0:0,16384:9000", "--bits", "24", "--force"});
  EXPECT_NE(forced.out.find("3 files: 3 processed, 0 skipped"), std::string::npos) << forced.out;
}

TEST_F(Resume, AnInputChangedSinceItsOutputWasMadeIsProcessedAgain) {
  const std::vector<std::string> inputs = makeInputs(2);
  ASSERT_EQ(batch("dynamic", inputs, {"--preset", "Chaos"}).status, 0);
  write("in/a1.wav", testSound(2, 16, 22050, 0.3));
  const tool::Result r = batch("dynamic", inputs, {"--preset", "Chaos"});
  EXPECT_NE(r.out.find("2 files: 1 processed (1 redone for changed settings), 1 skipped"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(samplesOf(path("out/a1.wav")), singleRun("dynamic", inputs[1], {"--preset", "Chaos"}));
}

TEST_F(Resume, FilesOfTheRightLengthThatTheRunDidNotFinishAreRedone) {
  const std::vector<std::string> inputs = makeInputs(3);
  ASSERT_EQ(batch("dynamic", inputs, {"--preset", "Chaos"}).status, 0);
  // Silence of the input's length, as another program might leave.
  Sound zeros = readSound(inputs[0]);
  std::fill(zeros.samples.begin(), zeros.samples.end(), 0.0f);
  writeSound(path("out/a0.wav"), zeros);
  // The finished output's record on a file cut short.
  {
    SF_INFO info{};
    SNDFILE* whole = sf_open(path("out/a2.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(whole, nullptr);
    const std::string record = sf_get_string(whole, SF_STR_SOFTWARE);
    std::vector<short> samples(size_t(info.frames * info.channels));
    sf_readf_short(whole, samples.data(), info.frames);
    sf_close(whole);
    SNDFILE* cut = sf_open(path("out/a2.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(cut, nullptr);
    sf_set_string(cut, SF_STR_SOFTWARE, record.substr(0, record.find(" (")).c_str());
    sf_writef_short(cut, samples.data(), info.frames - 100);
    sf_close(cut);
  }
  const tool::Result r = batch("dynamic", inputs, {"--preset", "Chaos"});
  EXPECT_NE(r.out.find("3 files: 2 processed, 1 skipped"), std::string::npos) << r.out;
  for (const int i : {0, 2}) {
    EXPECT_EQ(samplesOf(path("out/a" + std::to_string(i) + ".wav")),
              singleRun("dynamic", inputs[size_t(i)], {"--preset", "Chaos"}));
  }
}

TEST_F(Resume, AKeptPartialResultHasItsOwnNameAndIsFinishedByTheNextRun) {
  const Audio input = testSound(1, 16, 44100, 0.5);
  const std::string in = write("in.wav", input);
  std::ofstream(path("out.wav")) << "the user's earlier result";
  const tool::Result r =
      vortigen({"dynamic", in, path("out.wav"), "--preset", "Chaos", "--keep-partial"},
               {{"VORTIGEN_TEST_CANCEL_AFTER_PASS", "3"}});
  EXPECT_EQ(r.status, 130);
  EXPECT_NE(r.err.find("partly processed sound is in " + path("out.partial.wav")),
            std::string::npos)
      << r.err;
  EXPECT_EQ(tool::fileText(path("out.wav")), "the user's earlier result");
  EXPECT_EQ(vtmedia::readAudio(path("out.partial.wav")).bytes.size(), input.bytes.size());

  // In a batch, stopped by a signal part-way, then run again.
  fs::create_directories(dir_ / "in");
  std::vector<std::string> inputs;
  for (int i = 0; i < 3; ++i)
    inputs.push_back(write("in/slow" + std::to_string(i) + ".wav", testSound(1, 8, 11025, 2.0)));
  std::vector<std::string> args{"dynamic"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  args.insert(args.end(),
              {"--preset", "Chaos", "--output-dir", path("out"), "--jobs", "3", "--keep-partial"});
  const tool::Started started = tool::start(
      vortigenPath, args,
      {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "50"}},
      dir_ / "scratch");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (temporariesIn("out").size() < 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(started.pid, SIGINT);
  const tool::Result stopped = tool::finish(started);
  ASSERT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_TRUE(fs::exists(path("out/slow0.partial.wav"))) << stopped.err;
  EXPECT_FALSE(fs::exists(path("out/slow0.wav")));

  const tool::Result rerun = batch("dynamic", inputs, {"--preset", "Chaos"});
  EXPECT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_NE(rerun.out.find("3 files: 3 processed, 0 skipped"), std::string::npos) << rerun.out;
  EXPECT_EQ(samplesOf(path("out/slow0.wav")),
            singleRun("dynamic", inputs[0], {"--preset", "Chaos"}));
}

TEST_F(Resume, AKilledWorkerFailsTheBatchAndItsTemporaryIsRemoved) {
  fs::create_directories(dir_ / "in");
  std::vector<std::string> inputs;
  for (int i = 0; i < 2; ++i)
    inputs.push_back(write("in/slow" + std::to_string(i) + ".wav", testSound(1, 8, 11025, 1.5)));
  std::vector<std::string> args{"dynamic"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  args.insert(args.end(), {"--preset", "Chaos", "--output-dir", path("out"), "--jobs", "1"});
  const tool::Started started = tool::start(
      vortigenPath, args,
      {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "30"}},
      dir_ / "scratch");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (temporariesIn("out").empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // The one worker is the batch's only child, as the out-of-memory killer
  // would find it.
  std::string children;
  std::ifstream("/proc/" + std::to_string(started.pid) + "/task/" + std::to_string(started.pid) +
                "/children") >>
      children;
  ASSERT_FALSE(children.empty());
  kill(std::stoi(children), SIGKILL);
  const tool::Result r = tool::finish(started);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("2 files: 1 processed, 0 skipped (already complete), 1 failed (1 killed)"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("was killed (signal 9"), std::string::npos) << r.err;
  EXPECT_EQ(temporariesIn("out"), std::vector<std::string>{});
}

TEST_F(Resume, TemporariesOfAKilledRunAreRemovedWhenTheNextBatchStarts) {
  const std::vector<std::string> inputs = makeInputs(1);
  fs::create_directories(dir_ / "out");
  std::ofstream(path("out/.a0.vortigen-Ab12Cd.wav")) << "left by a run killed outright";
  std::ofstream(path("out/.other.vortigen-Ab12Cd.wav")) << "not this batch's";
  const tool::Result r = batch("dynamic", inputs, {"--preset", "Chaos"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("removed 1 temporary file"), std::string::npos) << r.err;
  EXPECT_EQ(temporariesIn("out"), std::vector<std::string>{".other.vortigen-Ab12Cd.wav"});
}

TEST_F(Resume, WorkersStopWhenTheirParentIsKilled) {
  const std::vector<std::string> inputs = [&] {
    fs::create_directories(dir_ / "in");
    return std::vector<std::string>{write("in/slow.wav", testSound(1, 8, 11025, 3.0))};
  }();
  const tool::Started started = tool::start(
      vortigenPath,
      {"dynamic", inputs[0], "--preset", "Chaos", "--output-dir", path("out"), "--jobs", "1"},
      {{"XDG_CONFIG_HOME", configHome().string()}, {"VORTIGEN_TEST_PROGRESS_DELAY_MS", "50"}},
      dir_ / "scratch");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (temporariesIn("out").empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(temporariesIn("out").empty());
  kill(started.pid, SIGKILL);
  tool::finish(started);
  // The worker hears of it, stops and removes its temporary file.
  const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!temporariesIn("out").empty() && std::chrono::steady_clock::now() < stop)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(temporariesIn("out"), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(path("out/slow.wav")));
}

}  // namespace
