// The size of Dynamic's working area. Hosts have always seen Dynamic ask
// for one block of 56 N + 80 bytes for frame length N, whatever the channels
// and the sample size, so it still asks for exactly that much.
//
// In the largest case, two channels of 16-bit samples, the buffers take
// 46 N + 48 bytes of it:
//   the skeleton's floats: two frames and two spectra of N + 2 floats,
//     two tails and two ramps of N/2 floats                  6 N + 8 floats
//   Dynamic's own floats: two windows of N floats and two
//     envelopes of N + 2 floats                              4 N + 4 floats
//   three blocks of N/2 sample frames of 4 bytes             6 N bytes
// The other 10 N + 32 bytes are never touched.
#ifndef VORTIGEN_DYNAMIC_WORKING_AREA_H
#define VORTIGEN_DYNAMIC_WORKING_AREA_H

#include <cstddef>

constexpr std::size_t dynamicAreaBytesPerSample = 56;  // per sample of the frame length
constexpr std::size_t dynamicAreaFixedBytes = 80;

constexpr std::size_t dynamicWorkingAreaBytes(std::size_t n) {
  return dynamicAreaBytesPerSample * n + dynamicAreaFixedBytes;
}

// The count above, for every frame length the plug-in uses.
constexpr std::size_t dynamicStereo16BufferBytes(std::size_t n) {
  const std::size_t floats = (6 * n + 8) + (4 * n + 4);
  return floats * sizeof(float) + 3 * (n / 2) * 4;
}
static_assert(dynamicWorkingAreaBytes(256) == dynamicStereo16BufferBytes(256) + 10 * 256 + 32);
static_assert(dynamicWorkingAreaBytes(1024) == dynamicStereo16BufferBytes(1024) + 10 * 1024 + 32);

#endif
