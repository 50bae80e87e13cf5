// Sample conversion: argument checks, the rounding of all 24 float-to-integer
// members against an independent reference, limits, overflow handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "nsp.h"
#include "nspreportlines.h"
#include "report_capture.h"

namespace {

struct Member {
  int intSize;
  bool isUnsigned;
  int roundingFlag;
  int fenvMode;
};

// The line a member reports an out-of-range element at.
int overflowLine(const Member& m) {
  return nspLine::floatToIntOverflow(m.intSize, m.roundingFlag, m.isUnsigned);
}

// The family of float-to-integer conversions.
const Member members[] = {
    {8, false, NSP_ConvRoundNearest, FE_TONEAREST},  {8, true, NSP_ConvRoundNearest, FE_TONEAREST},
    {8, false, NSP_ConvRoundDown, FE_DOWNWARD},      {8, true, NSP_ConvRoundDown, FE_DOWNWARD},
    {8, false, NSP_ConvRoundZero, FE_TOWARDZERO},    {8, true, NSP_ConvRoundZero, FE_TOWARDZERO},
    {8, false, NSP_ConvRoundUp, FE_UPWARD},          {8, true, NSP_ConvRoundUp, FE_UPWARD},
    {16, false, NSP_ConvRoundNearest, FE_TONEAREST}, {16, true, NSP_ConvRoundNearest, FE_TONEAREST},
    {16, false, NSP_ConvRoundDown, FE_DOWNWARD},     {16, true, NSP_ConvRoundDown, FE_DOWNWARD},
    {16, false, NSP_ConvRoundZero, FE_TOWARDZERO},   {16, true, NSP_ConvRoundZero, FE_TOWARDZERO},
    {16, false, NSP_ConvRoundUp, FE_UPWARD},         {16, true, NSP_ConvRoundUp, FE_UPWARD},
    {32, false, NSP_ConvRoundNearest, FE_TONEAREST}, {32, true, NSP_ConvRoundNearest, FE_TONEAREST},
    {32, false, NSP_ConvRoundDown, FE_DOWNWARD},     {32, true, NSP_ConvRoundDown, FE_DOWNWARD},
    {32, false, NSP_ConvRoundZero, FE_TOWARDZERO},   {32, true, NSP_ConvRoundZero, FE_TOWARDZERO},
    {32, false, NSP_ConvRoundUp, FE_UPWARD},         {32, true, NSP_ConvRoundUp, FE_UPWARD},
};

double lowest(const Member& m) {
  if (m.isUnsigned) return 0.0;
  return -std::ldexp(1.0, m.intSize - 1);
}
double highest(const Member& m) {
  return m.isUnsigned ? std::ldexp(1.0, m.intSize) - 1 : std::ldexp(1.0, m.intSize - 1) - 1;
}

// Reference rounding by a different road: the C library's nearbyint under
// the matching processor rounding mode.
double referenceRound(float x, int fenvMode) {
  const int saved = std::fegetround();
  std::fesetround(fenvMode);
  const double r = std::nearbyint(static_cast<double>(x));
  std::fesetround(saved);
  return r;
}

// Reads element i of a packed little-endian integer array as a double.
double readElement(const std::vector<unsigned char>& bytes, const Member& m, int i) {
  const unsigned char* p = bytes.data() + static_cast<size_t>(i) * (m.intSize / 8);
  switch (m.intSize) {
    case 8: return m.isUnsigned ? double(p[0]) : double(int8_t(p[0]));
    case 16: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return m.isUnsigned ? double(v) : double(int16_t(v));
    }
    default: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return m.isUnsigned ? double(v) : double(int32_t(v));
    }
  }
}

int flagsOf(const Member& m, int extra = 0) {
  return m.roundingFlag | (m.isUnsigned ? NSP_ConvUnsigned : 0) | extra;
}

