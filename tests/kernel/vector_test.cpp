// Vector, complex and window routines: check order and texts, write order,
// and the special cases of threshold, maximum, polar form and the window.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "nsp.h"
#include "nspreportlines.h"
#include "report_capture.h"

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

struct CheckCase {
  const char* call;
  std::function<void()> run;
  Report expected;
};

// Only the first failed check of a call is reported, with the routine's own
// name, module and line.
TEST(VectorChecks, ReportOnlyTheFirstFailedCheck) {
  float v[4] = {1, 2, 3, 4};
  ComplexFloat c[2] = {};
  const std::vector<CheckCase> cases = {
      {"copy n=0", [] { nspsbCopy(nullptr, nullptr, 0); },
       badArgument("nspsbCopy", "n<=0", "nsparith", nspLine::sbCopy)},
      {"copy src", [&] { nspsbCopy(nullptr, v, 4); },
       badArgument("nspsbCopy", "src==0", "nsparith", nspLine::sbCopy)},
      {"copy dst", [&] { nspsbCopy(v, nullptr, 4); },
       badArgument("nspsbCopy", "dst==0", "nsparith", nspLine::sbCopy)},
      {"set n=-1", [&] { nspsbSet(1, v, -1); },
       badArgument("nspsbSet", "n<=0", "nsparith", nspLine::sbSet)},
      {"set dst", [] { nspsbSet(1, nullptr, 3); },
       badArgument("nspsbSet", "dst==0", "nsparith", nspLine::sbSet)},
      {"zero n", [&] { nspcbZero(c, 0); },
       badArgument("nspcbZero", "n<=0", "nsparith", nspLine::cbZero)},
      {"zero dst", [] { nspcbZero(nullptr, 2); },
       badArgument("nspcbZero", "dst==0", "nsparith", nspLine::cbZero)},
      {"mpy1 n", [&] { nspsbMpy1(2, v, 0); },
       badArgument("nspsbMpy1", "n<=0", "nsparith", nspLine::sbMpy1)},
      {"mpy1 dst", [] { nspsbMpy1(2, nullptr, 1); },
       badArgument("nspsbMpy1", "dst==0", "nsparith", nspLine::sbMpy1)},
      {"mpy2 src", [&] { nspsbMpy2(nullptr, v, 1); },
       badArgument("nspsbMpy2", "src==0", "nsparith", nspLine::sbMpy2)},
      {"mpy2 dst", [&] { nspsbMpy2(v, nullptr, 1); },
       badArgument("nspsbMpy2", "dst==0", "nsparith", nspLine::sbMpy2)},
      {"mpy3 n=0 all null", [] { nspsbMpy3(nullptr, nullptr, nullptr, 0); },
       badArgument("nspsbMpy3", "n<=0", "nsparith", nspLine::sbMpy3)},
      {"mpy3 srcA", [] { nspsbMpy3(nullptr, nullptr, nullptr, 4); },
       badArgument("nspsbMpy3", "srcA==0", "nsparith", nspLine::sbMpy3)},
      {"mpy3 srcB", [&] { nspsbMpy3(v, nullptr, nullptr, 4); },
       badArgument("nspsbMpy3", "srcB==0", "nsparith", nspLine::sbMpy3)},
      {"mpy3 dst", [&] { nspsbMpy3(v, v, nullptr, 4); },
       badArgument("nspsbMpy3", "dst==0", "nsparith", nspLine::sbMpy3)},
      {"add2 n", [&] { nspsbAdd2(v, v, -5); },
       badArgument("nspsbAdd2", "n<=0", "nsparith", nspLine::sbAdd2)},
      {"add2 dst", [&] { nspsbAdd2(v, nullptr, 2); },
       badArgument("nspsbAdd2", "dst==0", "nsparith", nspLine::sbAdd2)},
      {"thresh len", [] { nspsbThresh1(nullptr, 0, 1, 0); },
       badArgument("nspsbThresh1", "len<=0", "nspvec", nspLine::sbThresh1)},
      {"thresh vec", [] { nspsbThresh1(nullptr, 3, 1, 0); },
       badArgument("nspsbThresh1", "vec==0", "nspvec", nspLine::sbThresh1)},
      {"max len", [] { nspsMax(nullptr, 0); },
       badArgument("nspsMax", "len<=0", "nspvec", nspLine::sMax)},
      {"max vec", [] { nspsMax(nullptr, 1); },
       badArgument("nspsMax", "vec==0", "nspvec", nspLine::sMax)},
      {"split length", [] { nspcbCplxTo2Real(nullptr, nullptr, nullptr, 0); },
       badArgument("nspcbCplxTo2Real", "length<=0", "nspcvrts", nspLine::cbCplxTo2Real)},
      {"split src", [&] { nspcbCplxTo2Real(nullptr, v, v, 1); },
       badArgument("nspcbCplxTo2Real", "src==0", "nspcvrts", nspLine::cbCplxTo2Real)},
      {"split real", [&] { nspcbCplxTo2Real(c, nullptr, v, 1); },
       badArgument("nspcbCplxTo2Real", "dstReal==0", "nspcvrts", nspLine::cbCplxTo2Real)},
      {"split imag", [&] { nspcbCplxTo2Real(c, v, nullptr, 1); },
       badArgument("nspcbCplxTo2Real", "dstImag==0", "nspcvrts", nspLine::cbCplxTo2Real)},
      {"join length", [&] { nspcb2RealToCplx(v, v, c, -1); },
       badArgument("nspcb2RealToCplx", "length<=0", "nspcvrts", nspLine::cb2RealToCplx)},
      {"join dst", [&] { nspcb2RealToCplx(v, v, nullptr, 1); },
       badArgument("nspcb2RealToCplx", "dst==0", "nspcvrts", nspLine::cb2RealToCplx)},
      {"polar src", [&] { nspcbCartToPolar(nullptr, v, v, 1); },
       badArgument("nspcbCartToPolar", "src==0", "nspcvrts", nspLine::cbCartToPolar)},
      {"polar mag", [&] { nspcbCartToPolar(c, nullptr, v, 1); },
       badArgument("nspcbCartToPolar", "mag==0", "nspcvrts", nspLine::cbCartToPolar)},
      {"polar phase", [&] { nspcbCartToPolar(c, v, nullptr, 1); },
       badArgument("nspcbCartToPolar", "phase==0", "nspcvrts", nspLine::cbCartToPolar)},
      {"cart length", [&] { nspcbPolarToCart(v, v, c, 0); },
       badArgument("nspcbPolarToCart", "length<=0", "nspcvrts", nspLine::cbPolarToCart)},
      {"cart mag", [&] { nspcbPolarToCart(nullptr, v, c, 1); },
       badArgument("nspcbPolarToCart", "mag==0", "nspcvrts", nspLine::cbPolarToCart)},
      {"cart phase", [&] { nspcbPolarToCart(v, nullptr, c, 1); },
       badArgument("nspcbPolarToCart", "phase==0", "nspcvrts", nspLine::cbPolarToCart)},
      {"cart dst", [&] { nspcbPolarToCart(v, v, nullptr, 1); },
       badArgument("nspcbPolarToCart", "dst==0", "nspcvrts", nspLine::cbPolarToCart)},
      {"window null before n", [] { nspsWinBartlett(nullptr, 1); },
       badArgument("nspsWinBartlett", "Null pointer to buffer", "nspwin", nspLine::sWinBartlett)},
      {"window n=2", [&] { nspsWinBartlett(v, 2); },
       badArgument("nspsWinBartlett", "Bad number of items", "nspwin", nspLine::sWinBartlett)},
  };
  for (const CheckCase& c : cases) {
    ReportCapture capture;
    c.run();
    EXPECT_EQ(capture.reports(), std::vector<Report>{c.expected}) << c.call;
  }
  EXPECT_EQ(v[0], 1.0f);
  EXPECT_EQ(v[3], 4.0f) << "a failed call leaves its output alone";
}

