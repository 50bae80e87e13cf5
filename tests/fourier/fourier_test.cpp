// The Fourier effect through the reference host: the transfer table, its
// near transparency on the diagonal, silencing, and normalisation per frame
// and channel.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "plugins.h"

namespace {

using plugins::Instance;
using support::samplesOf16;
using vthost::Service;
using vthost::WaveFormat;

const std::string noEffect = "No Effect,3,2,0,0,16384,16384";
const std::string poorSound = "Poor Sound,3,3,0,0,14336,2163,16384,16384";
const std::string onlyOne = "Only 1,3,3,0,0,16065,0,16384,16384";
const std::string zero = "Zero,3,2,0,0,16384,0";

double relativeError(const std::vector<double>& got, const std::vector<double>& want) {
  std::vector<double> difference(got.size());
  for (size_t i = 0; i < got.size(); ++i) difference[i] = got[i] - want[i];
  return plugins::rms(difference) / plugins::rms(want);
}

TEST(FourierTable, TransferCurveIsSampledAt16385Positions) {
  Instance fourier(plugins::fourier(), WaveFormat{1, 16, 44100}, std::vector<uint8_t>(8192));
  const CurveHandle transfer = fourier.host.curveHandles()[0];
  fourier.processed();
  const auto values = fourier.host.callsOf(Service::GetCurveValue);
  ASSERT_EQ(values.size(), 16385u);
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(values[i].args[0], transfer);
    ASSERT_EQ(values[i].position, static_cast<double>(i) / 16384.0) << "call " << i;
  }
}

TEST(FourierTransfer, DiagonalIsCloseToTransparent) {
  for (WORD channels : {1, 2}) {
    SCOPED_TRACE(std::to_string(channels) + " channels");
    const std::vector<double> music = support::musicLike(30000, channels, 20000.0);
    const std::vector<uint8_t> input = support::pcm16Of(music);
    Instance fourier(plugins::fourier(), WaveFormat{channels, 16, 44100}, input, noEffect);
    const std::vector<double> output = plugins::asDoubles16(fourier.processed());
    const double error = relativeError(output, plugins::asDoubles16(input));
    EXPECT_LT(error, 2e-3) << "the diagonal changed the sound by more than truncation would";
    EXPECT_GT(error, 0.0) << "truncation to 1/16384 of the peak should leave a trace";
  }
}

// With the curve at 0 everywhere every processed frame is silent: what is
// left is the untouched first block, faded out.
TEST(FourierTransfer, ZeroCurveLeavesOnlyTheFadedFirstBlock) {
  const int h = 512;
  const std::vector<uint8_t> input = support::pcm16Of(support::musicLike(8 * h, 1, 20000.0));
  Instance fourier(plugins::fourier(), WaveFormat{1, 16, 44100}, input, zero);
  const std::vector<int16_t> output = samplesOf16(fourier.processed());
  const std::vector<int16_t> original = samplesOf16(input);
  for (int i = 0; i < 8 * h; ++i) {
    float expected = 0.0f;
    if (i < h) {
      const float fadeOut = static_cast<float>(h - 1 - i) / static_cast<float>(h - 1);
      expected = static_cast<float>(original[i]) * fadeOut;
    }
    ASSERT_EQ(output[i], static_cast<int16_t>(std::nearbyint(expected))) << "sample " << i;
  }
}

// Doubling every sample doubles every magnitude and the frame's maximum
// exactly, so the curve sees the same levels and the output doubles too.
TEST(FourierTransfer, LevelOfTheWholeInputDoesNotChangeTheShape) {
  const std::vector<uint8_t> input = support::pcm16Of(support::musicLike(20000, 1, 8000.0));
  std::vector<int16_t> doubled = samplesOf16(input);
  for (int16_t& v : doubled) v = static_cast<int16_t>(2 * v);
  Instance quiet(plugins::fourier(), WaveFormat{1, 16, 44100}, input, poorSound);
  Instance loud(plugins::fourier(), WaveFormat{1, 16, 44100}, support::bytesOf16(doubled),
                poorSound);
  const std::vector<int16_t> fromQuiet = samplesOf16(quiet.processed());
  const std::vector<int16_t> fromLoud = samplesOf16(loud.processed());
  for (size_t i = 0; i < fromQuiet.size(); ++i) {
    ASSERT_LE(std::abs(2 * fromQuiet[i] - fromLoud[i]), 1) << "sample " << i;
  }
  EXPECT_GT(relativeError(plugins::asDoubles16(quiet.host.waveform()), plugins::asDoubles16(input)),
            0.05)
      << "the curve should have changed the sound";
}

