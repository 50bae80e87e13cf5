// The engine over a range: output aligned with the input and equal to the
// engine's own stream, the calls a reader and a writer see, stopping early,
// and the scale a sound's depth chooses.
#include <gtest/gtest.h>

#include <cstring>

#include "engine_support.h"
#include "host_support.h"
#include "range.h"

namespace {

using enginetest::Planar;
using vtengine::Effect;
using vtengine::EngineSettings;
using vtengine::RangeRun;

Planar music(int channels, size_t frames) {
  const std::vector<double> values =
      support::musicLike(static_cast<int>(frames), channels, 0.8, 44100);
  Planar planar = enginetest::silence(channels, frames);
  for (size_t t = 0; t < frames; ++t) {
    for (int c = 0; c < channels; ++c) planar[c][t] = static_cast<float>(values[t * channels + c]);
  }
  return planar;
}

EngineSettings soft(Effect effect, int channels) {
  const auto& info = vtengine::effectInfo(effect);
  return vtengine::settingsForSound(
      effect,
      vtengine::parsePreset(info.builtInPresets[7 % info.builtInPresets.size()].text).curves, 44100,
      channels, 16);
}

// What the range function gave, and how it was called.
struct Recorded {
  Planar output;
  std::vector<size_t> reads;   // frames per read
  std::vector<size_t> writes;  // frames per write
  bool whole = false;
};

Recorded runRange(const EngineSettings& settings, const Planar& input, size_t blockFrames,
                  const std::function<bool()>& stop = {}) {
  Recorded r;
  const size_t frames = input[0].size();
  r.output = enginetest::silence(settings.channels, 0);
  RangeRun run;
  run.frames = static_cast<int64_t>(frames);
  run.blockFrames = blockFrames;
  run.read = [&](int64_t at, float* const* planes, size_t count) {
    for (size_t c = 0; c < input.size(); ++c)
      std::memcpy(planes[c], input[c].data() + at, count * sizeof(float));
    r.reads.push_back(count);
    return true;
  };
  run.write = [&](int64_t at, const float* const* planes, size_t count) {
    EXPECT_EQ(static_cast<size_t>(at), r.output[0].size()) << "output frames out of order";
    for (size_t c = 0; c < input.size(); ++c)
      r.output[c].insert(r.output[c].end(), planes[c], planes[c] + count);
    r.writes.push_back(count);
  };
  run.stop = stop;
  r.whole = vtengine::processRange(settings, run);
  return r;
}

bool sameBits(const Planar& a, const Planar& b) {
  if (a.size() != b.size()) return false;
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return false;
    if (std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0) return false;
  }
  return true;
}

// Every length from shorter than the latency to several blocks, in blocks
// of one frame, of odd lengths and longer than the range: the output is
// the engine's own stream without its lead-in, frame for frame.
TEST(RangeOutput, EqualsTheEngineStreamWithoutItsLatency) {
  for (Effect effect : vtengine::allEffects()) {
    for (int channels : {1, 2, 3}) {
      for (size_t frames : {size_t(1), size_t(700), size_t(5000)}) {
        const Planar input = music(channels, frames);
        vtengine::Engine engine(soft(effect, channels));
        const Planar expected = enginetest::runEngine(engine, input, 4096);
        for (size_t block : {size_t(1), size_t(333), size_t(9000)}) {
          if (block == 1 && frames > 700) continue;  // slow, and nothing new
          const Recorded r = runRange(soft(effect, channels), input, block);
          EXPECT_TRUE(r.whole);
          EXPECT_TRUE(sameBits(r.output, expected))
              << vtengine::effectInfo(effect).name << ", " << channels << " channels, " << frames
              << " frames in blocks of " << block;
        }
      }
    }
  }
}

// The tool hands each block read back to the writer filled with output:
// one write after each read, never longer than it, and one at the end.
TEST(RangeOutput, WritesOnceAfterEachReadAndOnceAtTheEnd) {
  const Recorded r = runRange(soft(Effect::Dynamic, 2), music(2, 10000), 4096);
  ASSERT_EQ(r.reads, (std::vector<size_t>{4096, 4096, 1808}));
  ASSERT_EQ(r.writes.size(), r.reads.size() + 1);
  for (size_t i = 0; i < r.reads.size(); ++i) EXPECT_LE(r.writes[i], r.reads[i]) << "write " << i;
  EXPECT_EQ(r.output[0].size(), 10000u);
}

TEST(RangeStop, StopsBetweenBlocksAndSaysSo) {
  int asked = 0;
  const Recorded r =
      runRange(soft(Effect::Fourier, 1), music(1, 20000), 1000, [&] { return ++asked > 3; });
  EXPECT_FALSE(r.whole);
  EXPECT_EQ(r.reads.size(), 3u);
  EXPECT_LT(r.output[0].size(), 3000u);
}

TEST(RangeStop, AReaderWithNoMoreInputStopsTheRun) {
  RangeRun run;
  run.frames = 5000;
  run.blockFrames = 1000;
  int reads = 0;
  int writes = 0;
  run.read = [&](int64_t, float* const*, size_t) { return ++reads < 2; };
  run.write = [&](int64_t, const float* const*, size_t) { ++writes; };
  EXPECT_FALSE(vtengine::processRange(soft(Effect::Dynamic, 2), run));
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(writes, 1);
}

TEST(RangeSettings, EightBitSoundsUseThePlugInsEightBitScale) {
  EXPECT_EQ(soft(Effect::Dynamic, 1).integerScale, 32768.0f);
  const auto eight = vtengine::settingsForSound(Effect::Dynamic, {}, 22050, 1, 8);
  EXPECT_EQ(eight.integerScale, 128.0f);
  const auto floats = vtengine::settingsForSound(Effect::Dynamic, {}, 22050, 1, 0);
  EXPECT_EQ(floats.integerScale, 32768.0f);
}

}  // namespace
