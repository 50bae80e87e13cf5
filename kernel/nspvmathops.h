// Vector operations on doubles, for the polar conversions' elementary
// functions (nspvmathpolar.h).
//
// Each type below holds `width` doubles in one register and spells the same
// operations: arithmetic, a multiply-add, comparisons giving a lane mask,
// selection by mask, bit operations on the IEEE patterns, and loads and
// stores that widen floats to doubles and round doubles to floats (planar,
// and interleaved complex). The elementary functions are written once
// against these names.
//
//   MathScalar  one double; every platform.
//   MathSse2    two doubles; x86 with SSE2 (every x86-64 target, and 32-bit
//               targets built with -msse2).
//   MathAvx2    four doubles with FMA; only in the translation unit compiled
//               for AVX2 and FMA, chosen at run time by a CPU check.
//   MathAvx512  eight doubles; only in the translation unit compiled for
//               AVX-512F, chosen at run time by a CPU check.
//   Twice<O>    two registers of O, operated on in step (see below); Half
//               names O, for what is left over.
//
// `fused` tells whether madd rounds once; only the fused types have fmsub
// (a * b - c, one rounding). Code that needs the exact error of a product
// uses fmsub where it exists and splits the operands otherwise.
//
// Everything here has internal linkage: each translation unit that includes
// this gets its own copy, so no AVX-encoded function can be picked by the
// linker for code that runs on a CPU without AVX. The files that include it
// are compiled with -ffp-contract=off, so separate multiplies and adds stay
// separate roundings on every path.
#ifndef VORTIGEN_KERNEL_NSPVMATHOPS_H
#define VORTIGEN_KERNEL_NSPVMATHOPS_H

#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__AVX2__) && defined(__FMA__)) || defined(__AVX512F__)
// GCC 12's AVX-512 intrinsics start from a self-initialised "undefined"
// vector that its own -Wuninitialized then flags; the warning is about the
// header, not about us.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace {

struct MathScalar {
  static constexpr int width = 1;
  static constexpr bool fused = false;
  using V = double;
  using M = bool;

  static V splat(double x) { return x; }
  static V add(V a, V b) { return a + b; }
  static V sub(V a, V b) { return a - b; }
  static V mul(V a, V b) { return a * b; }
  static V div(V a, V b) { return a / b; }
  static V sqrt(V a) { return std::sqrt(a); }
  static V madd(V a, V b, V c) { return a * b + c; }
  static V abs(V a) { return std::fabs(a); }
  static V andBits(V a, V b) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(a) & std::bit_cast<uint64_t>(b));
  }
  static V orBits(V a, V b) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(a) | std::bit_cast<uint64_t>(b));
  }
  static V negateWhere(M m, V a) { return m ? -a : a; }
  static V select(M m, V a, V b) { return m ? a : b; }
  static M lt(V a, V b) { return a < b; }
  static M eq(V a, V b) { return a == b; }
  static M unordered(V a, V b) { return std::isnan(a) || std::isnan(b); }
  static M mOr(M a, M b) { return a || b; }
  static M mAnd(M a, M b) { return a && b; }
  static M mXor(M a, M b) { return a != b; }
  static unsigned lanes(M m) { return m ? 1u : 0u; }

  static V load(const float* p) { return p[0]; }
  static void store(float* p, V a) { p[0] = static_cast<float>(a); }
  static void loadComplex(const float* p, V& re, V& im) {
    re = p[0];
    im = p[1];
  }
  static void storeComplex(float* p, V re, V im) {
    p[0] = static_cast<float>(re);
    p[1] = static_cast<float>(im);
  }
};

#if defined(__SSE2__)
struct MathSse2 {
  static constexpr int width = 2;
  static constexpr bool fused = false;
  using V = __m128d;
  using M = __m128d;

