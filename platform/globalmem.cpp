// Linux stand-in for the Windows movable global memory services.
//
// A handle names a block record; the block's bytes are reachable only
// through GlobalLock. Like a movable block on Windows, an unlocked block may
// move: this stand-in moves it to fresh memory every time its lock count
// rises from 0, so code that keeps an address past its unlock reads freed
// memory (which the sanitizers report) instead of working by luck.
//
// Tests can count what is live, make an allocation or a lock fail on
// demand, and watch the sizes asked for.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "vtplatform.h"

namespace {

struct Block {
  UINT flags;
  SIZE_T size;
  unsigned char* bytes;
  unsigned lockCount;
};

struct GlobalMemory {
  std::mutex mutex;
  // Movable blocks are keyed by their handle, fixed ones by their address
  // (on Windows a fixed block's handle is its address).
  std::unordered_map<HGLOBAL, Block> blocks;
  VtGlobalStats stats{};
  long allocsUntilFailure = 0;
  long locksUntilFailure = 0;
  VtGlobalAllocObserver observer = nullptr;
};

GlobalMemory& memory() {
  static GlobalMemory instance;
  return instance;
}

bool isMovable(UINT flags) { return (flags & GMEM_MOVEABLE) != 0; }

// Counts one call down towards an armed failure; true when this call fails.
bool failureDue(long& callsUntilFailure) {
  if (callsUntilFailure <= 0) return false;
  return --callsUntilFailure == 0;
}

unsigned char* newBytes(SIZE_T size, bool zeroed) {
  // One byte at least, so that every live block has its own address.
  const SIZE_T allocated = size != 0 ? size : 1;
  return static_cast<unsigned char*>(zeroed ? std::calloc(allocated, 1) : std::malloc(allocated));
}

}  // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  GlobalMemory& m = memory();
  VtGlobalAllocObserver observer;
  {
    std::lock_guard lock(m.mutex);
    observer = m.observer;
  }
  if (observer != nullptr) observer(flags, bytes);

  std::lock_guard lock(m.mutex);
  ++m.stats.allocCalls;
  if (failureDue(m.allocsUntilFailure)) return nullptr;

  unsigned char* data = newBytes(bytes, (flags & GMEM_ZEROINIT) != 0);
  if (data == nullptr) return nullptr;
  HGLOBAL handle = data;
  if (isMovable(flags)) {
    // The handle of a movable block is a separate token that never moves.
    handle = new (std::nothrow) unsigned char;
    if (handle == nullptr) {
      std::free(data);
      return nullptr;
    }
  }
  m.blocks.emplace(handle, Block{flags, bytes, data, 0});
  ++m.stats.liveBlocks;
  return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  ++m.stats.lockCalls;
  auto found = m.blocks.find(handle);
  if (found == m.blocks.end()) return nullptr;
  if (failureDue(m.locksUntilFailure)) return nullptr;

  Block& block = found->second;
  if (!isMovable(block.flags)) return block.bytes;
  if (block.lockCount == 0) {
    unsigned char* moved = newBytes(block.size, false);
    if (moved == nullptr) return nullptr;
    std::memcpy(moved, block.bytes, block.size);
    std::free(block.bytes);
    block.bytes = moved;
  }
  ++block.lockCount;
  ++m.stats.liveLocks;
  return block.bytes;
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  auto found = m.blocks.find(handle);
  if (found == m.blocks.end()) return FALSE;
  Block& block = found->second;
  if (block.lockCount == 0) return FALSE;
  --block.lockCount;
  --m.stats.liveLocks;
  return block.lockCount != 0 ? TRUE : FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  auto found = m.blocks.find(handle);
  if (found == m.blocks.end()) return handle;
  Block& block = found->second;
  m.stats.liveLocks -= block.lockCount;
  --m.stats.liveBlocks;
  std::free(block.bytes);
  const bool movable = isMovable(block.flags);
  m.blocks.erase(found);
  if (movable) delete static_cast<unsigned char*>(handle);
  return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL handle) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  auto found = m.blocks.find(handle);
  return found != m.blocks.end() ? found->second.size : 0;
}

void vtGlobalStats(VtGlobalStats* stats) {
  if (stats == nullptr) return;
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  *stats = m.stats;
}

void vtGlobalFailAlloc(long nth) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  m.allocsUntilFailure = nth > 0 ? nth : 0;
}

void vtGlobalFailLock(long nth) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  m.locksUntilFailure = nth > 0 ? nth : 0;
}

VtGlobalAllocObserver vtGlobalSetAllocObserver(VtGlobalAllocObserver observer) {
  GlobalMemory& m = memory();
  std::lock_guard lock(m.mutex);
  VtGlobalAllocObserver previous = m.observer;
  m.observer = observer;
  return previous;
}

LPSTR WINAPI lstrcpyA(LPSTR destination, LPCSTR source) {
  if (destination == nullptr || source == nullptr) return nullptr;
  return std::strcpy(destination, source);
}

}  // extern "C"
