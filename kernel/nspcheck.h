// Argument checks of the kernel routines: each failed check is one report
// with status -5, the routine's name, the failed condition, module and line.
#ifndef VORTIGEN_KERNEL_NSPCHECK_H
#define VORTIGEN_KERNEL_NSPCHECK_H

#include "nsp.h"
#include "nspreportlines.h"

// Reports a bad argument of the calling routine when `failed` holds and
// tells the caller whether it did.
inline bool nspBadArgument(bool failed, const char* funcName, const char* context,
                           const char* module, int line) {
  if (failed) nspReportError(NSP_StatusBadArgument, funcName, context, module, line);
  return failed;
}

#endif