  static V splat(double x) { return _mm_set1_pd(x); }
  static V add(V a, V b) { return _mm_add_pd(a, b); }
  static V sub(V a, V b) { return _mm_sub_pd(a, b); }
  static V mul(V a, V b) { return _mm_mul_pd(a, b); }
  static V div(V a, V b) { return _mm_div_pd(a, b); }
  static V sqrt(V a) { return _mm_sqrt_pd(a); }
  static V madd(V a, V b, V c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
  static V abs(V a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
  static V andBits(V a, V b) { return _mm_and_pd(a, b); }
  static V orBits(V a, V b) { return _mm_or_pd(a, b); }
  static V negateWhere(M m, V a) { return _mm_xor_pd(a, _mm_and_pd(m, _mm_set1_pd(-0.0))); }
  static V select(M m, V a, V b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
  static M lt(V a, V b) { return _mm_cmplt_pd(a, b); }
  static M eq(V a, V b) { return _mm_cmpeq_pd(a, b); }
  static M unordered(V a, V b) { return _mm_cmpunord_pd(a, b); }
  static M mOr(M a, M b) { return _mm_or_pd(a, b); }
  static M mAnd(M a, M b) { return _mm_and_pd(a, b); }
  static M mXor(M a, M b) { return _mm_xor_pd(a, b); }
  static unsigned lanes(M m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }

  static V load(const float* p) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  }
  static void store(float* p, V a) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(a)));
  }
  // (re0 im0 re1 im1) -> (re0 re1), (im0 im1)
  static void loadComplex(const float* p, V& re, V& im) {
    const __m128 v = _mm_loadu_ps(p);
    const __m128 planar = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 1, 2, 0));
    re = _mm_cvtps_pd(planar);
    im = _mm_cvtps_pd(_mm_movehl_ps(planar, planar));
  }
  static void storeComplex(float* p, V re, V im) {
    _mm_storeu_ps(p, _mm_unpacklo_ps(_mm_cvtpd_ps(re), _mm_cvtpd_ps(im)));
  }
};
#endif

#if defined(__AVX2__) && defined(__FMA__)
struct MathAvx2 {
  static constexpr int width = 4;
  static constexpr bool fused = true;
  using V = __m256d;
  using M = __m256d;

  static V splat(double x) { return _mm256_set1_pd(x); }
  static V add(V a, V b) { return _mm256_add_pd(a, b); }
  static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
  static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
  static V div(V a, V b) { return _mm256_div_pd(a, b); }
  static V sqrt(V a) { return _mm256_sqrt_pd(a); }
  static V madd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
  static V fmsub(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
  static V abs(V a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static V andBits(V a, V b) { return _mm256_and_pd(a, b); }
  static V orBits(V a, V b) { return _mm256_or_pd(a, b); }
  static V negateWhere(M m, V a) {
    return _mm256_xor_pd(a, _mm256_and_pd(m, _mm256_set1_pd(-0.0)));
  }
  static V select(M m, V a, V b) { return _mm256_blendv_pd(b, a, m); }
  static M lt(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static M eq(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
  static M unordered(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_UNORD_Q); }
  static M mOr(M a, M b) { return _mm256_or_pd(a, b); }
  static M mAnd(M a, M b) { return _mm256_and_pd(a, b); }
  static M mXor(M a, M b) { return _mm256_xor_pd(a, b); }
  static unsigned lanes(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }

  static V load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
  static void store(float* p, V a) { _mm_storeu_ps(p, _mm256_cvtpd_ps(a)); }
  // (re0 im0 ... re3 im3) -> (re0..re3), (im0..im3)
  static void loadComplex(const float* p, V& re, V& im) {
    const __m256 planar =
        _mm256_permutevar8x32_ps(_mm256_loadu_ps(p), _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    re = _mm256_cvtps_pd(_mm256_castps256_ps128(planar));
    im = _mm256_cvtps_pd(_mm256_extractf128_ps(planar, 1));
  }
  static void storeComplex(float* p, V re, V im) {
    const __m128 r = _mm256_cvtpd_ps(re);
    const __m128 i = _mm256_cvtpd_ps(im);
    _mm_storeu_ps(p, _mm_unpacklo_ps(r, i));
    _mm_storeu_ps(p + 4, _mm_unpackhi_ps(r, i));
  }
};
#endif

#if defined(__AVX512F__)
struct MathAvx512 {
  static constexpr int width = 8;
  static constexpr bool fused = true;
  using V = __m512d;
  using M = __mmask8;

  static __m512i bits(V a) { return _mm512_castpd_si512(a); }
  static V real(__m512i a) { return _mm512_castsi512_pd(a); }

  static V splat(double x) { return _mm512_set1_pd(x); }
  static V add(V a, V b) { return _mm512_add_pd(a, b); }
  static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
  static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
  static V div(V a, V b) { return _mm512_div_pd(a, b); }
  static V sqrt(V a) { return _mm512_sqrt_pd(a); }
  static V madd(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
  static V fmsub(V a, V b, V c) { return _mm512_fmsub_pd(a, b, c); }
  static V abs(V a) { return real(_mm512_and_si512(bits(a), _mm512_set1_epi64(INT64_MAX))); }
  static V andBits(V a, V b) { return real(_mm512_and_si512(bits(a), bits(b))); }
  static V orBits(V a, V b) { return real(_mm512_or_si512(bits(a), bits(b))); }
  static V negateWhere(M m, V a) {
    return real(_mm512_mask_xor_epi64(bits(a), m, bits(a), _mm512_set1_epi64(INT64_MIN)));
  }
  static V select(M m, V a, V b) { return _mm512_mask_blend_pd(m, b, a); }
  static M lt(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static M eq(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
  static M unordered(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_UNORD_Q); }
  static M mOr(M a, M b) { return static_cast<M>(a | b); }
  static M mAnd(M a, M b) { return static_cast<M>(a & b); }
  static M mXor(M a, M b) { return static_cast<M>(a ^ b); }
  static unsigned lanes(M m) { return m; }

  static V load(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
  static void store(float* p, V a) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(a)); }
  // (re0 im0 ... re7 im7) -> (re0..re7), (im0..im7)
  static void loadComplex(const float* p, V& re, V& im) {
    const __m512i order = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m512d planar = _mm512_castps_pd(_mm512_permutexvar_ps(order, _mm512_loadu_ps(p)));
    re = _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_castpd512_pd256(planar)));
    im = _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(planar, 1)));
  }
  static void storeComplex(float* p, V re, V im) {
    const __m512i order = _mm512_setr_epi32(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    const __m512d both =
        _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_castps_pd(_mm512_cvtpd_ps(re))),
                           _mm256_castps_pd(_mm512_cvtpd_ps(im)), 1);
    _mm512_storeu_ps(p, _mm512_permutexvar_ps(order, _mm512_castpd_ps(both)));
  }
};
#endif

