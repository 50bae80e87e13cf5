/* xfm.h - the host's transform plug-in interface: the records it hands the
 * plug-ins, the services it offers through them, and the entry points.
 *
 * Both records are binary blocks of the host. On a 32-bit build every byte
 * offset is fixed; where pointers are wider, pointer fields take the
 * platform's width in the same order, every unused stretch keeps its 8
 * bytes, and every field keeps its natural alignment. The static_asserts at
 * the end pin both layouts.
 */
#ifndef VORTIGEN_INTERFACE_XFM_H
#define VORTIGEN_INTERFACE_XFM_H

#include <stddef.h>
#include <stdint.h>

#include "win32.h"

/* The interface's calling convention, for the exports and for every host
 * service. */
#if defined(_WIN32) && !defined(_WIN64)
#define XFMAPI __stdcall
#else
#define XFMAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The 16-bit handle of a host-owned curve; 0 stands for no curve. */
typedef WORD CurveHandle;

enum { CurveHandleNone = 0, CurveHandleDestroyed = 0xFFFF };

/* A curve's coordinates run from 0 to this on both axes, in every curve
 * the plug-ins create and in every preset text. An int in C++ rather than
 * an enumerator, since the plug-ins divide by it in double precision. */
#ifdef __cplusplus
inline constexpr int CurveFullScale = 16384;
#else
enum { CurveFullScale = 16384 };
#endif

/* setCurveScale's scaleMode: how the host labels the curve's y axis. */
enum { CurveScaleLinear = 0, CurveScaleDecibels = 1 };

/* The block QueryXfm fills. Texts are zero-terminated. */
typedef struct {
  char effectName[40]; /* group and effect name joined by a backslash */
  char maker[80];
  char description[70];
  WORD featureWord;
  DWORD featureFlags;
  DWORD instanceDataSize;     /* bytes of InstanceData per instance */
  char instanceWordTypes[48]; /* per 16-bit word: 'g' curve handle, 'i' integer */
  char instanceWordSaved[48]; /* per word: 'y' carried by presets, 'n' not */
} XfmDescriptor;

typedef struct XfmDoRecord XfmDoRecord;

/* Host services. Results the plug-ins do not examine are still declared, so
 * that the host may return whatever it likes. Curve handles pass
 * zero-extended, coordinates and creation values sign-extended. */
typedef LONG(XFMAPI* XfmDialogStart)(HWND dialog, LONG zero);
typedef LONG(XFMAPI* XfmReadData)(void* buffer, LONG bytePosition, LONG byteCount);
typedef LONG(XFMAPI* XfmWriteData)(const void* buffer, LONG bytePosition, LONG byteCount);
typedef LONG(XFMAPI* XfmReportProgress)(LONG bytesDone, LONG bytesTotal);
typedef LONG(XFMAPI* XfmSetProgressText)(LPCSTR text, LONG zero);
typedef LONG(XFMAPI* XfmEndProgress)(void);
typedef LONG(XFMAPI* XfmLoadPresets)(HWND dialog, LPCSTR section, LPCSTR profilePath);
typedef LONG(XFMAPI* XfmPresetNameCommand)(HWND dialog);
typedef LONG(XFMAPI* XfmPresetListCommand)(XfmDoRecord* record, HWND dialog, LPCSTR section,
                                           WPARAM first, LPARAM second);
typedef LONG(XFMAPI* XfmAddPreset)(XfmDoRecord* record, HWND dialog, LPCSTR section);
typedef LONG(XFMAPI* XfmDeletePreset)(HWND dialog, LPCSTR section);
typedef CurveHandle(XFMAPI* XfmCreateCurve)(LONG xMin, LONG xMax, LONG yMin, LONG yMax, LONG yStart,
                                            LONG yEnd);
