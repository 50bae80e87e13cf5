// nspcvrts: integer/float sample conversion, complex split and join, and
// conversion between cartesian and polar form.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "nspcheck.h"
#include "nspvmath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const char module[] = "nspcvrts";

// ---- Sample conversion ------------------------------------------------------

enum class Rounding { Nearest, Zero, Down, Up };

// Rounds a float of magnitude below 2^(bits of Wide - 2) to an integer,
// exactly and whatever the processor's rounding mode (which is left
// untouched): the conversion to an integer always truncates, and the
// fraction x - trunc(x) of a float is exact, so no step depends on the
// mode. Written without branches: the fractions of audio are random, and
// mispredicted branches would cost more than the arithmetic.
template <Rounding R, typename Wide>
Wide roundSmall(float x) {
  const auto truncated = static_cast<Wide>(x);
  const float fraction = x - static_cast<float>(truncated);
  if constexpr (R == Rounding::Down) {
    return truncated - Wide(fraction < 0.0f);
  } else if constexpr (R == Rounding::Up) {
    return truncated + Wide(fraction > 0.0f);
  } else if constexpr (R == Rounding::Nearest) {
    const Wide odd = truncated & 1;
    const Wide up = Wide(fraction > 0.5f) | (Wide(fraction == 0.5f) & odd);
    const Wide down = Wide(fraction < -0.5f) | (Wide(fraction == -0.5f) & odd);
    return truncated + up - down;
  } else {
    return truncated;
  }
}

// Any float: those of magnitude 2^62 and more are integers already (and
// outside every integer type); NaN passes through.
template <Rounding R>
double roundExactly(float x) {
  if (!(std::fabs(x) < 0x1p62f)) return x;
  return static_cast<double>(roundSmall<R, int64_t>(x));
}

template <typename Int, typename Value>
void storeInt(void* dst, int i, Value value) {
  const Int v = static_cast<Int>(value);
  std::memcpy(static_cast<unsigned char*>(dst) + static_cast<size_t>(i) * sizeof(Int), &v,
              sizeof(Int));
}

template <typename Int>
Int loadInt(const void* src, int i) {
  Int v;
  std::memcpy(&v, static_cast<const unsigned char*>(src) + static_cast<size_t>(i) * sizeof(Int),
              sizeof(Int));
  return v;
}

// Whether SSE2's conversion rounds as R asks: it rounds by the processor's
// rounding mode, so it serves for rounding to nearest, ties to even, while
// that is the mode. Where it serves, its one instruction replaces the dozen
// operations of the exact rule, which cost a tenth of a whole plug-in call.
// The mode is read at the start and again after each block done element
// by element: only an error handler, called from those, could change it.
template <Rounding R>
bool processorRounds() {
#if defined(__SSE2__)
  constexpr unsigned roundingControl = 0x6000;  // MXCSR bits 13-14; 0 is to nearest
  if constexpr (R == Rounding::Nearest) return (_mm_getcsr() & roundingControl) == 0;
#endif
  return false;
}

// Rounds `blockLength` floats to 32-bit integers by the processor's
// conversion (see processorRounds), each float of magnitude 2^31 or more
// (NaN included) to INT32_MIN.
template <int blockLength>
void roundBlockByProcessor(const float* src, int32_t (&rounded)[blockLength]) {
#if defined(__SSE2__)
  for (int j = 0; j < blockLength; j += 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rounded + j),
                     _mm_cvtps_epi32(_mm_loadu_ps(src + j)));
  }
#else
  (void)src, (void)rounded;
#endif
}

