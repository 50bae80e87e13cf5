// Helpers of the engine tests: running an engine over planar float audio,
// and the integer output XfmDo makes of float values.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine.h"

namespace enginetest {

using Planar = std::vector<std::vector<float>>;  // one vector per channel

inline Planar silence(int channels, size_t frames) {
  return Planar(static_cast<size_t>(channels), std::vector<float>(frames, 0.0f));
}

// The whole stream through the engine in blocks of blockLength frames
// (the last block shorter), then finish(): the output with its first
// latency() frames left out, as long as the input.
inline Planar runEngine(vtengine::Engine& engine, const Planar& input, size_t blockLength) {
  const int channels = engine.channels();
  const size_t frames = input.empty() ? 0 : input[0].size();
  const size_t latency = static_cast<size_t>(engine.latency());
  Planar all = silence(channels, frames + latency);
  std::vector<const float*> in(static_cast<size_t>(channels));
  std::vector<float*> out(static_cast<size_t>(channels));
  for (size_t at = 0; at < frames; at += blockLength) {
    const size_t count = std::min(blockLength, frames - at);
    for (int c = 0; c < channels; ++c) {
      in[c] = input[c].data() + at;
      out[c] = all[c].data() + at;
    }
    engine.process(in.data(), out.data(), count);
  }
  for (int c = 0; c < channels; ++c) out[c] = all[c].data() + frames;
  engine.finish(out.data());
  for (auto& channel : all) channel.erase(channel.begin(), channel.begin() + latency);
  return all;
}

// An engine's float output value as the sample XfmDo writes: on the
// integer scale, clipped at +-32767 (+-127), then 16-bit rounded to
// nearest with ties to even, 8-bit value + 128 truncated (the byte; less
// 128 here, so that both depths are signed).
inline int quantised(float value, float integerScale, int bits) {
  float v = value * integerScale;
  const float limit = bits == 8 ? 127.0f : 32767.0f;
  if (v > limit) v = limit;
  if (v < -limit) v = -limit;
  if (bits == 8) return static_cast<int>(v + 128.0f) - 128;
  return static_cast<int>(std::nearbyint(v));
}

}  // namespace enginetest
