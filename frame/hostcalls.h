// Forwarding routines: every call the plug-ins make into the host goes
// through one of these, which pass the arguments in the slot's order. The
// optional services (reportProgress, setProgressText, endProgress) are
// skipped when the host left their slot empty.
#ifndef VORTIGEN_FRAME_HOSTCALLS_H
#define VORTIGEN_FRAME_HOSTCALLS_H

#include "xfm.h"

// The starting shape of a curve, in the order createCurve takes it.
struct CurveShape {
  LONG xMin, xMax, yMin, yMax, yStart, yEnd;
};

void hostReadData(const XfmDoRecord& record, void* buffer, LONG bytePosition, LONG byteCount);
void hostWriteData(const XfmDoRecord& record, const void* buffer, LONG bytePosition,
                   LONG byteCount);
void hostReportProgress(const XfmDoRecord& record, LONG bytesDone, LONG bytesTotal);
void hostSetProgressText(const XfmDoRecord& record, LPCSTR text);
void hostEndProgress(const XfmDoRecord& record);
bool hostCancelRequested(const XfmDoRecord& record);

CurveHandle hostCreateCurve(const XfmDoRecord& record, const CurveShape& shape);
void hostDestroyCurve(const XfmDoRecord& record, CurveHandle curve);
// The curve's y at position 0.0 (xMin) .. 1.0 (xMax), in raw y units.
double hostCurveValue(const XfmDoRecord& record, CurveHandle curve, double position);

#endif
