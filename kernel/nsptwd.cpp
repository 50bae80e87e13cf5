// nsptwd: the FFT table cache. Four kinds of tables per order (radix-4
// twiddles, complex exponentials, split coefficients, bit-reversal lists),
// built on first use, kept in the kernel state until released.
//
// Several instances may run transforms on several threads at once. A slot is
// read and filled atomically: a table is published complete (release/acquire),
// and when two threads build the same empty slot at once the first stored
// table wins and the other is freed, so no table leaks and every caller gets
// the one the slot holds. Reading a filled slot allocates nothing and takes no
// lock, so callers that build their orders' tables before streaming (an
// NSP_FftInitOnly call) stream without touching the heap. Releasing a table
// through the nspFree routines while another thread transforms with it
// remains the caller's fault to avoid.
//
// The transforms themselves empty the cache when a table cannot be built
// (to make room, then build once more). Freeing every slot would pull the
// tables from under transforms running on other threads, so the transforms
// count themselves in flight and the cache is emptied only by a transform
// that finds itself the only one; it marks the count while it frees, and
// transforms that start meanwhile wait for it before reading a slot. With
// other transforms in flight the failure stands and nothing is freed.
// Retiring the tables instead (unlinked at once, freed when the last
// transform that may hold one leaves) would make room in that case too, but
// needs a list of retired tables and a check on every transform's way out,
// for a case that arises only once the heap is exhausted; and part of the
// room would stay taken by the transforms in flight anyway. A single thread
// behaves exactly as before.
//
// Every table entry is computed on its own from a double-precision angle
// and stored as float, so a table's accuracy does not depend on its length.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <thread>

#include "nspstate.h"

NspTableHeapAlloc nspTableHeapAlloc = std::malloc;

