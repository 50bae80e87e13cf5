// The Dynamic effect through the reference host: its curve tables, its
// transparency with the neutral preset, the envelope rule and chaos.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "envelope_rule.h"
#include "plugins.h"
#include "working_area.h"

namespace {

using plugins::Instance;
using support::bytesOf16;
using support::samplesOf16;
using vthost::Service;
using vthost::WaveFormat;

const std::string flat = "Flat (no effect),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,0,16384,0";
const std::string chaos = "Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,16384,16384";
const std::string softDynamicChaos =
    "Soft Dynamic+Chaos,3,2,0,1742,16384,1742,2,0,1394,16384,1394,2,0,16384,16384,16384";

std::string levels(int attack, int release, int chaosLevel) {
  auto line = [](int y) { return "2,0," + std::to_string(y) + ",16384," + std::to_string(y); };
  return "Levels,3," + line(attack) + "," + line(release) + "," + line(chaosLevel);
}

// ---- Tables --------------------------------------------------------------------------

TEST(DynamicTables, CurvesAreSampledAttackReleaseChaosAt513Positions) {
  Instance dynamic(plugins::dynamic(), WaveFormat{1, 16, 44100}, std::vector<uint8_t>(8192));
  const std::vector<CurveHandle> curves = dynamic.host.curveHandles();
  dynamic.processed();
  const auto values = dynamic.host.callsOf(Service::GetCurveValue);
  ASSERT_EQ(values.size(), 1539u);
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(values[i].args[0], curves[i % 3]) << "call " << i;
    ASSERT_EQ(values[i].position, static_cast<double>(i / 3) / 512.0) << "call " << i;
  }
  // All of them before the first read.
  EXPECT_EQ(dynamic.host.calls()[1538].service, Service::GetCurveValue);
}

std::vector<SIZE_T> allocationSizes;
void recordAllocation(UINT, SIZE_T bytes) { allocationSizes.push_back(bytes); }

TEST(DynamicTables, TablesAndWorkingAreaHaveTheirDeclaredSizes) {
  for (auto [rate, n] : {std::pair<LONG, SIZE_T>{44100, 1024}, {22050, 512}, {11025, 256}}) {
    SCOPED_TRACE("sample rate " + std::to_string(rate));
    Instance dynamic(plugins::dynamic(), WaveFormat{2, 16, rate}, std::vector<uint8_t>(16384));
    allocationSizes.clear();
    vtGlobalSetAllocObserver(recordAllocation);
    dynamic.processed();
    vtGlobalSetAllocObserver(nullptr);
    EXPECT_EQ(allocationSizes, (std::vector<SIZE_T>{6156, dynamicWorkingAreaBytes(n)}));
  }
}

// ---- Neutral settings ---------------------------------------------------------------

TEST(DynamicFlat, Returns16BitMusicWithinOneStep) {
  for (WORD channels : {1, 2}) {
    SCOPED_TRACE(std::to_string(channels) + " channels");
    const int frames = 30000;
    std::vector<double> music = support::musicLike(frames, channels, 26000.0);
    music[1000] = -32768.0;  // the clip range's one exception
    music[2001] = 32767.0;
    const std::vector<uint8_t> input = support::pcm16Of(music);
    Instance dynamic(plugins::dynamic(), WaveFormat{channels, 16, 44100}, input, flat);
    const std::vector<int16_t> output = samplesOf16(dynamic.processed());
    EXPECT_LE(plugins::largestStep16(samplesOf16(input), output), 1);
    EXPECT_EQ(output[1000], -32767);
  }
}

TEST(DynamicFlat, Returns8BitMusicWithinOneStep) {
  for (WORD channels : {1, 2}) {
    SCOPED_TRACE(std::to_string(channels) + " channels");
    const int frames = 20000;
    const std::vector<uint8_t> input =
        support::pcm8Of(support::musicLike(frames, channels, 120.0, 22050.0));
    Instance dynamic(plugins::dynamic(), WaveFormat{channels, 8, 22050}, input, flat);
    const std::vector<uint8_t>& output = dynamic.processed();
    for (size_t i = 0; i < input.size(); ++i) {
      const int want = std::max<int>(input[i], 1);
      ASSERT_LE(std::abs(int(output[i]) - want), 1) << "sample " << i;
    }
  }
}

