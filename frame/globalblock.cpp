#include "globalblock.h"

bool obtainLockedBlock(SIZE_T bytes, LockedBlock& block) {
  block = LockedBlock{nullptr, nullptr};
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (handle == nullptr) return false;
  void* address = GlobalLock(handle);
  if (address == nullptr) {
    GlobalFree(handle);
    return false;
  }
  block = LockedBlock{handle, address};
  return true;
}

void releaseLockedBlock(LockedBlock& block) {
  if (block.handle == nullptr) return;
  GlobalUnlock(block.handle);
  GlobalFree(block.handle);
  block = LockedBlock{nullptr, nullptr};
}

WORD* lockInstanceWords(const XfmDoRecord& record) {
  return static_cast<WORD*>(GlobalLock(record.instanceMemory));
}

BOOL unlockInstanceWords(const XfmDoRecord& record) { return GlobalUnlock(record.instanceMemory); }
