#include "hostcalls.h"

void hostReadData(const XfmDoRecord& record, void* buffer, LONG bytePosition, LONG byteCount) {
  record.readData(buffer, bytePosition, byteCount);
}

void hostWriteData(const XfmDoRecord& record, const void* buffer, LONG bytePosition,
                   LONG byteCount) {
  record.writeData(buffer, bytePosition, byteCount);
}

void hostReportProgress(const XfmDoRecord& record, LONG bytesDone, LONG bytesTotal) {
  if (record.reportProgress != nullptr) record.reportProgress(bytesDone, bytesTotal);
}

void hostSetProgressText(const XfmDoRecord& record, LPCSTR text) {
  if (record.setProgressText != nullptr) record.setProgressText(text, 0);
}

void hostEndProgress(const XfmDoRecord& record) {
  if (record.endProgress != nullptr) record.endProgress();
}

// A host without a cancel flag cannot ask to stop.
bool hostCancelRequested(const XfmDoRecord& record) {
  return record.cancelFlag != nullptr && *record.cancelFlag != 0;
}

CurveHandle hostCreateCurve(const XfmDoRecord& record, const CurveShape& shape) {
  return record.createCurve(shape.xMin, shape.xMax, shape.yMin, shape.yMax, shape.yStart,
                            shape.yEnd);
}

void hostDestroyCurve(const XfmDoRecord& record, CurveHandle curve) { record.destroyCurve(curve); }

// The result starts at 0.0 so that a host that writes nothing cannot leave
// an undefined value in the plug-in's tables.
double hostCurveValue(const XfmDoRecord& record, CurveHandle curve, double position) {
  double value = 0.0;
  record.getCurveValue(curve, position, &value);
  return value;
}
