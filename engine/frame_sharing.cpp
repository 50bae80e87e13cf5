// The gathered frames through the stage, shared out among the engine's
// helper threads. The parts of the stage that depend on the frame alone
// (analysis, synthesis) are split between the threads; the part that
// carries state from frame to frame runs in order on the caller's thread,
// so the output is the same whatever the thread count. With one thread
// every part runs on the caller's thread, in the same order.
#include "stream.h"

namespace vtengine {

// The stage's own whole-frame transform when it has no split entry points;
// else analysis, the carried part in order, synthesis.
void Engine::Stream::transformSlots() {
  if (stage.analyseFrame == nullptr) {
    for (int slot = 0; slot < gathered; ++slot) {
      for (const Group& group : groups) {
        stage.transformFrame(framesOf(group, slot), firstGathered && slot == 0);
      }
    }
  } else if (stage.carryFrame == nullptr) {
    shareOut(transformItem);
  } else {
    shareOut(analyseItem);
    for (int slot = 0; slot < gathered; ++slot) {
      for (const Group& group : groups) {
        stage.carryFrame(framesOf(group, slot), firstGathered && slot == 0);
      }
    }
    shareOut(synthesiseItem);
  }
}

// Runs a job on each of the gathered frames' items (each slot of each
// group), taken by the crew's threads as they come free, or on this
// thread alone.
void Engine::Stream::shareOut(Crew::Item job) {
  const int items = gathered * static_cast<int>(groups.size());
  if (crew == nullptr) {
    for (int i = 0; i < items; ++i) job(this, i);
  } else {
    crew->run(job, this, items);
  }
}

// The frames of item `item`: slot item / groups of group item % groups.
StageFrames Engine::Stream::itemFrames(int item) const {
  const int groupCount = static_cast<int>(groups.size());
  return framesOf(groups[static_cast<size_t>(item % groupCount)], item / groupCount);
}

void Engine::Stream::analyseItem(void* context, int item) {
  const Stream& s = *static_cast<const Stream*>(context);
  s.stage.analyseFrame(s.itemFrames(item));
}

void Engine::Stream::synthesiseItem(void* context, int item) {
  const Stream& s = *static_cast<const Stream*>(context);
  s.stage.synthesiseFrame(s.itemFrames(item));
}

// A stage that carries nothing from frame to frame: whole frames at once.
void Engine::Stream::transformItem(void* context, int item) {
  const Stream& s = *static_cast<const Stream*>(context);
  const StageFrames frames = s.itemFrames(item);
  s.stage.analyseFrame(frames);
  s.stage.synthesiseFrame(frames);
}

}  // namespace vtengine
