// The stages of the complex FFT and of the real split, written once against
// the vector operations of nspsimd.h and instantiated per vector type and
// direction. Included by nspffts.cpp (scalar and SSE2) and by
// nspffts_avx2.cpp (AVX2); everything has internal linkage.
//
// Data are interleaved complex floats in the caller's buffers; loads and
// stores are unaligned. The butterflies of one stage are independent, so
// each stage visits them in the order that loads its twiddles least often.
//
// Longer than 500 lines on purpose: the stages are one chain (each one's
// register layout is the next one's input, and the fused passes join
// neighbours), instantiated together in each instruction-set file; split
// apart, every piece would need the others' layouts spelled out again.
#ifndef VORTIGEN_KERNEL_NSPFFTCORE_H
#define VORTIGEN_KERNEL_NSPFFTCORE_H

#include "nspfftisa.h"
#include "nspsimd.h"

namespace {

// Radix-4 butterfly on (a, b, c, d) = x[k], u^2 x[k+L], u x[k+2L], u^3 x[k+3L]:
// the quarters of a group hold the sub-transforms of residues 0, 2, 1, 3.
// Scaled, each output is multiplied by s before it is stored, as a pass of
// its own after the stage would (the inverse transforms' 1/N).
template <class V, bool Forward, bool Scaled = false>
inline void butterfly4(ComplexFloat* p, int span, typename V::Reg a, typename V::Reg b,
                       typename V::Reg c, typename V::Reg d, float s = 1.0f) {
  const auto sumAB = V::add(a, b), diffAB = V::sub(a, b);
  const auto sumCD = V::add(c, d), diffCD = rotate<V, Forward>(V::sub(c, d));
  auto store = [s](ComplexFloat* at, typename V::Reg value) {
    V::store(at, Scaled ? V::scale(value, s) : value);
  };
  store(p, V::add(sumAB, sumCD));
  store(p + span, V::add(diffAB, diffCD));
  store(p + 2 * span, V::sub(sumAB, sumCD));
  store(p + 3 * span, V::sub(diffAB, diffCD));
}

// Stage A: a 4-point transform of every four consecutive values, no
// twiddles. The `width` groups at p are transposed into the vector lanes,
// transformed, and returned as the stage stores them: y[q] for p + q width.
// The 4-point transforms of x0..x3 (element i of every lane's group in xi),
// lane by lane, transposed back: y[q] holds lane q's four outputs.
template <class V, bool Forward>
inline void fourPointLanes(typename V::Reg x0, typename V::Reg x1, typename V::Reg x2,
                           typename V::Reg x3, typename V::Reg (&y)[4]) {
  const auto sum01 = V::add(x0, x1), diff01 = V::sub(x0, x1);
  const auto sum23 = V::add(x2, x3), diff23 = rotate<V, Forward>(V::sub(x2, x3));
  y[0] = V::add(sum01, sum23), y[1] = V::add(diff01, diff23);
  y[2] = V::sub(sum01, sum23), y[3] = V::sub(diff01, diff23);
  V::unzip4(y[0], y[1], y[2], y[3]);
}

template <class V, bool Forward>
inline void fourPointGroups(const ComplexFloat* p, typename V::Reg (&y)[4]) {
  constexpr int w = V::width;
  auto x0 = V::load(p), x1 = V::load(p + w), x2 = V::load(p + 2 * w), x3 = V::load(p + 3 * w);
  V::zip4(x0, x1, x2, x3);
  fourPointLanes<V, Forward>(x0, x1, x2, x3, y);
}

// Stage A over the `count` values at p (a multiple of 4 width), into
// registers: r[i] holds values i width .. i width + width - 1.
template <class V, bool Forward, int count>
inline void stageAInRegisters(const ComplexFloat* p, typename V::Reg (&r)[count / V::width]) {
  constexpr int w = V::width;
  for (int q = 0; q < count / w; q += 4) {
    typename V::Reg y[4];
    fourPointGroups<V, Forward>(p + q * w, y);
    for (int i = 0; i < 4; ++i) r[q + i] = y[i];
  }
}

template <class V, bool Forward>
void radix4StageA(ComplexFloat* x, int n) {
  constexpr int w = V::width;
  for (int g = 0; g < n; g += 4 * w) {
    typename V::Reg y[4];
    fourPointGroups<V, Forward>(x + g, y);
    for (int q = 0; q < 4; ++q) V::store(x + g + q * w, y[q]);
  }
}

// Stage B (odd orders): a radix-2 step joining the 4-point halves of every
// eight values with e^(-i pi k/4), k = 0..3. The sqrt(2)/2 comes from the
// table entry n/8 (cos and -sin of pi/4).
template <class V>
struct StageBFactors {
  typename V::Reg factor[4 / V::width];