// Values around every integer boundary of interest: ties, near-ties, the
// limits of each size, and random values across the range.
std::vector<float> probeValues(const Member& m) {
  std::vector<float> values;
  const double lo = lowest(m), hi = highest(m);
  for (double edge : {lo, hi, 0.0, -1.0, 1.0, 2.0, 3.0, -2.0, -3.0, lo + 1, hi - 1}) {
    for (double delta : {-1.0, -0.51, -0.5, -0.49, -0.1, 0.0, 0.1, 0.49, 0.5, 0.51, 1.0}) {
      const float v = static_cast<float>(edge + delta);
      values.push_back(v);
      values.push_back(std::nextafter(v, std::numeric_limits<float>::infinity()));
      values.push_back(std::nextafter(v, -std::numeric_limits<float>::infinity()));
    }
  }
  std::mt19937 rng(m.intSize * 7 + m.roundingFlag + m.isUnsigned);
  std::uniform_real_distribution<double> spread(lo - 3, hi + 3);
  std::uniform_int_distribution<int> small(-300, 300);
  for (int i = 0; i < 4000; ++i) {
    values.push_back(static_cast<float>(spread(rng)));
    values.push_back(static_cast<float>(small(rng) * 0.5));  // halves: ties
    values.push_back(static_cast<float>(small(rng) * 0.25));
  }
  return values;
}

TEST(FloatToInt, EveryMemberRoundsLikeTheReferenceAndSaturatesAtItsLimits) {
  ReportCapture capture;
  for (const Member& m : members) {
    SCOPED_TRACE(testing::Message()
                 << m.intSize << "-bit " << (m.isUnsigned ? "unsigned" : "signed") << " flag 0x"
                 << std::hex << m.roundingFlag);
    const std::vector<float> values = probeValues(m);
    const int n = static_cast<int>(values.size());
    std::vector<unsigned char> out(values.size() * (m.intSize / 8));
    nspsbFloatToInt(values.data(), out.data(), n, m.intSize, flagsOf(m, NSP_ConvSaturate));
    for (int i = 0; i < n; ++i) {
      const double r = referenceRound(values[i], m.fenvMode);
      const double expected = std::clamp(r, lowest(m), highest(m));
      ASSERT_EQ(readElement(out, m, i), expected) << "input " << values[i];
    }
    EXPECT_TRUE(capture.reports().empty());
  }
}

// Long enough for the block paths of the narrow members, which the
// processor's own conversion serves only in its to-nearest mode.
TEST(FloatToInt, ResultIgnoresAndKeepsTheProcessorRoundingMode) {
  ReportCapture capture;
  for (const Member& m : members) {
    const std::vector<float> values = probeValues(m);
    const int n = static_cast<int>(values.size());
    std::vector<unsigned char> out(values.size() * (m.intSize / 8));
    for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
      SCOPED_TRACE(testing::Message()
                   << m.intSize << "-bit " << (m.isUnsigned ? "u" : "s") << " flag 0x" << std::hex
                   << m.roundingFlag << " mode " << mode);
      std::fesetround(mode);
      nspsbFloatToInt(values.data(), out.data(), n, m.intSize, flagsOf(m, NSP_ConvSaturate));
      EXPECT_EQ(std::fegetround(), mode);
      std::fesetround(FE_TONEAREST);
      for (int i = 0; i < n; ++i) {
        const double r = referenceRound(values[i], m.fenvMode);
        ASSERT_EQ(readElement(out, m, i), std::clamp(r, lowest(m), highest(m)))
            << "input " << values[i];
      }
    }
  }
}

