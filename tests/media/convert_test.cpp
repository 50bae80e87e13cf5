// The float-to-integer quantisation of written samples, at the edges where
// it can go wrong (rounding ties, full scale, the step just below a
// threshold, NaN and infinities), both as a conversion and as the bytes a
// file gets; and the splitting of frames into planes and back.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "sample_convert.h"
#include "sound_stream.h"

namespace {

namespace fs = std::filesystem;

struct Case {
  const char* what;
  float value;
  int64_t step;  // the integer step written, at the file's depth
  bool clipped;
};

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

// Each depth's cases, values given in steps of that depth.
std::vector<Case> casesFor(int bits) {
  const float step = std::ldexp(1.0f, -(bits - 1));
  const int64_t full = (int64_t{1} << (bits - 1)) - 1;
  std::vector<Case> cases = {
      {"silence", 0.0f, 0, false},
      {"full scale is one step under 1.0", 1.0f, full, true},
      {"negative full scale mirrors the positive", -1.0f, -full, true},
      {"far over full scale", 1e30f, full, true},
      {"infinity", inf, full, true},
      {"minus infinity", -inf, -full, true},
      {"NaN is silence, and counted", nan, 0, true},
  };
  if (bits < 32) {  // a float holds these steps exactly
    cases.push_back({"the largest step is not clipped", float(full) * step, full, false});
    cases.push_back({"the smallest step is not clipped", -float(full) * step, -full, false});
  }
  if (bits == 8) {
    cases.push_back({"8 bits floor a fraction below zero", -0.3f * step, -1, false});
    cases.push_back({"8 bits floor a fraction above zero", 0.7f * step, 0, false});
    cases.push_back({"just under a step rounds up to it", (1 - 0x1p-20f) * step, 1, false});
    cases.push_back({"under negative full scale", -127.5f * step, -127, true});
  } else {
    cases.push_back({"ties round to even, down", 0.5f * step, 0, false});
    cases.push_back({"ties round to even, up", 1.5f * step, 2, false});
    cases.push_back({"ties round to even, negative", -2.5f * step, -2, false});
    cases.push_back({"above a tie rounds up", 2.75f * step, 3, false});
    if (bits < 32) {
      cases.push_back({"half a step over full scale counts as clipped", (float(full) + 0.5f) * step,
                       full, true});
    } else {
      cases.push_back({"the float below 1.0", 1 - 0x1p-24f, 2147483520, false});
    }
  }
  return cases;
}

class Quantise : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_ = fs::temp_directory_path() / ("vortigen-quantise-" + std::to_string(getpid()) +
                                               "-" + std::to_string(GetParam()));
};

TEST_P(Quantise, EachEdgeGivesItsStepAndCountsItsClipping) {
  const int bits = GetParam();
  for (const Case& c : casesFor(bits)) {
    int64_t clipped = 0, step = 0;
    if (bits <= 16) {
      int16_t out = 0;
      clipped = vtmedia::quantiseToShorts(&c.value, &out, 1, bits);
      step = out >> (16 - bits);
      EXPECT_EQ(out % (1 << (16 - bits)), 0) << c.what << ": the low bits stay clear";
    } else {
      int32_t out = 0;
      clipped = vtmedia::quantiseToInts(&c.value, &out, 1, bits);
      step = out >> (32 - bits);
      EXPECT_EQ(int64_t(out) % (int64_t{1} << (32 - bits)), 0) << c.what;
    }
    EXPECT_EQ(step, c.step) << bits << " bits, " << c.what;
    EXPECT_EQ(clipped, c.clipped ? 1 : 0) << bits << " bits, " << c.what;
  }
}

// Every case at once, many times over (the vector loops take whole groups
// of samples and leave a remainder), through a WAV file of the depth: the
// file holds the steps and the writer counts each clipped sample.
TEST_P(Quantise, TheWriterStoresTheStepsOfEveryCaseInAFileOfItsDepth) {
  const int bits = GetParam();
  const std::vector<Case> cases = casesFor(bits);
  constexpr int rounds = 7;
  std::vector<float> samples;
  std::vector<int64_t> expected;
  int64_t clipped = 0;
  for (int round = 0; round < rounds; ++round) {
    for (const Case& c : cases) {
      samples.push_back(c.value);
      expected.push_back(c.step);
      clipped += c.clipped;
    }
  }
  samples.push_back(0.0f);  // an even count, for two channels
  expected.push_back(0);
  fs::create_directories(dir_);
  const std::string path = (dir_ / "out.wav").string();
  const vtmedia::SampleFormat format = vtmedia::outputFormat({}, std::to_string(bits), path);
  const int64_t frames = int64_t(samples.size() / 2);
  {
    vtmedia::SoundWriter writer(path, 2, 44100, format, frames);
    writer.writeFloat(samples.data(), frames);
    writer.close();
    EXPECT_EQ(writer.clipped(), clipped);
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  std::vector<int32_t> back(samples.size());
  EXPECT_EQ(sf_readf_int(file, back.data(), frames), frames);
  sf_close(file);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i] >> (32 - bits), expected[i])
        << bits << " bits, " << cases[i % cases.size()].what << " (sample " << i << ")";
  }
}