// One element of the float-to-integer family by the exact rule, with the
// out-of-range treatment the flags ask for.
template <typename Int, Rounding R>
void floatToInt(const float* src, void* dst, int i, int flags, int overflowLine) {
  constexpr double lowest = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double highest = static_cast<double>(std::numeric_limits<Int>::max());
  constexpr bool isUnsigned = std::numeric_limits<Int>::min() == 0;
  const double r = roundExactly<R>(src[i]);
  if (r >= lowest && r <= highest) {
    storeInt<Int>(dst, i, r);
    return;
  }
  // Out of range. A NaN counts as above the maximum.
  const bool below = r < lowest;
  if ((flags & NSP_ConvSaturate) != 0) storeInt<Int>(dst, i, below ? lowest : highest);
  if ((flags & NSP_ConvReportOverflow) != 0) {
    const char* context = isUnsigned && below ? "A negative float cannot be converted to unsigned"
                                              : "A float exceeds an integer";
    nspReportError(NSP_StatusBadArgument, "nspsbFloatToInt", context, module, overflowLine);
  }
}

// A block of 8- or 16-bit members rounded in 32-bit integers (any float of
// magnitude 2^30 or more is out of their range anyway) by a loop the
// compiler vectorises, or by the processor; false when an element is out
// of range, and then nothing is stored.
template <typename Int, Rounding R, int blockLength>
bool roundedBlockStored(const float* src, void* dst, int i, bool byProcessor) {
  constexpr int32_t lowest32 = std::numeric_limits<Int>::min();
  constexpr int32_t highest32 = std::numeric_limits<Int>::max();
  int32_t rounded[blockLength];
  int32_t outside = 0;
  if (byProcessor) {
    roundBlockByProcessor(src + i, rounded);
    // Whatever fell outside the 32-bit range became INT32_MIN, which lies
    // below every narrower range too.
    for (int j = 0; j < blockLength; ++j) {
      outside |= int32_t(rounded[j] < lowest32) | int32_t(rounded[j] > highest32);
    }
  } else {
    for (int j = 0; j < blockLength; ++j) {
      // Larger magnitudes (NaN included) are clamped, so that the
      // conversion stays defined; the block is then done element by element.
      const float magnitude = std::fabs(src[i + j]);
      const int32_t small = int32_t(magnitude < 0x1p30f);
      const float x = std::copysign(magnitude < 0x1p30f ? magnitude : 0x1p30f, src[i + j]);
      const int32_t r = roundSmall<R, int32_t>(x);
      outside |= (1 - small) | int32_t(r < lowest32) | int32_t(r > highest32);
      rounded[j] = r;
    }
  }
  if (outside != 0) return false;
  for (int j = 0; j < blockLength; ++j) storeInt<Int>(dst, i + j, rounded[j]);
  return true;
}

// One member of the float-to-integer family: element type, signedness
// (through Int) and rounding are fixed; the overflow line goes with them.
// Narrow members go a block at a time; a block with an element out of range
// is done element by element, so reports keep their order.
template <typename Int, Rounding R>
void floatsToInts(const float* src, void* dst, int len, int flags, int overflowLine) {
  int i = 0;
  if constexpr (sizeof(Int) < 4) {
    constexpr int blockLength = 64;
    bool byProcessor = processorRounds<R>();
    for (; len - i >= blockLength; i += blockLength) {
      if (roundedBlockStored<Int, R, blockLength>(src, dst, i, byProcessor)) continue;
      for (int j = i; j < i + blockLength; ++j) {
        floatToInt<Int, R>(src, dst, j, flags, overflowLine);
      }
      byProcessor = processorRounds<R>();
    }
  }
  for (; i < len; ++i) floatToInt<Int, R>(src, dst, i, flags, overflowLine);
}

// The out-of-range report's lines, indexed by Rounding in its order.
constexpr const nspLine::OverflowLines* lines8 = nspLine::floatToInt8Overflow;
constexpr const nspLine::OverflowLines* lines16 = nspLine::floatToInt16Overflow;
constexpr const nspLine::OverflowLines* lines32 = nspLine::floatToInt32Overflow;