TEST(DynamicFlat, SilenceStaysSilentWhateverTheCurves) {
  for (const std::string& preset : {flat, chaos, softDynamicChaos, levels(16384, 16384, 8000)}) {
    SCOPED_TRACE(preset);
    Instance dynamic(plugins::dynamic(), WaveFormat{2, 16, 44100}, std::vector<uint8_t>(40000),
                     preset);
    const std::vector<uint8_t>& output = dynamic.processed();
    EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](uint8_t b) { return b == 0; }));
  }
}

// ---- The envelope rule ------------------------------------------------------------------

// The worked examples, one bin at a time.
TEST(DynamicEnvelopeRule, WorkedExamples) {
  struct Case {
    const char* name;
    float magnitude, envelope, floor, attack, release;
    float newMagnitude, newEnvelope;
  };
  const Case cases[] = {
      {"hard attack exaggerates a rise", 300, 100, 0, 0.5f, 0.0f, 400, 200},
      {"soft attack follows a rise slowly", 300, 100, 0, -0.75f, 0.0f, 150, 150},
      {"hard release drives a fall below zero", 100, 400, 50, 0.0f, 0.5f, -50, 250},
      {"a fall below the floor keeps its magnitude", 10, 400, 50, 0.0f, 0.5f, 10, 10},
      {"a fall exactly at the floor is not reset", 50, 400, 50, 0.0f, 0.5f, -125, 225},
      {"a rise below the floor takes the attack, the floor is for falls", 10, 5, 50, 0.5f, 0.0f,
       12.5f, 7.5f},
      {"magnitude equal to the envelope takes the attack and stays", 300, 300, 0, -0.9f, 0.9f, 300,
       300},
      {"first frame, hard: (1 + c) m and (1 - c) m", 80, 0, 0, 0.25f, -0.5f, 100, 60},
      {"first frame, soft: (1 + c) m twice", 80, 0, 0, -0.25f, 0.5f, 60, 60},
      {"a silent bin stays silent", 0, 0, 0, 0.99f, 0.99f, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BinState next = followEnvelope(c.magnitude, c.envelope, c.floor, c.attack, c.release);
    EXPECT_FLOAT_EQ(next.magnitude, c.newMagnitude);
    EXPECT_FLOAT_EQ(next.envelope, c.newEnvelope);
  }
}

TEST(DynamicEnvelopeRule, ChaosShiftsByTheEighthPowerTimesTheEnvelope) {
  EXPECT_EQ(chaosShift(0.0f, 1000.0f), 0.0f);
  EXPECT_EQ(chaosShift(1.0f, 10.0f), 10.0f);
  EXPECT_NEAR(chaosShift(3834.0f / 16384.0f, 1.0f), 9.0e-6, 0.05e-6);
  EXPECT_FLOAT_EQ(chaosShift(0.5f, 512.0f), 2.0f);
}

// The same examples through the whole plug-in. Each block holds one impulse
// in the middle, growing or shrinking by a constant ratio from block to
// block, so every frame is a scaled copy of the first: every bin then meets
// the rule in the same proportions, no bin falls under the 1 % floor, and
// each processed frame is the input frame times one gain.
TEST(DynamicEnvelopeRule, WholeFramesFollowTheWorkedExamples) {
  struct Case {
    const char* name;
    int attackLevel, releaseLevel;
    double ratio;  // of each block's impulse to the one before
    double gain1, gain2;
  };
  const Case cases[] = {
      // Frame 2 of these is the example envelope 100, magnitude 300.
      {"hard attack 0.5", 12320, 8192, 1.5, 1.5, 400.0 / 300.0},
      {"soft attack -0.75", 2000, 8192, 0.75, 0.25, 150.0 / 300.0},
      // Frame 2: envelope 400, magnitude 100, new magnitude -50, silenced.
      {"hard release 0.5", 8192, 12320, 0.25, 1.0, 0.0},
      {"soft release -0.75", 8192, 2000, 0.25, 1.0, 3.25},
  };
  const int h = 512, impulseAt = 256;
  const double amplitude = 2000.0;
  const double fadeIn = impulseAt / double(h - 1), fadeOut = 1.0 - fadeIn;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int16_t> input(3 * h, 0);
    for (int block = 0; block < 3; ++block) {
      input[block * h + impulseAt] =
          static_cast<int16_t>(std::lround(amplitude * std::pow(c.ratio, block)));
    }
    Instance dynamic(plugins::dynamic(), WaveFormat{1, 16, 44100}, bytesOf16(input),
                     levels(c.attackLevel, c.releaseLevel, 0));
    const std::vector<int16_t> output = samplesOf16(dynamic.processed());
    const double x0 = input[impulseAt], x1 = input[h + impulseAt], x2 = input[2 * h + impulseAt];
    const double expected[3] = {x0 * (fadeOut + c.gain1 * fadeIn),
                                x1 * (c.gain1 * fadeOut + c.gain2 * fadeIn), x2 * c.gain2};
    for (int i = 0; i < 3 * h; ++i) {
      const double want = i % h == impulseAt ? expected[i / h] : 0.0;
      ASSERT_NEAR(output[i], want, 1.0) << "sample " << i;
    }
  }
}

