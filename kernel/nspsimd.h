// Vector operations on interleaved complex floats, for the FFT stages.
//
// Each vector type holds `width` ComplexFloat values, real and imaginary
// parts interleaved as in memory, and spells the same handful of operations:
// load/store, add/subtract, multiplication by a twiddle or by its conjugate
// or by a real factor,
// rotation by -i or +i, conjugation, lane reversal, strided twiddle gathers,
// and the 4 x width transpose that the first radix-4 stage needs. The FFT
// stages are written once against these names.
//
//   VecScalar  one complex value; every platform.
//   VecSse2    two complex values; x86 with SSE2 (every x86-64 target, and
//              32-bit targets built with -msse2).
//   VecAvx2    four complex values with FMA; only in the translation unit
//              compiled for AVX2, chosen at run time by a CPU check.
//
// Everything here has internal linkage: the AVX2 translation unit and the
// baseline one each get their own copy, so no AVX-encoded function can be
// picked by the linker for code that runs on a CPU without AVX.
#ifndef VORTIGEN_KERNEL_NSPSIMD_H
#define VORTIGEN_KERNEL_NSPSIMD_H

#include <cstdint>

#include "nsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__AVX2__) && defined(__FMA__)
#include <immintrin.h>
#endif

namespace {

struct VecScalar {
  static constexpr int width = 1;
  struct Reg {
    float re, im;
  };

  static Reg load(const ComplexFloat* p) { return {p->re, p->im}; }
  static void store(ComplexFloat* p, Reg a) { *p = {a.re, a.im}; }
  static Reg add(Reg a, Reg b) { return {a.re + b.re, a.im + b.im}; }
  static Reg sub(Reg a, Reg b) { return {a.re - b.re, a.im - b.im}; }
  // a * w
  static Reg mul(Reg a, Reg w) { return {a.re * w.re - a.im * w.im, a.im * w.re + a.re * w.im}; }
  // a * conj(w)
  static Reg mulConj(Reg a, Reg w) {
    return {a.re * w.re + a.im * w.im, a.im * w.re - a.re * w.im};
  }
  // a * s for a real s
  static Reg scale(Reg a, float s) { return {a.re * s, a.im * s}; }
  static Reg mulNegI(Reg a) { return {a.im, -a.re}; }
  static Reg mulPosI(Reg a) { return {-a.im, a.re}; }
  static Reg conj(Reg a) { return {a.re, -a.im}; }
  static Reg swapReIm(Reg a) { return {a.im, a.re}; }
  static Reg reverse(Reg a) { return a; }
  // Lane 0 (the first complex value) from a, the other lanes from b.
  static Reg firstFrom(Reg a, Reg) { return a; }
  // Lane j from the float pair at p + j * stride.
  static Reg gather(const float* p, int) { return {p[0], p[1]}; }
  // Turns `width` groups of four consecutive values (r0..r3 as loaded) into
  // x0..x3, x_i holding element i of every group; unzip4 undoes it.
  static void zip4(Reg&, Reg&, Reg&, Reg&) {}
  static void unzip4(Reg&, Reg&, Reg&, Reg&) {}
};

#if defined(__SSE2__)
struct VecSse2 {
  static constexpr int width = 2;
  using Reg = __m128;

  static Reg signRe() { return _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN)); }
  static Reg signIm() { return _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)); }
  static Reg swapReIm(Reg a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1)); }

  static Reg load(const ComplexFloat* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }
  static void store(ComplexFloat* p, Reg a) { _mm_storeu_ps(reinterpret_cast<float*>(p), a); }
  static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
  static Reg mul(Reg a, Reg w) {
    const Reg wr = _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
    const Reg wi = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
    return _mm_add_ps(_mm_mul_ps(a, wr), _mm_xor_ps(_mm_mul_ps(swapReIm(a), wi), signRe()));
  }
  static Reg mulConj(Reg a, Reg w) {
    const Reg wr = _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
    const Reg wi = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
    return _mm_add_ps(_mm_mul_ps(a, wr), _mm_xor_ps(_mm_mul_ps(swapReIm(a), wi), signIm()));
  }
  static Reg scale(Reg a, float s) { return _mm_mul_ps(a, _mm_set1_ps(s)); }
  static Reg mulNegI(Reg a) { return _mm_xor_ps(swapReIm(a), signIm()); }
  static Reg mulPosI(Reg a) { return _mm_xor_ps(swapReIm(a), signRe()); }
  static Reg conj(Reg a) { return _mm_xor_ps(a, signIm()); }
  static Reg reverse(Reg a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 0, 3, 2)); }
  static Reg firstFrom(Reg a, Reg b) {
    return _mm_castpd_ps(_mm_move_sd(_mm_castps_pd(b), _mm_castps_pd(a)));
  }
  static __m128i pair(const float* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static Reg gather(const float* p, int stride) {
    return _mm_castsi128_ps(_mm_unpacklo_epi64(pair(p), pair(p + stride)));
  }
  static Reg lows(Reg a, Reg b) { return _mm_movelh_ps(a, b); }
  static Reg highs(Reg a, Reg b) { return _mm_movehl_ps(b, a); }
  static void zip4(Reg& r0, Reg& r1, Reg& r2, Reg& r3) {
    const Reg x0 = lows(r0, r2), x1 = highs(r0, r2), x2 = lows(r1, r3), x3 = highs(r1, r3);
    r0 = x0, r1 = x1, r2 = x2, r3 = x3;
  }
  static void unzip4(Reg& x0, Reg& x1, Reg& x2, Reg& x3) {
    const Reg r0 = lows(x0, x1), r1 = lows(x2, x3), r2 = highs(x0, x1), r3 = highs(x2, x3);
    x0 = r0, x1 = r1, x2 = r2, x3 = r3;
  }
};
#endif

