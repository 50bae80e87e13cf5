// Polar conversions against the C library's double functions rounded to
// float, on every instruction-set variant this machine runs.
//
// Each variant must give the C library's float bit for bit, except at a
// rounding tie: the exact value lies so close to the midpoint between two
// floats that two double results, each within an ulp of double, may round
// to different sides. A tie is shown with the exact value from long double
// (64-bit significand here) and counted; any other difference fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "nsp.h"
#include "nspvmath.h"
#include "nspvmathpolar.h"

namespace {

// Ten million and more per routine; Debug builds (sanitizers, no
// optimisation) check a tenth.
#ifdef NDEBUG
constexpr int kCount = 10 << 20;
#else
constexpr int kCount = 1 << 20;
#endif
constexpr int kChunk = 1 << 16;

float fromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

uint32_t toBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// splitmix64: fast, and the same sequence everywhere.
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  // Random sign and mantissa, biased exponent in [lo, hi] (0 is subnormal).
  float anyFloat(int lo, int hi) {
    const uint64_t r = next();
    const uint32_t exponent = static_cast<uint32_t>(lo + below(hi - lo + 1));
    return fromBits(static_cast<uint32_t>(r & 0x807FFFFFu) | (exponent << 23));
  }
  // A float a few ulps away from f (either way).
  float nudge(float f) {
    const int steps = below(7) - 3;
    for (int i = 0; i < steps; ++i) f = std::nextafter(f, INFINITY);
    for (int i = 0; i > steps; --i) f = std::nextafter(f, -INFINITY);
    return f;
  }
};

const float specials[] = {
    0.0f,
    -0.0f,
    INFINITY,
    -INFINITY,
    NAN,
    -NAN,
    fromBits(0x7F800001u),
    fromBits(0xFF800001u),
    FLT_MAX,
    -FLT_MAX,
    FLT_MIN,
    -FLT_MIN,
    fromBits(1u),
    fromBits(0x80000001u),
    fromBits(0x007FFFFFu),
    1.0f,
    -1.0f,
    3.1415927f,
    -3.1415927f,
};
constexpr int kSpecials = sizeof specials / sizeof specials[0];

// Complex inputs: everywhere, like spectra, close to either axis, close to
// the diagonal and to the ratio tan(pi/8) where the arctangent changes
// method, equal magnitudes, and special values.
ComplexFloat complexInput(Random& r) {
  float re, im;
  switch (r.below(9)) {
    case 0:
      re = r.anyFloat(0, 254);
      im = r.anyFloat(0, 254);
      break;
    case 1:
    case 2:
      re = r.anyFloat(87, 167);
      im = r.anyFloat(87, 167);
      break;
    case 3:
      re = r.anyFloat(60, 200);
      im = re * std::ldexp(static_cast<float>(r.unit()), -r.below(150)) * (r.below(2) ? 1 : -1);
      if (r.below(2)) std::swap(re, im);
      break;
    case 4:
      re = r.anyFloat(30, 230);
      im = r.nudge(r.below(2) ? re : -re);
      break;
    case 5:
      re = r.anyFloat(30, 230);
      im = r.nudge(static_cast<float>(re * 0.41421356237309504 * (r.below(2) ? 1 : -1)));
      if (r.below(2)) std::swap(re, im);
      break;
    case 6:
      re = r.anyFloat(1, 254);
      im = r.below(2) ? re : -re;
      break;
    case 7:
      re = specials[r.below(kSpecials)];
      im = r.below(2) ? specials[r.below(kSpecials)] : r.anyFloat(0, 254);
      if (r.below(2)) std::swap(re, im);
      break;
    default:
      re = r.anyFloat(0, 254);
      im = specials[r.below(4)];  // on the real axis
      break;
  }
  return {re, im};
}

