// The one way the kernel picks an instruction-set variant (nspisa.h), as
// the FFT stages and the polar conversions both use it.
#include <gtest/gtest.h>

#include <string>

#include "nspfftisa.h"
#include "nspvmath.h"

namespace {

// The widest variant a family offers on this machine.
template <class Kernels>
int widestOffered(const Kernels* (*variant)(int)) {
  int widest = -1;
  for (int isa : nspIsaAll) {
    if (variant(isa) != nullptr) widest = isa;
  }
  return widest;
}

// A CPU check that never passes would leave a family on a narrow path; one
// that always passes would crash on older machines. Both families must
// offer exactly what they built and the CPU runs, and start on the widest.
TEST(IsaChoice, EachFamilyStartsOnItsWidestVariantAndOffersOnlyWhatTheCpuRuns) {
  const int fftWidest = widestOffered(nspFftKernelsFor);
  const int polarWidest = widestOffered(nspPolarKernelsFor);
  ASSERT_GE(fftWidest, NSP_IsaScalar);
  ASSERT_GE(polarWidest, NSP_IsaScalar);
  EXPECT_EQ(&nspFftKernels(), nspFftKernelsFor(fftWidest));
  EXPECT_EQ(&nspPolarKernels(), nspPolarKernelsFor(polarWidest));
  for (int isa : nspIsaAll) {
    if (!nspCpuRuns(isa)) {
      EXPECT_EQ(nspFftKernelsFor(isa), nullptr) << nspIsaName(isa);
      EXPECT_EQ(nspPolarKernelsFor(isa), nullptr) << nspIsaName(isa);
    }
  }
#if defined(__x86_64__)
  EXPECT_TRUE(nspCpuRuns(NSP_IsaSse2));
  EXPECT_NE(nspFftKernelsFor(NSP_IsaSse2), nullptr);
  EXPECT_NE(nspPolarKernelsFor(NSP_IsaSse2), nullptr);
#endif
}

// Messages, tests and benchmarks name a variant by the name its kernels
// carry; a family labelling its tables with another name would make the
// reports lie about what ran.
TEST(IsaChoice, VariantsCarryTheSharedNames) {
  for (int isa : nspIsaAll) {
    EXPECT_EQ(nspIsaNamed(nspIsaName(isa)), isa);
    if (const NspFftKernels* k = nspFftKernelsFor(isa)) {
      EXPECT_STREQ(k->name, nspIsaName(isa));
    }
    if (const NspPolarKernels* k = nspPolarKernelsFor(isa)) {
      EXPECT_STREQ(k->name, nspIsaName(isa));
    }
  }
  EXPECT_EQ(nspIsaNamed("AVX2"), -1);
  EXPECT_EQ(nspIsaNamed(nullptr), -1);
  EXPECT_EQ(nspIsaName(-1), nullptr);
  EXPECT_EQ(nspIsaName(4), nullptr);
}

// Asking for a variant the machine lacks must fail and keep the one in use,
// not leave a null table behind.
TEST(IsaChoice, RefusedSelectionKeepsTheVariantInUse) {
  const NspFftKernels* fft = &nspFftKernels();
  const NspPolarKernels* polar = &nspPolarKernels();
  for (int isa : {-1, 4}) {
    EXPECT_FALSE(nspFftSelectIsa(isa));
    EXPECT_FALSE(nspPolarSelectIsa(isa));
  }
  for (int isa : nspIsaAll) {
    if (nspFftKernelsFor(isa) == nullptr) {
      EXPECT_FALSE(nspFftSelectIsa(isa));
    }
  }
  EXPECT_EQ(&nspFftKernels(), fft);
  EXPECT_EQ(&nspPolarKernels(), polar);
}

}  // namespace
