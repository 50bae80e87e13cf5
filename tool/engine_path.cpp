#include "engine_path.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine.h"
#include "progress.h"
#include "range.h"
#include "sound_pipeline.h"
#include "vortigen_output.h"

namespace vortigen {

namespace {

// Threads that transform the engine's frames: the cores this file has to
// itself. Past four the frames' in-order part and the reading and writing
// threads leave little to gain.
int engineThreads(const EffectRun& run) { return std::clamp(coresPerFile(run), 1, 4); }

}  // namespace

bool throughEngine(const EngineRun& r, int64_t& clipped) {
  const vtmedia::SoundInfo& info = r.reader.info();
  const int channels = info.channels;
  const std::optional<vtengine::Effect> effect = vtengine::effectNamed(r.effect.name);
  if (!effect)
    throw vthost::HostError("The engine has no effect " + r.effect.name + "; use --path plugin.");
  vtengine::EngineSettings engineSettings =
      vtengine::settingsForSound(*effect, r.settings.curves, info.sampleRate, channels,
                                 info.format.isInteger() ? info.format.bits : 0);
  engineSettings.threads = engineThreads(r.run);

  ProgressBar bar(r.effect.name, r.showProgress, r.run.progressInterval);
  bar.setName(std::filesystem::path(r.reader.path()).filename().string());
  const long delayMs = testProgressDelayMs();
  const double total = double(info.frames);
  double done = 0;
  // The tests' delay holds each 4096 frames, whatever the block length.
  auto delay = [delayMs](int64_t frames) {
    if (delayMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs * frames / 4096));
  };

  // Reading and writing run on threads of their own. This one hands the
  // frames before the selection straight to the writer; the selection's
  // blocks go through the engine as planes and back into the same blocks.
  vtmedia::SoundPipeline pipeline(r.reader, r.writer, r.first, r.end,
                                  vtmedia::blockFramesFor(info.frames));
  bool interrupted = false;
  vtengine::RangeRun range;
  range.frames = r.end - r.first;
  range.blockFrames = size_t(pipeline.blockFrames());
  range.stop = [&] { return interrupted = InterruptWatch::signal() != 0; };
  // A block outside the selection goes to the writer as read; false once
  // interrupted, the block given back.
  auto passOn = [&](vtmedia::SoundBlock* block) {
    if (InterruptWatch::signal() != 0) {
      interrupted = true;
      pipeline.release(block);
      return false;
    }
    const int64_t frames = block->frames;  // read; the block is the writer's once given
    pipeline.write(block);
    done += double(frames);
    bar.show(done, total);
    delay(frames);
    return true;
  };
  vtmedia::SelectionPlanes planes(pipeline, passOn);
  range.read = [&](int64_t, float* const* into, size_t count) { return planes.read(into, count); };
  range.write = [&](int64_t, const float* const* from, size_t count) { planes.write(from, count); };
  range.progress = [&](int64_t rangeDone) {
    const double before = done;
    done = double(r.first + rangeDone);
    bar.show(done, total);
    delay(int64_t(done - before));
  };

  bool whole = false;
  try {
    whole = vtengine::processRange(engineSettings, range);
  } catch (const vtengine::EngineError& e) {
    throw vthost::HostError(std::string("The engine could not be set up: ") + e.what());
  }
  // The frames after the selection, as read. A run that stopped short was
  // interrupted, or the writer failed and finish() rethrows its failure.
  while (vtmedia::SoundBlock* block = whole ? pipeline.next() : nullptr) {
    if (!passOn(block)) break;
  }
  planes.releaseHeld();
  pipeline.finish();
  if (interrupted) {
    // What the engine had not written out yet is the input's, as is the rest.
    if (r.run.keepPartial) vtmedia::copyFrames(r.reader, r.writer, info.frames);
    return false;
  }
  bar.show(total, total);
  clipped = r.writer.clipped();
  return true;
}

}  // namespace vortigen
