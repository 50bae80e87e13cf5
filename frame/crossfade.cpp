#include "crossfade.h"

int frameOrder(double sampleRate) { return sampleRate >= 44100 ? 10 : sampleRate >= 22050 ? 9 : 8; }

FrameGeometry frameGeometryFor(double sampleRate, int channels) {
  const int order = frameOrder(sampleRate);
  const int n = 1 << order;
  return FrameGeometry{order, n, n / 2, channels == 1 ? 1 : 2};
}

void fillRamps(float* fadeIn, float* fadeOut, int h) {
  for (int i = 0; i < h; ++i) {
    const float rising = static_cast<float>(i) / static_cast<float>(h - 1);
    fadeIn[i] = rising;
    fadeOut[h - 1 - i] = rising;
  }
}

void startTail(const float* frame, float* tail, const float* fadeOut, int h) {
  nspsbCopy(frame, tail, h);
  nspsbMpy2(fadeOut, tail, h);
}

void overlapAdd(float* frame, float* tail, const float* fadeIn, const float* fadeOut, int h) {
  nspsbMpy2(fadeIn, frame, h);
  nspsbAdd2(tail, frame, h);
  nspsbMpy3(fadeOut, frame + h, tail, h);
}