TEST(VectorChecks, MaxReturnsZeroAfterAFailedCheck) {
  ReportCapture capture;
  EXPECT_EQ(nspsMax(nullptr, 0), 0.0f);
  EXPECT_EQ(nspStatusGet(), NSP_StatusBadArgument);
}

// Writing from the last element down is what makes an overlapping copy or
// product towards higher addresses come out as if from a saved source.
TEST(VectorArithmetic, WritesLastToFirstSoOverlapTowardsHigherAddressesIsSafe) {
  float v[5] = {1, 2, 3, 4, 5};
  nspsbCopy(v, v + 1, 4);
  EXPECT_EQ(std::vector<float>(v, v + 5), (std::vector<float>{1, 1, 2, 3, 4}));

  float w[5] = {1, 2, 3, 4, 5};
  nspsbMpy2(w, w + 1, 4);  // w[i+1] *= w[i], old values
  EXPECT_EQ(std::vector<float>(w, w + 5), (std::vector<float>{1, 2, 6, 12, 20}));

  float s[4] = {1, 2, 3, 4};
  nspsbAdd2(s, s + 1, 3);
  EXPECT_EQ(std::vector<float>(s, s + 4), (std::vector<float>{1, 3, 5, 7}));

  float a[4] = {1, 2, 3, 4};
  nspsbMpy3(a, a, a + 1, 3);
  EXPECT_EQ(std::vector<float>(a, a + 4), (std::vector<float>{1, 1, 4, 9}));
}

