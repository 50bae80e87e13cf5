// The kernel used by several threads at once, as a plug-in host runs several
// instances: each thread's status is its own, a table built by two threads
// at once is stored once, transforms running side by side compute what
// one thread alone computes, and a transform that runs out of table memory
// does not free the tables another thread is transforming with. Run under
// ThreadSanitizer by scripts/test.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cmath>
#include <cstdlib>
#include <latch>
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

std::vector<float> testSignal(int n) {
  std::vector<float> signal(n);
  for (int i = 0; i < n; ++i) {
    signal[i] = static_cast<float>(std::sin(0.05 * i) + 0.25 * std::cos(0.9 * i));
  }
  return signal;
}

// A forward and an inverse transform of signal, `passes` times, into out.
void roundTrip(const std::vector<float>& signal, int order, int passes, std::vector<float>& out) {
  std::vector<ComplexFloat> spectrum((std::size_t{1} << order) / 2 + 1);
  for (int pass = 0; pass < passes; ++pass) {
    nspsRealFftNip(signal.data(), spectrum.data(), order, NSP_FftForward);
    nspsCcsFftNip(spectrum.data(), out.data(), order, NSP_FftInverse);
  }
}

// A table heap the test steers per thread: a thread that sets refuseTables
// gets nothing (its transforms run out of table memory); the first request
// made while holdNextRequest is set waits, inside its transform, until the
// test opens releaseHeldRequest.
thread_local bool refuseTables = false;
std::atomic<bool> holdNextRequest{false};
std::latch* requestHeld = nullptr;
std::latch* releaseHeldRequest = nullptr;

void* steeredHeap(std::size_t bytes) {
  if (refuseTables) return nullptr;
  if (holdNextRequest.exchange(false)) {
    requestHeld->count_down();
    releaseHeldRequest->wait();
  }
  return std::malloc(bytes);
}

class SteeredTableHeap {
 public:
  SteeredTableHeap() : previous_(nspTableHeapAlloc) { nspTableHeapAlloc = steeredHeap; }
  ~SteeredTableHeap() {
    nspTableHeapAlloc = previous_;
    refuseTables = false;
  }
  SteeredTableHeap(const SteeredTableHeap&) = delete;
  SteeredTableHeap& operator=(const SteeredTableHeap&) = delete;

 private:
  NspTableHeapAlloc previous_;
};

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
  const std::vector<float> signal = testSignal(n);
  std::vector<float> alone(n);
  roundTrip(signal, order, 20, alone);

  nspFreeAllTwd();  // the threads race to build the tables as well
  std::vector<std::vector<float>> together(threadCount, std::vector<float>(n));
  runTogether([&](int t) { roundTrip(signal, order, 20, together[t]); });
  for (int t = 0; t < threadCount; ++t) {
    EXPECT_EQ(together[t], alone) << "thread " << t;
  }
  nspFreeAllTwd();
}

// One thread's transform holds its radix table and waits inside the heap
// for its split table; meanwhile another thread's transform is refused its
// tables. Emptying the cache to make room would free the waiting
// transform's radix table under it.
TEST(KernelThreads, RunningOutOfTableMemoryKeepsAnotherTransformsTables) {
  constexpr int order = 9;
  const std::vector<float> signal = testSignal(1 << order);
  std::vector<ComplexFloat> alone((1 << order) / 2 + 1);
  nspFreeAllTwd();
  nspsRealFftNip(signal.data(), alone.data(), order, NSP_FftForward);
  nspFreeAllTwd();

  ReportCapture capture;
  SteeredTableHeap heap;
  const float* radix = nspGetRadixTwd(order - 1);  // fetched first, so held while waiting
  ASSERT_NE(radix, nullptr);
  std::latch held(1), release(1);
  requestHeld = &held;
  releaseHeldRequest = &release;
  holdNextRequest = true;
  std::vector<ComplexFloat> together(alone.size());
  std::thread waiting(
      [&] { nspsRealFftNip(signal.data(), together.data(), order, NSP_FftForward); });
  held.wait();

  refuseTables = true;
  std::vector<float> in(4096, 1.0f);
  std::vector<ComplexFloat> out(2049);
  nspsRealFftNip(in.data(), out.data(), 12, NSP_FftForward);
  refuseTables = false;
  EXPECT_EQ(nspStatusGet(), NSP_StatusOutOfMemory);
  EXPECT_EQ(nspKernelState.radixTwd[order - 1], radix)
      << "the table of a transform in flight was released";

  release.count_down();
  waiting.join();
  for (std::size_t k = 0; k < alone.size(); ++k) {
    ASSERT_TRUE(together[k].re == alone[k].re && together[k].im == alone[k].im)
        << "the waiting transform read a released table (bin " << k << ")";
  }
  nspFreeAllTwd();
}

// The same race left to the scheduler: one thread keeps running out of
// table memory, and empties the cache whenever it finds itself alone, while
// the others keep transforming. Their results must not change, and the
// sanitizers must see no freed table read.
TEST(KernelThreads, TransformsStayRightWhileAnotherThreadKeepsRunningOutOfMemory) {
  constexpr int order = 11;
  constexpr int n = 1 << order;
  const std::vector<float> signal = testSignal(n);
  std::vector<float> alone(n);
  roundTrip(signal, order, 1, alone);

  ReportCapture capture;
  SteeredTableHeap heap;
  std::atomic<int> transformersLeft{threadCount - 1};
  std::atomic<int> refusals{0};
  std::vector<int> wrongResults(threadCount);
  runTogether([&](int t) {
    if (t == 0) {
      refuseTables = true;
      std::vector<float> in(1 << 13, 1.0f);
      std::vector<ComplexFloat> out((1 << 12) + 1);
      do {
        nspsRealFftNip(in.data(), out.data(), 13, NSP_FftForward);
        if (nspStatusGet() == NSP_StatusOutOfMemory) refusals.fetch_add(1);
        nspStatusSet(NSP_StatusNoError);
        std::this_thread::yield();
      } while (transformersLeft.load() > 0);
      refuseTables = false;
      return;
    }
    std::vector<float> out(n);
    for (int pass = 0; pass < 200 || refusals.load() < 100; ++pass) {
      roundTrip(signal, order, 1, out);
      if (out != alone) ++wrongResults[t];
    }
    transformersLeft.fetch_sub(1);
  });
  for (int t = 1; t < threadCount; ++t) EXPECT_EQ(wrongResults[t], 0) << "thread " << t;
  EXPECT_GE(refusals.load(), 100);
  nspFreeAllTwd();
}

}  // namespace