namespace {

// Transforms between nspTableUseBegin and nspTableUseEnd, plus flushingFlag
// while one of them empties the cache. On a cache line of its own: every
// transform writes it twice, and the table slots beside it are read by all.
constexpr unsigned flushingFlag = 1u << 31;
alignas(64) std::atomic<unsigned> tableUsers{0};

// Radix tables exist up to 1024 points; larger transforms run 1024-point
// kernels and read the exponential table for their remaining passes.
constexpr int radixOrderCap = 10;
// Exponential tables of this order and above carry a quarter turn at the
// resolution of a 16384-point transform after their main entries.
constexpr int appendixFromOrder = 15;
constexpr std::uint64_t appendixEntries = 4096;
constexpr double appendixStep = 2.0 * std::numbers::pi / 16384.0;

// The block address is kept in a pointer-sized slot just before the table,
// and the table starts on an 8-byte boundary: one pointer plus 8 bytes of
// slack cover both (12 bytes with 4-byte pointers, 16 with 8-byte ones).
constexpr std::size_t addressSlot = sizeof(void*);
constexpr std::size_t tableSlack = addressSlot + 8;

bool validOrder(int order) { return order >= 0 && order < NSP_TableOrders; }

// A table of `slots` elements of `elementSize` bytes, or null when its size
// does not fit the platform's object sizes or the heap refuses it. Counts
// arrive as 64-bit values so that the largest orders cannot wrap around.
void* allocateTable(std::uint64_t slots, std::uint64_t elementSize) {
  constexpr std::uint64_t maxBytes = PTRDIFF_MAX;
  if (elementSize == 0 || slots > (maxBytes - tableSlack) / elementSize) return nullptr;
  const auto bytes = static_cast<std::size_t>(slots * elementSize + tableSlack);
  void* block = nspTableHeapAlloc(bytes);
  if (block == nullptr) return nullptr;
  const std::uintptr_t start =
      (reinterpret_cast<std::uintptr_t>(block) + addressSlot + 7) & ~std::uintptr_t{7};
  auto* table = reinterpret_cast<unsigned char*>(start);
  std::memcpy(table - addressSlot, &block, sizeof block);
  return table;
}

std::uint64_t pow2(int exponent) { return std::uint64_t{1} << exponent; }

// Radix twiddles of order c: entry i (from float 2 + 6i) holds the forward
// twiddles w^i, w^2i, w^3i, w = e^(-2pi i/2^c), for i = 1 .. 2^c/4 - 1.
// The first eight floats are never read and are left unwritten.
float* buildRadixTwd(int c) {
  const std::uint64_t n = pow2(c);
  auto* table = static_cast<float*>(allocateTable(c == 0 ? 3 : n, 2 * sizeof(float)));
  if (table == nullptr) return nullptr;
  const double step = 2.0 * std::numbers::pi / static_cast<double>(n);
  for (std::uint64_t i = 1; i + 1 <= n / 4; ++i) {
    const double x = static_cast<double>(i) * step;
    float* entry = table + 2 + 6 * i;
    entry[0] = static_cast<float>(std::cos(x));
    entry[1] = static_cast<float>(-std::sin(x));
    entry[2] = static_cast<float>(std::cos(x * 2.0));
    entry[3] = static_cast<float>(-std::sin(x * 2.0));
    entry[4] = static_cast<float>(std::cos(x * 3.0));
    entry[5] = static_cast<float>(-std::sin(x * 3.0));
  }
  return table;
}

// Exponentials of order a: e^(-2pi i k/2^a) over a half turn, and for the
// large orders the quarter-turn appendix at the 16384-point resolution.
ComplexFloat* buildExpTwd(int a) {
  const std::uint64_t slots = a >= appendixFromOrder ? pow2(a) : (a >= 1 ? pow2(a - 1) : 1);
  auto* table = static_cast<ComplexFloat*>(allocateTable(slots, sizeof(ComplexFloat)));
  if (table == nullptr) return nullptr;
  if (a == 0) {
    table[0] = {1.0f, 0.0f};
    return table;
  }
  const std::uint64_t mainEntries = pow2(a - 1);
  const double step = 2.0 * std::numbers::pi / static_cast<double>(pow2(a));
  for (std::uint64_t k = 0; k < mainEntries; ++k) {
    const double x = static_cast<double>(k) * step;
    table[k] = {static_cast<float>(std::cos(x)), static_cast<float>(-std::sin(x))};
  }
  if (a >= appendixFromOrder) {
    ComplexFloat* appendix = table + mainEntries;
    for (std::uint64_t k = 0; k < appendixEntries; ++k) {
      const double x = static_cast<double>(k) * appendixStep;
      appendix[k] = {static_cast<float>(std::cos(x)), static_cast<float>(-std::sin(x))};
    }
  }
  return table;
}

// Split coefficients of order c: entry i = (cos x / 2, 1/2 - sin x / 2) with
// x = (i + 1) pi / 2^c; entry k - 1 serves bin k of the forward split.
ComplexFloat* buildSplitTwd(int c) {
  const std::uint64_t slots = c >= 1 ? pow2(c - 1) : 1;
  auto* table = static_cast<ComplexFloat*>(allocateTable(slots, sizeof(ComplexFloat)));
  if (table == nullptr) return nullptr;
  if (c == 0) {
    table[0] = {-0.5f, 0.5f};
    return table;
  }
  const double step = std::numbers::pi / static_cast<double>(pow2(c));
  for (std::uint64_t i = 0; i < slots; ++i) {
    const double x = static_cast<double>(i + 1) * step;
    table[i] = {static_cast<float>(0.5 * std::cos(x)), static_cast<float>(0.5 - 0.5 * std::sin(x))};
  }
  return table;
}

// Bit-reversal list of order c over the b = 2^(c-2) middle indices m (the
// index bits between the lowest and the highest): first the pairs 4m, 4r
// with m < r = rev(m), then a 0, then the self-reversed 4m filled from
// position b - 1 downwards, then a 0 at position b. Orders below 2 get one
// unfilled slot.
int* buildBitRev(int c) {
  auto* list = static_cast<int*>(allocateTable(c >= 2 ? pow2(c - 1) : 1, sizeof(int)));
  if (list == nullptr || c < 2) return list;
  const int b = static_cast<int>(pow2(c - 2));
  int front = 0;
  int back = b - 1;
  int r = 0;
  for (int m = 1; m < b; ++m) {
    // Step r to rev(m): a bit-reversed increment over the c - 2 middle bits.
    int bit = b / 2;
    while (r & bit) {
      r &= ~bit;
      bit >>= 1;
    }
    r |= bit;
    if (m < r) {
      list[front++] = 4 * m;
      list[front++] = 4 * r;
    } else if (m == r) {
      list[back--] = 4 * m;
    }
  }
  list[front] = 0;
  list[b] = 0;
  return list;
}

// Returns the table of a slot, building and storing it when the slot is
// empty. A table is stored only once it is complete; a thread that loses
// the race to store it frees its own copy and returns the stored one.
template <typename Table>
Table* fetch(Table** slots, int order, Table* (*build)(int)) {
  if (!validOrder(order)) return nullptr;
  std::atomic_ref<Table*> slot(slots[order]);
  Table* table = slot.load(std::memory_order_acquire);
  if (table != nullptr) return table;
  Table* built = build(order);
  if (built == nullptr) return nullptr;
  if (slot.compare_exchange_strong(table, built, std::memory_order_acq_rel,
                                   std::memory_order_acquire)) {
    return built;
  }
  nspTableFree(built);
  return table;
}

template <typename Table>
void release(Table** slots, int order) {
  if (!validOrder(order)) return;
  nspTableFree(std::atomic_ref<Table*>(slots[order]).exchange(nullptr, std::memory_order_acq_rel));
}

}  // namespace