  StageBFactors(int n, const float* base) {
    const float* eighth = base + 6 * (n / 8);
    const ComplexFloat factors[4] = {
        {1.0f, 0.0f}, {eighth[0], eighth[1]}, {0.0f, -1.0f}, {-eighth[0], eighth[1]}};
    for (int j = 0; j < 4 / V::width; ++j) factor[j] = V::load(factors + j * V::width);
  }
};

// Stage B on the eight values r[0 .. 8/width - 1], stored at p.
template <class V, bool Forward>
inline void stageBEight(ComplexFloat* p, const typename V::Reg* r, const StageBFactors<V>& f) {
  constexpr int w = V::width;
  for (int j = 0; j < 4 / w; ++j) {
    const auto t = twiddle<V, Forward>(r[4 / w + j], f.factor[j]);
    V::store(p + j * w, V::add(r[j], t));
    V::store(p + 4 + j * w, V::sub(r[j], t));
  }
}

template <class V, bool Forward>
void radix4StageB(ComplexFloat* x, int n, const float* base) {
  constexpr int w = V::width;
  const StageBFactors<V> f(n, base);
  for (int g = 0; g < n; g += 8) {
    typename V::Reg r[8 / w];
    for (int i = 0; i < 8 / w; ++i) r[i] = V::load(x + g + i * w);
    stageBEight<V, Forward>(x + g, r, f);
  }
}

// The 16-point stage (L = 4): all four k take their factors from the single
// entry n/16 (u, u^2, u^3 of e^(-i pi/8)); those of k = 2 and 3 follow by
// the symmetries of the eighth turn.
template <class V>
struct Stage16Factors {
  typename V::Reg f1[4 / V::width], f2[4 / V::width], f3[4 / V::width];

