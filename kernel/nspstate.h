// The kernel's one state record, shared by its modules. Not part of the
// public interface: plug-ins reach it only through the nsp routines.
#ifndef VORTIGEN_KERNEL_NSPSTATE_H
#define VORTIGEN_KERNEL_NSPSTATE_H

#include <cstddef>

#include "nsp.h"

enum { NSP_TableOrders = 32 };

struct KernelState {
  int status;
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

#endif