// Elements out of range in the middle of a long run are saturated and
// reported in order, and every element around them is still converted.
TEST(FloatToInt, OutOfRangeInsideALongRunIsReportedInOrderAndTheRestConverted) {
  for (const Member& m : members) {
    ReportCapture capture;
    std::vector<float> values(300);
    for (int i = 0; i < 300; ++i) values[i] = static_cast<float>(i % 100) + 0.5f;
    values[70] = static_cast<float>(highest(m)) * 4.0f + 8.0f;
    values[150] = static_cast<float>(lowest(m)) * 4.0f - 8.0f;
    values[151] = std::nanf("");
    std::vector<unsigned char> out(values.size() * 4, 0xAB);
    nspsbFloatToInt(values.data(), out.data(), 300, m.intSize,
                    flagsOf(m, NSP_ConvSaturate | NSP_ConvReportOverflow));
    const char* belowText = m.isUnsigned ? "A negative float cannot be converted to unsigned"
                                         : "A float exceeds an integer";
    const Report above =
        badArgument("nspsbFloatToInt", "A float exceeds an integer", "nspcvrts", overflowLine(m));
    const std::vector<Report> expected = {
        above, badArgument("nspsbFloatToInt", belowText, "nspcvrts", overflowLine(m)), above};
    EXPECT_EQ(capture.reports(), expected) << m.intSize << "-bit 0x" << std::hex << m.roundingFlag;
    for (int i = 0; i < 300; ++i) {
      const double want = i == 70 || i == 151 ? highest(m)
                          : i == 150          ? lowest(m)
                                              : referenceRound(values[i], m.fenvMode);
      ASSERT_EQ(readElement(out, m, i), want) << m.intSize << "-bit, element " << i;
    }
  }
}

struct Case {
  const char* name;
  float value;
  int intSize;
  int flags;
  double expected;  // NaN: out of range
};

TEST(FloatToInt, LimitsOfTheRanges) {
  const double out = std::nan("");
  const Case cases[] = {
      {"16 nearest just below tie", 32767.49f, 16, 0x80, 32767},
      {"16 nearest tie above max", 32767.5f, 16, 0x80, out},
      {"16 nearest tie below min", -32768.5f, 16, 0x80, -32768},
      {"16 nearest past min", -32768.51f, 16, 0x80, out},
      {"u8 nearest -0.5", -0.5f, 8, 0x880, 0},
      {"u8 nearest -0.6", -0.6f, 8, 0x880, out},
      {"u8 ceiling 255", 255.0f, 8, 0xC00, 255},
      {"u8 ceiling 254.2", 254.2f, 8, 0xC00, 255},
      {"u8 ceiling -0.9", -0.9f, 8, 0xC00, 0},
      {"u8 ceiling -1", -1.0f, 8, 0xC00, out},
      {"floor -0.5", -0.5f, 16, 0x200, -1},
      {"zero -0.5", -0.5f, 16, 0x100, 0},
      {"ceiling -0.5", -0.5f, 16, 0x400, 0},
      {"32 zero min", -2147483648.0f, 32, 0x100, -2147483648.0},
      {"32 zero 2^31", 2147483648.0f, 32, 0x100, out},
      {"u32 nearest 2^32", 4294967296.0f, 32, 0x880, out},
      {"u32 nearest 2^32-256", 4294967040.0f, 32, 0x880, 4294967040.0},
      {"infinity", std::numeric_limits<float>::infinity(), 16, 0x80, out},
  };
  ReportCapture capture;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned char dst[4] = {0xAB, 0xAB, 0xAB, 0xAB};
    nspsbFloatToInt(&c.value, dst, 1, c.intSize, c.flags);
    const Member m{c.intSize, (c.flags & 0x800) != 0, c.flags & 0x780, 0};
    std::vector<unsigned char> bytes(dst, dst + 4);
    if (std::isnan(c.expected)) {
      EXPECT_EQ(dst[0], 0xAB) << "an out-of-range element without flags stays as it was";
    } else {
      EXPECT_EQ(readElement(bytes, m, 0), c.expected);
    }
  }
  EXPECT_TRUE(capture.reports().empty()) << "no report without NSP_ConvReportOverflow";
}