// 16-bit samples given to the writer keep their value at 16 and 24 bits
// and round to the nearest 8-bit step (halves up, the top clipped).
TEST_P(Quantise, ShortSamplesAreWrittenAtEveryDepthAsIntegersWouldBe) {
  const int bits = GetParam();
  const std::vector<int16_t> samples = {0, 1, 127, 128, 383, 384, -384, 32767, -32768, -1};
  fs::create_directories(dir_);
  const std::string path = (dir_ / "short.wav").string();
  const vtmedia::SampleFormat format = vtmedia::outputFormat({}, std::to_string(bits), path);
  {
    vtmedia::SoundWriter writer(path, 1, 44100, format, int64_t(samples.size()));
    writer.writeShort(samples.data(), int64_t(samples.size()));
    writer.close();
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  std::vector<int32_t> back(samples.size());
  EXPECT_EQ(sf_readf_int(file, back.data(), info.frames), int64_t(samples.size()));
  sf_close(file);
  for (size_t i = 0; i < samples.size(); ++i) {
    int64_t expected = int64_t{samples[i]} << 16;
    if (bits == 8) {
      const int64_t step = std::min<int64_t>((samples[i] + 128) >> 8, 127);
      expected = step << 24;
    }
    EXPECT_EQ(back[i], expected) << bits << " bits, sample " << samples[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, Quantise, ::testing::Values(8, 16, 24, 32));

// The plug-ins' bytes: 8 bits unsigned around 128, 16 bits signed and
// little-endian; the samples at full scale counted both ways round.
TEST(PcmBytes, EightAndSixteenBitBytesMapToSamplesAndBackCountingFullScale) {
  const std::vector<unsigned char> eight = {0, 1, 2, 127, 128, 129, 254, 255};
  const std::vector<int16_t> eightAsShorts = {-32768, -32512, -32256, -256, 0, 256, 32256, 32512};
  std::vector<int16_t> shorts(eight.size());
  EXPECT_EQ(vtmedia::pcmBytesToShorts(eight.data(), shorts.data(), eight.size(), 1), 3)
      << "-128, -127 and 127 are at full scale";
  EXPECT_EQ(shorts, eightAsShorts);
  std::vector<unsigned char> bytes(eight.size());
  vtmedia::shortsToPcmBytes(shorts.data(), bytes.data(), shorts.size(), 1);
  EXPECT_EQ(bytes, eight);

  const std::vector<int16_t> sixteen = {-32768, -32767, -32766, -256, -1, 0, 1, 255, 32766, 32767};
  std::vector<unsigned char> little(2 * sixteen.size());
  vtmedia::shortsToPcmBytes(sixteen.data(), little.data(), sixteen.size(), 2);
  for (size_t i = 0; i < sixteen.size(); ++i) {
    const auto bits = static_cast<uint16_t>(sixteen[i]);
    EXPECT_EQ(little[2 * i], bits & 0xFF) << sixteen[i];
    EXPECT_EQ(little[2 * i + 1], bits >> 8) << sixteen[i];
  }
  std::vector<int16_t> back(sixteen.size());
  EXPECT_EQ(vtmedia::pcmBytesToShorts(little.data(), back.data(), back.size(), 2), 3)
      << "-32768, -32767 and 32767 are at full scale";
  EXPECT_EQ(back, sixteen);
}

// Read samples become floats exactly: n / 2^15, both extremes included.
TEST(PcmBytes, ShortSamplesBecomeFloatsByTheirStepExactly) {
  const std::vector<int16_t> samples = {-32768, -32767, -256, -1, 0, 1, 256, 32766, 32767};
  std::vector<float> floats(samples.size());
  vtmedia::shortsToFloats(samples.data(), floats.data(), samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    EXPECT_EQ(floats[i], std::ldexp(float(samples[i]), -15)) << samples[i];
}

TEST(Channels, SplitAndJoinPlaceEverySampleForOneTwoAndThreeChannels) {
  for (int channels : {1, 2, 3}) {
    constexpr size_t frames = 37;
    std::vector<float> interleaved(frames * size_t(channels));
    for (size_t i = 0; i < interleaved.size(); ++i) interleaved[i] = float(i);
    std::vector<std::vector<float>> planes(static_cast<size_t>(channels),
                                           std::vector<float>(frames));
    std::vector<float*> pointers;
    for (auto& plane : planes) pointers.push_back(plane.data());
    vtmedia::splitChannels(interleaved.data(), channels, frames, pointers.data());
    for (int c = 0; c < channels; ++c) {
      for (size_t f = 0; f < frames; ++f)
        ASSERT_EQ(planes[size_t(c)][f], float(f * size_t(channels) + size_t(c))) << channels;
    }
    std::vector<float> joined(interleaved.size(), -1.0f);
    vtmedia::joinChannels(pointers.data(), channels, frames, joined.data());
    EXPECT_EQ(joined, interleaved) << channels << " channels";
  }
}

}  // namespace
