// Shards and --list: a file's shard follows from its name alone, whatever
// the listing, and --list shows what a run would do without doing it.
#include <set>
#include <sstream>

#include "tool_fixture.h"

namespace {

using namespace tooltest;

// One line of --list: what would happen to one input.
struct Planned {
  std::string action, input, output;
};

std::vector<Planned> plannedOf(const std::string& listing) {
  std::vector<Planned> lines;
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    Planned p;
    std::istringstream fields(line);
    std::getline(fields, p.action, '\t');
    std::getline(fields, p.input, '\t');
    std::getline(fields, p.output, '\t');
    lines.push_back(p);
  }
  return lines;
}

class Shards : public Tool {
 protected:
  std::vector<std::string> makeInputs(int n) {
    fs::create_directories(dir_ / "in");
    std::vector<std::string> inputs;
    for (int i = 0; i < n; ++i) {
      inputs.push_back(write("in/take" + std::to_string(i) + ".wav", testSound(1, 16, 22050, 0.1)));
    }
    return inputs;
  }

  tool::Result batch(const std::vector<std::string>& inputs,
                     const std::vector<std::string>& options) {
    std::vector<std::string> args{"fourier"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"--preset", "Five", "--output-dir", path("out")});
    args.insert(args.end(), options.begin(), options.end());
    return vortigen(args);
  }

  // Each file's shard (1..count) by its name, as --list reports it for the
  // listing; a file listed by two shards or twice by one fails the test.
  std::map<std::string, int> shardsOf(const std::vector<std::string>& listing, int count) {
    std::map<std::string, int> shardOf;
    for (int k = 1; k <= count; ++k) {
      const tool::Result r =
          batch(listing, {"--shard", std::to_string(k) + "/" + std::to_string(count), "--list"});
      EXPECT_EQ(r.status, 0) << r.err;
      for (const Planned& p : plannedOf(r.out)) {
        const std::string name = fs::path(p.input).filename().string();
        EXPECT_TRUE(shardOf.emplace(name, k).second) << name << " listed twice";
      }
    }
    return shardOf;
  }
};

TEST_F(Shards, AFilesShardFollowsFromItsNameWhateverTheOrderSpellingOrOtherFilesOfTheListing) {
  const std::vector<std::string> inputs = makeInputs(12);
  const std::map<std::string, int> plain = shardsOf(inputs, 3);
  ASSERT_EQ(plain.size(), 12u) << "every file in one shard";
  std::set<int> used;
  for (const auto& [name, k] : plain) used.insert(k);
  EXPECT_EQ(used.size(), 3u) << "the files spread over the shards";

  // Reversed, spelled relative to the working directory, one file twice.
  std::vector<std::string> respelled;
  for (auto i = inputs.rbegin(); i != inputs.rend(); ++i)
    respelled.push_back(fs::relative(*i, fs::current_path()).string());
  respelled.push_back(path("in/../in/take3.wav"));
  EXPECT_EQ(shardsOf(respelled, 3), plain);

  // A file added later goes to its own shard and moves no other.
  std::vector<std::string> grown = inputs;
  grown.insert(grown.begin() + 4, write("in/late.wav", testSound(1, 16, 22050, 0.1)));
  std::map<std::string, int> withLate = shardsOf(grown, 3);
  ASSERT_EQ(withLate.count("late.wav"), 1u);
  withLate.erase("late.wav");
  EXPECT_EQ(withLate, plain);
}

TEST_F(Shards, TheShardsOfTwoListingsTogetherProcessEveryFileOnceAndALaterFileOnTheNextRun) {
  std::vector<std::string> inputs = makeInputs(5);
  // Each shard run as its own job, from listings of the same files made
  // on different machines (different order and spelling).
  for (int k = 1; k <= 2; ++k) {
    std::vector<std::string> listing = inputs;
    if (k == 2) std::reverse(listing.begin(), listing.end());
    const tool::Result r = batch(listing, {"--shard", std::to_string(k) + "/2"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::set<std::string> outputs;
  for (const auto& e : fs::directory_iterator(dir_ / "out"))
    outputs.insert(e.path().filename().string());
  EXPECT_EQ(outputs.size(), 5u);
  ASSERT_EQ(vortigen({"fourier", inputs[2], path("single.wav"), "--preset", "Five"}).status, 0);
  EXPECT_EQ(tool::fileText(path("out/take2.wav")), tool::fileText(path("single.wav")));

  inputs.push_back(write("in/late.wav", testSound(1, 16, 22050, 0.1)));
  int processedLate = 0;
  for (int k = 1; k <= 2; ++k) {
    const tool::Result r = batch(inputs, {"--shard", std::to_string(k) + "/2"});
    ASSERT_EQ(r.status, 0) << r.err;
    processedLate += r.out.find(": 1 processed") != std::string::npos;
  }
  EXPECT_EQ(processedLate, 1) << "one shard, and one only, takes the new file";
  EXPECT_TRUE(fs::exists(path("out/late.wav")));
}

TEST_F(Shards, ListSaysWhatARunWouldProcessSkipAndRedoAndTouchesNothing) {
  const std::vector<std::string> inputs = makeInputs(3);
  const tool::Result before = batch(inputs, {"--list"});
  EXPECT_EQ(before.status, 0) << before.err;
  EXPECT_FALSE(fs::exists(dir_ / "out")) << "--list makes no directory";
  ASSERT_EQ(plannedOf(before.out).size(), 3u) << before.out;
  for (const Planned& p : plannedOf(before.out)) EXPECT_EQ(p.action, "process") << p.input;

  ASSERT_EQ(batch(inputs, {}).status, 0);
  fs::remove(path("out/take1.wav"));
  std::ofstream(path("out/take2.wav")) << "RIFF";  // what a killed run might leave
  const std::string leftOver = tool::fileText(path("out/take2.wav"));
  const tool::Result r = batch(inputs, {"--list"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<Planned> planned = plannedOf(r.out);
  ASSERT_EQ(planned.size(), 3u) << r.out;
  EXPECT_EQ(planned[0].action, "skip");
  EXPECT_EQ(planned[0].input, inputs[0]);
  EXPECT_EQ(planned[0].output, path("out/take0.wav"));
  EXPECT_EQ(planned[1].action, "process");
  EXPECT_EQ(planned[2].action, "redo");
  EXPECT_FALSE(fs::exists(path("out/take1.wav")));
  EXPECT_EQ(tool::fileText(path("out/take2.wav")), leftOver);
}

TEST_F(Shards, ShardsAndListsOutsideABatchOrOfNoSliceAreUsageErrors) {
  const std::vector<std::string> inputs = makeInputs(2);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {"a shard of one file",
       {"fourier", inputs[0], path("o.wav"), "--shard", "1/2"},
       "--shard is for a batch"},
      {"a list of one file",
       {"fourier", inputs[0], path("o.wav"), "--list"},
       "--list is for a batch"},
      {"shard 0",
       {"fourier", inputs[0], "--output-dir", path("out"), "--shard", "0/3"},
       "--shard 0/3 is no slice"},
      {"a shard past int",
       {"fourier", inputs[0], "--output-dir", path("out"), "--shard", "4294967297/5"},
       "is no slice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tool::Result r = vortigen(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("o.wav")));
    EXPECT_FALSE(fs::exists(dir_ / "out"));
  }
}

}  // namespace
