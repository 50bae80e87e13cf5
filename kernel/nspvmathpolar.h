// The polar conversions, written once against the vector operations of
// nspvmathops.h: double-precision atan2 and sin/cos of our own, and the
// loops of nspcbCartToPolar and nspcbPolarToCart over blocks of `width`
// elements.
//
// Both functions keep their result as an unevaluated sum hi + lo until the
// last addition, so each is within about 0.65 ulp (atan2) and 0.75 ulp
// (sin, cos) of the exact value: rounded to float they agree with any
// faithful double implementation except where the exact value lies within
// a few ulps of double of the midpoint between two floats.
//
// Internal linkage, like the operations (see nspvmathops.h).
#ifndef VORTIGEN_KERNEL_NSPVMATHPOLAR_H
#define VORTIGEN_KERNEL_NSPVMATHPOLAR_H

#include <cmath>
#include <cstdint>
#include <cstring>

#include "nsp.h"
#include "nspvmathops.h"

namespace {
namespace polar {

// pi/4, pi/2 and pi as double + double.
constexpr double pi4Hi = 0x1.921fb54442d18p-1, pi4Lo = 0x1.1a62633145c07p-55;
constexpr double pi2Hi = 0x1.921fb54442d18p+0, pi2Lo = 0x1.1a62633145c07p-54;
constexpr double piHi = 0x1.921fb54442d18p+1, piLo = 0x1.1a62633145c07p-53;
constexpr double tanPi8 = 0x1.a827999fcef32p-2;
constexpr double twoOverPi = 0x1.45f306dc9c883p-1;

// pi/2 in four parts: the first three are pi/2's bits cut into pieces of
// 24 bits or fewer, so their products with an integer k below 2^29 are
// exact; the fourth carries the rest to about 2^-126.
constexpr double pio2Part1 = 0x1.921fb4p+0;
constexpr double pio2Part2 = 0x1.4442d0p-24;
constexpr double pio2Part3 = 0x1.846988p-48;
constexpr double pio2Part4 = 0x1.8cc51701b839ap-72;

// Phases of this magnitude or more (and NaN) take the C library's path: the
// four-part reduction above is exact only for k below 2^29. The effects'
// phases stay far below it. Dynamic's largest is pi plus its chaos shift,
// chaos^8 (at most 1) times an envelope that never exceeds the largest
// magnitude a frame can have: N = 1024 samples of at most 32768 under a
// window summing to about 614.4, so below 2^24.3; the float engine reaches
// 2^29 only with input about 28 dB over full scale.
constexpr double reductionLimit = 0x1p29;

// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 in magnitude
// to the nearest integer (ties to even).
constexpr double roundingShift = 0x1.8p52;

// atan(u) = u + u^3 * (a0 + a1 u^2 + ... + a11 u^22) on |u| <= tan(pi/8);
// a0 is -1/3 rounded, the rest a weighted least-squares fit (Lawson
// iterations) around it: error of the u^3 term below 2^-61 of u.
constexpr double atanCoeffs[] = {
    -0x1.5555555555555p-2, 0x1.99999999997c5p-3, -0x1.249249247e7d7p-3, 0x1.c71c71baed9f1p-4,
    -0x1.745d15299dc06p-4, 0x1.3b1376ce6c7dbp-4, -0x1.110ce4065ce0ap-4, 0x1.e179cdefa19e3p-5,
    -0x1.abab457c394e4p-5, 0x1.7198632112f11p-5, -0x1.13a8c62b76877p-5, 0x1.f75e7c6358716p-7,
};

// sin(r) = r + r^3 * (s0 + s1 r^2 + ... + s6 r^12) on |r| <= pi/4, fitted
// the same way around s0 = -1/6: error below 2^-62 of r.
constexpr double sinCoeffs[] = {
    -0x1.5555555555555p-3,  0x1.1111111111067p-7,  -0x1.a01a019ffdb33p-13, 0x1.71de3a329b537p-19,
    -0x1.ae642abd64625p-26, 0x1.6108a0204b1e4p-33, -0x1.9f655ab9dba9dp-41,
};

// cos(r) = 1 - r^2/2 + r^4 * (c0 + c1 r^2 + ... + c5 r^10) on |r| <= pi/4,
// around c0 = 1/24: error below 2^-63.
constexpr double cosCoeffs[] = {
    0x1.5555555555555p-5,   -0x1.6c16c16c16315p-10, 0x1.a01a019e39bb2p-16,
    -0x1.27e4f90b11fb0p-22, 0x1.1eea8cbd32a28p-29,  -0x1.8ffc04ef17d8ep-37,
};

// The float nearest to pi, the phase of the negative real axis.
constexpr uint32_t floatPiBits = 0x40490FDB;

template <class O>
struct Pair {
  typename O::V hi, lo;
};

// c[0] + c[1] z + ... + c[N-1] z^(N-1), Horner's rule.
template <class O, int N>
typename O::V polynomial(typename O::V z, const double (&c)[N]) {
  typename O::V p = O::splat(c[N - 1]);
  for (int i = N - 2; i >= 0; --i) p = O::madd(p, z, O::splat(c[i]));
  return p;
}

// hi + lo == a + b exactly, whatever the magnitudes.
template <class O>
Pair<O> twoSum(typename O::V a, typename O::V b) {
  const typename O::V s = O::add(a, b);
  const typename O::V bPart = O::sub(s, a);
  return {s, O::add(O::sub(a, O::sub(s, bPart)), O::sub(b, bPart))};
}

// hi + lo == a + b exactly, for |a| >= |b|.
template <class O>
Pair<O> fastTwoSum(typename O::V a, typename O::V b) {
  const typename O::V s = O::add(a, b);
  return {s, O::sub(b, O::sub(s, a))};
}

// a == hi + lo with hi of 26 significant bits and lo of 26 (Veltkamp).
template <class O>
Pair<O> split(typename O::V a) {
  const typename O::V c = O::mul(a, O::splat(134217729.0));  // 2^27 + 1
  const typename O::V hi = O::sub(c, O::sub(c, a));
  return {hi, O::sub(a, hi)};
}

// The exact a * b - p, where p is a * b rounded (Dekker without FMA).
template <class O>
typename O::V productError(typename O::V a, typename O::V b, typename O::V p) {
  if constexpr (O::fused) {
    return O::fmsub(a, b, p);
  } else {
    const Pair<O> x = split<O>(a), y = split<O>(b);
    return O::add(
        O::add(O::add(O::sub(O::mul(x.hi, y.hi), p), O::mul(x.hi, y.lo)), O::mul(x.lo, y.hi)),
        O::mul(x.lo, y.lo));
  }
}

// n / d as hi + lo to about 2^-105 relative. The remainder n - hi * d is
// exact: with FMA in one rounding; without, d has at most 27 significant
// bits (true of every caller), so both halves of the split quotient give
// exact products and n - qHi * d cancels exactly.
template <class O>
Pair<O> divide(typename O::V n, typename O::V d) {
  const typename O::V q = O::div(n, d);
  typename O::V remainder;
  if constexpr (O::fused) {
    remainder = O::sub(O::splat(0.0), O::fmsub(q, d, n));
  } else {
    const Pair<O> qs = split<O>(q);
    remainder = O::sub(O::sub(n, O::mul(qs.hi, d)), O::mul(qs.lo, d));
  }
  return {q, O::div(remainder, d)};
}

// Whether the sign bit is set (zeros and infinities included; NaN lanes are
// decided by the caller).
template <class O>
typename O::M signBitSet(typename O::V a) {
  const typename O::V one = O::splat(1.0);
  return O::lt(O::orBits(O::andBits(a, O::splat(-0.0)), one), O::splat(0.0));
}

// atan2(y, x) for doubles, every IEEE case as the C library has it.
//
// With num = min(|x|, |y|) and den = max(|x|, |y|), a = atan(num / den) lies
// in [0, pi/4]: directly by the polynomial below tan(pi/8), above it as
// pi/4 + atan((num - den) / (num + den)). For doubles widened from floats
// num - den and num + den are exact and have at most 27 bits, which divide
// relies on. The angle is then c + a or c - a with c one of 0, pi/2, pi,
// added in double + double, and takes the sign of y.
template <class O>
typename O::V atan2(typename O::V y, typename O::V x) {
  using V = typename O::V;
  using M = typename O::M;
  const V zero = O::splat(0.0), one = O::splat(1.0), inf = O::splat(INFINITY);

  const V ax = O::abs(x), ay = O::abs(y);
  const M steep = O::lt(ax, ay);
  V num = O::select(steep, ax, ay);
  V den = O::select(steep, ay, ax);
  // Pairs without a finite quotient: both infinite is ratio 1, an infinite
  // den ratio 0, and a zero num (0/0 included) ratio 0.
  const M bothInfinite = O::eq(num, inf);
  num = O::select(bothInfinite, one, num);
  den = O::select(bothInfinite, one, den);
  const M denInfinite = O::eq(den, inf);
  num = O::select(denInfinite, zero, num);
  den = O::select(denInfinite, one, den);
  den = O::select(O::eq(num, zero), one, den);

  const M upper = O::lt(O::mul(den, O::splat(tanPi8)), num);
  const Pair<O> u =
      divide<O>(O::select(upper, O::sub(num, den), num), O::select(upper, O::add(num, den), den));
  // atan(u + du) = u + u z p(z) + du / (1 + z), z = u^2.
  const V z = O::mul(u.hi, u.hi);
  const V tail =
      O::madd(O::mul(u.hi, z), polynomial<O>(z, atanCoeffs), O::mul(u.lo, O::sub(one, z)));
  const Pair<O> shifted = fastTwoSum<O>(O::splat(pi4Hi), u.hi);
  V aHi = O::select(upper, shifted.hi, u.hi);
  V aLo = O::select(upper, O::add(shifted.lo, O::add(O::splat(pi4Lo), tail)), tail);

  // Fold back: steep and x >= 0 is pi/2 - a, steep and x < 0 pi/2 + a,
  // flat and x < 0 pi - a.
  const M xNegative = signBitSet<O>(x);
  const V cHi = O::select(steep, O::splat(pi2Hi), O::select(xNegative, O::splat(piHi), zero));
  const V cLo = O::select(steep, O::splat(pi2Lo), O::select(xNegative, O::splat(piLo), zero));
  const M subtract = O::mXor(steep, xNegative);
  aHi = O::negateWhere(subtract, aHi);
  aLo = O::negateWhere(subtract, aLo);
  const Pair<O> angle = fastTwoSum<O>(cHi, aHi);  // |aHi| <= pi/4 + tiny < cHi, or cHi == 0
  V theta = O::add(angle.hi, O::add(angle.lo, O::add(cLo, aLo)));

  theta = O::negateWhere(signBitSet<O>(y), theta);
  return O::select(O::unordered(x, y), O::add(x, y), theta);
}

// sin and cos of x for |x| < reductionLimit (other lanes hold garbage).
//
// x = k pi/2 + r with |r| <= pi/4 (a hair more at ties), r as rh + rl
// exactly up to about 2^-97 (k times what pi/2's four parts leave out):
// x - k part1 is exact (a float of 0.5 or more and k part1 are both
// multiples of 2^-24, the difference below 2), the next two parts go in
// with exact two-sums, the fourth is a correction. No float below 2^29
// lies nearer a multiple of pi/2 than 2^-28 (0x1.f9cbe2p+7 is nearest, by
// an exhaustive search in 113-bit arithmetic), so r keeps about 2^-69 of
// relative accuracy where it cancels most. The polynomials take rl as a first
// order term; cos keeps the rounding errors of r^2 and of 1 - r^2/2.
template <class O>
void sinCos(typename O::V x, typename O::V& sinOut, typename O::V& cosOut) {
  using V = typename O::V;
  using M = typename O::M;
  const V zero = O::splat(0.0), one = O::splat(1.0), half = O::splat(0.5);
  const V shift = O::splat(roundingShift);

  const V k = O::sub(O::add(O::mul(x, O::splat(twoOverPi)), shift), shift);
  const V a = O::sub(x, O::mul(k, O::splat(pio2Part1)));
  const Pair<O> b = twoSum<O>(a, O::mul(k, O::splat(-pio2Part2)));
  const Pair<O> c = twoSum<O>(b.hi, O::mul(k, O::splat(-pio2Part3)));
  const V lo = O::madd(k, O::splat(-pio2Part4), O::add(b.lo, c.lo));
  const Pair<O> r = fastTwoSum<O>(c.hi, lo);

  // k mod 4 as m in {-2, -1, 0, 1, 2}: odd quadrants swap sin and cos,
  // quadrants 2 and 3 negate sin, 1 and 2 negate cos.
  const V quarter = O::sub(O::add(O::mul(k, O::splat(0.25)), shift), shift);
  const V m = O::sub(k, O::mul(quarter, O::splat(4.0)));
  const M odd = O::eq(O::abs(m), one);
  const M sinNegative = O::mOr(O::lt(m, O::splat(-0.5)), O::lt(O::splat(1.5), m));
  const M cosNegative = O::mOr(O::lt(O::splat(0.5), m), O::lt(m, O::splat(-1.5)));

  const V z = O::mul(r.hi, r.hi);
  const V zError = productError<O>(r.hi, r.hi, z);

  // sin(rh + rl) = rh + rh z s(z) + rl (1 - z/2)
  V s = O::add(r.hi, O::madd(O::mul(r.hi, z), polynomial<O>(z, sinCoeffs),
                             O::mul(r.lo, O::sub(one, O::mul(half, z)))));
  s = O::select(O::eq(x, zero), x, s);  // keeps the sign of a zero

  // cos(rh + rl) = w + ((1 - w) - z/2) + z^2 c(z) - (rh rl + zError/2),
  // w = 1 - z/2 rounded
  const V halfZ = O::mul(half, z);
  const V w = O::sub(one, halfZ);
  const V small = O::sub(O::mul(O::mul(z, z), polynomial<O>(z, cosCoeffs)),
                         O::madd(r.hi, r.lo, O::mul(half, zError)));
  const V cv = O::add(w, O::add(O::sub(O::sub(one, w), halfZ), small));

  sinOut = O::negateWhere(sinNegative, O::select(odd, cv, s));
  cosOut = O::negateWhere(cosNegative, O::select(odd, s, cv));
}

// An element on the real axis (im == +0 or -0): the magnitude is re's bit
// pattern or its negation, the phase +0 or the float nearest to pi. Bits
// are moved as integers so that a signalling NaN stays what it is.
inline void polarOfRealAxis(const float* element, float* mag, float* phase) {
  uint32_t re;
  std::memcpy(&re, element, sizeof re);
  uint32_t m = re, p = 0;
  if ((re & 0x7FFFFFFFu) == 0) {
    m = 0;
  } else if ((re & 0x80000000u) != 0) {
    m = re ^ 0x80000000u;
    p = floatPiBits;
  }
  std::memcpy(mag, &m, sizeof m);
  std::memcpy(phase, &p, sizeof p);
}

// `width` elements of nspcbCartToPolar. The real-axis rule is applied
// afterwards from src, which must not overlap mag or phase.
template <class O>
void cartToPolarBlock(const float* src, float* mag, float* phase) {
  typename O::V re, im;
  O::loadComplex(src, re, im);
  O::store(mag, O::sqrt(O::add(O::mul(re, re), O::mul(im, im))));
  O::store(phase, atan2<O>(im, re));
  unsigned onAxis = O::lanes(O::eq(im, O::splat(0.0)));
  for (int i = 0; onAxis != 0; ++i, onAxis >>= 1) {
    if ((onAxis & 1) != 0) polarOfRealAxis(src + 2 * i, mag + i, phase + i);
  }
}

// `width` elements of nspcbPolarToCart. Large phases and NaN are redone
// with the C library from mag and phase, which must not overlap dst.
template <class O>
void polarToCartBlock(const float* mag, const float* phase, float* dst) {
  const typename O::V m = O::load(mag);
  const typename O::V x = O::load(phase);
  typename O::V s, c;
  sinCos<O>(x, s, c);
  O::storeComplex(dst, O::mul(c, m), O::mul(s, m));
  constexpr unsigned all = (1u << O::width) - 1;
  unsigned far = ~O::lanes(O::lt(O::abs(x), O::splat(reductionLimit))) & all;
  for (int i = 0; far != 0; ++i, far >>= 1) {
    if ((far & 1) == 0) continue;
    const double angle = phase[i];
    const double length = mag[i];
    dst[2 * i] = static_cast<float>(std::cos(angle) * length);
    dst[2 * i + 1] = static_cast<float>(std::sin(angle) * length);
  }
}

// Whole vectors, for outputs that overlap no input. What is left over goes
// to the half-width type where there is one, else through copies padded
// with zeros.
template <class O>
void cartToPolarRun(const ComplexFloat* src, float* mag, float* phase, int length) {
  constexpr int w = O::width;
  const float* in = reinterpret_cast<const float*>(src);
  int i = 0;
  for (; length - i >= w; i += w) cartToPolarBlock<O>(in + 2 * i, mag + i, phase + i);
  if (i == length) return;
  if constexpr (requires { typename O::Half; }) {
    cartToPolarRun<typename O::Half>(src + i, mag + i, phase + i, length - i);
  } else {
    const size_t rest = static_cast<size_t>(length - i);
    float part[2 * w] = {}, partMag[w], partPhase[w];
    std::memcpy(part, in + 2 * i, rest * 2 * sizeof(float));
    cartToPolarBlock<O>(part, partMag, partPhase);
    std::memcpy(mag + i, partMag, rest * sizeof(float));
    std::memcpy(phase + i, partPhase, rest * sizeof(float));
  }
}

template <class O>
void polarToCartRun(const float* mag, const float* phase, ComplexFloat* dst, int length) {
  constexpr int w = O::width;
  float* out = reinterpret_cast<float*>(dst);
  int i = 0;
  for (; length - i >= w; i += w) polarToCartBlock<O>(mag + i, phase + i, out + 2 * i);
  if (i == length) return;
  if constexpr (requires { typename O::Half; }) {
    polarToCartRun<typename O::Half>(mag + i, phase + i, dst + i, length - i);
  } else {
    const size_t rest = static_cast<size_t>(length - i);
    float partMag[w] = {}, partPhase[w] = {}, part[2 * w];
    std::memcpy(partMag, mag + i, rest * sizeof(float));
    std::memcpy(partPhase, phase + i, rest * sizeof(float));
    polarToCartBlock<O>(partMag, partPhase, part);
    std::memcpy(out + 2 * i, part, rest * 2 * sizeof(float));
  }
}

}  // namespace polar
}  // namespace

#endif
