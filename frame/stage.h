// The spectral stage of a plug-in, as the streaming skeleton knows it: the
// sizes it declares and three entry points. The stage never sees the host:
// whoever drives it (the skeleton inside XfmDo, or the engine) owns the
// table block, samples the curves for it and owns every buffer.
#ifndef VORTIGEN_FRAME_STAGE_H
#define VORTIGEN_FRAME_STAGE_H

#include "nsp.h"
#include "win32.h"

// N samples per channel and frame, N = 2^order, H = N/2 the hop and block
// length; channels is 1 or 2.
struct FrameGeometry {
  int order;
  int n;
  int h;
  int channels;
};

// What one frame transform works on. Per channel: the frame buffer of N + 2
// floats (N time samples in, N processed samples out; in between free for
// magnitudes and phases) and a spectrum buffer of N/2 + 1 bins.
struct StageFrames {
  FrameGeometry geometry;
  float* frame[2];
  ComplexFloat* spectrum[2];
  float* own;          // the stage's own buffers
  const void* tables;  // the stage's tables, filled by fillTables
};

// The forward transform of each channel's frame into its spectrum; two
// channels go through the kernel's paired transform in one call.
inline void forwardTransformFrames(const StageFrames& frames) {
  const FrameGeometry& g = frames.geometry;
  if (g.channels == 1) {
    nspsRealFftNip(frames.frame[0], frames.spectrum[0], g.order, NSP_FftForward);
  } else {
    nspsReal2FftNip(frames.frame[0], frames.spectrum[0], frames.frame[1], frames.spectrum[1],
                    g.order, NSP_FftForward);
  }
}

// The curves' values as the stage's tables are filled: curve is the index
// of the curve (its instance word), position 0.0 .. 1.0 along its x range;
// the result is in raw y units. In XfmDo each call is one getCurveValue of
// the host, so the order of the calls is what the host sees.
struct CurveSampler {
  double (*value)(const void* context, int curve, double position);
  const void* context;
};

inline double sampleCurve(const CurveSampler& curves, int curve, double position) {
  return curves.value(curves.context, curve, position);
}

struct SpectralStage {
  // Floats of the stage's own buffers, for frame length n and two
  // channels.
  int (*ownFloats)(int n);
  // The size of the whole working area the stage asks XfmDo for; null for
  // exactly what the buffers take. Never less than that is allocated.
  SIZE_T (*workingAreaBytes)(int n);
  // Bytes of the stage's tables, whatever the frame length.
  SIZE_T tableBytes;

  // Fills tableBytes bytes of tables from the curves.
  void (*fillTables)(const CurveSampler& curves, void* tables);
  // Fills the stage's own buffers once they exist. What it puts there
  // does not depend on the curves: the engine swaps tables in mid-stream.
  void (*prepareWorkingArea)(const FrameGeometry& geometry, float* own);
  // Once per frame; firstFrame is true on the first frame of a stream.
  void (*transformFrame)(const StageFrames& frames, bool firstFrame);

  // The same transform in three parts, transformFrame being the three in
  // turn, for a driver that transforms several frames at once. analyseFrame
  // and synthesiseFrame touch only the frame's own buffers (and read the
  // tables and what prepareWorkingArea filled), so frames may go through
  // them in any order, on any thread. carryFrame, between them, updates
  // what the stage keeps from one frame to the next: every frame must go
  // through it in order, one at a time. Null where the stage keeps nothing.
  // A stage without analyseFrame is transformed whole, in order, on one
  // thread.
  void (*analyseFrame)(const StageFrames& frames);
  void (*carryFrame)(const StageFrames& frames, bool firstFrame);
  void (*synthesiseFrame)(const StageFrames& frames);
};

#endif