// A channel far quieter than its neighbour is shaped relative to its own
// loudest bin: it comes out exactly as it would alone, and a curve that
// keeps only the loudest bins does not silence it.
TEST(FourierChannels, EachChannelIsNormalisedToItsOwnPeak) {
  const int frames = 12000;
  const std::vector<double> stereo = support::musicLike(frames, 2, 16000.0);
  std::vector<double> quietRight(frames), both(stereo);
  for (int t = 0; t < frames; ++t) {
    both[2 * t + 1] = stereo[2 * t + 1] * 0.02;
    quietRight[t] = both[2 * t + 1];
  }
  Instance pair(plugins::fourier(), WaveFormat{2, 16, 44100}, support::pcm16Of(both), onlyOne);
  Instance alone(plugins::fourier(), WaveFormat{1, 16, 44100}, support::pcm16Of(quietRight),
                 onlyOne);
  const std::vector<int16_t> out = samplesOf16(pair.processed());
  const std::vector<int16_t> outAlone = samplesOf16(alone.processed());
  std::vector<double> right(frames);
  for (int t = 0; t < frames; ++t) {
    ASSERT_EQ(out[2 * t + 1], outAlone[t]) << "right channel, frame " << t;
    right[t] = out[2 * t + 1];
  }
  const std::vector<double> tail(right.begin() + 1024, right.end());
  EXPECT_GT(plugins::rms(tail),
            0.2 * plugins::rms(std::vector<double>(quietRight.begin() + 1024, quietRight.end())))
      << "the quiet channel was shaped relative to the loud one";
}

// A constant has all its energy in bin 0, the loudest bin, whose relative
// level 16384 reads the table's last entry: curve values above 16383 are
// taken as 16383, so the constant comes back at 16383/16384 of its level.
TEST(FourierTransfer, LoudestBinComesBackAt16383Of16384) {
  const int h = 512;
  Instance fourier(plugins::fourier(), WaveFormat{1, 16, 44100},
                   support::bytesOf16(std::vector<int16_t>(6 * h, 32000)), noEffect);
  const std::vector<int16_t> output = samplesOf16(fourier.processed());
  for (int i = h; i < 6 * h; ++i) ASSERT_EQ(output[i], 31998) << "sample " << i;
}

// A bin's table index is its relative level truncated, not rounded. The
// curve steps from 0 to full at level 8192 (two points at that x), and a
// quiet tone sits at relative level 8191.75 of a loud one: its index is
// 8191, below the step, so it is removed; a rounded index would make it as
// loud as the loud tone. Each tone has whole cycles per frame, so each
// lies in one bin.
TEST(FourierTransfer, LevelIndexIsTruncatedBelowAStepInTheCurve) {
  const int n = 1024, blocks = 8;
  const int loudCycles = 64, quietCycles = 150;  // per frame of n samples
  const double pi = 3.14159265358979323846;
  const double loud = 16000.0, quiet = loud * 8191.75 / 16384.0;
  std::vector<int16_t> input(blocks * n / 2);
  for (size_t t = 0; t < input.size(); ++t) {
    input[t] = static_cast<int16_t>(std::lround(loud * std::cos(2 * pi * loudCycles * t / n) +
                                                quiet * std::cos(2 * pi * quietCycles * t / n)));
  }
  Instance fourier(plugins::fourier(), WaveFormat{1, 16, 44100}, support::bytesOf16(input),
                   "Step,3,4,0,0,8192,0,8192,16384,16384,16384");
  const std::vector<int16_t> output = samplesOf16(fourier.processed());
  auto amplitudeAt = [&](int cycles) {
    double re = 0.0, im = 0.0;
    for (int t = n; t < 3 * n; ++t) {
      re += output[t] * std::cos(2 * pi * cycles * t / n);
      im += output[t] * std::sin(2 * pi * cycles * t / n);
    }
    return 2.0 * std::hypot(re, im) / (2 * n);
  };
  EXPECT_NEAR(amplitudeAt(loudCycles), loud, 0.01 * loud);
  EXPECT_LT(amplitudeAt(quietCycles), 0.01 * quiet)
      << "a level just below the step was rounded up to it";
}

TEST(FourierTransfer, SilenceStaysSilent) {
  for (const std::string& preset :
       {noEffect, poorSound, std::string("Full,3,2,0,16384,16384,16384")}) {
    SCOPED_TRACE(preset);
    Instance fourier(plugins::fourier(), WaveFormat{2, 8, 22050}, std::vector<uint8_t>(20000, 0x80),
                     preset);
    const std::vector<uint8_t>& output = fourier.processed();
    EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](uint8_t b) { return b == 0x80; }));
  }
}

}  // namespace
