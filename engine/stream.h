// The engine's stream state (engine.cpp), shared with the handing out of
// gathered frames to helper threads (frame_sharing.cpp); not for use
// outside engine/.
//
// Input is gathered per channel into blocks of H sample frames. When a
// block is complete, it and the block before make a frame of N = 2H samples
// per channel, copied into the next free slot of every channel group. The
// slots are transformed together at the end of each process() call, or
// when they are all full.
#ifndef VORTIGEN_ENGINE_STREAM_H
#define VORTIGEN_ENGINE_STREAM_H

#include <cstdint>
#include <memory>
#include <vector>

#include "crew.h"
#include "engine.h"
#include "stage.h"

namespace vtengine {

// One frame's buffers per channel of a group: the frame (N + 2 floats)
// and its spectrum.
struct Slot {
  float* frame[2];
  ComplexFloat* spectrum[2];
};

// Every buffer a channel group works on, laid out as the skeleton lays out
// its working area: frames, spectra, tails, ramps, the stage's buffers.
struct Group {
  FrameGeometry geometry;
  int firstChannel;
  std::vector<Slot> slots;
  float* tail[2];
  float* fadeIn;
  float* fadeOut;
  float* own;
};

struct Engine::Stream {
  Effect effect;
  const SpectralStage& stage;
  std::unique_ptr<CurveTables> tables;
  double sampleRate;
  int channels;
  int n;
  int h;
  float scale;
  float inverseScale;
  int slots;  // frames transformed together at most

  std::vector<float> storage;  // every buffer below
  std::vector<Group> groups;
  std::vector<float*> older;   // per channel, H sample frames: the block before
  std::vector<float*> newer;   // per channel, H sample frames: the block being filled
  std::vector<float*> output;  // per channel, (slots + 1) H sample frames: transformed,
                               // not yet written
  std::unique_ptr<Crew> crew;  // with more than one thread

  // Where the stream stands.
  int filled = 0;              // sample frames in the newer block
  int64_t blocks = 0;          // complete blocks so far
  int silenceLeft = 0;         // leading output sample frames still to come
  int outputRead = 0;          // sample frames of the output already written
  int outputReady = 0;         // sample frames in the output
  int gathered = 0;            // frames in the slots, not transformed yet
  bool firstGathered = false;  // the first of them is the stream's first frame
  int lastSlot = 0;            // the slot of the frame transformed last

  Stream(const EngineSettings& settings, std::unique_ptr<CurveTables> curveTables);

  void restart();
  void completeBlock();
  void transformGathered();
  StageFrames framesOf(const Group& group, int slot) const;
  void write(float* const* out, size_t at, int count);
  int queued() const { return silenceLeft + outputReady - outputRead; }
  void writeLastBlock(float* const* out, size_t at, int count) const;
  void writeUnchanged(float* const* out, size_t at) const;

  // In frame_sharing.cpp: the gathered frames through the stage, shared
  // out among the crew's threads where the stage allows it.
  void transformSlots();
  void shareOut(Crew::Item job);
  StageFrames itemFrames(int item) const;
  static void analyseItem(void* context, int item);
  static void synthesiseItem(void* context, int item);
  static void transformItem(void* context, int item);
};

}  // namespace vtengine

#endif