typedef void(XFMAPI* XfmGetCurveValue)(UINT curve, double position, double* result);
typedef LONG(XFMAPI* XfmDrawCurve)(UINT curve, HDC deviceContext);
typedef LONG(XFMAPI* XfmDestroyCurve)(UINT curve);
typedef LONG(XFMAPI* XfmCurveMouse)(UINT curve, LONG x, LONG y);
typedef LONG(XFMAPI* XfmSetCurveScale)(UINT curve, double xFactor, double xOffset, LONG xMultiplier,
                                       double yFactor, double yOffset, LONG yMultiplier,
                                       UINT scaleMode);
typedef LONG(XFMAPI* XfmSetCurveLabels)(UINT curve, LPCSTR xName, LPCSTR xUnit, LPCSTR yName,
                                        LPCSTR yUnit);
typedef LONG(XFMAPI* XfmAttachCurve)(UINT curve, HWND dialog, UINT frameId, UINT readoutId);

/* The host's per-instance record; the plug-ins only read it. */
struct XfmDoRecord {
  WORD channels;      /* 1 = mono; any other value = two interleaved channels */
  WORD bitsPerSample; /* 8 = unsigned bytes centred on 128; else signed 16-bit */
  WORD blockAlign;    /* bytes per sample frame */
  BYTE unusedAfterBlockAlign[2];
  LONG sampleRate;
  HGLOBAL instanceMemory; /* InstanceData; the host allocates and frees it */
  LONG selectionFirst;    /* first sample frame of the selection */
  LONG selectionLast;     /* last sample frame, inclusive */
  BYTE unusedAfterSelection[8];
  XfmDialogStart dialogStart;
  XfmReadData readData;
  XfmWriteData writeData;
  int* cancelFlag;                    /* turns nonzero when the user asks to stop */
  XfmReportProgress reportProgress;   /* may be null */
  XfmSetProgressText setProgressText; /* may be null */
  XfmEndProgress endProgress;         /* may be null */
  LPCSTR profilePath;
  XfmLoadPresets loadPresets;
  XfmPresetNameCommand presetNameCommand;
  XfmPresetListCommand presetListCommand;
  XfmAddPreset addPreset;
  XfmDeletePreset deletePreset;
  XfmCreateCurve createCurve;
  BYTE unusedAfterCreateCurve[8];
  XfmGetCurveValue getCurveValue;
  XfmDrawCurve drawCurve;
  BYTE unusedAfterDrawCurve[8];
  XfmDestroyCurve destroyCurve;
  XfmCurveMouse curveMouseDown;
  XfmCurveMouse curveMouseUp;
  XfmCurveMouse curveDoubleClick;
  XfmCurveMouse curveMouseMove;
  XfmSetCurveScale setCurveScale;
  XfmSetCurveLabels setCurveLabels;
  XfmAttachCurve attachCurve;
  WORD autoAccept; /* AutoAcceptNone, or the dialog accepts itself at once */
  WORD showDialog;
};

/* autoAccept when the settings dialog waits for the person. */
enum { AutoAcceptNone = 0xFFFF };

/* The value QueryXfm returns. */
enum { XfmInterfaceVersion = 0x0480 };

/* The descriptor's featureWord and featureFlags, the same in both plug-ins.
 * What they mean is the host's business; the plug-ins announce exactly
 * these values, which hosts rely on. */
enum { XfmFeatureWord = 15, XfmFeatureFlags = 29 };

/* Entry points of every plug-in library. */
typedef WORD(XFMAPI* XfmQueryProc)(XfmDescriptor* descriptor);
typedef int(XFMAPI* XfmInitProc)(XfmDoRecord* record);
typedef int(XFMAPI* XfmSetupProc)(HWND parent, HINSTANCE module, XfmDoRecord* record);
typedef int(XFMAPI* XfmDoProc)(XfmDoRecord* record);
typedef int(XFMAPI* XfmDestroyProc)(XfmDoRecord* record);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define XFM_STATIC_ASSERT static_assert
#else
#define XFM_STATIC_ASSERT _Static_assert
#endif

