// FFT table cache: table contents and sizes, lazy building, releases, the
// order-10 radix cap, the exponential appendix, and heap failures.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "fft_tables.h"
#include "nsp.h"
#include "nspstate.h"

namespace {

constexpr double pi = std::numbers::pi;

class FftTables : public ::testing::Test {
 protected:
  void SetUp() override { nspFreeAllTwd(); }
  void TearDown() override { nspFreeAllTwd(); }
  TableHeapRecorder heap_;
};

std::vector<int> listOf(const int* list, int count) { return {list, list + count}; }

TEST_F(FftTables, BitReversalListsHoldPairsZeroSelfReversedZero) {
  EXPECT_EQ(listOf(nspGetBitRev(2), 2), (std::vector<int>{0, 0}));
  EXPECT_EQ(listOf(nspGetBitRev(3), 3), (std::vector<int>{0, 4, 0}));
  EXPECT_EQ(listOf(nspGetBitRev(4), 5), (std::vector<int>{4, 8, 0, 12, 0}));
  // Order 5, middle indices over 3 bits: pairs 1<->4, 3<->6; self-reversed
  // 2, 5, 7 stored from position b-1 = 7 downwards.
  EXPECT_EQ(listOf(nspGetBitRev(5), 9), (std::vector<int>{4, 16, 12, 24, 0, 28, 20, 8, 0}));
}

TEST_F(FftTables, SplitTablesHoldHalfCosineAndHalfMinusHalfSine) {
  const ComplexFloat* order1 = nspGetSplitTwd(1);
  EXPECT_NEAR(order1[0].re, 0.0f, 1e-7f);
  EXPECT_NEAR(order1[0].im, 0.0f, 1e-7f);
  const ComplexFloat* order2 = nspGetSplitTwd(2);
  EXPECT_FLOAT_EQ(order2[0].re, static_cast<float>(0.5 * std::cos(pi / 4)));
  EXPECT_FLOAT_EQ(order2[0].im, static_cast<float>(0.5 - 0.5 * std::sin(pi / 4)));
  EXPECT_NEAR(order2[1].re, 0.0f, 1e-7f);
  EXPECT_NEAR(order2[1].im, 0.0f, 1e-7f);
  const ComplexFloat* order0 = nspGetSplitTwd(0);
  EXPECT_EQ(order0[0].re, -0.5f);
  EXPECT_EQ(order0[0].im, 0.5f);
}

TEST_F(FftTables, RadixEntriesHoldThreePowersFromFloatTwo) {
  const float* table = nspGetRadixTwd(10);
  for (int i : {1, 2, 100, 255}) {
    const double x = i * (2 * pi / 1024);
    const float* entry = table + 2 + 6 * i;
    for (int power = 1; power <= 3; ++power) {
      EXPECT_FLOAT_EQ(entry[2 * power - 2], static_cast<float>(std::cos(power * x))) << i;
      EXPECT_FLOAT_EQ(entry[2 * power - 1], static_cast<float>(-std::sin(power * x))) << i;
    }
  }
}

TEST_F(FftTables, ExponentialTableOfOrder15CarriesTheQuarterTurnAppendix) {
  const ComplexFloat* table = nspGetExpTwd(15);
  for (int k : {0, 1, 4096, 8192, 12345, 16383}) {
    const double x = 2 * pi * k / 32768;
    EXPECT_FLOAT_EQ(table[k].re, static_cast<float>(std::cos(x))) << k;
    EXPECT_FLOAT_EQ(table[k].im, static_cast<float>(-std::sin(x))) << k;
  }
  const ComplexFloat* appendix = table + 16384;
  for (int k : {0, 1, 1000, 2048, 4095}) {
    const double x = k * 0.0003834951969714103;
    EXPECT_FLOAT_EQ(appendix[k].re, static_cast<float>(std::cos(x))) << k;
    EXPECT_FLOAT_EQ(appendix[k].im, static_cast<float>(-std::sin(x))) << k;
  }
  EXPECT_EQ(heap_.slotsOfLast(sizeof(ComplexFloat)), 32768u);
}

struct SlotCount {
  const char* kind;
  int order;
  std::uint64_t slots;
  std::size_t elementSize;
};

TEST_F(FftTables, EachKindAndOrderTakesItsSlotCount) {
  const SlotCount cases[] = {
      {"radix", 0, 3, 8},    {"radix", 1, 2, 8},   {"radix", 10, 1024, 8}, {"exp", 0, 1, 8},
      {"exp", 1, 1, 8},      {"exp", 14, 8192, 8}, {"exp", 16, 65536, 8},  {"split", 0, 1, 8},
      {"split", 9, 256, 8},  {"bitrev", 0, 1, 4},  {"bitrev", 1, 1, 4},    {"bitrev", 2, 2, 4},
      {"bitrev", 9, 256, 4},
  };
  for (const SlotCount& c : cases) {
    const std::string kind = c.kind;
    const void* table = kind == "radix"   ? static_cast<const void*>(nspGetRadixTwd(c.order))
                        : kind == "exp"   ? static_cast<const void*>(nspGetExpTwd(c.order))
                        : kind == "split" ? static_cast<const void*>(nspGetSplitTwd(c.order))
                                          : static_cast<const void*>(nspGetBitRev(c.order));
    ASSERT_NE(table, nullptr) << kind << " " << c.order;
    EXPECT_EQ(heap_.slotsOfLast(c.elementSize), c.slots) << kind << " " << c.order;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(table) % 8, 0u) << kind << " " << c.order;
  }
}

