// Movable global memory as the plug-ins use it: blocks they allocate, lock,
// unlock and free within one call, and the host's instance block, which
// they only lock and unlock.
#ifndef VORTIGEN_FRAME_GLOBALBLOCK_H
#define VORTIGEN_FRAME_GLOBALBLOCK_H

#include "xfm.h"

// A movable block the plug-in allocated, with its address while locked.
struct LockedBlock {
  HGLOBAL handle;
  void* address;
};

// Allocates a movable block and locks it. On failure nothing is held: a
// block that could not be locked is freed again.
bool obtainLockedBlock(SIZE_T bytes, LockedBlock& block);
// Unlocks and frees a block obtained above; an empty block is left alone.
void releaseLockedBlock(LockedBlock& block);

// Locks the host's instance block and returns its 16-bit words, or null.
WORD* lockInstanceWords(const XfmDoRecord& record);
// Unlocks it; the result is the unlock's (0 once no longer locked).
BOOL unlockInstanceWords(const XfmDoRecord& record);

#endif
