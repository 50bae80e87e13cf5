// The kernel's public routines with lengths, orders, flags, sizes and data
// from the fuzzer. A length is never more than the buffers hold (the
// kernel cannot know a buffer's size), but it may be zero, negative or
// INT_MIN, and buffers may be null. Orders reach from INT_MIN to INT_MAX;
// above 14 the table heap refuses, so an order the kernel accepts fails
// for want of table memory before any buffer is touched. Every failed
// check is reported quietly; a crash, a sanitizer report or a non-finite
// transform of small finite data is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "nsp.h"
#include "nspstate.h"

namespace {

constexpr int largestOrder = 14;
constexpr int largestLength = 1 << (largestOrder + 1);

void* refusingHeap(std::size_t) { return nullptr; }

template <typename T>
T* orNull(std::vector<T>& buffer, bool null) {
  return null ? nullptr : buffer.data();
}

bool allFinite(const float* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nspSetErrorHandler(nspQuietErrorReport);
  nspErrorModeSet(NSP_ErrorModeSilent);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int routine = input.ConsumeIntegralInRange(0, 22);
  const bool nullA = input.ConsumeProbability<float>() < 0.05f;
  const bool nullB = input.ConsumeProbability<float>() < 0.05f;
  // The buffers' size, and a length of at most that many items.
  const int items = input.ConsumeIntegralInRange(0, largestLength);
  int length = items;
  switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0: length = 0; break;
    case 1: length = -input.ConsumeIntegralInRange(1, 100); break;
    case 2: length = INT_MIN; break;
    case 3: length = input.ConsumeIntegralInRange(INT_MIN, 0); break;
    default: break;
  }
  int order = input.ConsumeIntegralInRange(-2, largestOrder);
  switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0: order = input.ConsumeIntegral<int>(); break;
    case 1: order = input.ConsumeIntegralInRange(largestOrder + 1, 33); break;
    default: break;
  }
  const int flags =
      input.ConsumeBool() ? input.ConsumeIntegral<int>() : input.ConsumeIntegralInRange(0, 31);
  const int intSize =
      input.ConsumeBool() ? input.ConsumeIntegral<int>() : input.PickValueInArray({8, 16, 32});
  const float scalar = input.ConsumeFloatingPoint<float>();
  const bool smallData = input.ConsumeBool();

  // Room for `items` of the widest element, or for a transform of the
  // largest order, whichever is more.
  const size_t floats =
      std::max<size_t>(2 * static_cast<size_t>(items) + 4, (size_t{1} << largestOrder) + 4);
  std::vector<float> a(floats), b(floats), c(floats), d(floats);
  for (std::vector<float>* buffer : {&a, &b}) {
    const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(buffer->size() * sizeof(float));
    if (!bytes.empty()) std::memcpy(buffer->data(), bytes.data(), bytes.size());
    if (smallData) {
      for (float& x : *buffer) x = std::isfinite(x) ? std::fmod(x, 1.0e4f) : 0.0f;
    }
  }
  auto* ca = reinterpret_cast<ComplexFloat*>(a.data());
  auto* cb = reinterpret_cast<ComplexFloat*>(b.data());
  auto* cc = reinterpret_cast<ComplexFloat*>(c.data());

  const NspTableHeapAlloc heap = nspTableHeapAlloc;
  if (order > largestOrder) nspTableHeapAlloc = refusingHeap;
  nspStatusSet(NSP_StatusNoError);

  switch (routine) {
    case 0: nspsbIntToFloat(orNull(a, nullA), orNull(b, nullB), length, intSize, flags); break;
    case 1: nspsbFloatToInt(orNull(a, nullA), orNull(b, nullB), length, intSize, flags); break;
    case 2: nspsbCopy(orNull(a, nullA), orNull(b, nullB), length); break;
    case 3: nspsbSet(scalar, orNull(a, nullA), length); break;
    case 4: nspcbZero(nullA ? nullptr : ca, length); break;
    case 5: nspsbMpy1(scalar, orNull(a, nullA), length); break;
    case 6: nspsbMpy2(orNull(a, nullA), orNull(b, nullB), length); break;
    case 7: nspsbMpy3(orNull(a, nullA), orNull(b, nullB), c.data(), length); break;
    case 8: nspsbAdd2(orNull(a, nullA), orNull(b, nullB), length); break;
    case 9: nspsbThresh1(orNull(a, nullA), length, scalar, flags); break;
    case 10: nspsMax(orNull(a, nullA), length); break;
    case 11: nspcbCplxTo2Real(nullA ? nullptr : ca, orNull(b, nullB), c.data(), length); break;
    case 12: nspcb2RealToCplx(orNull(a, nullA), orNull(b, nullB), cc, length); break;
    case 13: nspcbCartToPolar(nullA ? nullptr : ca, orNull(b, nullB), c.data(), length); break;
    case 14: nspcbPolarToCart(orNull(a, nullA), orNull(b, nullB), cc, length); break;
    case 15: nspsWinBartlett(orNull(a, nullA), length); break;
    case 16:
    case 17:
    case 18: {
      if (routine == 16) {
        nspsRealFftNip(orNull(a, nullA), nullB ? nullptr : cb, order, flags);
      } else if (routine == 17) {
        nspsCcsFftNip(nullA ? nullptr : ca, orNull(b, nullB), order, flags);
      } else {
        nspsReal2FftNip(orNull(a, nullA), nullB ? nullptr : cb, c.data(),
                        reinterpret_cast<ComplexFloat*>(d.data()), order, flags);
      }
      // A plain transform of small finite data gives finite data.
      const bool plain = (flags == NSP_FftForward || flags == NSP_FftInverse) && order >= 0 &&
                         order <= largestOrder && !nullA && !nullB && smallData;
      if (plain && routine != 18) {
        FUZZ_CHECK(nspStatusGet() == NSP_StatusNoError);
        FUZZ_CHECK(allFinite(b.data(), (size_t{1} << order) + (routine == 16 ? 2 : 0)));
      }
      break;
    }
    case 19:
      nspGetRadixTwd(order);
      nspGetExpTwd(order);
      break;
    case 20:
      nspGetSplitTwd(order);
      nspGetBitRev(order);
      break;
    case 21:
      nspFreeRadixTwd(order);
      nspFreeExpTwd(order);
      nspFreeSplitTwd(order);
      nspFreeBitRev(order);
      break;
    case 22: nspFreeAllTwd(); break;
  }
  nspTableHeapAlloc = heap;
  return 0;
}