TEST(VectorArithmetic, SumsRoundToNearestEvenProductsOverflowToInfinity) {
  // 16777216 + 1 lies halfway between two floats: ties go to even.
  float dst[2] = {16777216.0f, 1.0f};
  const float src[2] = {1.0f, 3.0f};
  nspsbAdd2(src, dst, 2);
  EXPECT_EQ(dst[0], 16777216.0f);
  EXPECT_EQ(dst[1], 4.0f);
  float big[1] = {3e38f};
  nspsbMpy1(10.0f, big, 1);
  EXPECT_TRUE(std::isinf(big[0])) << "overflow stores an infinity";
  float values[3] = {1, 2, 3};
  nspsbSet(-0.0f, values, 3);
  EXPECT_TRUE(std::signbit(values[2]));
  ComplexFloat c[2] = {{1, 2}, {3, 4}};
  nspcbZero(c, 2);
  EXPECT_EQ(c[1].re, 0.0f);
  EXPECT_EQ(c[1].im, 0.0f);
}

TEST(Threshold, ClampsBelowOrAboveAndTreatsNanByDirection) {
  float upper[4] = {32767.0f, 32768.0f, -40000.0f, nan};
  nspsbThresh1(upper, 4, 32767.0f, 1);
  EXPECT_EQ(upper[0], 32767.0f);
  EXPECT_EQ(upper[1], 32767.0f);
  EXPECT_EQ(upper[2], -40000.0f);
  EXPECT_TRUE(std::isnan(upper[3])) << "greater-than leaves NaN";

  float lower[4] = {-32768.0f, -32767.0f, 5.0f, nan};
  nspsbThresh1(lower, 4, -32767.0f, 0);
  EXPECT_EQ(lower[0], -32767.0f);
  EXPECT_EQ(lower[1], -32767.0f);
  EXPECT_EQ(lower[2], 5.0f);
  EXPECT_EQ(lower[3], -32767.0f) << "less-than replaces NaN";

  // Nothing compares less than a NaN threshold: only NaN elements take it.
  float withNanThreshold[3] = {1.0f, -1.0f, 2.0f};
  nspsbThresh1(withNanThreshold, 3, nan, 0);
  EXPECT_EQ(std::vector<float>(withNanThreshold, withNanThreshold + 3),
            (std::vector<float>{1.0f, -1.0f, 2.0f}));
}

TEST(Maximum, KeepsTheFirstLargestAndIgnoresNan) {
  const float values[] = {1.0f, 3.0f, 3.0f, 2.0f};
  EXPECT_EQ(nspsMax(values, 4), 3.0f);
  const float single[] = {-7.5f};
  EXPECT_EQ(nspsMax(single, 1), -7.5f);
  const float withNan[] = {1.0f, nan, 0.5f};
  EXPECT_EQ(nspsMax(withNan, 3), 1.0f);
  const float nanFirst[] = {nan, 4.0f};
  EXPECT_TRUE(std::isnan(nspsMax(nanFirst, 2))) << "a NaN held from the start is never replaced";
  const float zeros[] = {-0.0f, 0.0f};
  EXPECT_TRUE(std::signbit(nspsMax(zeros, 2))) << "an equal element does not replace";
}

// The maximum is taken over interleaved lanes: a lane order that picked a
// later equal element (-0 against +0), let a NaN in a lane win, or dropped
// the elements after the last whole block would show against the plain
// first-to-last rule on these vectors of every length and mix.
TEST(Maximum, LanesFindTheElementTheFirstToLastRuleFinds) {
  const float pool[] = {0.0f, -0.0f, nan, 1.0f, -1.0f, 2.5f, -3.0f, 1e-40f, -1e-40f, 7.0f};
  uint32_t state = 12345;
  auto nextIndex = [&state](uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
  };
  for (int trial = 0; trial < 4000; ++trial) {
    const int len = 1 + trial % 41;
    std::vector<float> v(len);
    // Mostly drawn from the first few entries, so that zeros, NaNs and ties
    // are frequent.
    const uint32_t spread = 2 + static_cast<uint32_t>(trial / 41) % 9;
    for (float& x : v) x = pool[nextIndex(spread)];
    float want = v[0];
    for (int i = 1; i < len; ++i) {
      if (v[i] > want) want = v[i];
    }
    const float got = nspsMax(v.data(), len);
    uint32_t gotBits, wantBits;
    std::memcpy(&gotBits, &got, sizeof got);
    std::memcpy(&wantBits, &want, sizeof want);
    ASSERT_EQ(gotBits, wantBits) << "trial " << trial << ", length " << len;
  }
}

