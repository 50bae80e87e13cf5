// Complex FFT core: bit-reversal reorders, the transform of every size
// path (n = 2, radix-4 kernels of odd and even order, 1024-point kernels
// with radix-2 passes, 16384-point blocks) on every vector width.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "fft_isa.h"
#include "fft_reference.h"
#include "nsp.h"

namespace {

int reversed(int j, int bits) {
  int r = 0;
  for (int b = 0; b < bits; ++b) r |= ((j >> b) & 1) << (bits - 1 - b);
  return r;
}

std::vector<ComplexFloat> complexNoise(int n, unsigned seed) {
  const std::vector<float> values = noise(2 * static_cast<std::size_t>(n), seed);
  std::vector<ComplexFloat> x(n);
  for (int j = 0; j < n; ++j) x[j] = {values[2 * j], values[2 * j + 1]};
  return x;
}

std::vector<ComplexFloat> bitReversed(const std::vector<ComplexFloat>& x, int c) {
  std::vector<ComplexFloat> out(x.size());
  for (int j = 0; j < static_cast<int>(x.size()); ++j) out[reversed(j, c)] = x[j];
  return out;
}

std::vector<ComplexD> toDouble(const std::vector<ComplexFloat>& x) {
  std::vector<ComplexD> out;
  for (const ComplexFloat& v : x) out.emplace_back(v.re, v.im);
  return out;
}

bool sameBits(const std::vector<ComplexFloat>& a, const std::vector<ComplexFloat>& b) {
  return std::memcmp(a.data(), b.data(), a.size() * sizeof(ComplexFloat)) == 0;
}

class FftCore : public ::testing::Test {
 protected:
  void SetUp() override { nspFreeAllTwd(); }
  void TearDown() override {
    nspFreeAllTwd();
    selectWidestIsa();
  }
};

TEST_F(FftCore, ReorderCopyIsThePlainBitReversal) {
  for (int c = 0; c <= 13; ++c) {
    const int n = 1 << c;
    const std::vector<ComplexFloat> x = complexNoise(n, 10u + c);
    std::vector<ComplexFloat> out(n, ComplexFloat{99.0f, 99.0f});
    nspFftReorderCopy(x.data(), out.data(), c, nspGetBitRev(c));
    EXPECT_TRUE(sameBits(out, bitReversed(x, c))) << "order " << c;
  }
}

TEST_F(FftCore, ReorderInPlaceIsTheBitReversalAndUndoesItself) {
  for (int c = 2; c <= 13; ++c) {
    const int n = 1 << c;
    const std::vector<ComplexFloat> x = complexNoise(n, 20u + c);
    std::vector<ComplexFloat> data = x;
    nspFftReorderInPlace(data.data(), c, nspGetBitRev(c));
    EXPECT_TRUE(sameBits(data, bitReversed(x, c))) << "order " << c;
    nspFftReorderInPlace(data.data(), c, nspGetBitRev(c));
    EXPECT_TRUE(sameBits(data, x)) << "order " << c;
  }
}

TEST_F(FftCore, TwoPointsGiveSumAndDifferenceInBothDirections) {
  for (int direction : {1, -1}) {
    ComplexFloat data[2] = {{1.0f, 2.0f}, {3.0f, 5.0f}};
    nspFftComplex(data, 2, direction, nullptr);
    EXPECT_EQ(data[0].re, 4.0f);
    EXPECT_EQ(data[0].im, 7.0f);
    EXPECT_EQ(data[1].re, -2.0f);
    EXPECT_EQ(data[1].im, -3.0f);
  }
}

TEST_F(FftCore, FourPointsFromBitReversedInputAreTheDft) {
  for (int isa : isasToTest(true)) {
    ASSERT_TRUE(nspFftSelectIsa(isa));
    const std::vector<ComplexFloat> a = {{1, 0}, {2, -1}, {0, 3}, {-4, 1}};
    std::vector<ComplexFloat> data = {a[0], a[2], a[1], a[3]};
    nspFftComplex(data.data(), 4, 1, nspGetRadixTwd(2));
    const std::vector<ComplexD> want = plainDft(toDouble(a), -1);
    for (int k = 0; k < 4; ++k) {
      EXPECT_FLOAT_EQ(data[k].re, static_cast<float>(want[k].real())) << isaName(isa) << k;
      EXPECT_FLOAT_EQ(data[k].im, static_cast<float>(want[k].imag())) << isaName(isa) << k;
    }
  }
}

// Every size path: odd orders take Stage B, even ones the 16-point stage;
// 2048 and 4096 add radix-2 passes over the main table; 32768 and 65536
// run 16384-point blocks with in-block passes over the appendix and final
// passes over the main table.
TEST_F(FftCore, EverySizeMatchesTheReferenceInBothDirections) {
  for (int c = 2; c <= 16; ++c) {
    const int n = 1 << c;
    const std::vector<ComplexFloat> x = complexNoise(n, 30u + c);
    const std::vector<ComplexFloat> input = bitReversed(x, c);
    const float* table = nspGetRadixTwd(c);
    for (int direction : {1, -1}) {
      const std::vector<ComplexD> want = referenceTransform(toDouble(x), direction > 0 ? -1 : 1);
      for (int isa : isasToTest(true)) {
        ASSERT_TRUE(nspFftSelectIsa(isa));
        std::vector<ComplexFloat> data = input;
        nspFftComplex(data.data(), n, direction, table);
        EXPECT_LE(relativeRmsError(data.data(), want), 1e-6)
            << "n " << n << ", direction " << direction << ", " << isaName(isa);
      }
    }
  }
}

TEST_F(FftCore, ForwardThenInverseReturnsNTimesTheInput) {
  for (int c : {3, 10, 11, 15}) {
    const int n = 1 << c;
    const std::vector<ComplexFloat> x = complexNoise(n, 40u + c);
    std::vector<ComplexFloat> data(n);
    nspFftReorderCopy(x.data(), data.data(), c, nspGetBitRev(c));
    nspFftComplex(data.data(), n, 1, nspGetRadixTwd(c));
    nspFftReorderInPlace(data.data(), c, nspGetBitRev(c));
    nspFftComplex(data.data(), n, -1, nspGetRadixTwd(c));
    std::vector<ComplexD> want = toDouble(x);
    for (ComplexD& v : want) v *= n;
    EXPECT_LE(relativeRmsError(data.data(), want), 1e-6) << "n " << n;
  }
}

// n = 2048: two 1024-point kernels and one radix-2 pass over the main table.
TEST_F(FftCore, Size2048IsTwoKernelsAndOnePass) {
  const std::vector<ComplexFloat> input = complexNoise(2048, 50);
  const float* table = nspGetRadixTwd(11);
  const float* radix10 = nspGetRadixTwd(10);
  for (int direction : {1, -1}) {
    std::vector<ComplexFloat> whole = input, steps = input;
    nspFftComplex(whole.data(), 2048, direction, table);
    for (int chunk = 0; chunk < 2048; chunk += 1024) {
      (direction > 0 ? nspFftRadix4Fwd : nspFftRadix4Inv)(steps.data() + chunk, 1024, radix10 + 2);
    }
    nspFftRadix2Passes(steps.data(), 2048, 1024, reinterpret_cast<const ComplexFloat*>(table), 2048,
                       direction, 256);
    EXPECT_TRUE(sameBits(whole, steps)) << "direction " << direction;
  }
}

// n = 32768: the passes inside each 16384-point block read only the
// appendix, the last pass only the main entries.
TEST_F(FftCore, Size32768ReadsTheAppendixInsideBlocksAndTheMainTableAcross) {
  const int n = 32768;
  const std::vector<ComplexFloat> x = complexNoise(n, 60);
  const auto* expTable = reinterpret_cast<const ComplexFloat*>(nspGetRadixTwd(15));
  const float* radix10 = nspGetRadixTwd(10);
  const float nan = std::numeric_limits<float>::quiet_NaN();

  std::vector<ComplexFloat> data = bitReversed(x, 15);
  for (int chunk = 0; chunk < n; chunk += 1024)
    nspFftRadix4Fwd(data.data() + chunk, 1024, radix10 + 2);
  // Main entries poisoned: the in-block passes must not read them.
  std::vector<ComplexFloat> appendixOnly(n / 2 + 4096, ComplexFloat{nan, nan});
  std::copy(expTable + n / 2, expTable + n / 2 + 4096, appendixOnly.begin() + n / 2);
  for (int block = 0; block < n; block += 16384) {
    nspFftRadix2Passes(data.data() + block, 16384, 1024, appendixOnly.data(), n, 1, 256);
  }
  // Appendix poisoned: the pass across blocks must not read it.
  std::vector<ComplexFloat> mainOnly(expTable, expTable + n / 2);
  mainOnly.resize(n / 2 + 4096, ComplexFloat{nan, nan});
  nspFftRadix2Passes(data.data(), n, 16384, mainOnly.data(), n, 1, 256);

  EXPECT_LE(relativeRmsError(data.data(), referenceFft(toDouble(x), -1)), 1e-6);
}

}  // namespace

