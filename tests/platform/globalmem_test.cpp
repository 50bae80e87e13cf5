// The movable-memory stand-in: lock counting, unlock results, moving
// blocks, and the failures tests can ask for.
#include <gtest/gtest.h>

#include <cstring>

#include "vtplatform.h"

namespace {

VtGlobalStats stats() {
  VtGlobalStats s{};
  vtGlobalStats(&s);
  return s;
}

TEST(GlobalMemory, UnlockReportsWhetherTheBlockIsStillLocked) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_NE(block, nullptr);
  ASSERT_NE(GlobalLock(block), nullptr);
  ASSERT_NE(GlobalLock(block), nullptr);
  EXPECT_NE(GlobalUnlock(block), 0) << "one lock is still held";
  EXPECT_EQ(GlobalUnlock(block), 0) << "the last lock is gone";
  EXPECT_EQ(GlobalUnlock(block), 0) << "unlocking an unlocked block";
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, ContentsSurviveAMoveBetweenLocks) {
  HGLOBAL block = GlobalAlloc(GHND, 64);
  auto* first = static_cast<unsigned char*>(GlobalLock(block));
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(first[i], 0) << "GMEM_ZEROINIT leaves byte " << i;
  std::memset(first, 0x5A, 64);
  GlobalUnlock(block);
  auto* second = static_cast<unsigned char*>(GlobalLock(block));
  ASSERT_NE(second, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(second[i], 0x5A) << "byte " << i << " lost in the move";
  GlobalUnlock(block);
  GlobalFree(block);
}

TEST(GlobalMemory, CountsLiveBlocksAndLocks) {
  const VtGlobalStats before = stats();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
  GlobalLock(block);
  EXPECT_EQ(stats().liveBlocks, before.liveBlocks + 1);
  EXPECT_EQ(stats().liveLocks, before.liveLocks + 1);
  GlobalFree(block);  // freeing a locked block drops its locks with it
  EXPECT_EQ(stats().liveBlocks, before.liveBlocks);
  EXPECT_EQ(stats().liveLocks, before.liveLocks);
}

TEST(GlobalMemory, UnknownHandlesAreRefusedNotTouched) {
  int notABlock = 0;
  EXPECT_EQ(GlobalLock(&notABlock), nullptr);
  EXPECT_EQ(GlobalUnlock(&notABlock), 0);
  EXPECT_EQ(GlobalFree(&notABlock), &notABlock);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
}

TEST(GlobalMemory, FailsExactlyTheNthAllocationAskedFor) {
  vtGlobalFailAlloc(2);
  HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 8);
  HGLOBAL second = GlobalAlloc(GMEM_MOVEABLE, 8);
  HGLOBAL third = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr) << "the failure must happen once only";
  GlobalFree(first);
  GlobalFree(third);
}

TEST(GlobalMemory, FailsExactlyTheNthLockAskedFor) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 8);
  const long locksBefore = stats().liveLocks;
  vtGlobalFailLock(1);
  EXPECT_EQ(GlobalLock(block), nullptr);
  EXPECT_EQ(stats().liveLocks, locksBefore) << "a failed lock holds nothing";
  EXPECT_EQ(GlobalUnlock(block), 0) << "a failed lock must not count as held";
  EXPECT_NE(GlobalLock(block), nullptr);
  GlobalUnlock(block);
  GlobalFree(block);
}

}  // namespace