extern "C" {

void* nspTableAlloc(int slots, int elementSize) {
  if (slots < 0 || elementSize <= 0) return nullptr;
  return allocateTable(static_cast<std::uint64_t>(slots), static_cast<std::uint64_t>(elementSize));
}

void nspTableFree(void* table) {
  if (table == nullptr) return;
  void* block = nullptr;
  std::memcpy(&block, static_cast<unsigned char*>(table) - addressSlot, sizeof block);
  std::free(block);
}

float* nspGetRadixTwd(int c) {
  if (!validOrder(c)) return nullptr;
  if (c <= radixOrderCap) return fetch(nspKernelState.radixTwd, c, buildRadixTwd);
  // Large sizes run 1024-point kernels and then passes over the exponential
  // table of their own order, which stands in for their radix table.
  if (nspGetRadixTwd(radixOrderCap) == nullptr) return nullptr;
  return reinterpret_cast<float*>(nspGetExpTwd(c));
}

ComplexFloat* nspGetExpTwd(int a) { return fetch(nspKernelState.expTwd, a, buildExpTwd); }

ComplexFloat* nspGetSplitTwd(int c) { return fetch(nspKernelState.splitTwd, c, buildSplitTwd); }

int* nspGetBitRev(int c) { return fetch(nspKernelState.bitRev, c, buildBitRev); }

void nspFreeRadixTwd(int c) {
  if (!validOrder(c)) return;
  release(nspKernelState.radixTwd, c);
  if (c > radixOrderCap) release(nspKernelState.expTwd, c);
}

void nspFreeExpTwd(int a) { release(nspKernelState.expTwd, a); }

void nspFreeSplitTwd(int c) { release(nspKernelState.splitTwd, c); }

void nspFreeBitRev(int c) { release(nspKernelState.bitRev, c); }

// The acquire on entry orders this transform's slot reads after a flush
// that finished before it (the flag's clearing is a release), and the
// release on leaving orders them before a later flush (whose claim is an
// acquire). A transform that starts during a flush sees the flag in the
// value its increment replaced and waits: the flush holds for the few
// frees it takes, and happens only once the heap has refused a table.
void nspTableUseBegin(void) {
  unsigned seen = tableUsers.fetch_add(1, std::memory_order_acquire);
  while ((seen & flushingFlag) != 0) {
    std::this_thread::yield();
    seen = tableUsers.load(std::memory_order_acquire);
  }
}

void nspTableUseEnd(void) { tableUsers.fetch_sub(1, std::memory_order_release); }

int nspFreeAllTwdIfSoleUser(void) {
  unsigned soleUser = 1;
  if (!tableUsers.compare_exchange_strong(soleUser, 1 | flushingFlag, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
    return 0;
  }
  nspFreeAllTwd();
  tableUsers.fetch_and(~flushingFlag, std::memory_order_release);
  return 1;
}

void nspFreeAllTwd(void) {
  for (int order = 0; order < NSP_TableOrders; ++order) {
    release(nspKernelState.radixTwd, order);
    release(nspKernelState.expTwd, order);
    release(nspKernelState.splitTwd, order);
    release(nspKernelState.bitRev, order);
  }
}

}  // extern "C"