XFM_STATIC_ASSERT(offsetof(XfmDescriptor, effectName) == 0, "effectName");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, maker) == 40, "maker");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, description) == 120, "description");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, featureWord) == 190, "featureWord");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, featureFlags) == 192, "featureFlags");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, instanceDataSize) == 196, "instanceDataSize");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, instanceWordTypes) == 200, "instanceWordTypes");
XFM_STATIC_ASSERT(offsetof(XfmDescriptor, instanceWordSaved) == 248, "instanceWordSaved");

XFM_STATIC_ASSERT(offsetof(XfmDoRecord, channels) == 0, "channels");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, bitsPerSample) == 2, "bitsPerSample");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, blockAlign) == 4, "blockAlign");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, sampleRate) == 8, "sampleRate");

#if UINTPTR_MAX == 0xFFFFFFFFu
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, instanceMemory) == 12, "instanceMemory");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, selectionFirst) == 16, "selectionFirst");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, selectionLast) == 20, "selectionLast");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, unusedAfterSelection) == 24, "unused at 24");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, dialogStart) == 32, "dialogStart");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, readData) == 36, "readData");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, writeData) == 40, "writeData");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, cancelFlag) == 44, "cancelFlag");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, reportProgress) == 48, "reportProgress");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, setProgressText) == 52, "setProgressText");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, endProgress) == 56, "endProgress");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, profilePath) == 60, "profilePath");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, loadPresets) == 64, "loadPresets");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, presetNameCommand) == 68, "presetNameCommand");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, presetListCommand) == 72, "presetListCommand");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, addPreset) == 76, "addPreset");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, deletePreset) == 80, "deletePreset");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, createCurve) == 84, "createCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, unusedAfterCreateCurve) == 88, "unused at 88");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, getCurveValue) == 96, "getCurveValue");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, drawCurve) == 100, "drawCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, unusedAfterDrawCurve) == 104, "unused at 104");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, destroyCurve) == 112, "destroyCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, curveMouseDown) == 116, "curveMouseDown");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, curveMouseUp) == 120, "curveMouseUp");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, curveDoubleClick) == 124, "curveDoubleClick");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, curveMouseMove) == 128, "curveMouseMove");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, setCurveScale) == 132, "setCurveScale");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, setCurveLabels) == 136, "setCurveLabels");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, attachCurve) == 140, "attachCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, autoAccept) == 144, "autoAccept");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, showDialog) == 146, "showDialog");
XFM_STATIC_ASSERT(sizeof(XfmDoRecord) == 148, "XfmDoRecord size");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, instanceMemory) == 16, "instanceMemory");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, selectionFirst) == 24, "selectionFirst");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, selectionLast) == 28, "selectionLast");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, unusedAfterSelection) == 32, "unused after the selection");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, dialogStart) == 40, "dialogStart");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, readData) == 48, "readData");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, writeData) == 56, "writeData");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, cancelFlag) == 64, "cancelFlag");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, reportProgress) == 72, "reportProgress");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, endProgress) == 88, "endProgress");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, profilePath) == 96, "profilePath");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, loadPresets) == 104, "loadPresets");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, deletePreset) == 136, "deletePreset");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, createCurve) == 144, "createCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, unusedAfterCreateCurve) == 152, "unused after createCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, getCurveValue) == 160, "getCurveValue");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, drawCurve) == 168, "drawCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, unusedAfterDrawCurve) == 176, "unused after drawCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, destroyCurve) == 184, "destroyCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, attachCurve) == 240, "attachCurve");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, autoAccept) == 248, "autoAccept");
XFM_STATIC_ASSERT(offsetof(XfmDoRecord, showDialog) == 250, "showDialog");
XFM_STATIC_ASSERT(sizeof(XfmDoRecord) == 256, "XfmDoRecord size");
#endif

#endif /* VORTIGEN_INTERFACE_XFM_H */
