// Accuracy of the real transforms against the double-precision reference,
// for every order 0..20, both directions, and every vector width this
// machine runs (the widest alone above order 16, where only the passes'
// extent changes, to keep the sanitizer run short).
#include <gtest/gtest.h>

#include <vector>

#include "fft_isa.h"
#include "fft_reference.h"
#include "nsp.h"

namespace {

constexpr double tolerance = 1e-6;
constexpr int allWidthsUpToOrder = 16;

class RealFftAccuracy : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { selectWidestIsa(); }
};

TEST_P(RealFftAccuracy, ForwardAndRoundTripWithinOnePartPerMillion) {
  const int order = GetParam();
  const std::size_t n = std::size_t{1} << order;
  const std::vector<float> samples = noise(n, 1000u + static_cast<unsigned>(order));
  nspStatusSet(NSP_StatusNoError);

  struct Direction {
    int forwardFlags, inverseFlags, sign;
    double scale;
  };
  // Flags 1: e^(-i...), unscaled, undone by the scaled inverse (flags 2).
  // Flags 2: e^(+i...) scaled by 1/N, undone by the unscaled flags 1.
  const Direction directions[] = {
      {NSP_FftForward, NSP_FftInverse, -1, 1.0},
      {NSP_FftInverse, NSP_FftForward, +1, 1.0 / static_cast<double>(n)}};
  for (const Direction& direction : directions) {
    std::vector<ComplexD> want = referenceRealSpectrum(samples, direction.sign);
    for (ComplexD& bin : want) bin *= direction.scale;
    for (int isa : isasToTest(order <= allWidthsUpToOrder)) {
      ASSERT_TRUE(nspFftSelectIsa(isa));
      SCOPED_TRACE(testing::Message()
                   << "isa " << isaName(isa) << ", flags " << direction.forwardFlags);
      std::vector<ComplexFloat> spectrum(n / 2 + 1, ComplexFloat{-7.0f, -7.0f});
      nspsRealFftNip(samples.data(), spectrum.data(), order, direction.forwardFlags);
      EXPECT_LE(relativeRmsError(spectrum.data(), want), tolerance);

      std::vector<float> back(n, -7.0f);
      nspsCcsFftNip(spectrum.data(), back.data(), order, direction.inverseFlags);
      EXPECT_LE(relativeRmsError(back.data(), samples), tolerance);
    }
  }
  EXPECT_EQ(nspStatusGet(), NSP_StatusNoError);
}

INSTANTIATE_TEST_SUITE_P(Orders, RealFftAccuracy, ::testing::Range(0, 21),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "order" + std::to_string(info.param);
                         });

}  // namespace