// Phases: the plug-ins' range, every magnitude, close to multiples of pi/2
// (where the reduction cancels most), around the reduction's limit and the
// limit it had before (2^20), and special values.
float phaseInput(Random& r) {
  switch (r.below(6)) {
    case 0:
    case 1: return static_cast<float>((2 * r.unit() - 1) * 3.14159265358979323846);
    case 2: return r.anyFloat(0, 254);
    case 3: {
      const int bits = r.below(30);
      const long double k = static_cast<long double>(r.next() % (uint64_t{1} << bits));
      const float near = static_cast<float>(k * 1.57079632679489661923132169163975144L);
      return r.nudge(r.below(2) ? near : -near);
    }
    case 4: {
      const float limit = r.below(2) ? static_cast<float>(polar::reductionLimit) : 0x1p20f;
      return r.nudge(std::ldexp(r.below(2) ? limit : -limit, -r.below(2)));
    }
    default: return r.below(4) ? r.anyFloat(100, 150) : specials[r.below(kSpecials)];
  }
}

float magnitudeInput(Random& r) {
  if (r.below(16) == 0) return specials[r.below(kSpecials)];
  return r.below(2) ? r.anyFloat(0, 254) : r.anyFloat(97, 157);
}

// The elements on the real axis: bit patterns, no arithmetic.
void realAxisRule(float re, float* mag, float* phase) {
  const uint32_t bits = toBits(re);
  if ((bits & 0x7FFFFFFFu) == 0) {
    *mag = 0.0f;
    *phase = 0.0f;
  } else if ((bits & 0x80000000u) == 0) {
    *mag = re;
    *phase = 0.0f;
  } else {
    *mag = fromBits(bits ^ 0x80000000u);
    *phase = fromBits(0x40490FDBu);
  }
}

// The definitions with the C library's double functions.
void libraryCartToPolar(const ComplexFloat& c, float* mag, float* phase) {
  if (c.im != 0.0f) {
    const double re = c.re, im = c.im;
    *mag = static_cast<float>(std::sqrt(re * re + im * im));
    *phase = static_cast<float>(std::atan2(im, re));
  } else {
    realAxisRule(c.re, mag, phase);
  }
}

ComplexFloat libraryPolarToCart(float mag, float phase) {
  const double angle = phase, length = mag;
  return {static_cast<float>(std::cos(angle) * length),
          static_cast<float>(std::sin(angle) * length)};
}

bool same(float a, float b) { return toBits(a) == toBits(b) || (std::isnan(a) && std::isnan(b)); }

// Whether ours and the library's result are the two floats around a
// midpoint that the exact value lies within 2^-50 (relative) of. Both
// double results are within about 2 ulps of double (2^-51) of the exact
// value, products included, so only such a value can round apart.
bool roundingTie(float ours, float library, long double exact) {
  if (!std::isfinite(ours) || !std::isfinite(library)) return false;
  if (std::nextafter(library, ours) != ours) return false;
  const long double midpoint = (static_cast<long double>(ours) + library) / 2;
  return std::fabs(exact - midpoint) <= std::fabs(midpoint) * 0x1p-50L;
}

struct Tally {
  long long values = 0, ties = 0, faults = 0;
  std::vector<std::string> firstFaults;

  // input: the two floats the result was made from.
  void check(const char* isa, const char* what, float ours, float library, long double exact,
             bool tiesPossible, float input0, float input1) {
    ++values;
    if (same(ours, library)) return;
    if (tiesPossible && roundingTie(ours, library, exact)) {
      ++ties;
      return;
    }
    ++faults;
    if (firstFaults.size() < 12) {
      std::ostringstream out;
      out << isa << " " << what << " of " << std::hexfloat << "(" << input0 << ", " << input1
          << "): " << ours << " vs library " << library << ", exact " << static_cast<double>(exact);
      firstFaults.push_back(out.str());
    }
  }
};

// The variants this machine runs, scalar first.
std::vector<int> variants() {
  std::vector<int> isas;
  for (int isa : nspIsaAll) {
    if (nspPolarKernelsFor(isa) != nullptr) isas.push_back(isa);
  }
  return isas;
}

