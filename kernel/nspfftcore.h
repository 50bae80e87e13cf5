// The stages of the complex FFT and of the real split, written once against
// the vector operations of nspsimd.h and instantiated per vector type and
// direction. Included by nspffts.cpp (scalar and SSE2) and by
// nspffts_avx2.cpp (AVX2); everything has internal linkage.
//
// Data are interleaved complex floats in the caller's buffers; loads and
// stores are unaligned. The butterflies of one stage are independent, so
// each stage visits them in the order that loads its twiddles least often.
#ifndef VORTIGEN_KERNEL_NSPFFTCORE_H
#define VORTIGEN_KERNEL_NSPFFTCORE_H

#include "nspfftisa.h"
#include "nspsimd.h"

namespace {

// Radix-4 butterfly on (a, b, c, d) = x[k], u^2 x[k+L], u x[k+2L], u^3 x[k+3L]:
// the quarters of a group hold the sub-transforms of residues 0, 2, 1, 3.
template <class V, bool Forward>
inline void butterfly4(ComplexFloat* p, int span, typename V::Reg a, typename V::Reg b,
                       typename V::Reg c, typename V::Reg d) {
  const auto sumAB = V::add(a, b), diffAB = V::sub(a, b);
  const auto sumCD = V::add(c, d), diffCD = rotate<V, Forward>(V::sub(c, d));
  V::store(p, V::add(sumAB, sumCD));
  V::store(p + span, V::add(diffAB, diffCD));
  V::store(p + 2 * span, V::sub(sumAB, sumCD));
  V::store(p + 3 * span, V::sub(diffAB, diffCD));
}

// Stage A: a 4-point transform of every four consecutive values, no
// twiddles; `width` groups at a time, transposed into the vector lanes.
template <class V, bool Forward>
void radix4StageA(ComplexFloat* x, int n) {
  constexpr int w = V::width;
  for (int g = 0; g < n; g += 4 * w) {
    auto x0 = V::load(x + g), x1 = V::load(x + g + w);
    auto x2 = V::load(x + g + 2 * w), x3 = V::load(x + g + 3 * w);
    V::zip4(x0, x1, x2, x3);
    const auto sum01 = V::add(x0, x1), diff01 = V::sub(x0, x1);
    const auto sum23 = V::add(x2, x3), diff23 = rotate<V, Forward>(V::sub(x2, x3));
    auto y0 = V::add(sum01, sum23), y1 = V::add(diff01, diff23);
    auto y2 = V::sub(sum01, sum23), y3 = V::sub(diff01, diff23);
    V::unzip4(y0, y1, y2, y3);
    V::store(x + g, y0);
    V::store(x + g + w, y1);
    V::store(x + g + 2 * w, y2);
    V::store(x + g + 3 * w, y3);
  }
}

// Stage B (odd orders): a radix-2 step joining the 4-point halves of every
// eight values with e^(-i pi k/4), k = 0..3. The sqrt(2)/2 comes from the
// table entry n/8 (cos and -sin of pi/4).
template <class V, bool Forward>
void radix4StageB(ComplexFloat* x, int n, const float* base) {
  constexpr int w = V::width;
  const float* eighth = base + 6 * (n / 8);
  const ComplexFloat factors[4] = {
      {1.0f, 0.0f}, {eighth[0], eighth[1]}, {0.0f, -1.0f}, {-eighth[0], eighth[1]}};
  typename V::Reg factor[4 / w];
  for (int j = 0; j < 4 / w; ++j) factor[j] = V::load(factors + j * w);
  for (int g = 0; g < n; g += 8) {
    for (int j = 0; j < 4 / w; ++j) {
      const auto a = V::load(x + g + j * w);
      const auto t = twiddle<V, Forward>(V::load(x + g + 4 + j * w), factor[j]);
      V::store(x + g + j * w, V::add(a, t));
      V::store(x + g + 4 + j * w, V::sub(a, t));
    }
  }
}

// The 16-point stage (L = 4): all four k take their factors from the single
// entry n/16 (u, u^2, u^3 of e^(-i pi/8)); those of k = 2 and 3 follow by
// the symmetries of the eighth turn.
template <class V, bool Forward>
void radix4Stage16(ComplexFloat* x, int n, const float* base) {
  constexpr int w = V::width;
  const float* e = base + 6 * (n / 16);
  const ComplexFloat u1 = {e[0], e[1]}, u2 = {e[2], e[3]}, u3 = {e[4], e[5]};
  // k = 2: u = e^(-i pi/4), u^2 = -i, u^3 = e^(-3i pi/4) = (-cos pi/4, -sin pi/4);
  // k = 3: u = e^(-3i pi/8), u^2 = e^(-3i pi/4), u^3 = e^(-9i pi/8) = -e^(-i pi/8).
  const ComplexFloat one = {1.0f, 0.0f}, minusI = {0.0f, -1.0f};
  const ComplexFloat threeEighthsTurn = {-u2.re, u2.im};
  const ComplexFloat powers1[4] = {one, u1, u2, u3};
  const ComplexFloat powers2[4] = {one, u2, minusI, threeEighthsTurn};
  const ComplexFloat powers3[4] = {one, u3, threeEighthsTurn, {-u1.re, -u1.im}};
  typename V::Reg f1[4 / w], f2[4 / w], f3[4 / w];
  for (int j = 0; j < 4 / w; ++j) {
    f1[j] = V::load(powers1 + j * w);
    f2[j] = V::load(powers2 + j * w);
    f3[j] = V::load(powers3 + j * w);
  }
  for (int g = 0; g < n; g += 16) {
    for (int j = 0; j < 4 / w; ++j) {
      ComplexFloat* p = x + g + j * w;
      auto b = V::load(p + 4), c = V::load(p + 8), d = V::load(p + 12);
      auto tb = twiddle<V, Forward>(b, f2[j]), tc = twiddle<V, Forward>(c, f1[j]);
      auto td = twiddle<V, Forward>(d, f3[j]);
      if (j == 0) {
        // k = 0 is not multiplied: a product with 1 would turn an infinite
        // component into NaN.
        tb = V::firstFrom(b, tb), tc = V::firstFrom(c, tc), td = V::firstFrom(d, td);
      }
      butterfly4<V, Forward>(p, 4, V::load(p), tb, tc, td);
    }
  }
}

// A radix-4 stage joining transforms of L points into transforms of 4L,
// written out per L by instantiation. The twiddles of k are the table entry
// k n/(4L); each is loaded once and used for every group.
template <class V, bool Forward, int L>
void radix4Stage(ComplexFloat* x, int n, const float* base) {
  constexpr int w = V::width;
  const int stride = 6 * (n / (4 * L));  // floats between the entries of k and k + 1
  int k = 0;
  if constexpr (w == 1) {
    // k = 0 needs no twiddles.
    for (int g = 0; g < n; g += 4 * L) {
      ComplexFloat* p = x + g;
      butterfly4<V, Forward>(p, L, V::load(p), V::load(p + L), V::load(p + 2 * L),
                             V::load(p + 3 * L));
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
      butterfly4<V, Forward>(p, L, V::load(p), V::firstFrom(b, twiddle<V, Forward>(b, u2)),
                             V::firstFrom(c, twiddle<V, Forward>(c, u1)),
                             V::firstFrom(d, twiddle<V, Forward>(d, u3)));
    }
    k = w;
  }
  for (; k < L; k += w) {
    const float* e = base + stride * k;
    const auto u1 = V::gather(e, stride), u2 = V::gather(e + 2, stride);
    const auto u3 = V::gather(e + 4, stride);
    for (int g = k; g < n; g += 4 * L) {
      ComplexFloat* p = x + g;
      butterfly4<V, Forward>(p, L, V::load(p), twiddle<V, Forward>(V::load(p + L), u2),
                             twiddle<V, Forward>(V::load(p + 2 * L), u1),
                             twiddle<V, Forward>(V::load(p + 3 * L), u3));
    }
  }
}

// The radix-4 kernel of n = 2^m points, 2 <= m <= 10: bit-reversed input,
// natural-order output. One straight pass per stage.
template <class V, bool Forward>
void radix4Kernel(ComplexFloat* x, int n, const float* base) {
  if (n / 4 >= V::width) {
    radix4StageA<V, Forward>(x, n);
  } else {
    radix4StageA<VecScalar, Forward>(x, n);
  }
  const bool oddOrder = (n & 0x2AAAAAAA) != 0;
  if (oddOrder) {
    if (n >= 8) radix4StageB<V, Forward>(x, n, base);
    if (n >= 32) radix4Stage<V, Forward, 8>(x, n, base);
    if (n >= 128) radix4Stage<V, Forward, 32>(x, n, base);
    if (n >= 512) radix4Stage<V, Forward, 128>(x, n, base);
  } else {
    if (n >= 16) radix4Stage16<V, Forward>(x, n, base);
    if (n >= 64) radix4Stage<V, Forward, 16>(x, n, base);
    if (n >= 256) radix4Stage<V, Forward, 64>(x, n, base);
    if (n >= 1024) radix4Stage<V, Forward, 256>(x, n, base);
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
  return {nspIsaNames[isa],      radix4Kernel<V, true>,  radix4Kernel<V, false>,
          radix2Passes<V, true>, radix2Passes<V, false>, splitReal<V, true>,
          splitReal<V, false>,   unsplitReal<V, true>,   unsplitReal<V, false>,
          scaleComplex<V>};
}

}  // namespace

#endif