#if defined(__AVX2__) && defined(__FMA__)
struct VecAvx2 {
  static constexpr int width = 4;
  using Reg = __m256;

  static Reg load(const ComplexFloat* p) {
    return _mm256_loadu_ps(reinterpret_cast<const float*>(p));
  }
  static void store(ComplexFloat* p, Reg a) { _mm256_storeu_ps(reinterpret_cast<float*>(p), a); }
  static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
  static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
  static Reg swapReIm(Reg a) { return _mm256_permute_ps(a, _MM_SHUFFLE(2, 3, 0, 1)); }
  static Reg mul(Reg a, Reg w) {
    const Reg wr = _mm256_moveldup_ps(w), wi = _mm256_movehdup_ps(w);
    return _mm256_fmaddsub_ps(a, wr, _mm256_mul_ps(swapReIm(a), wi));
  }
  static Reg mulConj(Reg a, Reg w) {
    const Reg wr = _mm256_moveldup_ps(w), wi = _mm256_movehdup_ps(w);
    return _mm256_fmsubadd_ps(a, wr, _mm256_mul_ps(swapReIm(a), wi));
  }
  static Reg signRe() { return _mm256_castsi256_ps(_mm256_set1_epi64x(0x80000000LL)); }
  static Reg signIm() {
    return _mm256_castsi256_ps(_mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ULL)));
  }
  static Reg scale(Reg a, float s) { return _mm256_mul_ps(a, _mm256_set1_ps(s)); }
  static Reg mulNegI(Reg a) { return _mm256_xor_ps(swapReIm(a), signIm()); }
  static Reg mulPosI(Reg a) { return _mm256_xor_ps(swapReIm(a), signRe()); }
  static Reg conj(Reg a) { return _mm256_xor_ps(a, signIm()); }
  static Reg reverse(Reg a) {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(a), _MM_SHUFFLE(0, 1, 2, 3)));
  }
  static Reg firstFrom(Reg a, Reg b) { return _mm256_blend_ps(b, a, 0x03); }
  static __m128i pair(const float* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static Reg gather(const float* p, int stride) {
    const __m128i lo = _mm_unpacklo_epi64(pair(p), pair(p + stride));
    const __m128i hi = _mm_unpacklo_epi64(pair(p + 2 * stride), pair(p + 3 * stride));
    return _mm256_castsi256_ps(_mm256_set_m128i(hi, lo));
  }
  // The three twiddles of four consecutive radix table entries (six floats
  // each: u, u^2, u^3) from three loads: with the 24 floats as the complex
  // values a0..a3, b0..b3, c0..c3, u = (a0, a3, b2, c1), u^2 = (a1, b0, b3,
  // c2) and u^3 = (a2, b1, c0, c3), each put together by two blends and one
  // permutation.
  static void consecutiveTwiddles(const float* e, Reg& u1, Reg& u2, Reg& u3) {
    const __m256d a = _mm256_loadu_pd(reinterpret_cast<const double*>(e));
    const __m256d b = _mm256_loadu_pd(reinterpret_cast<const double*>(e + 8));
    const __m256d c = _mm256_loadu_pd(reinterpret_cast<const double*>(e + 16));
    const __m256d first = _mm256_blend_pd(_mm256_blend_pd(a, b, 0b0100), c, 0b0010);  // a0 c1 b2 a3
    const __m256d second =
        _mm256_blend_pd(_mm256_blend_pd(b, a, 0b0010), c, 0b0100);                    // b0 a1 c2 b3
    const __m256d third = _mm256_blend_pd(_mm256_blend_pd(c, b, 0b0010), a, 0b0100);  // c0 b1 a2 c3
    u1 = _mm256_castpd_ps(_mm256_permute4x64_pd(first, _MM_SHUFFLE(1, 2, 3, 0)));
    u2 = _mm256_castpd_ps(_mm256_permute4x64_pd(second, _MM_SHUFFLE(2, 3, 0, 1)));
    u3 = _mm256_castpd_ps(_mm256_permute4x64_pd(third, _MM_SHUFFLE(3, 0, 1, 2)));
  }
  // A 4 x 4 transpose of complex values; it is its own inverse.
  static void transpose(Reg& r0, Reg& r1, Reg& r2, Reg& r3) {
    const __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(r0), _mm256_castps_pd(r1));
    const __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(r0), _mm256_castps_pd(r1));
    const __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(r2), _mm256_castps_pd(r3));
    const __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(r2), _mm256_castps_pd(r3));
    r0 = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
    r1 = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
    r2 = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
    r3 = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
  }
  static void zip4(Reg& r0, Reg& r1, Reg& r2, Reg& r3) { transpose(r0, r1, r2, r3); }
  static void unzip4(Reg& r0, Reg& r1, Reg& r2, Reg& r3) { transpose(r0, r1, r2, r3); }
};
#endif

// Direction-dependent forms: forward transforms use the stored twiddles and
// the rotation by -i, inverse ones the conjugate twiddles and +i.
template <class V, bool Forward>
typename V::Reg twiddle(typename V::Reg a, typename V::Reg w) {
  if constexpr (Forward) {
    return V::mul(a, w);
  } else {
    return V::mulConj(a, w);
  }
}

template <class V, bool Forward>
typename V::Reg rotate(typename V::Reg a) {
  if constexpr (Forward) {
    return V::mulNegI(a);
  } else {
    return V::mulPosI(a);
  }
}

}  // namespace

#endif
