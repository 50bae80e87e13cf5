// Audio files and spectrograms of the vortigen tool.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "audio_file.h"
#include "demo_signal.h"
#include "sonogram.h"

// The largest single allocation since the last reset: the reader must not
// size its buffers by what a damaged header claims.
namespace {
std::size_t largestAllocation = 0;
}
void* operator new(std::size_t bytes) {
  largestAllocation = std::max(largestAllocation, bytes);
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}
// This operator new takes its blocks from malloc, so free is its match;
// the compiler cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace fs = std::filesystem;
using vtmedia::Audio;
using vtmedia::AudioError;

namespace {

class MediaFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vortigen-media-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

Audio rampAudio(int channels, int bits, int rate, int frames) {
  Audio a;
  a.channels = channels;
  a.bitsPerSample = bits;
  a.sampleRate = rate;
  a.bytes.resize(size_t(frames) * a.blockAlign());
  for (size_t i = 0; i < a.bytes.size(); ++i) a.bytes[i] = static_cast<uint8_t>(i * 37 + (i >> 8));
  return a;
}

// Writes a file with libsndfile directly, for formats the tool never writes.
void writeRaw(const std::string& path, int format, int channels, const std::vector<float>& data) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = 44100;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  if (!data.empty()) sf_writef_float(f, data.data(), sf_count_t(data.size() / channels));
  sf_close(f);
}

TEST_F(MediaFiles, EightAndSixteenBitPcmPassThroughBitForBit) {
  struct Case {
    const char* name;
    int channels, bits;
  };
  for (const Case c : {Case{"a.wav", 1, 8}, Case{"b.wav", 2, 16}, Case{"c.flac", 2, 16},
                       Case{"d.flac", 1, 8}, Case{"e.aiff", 2, 8}, Case{"f.aif", 1, 16}}) {
    const Audio original = rampAudio(c.channels, c.bits, 22050, 1000);
    vtmedia::writeAudio(path(c.name), original);
    const Audio back = vtmedia::readAudio(path(c.name));
    EXPECT_EQ(back.channels, c.channels) << c.name;
    EXPECT_EQ(back.bitsPerSample, c.bits) << c.name;
    EXPECT_EQ(back.sampleRate, 22050) << c.name;
    EXPECT_EQ(back.bytes, original.bytes) << c.name;
    EXPECT_TRUE(back.conversionNote.empty()) << c.name;
  }
}

TEST_F(MediaFiles, OtherSampleFormatsAreConvertedTo16BitWithANote) {
  writeRaw(path("float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, {0.0f, 0.5f, -0.5f, 2.0f});
  const Audio a = vtmedia::readAudio(path("float.wav"));
  EXPECT_EQ(a.bitsPerSample, 16);
  EXPECT_NE(a.conversionNote.find("32-bit float"), std::string::npos) << a.conversionNote;
  ASSERT_EQ(a.frames(), 4);
  const auto sample = [&](int i) { return int16_t(a.bytes[2 * i] | (a.bytes[2 * i + 1] << 8)); };
  EXPECT_EQ(sample(0), 0);
  EXPECT_NEAR(sample(1), 16384, 2);
  EXPECT_NEAR(sample(2), -16384, 2);
  EXPECT_EQ(sample(3), 32767) << "full-scale overs clip instead of wrapping";
}

TEST_F(MediaFiles, RefusesWhatTheEffectsCannotTakeWithTheReason) {
  writeRaw(path("three.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, std::vector<float>(30, 0.1f));
  writeRaw(path("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, {});
  std::FILE* junk = std::fopen(path("junk.wav").c_str(), "wb");
  std::fputs("not a sound", junk);
  std::fclose(junk);

  const auto messageOf = [](const std::string& p) -> std::string {
    try {
      vtmedia::readAudio(p);
    } catch (const AudioError& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_NE(messageOf(path("three.wav")).find("3 channels"), std::string::npos);
  EXPECT_NE(messageOf(path("empty.wav")).find("holds no samples"), std::string::npos);
  EXPECT_NE(messageOf(path("junk.wav")).find("cannot read"), std::string::npos);
  EXPECT_NE(messageOf(path("missing.wav")).find("missing.wav"), std::string::npos);
  EXPECT_THROW(vtmedia::writeAudio(path("out.mp9"), rampAudio(1, 16, 8000, 10)), AudioError);
}

// 42 bytes of FLAC whose stream header claims about 10^9 sample frames
// (found by the audio-file fuzzer): refused as unreadable, without first
// asking for gigabytes to hold what the header claims.
TEST_F(MediaFiles, DamagedHeaderClaimingBillionsOfFramesIsRefusedWithoutAllocatingThem) {
  const unsigned char damaged[] = {0x66, 0x4c, 0x61, 0x43, 0x00, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10,
                                   0x4d, 0x00, 0x00, 0x61, 0x00, 0x00, 0x61, 0x0a, 0xc4, 0x40, 0xf0,
                                   0x3d, 0x00, 0x00, 0x01, 0x46, 0x4f, 0x52, 0x4d, 0x00, 0x00, 0x00,
                                   0xf5, 0x06, 0xcb, 0xbb, 0x00, 0x53, 0x53, 0x4e, 0xac};
  const std::string file = path("damaged.flac");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(damaged), sizeof damaged);
  largestAllocation = 0;
  EXPECT_THROW(vtmedia::readAudio(file), AudioError);
  EXPECT_LT(largestAllocation, std::size_t{16} << 20);
}

TEST(Spectrogram, PutsAFullScaleSineAtItsFrequencyAndZeroDb) {
  Audio a;
  a.channels = 1;
  a.sampleRate = 44100;
  const int frames = 44100;
  a.bytes.resize(frames * 2);
  const double frequency = 44100.0 * 93 / 2048;  // exactly bin 93
  for (int i = 0; i < frames; ++i) {
    const auto v =
        static_cast<int16_t>(std::lround(32767 * std::sin(2 * M_PI * frequency * i / 44100)));
    a.bytes[2 * i] = uint8_t(uint16_t(v) & 0xFF);
    a.bytes[2 * i + 1] = uint8_t(uint16_t(v) >> 8);
  }
  const vtmedia::Spectrogram s = vtmedia::analyse(a, 50);
  EXPECT_LE(s.columns, 50);
  const int middle = s.columns / 2;
  int loudest = 0;
  for (int r = 0; r < s.rows; ++r) {
    if (s.level(middle, r) > s.level(middle, loudest)) loudest = r;
  }
  EXPECT_EQ(loudest, 93);
  EXPECT_NEAR(s.level(middle, 93), 0.0, 0.1);
  EXPECT_LT(s.level(middle, 400), -60.0) << "a Hann window keeps leakage far down";
}

TEST_F(MediaFiles, DemoSignalIsStereoAndAudibleAndMakesAPicture) {
  const Audio demo = vtmedia::synthesiseDemoSignal();
  EXPECT_EQ(demo.channels, 2);
  EXPECT_NEAR(demo.seconds(), 6.0, 0.01);
  int peak = 0;
  for (size_t i = 0; i + 1 < demo.bytes.size(); i += 2) {
    peak = std::max(peak, std::abs(int(int16_t(demo.bytes[i] | (demo.bytes[i + 1] << 8)))));
  }
  EXPECT_GT(peak, 8000);
  EXPECT_LT(peak, 32767) << "the demo must not clip";
  const auto s = vtmedia::analyse(demo, 200);
  vtmedia::writeSpectrogramPng(path("demo.png"), {{"input", s}, {"output", s}});
  EXPECT_GT(fs::file_size(path("demo.png")), 10000u);
}

}  // namespace