// Two registers of O side by side, each operation applied to both: the
// instruction stream then interleaves two independent dependency chains,
// which the long polynomial and division chains need to keep the units
// busy. Lanes of the second register follow those of the first.
template <class O>
struct Twice {
  using Half = O;
  static constexpr int width = 2 * O::width;
  static constexpr bool fused = O::fused;
  struct V {
    typename O::V a, b;
  };
  struct M {
    typename O::M a, b;
  };

  static V splat(double x) { return {O::splat(x), O::splat(x)}; }
  static V add(V x, V y) { return {O::add(x.a, y.a), O::add(x.b, y.b)}; }
  static V sub(V x, V y) { return {O::sub(x.a, y.a), O::sub(x.b, y.b)}; }
  static V mul(V x, V y) { return {O::mul(x.a, y.a), O::mul(x.b, y.b)}; }
  static V div(V x, V y) { return {O::div(x.a, y.a), O::div(x.b, y.b)}; }
  static V sqrt(V x) { return {O::sqrt(x.a), O::sqrt(x.b)}; }
  static V madd(V x, V y, V z) { return {O::madd(x.a, y.a, z.a), O::madd(x.b, y.b, z.b)}; }
  static V fmsub(V x, V y, V z) { return {O::fmsub(x.a, y.a, z.a), O::fmsub(x.b, y.b, z.b)}; }
  static V abs(V x) { return {O::abs(x.a), O::abs(x.b)}; }
  static V andBits(V x, V y) { return {O::andBits(x.a, y.a), O::andBits(x.b, y.b)}; }
  static V orBits(V x, V y) { return {O::orBits(x.a, y.a), O::orBits(x.b, y.b)}; }
  static V negateWhere(M m, V x) { return {O::negateWhere(m.a, x.a), O::negateWhere(m.b, x.b)}; }
  static V select(M m, V x, V y) { return {O::select(m.a, x.a, y.a), O::select(m.b, x.b, y.b)}; }
  static M lt(V x, V y) { return {O::lt(x.a, y.a), O::lt(x.b, y.b)}; }
  static M eq(V x, V y) { return {O::eq(x.a, y.a), O::eq(x.b, y.b)}; }
  static M unordered(V x, V y) { return {O::unordered(x.a, y.a), O::unordered(x.b, y.b)}; }
  static M mOr(M x, M y) { return {O::mOr(x.a, y.a), O::mOr(x.b, y.b)}; }
  static M mAnd(M x, M y) { return {O::mAnd(x.a, y.a), O::mAnd(x.b, y.b)}; }
  static M mXor(M x, M y) { return {O::mXor(x.a, y.a), O::mXor(x.b, y.b)}; }
  static unsigned lanes(M m) { return O::lanes(m.a) | (O::lanes(m.b) << O::width); }

  static V load(const float* p) { return {O::load(p), O::load(p + O::width)}; }
  static void store(float* p, V x) {
    O::store(p, x.a);
    O::store(p + O::width, x.b);
  }
  static void loadComplex(const float* p, V& re, V& im) {
    O::loadComplex(p, re.a, im.a);
    O::loadComplex(p + 2 * O::width, re.b, im.b);
  }
  static void storeComplex(float* p, V re, V im) {
    O::storeComplex(p, re.a, im.a);
    O::storeComplex(p + 2 * O::width, re.b, im.b);
  }
};

}  // namespace

#endif
