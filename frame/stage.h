// The spectral stage of a plug-in, as the streaming skeleton knows it: four
// entry points and the sizes the stage declares. The skeleton does all the
// rest of XfmDo (reading, framing, cross-fading, clipping, writing).
#ifndef VORTIGEN_FRAME_STAGE_H
#define VORTIGEN_FRAME_STAGE_H

#include "globalblock.h"
#include "nsp.h"
#include "xfm.h"

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
  float* own;          // the stage's own buffers in the working area
  const void* tables;  // the stage's locked tables
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

struct SpectralStage {
  // Floats of the stage's own buffers in the working area, for frame
  // length n and two channels.
  int (*ownFloats)(int n);
  // The size of the whole working area the stage asks for; null for
  // exactly what the buffers take. Never less than that is allocated.
  SIZE_T (*workingAreaBytes)(int n);

  // Before the working area exists: allocates and locks the stage's
  // tables, locks the instance block and fills the tables from the
  // curves. On success the instance block stays locked (the skeleton
  // unlocks it at the end); on failure nothing is held.
  bool (*prepareTables)(const XfmDoRecord& record, const FrameGeometry& geometry,
                        LockedBlock& tables);
  // Once the working area is locked: fills the stage's own buffers.
  void (*prepareWorkingArea)(const FrameGeometry& geometry, const void* tables, float* own);
  // Once per pass; firstFrame is true on the first pass of the call.
  void (*transformFrame)(const StageFrames& frames, bool firstFrame);
  // At the end of the call: unlocks and frees the tables.
  void (*releaseTables)(LockedBlock& tables);
};

#endif