// The k = 0 butterflies take no twiddle: a product with 1 would turn an
// infinite component into NaN. Every width must keep what the plain rule
// keeps, so an infinite sample spreads alike whatever the width.
TEST_F(FftCore, InfiniteSamplesSpreadAlikeOnEveryWidth) {
  const auto kind = [](float v) { return std::isnan(v) ? 2 : std::isinf(v) ? (v > 0 ? 3 : 4) : 0; };
  for (int c : {4, 5, 6, 7}) {
    const int n = 1 << c;
    for (int position : {0, 1, n / 2, n - 1}) {
      std::vector<ComplexFloat> input(n, ComplexFloat{0.25f, -0.5f});
      input[position].re = std::numeric_limits<float>::infinity();
      std::vector<std::vector<ComplexFloat>> results;
      const std::vector<int> isas = isasToTest(true);
      for (int isa : isas) {
        ASSERT_TRUE(nspFftSelectIsa(isa));
        std::vector<ComplexFloat> data = input;
        nspFftComplex(data.data(), n, 1, nspGetRadixTwd(c));
        results.push_back(data);
      }
      for (size_t v = 1; v < results.size(); ++v) {
        for (int k = 0; k < n; ++k) {
          ASSERT_EQ(kind(results[v][k].re), kind(results[0][k].re))
              << "n " << n << " position " << position << " bin " << k << " " << isaName(isas[v]);
          ASSERT_EQ(kind(results[v][k].im), kind(results[0][k].im))
              << "n " << n << " position " << position << " bin " << k << " " << isaName(isas[v]);
        }
      }
    }
  }
}