// A loud steady tone sets the frame's maximum; a quiet tone fades by half
// from block to block. Under a hard release (+0.99) a falling bin is
// driven to silence, unless it lies below 1 % of the frame's loudest bin:
// then it keeps its magnitude. Both tones repeat exactly within a block, so
// their amplitudes can be read back per block without leakage.
TEST(DynamicEnvelopeRule, HardReleaseSparesFallingBinsBelowTheFloorOnly) {
  const int h = 512, blocks = 5;
  const double pi = 3.14159265358979323846;
  auto amplitudeAt = [&](const std::vector<int16_t>& x, int block, int cycles) {
    double re = 0.0, im = 0.0;
    for (int t = 0; t < h; ++t) {
      re += x[block * h + t] * std::cos(2 * pi * cycles * t / h);
      im += x[block * h + t] * std::sin(2 * pi * cycles * t / h);
    }
    return 2.0 * std::hypot(re, im) / h;
  };
  const int loudCycles = 32, quietCycles = 150;  // per block
  for (auto [quietStart, spared] : {std::pair<double, bool>{40.0, true}, {6400.0, false}}) {
    SCOPED_TRACE("quiet tone starting at " + std::to_string(quietStart));
    std::vector<int16_t> input(blocks * h);
    for (int t = 0; t < blocks * h; ++t) {
      const double quiet = quietStart * std::pow(0.5, t / h);
      input[t] = static_cast<int16_t>(std::lround(16000.0 * std::sin(2 * pi * loudCycles * t / h) +
                                                  quiet * std::sin(2 * pi * quietCycles * t / h)));
    }
    Instance neutral(plugins::dynamic(), WaveFormat{1, 16, 44100}, bytesOf16(input), flat);
    Instance hard(plugins::dynamic(), WaveFormat{1, 16, 44100}, bytesOf16(input),
                  levels(8192, 16365, 0));
    const std::vector<int16_t> reference = samplesOf16(neutral.processed());
    const std::vector<int16_t> released = samplesOf16(hard.processed());
    for (int block = 2; block < 4; ++block) {
      const double ratio =
          amplitudeAt(released, block, quietCycles) / amplitudeAt(reference, block, quietCycles);
      if (spared) {
        EXPECT_NEAR(ratio, 1.0, 0.2) << "block " << block;
      } else {
        EXPECT_LT(ratio, 0.1) << "block " << block;
      }
      EXPECT_NEAR(amplitudeAt(released, block, loudCycles), 16000.0, 50.0) << "block " << block;
    }
  }
}

// ---- Chaos and bin mapping ------------------------------------------------------------------

TEST(DynamicChaos, FullChaosScramblesDeterministically) {
  const std::vector<uint8_t> input = support::pcm16Of(support::musicLike(20000, 1, 16000.0));
  Instance first(plugins::dynamic(), WaveFormat{1, 16, 44100}, input, chaos);
  Instance second(plugins::dynamic(), WaveFormat{1, 16, 44100}, input, chaos);
  const std::vector<uint8_t> once = first.processed();
  EXPECT_EQ(second.processed(), once) << "the same input and curves gave different output";

  std::vector<double> difference = plugins::asDoubles16(once);
  const std::vector<double> original = plugins::asDoubles16(input);
  for (size_t i = 0; i < difference.size(); ++i) difference[i] -= original[i];
  EXPECT_GT(plugins::rms(difference), 0.3 * plugins::rms(original))
      << "full chaos left the sound nearly as it was";
}