// Selects each variant in turn and restores the automatic choice.
class PolarVariants : public ::testing::Test {
 public:
  static void report(const std::string& routine, const std::string& isa, const Tally& tally) {
    std::cout << routine << " [" << isa << "]: " << tally.values << " values, " << tally.ties
              << " rounding ties, " << tally.faults << " other differences\n";
    for (const std::string& fault : tally.firstFaults) std::cout << "  " << fault << "\n";
  }

 protected:
  void SetUp() override { initial_ = &nspPolarKernels(); }
  void TearDown() override {
    for (int isa : variants()) {
      if (nspPolarKernelsFor(isa) == initial_) nspPolarSelectIsa(isa);
    }
  }

 private:
  const NspPolarKernels* initial_ = nullptr;
};

// Call lengths cycle through 1..40 (every tail of every width and start
// alignment) and spectrum sizes.
int callLength(int call) {
  static const int lengths[] = {129, 257, 513, 1000};
  return call % 5 == 4 ? lengths[(call / 5) % 4] : 1 + call % 40;
}

TEST_F(PolarVariants, CartToPolarMatchesTheCLibraryExceptRoundingTies) {
  const std::vector<int> isas = variants();
  std::vector<Tally> tallies(isas.size());
  std::vector<ComplexFloat> src(kChunk);
  std::vector<float> wantMag(kChunk), wantPhase(kChunk), mag(kChunk), phase(kChunk);
  Random random{1};

  for (int done = 0; done < kCount; done += kChunk) {
    for (int i = 0; i < kChunk; ++i) {
      src[i] = complexInput(random);
      libraryCartToPolar(src[i], &wantMag[i], &wantPhase[i]);
    }
    for (size_t v = 0; v < isas.size(); ++v) {
      ASSERT_TRUE(nspPolarSelectIsa(isas[v]));
      const char* name = nspPolarKernels().name;
      for (int at = 0, call = done / 7; at < kChunk; ++call) {
        const int n = std::min(callLength(call), kChunk - at);
        nspcbCartToPolar(&src[at], &mag[at], &phase[at], n);
        at += n;
      }
      for (int i = 0; i < kChunk; ++i) {
        const float re = src[i].re, im = src[i].im;
        // The magnitude's double operations are the library's, and sqrt
        // is correctly rounded: no ties.
        tallies[v].check(name, "magnitude", mag[i], wantMag[i], 0.0L, false, re, im);
        if (same(phase[i], wantPhase[i])) {
          ++tallies[v].values;
          continue;
        }
        const long double exact =
            std::atan2(static_cast<long double>(im), static_cast<long double>(re));
        tallies[v].check(name, "phase", phase[i], wantPhase[i], exact, im != 0.0f, re, im);
      }
    }
  }
  for (size_t v = 0; v < isas.size(); ++v) {
    report("nspcbCartToPolar", nspPolarKernelsFor(isas[v])->name, tallies[v]);
    EXPECT_EQ(tallies[v].faults, 0) << nspPolarKernelsFor(isas[v])->name;
    EXPECT_GE(tallies[v].values, 2LL * kCount);
    RecordProperty(std::string("ties_") + nspPolarKernelsFor(isas[v])->name,
                   std::to_string(tallies[v].ties));
  }
}

