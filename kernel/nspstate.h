// The kernel's one state record, shared by its modules. Not part of the
// public interface: plug-ins reach it only through the nsp routines.
#ifndef VORTIGEN_KERNEL_NSPSTATE_H
#define VORTIGEN_KERNEL_NSPSTATE_H

#include <cstddef>

#include "nsp.h"

enum { NSP_TableOrders = 32 };

struct KernelState {
  int errorMode;
  NspErrorHandler errorHandler;
  // FFT table cache: one slot per order 0..31 for each table kind.
  float* radixTwd[NSP_TableOrders];
  ComplexFloat* expTwd[NSP_TableOrders];
  ComplexFloat* splitTwd[NSP_TableOrders];
  int* bitRev[NSP_TableOrders];
};

extern KernelState nspKernelState;

// The heap the FFT tables come from: std::malloc unless a test installs an
// allocator that fails on purpose, to reach the out-of-memory paths. Tables
// are always released with std::free, so a replacement must hand out blocks
// from std::malloc or null.
using NspTableHeapAlloc = void* (*)(std::size_t bytes);
extern NspTableHeapAlloc nspTableHeapAlloc;

extern "C" {
// A transform holds the tables it fetched from its first fetch to its
// return: it calls nspTableUseBegin before and nspTableUseEnd after. Begin
// waits while another thread empties the cache.
void nspTableUseBegin(void);
void nspTableUseEnd(void);
// Empties the whole cache, as nspFreeAllTwd does, but only when the caller
// (a transform between Begin and End) is the only one using the tables;
// returns 0 and frees nothing when another transform is in flight.
int nspFreeAllTwdIfSoleUser(void);
}

// Begin and End over a transform's scope, whichever way it returns.
struct NspTableUse {
  NspTableUse() { nspTableUseBegin(); }
  ~NspTableUse() { nspTableUseEnd(); }
  NspTableUse(const NspTableUse&) = delete;
  NspTableUse& operator=(const NspTableUse&) = delete;
};

#endif