  Stage16Factors(int n, const float* base) {
    const float* e = base + 6 * (n / 16);
    const ComplexFloat u1 = {e[0], e[1]}, u2 = {e[2], e[3]}, u3 = {e[4], e[5]};
    // k = 2: u = e^(-i pi/4), u^2 = -i, u^3 = e^(-3i pi/4) = (-cos pi/4, -sin pi/4);
    // k = 3: u = e^(-3i pi/8), u^2 = e^(-3i pi/4), u^3 = e^(-9i pi/8) = -e^(-i pi/8).
    const ComplexFloat one = {1.0f, 0.0f}, minusI = {0.0f, -1.0f};
    const ComplexFloat threeEighthsTurn = {-u2.re, u2.im};
    const ComplexFloat powers1[4] = {one, u1, u2, u3};
    const ComplexFloat powers2[4] = {one, u2, minusI, threeEighthsTurn};
    const ComplexFloat powers3[4] = {one, u3, threeEighthsTurn, {-u1.re, -u1.im}};
    for (int j = 0; j < 4 / V::width; ++j) {
      f1[j] = V::load(powers1 + j * V::width);
      f2[j] = V::load(powers2 + j * V::width);
      f3[j] = V::load(powers3 + j * V::width);
    }
  }
};

// The 16-point stage on the sixteen values r[0 .. 16/width - 1], stored at p.
template <class V, bool Forward>
inline void stage16Sixteen(ComplexFloat* p, const typename V::Reg* r, const Stage16Factors<V>& f) {
  constexpr int w = V::width;
  for (int j = 0; j < 4 / w; ++j) {
    const auto b = r[4 / w + j], c = r[8 / w + j], d = r[12 / w + j];
    auto tb = twiddle<V, Forward>(b, f.f2[j]), tc = twiddle<V, Forward>(c, f.f1[j]);
    auto td = twiddle<V, Forward>(d, f.f3[j]);
    if (j == 0) {
      // k = 0 is not multiplied: a product with 1 would turn an infinite
      // component into NaN.
      tb = V::firstFrom(b, tb), tc = V::firstFrom(c, tc), td = V::firstFrom(d, td);
    }
    butterfly4<V, Forward>(p + j * w, 4, r[j], tb, tc, td);
  }
}

// Stage A followed by stage B or by the 16-point stage, in one pass: each
// block's results of stage A stay in registers for the next stage. The
// arithmetic is that of the two stages, value for value.
template <class V, bool Forward>
void radix4StagesAB(ComplexFloat* x, int n, const float* base) {
  constexpr int w = V::width;
  constexpr int block = 4 * w > 8 ? 4 * w : 8;
  const StageBFactors<V> f(n, base);
  for (int g = 0; g < n; g += block) {
    typename V::Reg r[block / w];
    stageAInRegisters<V, Forward, block>(x + g, r);
    for (int e = 0; e < block; e += 8) stageBEight<V, Forward>(x + g + e, r + e / w, f);
  }
}

template <class V, bool Forward>
void radix4StagesA16(ComplexFloat* x, int n, const float* base) {
  constexpr int w = V::width;
  const Stage16Factors<V> f(n, base);
  for (int g = 0; g < n; g += 16) {
    typename V::Reg r[16 / w];
    stageAInRegisters<V, Forward, 16>(x + g, r);
    stage16Sixteen<V, Forward>(x + g, r, f);
  }
}

// The twiddles u, u^2, u^3 of `width` radix table entries `stride` floats
// apart. In a transform's last stage the entries are consecutive, and a
// vector type that can load them whole does.
template <class V>
inline void loadTwiddles(const float* e, int stride, typename V::Reg& u1, typename V::Reg& u2,
                         typename V::Reg& u3) {
  if constexpr (requires { V::consecutiveTwiddles(e, u1, u2, u3); }) {
    if (stride == 6) return V::consecutiveTwiddles(e, u1, u2, u3);
  }
  u1 = V::gather(e, stride), u2 = V::gather(e + 2, stride), u3 = V::gather(e + 4, stride);
}

// A radix-4 stage joining transforms of L points into transforms of 4L,
// written out per L by instantiation. The twiddles of k are the table entry
// k n/(4L); each is loaded once and used for every group.
template <class V, bool Forward, int L, bool Scaled = false>
void radix4Stage(ComplexFloat* x, int n, const float* base, float s = 1.0f) {
  constexpr int w = V::width;
  const int stride = 6 * (n / (4 * L));  // floats between the entries of k and k + 1
  int k = 0;
  if constexpr (w == 1) {
    // k = 0 needs no twiddles.
    for (int g = 0; g < n; g += 4 * L) {
      ComplexFloat* p = x + g;
      butterfly4<V, Forward, Scaled>(p, L, V::load(p), V::load(p + L), V::load(p + 2 * L),
                                     V::load(p + 3 * L), s);
    }
    k = 1;
  } else {
    // The first vector holds k = 0 in its lane 0, which keeps its values
    // unmultiplied; its other lanes read their entries as usual.
    ComplexFloat t1[w], t2[w], t3[w];
    t1[0] = t2[0] = t3[0] = {1.0f, 0.0f};
    for (int j = 1; j < w; ++j) {
      const float* e = base + stride * j;
      t1[j] = {e[0], e[1]};
      t2[j] = {e[2], e[3]};
      t3[j] = {e[4], e[5]};
    }
    const auto u1 = V::load(t1), u2 = V::load(t2), u3 = V::load(t3);
    for (int g = 0; g < n; g += 4 * L) {
      ComplexFloat* p = x + g;
      const auto b = V::load(p + L), c = V::load(p + 2 * L), d = V::load(p + 3 * L);
      butterfly4<V, Forward, Scaled>(p, L, V::load(p), V::firstFrom(b, twiddle<V, Forward>(b, u2)),
                                     V::firstFrom(c, twiddle<V, Forward>(c, u1)),
                                     V::firstFrom(d, twiddle<V, Forward>(d, u3)), s);
    }
    k = w;
  }
  for (; k < L; k += w) {
    const float* e = base + stride * k;
    typename V::Reg u1, u2, u3;
    loadTwiddles<V>(e, stride, u1, u2, u3);
    for (int g = k; g < n; g += 4 * L) {
      ComplexFloat* p = x + g;
      butterfly4<V, Forward, Scaled>(p, L, V::load(p), twiddle<V, Forward>(V::load(p + L), u2),
                                     twiddle<V, Forward>(V::load(p + 2 * L), u1),
                                     twiddle<V, Forward>(V::load(p + 3 * L), u3), s);
    }
  }
}

// One of the later stages; scaled, the last one multiplies its outputs by s.
template <class V, bool Forward, int L, bool Scaled>
inline void laterStage(ComplexFloat* x, int n, const float* base, float s) {
  if (Scaled && n == 4 * L) return radix4Stage<V, Forward, L, true>(x, n, base, s);
  radix4Stage<V, Forward, L>(x, n, base);
}

// The stages after stage B (odd orders) or the 16-point stage (even ones):
// at least one from 32 (odd) or 64 points (even).
template <class V, bool Forward, bool Scaled = false>
void radix4LaterStages(ComplexFloat* x, int n, const float* base, float s = 1.0f) {
  if ((n & 0x2AAAAAAA) != 0) {
    if (n >= 32) laterStage<V, Forward, 8, Scaled>(x, n, base, s);
    if (n >= 128) laterStage<V, Forward, 32, Scaled>(x, n, base, s);
    if (n >= 512) laterStage<V, Forward, 128, Scaled>(x, n, base, s);
  } else {
    if (n >= 64) laterStage<V, Forward, 16, Scaled>(x, n, base, s);
    if (n >= 256) laterStage<V, Forward, 64, Scaled>(x, n, base, s);
    if (n >= 1024) laterStage<V, Forward, 256, Scaled>(x, n, base, s);
  }
}

// The radix-4 kernel of n = 2^m points, 2 <= m <= 10: bit-reversed input,
// natural-order output. One straight pass per stage.
template <class V, bool Forward>
void radix4Kernel(ComplexFloat* x, int n, const float* base) {
  const bool oddOrder = (n & 0x2AAAAAAA) != 0;
  constexpr int w = V::width;
  if (oddOrder && n >= 16 && n >= 4 * w) {
    radix4StagesAB<V, Forward>(x, n, base);
  } else if (!oddOrder && n >= 16 && n >= 4 * w) {
    radix4StagesA16<V, Forward>(x, n, base);
  } else {
    // The smallest sizes: the stages one after the other.
    if (n / 4 >= w) {
      radix4StageA<V, Forward>(x, n);
    } else {
      radix4StageA<VecScalar, Forward>(x, n);
    }
    // Eight points: stage B alone; from 16 up the joined stages serve.
    if (n == 8) radix4StageB<V, Forward>(x, n, base);
  }
  radix4LaterStages<V, Forward>(x, n, base);
}

// The low `bits` bits of x in reverse order.
inline int reversedBits(int x, int bits) {
  int r = 0;
  for (int b = 0; b < bits; ++b, x >>= 1) r = (r << 1) | (x & 1);
  return r;
}

// The radix-4 kernel of n = 2^m points, 5 <= m <= 10, from natural-order
// src into dst, which must not overlap: the bit-reversal permutation that
// the list-driven reorder would make is folded into the loads of stage A,
// and each block's results of stage A go on in registers to stage B or the
// 16-point stage. The arithmetic is the reorder and kernel's, value for
// value. Four-wide vectors only (the four lanes stand for t's two lowest
// bits, below); other widths take the reorder and radix4Kernel. Called for
// n >= 32, where an even m is at least 6.
//
// Stage A's group g reads the values at t + {0, n/2, n/4, 3n/4}, t being g
// with its m - 2 bits reversed. Four consecutive t (lanes l) give four
// groups n/16 apart; with t's top bits i (two for even m, one for odd m)
// stepped as well, a tile gathers the consecutive groups that one block of
// the next stage joins: four 16-value blocks (even m) or four 8-value
// blocks (odd m), one per lane.
template <class V, bool Forward, int tops, class Factors>
inline void naturalOrderTiles(const ComplexFloat* src, ComplexFloat* dst, int n, int m,
                              const Factors& f) {
  using Reg = typename V::Reg;
  constexpr int rev2[4] = {0, 2, 1, 3};
  constexpr int blockValues = 4 * tops;
  const int quarter = n / 4;
  const int topStep = n / (4 * tops);       // between the values of t's top bits i
  const int laneStep = topStep / 4;         // blocks between the lanes' first groups
  const int middleBits = m - 4 - tops / 2;  // t's bits between the lanes' and the top ones
  for (int t = 0; t < topStep; t += 4) {
    // z[rev(i)][l]: the four outputs of lane l's group of top bits i, which
    // sits at place rev(i) of its block.
    Reg z[tops][4];
    for (int i = 0; i < tops; ++i) {
      const ComplexFloat* p = src + t + i * topStep;
      fourPointLanes<V, Forward>(V::load(p), V::load(p + 2 * quarter), V::load(p + quarter),
                                 V::load(p + 3 * quarter), z[tops == 4 ? rev2[i] : i]);
    }
    const int first = reversedBits(t / 4, middleBits);
    for (int l = 0; l < 4; ++l) {
      Reg r[tops];
      for (int i = 0; i < tops; ++i) r[i] = z[i][l];
      ComplexFloat* block = dst + blockValues * (first + rev2[l] * laneStep);
      if constexpr (tops == 4) {
        stage16Sixteen<V, Forward>(block, r, f);
      } else {
        stageBEight<V, Forward>(block, r, f);
      }
    }
  }
}

// With a scale other than 0, every output is multiplied by it, as a pass of
// its own would.
template <class V, bool Forward>
void radix4KernelFromNatural(const ComplexFloat* src, ComplexFloat* dst, int n, const float* base,
                             float scale) {
  static_assert(V::width == 4);
  int m = 0;
  while ((1 << m) < n) ++m;
  if ((m & 1) != 0) {
    naturalOrderTiles<V, Forward, 2>(src, dst, n, m, StageBFactors<V>(n, base));
  } else {
    naturalOrderTiles<V, Forward, 4>(src, dst, n, m, Stage16Factors<V>(n, base));
  }
  if (scale != 0.0f) {
    radix4LaterStages<V, Forward, true>(dst, n, base, scale);
  } else {
    radix4LaterStages<V, Forward>(dst, n, base);
  }
}

// Radix-2 butterflies of one run: (x[k], x[k+L]) with twiddle w_k, and
// (x[k+L/2], x[k+L/2+L]) with -i w_k (the conjugates and +i inverse).
template <class V, bool Forward>
inline void radix2Run(ComplexFloat* p, int span, const ComplexFloat* runTwiddles, int count) {
  int k = 0;
  for (; k + V::width <= count; k += V::width) {
    const auto a = V::load(p + k);
    const auto t = twiddle<V, Forward>(V::load(p + k + span), V::load(runTwiddles + k));
    V::store(p + k, V::add(a, t));
    V::store(p + k + span, V::sub(a, t));
  }
  for (; k < count; ++k) radix2Run<VecScalar, Forward>(p + k, span, runTwiddles + k, 1);
}

template <class V, bool Forward>
inline void radix2RunRotated(ComplexFloat* p, int span, const ComplexFloat* runTwiddles,
                             int count) {
  int k = 0;
  for (; k + V::width <= count; k += V::width) {
    const auto a = V::load(p + k);
    const auto t =
        rotate<V, Forward>(twiddle<V, Forward>(V::load(p + k + span), V::load(runTwiddles + k)));
    V::store(p + k, V::add(a, t));
    V::store(p + k + span, V::sub(a, t));
  }
  for (; k < count; ++k) radix2RunRotated<VecScalar, Forward>(p + k, span, runTwiddles + k, 1);
}

// Joins len/span adjacent transforms of span points into one of len points
// by radix-2 passes. Twiddles come from the exponential table of order
// log2(total): from its 16384-resolution appendix for passes inside a
// 16384-point block of a larger transform, else from its main entries. The
// k of each pass are taken in runs; a run's twiddles are gathered once and
// serve every group of the pass.
template <class V, bool Forward>
void radix2Passes(ComplexFloat* x, int len, int span, const ComplexFloat* table, int total,
                  int run) {
  constexpr int maxRun = 128;
  const ComplexFloat* base = total > 16384 && span < 16384 ? table + total / 2 : table;
  int runLength = run / 2;
  if (runLength > maxRun) runLength = maxRun;
  if (runLength < 1) runLength = 1;
  ComplexFloat runTwiddles[maxRun];
  for (int transforms = len / span, L = span; transforms >= 2; transforms /= 2, L *= 2) {
    const int stride = transforms / 2;
    const int half = L / 2;
    for (int k0 = 0; k0 < half; k0 += runLength) {
      const int count = half - k0 < runLength ? half - k0 : runLength;
      for (int k = 0; k < count; ++k) runTwiddles[k] = base[(k0 + k) * stride];
      for (int g = 0; g < len; g += 2 * L) {
        radix2Run<V, Forward>(x + g + k0, L, runTwiddles, count);
        radix2RunRotated<V, Forward>(x + g + k0 + half, L, runTwiddles, count);
      }
    }
  }
}

// Forward split of one vector of bins k..k+w-1 with their partners
// n-k-w+1..n-k (loaded and stored lane-reversed). With (A, B) the split
// coefficients of k and z = x - conj(y) = (D, S):
//   direction +1: q = (B - iA) z, X[k] = conj(y) + q, X[n-k] = conj(x - q);
//   direction -1: q = (B + iA) z, X[k] = x - q,       X[n-k] = y + conj(q).
template <class V, bool Forward>
inline void splitBins(ComplexFloat* out, int n, int k, const ComplexFloat* splitTable) {
  constexpr int w = V::width;
  ComplexFloat* partner = out + n - k - (w - 1);
  const auto x = V::load(out + k);
  const auto y = V::reverse(V::load(partner));
  const auto coeff = V::swapReIm(V::load(splitTable + k - 1));  // (B, A)
  const auto z = V::sub(x, V::conj(y));
  if constexpr (Forward) {
    const auto q = V::mul(z, V::conj(coeff));
    V::store(out + k, V::add(V::conj(y), q));
    V::store(partner, V::reverse(V::conj(V::sub(x, q))));
  } else {
    const auto q = V::mul(z, coeff);
    V::store(out + k, V::sub(x, q));
    V::store(partner, V::reverse(V::add(y, V::conj(q))));
  }
}

template <class V, bool Forward>
void splitReal(ComplexFloat* out, int n, const ComplexFloat* splitTable) {
  const ComplexFloat z0 = out[0];
  out[0] = {z0.re + z0.im, 0.0f};
  const int half = n / 2;
  int k = 1;
  for (; k + V::width - 1 <= half - 1; k += V::width) splitBins<V, Forward>(out, n, k, splitTable);
  for (; k <= half - 1; ++k) splitBins<VecScalar, Forward>(out, n, k, splitTable);
  if constexpr (Forward) out[half].im = -out[half].im;
  out[n] = {z0.re - z0.im, 0.0f};
}

// Inverse split of bins j..j+w-1 and their partners i = n-j: with
// s = X[j] + conj(X[i]), z = X[j] - conj(X[i]) and p = e z (direction +1) or
// conj(e) z (direction -1), e = e^(-2 pi i j/2n):
//   y[j] = s + i p, y[i] = conj(s - i p).
template <class V, bool Forward>
inline void unsplitBins(const ComplexFloat* in, ComplexFloat* out, int n, int j,
                        const ComplexFloat* expTable) {
  constexpr int w = V::width;
  const int partner = n - j - (w - 1);
  const auto xj = V::load(in + j);
  const auto xi = V::conj(V::reverse(V::load(in + partner)));
  const auto s = V::add(xj, xi), z = V::sub(xj, xi);
  const auto ip = V::mulPosI(twiddle<V, Forward>(z, V::load(expTable + j)));
  V::store(out + j, V::add(s, ip));
  V::store(out + partner, V::reverse(V::conj(V::sub(s, ip))));
}

template <class V, bool Forward>
void unsplitReal(const ComplexFloat* in, ComplexFloat* out, int n, const ComplexFloat* expTable) {
  const float first = in[0].re, last = in[n].re;
  const int half = n / 2;
  int j = 1;
  for (; j + V::width - 1 <= half - 1; j += V::width)
    unsplitBins<V, Forward>(in, out, n, j, expTable);
  for (; j <= half - 1; ++j) unsplitBins<VecScalar, Forward>(in, out, n, j, expTable);
  const ComplexFloat middle = in[half];
  out[half] = {2.0f * middle.re, Forward ? 2.0f * middle.im : -2.0f * middle.im};
  out[0] = {first + last, first - last};
}

// The inverse transforms' 1/N: multiplies `count` complex values by the
// real factor s, each component rounded once as a separate pass would.
template <class V>
void scaleComplex(ComplexFloat* x, int count, float s) {
  int k = 0;
  for (; k + V::width <= count; k += V::width) V::store(x + k, V::scale(V::load(x + k), s));
  for (; k < count; ++k) VecScalar::store(x + k, VecScalar::scale(VecScalar::load(x + k), s));
}

template <class V>
constexpr NspFftKernels makeFftKernels(int isa) {
  NspFftKernels kernels = {nspIsaNames[isa],
                           radix4Kernel<V, true>,
                           radix4Kernel<V, false>,
                           radix2Passes<V, true>,
                           radix2Passes<V, false>,
                           splitReal<V, true>,
                           splitReal<V, false>,
                           unsplitReal<V, true>,
                           unsplitReal<V, false>,
                           scaleComplex<V>,
                           nullptr,
                           nullptr};
  if constexpr (V::width == 4) {
    kernels.radix4NaturalForward = radix4KernelFromNatural<V, true>;
    kernels.radix4NaturalInverse = radix4KernelFromNatural<V, false>;
  }
  return kernels;
}

}  // namespace

#endif