// One tone in one bin: with attack and release neutral the bin's envelope
// is its magnitude, the amplitude times half the window's sum, and chaos
// c = 3072/16384 adds c^8 times that to its phase, about 0.47 rad here.
// The tone's neighbours, reached by the window's leakage at about 0.4 of
// its level, turn by less in the same direction, so the output tone is
// advanced by somewhat less than the bin's own shift: never delayed.
TEST(DynamicChaos, ChaosAdvancesABinsPhaseByItsShift) {
  const int n = 1024, cycles = 64;  // per frame
  const double pi = 3.14159265358979323846, amplitude = 1000.0;
  std::vector<int16_t> input(6 * n);
  for (size_t t = 0; t < input.size(); ++t) {
    input[t] = static_cast<int16_t>(std::lround(amplitude * std::cos(2 * pi * cycles * t / n)));
  }
  double windowSum = 0.0;  // the Bartlett window lifted by 0.1
  for (int i = 0; i < n; ++i) windowSum += (i < n / 2 ? i : n - 1 - i) * 2.0 / (n - 1) + 0.1;
  const double chaosValue = 3072.0 / 16384.0;
  const double shift = std::pow(chaosValue, 8) * amplitude / 2 * windowSum;

  Instance dynamic(plugins::dynamic(), WaveFormat{1, 16, 44100}, bytesOf16(input),
                   levels(8192, 8192, 3072));
  const std::vector<int16_t> output = samplesOf16(dynamic.processed());
  auto phaseOf = [&](const std::vector<int16_t>& x) {
    double re = 0.0, im = 0.0;
    for (int t = 2 * n; t < 5 * n; ++t) {
      re += x[t] * std::cos(2 * pi * cycles * t / n);
      im -= x[t] * std::sin(2 * pi * cycles * t / n);
    }
    return std::atan2(im, re);
  };
  const double turned = std::remainder(phaseOf(output) - phaseOf(input), 2 * pi);
  EXPECT_NEAR(shift, 0.468, 0.01) << "the example's numbers changed";
  EXPECT_GT(turned, 0.8 * shift) << "chaos turned the phase back, or hardly at all";
  EXPECT_LE(turned, 1.01 * shift);
}

// At 22050 Hz a frame has bins 0..256, which read the left half of each
// curve: what the curves do right of the middle must not matter there, and
// must at 44100 Hz.
TEST(DynamicChaos, OnlyTheLeftHalfOfACurveActsAtHalfTheRate) {
  const std::string chaosRightHalf =
      "Right,3,2,0,8192,16384,8192,2,0,8192,16384,8192,4,0,0,8200,0,8300,16384,16384,16384";
  for (auto [rate, changes] : {std::pair<LONG, bool>{22050, false}, {44100, true}}) {
    SCOPED_TRACE("sample rate " + std::to_string(rate));
    const std::vector<uint8_t> input =
        support::pcm16Of(support::musicLike(12000, 1, 16000.0, double(rate)));
    Instance neutral(plugins::dynamic(), WaveFormat{1, 16, rate}, input, flat);
    Instance right(plugins::dynamic(), WaveFormat{1, 16, rate}, input, chaosRightHalf);
    EXPECT_EQ(right.processed() != neutral.processed(), changes);
  }
}

TEST(DynamicChannels, EachChannelIsProcessedAsIfAlone) {
  const int frames = 9000;
  const std::vector<double> stereo = support::musicLike(frames, 2, 12000.0);
  std::vector<double> left(frames), right(frames);
  for (int t = 0; t < frames; ++t) {
    left[t] = stereo[2 * t];
    right[t] = stereo[2 * t + 1] * 0.05;  // a much quieter right channel
  }
  std::vector<double> both(2 * frames);
  for (int t = 0; t < frames; ++t) {
    both[2 * t] = left[t];
    both[2 * t + 1] = right[t];
  }
  Instance pair(plugins::dynamic(), WaveFormat{2, 16, 44100}, support::pcm16Of(both),
                softDynamicChaos);
  Instance leftAlone(plugins::dynamic(), WaveFormat{1, 16, 44100}, support::pcm16Of(left),
                     softDynamicChaos);
  Instance rightAlone(plugins::dynamic(), WaveFormat{1, 16, 44100}, support::pcm16Of(right),
                      softDynamicChaos);
  const std::vector<int16_t> out = samplesOf16(pair.processed());
  const std::vector<int16_t> outLeft = samplesOf16(leftAlone.processed());
  const std::vector<int16_t> outRight = samplesOf16(rightAlone.processed());
  for (int t = 0; t < frames; ++t) {
    ASSERT_EQ(out[2 * t], outLeft[t]) << "left, frame " << t;
    ASSERT_EQ(out[2 * t + 1], outRight[t]) << "right, frame " << t;
  }
}

}  // namespace
