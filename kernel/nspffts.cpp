// nspffts: the complex FFT core (bit-reversal reorders, radix-4 kernels up
// to 1024 points, blocked radix-2 passes above) and the real transforms
// built on it: real samples to CCS spectrum, spectrum to samples, and two
// real blocks in one call.
//
// A real block of N = 2^order samples is transformed as n = N/2 complex
// values (even samples real, odd samples imaginary) followed by a split
// step; the inverse runs the split backwards first. The stages themselves
// live in nspfftcore.h, once per vector width; this file picks the widest
// one the CPU runs.
#include <cmath>
#include <cstdint>

#include "nspfftcore.h"
#include "nspreportlines.h"
#include "nspstate.h"

namespace {

const char module[] = "nspffts";

// ---- Kernel variants -------------------------------------------------------

constexpr NspFftKernels scalarKernels = makeFftKernels<VecScalar>(NSP_IsaScalar);
#if defined(__SSE2__)
constexpr NspFftKernels sse2Kernels = makeFftKernels<VecSse2>(NSP_IsaSse2);
#endif

// The variants this build compiled.
const NspFftKernels* builtKernels(int isa) {
  switch (isa) {
    case NSP_IsaScalar: return &scalarKernels;
#if defined(__SSE2__)
    case NSP_IsaSse2: return &sse2Kernels;
#endif
    case NSP_IsaAvx2: return nspFftKernelsAvx2();
    default: return nullptr;
  }
}

NspIsaChoice<NspFftKernels> choice{builtKernels};

// ---- Bit-reversal reorders -------------------------------------------------

// Two adjacent complex values, the unit the reorders move: the elements
// 2m, 2m+1 of a middle index m are adjacent, and so are h+2m, h+2m+1.
#if defined(__SSE2__)
using Duo = VecSse2;
#else
struct Duo {
  struct Reg {
    ComplexFloat low, high;
  };
  static Reg load(const ComplexFloat* p) { return {p[0], p[1]}; }
  static void store(ComplexFloat* p, Reg a) { p[0] = a.low, p[1] = a.high; }
  static Reg lows(Reg a, Reg b) { return {a.low, b.low}; }
  static Reg highs(Reg a, Reg b) { return {a.high, b.high}; }
};
#endif

// Moves the elements of the middle indices of a list: for each pair
// (m, r), dst[2r], dst[2r+1] = src[2m], src[h+2m] and dst[h+2r], dst[h+2r+1]
// = src[2m+1], src[h+2m+1], and the same with m and r exchanged; for each
// self-reversed s the same with r = s. The pairs end at the first value
// whose half is 0 or less; that 0 is middle index 0, and the self-reversed
// ones follow up to the closing 0. src may be dst.
void reorderByList(const ComplexFloat* src, ComplexFloat* dst, int h, const int* bitRev) {
  int pos = 0;
  for (; bitRev[pos] / 2 > 0; pos += 2) {
    const int m2 = bitRev[pos] / 2, r2 = bitRev[pos + 1] / 2;
    const auto lowM = Duo::load(src + m2), highM = Duo::load(src + h + m2);
    const auto lowR = Duo::load(src + r2), highR = Duo::load(src + h + r2);
    Duo::store(dst + r2, Duo::lows(lowM, highM));
    Duo::store(dst + h + r2, Duo::highs(lowM, highM));
    Duo::store(dst + m2, Duo::lows(lowR, highR));
    Duo::store(dst + h + m2, Duo::highs(lowR, highR));
  }
  for (int s2 = 0;;) {
    const auto low = Duo::load(src + s2), high = Duo::load(src + h + s2);
    Duo::store(dst + s2, Duo::lows(low, high));
    Duo::store(dst + h + s2, Duo::highs(low, high));
    s2 = bitRev[++pos] / 2;
    if (s2 == 0) break;
  }
}

// ---- Real transforms -------------------------------------------------------

// Tables of one real transform: the radix table of order c (for c > 10 the
// exponential table of order c), the split or exponential table of the
// split step, and the bit-reversal list.
struct FftTables {
  const float* radix;
  const ComplexFloat* split;
  const int* bitRev;
};

using SplitGetter = ComplexFloat* (*)(int order);

// Takes the three tables from the cache, building what is missing; the
// caller holds an NspTableUse. When one cannot be built, everything cached
// is released to make room and the tables are built once more; a second
// failure empties the cache again. The cache is emptied only when no other
// transform is in flight (it would lose its tables): then the failure stands.
bool fetchTables(int c, SplitGetter getSplit, int splitOrder, FftTables& tables) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    tables.radix = nspGetRadixTwd(c);
    tables.split = getSplit(splitOrder);
    tables.bitRev = nspGetBitRev(c);
    if (tables.radix != nullptr && tables.split != nullptr && tables.bitRev != nullptr) return true;
    if (!nspFreeAllTwdIfSoleUser()) return false;
  }
  return false;
}

