// The entry points of a plug-in library: descriptor, instance lifecycle,
// settings dialog and processing. What differs between the plug-ins comes
// from their PluginDefinition.
#include "exports.h"

#include "globalblock.h"
#include "hostcalls.h"
#include "nsp.h"
#include "plugin.h"
#include "streaming.h"

#ifndef _WIN32
#include "vtplatform.h"
#endif

namespace {

// Curve words that name no live curve: never created, or already released.
bool holdsLiveCurve(WORD word) { return word != CurveHandleNone && word != CurveHandleDestroyed; }

DLGPROC asDialogProcedure(FARPROC procedure) {
  // Through the generic function pointer type, as every cast between
  // unrelated function pointer types must go.
  return reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)(void)>(procedure));
}

}  // namespace

extern "C" {

#ifdef _WIN32
// Load and unload notifications. The kernel's FFT tables are cached for as
// long as the library is loaded; when the host unloads it they are
// released, or every load would leave its tables behind. At process exit
// (reserved non-null) the system reclaims everything anyway.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) nspFreeAllTwd();
  return TRUE;
}
#else
// The same release when the dynamic loader unloads the library.
__attribute__((destructor)) static void releaseKernelTables() { nspFreeAllTwd(); }

// What GetProcAddress of the platform layer reads to find an export by
// ordinal.
VORTIGEN_EXPORT extern const VtModuleOrdinal vtModuleOrdinals[];
const VtModuleOrdinal vtModuleOrdinals[] = {
#define VORTIGEN_ORDINAL_ENTRY(ordinal, name) {ordinal, #name},
    VORTIGEN_EXPORT_ORDINALS(VORTIGEN_ORDINAL_ENTRY)
#undef VORTIGEN_ORDINAL_ENTRY
        {0, nullptr}};
#endif

// Writes only the descriptor's fields, every other byte of the host's block
// keeps what the host put there.
WORD XFMAPI QueryXfm(XfmDescriptor* descriptor) {
  if (descriptor != nullptr) {
    const PluginDefinition& p = vortigenPlugin;
    lstrcpyA(descriptor->effectName, p.effectName);
    lstrcpyA(descriptor->maker, p.maker);
    descriptor->featureWord = p.featureWord;
    descriptor->featureFlags = p.featureFlags;
    descriptor->instanceDataSize = p.instanceDataSize;
    lstrcpyA(descriptor->instanceWordTypes, p.instanceWordTypes);
    lstrcpyA(descriptor->instanceWordSaved, p.instanceWordSaved);
    lstrcpyA(descriptor->description, p.description);
  }
  return XfmInterfaceVersion;
}

// Creates the instance's curves in the order of their words.
int XFMAPI XfmInit(XfmDoRecord* record) {
  if (record == nullptr || record->createCurve == nullptr) return 0;
  WORD* words = lockInstanceWords(*record);
  if (words == nullptr) return 0;
  const PluginDefinition& p = vortigenPlugin;
  for (int i = 0; i < p.curveCount; ++i) words[i] = hostCreateCurve(*record, p.curves[i]);
  unlockInstanceWords(*record);
  return 1;
}

// Releases the instance's curves; a released word holds 0xFFFF. Words that
// hold no live curve are skipped, so a second XfmDestroy releases nothing
// twice. The result is the unlock's: 0 once the block is no longer locked.
int XFMAPI XfmDestroy(XfmDoRecord* record) {
  if (record == nullptr || record->destroyCurve == nullptr) return 0;
  WORD* words = lockInstanceWords(*record);
  if (words == nullptr) return 0;
  const PluginDefinition& p = vortigenPlugin;
  for (int i = 0; i < p.curveCount; ++i) {
    if (!holdsLiveCurve(words[i])) continue;
    hostDestroyCurve(*record, words[i]);
    words[i] = CurveHandleDestroyed;
  }
  return unlockInstanceWords(*record);
}

// Runs the settings dialog: template 500 of the plug-in's own module with
// the procedure exported under ordinal 100. The end code goes back as a
// signed 16-bit value: 1 OK, 0 Cancel, -1 when no dialog could be made.
int XFMAPI XfmSetup(HWND parent, HINSTANCE module, XfmDoRecord* record) {
  const FARPROC procedure = GetProcAddress(module, MAKEINTRESOURCEA(DialogProcOrdinal));
  if (procedure == nullptr) return -1;
  const INT_PTR ended =
      DialogBoxParamA(module, MAKEINTRESOURCEA(DialogTemplateId), parent,
                      asDialogProcedure(procedure), reinterpret_cast<LPARAM>(record));
  return static_cast<short>(ended);
}

int XFMAPI XfmDo(XfmDoRecord* record) { return streamSelection(record, *vortigenPlugin.stage); }

// DIALOGMsgProc, the settings dialog's procedure, is in dialog.cpp.

}  // extern "C"