TEST(SplitJoin, MovesBitPatternsAndFillsMissingPartsWithPlusZero) {
  const ComplexFloat src[2] = {{1.5f, -2.5f}, {-0.0f, nan}};
  float re[2], im[2];
  nspcbCplxTo2Real(src, re, im, 2);
  EXPECT_EQ(re[0], 1.5f);
  EXPECT_EQ(im[0], -2.5f);
  EXPECT_TRUE(std::signbit(re[1]));
  EXPECT_TRUE(std::isnan(im[1]));

  ComplexFloat dst[2];
  nspcb2RealToCplx(re, im, dst, 2);
  EXPECT_EQ(dst[0].re, 1.5f);
  EXPECT_EQ(dst[0].im, -2.5f);
  nspcb2RealToCplx(re, nullptr, dst, 2);
  EXPECT_EQ(dst[0].im, 0.0f);
  EXPECT_FALSE(std::signbit(dst[0].im));
  nspcb2RealToCplx(nullptr, im, dst, 2);
  EXPECT_EQ(dst[0].re, 0.0f);
  EXPECT_EQ(dst[0].im, -2.5f);
  nspcb2RealToCplx(nullptr, nullptr, dst, 2);
  EXPECT_EQ(dst[1].re, 0.0f);
  EXPECT_EQ(dst[1].im, 0.0f);
}

TEST(Polar, SpecialCasesOnTheRealAxis) {
  const float pi = std::bit_cast<float>(0x40490FDBu);
  const ComplexFloat src[] = {{3, 4},  {-2, 0},        {-2, -0.0f},  {0, 0},
                              {0, -1}, {-0.0f, -0.0f}, {2.5f, -0.0f}};
  float mag[7], phase[7];
  nspcbCartToPolar(src, mag, phase, 7);
  EXPECT_EQ(mag[0], 5.0f);
  EXPECT_EQ(phase[0], 0.9272952f);
  EXPECT_EQ(mag[1], 2.0f);
  EXPECT_EQ(phase[1], pi);
  EXPECT_EQ(phase[2], pi) << "negative real axis gives +pi whatever the sign of zero";
  EXPECT_EQ(mag[3], 0.0f);
  EXPECT_EQ(phase[3], 0.0f);
  EXPECT_EQ(phase[4], static_cast<float>(-M_PI / 2));
  EXPECT_FALSE(std::signbit(mag[5]));
  EXPECT_FALSE(std::signbit(phase[5]));
  EXPECT_EQ(mag[6], 2.5f);
  EXPECT_FALSE(std::signbit(phase[6]));
}

TEST(Polar, RoundTripReturnsEachElement) {
  std::vector<ComplexFloat> src;
  for (int i = -20; i <= 20; ++i) src.push_back({i * 0.37f, (i % 7) * -1.3f + 0.01f});
  const int n = static_cast<int>(src.size());
  std::vector<float> mag(n), phase(n);
  std::vector<ComplexFloat> back(n);
  nspcbCartToPolar(src.data(), mag.data(), phase.data(), n);
  nspcbPolarToCart(mag.data(), phase.data(), back.data(), n);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(back[i].re, src[i].re, 1e-5f * (1 + std::fabs(mag[i]))) << i;
    EXPECT_NEAR(back[i].im, src[i].im, 1e-5f * (1 + std::fabs(mag[i]))) << i;
  }
  const float m = 2.0f, p = 0.0f;
  ComplexFloat one;
  nspcbPolarToCart(&m, &p, &one, 1);
  EXPECT_EQ(one.re, 2.0f);
  EXPECT_EQ(one.im, 0.0f);
}

TEST(Bartlett, WeightsRiseLinearlyFromBothEnds) {
  float even[4] = {1, 1, 1, 1};
  nspsWinBartlett(even, 4);
  EXPECT_EQ(even[0], 0.0f);
  EXPECT_EQ(even[1], static_cast<float>(2.0 / 3.0));
  EXPECT_EQ(even[2], static_cast<float>(2.0 / 3.0));
  EXPECT_EQ(even[3], 0.0f);

  float odd[5] = {1, 1, 1, 1, 1};
  nspsWinBartlett(odd, 5);
  EXPECT_EQ(std::vector<float>(odd, odd + 5), (std::vector<float>{0, 0.5f, 1, 0.5f, 0}));

  // The middle of an odd window is multiplied twice by its weight.
  float three[3] = {2, 3, 2};
  nspsWinBartlett(three, 3);
  EXPECT_EQ(three[1], 3.0f);

  // The weight is kept in double: 1024 samples of 1.0 match 2i/1023 rounded once.
  std::vector<float> window(1024, 1.0f);
  nspsWinBartlett(window.data(), 1024);
  for (int i = 0; i < 512; ++i) {
    const float expected = static_cast<float>(i * (2.0 / 1023));
    ASSERT_EQ(window[i], expected) << i;
    ASSERT_EQ(window[1023 - i], expected) << i;
  }
}

}  // namespace