// nspcbPolarToCart of every variant against the C library on `count`
// (magnitude, phase) pairs from input(random, mag, phase); fails on any
// difference that is not a rounding tie.
template <class Input>
void comparePolarToCart(long long count, uint64_t seed, Input input) {
  const std::vector<int> isas = variants();
  std::vector<Tally> tallies(isas.size());
  std::vector<float> mag(kChunk), phase(kChunk);
  std::vector<ComplexFloat> want(kChunk), dst(kChunk);
  Random random{seed};

  for (long long done = 0; done < count; done += kChunk) {
    for (int i = 0; i < kChunk; ++i) {
      input(random, mag[i], phase[i]);
      want[i] = libraryPolarToCart(mag[i], phase[i]);
    }
    for (size_t v = 0; v < isas.size(); ++v) {
      ASSERT_TRUE(nspPolarSelectIsa(isas[v]));
      const char* name = nspPolarKernels().name;
      for (int at = 0, call = static_cast<int>(done / 7); at < kChunk; ++call) {
        const int n = std::min(callLength(call), kChunk - at);
        nspcbPolarToCart(&mag[at], &phase[at], &dst[at], n);
        at += n;
      }
      for (int i = 0; i < kChunk; ++i) {
        if (same(dst[i].re, want[i].re) && same(dst[i].im, want[i].im)) {
          tallies[v].values += 2;
          continue;
        }
        const long double angle = phase[i], length = mag[i];
        tallies[v].check(name, "re", dst[i].re, want[i].re, std::cos(angle) * length, true, mag[i],
                         phase[i]);
        tallies[v].check(name, "im", dst[i].im, want[i].im, std::sin(angle) * length, true, mag[i],
                         phase[i]);
      }
    }
  }
  for (size_t v = 0; v < isas.size(); ++v) {
    const char* name = nspPolarKernelsFor(isas[v])->name;
    PolarVariants::report("nspcbPolarToCart", name, tallies[v]);
    EXPECT_EQ(tallies[v].faults, 0) << name;
    EXPECT_GE(tallies[v].values, 2 * count);
    ::testing::Test::RecordProperty(std::string("ties_") + name, std::to_string(tallies[v].ties));
  }
}

TEST_F(PolarVariants, PolarToCartMatchesTheCLibraryExceptRoundingTies) {
  comparePolarToCart(kCount, 2, [](Random& random, float& mag, float& phase) {
    mag = magnitudeInput(random);
    phase = phaseInput(random);
  });
}

// The phases chaos gives loud bins: from 2^20 (where the vectorised
// reduction stopped before) to its limit, every 8th float of either sign
// (every 128th in Debug builds), with magnitudes of every size. A part of
// pi/2 whose product with k is not exact, or a quadrant taken from a
// rounded k, shows here as differences far from any tie.
#ifdef NDEBUG
constexpr uint32_t kLargePhaseStride = 8;
#else
constexpr uint32_t kLargePhaseStride = 128;
#endif

void compareLargePhases(uint32_t stride) {
  const uint32_t first = toBits(0x1p20f);
  const uint32_t end = toBits(static_cast<float>(polar::reductionLimit));
  const long long count = (end - first + stride - 1) / stride;
  uint32_t bits = first;
  comparePolarToCart(count, 5, [&](Random& random, float& mag, float& phase) {
    mag = magnitudeInput(random);
    phase = bits < end ? fromBits(bits | (random.below(2) ? 0x80000000u : 0u)) : 0x1p20f;
    bits += stride;
  });
}

TEST_F(PolarVariants, PolarToCartMatchesTheCLibraryOnLargePhases) {
  compareLargePhases(kLargePhaseStride);
}

// Every float of the range (75.5 million, each with a random sign), for a
// one-off proof; about five minutes for four variants on a busy two-core
// machine: --gtest_also_run_disabled_tests --gtest_filter='*EveryLargePhase*'
TEST_F(PolarVariants, DISABLED_PolarToCartMatchesTheCLibraryOnEveryLargePhase) {
  compareLargePhases(1);
}