// Multiplies `count` floats by `value`, each rounded once, with the
// vectorised scaling stage, in pieces whose complex count an int holds
// (the largest order has 2^31 + 2 floats); an odd last float alone.
void scaleFloats(float value, float* data, std::uint64_t count) {
  constexpr std::uint64_t maxPiece = std::uint64_t{1} << 30;
  const NspFftKernels& kernels = nspFftKernels();
  if (count % 2 != 0) {
    --count;
    data[count] = data[count] * value;
  }
  while (count > 0) {
    const std::uint64_t piece = count < maxPiece ? count : maxPiece;
    count -= piece;
    kernels.scale(reinterpret_cast<ComplexFloat*>(data + count), static_cast<int>(piece / 2),
                  value);
  }
}

// The largest transform the kernels that read natural order take (that of
// the radix-4 kernel), in complex values.
constexpr int naturalOrderLimit = 1024;

// Whether aCount complex values at a and bCount at b share no byte.
bool apart(const ComplexFloat* a, int aCount, const ComplexFloat* b, int bCount) {
  const auto aStart = reinterpret_cast<std::uintptr_t>(a);
  const auto bStart = reinterpret_cast<std::uintptr_t>(b);
  return aStart + aCount * sizeof(ComplexFloat) <= bStart ||
         bStart + bCount * sizeof(ComplexFloat) <= aStart;
}

bool wantsScaling(int flags) {
  return (flags & NSP_FftInverse) != 0 && (flags & NSP_FftNoScale) == 0;
}

// The checks common to both real transforms after the tables: null buffers
// (line `bufferLine`), then the direction bits (line `flagsLine`).
bool badBuffersOrFlags(const void* inSamps, const void* outSamps, int flags, const char* funcName,
                       int bufferLine, int flagsLine) {
  if (inSamps == nullptr) {
    nspReportError(NSP_StatusBadArgument, funcName, "inSamps==0", module, bufferLine);
    return true;
  }
  if (outSamps == nullptr) {
    nspReportError(NSP_StatusBadArgument, funcName, "outSamps==0", module, bufferLine);
    return true;
  }
  const bool forward = (flags & NSP_FftForward) != 0;
  const bool inverse = (flags & NSP_FftInverse) != 0;
  if (forward && inverse) {
    nspReportError(NSP_StatusBadArgument, funcName, "(flags & 1) && (flags & 2)", module,
                   flagsLine);
    return true;
  }
  if (!forward && !inverse) {
    nspReportError(NSP_StatusBadArgument, funcName, "(flags & 1)==0 && (flags & 2)==0", module,
                   flagsLine);
    return true;
  }
  return false;
}

bool badOrder(int order, const char* funcName, int line) {
  if (order < 0) {
    nspReportError(NSP_StatusBadArgument, funcName, "order<0", module, line);
    return true;
  }
  if (order > 31) {
    nspReportError(NSP_StatusBadArgument, funcName, "order>31", module, line);
    return true;
  }
  return false;
}

}  // namespace

const NspFftKernels& nspFftKernels() { return choice.inUse(); }

const NspFftKernels* nspFftKernelsFor(int isa) { return choice.variant(isa); }

bool nspFftSelectIsa(int isa) { return choice.select(isa); }