TEST_F(FftTables, TablesAreBuiltOnceAndReused) {
  const float* first = nspGetRadixTwd(8);
  const std::size_t allocations = heap_.requests().size();
  EXPECT_EQ(nspGetRadixTwd(8), first);
  EXPECT_EQ(nspKernelState.radixTwd[8], first);
  EXPECT_EQ(heap_.requests().size(), allocations);
}

TEST_F(FftTables, RadixFetchAboveOrder10StandsInTheExponentialTable) {
  const float* table = nspGetRadixTwd(12);
  EXPECT_EQ(nspKernelState.radixTwd[12], nullptr);
  EXPECT_NE(nspKernelState.radixTwd[10], nullptr);
  ASSERT_NE(nspKernelState.expTwd[12], nullptr);
  EXPECT_EQ(table, reinterpret_cast<float*>(nspKernelState.expTwd[12]));

  nspFreeRadixTwd(12);
  EXPECT_EQ(nspKernelState.expTwd[12], nullptr) << "the stand-in goes with the radix order";
  EXPECT_NE(nspKernelState.radixTwd[10], nullptr);
}

TEST_F(FftTables, RadixFetchAboveOrder10FailsWithoutTheOrder10Table) {
  heap_.failFrom(0);
  EXPECT_EQ(nspGetRadixTwd(12), nullptr);
  EXPECT_EQ(nspKernelState.radixTwd[10], nullptr);
  EXPECT_EQ(nspKernelState.expTwd[12], nullptr);
}

TEST_F(FftTables, OrdersOutsideTheCacheGetNoTable) {
  for (int order : {-1, 32, INT_MIN, INT_MAX}) {
    EXPECT_EQ(nspGetRadixTwd(order), nullptr) << order;
    EXPECT_EQ(nspGetExpTwd(order), nullptr) << order;
    EXPECT_EQ(nspGetSplitTwd(order), nullptr) << order;
    EXPECT_EQ(nspGetBitRev(order), nullptr) << order;
  }
  EXPECT_TRUE(heap_.requests().empty());
}

TEST_F(FftTables, ReleasingUnbuiltOrOutOfRangeOrdersChangesNothing) {
  nspGetSplitTwd(5);
  for (int order : {-1, 32, 3, 31}) {
    nspFreeRadixTwd(order);
    nspFreeExpTwd(order);
    nspFreeSplitTwd(order);
    nspFreeBitRev(order);
  }
  EXPECT_NE(nspKernelState.splitTwd[5], nullptr);
  nspFreeSplitTwd(5);
  EXPECT_EQ(nspKernelState.splitTwd[5], nullptr);
  nspTableFree(nullptr);
}

TEST_F(FftTables, FreeAllEmptiesEveryKindAndOrder) {
  for (int order = 0; order <= 12; ++order) {
    nspGetRadixTwd(order);
    nspGetExpTwd(order);
    nspGetSplitTwd(order);
    nspGetBitRev(order);
  }
  nspFreeAllTwd();
  EXPECT_TRUE(tableCacheIsEmpty());
}

TEST_F(FftTables, HeapFailureLeavesTheSlotEmptyAndALaterFetchBuildsIt) {
  heap_.failFrom(0);
  EXPECT_EQ(nspGetExpTwd(9), nullptr);
  EXPECT_EQ(nspKernelState.expTwd[9], nullptr);
  heap_.failFrom(-1);
  EXPECT_NE(nspGetExpTwd(9), nullptr);
}

TEST_F(FftTables, BlockAddressSitsInThePointerSlotBeforeTheTable) {
  void* table = nspTableAlloc(5, 8);
  ASSERT_NE(table, nullptr);
  void* block = nullptr;
  std::memcpy(&block, static_cast<char*>(table) - sizeof(void*), sizeof block);
  EXPECT_EQ(block, heap_.requests().back().block);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(table) % 8, 0u);
  const auto offset =
      static_cast<std::size_t>(static_cast<char*>(table) - static_cast<char*>(block));
  EXPECT_GE(offset, sizeof(void*));
  EXPECT_LE(offset + 5 * 8, heap_.requests().back().bytes) << "the table fits in its block";
  nspTableFree(table);
}

TEST_F(FftTables, OversizedTablesAreNeverRequestedShort) {
  heap_.failFrom(0);  // nothing is really allocated
  EXPECT_EQ(nspTableAlloc(INT_MAX, INT_MAX), nullptr);
  EXPECT_EQ(nspTableAlloc(-1, 8), nullptr);
  for (const HeapRequest& request : heap_.requests()) {
    EXPECT_GE(request.bytes, std::uint64_t{INT_MAX} * INT_MAX) << "a wrapped size was requested";
  }
}

}  // namespace
