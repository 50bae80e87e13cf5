// Real transforms: flags, argument checks and their reports, table
// fetching with its retry, the paired transform's backtrace, and the
// results of the small orders and of simple blocks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "fft_isa.h"
#include "fft_reference.h"
#include "fft_tables.h"
#include "nsp.h"
#include "nspreportlines.h"
#include "nspstate.h"
#include "report_capture.h"

namespace {

constexpr float untouched = -12345.0f;

class RealFft : public ::testing::Test {
 protected:
  void SetUp() override { nspFreeAllTwd(); }
  void TearDown() override {
    nspFreeAllTwd();
    selectWidestIsa();
  }
  ReportCapture capture_;
};

Report fftReport(int status, const char* funcName, const char* context, int line) {
  return {status, funcName, context, "nspffts", line};
}

struct EntryPoint {
  const char* name;
  int orderLine, bufferLine, flagsLine;
  // Runs the entry point on buffers of order `order` (or null ones) and
  // tells whether its output buffer was left as it was.
  bool (*run)(int order, int flags, bool nullIn, bool nullOut);
};

bool runForward(int order, int flags, bool nullIn, bool nullOut) {
  const std::size_t n = std::size_t{1} << (order < 0 || order > 12 ? 4 : order);
  std::vector<float> in(n, 1.0f);
  std::vector<ComplexFloat> out(n / 2 + 1, ComplexFloat{untouched, untouched});
  const std::vector<ComplexFloat> before = out;
  nspsRealFftNip(nullIn ? nullptr : in.data(), nullOut ? nullptr : out.data(), order, flags);
  return std::memcmp(out.data(), before.data(), out.size() * sizeof(ComplexFloat)) == 0;
}

bool runInverse(int order, int flags, bool nullIn, bool nullOut) {
  const std::size_t n = std::size_t{1} << (order < 0 || order > 12 ? 4 : order);
  std::vector<ComplexFloat> in(n / 2 + 1, ComplexFloat{1.0f, 0.0f});
  std::vector<float> out(n, untouched);
  const std::vector<float> before = out;
  nspsCcsFftNip(nullIn ? nullptr : in.data(), nullOut ? nullptr : out.data(), order, flags);
  return out == before;
}

const EntryPoint entryPoints[] = {{"nspsRealFftNip", nspLine::realFftOrder, nspLine::realFftBuffers,
                                   nspLine::realFftFlags, runForward},
                                  {"nspsCcsFftNip", nspLine::ccsFftOrder, nspLine::ccsFftBuffers,
                                   nspLine::ccsFftFlags, runInverse}};

TEST_F(RealFft, BadDirectionBitsAreReportedAndNothingIsWritten) {
  struct Case {
    int flags;
    const char* context;
  };
  const Case cases[] = {{3, "(flags & 1) && (flags & 2)"},
                        {3 | 16, "(flags & 1) && (flags & 2)"},
                        {0, "(flags & 1)==0 && (flags & 2)==0"},
                        {16, "(flags & 1)==0 && (flags & 2)==0"}};
  for (const EntryPoint& entry : entryPoints) {
    for (const Case& c : cases) {
      for (int order : {0, 1, 8}) {
        capture_.clear();
        EXPECT_TRUE(entry.run(order, c.flags, false, false)) << entry.name << c.flags;
        EXPECT_EQ(capture_.reports(), std::vector<Report>{badArgument(entry.name, c.context,
                                                                      "nspffts", entry.flagsLine)})
            << entry.name << " flags " << c.flags << " order " << order;
      }
    }
  }
}

TEST_F(RealFft, OrdersOutOfRangeAreReportedBeforeAnyTableIsBuilt) {
  TableHeapRecorder heap;
  for (const EntryPoint& entry : entryPoints) {
    for (int order : {-1, INT_MIN, 32, INT_MAX}) {
      capture_.clear();
      EXPECT_TRUE(entry.run(order, NSP_FftForward, false, false));
      const char* context = order < 0 ? "order<0" : "order>31";
      EXPECT_EQ(capture_.reports(),
                std::vector<Report>{badArgument(entry.name, context, "nspffts", entry.orderLine)})
          << entry.name << " order " << order;
    }
  }
  EXPECT_TRUE(heap.requests().empty());
}

// Order 31 is the largest the transforms take: it is not refused as out of
// range, and where the table heap cannot give its tables the report is the
// one for missing table memory.
TEST_F(RealFft, Order31IsAcceptedAndFailsOnlyForWantOfTableMemory) {
  TableHeapRecorder heap;
  heap.failFrom(0);
  for (const EntryPoint& entry : entryPoints) {
    capture_.clear();
    EXPECT_TRUE(entry.run(31, NSP_FftForward, false, false)) << entry.name;
    EXPECT_EQ(capture_.reports(),
              std::vector<Report>{fftReport(NSP_StatusOutOfMemory, entry.name,
                                            "No working Twd memory", entry.orderLine)});
    EXPECT_EQ(nspStatusGet(), NSP_StatusOutOfMemory) << entry.name;
  }
  EXPECT_FALSE(heap.requests().empty()) << "order 31 never asked for its tables";
}

TEST_F(RealFft, NullBuffersAreReportedAfterTheTablesAreBuilt) {
  // The forward transform's split table, the inverse's exponential one.
  ComplexFloat** const splitSlots[] = {&nspKernelState.splitTwd[8], &nspKernelState.expTwd[9]};
  for (int e = 0; e < 2; ++e) {
    const EntryPoint& entry = entryPoints[e];
    nspFreeAllTwd();
    capture_.clear();
    entry.run(9, NSP_FftForward, true, false);
    EXPECT_EQ(capture_.reports(), std::vector<Report>{badArgument(entry.name, "inSamps==0",
                                                                  "nspffts", entry.bufferLine)});
    EXPECT_NE(nspKernelState.radixTwd[8], nullptr) << entry.name;
    EXPECT_NE(nspKernelState.bitRev[8], nullptr) << entry.name;
    EXPECT_NE(*splitSlots[e], nullptr) << entry.name;

    capture_.clear();
    entry.run(9, NSP_FftForward, false, true);
    EXPECT_EQ(capture_.reports(), std::vector<Report>{badArgument(entry.name, "outSamps==0",
                                                                  "nspffts", entry.bufferLine)});
  }
}

TEST_F(RealFft, InitOnlyBuildsTheTablesAndTouchesNoBuffer) {
  nspsRealFftNip(nullptr, nullptr, 12, NSP_FftInitOnly);
  nspsCcsFftNip(nullptr, nullptr, 12, NSP_FftInitOnly | NSP_FftForward | NSP_FftInverse);
  EXPECT_TRUE(capture_.reports().empty());
  EXPECT_NE(nspKernelState.radixTwd[10], nullptr);
  EXPECT_NE(nspKernelState.expTwd[11], nullptr) << "stands in for the radix table of order 11";
  EXPECT_NE(nspKernelState.splitTwd[11], nullptr);
  EXPECT_NE(nspKernelState.bitRev[11], nullptr);
  EXPECT_NE(nspKernelState.expTwd[12], nullptr);

  // Orders 0 and 1 use no tables.
  nspFreeAllTwd();
  nspsRealFftNip(nullptr, nullptr, 1, NSP_FftInitOnly);
  nspsCcsFftNip(nullptr, nullptr, 0, NSP_FftInitOnly);
  EXPECT_TRUE(capture_.reports().empty());
  EXPECT_TRUE(tableCacheIsEmpty());
}

TEST_F(RealFft, FreeTablesReleasesTheOrdersTablesWhateverTheOtherArguments) {
  nspsRealFftNip(nullptr, nullptr, 12, NSP_FftInitOnly);
  nspsCcsFftNip(nullptr, nullptr, 12, NSP_FftInitOnly);
  nspsRealFftNip(nullptr, nullptr, 12, NSP_FftFreeTables | NSP_FftForward | NSP_FftInverse);
  EXPECT_EQ(nspKernelState.expTwd[11], nullptr);
  EXPECT_EQ(nspKernelState.splitTwd[11], nullptr);
  EXPECT_EQ(nspKernelState.bitRev[11], nullptr);
  EXPECT_NE(nspKernelState.expTwd[12], nullptr) << "the inverse's own table stays";
  EXPECT_NE(nspKernelState.radixTwd[10], nullptr) << "the order-10 table serves other orders";
  nspsCcsFftNip(nullptr, nullptr, 12, NSP_FftFreeTables);
  EXPECT_EQ(nspKernelState.expTwd[12], nullptr);

  for (int order : {-5, 0, 1, 31, 32, 40, INT_MIN, INT_MAX}) {
    nspsRealFftNip(nullptr, nullptr, order, NSP_FftFreeTables);
    nspsCcsFftNip(nullptr, nullptr, order, NSP_FftFreeTables);
  }
  EXPECT_TRUE(capture_.reports().empty());
}

TEST_F(RealFft, FailedFetchEmptiesTheWholeCacheAndReportsNoMemory) {
  nspsRealFftNip(nullptr, nullptr, 6, NSP_FftInitOnly);
  nspsCcsFftNip(nullptr, nullptr, 13, NSP_FftInitOnly);
  TableHeapRecorder heap;
  heap.failFrom(0);
  for (const EntryPoint& entry : entryPoints) {
    capture_.clear();
    EXPECT_TRUE(entry.run(9, NSP_FftForward, false, false)) << entry.name;
    EXPECT_EQ(capture_.reports(),
              std::vector<Report>{fftReport(NSP_StatusOutOfMemory, entry.name,
                                            "No working Twd memory", entry.orderLine)});
    EXPECT_TRUE(tableCacheIsEmpty()) << entry.name;
    EXPECT_EQ(nspStatusGet(), NSP_StatusOutOfMemory);
  }
}

TEST_F(RealFft, FetchRetriesOnceAfterEmptyingTheCache) {
  nspsRealFftNip(nullptr, nullptr, 6, NSP_FftInitOnly);
  TableHeapRecorder heap;
  heap.failNext(1);
  std::vector<float> in = noise(512, 1);
  std::vector<ComplexFloat> out(257);
  nspsRealFftNip(in.data(), out.data(), 9, NSP_FftForward);
  EXPECT_TRUE(capture_.reports().empty());
  EXPECT_LE(relativeRmsError(out.data(), referenceRealSpectrum(in, -1)), 1e-6);
  EXPECT_EQ(nspKernelState.radixTwd[5], nullptr) << "the earlier order went with the retry";
  EXPECT_NE(nspKernelState.radixTwd[8], nullptr);
}

TEST_F(RealFft, PairedTransformTracesAnEarlierErrorAfterDoingBothBlocks) {
  const std::vector<float> in1 = noise(256, 2), in2 = noise(256, 3);
  std::vector<ComplexFloat> out1(129), out2(129);
  nspsbMpy1(1.0f, nullptr, 4);  // an unrelated error, still recorded
  capture_.clear();
  nspsReal2FftNip(in1.data(), out1.data(), in2.data(), out2.data(), 8, NSP_FftForward);
  EXPECT_EQ(capture_.reports(),
            std::vector<Report>{fftReport(NSP_StatusBacktrace, "nspsReal2FftNip",
                                          "out nspsRealFftNip", nspLine::real2FftBacktrace)});
  EXPECT_EQ(nspStatusGet(), NSP_StatusBadArgument) << "the backtrace keeps the first error";
  EXPECT_LE(relativeRmsError(out1.data(), referenceRealSpectrum(in1, -1)), 1e-6);
  EXPECT_LE(relativeRmsError(out2.data(), referenceRealSpectrum(in2, -1)), 1e-6);
}

TEST_F(RealFft, PairedTransformDoesTheSecondBlockWhenTheFirstFails) {
  const std::vector<float> in2 = noise(256, 4);
  std::vector<ComplexFloat> out1(129), out2(129);
  nspsReal2FftNip(nullptr, out1.data(), in2.data(), out2.data(), 8, NSP_FftForward);
  EXPECT_EQ(capture_.reports(),
            (std::vector<Report>{
                badArgument("nspsRealFftNip", "inSamps==0", "nspffts", nspLine::realFftBuffers),
                fftReport(NSP_StatusBacktrace, "nspsReal2FftNip", "out nspsRealFftNip",
                          nspLine::real2FftBacktrace)}));
  EXPECT_LE(relativeRmsError(out2.data(), referenceRealSpectrum(in2, -1)), 1e-6);

  capture_.clear();
  nspStatusSet(NSP_StatusNoError);
  nspsReal2FftNip(in2.data(), out1.data(), in2.data(), out2.data(), 8, NSP_FftForward);
  EXPECT_TRUE(capture_.reports().empty()) << "no backtrace without an error";
}

TEST_F(RealFft, OrderZeroIsNeverScaledAndOrderOneIsHalved) {
  const float x[2] = {3.0f, 5.0f};
  ComplexFloat spectrum[2];
  nspsRealFftNip(x, spectrum, 0, NSP_FftInverse);
  EXPECT_EQ(spectrum[0].re, 3.0f);
  EXPECT_EQ(spectrum[0].im, 0.0f);
  nspsRealFftNip(x, spectrum, 1, NSP_FftInverse);
  EXPECT_EQ(spectrum[0].re, 4.0f);
  EXPECT_EQ(spectrum[1].re, -1.0f);
  EXPECT_EQ(spectrum[0].im, 0.0f);
  EXPECT_EQ(spectrum[1].im, 0.0f);

  const ComplexFloat bins[2] = {{3.0f, 9.0f}, {5.0f, 9.0f}};
  float samples[2];
  nspsCcsFftNip(bins, samples, 0, NSP_FftInverse);
  EXPECT_EQ(samples[0], 3.0f);
  nspsCcsFftNip(bins, samples, 1, NSP_FftForward);
  EXPECT_EQ(samples[0], 8.0f);
  EXPECT_EQ(samples[1], -2.0f);
  EXPECT_TRUE(capture_.reports().empty());
}

TEST_F(RealFft, ConstantAndAlternatingBlocksFillOneBin) {
  const float v = 0.75f;
  for (int order : {2, 3, 8, 11, 15}) {
    const int n = 1 << order;
    std::vector<float> constant(n, v), alternating(n);
    for (int t = 0; t < n; ++t) alternating[t] = t % 2 ? -v : v;
    std::vector<ComplexFloat> spectrum(n / 2 + 1);
    const float tiny = 1e-6f * n * v;

    nspsRealFftNip(constant.data(), spectrum.data(), order, NSP_FftForward);
    EXPECT_NEAR(spectrum[0].re, n * v, tiny) << order;
    EXPECT_EQ(spectrum[0].im, 0.0f);
    for (int k = 1; k <= n / 2; ++k) {
      ASSERT_NEAR(std::hypot(spectrum[k].re, spectrum[k].im), 0.0f, tiny) << order << " bin " << k;
    }

    nspsRealFftNip(alternating.data(), spectrum.data(), order, NSP_FftForward);
    EXPECT_NEAR(spectrum[n / 2].re, n * v, tiny) << order;
    EXPECT_EQ(spectrum[n / 2].im, 0.0f);
    for (int k = 0; k < n / 2; ++k) {
      ASSERT_NEAR(std::hypot(spectrum[k].re, spectrum[k].im), 0.0f, tiny) << order << " bin " << k;
    }
  }
}

TEST_F(RealFft, InverseIgnoresTheOuterImaginaryPartsAndNoScaleGivesNTimes) {
  for (int order : {2, 5, 10, 13}) {
    const int n = 1 << order;
    const std::vector<float> samples = noise(n, 70u + order);
    std::vector<ComplexFloat> spectrum(n / 2 + 1);
    nspsRealFftNip(samples.data(), spectrum.data(), order, NSP_FftForward);

    std::vector<float> plain(n), noisy(n), unscaled(n);
    nspsCcsFftNip(spectrum.data(), plain.data(), order, NSP_FftInverse);
    spectrum[0].im = 1e6f;
    spectrum[n / 2].im = -3e5f;
    nspsCcsFftNip(spectrum.data(), noisy.data(), order, NSP_FftInverse);
    EXPECT_EQ(plain, noisy) << order;

    nspsCcsFftNip(spectrum.data(), unscaled.data(), order, NSP_FftInverse | NSP_FftNoScale);
    for (int t = 0; t < n; ++t) ASSERT_EQ(unscaled[t] / static_cast<float>(n), plain[t]) << t;
  }
  EXPECT_TRUE(capture_.reports().empty());
}

// The inverse transforms' 1/N is a vectorised pass of its own: a width
// that skipped the values after its last whole vector, or rounded the
// product otherwise, would show as a scaled result that is not exactly the
// unscaled one times 2^-order.
TEST_F(RealFft, ScalingMultipliesEveryFloatOnceOnEveryWidth) {
  for (int isa : isasToTest(true)) {
    ASSERT_TRUE(nspFftSelectIsa(isa));
    for (int order : {1, 2, 3, 4, 7, 10}) {
      const int n = 1 << order;
      const float factor = std::ldexp(1.0f, -order);
      std::vector<float> samples = noise(n, 90u + order);
      samples[0] = 1e-39f;  // a subnormal result must round alike
      std::vector<ComplexFloat> scaled(n / 2 + 1), unscaled(n / 2 + 1);
      nspsRealFftNip(samples.data(), scaled.data(), order, NSP_FftInverse);
      nspsRealFftNip(samples.data(), unscaled.data(), order, NSP_FftInverse | NSP_FftNoScale);
      for (int k = 0; k <= n / 2; ++k) {
        ASSERT_EQ(scaled[k].re, unscaled[k].re * factor) << isaName(isa) << " bin " << k;
        ASSERT_EQ(scaled[k].im, unscaled[k].im * factor) << isaName(isa) << " bin " << k;
      }
      std::vector<float> back(n), backUnscaled(n);
      nspsCcsFftNip(unscaled.data(), back.data(), order, NSP_FftInverse);
      nspsCcsFftNip(unscaled.data(), backUnscaled.data(), order, NSP_FftInverse | NSP_FftNoScale);
      for (int t = 0; t < n; ++t) {
        ASSERT_EQ(back[t], backUnscaled[t] * factor) << isaName(isa) << " sample " << t;
      }
    }
  }
  EXPECT_TRUE(capture_.reports().empty());
}

// From 64 samples up, the forward transform of separate buffers reads the
// samples in natural order into its first stages, and the inverse one reads
// its unsplit values from the stack; an in-place forward call and the
// inverse's steps taken one by one go the way of the list-driven reorder.
// Both must give the same bits, on every width.
TEST_F(RealFft, NaturalOrderReadsGiveTheBitsOfTheReorderAndKernel) {
  for (int isa : isasToTest(true)) {
    ASSERT_TRUE(nspFftSelectIsa(isa));
    for (int order = 2; order <= 12; ++order) {
      SCOPED_TRACE(testing::Message() << isaName(isa) << " order " << order);
      const int n = 1 << order, c = order - 1, half = n / 2;
      const std::vector<float> samples = noise(n, 400u + order);

      std::vector<ComplexFloat> apart(half + 1), inPlace(half + 1);
      nspsRealFftNip(samples.data(), apart.data(), order, NSP_FftForward);
      std::memcpy(inPlace.data(), samples.data(), n * sizeof(float));
      nspsRealFftNip(reinterpret_cast<float*>(inPlace.data()), inPlace.data(), order,
                     NSP_FftForward);
      ASSERT_EQ(std::memcmp(apart.data(), inPlace.data(), apart.size() * sizeof(ComplexFloat)), 0);

      for (int direction : {NSP_FftForward, NSP_FftInverse}) {
        std::vector<float> back(n), stepwise(n);
        nspsCcsFftNip(apart.data(), back.data(), order, direction);
        const NspFftKernels& kernels = nspFftKernels();
        auto* packed = reinterpret_cast<ComplexFloat*>(stepwise.data());
        (direction == NSP_FftForward ? kernels.unsplitForward : kernels.unsplitInverse)(
            apart.data(), packed, half, nspGetExpTwd(order));
        nspFftReorderInPlace(packed, c, nspGetBitRev(c));
        nspFftComplex(packed, half, direction == NSP_FftForward ? 1 : -1, nspGetRadixTwd(c));
        if (direction == NSP_FftInverse) {
          for (float& v : stepwise) v *= std::ldexp(1.0f, -order);
        }
        ASSERT_EQ(std::memcmp(back.data(), stepwise.data(), n * sizeof(float)), 0)
            << "direction " << direction;
      }
    }
  }
  EXPECT_TRUE(capture_.reports().empty());
}

}  // namespace
