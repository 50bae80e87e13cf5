// The fixture of the tool's tests: a directory per test with its own
// configuration directory, test sounds, and the tool run as a user runs it.
#pragma once

#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "audio_file.h"
#include "tool_runner.h"

namespace tooltest {

namespace fs = std::filesystem;
using vtmedia::Audio;

inline const std::string vortigenPath = VORTIGEN_TOOL;

inline const char* const hardAttackText =
    "Hard Attack,3,2,0,12375,16384,12375,2,0,8192,16384,8192,2,0,0,16384,0";

// Plucked tones over a soft chord with a little noise: sharp rises and
// long falls, which every preset audibly changes.
inline Audio testSound(int channels, int bits, int rate, double seconds) {
  Audio a;
  a.channels = channels;
  a.bitsPerSample = bits;
  a.sampleRate = rate;
  const int frames = static_cast<int>(seconds * rate);
  a.bytes.resize(size_t(frames) * a.blockAlign());
  uint32_t noise = 2024u;
  for (int f = 0; f < frames; ++f) {
    const double t = double(f) / rate;
    const double sincePluck = std::fmod(t, 0.125);
    for (int ch = 0; ch < channels; ++ch) {
      double v = 0.25 * std::sin(2 * M_PI * (220.0 + 110 * ch) * t) +
                 0.5 * std::exp(-sincePluck * 30) * std::sin(2 * M_PI * 1320.0 * t);
      noise = noise * 1664525u + 1013904223u;
      v += 0.03 * ((noise >> 8) / double(1u << 24) - 0.5);
      const size_t i = size_t(f) * channels + ch;
      if (bits == 8) {
        a.bytes[i] = static_cast<uint8_t>(128 + std::lround(v * 120));
      } else {
        const auto s = static_cast<int16_t>(std::lround(v * 30000));
        a.bytes[2 * i] = static_cast<uint8_t>(uint16_t(s) & 0xFF);
        a.bytes[2 * i + 1] = static_cast<uint8_t>(uint16_t(s) >> 8);
      }
    }
  }
  return a;
}

inline int sampleAt(const Audio& a, size_t i) {
  if (a.bitsPerSample == 8) return a.bytes[i] - 128;
  return int16_t(a.bytes[2 * i] | (a.bytes[2 * i + 1] << 8));
}

inline int largestDifference(const Audio& a, const Audio& b) {
  const size_t samples = a.bytes.size() / (a.bitsPerSample / 8);
  int largest = 0;
  for (size_t i = 0; i < samples; ++i)
    largest = std::max(largest, std::abs(sampleAt(a, i) - sampleAt(b, i)));
  return largest;
}

inline int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// A sound file of any format as floats, full scale 1.0, interleaved.
struct Sound {
  int channels = 0;
  int rate = 0;
  int format = 0;  // container | subtype
  std::vector<float> samples;
  int64_t frames() const { return channels == 0 ? 0 : int64_t(samples.size()) / channels; }
};

// The test sound's shape on any number of channels, each channel its own
// pitch, peaking at `peak`.
inline Sound toneSound(int channels, int rate, double seconds, int format, double peak = 0.8) {
  Sound s{channels, rate, format, {}};
  const auto frames = static_cast<int64_t>(seconds * rate);
  s.samples.resize(size_t(frames * channels));
  for (int64_t f = 0; f < frames; ++f) {
    const double t = double(f) / rate;
    const double sincePluck = std::fmod(t, 0.125);
    for (int ch = 0; ch < channels; ++ch) {
      const double v =
          0.3 * std::sin(2 * M_PI * (220.0 + 55 * ch) * t) +
          0.7 * std::exp(-sincePluck * 30) * std::sin(2 * M_PI * (1320.0 + 110 * ch) * t);
      s.samples[size_t(f * channels + ch)] = static_cast<float>(peak * v);
    }
  }
  return s;
}

inline void writeSound(const std::string& path, const Sound& s) {
  SF_INFO info{};
  info.channels = s.channels;
  info.samplerate = s.rate;
  info.format = s.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_writef_float(file, s.samples.data(), s.frames());
  sf_close(file);
}

inline Sound readSound(const std::string& path) {
  SF_INFO info{};
  Sound s;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return s;
  s.channels = info.channels;
  s.rate = info.samplerate;
  s.format = info.format;
  s.samples.resize(size_t(info.frames * info.channels));
  s.samples.resize(size_t(sf_readf_float(file, s.samples.data(), info.frames) * info.channels));
  sf_close(file);
  return s;
}

inline double largestDifference(const Sound& a, const Sound& b) {
  double largest = 0;
  for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i) {
    largest = std::max(largest, double(std::abs(a.samples[i] - b.samples[i])));
  }
  return largest;
}

// A directory per test, with its own configuration directory, so that no
// run touches the user's presets.
class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("vortigen-tool-" + std::to_string(getpid()) + "-" +
                                        info->test_suite_name() + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "scratch");
    fs::create_directories(configHome());
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path configHome() const { return dir_ / "config"; }

  tool::Result vortigen(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                        const std::string& input = "/dev/null") {
    env.emplace("XDG_CONFIG_HOME", configHome().string());
    return tool::run(vortigenPath, std::move(args), env, dir_ / "scratch", input);
  }

  std::string write(const std::string& name, const Audio& audio) {
    vtmedia::writeAudio(path(name), audio);
    return path(name);
  }

  // Files of the test directory other than the scratch directory, sorted.
  std::vector<std::string> filesHere() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().filename() != "scratch") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

}  // namespace tooltest
