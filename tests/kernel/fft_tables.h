// Test access to the FFT table heap: records every table allocation and
// fails the ones a test chooses, through the kernel's table-heap hook.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "nspstate.h"

struct HeapRequest {
  std::uint64_t bytes;
  void* block;  // null when the request was failed
};

class TableHeapRecorder {
 public:
  TableHeapRecorder() : previous_(nspTableHeapAlloc) {
    state() = {};
    nspTableHeapAlloc = allocate;
  }
  ~TableHeapRecorder() { nspTableHeapAlloc = previous_; }
  TableHeapRecorder(const TableHeapRecorder&) = delete;
  TableHeapRecorder& operator=(const TableHeapRecorder&) = delete;

  // Fails every request from the `first`-th one counted from now (0: all
  // of them); -1 fails none.
  void failFrom(int first) {
    state().failFrom = first < 0 ? -1 : static_cast<long>(state().requests.size()) + first;
    state().failUntil = -1;
  }
  // Fails the next `count` requests, then lets the heap work again.
  void failNext(int count) {
    state().failFrom = static_cast<long>(state().requests.size());
    state().failUntil = state().failFrom + count;
  }

  const std::vector<HeapRequest>& requests() const { return state().requests; }

  // Slots of the last request's table for elements of `elementSize` bytes:
  // the block holds the table plus one pointer and 8 bytes of slack.
  std::uint64_t slotsOfLast(std::size_t elementSize) const {
    return (state().requests.back().bytes - sizeof(void*) - 8) / elementSize;
  }

 private:
  struct State {
    std::vector<HeapRequest> requests;
    long failFrom = -1;
    long failUntil = -1;
  };
  static State& state() {
    static State s;
    return s;
  }
  static void* allocate(std::size_t bytes) {
    State& s = state();
    const long index = static_cast<long>(s.requests.size());
    const bool fail =
        s.failFrom >= 0 && index >= s.failFrom && (s.failUntil < 0 || index < s.failUntil);
    void* block = fail ? nullptr : std::malloc(bytes);
    s.requests.push_back({bytes, block});
    return block;
  }

  NspTableHeapAlloc previous_;
};

inline bool tableCacheIsEmpty() {
  for (int order = 0; order < NSP_TableOrders; ++order) {
    if (nspKernelState.radixTwd[order] || nspKernelState.expTwd[order] ||
        nspKernelState.splitTwd[order] || nspKernelState.bitRev[order]) {
      return false;
    }
  }
  return true;
}
