// Conversions of sample blocks: the tool's floats (full scale at 1.0)
// quantised to a file's integer samples, and interleaved frames split into
// the engine's planes and joined back. Plain loops without branches per
// sample or calls, which the compiler turns into vector code; they run on
// every sample of a file, so their cost is the tool's cost per hour.
#ifndef VORTIGEN_MEDIA_SAMPLE_CONVERT_H
#define VORTIGEN_MEDIA_SAMPLE_CONVERT_H

#include <cstddef>
#include <cstdint>

namespace vtmedia {

// Quantise as the plug-ins quantise: clipped to full scale on both sides
// (-32767..32767 for 16 bits), 8 bits truncating value + 128, the wider
// depths rounding to the nearest step with ties to even; NaN becomes
// silence. A sample counts as clipped when its scaled value lies outside
// full scale (NaN included), even if it would round to full scale.
// Each returns the count of clipped samples.
//
// 8 or 16 bits into 16-bit samples (an 8-bit step in the high byte).
int64_t quantiseToShorts(const float* in, int16_t* out, size_t count, int bits);
// 24 or 32 bits into 32-bit samples (each step in the high bits).
int64_t quantiseToInts(const float* in, int32_t* out, size_t count, int bits);

// 16-bit samples (8-bit ones in the high byte) as the bytes of a WAV
// file's data, which the plug-ins read and write: 8 bits unsigned
// (value + 128), 16 bits signed little-endian; `bytesPerSample` 1 or 2.
// And back, returning the count of samples at full scale (where the
// plug-ins clip): +-127 in 8 bits, +-32767 and below in 16.
void shortsToPcmBytes(const int16_t* in, unsigned char* out, size_t count, int bytesPerSample);
int64_t pcmBytesToShorts(const unsigned char* in, int16_t* out, size_t count, int bytesPerSample);

// 16-bit samples (8-bit ones in the high byte) as floats, full scale at
// 1.0: exact, each sample divided by 2^15.
void shortsToFloats(const int16_t* in, float* out, size_t count);

// Interleaved frames of `channels` samples to one plane per channel, and back.
void splitChannels(const float* interleaved, int channels, size_t frames, float* const* planes);
void joinChannels(const float* const* planes, int channels, size_t frames, float* interleaved);

}  // namespace vtmedia

#endif