template <Rounding R>
void floatsToIntsOfSize(const float* src, void* dst, int len, int intSize, int flags) {
  const bool isUnsigned = (flags & NSP_ConvUnsigned) != 0;
  const int r = static_cast<int>(R);
  switch (intSize) {
    case 8:
      if (isUnsigned) return floatsToInts<uint8_t, R>(src, dst, len, flags, lines8[r].unsignedLine);
      return floatsToInts<int8_t, R>(src, dst, len, flags, lines8[r].signedLine);
    case 16:
      if (isUnsigned) {
        return floatsToInts<uint16_t, R>(src, dst, len, flags, lines16[r].unsignedLine);
      }
      return floatsToInts<int16_t, R>(src, dst, len, flags, lines16[r].signedLine);
    default:
      if (isUnsigned) {
        return floatsToInts<uint32_t, R>(src, dst, len, flags, lines32[r].unsignedLine);
      }
      return floatsToInts<int32_t, R>(src, dst, len, flags, lines32[r].signedLine);
  }
}

// The nearest float to a 64-bit integer, halves to even, whatever the
// processor's rounding mode.
float nearestFloat(int64_t value) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  constexpr uint64_t exactLimit = uint64_t{1} << 24;
  int shift = 0;
  if (magnitude > exactLimit) {
    while ((magnitude >> shift) >= exactLimit) ++shift;
    const uint64_t dropped = magnitude & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    magnitude >>= shift;
    if (dropped > half || (dropped == half && (magnitude & 1) != 0)) ++magnitude;
  }
  const float f = std::ldexp(static_cast<float>(magnitude), shift);
  return negative ? -f : f;
}

template <typename Int>
void intsToFloats(const void* src, float* dst, int len) {
  for (int i = 0; i < len; ++i) {
    const Int v = loadInt<Int>(src, i);
    if constexpr (sizeof(Int) < 4) {
      dst[i] = static_cast<float>(v);
    } else {
      dst[i] = nearestFloat(static_cast<int64_t>(v));
    }
  }
}

int countRoundingBits(int flags) {
  return ((flags & NSP_ConvRoundNearest) != 0) + ((flags & NSP_ConvRoundZero) != 0) +
         ((flags & NSP_ConvRoundDown) != 0) + ((flags & NSP_ConvRoundUp) != 0);
}

bool isIntSize(int intSize) { return intSize == 8 || intSize == 16 || intSize == 32; }

// The checks common to both conversions. Each failed check is reported; a
// failed check does not stop the others.
void checkConversion(const char* funcName, int line, const void* src, const void* dst, int len,
                     int intSize, bool flagsValid) {
  nspBadArgument(len <= 0, funcName, "len<=0", module, line);
  nspBadArgument(src == nullptr, funcName, "src==0", module, line);
  nspBadArgument(dst == nullptr, funcName, "dst==0", module, line);
  nspBadArgument(!isIntSize(intSize), funcName, "Invalid size of an integer", module, line);
  nspBadArgument(!flagsValid, funcName, "Invalid conversion flag", module, line);
}

}  // namespace

