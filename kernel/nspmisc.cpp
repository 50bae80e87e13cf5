// nspmisc: the kernel's status, error modes, error handlers and version.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "nspstate.h"
#include "win32.h"

KernelState nspKernelState = {NSP_ErrorModeLeaf, nspDefaultErrorReport, {}, {}, {}, {}};

namespace {

// The status is sticky and callers read it after a call to learn whether
// that call (and everything since the last clearing) succeeded. Several
// plug-in instances may run on several threads of one host at once; with one
// process-wide status they would race, and one instance would read another's
// error (or have its own cleared by another's conversion). Each thread
// therefore keeps its own status: a single-threaded caller sees exactly the
// behaviour of one shared status.
thread_local int threadStatus = NSP_StatusNoError;

// Mode and handler stay process-wide (they are settings, not results), read
// and written atomically so that changing them while other threads report is
// not a data race.
int loadMode() {
  return std::atomic_ref<int>(nspKernelState.errorMode).load(std::memory_order_relaxed);
}

NspErrorHandler loadHandler() {
  return std::atomic_ref<NspErrorHandler>(nspKernelState.errorHandler)
      .load(std::memory_order_acquire);
}

#if defined(__clang__)
#define NSP_COMPILER_MAKER "Clang " __clang_version__
#elif defined(__GNUC__)
#define NSP_COMPILER_MAKER "GNU GCC " __VERSION__
#elif defined(_MSC_VER)
#define NSP_COMPILER_MAKER "Microsoft Visual C++"
#else
#define NSP_COMPILER_MAKER "unknown compiler"
#endif

const KernelVersion kernelVersion = {3,
                                     0,
                                     13,
                                     "spkernel.lib",
                                     "v4.0 Release Candidate",
                                     "[4.00.29, 01/30/97]",
                                     "Feb 24 1998",
                                     NSP_COMPILER_MAKER};

const char terminatingText[] = "SPL Library:\nterminating the application";

// Backtrace and autotrace reports add a caller's location to an error that
// was reported before; they must not hide that first error's status.
bool isTraceReport(int status) {
  return status == NSP_StatusBacktrace || status == NSP_StatusAutotrace;
}

[[noreturn]] void terminateApplication() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32s) {
    MessageBoxA(nullptr, terminatingText, "Win32S: Application exit", MB_OK | MB_SYSTEMMODAL);
    std::exit(1);
  }
  FatalAppExitA(0, terminatingText);
  std::exit(1);  // not reached: the fatal exit does not return
}

}  // namespace

extern "C" {

int nspStatusGet(void) { return threadStatus; }

void nspStatusSet(int status) { threadStatus = status; }

int nspErrorModeGet(void) { return loadMode(); }

void nspErrorModeSet(int mode) {
  std::atomic_ref<int>(nspKernelState.errorMode).store(mode, std::memory_order_relaxed);
}

NspErrorHandler nspSetErrorHandler(NspErrorHandler handler) {
  return std::atomic_ref<NspErrorHandler>(nspKernelState.errorHandler)
      .exchange(handler != nullptr ? handler : nspDefaultErrorReport, std::memory_order_acq_rel);
}

const char* nspStatusText(int status) {
  switch (status) {
    case NSP_StatusNoError: return "No Error";
    case NSP_StatusBacktrace: return "Backtrace";
    case NSP_StatusBadState: return "Internal error (bad state)";
    case NSP_StatusOutOfMemory: return "Out of memory";
    case NSP_StatusBadArgument: return "Bad argument";
    case NSP_StatusUnsupported: return "Unsupported function";
    case NSP_StatusNoConvergence: return "Iteration convergence failed";
    case NSP_StatusAutotrace: return "Autotrace call";
    default: return "Unknown error or status code";
  }
}

int nspReportError(int status, const char* funcName, const char* context, const char* file,
                   int line) {
  if (!isTraceReport(status)) threadStatus = status;
  if (status == NSP_StatusNoError) return 0;
  return loadHandler()(status, funcName, context, file, line);
}

int nspDefaultErrorReport(int status, const char* funcName, const char* context, const char* file,
                          int line) {
  const int mode = loadMode();
  if (mode == NSP_ErrorModeSilent) return status;

  if (funcName == nullptr) funcName = "<unknown>";
  if (context == nullptr) context = "";
  if (file == nullptr) file = "";
  if (line < 0) line = 0;

  const char* closing = "";
  if (mode == NSP_ErrorModeLeaf) {
    closing = "\n\nErrMode=NSP_ErrorModeLeaf\n\nTerminate the application?";
  } else if (mode == NSP_ErrorModeParent) {
    closing = "\n\nErrMode=NSP_ErrorModeParent\n\nContinue?";
  }

  // The buffers have the sizes the kernel always used; snprintf cuts texts
  // that come from outside the kernel and would not fit.
  char message[200];
  char caption[100];
  if (status == NSP_StatusBacktrace) {
    std::snprintf(message, sizeof message, "called from [%s:%d]:%s():\n %s%s", file, line, funcName,
                  context, closing);
  } else if (status == NSP_StatusAutotrace) {
    std::snprintf(message, sizeof message, "called from [%s:%d]:\n %s(%s)%s", file, line, funcName,
                  context, closing);
  } else {
    std::snprintf(message, sizeof message, "in function [%s:%d]:%s():\n %s%s", file, line, funcName,
                  context, closing);
  }
  // The caption names the stored status, so a backtrace shows the first error.
  std::snprintf(caption, sizeof caption, "SPL Library Error: %s", nspStatusText(nspStatusGet()));

  if (mode == NSP_ErrorModeParent) {
    if (MessageBoxA(nullptr, message, caption, MB_OKCANCEL | MB_SYSTEMMODAL) == IDCANCEL) {
      terminateApplication();
    }
  } else if (mode == NSP_ErrorModeLeaf) {
    if (MessageBoxA(nullptr, message, caption, MB_YESNO | MB_SYSTEMMODAL) == IDYES) {
      terminateApplication();
    }
  }
  return status;
}

int nspQuietErrorReport(int status, const char*, const char*, const char*, int) {
  if (loadMode() == NSP_ErrorModeLeaf) std::exit(1);
  return status;
}

const KernelVersion* nspKernelVersion(void) { return &kernelVersion; }

}  // extern "C"
