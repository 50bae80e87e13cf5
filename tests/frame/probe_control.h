// The test controls of the probe plug-in, found with dlsym.
#pragma once

enum class ProbeMode { Identity, Silence, Gain };

struct ProbeStats {
  int transforms;
  int firstFrames;
  int firstFrameTransform;  // which transform (1 = the first) was told so
  int ownBufferDamage;      // transforms that found the stage's buffers changed
  int channels;
  int n;
};

using ProbeConfigure = void (*)(ProbeMode mode, float gain);
using ProbeStatsOf = void (*)(ProbeStats* stats);
using ProbeLastFrame = void (*)(int channel, float* out, int n);
