#include "engine_path.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine.h"
#include "progress.h"
#include "sound_pipeline.h"
#include "vortigen_output.h"

namespace vortigen {

namespace {

// Frames per block between the threads: about a third of a second of
// 44.1 kHz sound, so that handing blocks over costs next to nothing.
constexpr int64_t blockFrames = 16384;

}  // namespace

bool throughEngine(const EngineRun& r, int64_t& clipped) {
  const SoundInfo& info = r.reader.info();
  const int channels = info.channels;
  vtengine::EngineSettings engineSettings;
  const std::optional<vtengine::Effect> effect = vtengine::effectNamed(r.effect.name);
  if (!effect)
    throw vthost::HostError("The engine has no effect " + r.effect.name + "; use --path plugin.");
  engineSettings.effect = *effect;
  engineSettings.curves = r.settings.curves;
  engineSettings.sampleRate = info.sampleRate;
  engineSettings.channels = channels;
  engineSettings.integerScale =
      vtengine::integerScaleForBits(info.format.isInteger() ? info.format.bits : 0);
  std::unique_ptr<vtengine::Engine> engine;
  try {
    engine = std::make_unique<vtengine::Engine>(engineSettings);
  } catch (const vtengine::EngineError& e) {
    throw vthost::HostError(std::string("The engine could not be set up: ") + e.what());
  }

  ProgressBar bar(r.effect.name, r.showProgress, r.run.progressInterval);
  bar.setName(std::filesystem::path(r.reader.path()).filename().string());
  const long delayMs = testProgressDelayMs();
  const double total = double(info.frames);

  // Reading and writing run on threads of their own; this one deinterleaves
  // the selection's blocks, runs the engine on them and interleaves the
  // result back into the same block.
  SoundPipeline pipeline(r.reader, r.writer, r.first, r.end, blockFrames);
  const auto channelCount = static_cast<size_t>(channels);
  const int64_t latency = engine->latency();
  const auto planeFrames = size_t(std::max<int64_t>(latency, pipeline.blockFrames()));
  std::vector<std::vector<float>> planes(channelCount, std::vector<float>(planeFrames));
  std::vector<float*> pointers(channelCount);
  for (int c = 0; c < channels; ++c) pointers[size_t(c)] = planes[size_t(c)].data();
  int64_t skip = latency;  // output frames that precede the first processed one

  // `frames` of the planes into the block, without those the latency puts first.
  auto interleave = [&](SoundBlock& block, int64_t frames) {
    const int64_t dropped = std::min(skip, frames);
    skip -= dropped;
    block.frames = frames - dropped;
    for (int64_t f = 0; f < block.frames; ++f) {
      for (int c = 0; c < channels; ++c)
        block.floats[size_t(f * channels + c)] = planes[size_t(c)][size_t(dropped + f)];
    }
  };
  // The rest of the processed selection: finish writes latency() frames.
  bool finished = false;
  auto finishSelection = [&] {
    if (finished) return;
    finished = true;
    engine->finish(pointers.data());
    SoundBlock* tail = pipeline.spare();
    interleave(*tail, latency);
    pipeline.write(tail);
  };

  double done = 0;
  while (SoundBlock* block = pipeline.next()) {
    if (InterruptWatch::signal() != 0) {
      pipeline.release(block);
      pipeline.finish();
      // What the engine had not written out yet is the input's, as is the rest.
      if (r.run.keepPartial) copyFrames(r.reader, r.writer, info.frames);
      return false;
    }
    const int64_t frames = block->frames;  // read; the block is the writer's once given
    done += double(frames);
    if (block->selected) {
      for (int64_t f = 0; f < block->frames; ++f) {
        for (int c = 0; c < channels; ++c)
          planes[size_t(c)][size_t(f)] = block->floats[size_t(f * channels + c)];
      }
      engine->process(pointers.data(), pointers.data(), size_t(block->frames));
      interleave(*block, block->frames);
    } else if (block->first >= r.end) {
      finishSelection();
    }
    pipeline.write(block);
    bar.show(done, total);
    // The tests' delay holds each 4096 frames, whatever the block length.
    if (delayMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs * frames / 4096));
  }
  finishSelection();
  pipeline.finish();
  bar.show(total, total);
  clipped = r.writer.clipped();
  return true;
}

}  // namespace vortigen