extern "C" {

// ---- Complex FFT core ------------------------------------------------------

// dst[rev(j)] = src[j] over c bits. A list value 4m stands for the middle
// index m, that is for elements 2m, 2m+1, h+2m, h+2m+1: the lowest and the
// highest index bit trade places, the list reverses the bits between.
void nspFftReorderCopy(const ComplexFloat* src, ComplexFloat* dst, int c, const int* bitRev) {
  const int n = 1 << c;
  if (n < 8) {
    dst[0] = src[0];
    dst[n - 1] = src[n - 1];
    if (n == 4) {
      // Both read before either is written: src may be dst, as with the list.
      const ComplexFloat one = src[1], two = src[2];
      dst[2] = one;
      dst[1] = two;
    }
    return;
  }
  reorderByList(src, dst, n / 2, bitRev);
}

// The same permutation by exchanges: for each pair 2m<->2r, 2m+1<->h+2r,
// h+2m<->2r+1, h+2m+1<->h+2r+1; for middle index 0 and each self-reversed
// s, 2s+1<->h+2s. Those are the copy's moves with source and destination
// one array, as each list entry's values are all read before any is written.
void nspFftReorderInPlace(ComplexFloat* data, int c, const int* bitRev) {
  const int n = 1 << c;
  if (n < 4) return;
  reorderByList(data, data, n / 2, bitRev);
}

void nspFftRadix4Fwd(ComplexFloat* data, int n, const float* base) {
  nspFftKernels().radix4Forward(data, n, base);
}

void nspFftRadix4Inv(ComplexFloat* data, int n, const float* base) {
  nspFftKernels().radix4Inverse(data, n, base);
}

void nspFftRadix2Passes(ComplexFloat* data, int len, int span, const ComplexFloat* table, int total,
                        int direction, int run) {
  const NspFftKernels& kernels = nspFftKernels();
  (direction > 0 ? kernels.radix2PassesForward : kernels.radix2PassesInverse)(data, len, span,
                                                                              table, total, run);
}

// Bit-reversed input to natural-order output, in place. Up to 1024 points
// one radix-4 kernel; above, 1024-point kernels and radix-2 passes, all
// passes inside a 16384-point block finished before the passes that span
// blocks.
void nspFftComplex(ComplexFloat* data, int n, int direction, const float* table) {
  if (n < 2) return;
  if (n == 2) {
    const ComplexFloat a = data[0], b = data[1];
    data[0] = {a.re + b.re, a.im + b.im};
    data[1] = {a.re - b.re, a.im - b.im};
    return;
  }
  const NspFftKernels& kernels = nspFftKernels();
  const auto radix4 = direction > 0 ? kernels.radix4Forward : kernels.radix4Inverse;
  if (n <= 1024) {
    radix4(data, n, table + 2);
    return;
  }
  // The entry points fetched the order-10 radix table with their own.
  const float* radix10 = nspGetRadixTwd(10);
  if (radix10 == nullptr) return;
  const auto passes = direction > 0 ? kernels.radix2PassesForward : kernels.radix2PassesInverse;
  const auto* expTable = reinterpret_cast<const ComplexFloat*>(table);
  const int block = n >= 16384 ? 16384 : n;
  for (int start = 0; start < n; start += block) {
    for (int chunk = start; chunk < start + block; chunk += 1024) {
      radix4(data + chunk, 1024, radix10 + 2);
    }
    passes(data + start, block, 1024, expTable, n, 256);
  }
  if (n > block) passes(data, n, block, expTable, n, 256);
}

// ---- Real transforms -------------------------------------------------------

void nspsRealFftNip(const float* inSamps, ComplexFloat* outSamps, int order, int flags) {
  static const char name[] = "nspsRealFftNip";
  if (flags & NSP_FftFreeTables) {
    if (order >= 1 && order <= 32) {
      nspFreeRadixTwd(order - 1);
      nspFreeSplitTwd(order - 1);
      nspFreeBitRev(order - 1);
    }
    return;
  }
  if (badOrder(order, name, nspLine::realFftOrder)) return;
  const int c = order - 1;
  const NspTableUse tableUse;
  FftTables tables{};
  if (order >= 2 && !fetchTables(c, nspGetSplitTwd, c, tables)) {
    nspReportError(NSP_StatusOutOfMemory, name, "No working Twd memory", module,
                   nspLine::realFftOrder);
    return;
  }
  if (flags & NSP_FftInitOnly) return;
  if (badBuffersOrFlags(inSamps, outSamps, flags, name, nspLine::realFftBuffers,
                        nspLine::realFftFlags))
    return;

  if (order == 0) {
    outSamps[0] = {inSamps[0], 0.0f};
    return;
  }
  if (order == 1) {
    const float x0 = inSamps[0], x1 = inSamps[1];
    outSamps[0] = {x0 + x1, 0.0f};
    outSamps[1] = {x0 - x1, 0.0f};
  } else {
    const int n = 1 << c;
    const bool forward = (flags & NSP_FftForward) != 0;
    const auto* samplePairs = reinterpret_cast<const ComplexFloat*>(inSamps);
    const NspFftKernels& kernels = nspFftKernels();
    const auto fromNatural = forward ? kernels.radix4NaturalForward : kernels.radix4NaturalInverse;
    if (fromNatural != nullptr && n >= 32 && n <= naturalOrderLimit &&
        apart(samplePairs, n, outSamps, n + 1)) {
      fromNatural(samplePairs, outSamps, n, tables.radix + 2, 0.0f);
    } else {
      nspFftReorderCopy(samplePairs, outSamps, c, tables.bitRev);
      nspFftComplex(outSamps, n, forward ? 1 : -1, tables.radix);
    }
    (forward ? kernels.splitForward : kernels.splitInverse)(outSamps, n, tables.split);
  }
  if (wantsScaling(flags)) {
    scaleFloats(std::ldexp(1.0f, -order), reinterpret_cast<float*>(outSamps),
                (std::uint64_t{1} << order) + 2);
  }
}

void nspsCcsFftNip(const ComplexFloat* inSamps, float* outSamps, int order, int flags) {
  static const char name[] = "nspsCcsFftNip";
  if (flags & NSP_FftFreeTables) {
    if (order >= 1 && order <= 32) {
      nspFreeRadixTwd(order - 1);
      nspFreeBitRev(order - 1);
    }
    nspFreeExpTwd(order);
    return;
  }
  if (badOrder(order, name, nspLine::ccsFftOrder)) return;
  const int c = order - 1;
  const NspTableUse tableUse;
  FftTables tables{};
  if (order >= 2 && !fetchTables(c, nspGetExpTwd, order, tables)) {
    nspReportError(NSP_StatusOutOfMemory, name, "No working Twd memory", module,
                   nspLine::ccsFftOrder);
    return;
  }
  if (flags & NSP_FftInitOnly) return;
  if (badBuffersOrFlags(inSamps, outSamps, flags, name, nspLine::ccsFftBuffers,
                        nspLine::ccsFftFlags))
    return;

  if (order == 0) {
    outSamps[0] = inSamps[0].re;
    return;
  }
  if (order == 1) {
    const float x0 = inSamps[0].re, x1 = inSamps[1].re;
    outSamps[0] = x0 + x1;
    outSamps[1] = x0 - x1;
  } else {
    const int n = 1 << c;
    const bool forward = (flags & NSP_FftForward) != 0;
    auto* packed = reinterpret_cast<ComplexFloat*>(outSamps);
    const NspFftKernels& kernels = nspFftKernels();
    const auto unsplit = forward ? kernels.unsplitForward : kernels.unsplitInverse;
    const auto fromNatural = forward ? kernels.radix4NaturalForward : kernels.radix4NaturalInverse;
    if (fromNatural != nullptr && n >= 32 && n <= naturalOrderLimit) {
      // The unsplit values go to the stack, and the kernel reads them in
      // natural order from there: no reorder pass. The 1/N goes into the
      // last stage's stores: no scaling pass.
      ComplexFloat unsplitValues[naturalOrderLimit];
      unsplit(inSamps, unsplitValues, n, tables.split);
      const float scale = wantsScaling(flags) ? std::ldexp(1.0f, -order) : 0.0f;
      fromNatural(unsplitValues, packed, n, tables.radix + 2, scale);
      return;
    }
    unsplit(inSamps, packed, n, tables.split);
    nspFftReorderInPlace(packed, c, tables.bitRev);
    nspFftComplex(packed, n, forward ? 1 : -1, tables.radix);
  }
  if (wantsScaling(flags)) {
    scaleFloats(std::ldexp(1.0f, -order), outSamps, std::uint64_t{1} << order);
  }
}

void nspsReal2FftNip(const float* inSamps1, ComplexFloat* outSamps1, const float* inSamps2,
                     ComplexFloat* outSamps2, int order, int flags) {
  nspsRealFftNip(inSamps1, outSamps1, order, flags);
  if ((flags & (NSP_FftFreeTables | NSP_FftInitOnly)) == 0) {
    nspsRealFftNip(inSamps2, outSamps2, order, flags);
  }
  // The status is not cleared on entry: an error recorded before this call
  // is traced here as well.
  if (nspStatusGet() < 0) {
    nspReportError(NSP_StatusBacktrace, "nspsReal2FftNip", "out nspsRealFftNip", module,
                   nspLine::real2FftBacktrace);
  }
}

}  // extern "C"
