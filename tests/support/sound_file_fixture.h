// A test fixture for tests that stream real sound files: a temporary folder
// of the test's own, removed afterwards, and stereo WAV files of random
// samples written and read back through the sound library itself, so that
// what the code under test reads and writes is checked against files it
// did not make.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

class SoundFileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("vortigen-" + std::string(info->test_suite_name()) + "-" + std::to_string(getpid()) +
            "-" + info->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A stereo 44.1 kHz file of random samples at 16 or 24 bits, returned as
  // the sound library gives them (32-bit, the low bits zero).
  static std::vector<int32_t> writeInput(const std::string& path, int64_t frames, int bits) {
    std::vector<int32_t> samples(size_t(frames * 2));
    const uint32_t mask = bits == 16 ? 0xFFFF0000u : 0xFFFFFF00u;
    std::mt19937 random(7);
    for (int32_t& s : samples) s = int32_t(random() & mask);
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 44100;
    info.format = SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_int(file, samples.data(), frames);
    sf_close(file);
    return samples;
  }

  static std::vector<int32_t> readBack(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<int32_t> samples(size_t(info.frames * info.channels));
    sf_readf_int(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};
