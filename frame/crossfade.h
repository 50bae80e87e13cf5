// The pieces of framing that every driver of a spectral stage shares: the
// frame length a sample rate gets, the cross-fade ramps, and the
// overlap-add that joins one processed frame to the next. The streaming
// skeleton of XfmDo and the engine both use them, so that both compute the
// same sums in the same order.
#ifndef VORTIGEN_FRAME_CROSSFADE_H
#define VORTIGEN_FRAME_CROSSFADE_H

#include "stage.h"

// The order of the frame length, N = 2^order, for a sample rate: 1024
// from 44100 Hz on, 512 from 22050 Hz, 256 below.
int frameOrder(double sampleRate);

// Frame geometry for a sample rate and 1 or 2 channels.
FrameGeometry frameGeometryFor(double sampleRate, int channels);

// fadeIn runs from exactly 0 to exactly 1 over h values; fadeOut is its
// mirror image.
void fillRamps(float* fadeIn, float* fadeOut, int h);

// The first frame's cross-fade partner: the untouched first half of the
// frame, faded out, as the tail of a frame before it.
void startTail(const float* frame, float* tail, const float* fadeOut, int h);

// Fades the processed frame's first half in over the tail left by the frame
// before, and leaves its second half, faded out, as the next tail. The
// frame's second half itself is left as it is.
void overlapAdd(float* frame, float* tail, const float* fadeIn, const float* fadeOut, int h);

#endif