TEST(FloatToInt, EveryMemberReportsOverflowWithItsOwnLineAndGoesOn) {
  for (const Member& m : members) {
    ReportCapture capture;
    const float values[] = {static_cast<float>(highest(m)) * 4.0f + 8.0f, 1.0f,
                            static_cast<float>(lowest(m)) * 4.0f - 8.0f, 2.0f};
    std::vector<unsigned char> out(4 * 4, 0xAB);
    nspsbFloatToInt(values, out.data(), 4, m.intSize,
                    flagsOf(m, NSP_ConvSaturate | NSP_ConvReportOverflow));
    const char* belowText = m.isUnsigned ? "A negative float cannot be converted to unsigned"
                                         : "A float exceeds an integer";
    const std::vector<Report> expected = {
        badArgument("nspsbFloatToInt", "A float exceeds an integer", "nspcvrts", overflowLine(m)),
        badArgument("nspsbFloatToInt", belowText, "nspcvrts", overflowLine(m))};
    EXPECT_EQ(capture.reports(), expected) << m.intSize << " " << overflowLine(m);
    EXPECT_EQ(readElement(out, m, 0), highest(m));
    EXPECT_EQ(readElement(out, m, 1), 1.0) << "conversion goes on after a report";
    EXPECT_EQ(readElement(out, m, 2), lowest(m));
    EXPECT_EQ(readElement(out, m, 3), 2.0);
    EXPECT_EQ(nspStatusGet(), NSP_StatusBadArgument);
  }
}

int16_t savedOnReport = 0;
int16_t* watchedElement = nullptr;
int recordElementAtReport(int status, const char*, const char*, const char*, int) {
  savedOnReport = *watchedElement;
  return status;
}

TEST(FloatToInt, SaturatesBeforeReporting) {
  ReportCapture capture;
  int16_t out[1] = {5};
  watchedElement = out;
  nspSetErrorHandler(recordElementAtReport);
  const float big = 1e6f;
  nspsbFloatToInt(&big, out, 1, 16, 0x3080);
  EXPECT_EQ(savedOnReport, 32767);
}

TEST(FloatToInt, NanCountsAsAboveTheMaximum) {
  ReportCapture capture;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  int16_t out[1] = {5};
  nspsbFloatToInt(&nan, out, 1, 16, NSP_ConvRoundNearest);
  EXPECT_EQ(out[0], 5) << "left as it was";
  nspsbFloatToInt(&nan, out, 1, 16, NSP_ConvRoundNearest | NSP_ConvSaturate);
  EXPECT_EQ(out[0], 32767);
  uint8_t unsignedOut[1] = {7};
  nspsbFloatToInt(&nan, unsignedOut, 1, 8,
                  0x800 | 0x100 | NSP_ConvSaturate | NSP_ConvReportOverflow);
  EXPECT_EQ(unsignedOut[0], 255);
  ASSERT_EQ(capture.reports().size(), 1u);
  EXPECT_EQ(capture.reports()[0],
            badArgument("nspsbFloatToInt", "A float exceeds an integer", "nspcvrts",
                        nspLine::floatToIntOverflow(8, NSP_ConvRoundZero, true)));
}

