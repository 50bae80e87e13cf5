#include "engine_path.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine.h"
#include "progress.h"
#include "vortigen_output.h"

namespace vortigen {

namespace {

constexpr int64_t blockFrames = 4096;

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
  // 8-bit samples are on the plug-ins' 8-bit scale, all others on the 16-bit one.
  engineSettings.integerScale =
      info.format.isInteger() && info.format.bits == 8 ? 128.0f : 32768.0f;
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
  copyFrames(r.reader, r.writer, r.first);
  bar.show(double(r.writer.framesWritten()), total);

  const auto channelCount = static_cast<size_t>(channels);
  std::vector<float> interleaved(channelCount * blockFrames);
  std::vector<std::vector<float>> planes(channelCount, std::vector<float>(blockFrames));
  std::vector<float*> pointers(channelCount);
  for (int c = 0; c < channels; ++c) pointers[size_t(c)] = planes[size_t(c)].data();
  int64_t skip = engine->latency();  // output frames that precede the first processed one

  // Planes to the output, without the frames the latency puts first.
  auto emit = [&](int64_t frames) {
    const int64_t dropped = std::min(skip, frames);
    skip -= dropped;
    const int64_t kept = frames - dropped;
    for (int64_t f = 0; f < kept; ++f) {
      for (int c = 0; c < channels; ++c)
        interleaved[size_t(f * channels + c)] = planes[size_t(c)][size_t(dropped + f)];
    }
    if (kept > 0) r.writer.writeFloat(interleaved.data(), kept);
  };

  for (int64_t at = r.first; at < r.end;) {
    if (InterruptWatch::signal() != 0) {
      if (r.run.keepPartial) copyFrames(r.reader, r.writer, info.frames);
      return false;
    }
    const int64_t want = std::min(blockFrames, r.end - at);
    const int64_t got = r.reader.readFloat(at, interleaved.data(), want);
    // What a truncated file does not hold is silence.
    std::fill(interleaved.begin() + got * channels, interleaved.begin() + want * channels, 0.0f);
    for (int64_t f = 0; f < want; ++f) {
      for (int c = 0; c < channels; ++c)
        planes[size_t(c)][size_t(f)] = interleaved[size_t(f * channels + c)];
    }
    engine->process(pointers.data(), pointers.data(), size_t(want));
    emit(want);
    at += want;
    bar.show(double(at), total);
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  // The rest of the processed selection; finish writes latency() frames.
  const int64_t latency = engine->latency();
  for (auto& plane : planes) plane.resize(size_t(std::max(latency, blockFrames)));
  for (int c = 0; c < channels; ++c) pointers[size_t(c)] = planes[size_t(c)].data();
  interleaved.resize(planes[0].size() * size_t(channels));
  engine->finish(pointers.data());
  emit(latency);
  copyFrames(r.reader, r.writer, info.frames);
  bar.show(total, total);
  clipped = r.writer.clipped();
  return true;
}

}  // namespace vortigen
