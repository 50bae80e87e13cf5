// The engine on several threads: its output bit for bit the one-thread
// output, for both effects, several presets, mono, stereo and three
// channels, lengths and block lengths that divide nothing, curve changes
// and restarts mid-stream. Small enough for the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "crew.h"
#include "engine_support.h"
#include "range.h"

namespace {

using enginetest::Planar;
using vtengine::Effect;
using vtengine::Engine;
using vtengine::EngineSettings;

// Tones that swell and fade, with a little noise, on the 16-bit grid:
// every bin's envelope rises and falls.
Planar music(int channels, size_t frames) {
  Planar planar = enginetest::silence(channels, frames);
  uint32_t noise = 12345;
  for (size_t t = 0; t < frames; ++t) {
    const double time = static_cast<double>(t) / 44100.0;
    const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 1.3 * time);
    for (int c = 0; c < channels; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double value = 0.4 * swell * std::sin(2 * M_PI * (220.0 + 110.0 * c) * time) +
                           0.2 * std::sin(2 * M_PI * 3520.0 * time) * (1.0 - swell) +
                           0.05 * (static_cast<double>(noise >> 8) / 16777216.0 - 0.5);
      planar[c][t] = static_cast<float>(std::round(value * 32768.0) / 32768.0);
    }
  }
  return planar;
}

EngineSettings settingsFor(Effect effect, size_t preset, int channels, int threads) {
  const auto& presets = vtengine::effectInfo(effect).builtInPresets;
  EngineSettings s = vtengine::settingsForSound(
      effect, vtengine::parsePreset(presets[preset % presets.size()].text).curves, 44100, channels,
      16);
  s.threads = threads;
  return s;
}

// The first sample that differs, or "" when every bit is the same.
std::string firstDifference(const Planar& a, const Planar& b) {
  if (a.size() != b.size()) return "channel counts differ";
  for (size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return "lengths differ";
    for (size_t t = 0; t < a[c].size(); ++t) {
      if (std::memcmp(&a[c][t], &b[c][t], sizeof(float)) != 0) {
        return "channel " + std::to_string(c) + ", frame " + std::to_string(t) + ": " +
               std::to_string(a[c][t]) + " against " + std::to_string(b[c][t]);
      }
    }
  }
  return "";
}

Planar run(const EngineSettings& settings, const Planar& input, size_t block) {
  Engine engine(settings);
  return enginetest::runEngine(engine, input, block);
}

// Dynamic's envelope passes from frame to frame and chaos turns phases by
// it; Fourier's frames stand alone. Presets 1, 4 and 7 of each (wrapping
// round Fourier's shorter list) take different tables.
TEST(EngineThreads, OutputIsTheOneThreadOutputBitForBit) {
  for (Effect effect : vtengine::allEffects()) {
    for (size_t preset : {1u, 4u, 7u}) {
      for (int channels : {1, 2, 3}) {
        const Planar input = music(channels, 30011);
        const Planar one = run(settingsFor(effect, preset, channels, 1), input, 4099);
        for (int threads : {2, 3}) {
          for (size_t block : {size_t(777), size_t(30011)}) {
            EXPECT_EQ(firstDifference(
                          run(settingsFor(effect, preset, channels, threads), input, block), one),
                      "")
                << vtengine::effectInfo(effect).name << " preset " << preset << ", " << channels
                << " channels, " << threads << " threads, blocks of " << block;
          }
        }
      }
    }
  }
}

// Lengths about a frame: no frame, one, a short last block.
TEST(EngineThreads, ShortStreamsAsOnOneThread) {
  for (Effect effect : vtengine::allEffects()) {
    for (size_t frames : {size_t(1), size_t(511), size_t(512), size_t(1023), size_t(1537)}) {
      const Planar input = music(2, frames);
      EXPECT_EQ(firstDifference(run(settingsFor(effect, 7, 2, 2), input, 100),
                                run(settingsFor(effect, 7, 2, 1), input, 100)),
                "")
          << vtengine::effectInfo(effect).name << ", " << frames << " frames";
    }
  }
}