extern "C" {

void nspsbIntToFloat(const void* src, float* dst, int len, int intSize, int flags) {
  nspStatusSet(NSP_StatusNoError);
  checkConversion("nspsbIntToFloat", nspLine::sbIntToFloat, src, dst, len, intSize,
                  flags == 0 || flags == NSP_ConvUnsigned);
  if (nspStatusGet() < 0) return;

  const bool isUnsigned = flags == NSP_ConvUnsigned;
  switch (intSize) {
    case 8:
      return isUnsigned ? intsToFloats<uint8_t>(src, dst, len)
                        : intsToFloats<int8_t>(src, dst, len);
    case 16:
      return isUnsigned ? intsToFloats<uint16_t>(src, dst, len)
                        : intsToFloats<int16_t>(src, dst, len);
    default:
      return isUnsigned ? intsToFloats<uint32_t>(src, dst, len)
                        : intsToFloats<int32_t>(src, dst, len);
  }
}

void nspsbFloatToInt(const float* src, void* dst, int len, int intSize, int flags) {
  nspStatusSet(NSP_StatusNoError);
  checkConversion("nspsbFloatToInt", nspLine::sbFloatToInt, src, dst, len, intSize,
                  countRoundingBits(flags) == 1);
  if (nspStatusGet() < 0) return;

  if (flags & NSP_ConvRoundNearest) {
    floatsToIntsOfSize<Rounding::Nearest>(src, dst, len, intSize, flags);
  } else if (flags & NSP_ConvRoundZero) {
    floatsToIntsOfSize<Rounding::Zero>(src, dst, len, intSize, flags);
  } else if (flags & NSP_ConvRoundDown) {
    floatsToIntsOfSize<Rounding::Down>(src, dst, len, intSize, flags);
  } else {
    floatsToIntsOfSize<Rounding::Up>(src, dst, len, intSize, flags);
  }
}

void nspcbCplxTo2Real(const ComplexFloat* src, float* dstReal, float* dstImag, int length) {
  constexpr int line = nspLine::cbCplxTo2Real;
  if (nspBadArgument(length <= 0, "nspcbCplxTo2Real", "length<=0", module, line) ||
      nspBadArgument(src == nullptr, "nspcbCplxTo2Real", "src==0", module, line) ||
      nspBadArgument(dstReal == nullptr, "nspcbCplxTo2Real", "dstReal==0", module, line) ||
      nspBadArgument(dstImag == nullptr, "nspcbCplxTo2Real", "dstImag==0", module, line)) {
    return;
  }
  for (int i = 0; i < length; ++i) {
    dstReal[i] = src[i].re;
    dstImag[i] = src[i].im;
  }
}

// Either source may be null: its part is then +0.0.
void nspcb2RealToCplx(const float* srcReal, const float* srcImag, ComplexFloat* dst, int length) {
  constexpr int line = nspLine::cb2RealToCplx;
  if (nspBadArgument(length <= 0, "nspcb2RealToCplx", "length<=0", module, line) ||
      nspBadArgument(dst == nullptr, "nspcb2RealToCplx", "dst==0", module, line)) {
    return;
  }
  if (srcReal == nullptr && srcImag == nullptr) {
    nspcbZero(dst, length);
    return;
  }
  for (int i = 0; i < length; ++i) {
    dst[i].re = srcReal != nullptr ? srcReal[i] : 0.0f;
    dst[i].im = srcImag != nullptr ? srcImag[i] : 0.0f;
  }
}

void nspcbCartToPolar(const ComplexFloat* src, float* mag, float* phase, int length) {
  constexpr int line = nspLine::cbCartToPolar;
  if (nspBadArgument(length <= 0, "nspcbCartToPolar", "length<=0", module, line) ||
      nspBadArgument(src == nullptr, "nspcbCartToPolar", "src==0", module, line) ||
      nspBadArgument(mag == nullptr, "nspcbCartToPolar", "mag==0", module, line) ||
      nspBadArgument(phase == nullptr, "nspcbCartToPolar", "phase==0", module, line)) {
    return;
  }
  // Vectorised double-precision sqrt and atan2 (nspvmath), rounded to float
  // once; elements with im == +-0 move re's bits as the rule says.
  nspPolarFromCart(src, mag, phase, length);
}

void nspcbPolarToCart(const float* mag, const float* phase, ComplexFloat* dst, int length) {
  constexpr int line = nspLine::cbPolarToCart;
  if (nspBadArgument(length <= 0, "nspcbPolarToCart", "length<=0", module, line) ||
      nspBadArgument(mag == nullptr, "nspcbPolarToCart", "mag==0", module, line) ||
      nspBadArgument(phase == nullptr, "nspcbPolarToCart", "phase==0", module, line) ||
      nspBadArgument(dst == nullptr, "nspcbPolarToCart", "dst==0", module, line)) {
    return;
  }
  // Vectorised double-precision sin and cos (nspvmath), each product
  // rounded to float once.
  nspCartFromPolar(mag, phase, dst, length);
}

}  // extern "C"
