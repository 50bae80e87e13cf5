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
    shareOut(transformShare);
  } else {
    shareOut(analyseShare);
    for (int slot = 0; slot < gathered; ++slot) {
      for (const Group& group : groups) {
        stage.carryFrame(framesOf(group, slot), firstGathered && slot == 0);
      }
    }
    shareOut(synthesiseShare);
  }
}

// Runs a job on the gathered frames, shared out among the crew's threads,
// or on this one alone.
void Engine::Stream::shareOut(Crew::Job job) {
  if (crew == nullptr) {
    job(this, 0, 1);
  } else {
    crew->run(job, this);
  }
}

// Part `part` of `parts` of the gathered frames' items (each slot of each
// group), through `step`.
template <typename Step>
void Engine::Stream::forShare(int part, int parts, Step step) const {
  const int groupCount = static_cast<int>(groups.size());
  const int count = gathered * groupCount;
  for (int i = count * part / parts; i < count * (part + 1) / parts; ++i) {
    step(framesOf(groups[static_cast<size_t>(i % groupCount)], i / groupCount));
  }
}

void Engine::Stream::analyseShare(void* context, int part, int parts) {
  const Stream& s = *static_cast<const Stream*>(context);
  s.forShare(part, parts, s.stage.analyseFrame);
}

void Engine::Stream::synthesiseShare(void* context, int part, int parts) {
  const Stream& s = *static_cast<const Stream*>(context);
  s.forShare(part, parts, s.stage.synthesiseFrame);
}

// A stage that carries nothing from frame to frame: whole frames at once.
void Engine::Stream::transformShare(void* context, int part, int parts) {
  const Stream& s = *static_cast<const Stream*>(context);
  s.forShare(part, parts, [&s](const StageFrames& frames) {
    s.stage.analyseFrame(frames);
    s.stage.synthesiseFrame(frames);
  });
}

}  // namespace vtengine