// New curves between two blocks and a restart: the frames after each are
// those of one thread given the same calls.
TEST(EngineThreads, CurveChangesAndRestartsLandOnTheSameFrames) {
  for (Effect effect : vtengine::allEffects()) {
    const Planar input = music(2, 30011);
    auto calls = [&](int threads) {
      Engine engine(settingsFor(effect, 7, 2, threads));
      Planar out = enginetest::silence(2, input[0].size());
      std::vector<const float*> in(2);
      std::vector<float*> to(2);
      size_t at = 0;
      int call = 0;
      for (size_t block : {5000u, 9000u, 3u, 16008u}) {
        for (int c = 0; c < 2; ++c) {
          in[c] = input[c].data() + at;
          to[c] = out[c].data() + at;
        }
        engine.process(in.data(), to.data(), block);
        at += block;
        if (++call == 1) {
          auto tables = vtengine::prepareCurves(effect, settingsFor(effect, 4, 2, 1).curves);
          engine.useCurves(tables);
        } else if (call == 2) {
          engine.reset();
        }
      }
      return out;
    };
    EXPECT_EQ(firstDifference(calls(2), calls(1)), "") << vtengine::effectInfo(effect).name;
  }
}

TEST(EngineThreads, TheRangeFunctionRunsOnSeveralThreadsAlike) {
  const Planar input = music(2, 50000);
  auto over = [&](int threads) {
    Planar out = enginetest::silence(2, input[0].size());
    vtengine::RangeRun range;
    range.frames = 50000;
    range.blockFrames = 16384;
    range.read = [&](int64_t at, float* const* planes, size_t count) {
      for (int c = 0; c < 2; ++c) std::memcpy(planes[c], &input[c][at], count * sizeof(float));
      return true;
    };
    range.write = [&](int64_t at, const float* const* planes, size_t count) {
      for (int c = 0; c < 2; ++c) std::memcpy(&out[c][at], planes[c], count * sizeof(float));
    };
    EXPECT_TRUE(vtengine::processRange(settingsFor(Effect::Dynamic, 7, 2, threads), range));
    return out;
  };
  EXPECT_EQ(firstDifference(over(2), over(1)), "");
}

TEST(EngineThreads, ThreadCountsOutsideOneToSixtyFourAreRefused) {
  for (int threads : {0, -1, 65}) {
    EXPECT_THROW(Engine(settingsFor(Effect::Fourier, 0, 1, threads)), vtengine::EngineError)
        << threads;
  }
  EXPECT_NO_THROW(Engine(settingsFor(Effect::Fourier, 0, 1, 64)));
}

// The crew runs every item of a round exactly once, whatever thread takes
// it, and returns only when all are done: an item that a helper started
// late (here, made slow) is finished before run() returns, and no helper
// takes an item of the next round with the last round's job.
TEST(EngineCrew, EveryItemOnceAndFinishedBeforeTheRoundEnds) {
  struct Round {
    std::vector<int> hits;
    std::vector<int> finished;
  };
  for (int helpers : {1, 3}) {
    vtengine::Crew crew(helpers);
    for (int round = 0; round < 400; ++round) {
      const int count = round % 9;  // empty rounds too
      Round r{std::vector<int>(size_t(count)), std::vector<int>(size_t(count))};
      crew.run(
          [](void* context, int item) {
            auto& r = *static_cast<Round*>(context);
            ++r.hits[size_t(item)];  // a data race, caught by ThreadSanitizer, if taken twice
            if (item == 1) std::this_thread::sleep_for(std::chrono::microseconds(200));
            r.finished[size_t(item)] = 1;
          },
          &r, count);
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(r.hits[size_t(i)], 1) << helpers << " helpers, round " << round << ", item " << i;
        ASSERT_EQ(r.finished[size_t(i)], 1) << helpers << " helpers, round " << round;
      }
    }
  }
}

}  // namespace
