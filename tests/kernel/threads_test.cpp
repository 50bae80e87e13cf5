// The kernel used by several threads at once, as a plug-in host runs several
// instances: each thread's status is its own, a table built by two threads
// at once is stored once, and transforms running side by side compute what
// one thread alone computes. Run under ThreadSanitizer by scripts/test.sh.
#include <gtest/gtest.h>

#include <barrier>
#include <cmath>
#include <thread>
#include <vector>

#include "nsp.h"
#include "nspstate.h"
#include "report_capture.h"

namespace {

constexpr int threadCount = 4;

// Runs body(t) on threadCount threads that start together.
template <typename Body>
void runTogether(Body body) {
  std::barrier start(threadCount);
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      body(t);
    });
  }
  for (auto& thread : threads) thread.join();
}

TEST(KernelThreads, AnErrorOnOneThreadIsNotSeenOrClearedByAnother) {
  ReportCapture capture;
  std::barrier step(2);
  int seenByClean = 1;
  int keptByFailing = 0;
  std::thread failing([&] {
    nspsRealFftNip(nullptr, nullptr, -1, NSP_FftForward);  // bad order: -5
    step.arrive_and_wait();  // the other thread looks, then clears its own
    step.arrive_and_wait();
    keptByFailing = nspStatusGet();
  });
  std::thread clean([&] {
    step.arrive_and_wait();
    seenByClean = nspStatusGet();
    const short in[2] = {1, 2};
    float out[2];
    nspsbIntToFloat(in, out, 2, 16, 0);  // clears the status on entry
    step.arrive_and_wait();
  });
  failing.join();
  clean.join();
  EXPECT_EQ(seenByClean, NSP_StatusNoError) << "another thread's error leaked into this one";
  EXPECT_EQ(keptByFailing, NSP_StatusBadArgument) << "another thread's conversion cleared it";
}

TEST(KernelThreads, ATableBuiltByManyThreadsAtOnceIsStoredOnce) {
  nspFreeAllTwd();
  std::vector<float*> radix(threadCount);
  std::vector<int*> bitRev(threadCount);
  runTogether([&](int t) {
    radix[t] = nspGetRadixTwd(9);
    bitRev[t] = nspGetBitRev(9);
  });
  for (int t = 0; t < threadCount; ++t) {
    EXPECT_EQ(radix[t], nspKernelState.radixTwd[9]) << "thread " << t;
    EXPECT_EQ(bitRev[t], nspKernelState.bitRev[9]) << "thread " << t;
  }
  // The tables the losing threads built were freed (the leak checker of
  // the sanitizer build would name them otherwise).
  nspFreeAllTwd();
}

TEST(KernelThreads, TransformsSideBySideMatchOneThreadAlone) {
  constexpr int order = 10;
  constexpr int n = 1 << order;
  std::vector<float> signal(n);
  for (int i = 0; i < n; ++i) {
    signal[i] = static_cast<float>(std::sin(0.05 * i) + 0.25 * std::cos(0.9 * i));
  }
  auto roundTrip = [&](std::vector<float>& out) {
    std::vector<ComplexFloat> spectrum(n / 2 + 1);
    for (int pass = 0; pass < 20; ++pass) {
      nspsRealFftNip(signal.data(), spectrum.data(), order, NSP_FftForward);
      nspsCcsFftNip(spectrum.data(), out.data(), order, NSP_FftInverse);
    }
  };
  std::vector<float> alone(n);
  roundTrip(alone);

  nspFreeAllTwd();  // the threads race to build the tables as well
  std::vector<std::vector<float>> together(threadCount, std::vector<float>(n));
  runTogether([&](int t) { roundTrip(together[t]); });
  for (int t = 0; t < threadCount; ++t) {
    EXPECT_EQ(together[t], alone) << "thread " << t;
  }
  nspFreeAllTwd();
}

}  // namespace
