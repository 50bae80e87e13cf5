#include "sample_convert.h"

namespace vtmedia {

namespace {

// Added and taken away again, these round a value to the nearest integer,
// ties to even, in the current rounding mode, as nearbyint does: after the
// addition no fraction bits remain. Exact for magnitudes below 2^22 in
// float and 2^51 in double.
constexpr float floatRounder = 12582912.0f;           // 1.5 * 2^23
constexpr double doubleRounder = 6755399441055744.0;  // 1.5 * 2^52

// 16 bits: the product by 2^15 is exact in float, and every step fits.
int64_t quantise16(const float* in, int16_t* out, size_t count) {
  constexpr float steps = 32768.0f, high = 32767.0f, low = -32767.0f;
  int64_t clipped = 0;
  for (size_t i = 0; i < count; ++i) {
    const float scaled = in[i] * steps;
    clipped += int(!(scaled <= high) | !(scaled >= low));
    float v = scaled == scaled ? scaled : 0.0f;
    v = v > high ? high : v;
    v = v < low ? low : v;
    out[i] = static_cast<int16_t>(static_cast<int32_t>((v + floatRounder) - floatRounder));
  }
  return clipped;
}

// 8 bits: value + 128 is added in single precision and truncated, which
// rounds values just under a step up to it. Rounding and truncation both
// keep order, and full scale maps onto itself, so clipping before them
// gives what clipping after them would.
int64_t quantise8(const float* in, int16_t* out, size_t count) {
  constexpr float steps = 128.0f, high = 127.0f, low = -127.0f;
  int64_t clipped = 0;
  for (size_t i = 0; i < count; ++i) {
    const float scaled = in[i] * steps;
    clipped += int(!(scaled <= high) | !(scaled >= low));
    float v = scaled == scaled ? scaled : 0.0f;
    v = v > high ? high : v;
    v = v < low ? low : v;
    const int32_t step = static_cast<int32_t>(v + 128.0f) - 128;  // v + 128 >= 1: truncation floors
    out[i] = static_cast<int16_t>(step * 256);
  }
  return clipped;
}

// 24 and 32 bits: scaled and compared in float, where the product by a
// power of two is exact; clipped and rounded in double, where full scale
// (2^31 - 1) is exact. A float is at most 2^31 - 1 exactly when it is
// below 2^31, the float above 2^31 - 128.
template <int bits>
int64_t quantiseWide(const float* in, int32_t* out, size_t count) {
  constexpr float steps = float(int64_t{1} << (bits - 1));
  constexpr double high = double(steps) - 1, low = -high;
  int64_t clipped = 0;
  for (size_t i = 0; i < count; ++i) {
    const float scaled = in[i] * steps;
    if constexpr (bits == 32) {
      clipped += int(!(scaled < steps) | !(scaled > -steps));
    } else {
      clipped += int(!(scaled <= float(high)) | !(scaled >= float(low)));
    }
    double v = scaled == scaled ? double(scaled) : 0.0;
    v = v > high ? high : v;
    v = v < low ? low : v;
    const auto step = static_cast<int32_t>((v + doubleRounder) - doubleRounder);
    out[i] = static_cast<int32_t>(static_cast<uint32_t>(step) << (32 - bits));
  }
  return clipped;
}

}  // namespace

int64_t quantiseToShorts(const float* in, int16_t* out, size_t count, int bits) {
  return bits == 8 ? quantise8(in, out, count) : quantise16(in, out, count);
}

int64_t quantiseToInts(const float* in, int32_t* out, size_t count, int bits) {
  return bits == 32 ? quantiseWide<32>(in, out, count) : quantiseWide<24>(in, out, count);
}

void shortsToPcmBytes(const int16_t* in, unsigned char* out, size_t count, int bytesPerSample) {
  if (bytesPerSample == 1) {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>((in[i] >> 8) + 128);
  } else {
    for (size_t i = 0; i < count; ++i) {
      const auto v = static_cast<uint16_t>(in[i]);
      out[2 * i] = static_cast<unsigned char>(v & 0xFF);
      out[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
  }
}

int64_t pcmBytesToShorts(const unsigned char* in, int16_t* out, size_t count, int bytesPerSample) {
  int64_t atFullScale = 0;
  if (bytesPerSample == 1) {
    for (size_t i = 0; i < count; ++i) {
      const int v = int(in[i]) - 128;
      atFullScale += int(v >= 127) | int(v <= -127);
      out[i] = static_cast<int16_t>(v * 256);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      const auto v = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
      atFullScale += int(v >= 32767) | int(v <= -32767);
      out[i] = v;
    }
  }
  return atFullScale;
}

void shortsToFloats(const int16_t* in, float* out, size_t count) {
  constexpr float step = 1.0f / 32768.0f;
  for (size_t i = 0; i < count; ++i) out[i] = float(in[i]) * step;
}

// Mono and stereo, nearly every file, get loops of a fixed stride.
void splitChannels(const float* interleaved, int channels, size_t frames, float* const* planes) {
  if (channels == 1) {
    for (size_t f = 0; f < frames; ++f) planes[0][f] = interleaved[f];
  } else if (channels == 2) {
    float* left = planes[0];
    float* right = planes[1];
    for (size_t f = 0; f < frames; ++f) {
      left[f] = interleaved[2 * f];
      right[f] = interleaved[2 * f + 1];
    }
  } else {
    for (int c = 0; c < channels; ++c) {
      float* plane = planes[c];
      for (size_t f = 0; f < frames; ++f) plane[f] = interleaved[f * size_t(channels) + size_t(c)];
    }
  }
}

void joinChannels(const float* const* planes, int channels, size_t frames, float* interleaved) {
  if (channels == 1) {
    for (size_t f = 0; f < frames; ++f) interleaved[f] = planes[0][f];
  } else if (channels == 2) {
    const float* left = planes[0];
    const float* right = planes[1];
    for (size_t f = 0; f < frames; ++f) {
      interleaved[2 * f] = left[f];
      interleaved[2 * f + 1] = right[f];
    }
  } else {
    for (int c = 0; c < channels; ++c) {
      const float* plane = planes[c];
      for (size_t f = 0; f < frames; ++f) interleaved[f * size_t(channels) + size_t(c)] = plane[f];
    }
  }
}

}  // namespace vtmedia
