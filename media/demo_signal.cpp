#include "demo_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace vtmedia {

namespace {

constexpr int sampleRate = 44100;
constexpr double seconds = 6.0;

struct Stereo {
  std::vector<double> left, right;
  explicit Stereo(size_t n) : left(n), right(n) {}
};

// A plucked tone: instant attack, exponential decay, a few harmonics.
void addPluck(Stereo& s, double start, double frequency, double decay, double gain, double pan) {
  const size_t first = size_t(start * sampleRate);
  for (size_t i = first; i < s.left.size(); ++i) {
    const double t = double(i - first) / sampleRate;
    const double envelope = std::exp(-t / decay) * std::min(1.0, t * 2000);
    double v = 0;
    for (int h = 1; h <= 4; ++h) v += std::sin(2 * M_PI * frequency * h * t) / (h * h);
    v *= gain * envelope;
    s.left[i] += v * (1 - pan);
    s.right[i] += v * pan;
  }
}

// A chord that swells in over `rise` seconds and fades out.
void addSwell(Stereo& s, double start, double length, const std::vector<double>& notes,
              double gain) {
  const size_t first = size_t(start * sampleRate);
  const size_t last = std::min(s.left.size(), size_t((start + length) * sampleRate));
  for (size_t i = first; i < last; ++i) {
    const double t = double(i - first) / sampleRate;
    const double envelope = std::sin(M_PI * t / length);
    double v = 0;
    for (double f : notes) v += std::sin(2 * M_PI * f * t);
    v *= gain * envelope * envelope / notes.size();
    s.left[i] += v;
    s.right[i] += v * 0.8;
  }
}

void addNoiseBurst(Stereo& s, double start, double length, double gain, std::mt19937& rng) {
  std::normal_distribution<double> noise(0.0, 1.0);
  const size_t first = size_t(start * sampleRate);
  const size_t last = std::min(s.left.size(), size_t((start + length) * sampleRate));
  for (size_t i = first; i < last; ++i) {
    const double t = double(i - first) / sampleRate;
    const double envelope = std::exp(-t / (length / 4));
    s.left[i] += gain * envelope * noise(rng);
    s.right[i] += gain * envelope * noise(rng);
  }
}

// A sine sweeping exponentially from `from` to `to` Hz.
void addSweep(Stereo& s, double start, double length, double from, double to, double gain) {
  const size_t first = size_t(start * sampleRate);
  const size_t last = std::min(s.left.size(), size_t((start + length) * sampleRate));
  const double k = std::log(to / from) / length;
  for (size_t i = first; i < last; ++i) {
    const double t = double(i - first) / sampleRate;
    const double phase = 2 * M_PI * from * (std::exp(k * t) - 1) / k;
    const double envelope = std::min({1.0, t * 20, (length - t) * 20});
    const double v = gain * envelope * std::sin(phase);
    s.left[i] += v;
    s.right[i] += v;
  }
}

}  // namespace

Audio synthesiseDemoSignal() {
  Stereo s(size_t(seconds * sampleRate));
  std::mt19937 rng(20261208);

  const double notes[] = {220.0, 277.18, 329.63, 440.0, 329.63, 277.18};
  for (int i = 0; i < 6; ++i) {
    addPluck(s, 0.1 + i * 0.35, notes[i], 0.35, 0.35, i % 2 ? 0.3 : 0.7);
  }
  addSwell(s, 2.2, 1.8, {196.0, 246.94, 293.66, 392.0}, 0.45);
  for (int i = 0; i < 4; ++i) addNoiseBurst(s, 2.4 + i * 0.4, 0.25, 0.12, rng);
  addSweep(s, 4.1, 1.7, 80.0, 12000.0, 0.3);
  addPluck(s, 5.85, 110.0, 0.5, 0.4, 0.5);

  Audio audio;
  audio.channels = 2;
  audio.bitsPerSample = 16;
  audio.sampleRate = sampleRate;
  audio.bytes.resize(s.left.size() * 4);
  for (size_t i = 0; i < s.left.size(); ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      const double v = (ch == 0 ? s.left[i] : s.right[i]) * 32767;
      const auto sample = static_cast<int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
      const auto bits = static_cast<uint16_t>(sample);
      audio.bytes[4 * i + 2 * ch] = static_cast<uint8_t>(bits & 0xFF);
      audio.bytes[4 * i + 2 * ch + 1] = static_cast<uint8_t>(bits >> 8);
    }
  }
  return audio;
}

}  // namespace vtmedia
