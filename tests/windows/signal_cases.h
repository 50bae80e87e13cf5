// The processing cases that the Linux build and the Windows builds both
// run: each plug-in over 8- and 16-bit, mono and stereo test signals at
// three sample rates (frames of 256, 512 and 1024 samples). The Linux
// reference writer stores its results; the Windows test host computes its
// own and compares.
//
// The signals are made with integer arithmetic only, so that every
// compiler and C library makes the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wincases {

struct SignalCase {
  const char* effect;  // "dynamic" or "fourier"
  int bitsPerSample;   // 8 or 16
  int channels;        // 1 or 2
  int32_t sampleRate;  // 11025, 22050 or 44100: frames of 256, 512, 1024
};

// Sample frames per signal, and the selection processed in it (inclusive,
// off every block boundary).
constexpr int32_t signalFrames = 12000;
constexpr int32_t selectionFirst = 700;
constexpr int32_t selectionLast = signalFrames - 334;

// Curves with slopes, inner points and chaos, so that every part of the
// Dynamic stage (envelopes per bin, the phase term) shows in the output.
constexpr const char dynamicPreset[] =
    "Windows check,3,3,0,3000,9000,12000,16384,6000,3,0,1394,8000,9000,16384,4000,"
    "3,0,0,6000,3834,16384,12000";
// The Fourier preset "Five": a comb of peaks over the input level.
constexpr const char fourierPreset[] =
    "Five,3,15,0,0,9739,0,10194,9686,10558,0,11195,0,11741,11386,12105,0,12652,0,13334,13292,"
    "13789,0,14336,0,14836,14838,15291,0,16065,0,16384,16384";

inline const char* presetFor(const SignalCase& c) {
  return std::string(c.effect) == "dynamic" ? dynamicPreset : fourierPreset;
}

inline std::vector<SignalCase> signalCases() {
  std::vector<SignalCase> cases;
  for (const char* effect : {"dynamic", "fourier"}) {
    for (int bits : {8, 16}) {
      for (int channels : {1, 2}) {
        for (int32_t rate : {11025, 22050, 44100}) cases.push_back({effect, bits, channels, rate});
      }
    }
  }
  return cases;
}

inline std::string caseName(const SignalCase& c) {
  return std::string(c.effect) + "-" + std::to_string(c.bitsPerSample) + "bit-" +
         (c.channels == 1 ? "mono" : "stereo") + "-" + std::to_string(c.sampleRate);
}

// A 16-bit sample of channel `channel` at frame i: two sawtooth-like tones,
// a square burst every so often (sudden rises and falls for the
// envelopes), pseudo-random noise, and the odd full-scale sample.
inline int32_t testSample(uint32_t& noise, int32_t i, int channel) {
  noise = noise * 1664525u + 1013904223u;
  const int32_t noiseValue = static_cast<int32_t>(noise >> 20) - 2048;  // -2048 .. 2047
  const int32_t period1 = 97 + 13 * channel, period2 = 23 + 4 * channel;
  const int32_t tone1 = ((i % period1) * 12000) / period1 - 6000;
  const int32_t tone2 = ((i % period2) < period2 / 2 ? 2500 : -2500);
  const int32_t burst = (i / 1500) % 3 == 1 ? ((i / 40) % 2 != 0 ? 14000 : -14000) : 0;
  int32_t value = tone1 + tone2 + burst + 2 * noiseValue;
  if (i % 2711 == 5) value = channel == 0 ? 32767 : -32768;
  if (value > 32767) value = 32767;
  if (value < -32768) value = -32768;
  return value;
}

// The interleaved sample bytes of a case: 16-bit little-endian signed, or
// 8-bit unsigned centred on 128.
inline std::vector<uint8_t> testSignal(const SignalCase& c) {
  std::vector<uint8_t> bytes;
  uint32_t noise = 12345u + static_cast<uint32_t>(c.sampleRate) + 7u * c.channels;
  for (int32_t i = 0; i < signalFrames; ++i) {
    for (int channel = 0; channel < c.channels; ++channel) {
      const int32_t value = testSample(noise, i, channel);
      if (c.bitsPerSample == 8) {
        bytes.push_back(static_cast<uint8_t>((value >> 8) + 128));
      } else {
        const auto word = static_cast<uint16_t>(static_cast<int16_t>(value));
        bytes.push_back(static_cast<uint8_t>(word & 0xFF));
        bytes.push_back(static_cast<uint8_t>(word >> 8));
      }
    }
  }
  return bytes;
}

}  // namespace wincases