// A lane mix-up in the real-axis fix-up, a NaN quietened on its way
// through double, or pi's bits wrong would show here: every lane position
// of every width holds one of these once.
TEST_F(PolarVariants, RealAxisKeepsBitPatternsInEveryLane) {
  struct Case {
    uint32_t re, im, mag, phase;
  };
  const Case cases[] = {
      {0x00000000u, 0x00000000u, 0x00000000u, 0x00000000u},  // +0
      {0x80000000u, 0x80000000u, 0x00000000u, 0x00000000u},  // -0, -0
      {0x40200000u, 0x80000000u, 0x40200000u, 0x00000000u},  // 2.5, -0
      {0xC0000000u, 0x00000000u, 0x40000000u, 0x40490FDBu},  // -2
      {0xC0000000u, 0x80000000u, 0x40000000u, 0x40490FDBu},  // -2, -0
      {0x7F800001u, 0x00000000u, 0x7F800001u, 0x00000000u},  // signalling NaN
      {0xFF800001u, 0x00000000u, 0x7F800001u, 0x40490FDBu},  // negative signalling NaN
      {0xFFC00123u, 0x80000000u, 0x7FC00123u, 0x40490FDBu},  // negative quiet NaN
      {0xFF800000u, 0x00000000u, 0x7F800000u, 0x40490FDBu},  // -inf
      {0x80000001u, 0x00000000u, 0x00000001u, 0x40490FDBu},  // -smallest subnormal
  };
  constexpr int kCases = sizeof cases / sizeof cases[0];
  const int n = 3 * kCases + 5;  // not a multiple of any width
  for (int isa : variants()) {
    ASSERT_TRUE(nspPolarSelectIsa(isa));
    for (int shift = 0; shift < 8; ++shift) {
      std::vector<ComplexFloat> src(n, ComplexFloat{3.0f, 4.0f});
      for (int i = shift; i < n; i += kCases + 1) {
        for (int c = 0; c < kCases && i + c < n; ++c) {
          src[i + c] = {fromBits(cases[c].re), fromBits(cases[c].im)};
        }
      }
      std::vector<float> mag(n), phase(n);
      nspcbCartToPolar(src.data(), mag.data(), phase.data(), n);
      for (int i = 0; i < n; ++i) {
        if (toBits(src[i].im) == 0x40800000u) {  // the filler (3, 4)
          EXPECT_EQ(mag[i], 5.0f) << nspPolarKernels().name << " element " << i;
          EXPECT_EQ(phase[i], 0.9272952f) << nspPolarKernels().name << " element " << i;
          continue;
        }
        const Case* c = nullptr;
        for (const Case& candidate : cases) {
          if (toBits(src[i].re) == candidate.re && toBits(src[i].im) == candidate.im)
            c = &candidate;
        }
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(toBits(mag[i]), c->mag) << nspPolarKernels().name << " element " << i;
        EXPECT_EQ(toBits(phase[i]), c->phase) << nspPolarKernels().name << " element " << i;
      }
    }
  }
}

// Outputs over inputs are converted one element at a time, first to last,
// as the element-wise definition reads: a block-wise loop that loads a
// whole vector before storing would read values not yet overwritten.
TEST_F(PolarVariants, OverlappingBuffersFollowElementOrder) {
  constexpr int n = 37;
  Random random{3};
  std::vector<float> buffer(2 * n + 2);
  for (float& f : buffer) f = static_cast<float>(2 * random.unit() - 1);
  std::vector<float> phases(n);
  for (float& f : phases) f = static_cast<float>(6 * random.unit() - 3);

  for (int isa : variants()) {
    ASSERT_TRUE(nspPolarSelectIsa(isa));
    // Magnitudes over the source's first half, phases one float behind
    // the magnitudes (each phase overwritten by the next magnitude).
    std::vector<float> got = buffer, want = buffer;
    for (int i = 0; i < n; ++i) {
      ComplexFloat c;
      std::memcpy(&c, &want[2 * i], sizeof c);
      float m, p;
      libraryCartToPolar(c, &m, &p);
      want[i] = m;
      want[i + 1] = p;
    }
    nspcbCartToPolar(reinterpret_cast<const ComplexFloat*>(got.data()), got.data(), got.data() + 1,
                     n);
    for (int i = 0; i < 2 * n + 2; ++i) {
      EXPECT_TRUE(same(got[i], want[i])) << nspPolarKernels().name << " float " << i;
    }

    // Complex results over the magnitudes they are made from.
    got = buffer;
    want = buffer;
    for (int i = 0; i < n; ++i) {
      const ComplexFloat c = libraryPolarToCart(want[i], phases[i]);
      want[2 * i] = c.re;
      want[2 * i + 1] = c.im;
    }
    nspcbPolarToCart(got.data(), phases.data(), reinterpret_cast<ComplexFloat*>(got.data()), n);
    for (int i = 0; i < 2 * n + 2; ++i) {
      EXPECT_TRUE(same(got[i], want[i])) << nspPolarKernels().name << " float " << i;
    }
  }
}