TEST(ConversionChecks, ReportEveryFailedCheckInOrderAndConvertNothing) {
  ReportCapture capture;
  const float src[2] = {1, 2};
  int16_t dst[2] = {9, 9};

  nspsbFloatToInt(nullptr, dst, 0, 16, 0x80);
  EXPECT_EQ(capture.reports(),
            (std::vector<Report>{
                badArgument("nspsbFloatToInt", "len<=0", "nspcvrts", nspLine::sbFloatToInt),
                badArgument("nspsbFloatToInt", "src==0", "nspcvrts", nspLine::sbFloatToInt)}));
  capture.clear();

  nspsbFloatToInt(src, nullptr, 2, 12, 0x180);
  EXPECT_EQ(capture.reports(),
            (std::vector<Report>{
                badArgument("nspsbFloatToInt", "dst==0", "nspcvrts", nspLine::sbFloatToInt),
                badArgument("nspsbFloatToInt", "Invalid size of an integer", "nspcvrts",
                            nspLine::sbFloatToInt),
                badArgument("nspsbFloatToInt", "Invalid conversion flag", "nspcvrts",
                            nspLine::sbFloatToInt)}));
  capture.clear();

  for (int flags : {0x1000, 0x180, 0, 0x2800}) {
    nspsbFloatToInt(src, dst, 2, 16, flags);
    EXPECT_EQ(capture.reports(),
              (std::vector<Report>{badArgument("nspsbFloatToInt", "Invalid conversion flag",
                                               "nspcvrts", nspLine::sbFloatToInt)}))
        << flags;
    capture.clear();
  }
  EXPECT_EQ(dst[0], 9);
  EXPECT_EQ(dst[1], 9);

  float fdst[2] = {9, 9};
  nspsbIntToFloat(dst, fdst, 2, 16, 0x80);
  EXPECT_EQ(capture.reports(),
            (std::vector<Report>{badArgument("nspsbIntToFloat", "Invalid conversion flag",
                                             "nspcvrts", nspLine::sbIntToFloat)}));
  capture.clear();
  nspsbIntToFloat(nullptr, nullptr, -1, 64, 0);
  EXPECT_EQ(capture.reports(),
            (std::vector<Report>{
                badArgument("nspsbIntToFloat", "len<=0", "nspcvrts", nspLine::sbIntToFloat),
                badArgument("nspsbIntToFloat", "src==0", "nspcvrts", nspLine::sbIntToFloat),
                badArgument("nspsbIntToFloat", "dst==0", "nspcvrts", nspLine::sbIntToFloat),
                badArgument("nspsbIntToFloat", "Invalid size of an integer", "nspcvrts",
                            nspLine::sbIntToFloat)}));
  EXPECT_EQ(fdst[0], 9.0f);
}

TEST(ConversionChecks, ClearTheStatusAtTheStart) {
  ReportCapture capture;
  nspStatusSet(NSP_StatusOutOfMemory);
  const int16_t src[1] = {3};
  float dst[1];
  nspsbIntToFloat(src, dst, 1, 16, 0);
  EXPECT_EQ(nspStatusGet(), NSP_StatusNoError);
  EXPECT_EQ(dst[0], 3.0f);
}

TEST(IntToFloat, ConvertsEverySizeAndSignedness) {
  ReportCapture capture;
  const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFF};
  float out[4];
  nspsbIntToFloat(bytes, out, 4, 8, 0);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{0, 127, -128, -1}));
  nspsbIntToFloat(bytes, out, 4, 8, NSP_ConvUnsigned);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{0, 127, 128, 255}));

  const uint16_t words[] = {0x8000, 0x7FFF};
  nspsbIntToFloat(words, out, 2, 16, 0);
  EXPECT_EQ(out[0], -32768.0f);
  EXPECT_EQ(out[1], 32767.0f);
  nspsbIntToFloat(words, out, 2, 16, NSP_ConvUnsigned);
  EXPECT_EQ(out[0], 32768.0f);
}

TEST(IntToFloat, RoundsLarge32BitValuesToNearestEvenInAnyMode) {
  ReportCapture capture;
  const int32_t values[] = {16777217, 16777219, -16777217, 2147483647, INT32_MIN, 16777218};
  const float expected[] = {16777216.0f,   16777220.0f,    -16777216.0f,
                            2147483648.0f, -2147483648.0f, 16777218.0f};
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
    std::fesetround(mode);
    float out[6];
    nspsbIntToFloat(values, out, 6, 32, 0);
    std::fesetround(FE_TONEAREST);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], expected[i]) << i << " mode " << mode;
  }
  const uint32_t big[] = {4294967295u, 4294967041u};
  float out[2];
  nspsbIntToFloat(big, out, 2, 32, NSP_ConvUnsigned);
  EXPECT_EQ(out[0], 4294967296.0f);
  EXPECT_EQ(out[1], 4294967040.0f);
}

}  // namespace
