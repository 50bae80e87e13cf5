// The engine over a range: blocks read into planes, processed in place,
// the first latency() output sample frames dropped, finish() written at
// the end.
#include "range.h"

#include <algorithm>

namespace vtengine {

EngineSettings settingsForSound(Effect effect, const std::vector<PointList>& curves,
                                double sampleRate, int channels, int bitsPerSample) {
  EngineSettings settings;
  settings.effect = effect;
  settings.curves = curves;
  settings.sampleRate = sampleRate;
  settings.channels = channels;
  settings.integerScale = integerScaleForBits(bitsPerSample);
  return settings;
}

bool processRange(const EngineSettings& settings, const RangeRun& run) {
  Engine engine(settings);
  const auto channels = static_cast<std::size_t>(engine.channels());
  const auto latency = static_cast<std::size_t>(engine.latency());
  const std::size_t block = std::max<std::size_t>(run.blockFrames, 1);
  // finish() writes latency() sample frames at once, so the planes hold at least that.
  const std::size_t planeFrames = std::max(block, latency);
  std::vector<std::vector<float>> planes(channels, std::vector<float>(planeFrames));
  std::vector<float*> pointers(channels);
  for (std::size_t c = 0; c < channels; ++c) pointers[c] = planes[c].data();
  std::vector<const float*> output(channels);

  std::size_t lead = latency;  // output sample frames still to drop
  int64_t written = 0;
  // `count` output sample frames of the planes, without those the latency puts first.
  auto emit = [&](std::size_t count) {
    const std::size_t dropped = std::min(lead, count);
    lead -= dropped;
    for (std::size_t c = 0; c < channels; ++c) output[c] = planes[c].data() + dropped;
    run.write(written, output.data(), count - dropped);
    written += static_cast<int64_t>(count - dropped);
  };

  int64_t at = 0;
  while (at < run.frames) {
    if (run.stop && run.stop()) return false;
    const auto count =
        static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(block), run.frames - at));
    if (!run.read(at, pointers.data(), count)) return false;
    engine.process(pointers.data(), pointers.data(), count);
    emit(count);
    at += static_cast<int64_t>(count);
    if (run.progress) run.progress(at);
  }
  engine.finish(pointers.data());
  // A range shorter than the latency comes out of finish() alone, its
  // first sample frames still lead-in.
  emit(latency);
  return true;
}

}  // namespace vtengine