// The double results before rounding to float, in ulps of double against
// long double: a slip that float comparisons would catch only once in 10^8
// values (a lost low-order term, a poorer polynomial) shows here. The
// algorithm is one template; the scalar and SSE2 instantiations are built
// into this test (the wide ones differ only in using FMA).
template <class O>
struct DoubleAccuracy {
  static double ulps(double got, long double exact) {
    int exponent;
    std::frexp(static_cast<double>(exact), &exponent);
    return static_cast<double>(std::fabs(got - exact) / std::ldexp(1.0L, exponent - 53));
  }
  static double lane0(typename O::V v) {
    double lanes[8];
    std::memcpy(lanes, &v, sizeof v);
    return lanes[0];
  }
  static typename O::V broadcast(double x) { return O::splat(x); }

  static void measure(int count, double* atan2Worst, double* sinCosWorst) {
    Random random{4};
    *atan2Worst = *sinCosWorst = 0.0;
    for (int i = 0; i < count; ++i) {
      const ComplexFloat c = complexInput(random);
      if (std::isfinite(c.re) && std::isfinite(c.im) && c.im != 0.0f && c.re != 0.0f) {
        const double got = lane0(polar::atan2<O>(broadcast(c.im), broadcast(c.re)));
        const long double exact =
            std::atan2(static_cast<long double>(c.im), static_cast<long double>(c.re));
        *atan2Worst = std::max(*atan2Worst, ulps(got, exact));
      }
      const float x = phaseInput(random);
      if (std::fabs(x) < polar::reductionLimit && x != 0.0f) {
        typename O::V s, co;
        polar::sinCos<O>(broadcast(x), s, co);
        *sinCosWorst =
            std::max(*sinCosWorst, ulps(lane0(s), std::sin(static_cast<long double>(x))));
        *sinCosWorst =
            std::max(*sinCosWorst, ulps(lane0(co), std::cos(static_cast<long double>(x))));
      }
    }
  }
};

TEST(PolarDoubleAccuracy, Atan2AndSinCosStayWellUnderOneUlp) {
  double atan2Worst, sinCosWorst;
  DoubleAccuracy<MathScalar>::measure(kCount / 20, &atan2Worst, &sinCosWorst);
  std::cout << "scalar: atan2 " << atan2Worst << " ulp, sin/cos " << sinCosWorst << " ulp\n";
  EXPECT_LT(atan2Worst, 0.75);
  EXPECT_LT(sinCosWorst, 0.8);
#if defined(__SSE2__)
  DoubleAccuracy<MathSse2>::measure(kCount / 20, &atan2Worst, &sinCosWorst);
  std::cout << "sse2: atan2 " << atan2Worst << " ulp, sin/cos " << sinCosWorst << " ulp\n";
  EXPECT_LT(atan2Worst, 0.75);
  EXPECT_LT(sinCosWorst, 0.8);
#endif
}

// The tie test itself: a value a hair off the midpoint between two
// neighbouring floats is a tie; a full ulp of double off, a result two
// floats away, or an infinity is not.
TEST(PolarRoundingTie, AcceptsOnlyValuesAtAMidpoint) {
  const float below = 1.5f, above = std::nextafter(1.5f, 2.0f);
  const long double midpoint = (static_cast<long double>(below) + above) / 2;
  EXPECT_TRUE(roundingTie(below, above, midpoint + 0x1p-54L));
  EXPECT_TRUE(roundingTie(above, below, midpoint - 0x1p-54L));
  EXPECT_FALSE(roundingTie(below, above, midpoint + 0x1p-48L));
  EXPECT_FALSE(roundingTie(below, std::nextafter(above, 2.0f), midpoint));
  EXPECT_FALSE(roundingTie(FLT_MAX, INFINITY, static_cast<long double>(FLT_MAX) * 1.0000001L));
}

}  // namespace
