// The LV2 plug-ins: both effects, stereo and mono, each running the float
// engine. This file holds the descriptor table and the audio path; patch
// messages, the worker and the state are in messages.cpp.
#include <lv2/core/lv2_util.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "instance.h"

namespace vtlv2 {
namespace {

const Variant* variantNamed(const char* uri) {
  for (const Variant& v : variants) {
    if (std::strcmp(v.uri, uri) == 0) return &v;
  }
  return nullptr;
}

// Instantiation thread. Everything the instance will ever use is allocated
// here: the engine, every built-in preset's tables, the bypass buffers and
// the message buffer; then the engine runs over silence once, so that
// anything it builds on first use (the kernel's FFT tables for its frame
// length) exists before the first run().
LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
  LV2_Log_Log* log = nullptr;
  LV2_URID_Map* map = nullptr;
  LV2_Worker_Schedule* schedule = nullptr;
  lv2_features_query(features, LV2_LOG__log, &log, false, LV2_URID__map, &map, false,
                     LV2_WORKER__schedule, &schedule, false, nullptr);
  const HostLog logger = makeHostLog(log, map);

  const Variant* variant = variantNamed(descriptor->URI);
  if (variant == nullptr) return nullptr;
  try {
    auto self = std::make_unique<Instance>();
    self->variant = variant;
    self->info = &vtengine::effectInfo(variant->effect);
    self->map = map;
    self->schedule = schedule;
    self->logger = logger;

    vtengine::EngineSettings settings;
    settings.effect = variant->effect;
    settings.sampleRate = rate;
    settings.channels = static_cast<int>(variant->channels);
    self->engine = std::make_unique<vtengine::Engine>(settings);

    // The custom set starts as the effect's initial curves, in the engine.
    const vtengine::Preset initial{"Initial curves", 3, self->info->initialCurves};
    self->audioText = std::make_unique<std::string>(vtengine::presetText(initial));
    self->audioPath = std::make_unique<std::string>();
    self->savedText = *self->audioText;
    self->curveSets.resize(self->info->builtInPresets.size() + 1);
    for (std::size_t k = 0; k < self->info->builtInPresets.size(); ++k) {
      const auto preset = vtengine::parsePreset(self->info->builtInPresets[k].text);
      self->curveSets[k + 1] = vtengine::prepareCurves(variant->effect, preset.curves);
    }

    const std::uint32_t channels = variant->channels;
    const auto latency = static_cast<std::size_t>(self->engine->latency());
    self->audioIn.assign(channels, nullptr);
    self->audioOut.assign(channels, nullptr);
    self->delayLine.assign(channels, std::vector<float>(std::max<std::size_t>(latency, 1)));
    self->dryPiece.assign(channels, std::vector<float>(pieceFrames));
    self->pieceIn.assign(channels, nullptr);
    self->pieceOut.assign(channels, nullptr);
    self->gainStep = static_cast<float>(1.0 / std::max(1.0, std::round(fadeSeconds * rate)));
    self->jobBuffer.resize(sizeof(JobHeader) + maxMessageBytes);
    if (map != nullptr) {
      mapUrids(*self);
      lv2_atom_forge_init(&self->forge, map);
    }

    // Warm up over silence, then start the stream afresh.
    std::vector<std::vector<float>> silence(channels, std::vector<float>(pieceFrames));
    std::vector<float*> buffers;
    for (auto& channel : silence) buffers.push_back(channel.data());
    for (int done = 0; done < 2 * self->engine->frameLength(); done += pieceFrames) {
      self->engine->process(buffers.data(), buffers.data(), pieceFrames);
    }
    self->engine->reset();
    return self.release();
  } catch (const std::exception& error) {
    logError(logger, "Vortigen %s: cannot run at %.0f Hz: %s\n", variant->symbol, rate,
             error.what());
    return nullptr;
  }
}

// Audio thread (LV2 lets hosts connect ports at any time outside run()).
void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
  auto& self = *static_cast<Instance*>(handle);
  const std::uint32_t channels = self.variant->channels;
  switch (port) {
    case portPreset: self.presetPort = static_cast<const float*>(data); return;
    case portEnabled: self.enabledPort = static_cast<const float*>(data); return;
    case portLatency: self.latencyPort = static_cast<float*>(data); return;
    case portControl: self.controlPort = static_cast<const LV2_Atom_Sequence*>(data); return;
    case portNotify: self.notifyPort = static_cast<LV2_Atom_Sequence*>(data); return;
    default: break;
  }
  if (port >= firstAudioPort && port < firstAudioPort + channels) {
    self.audioIn[port - firstAudioPort] = static_cast<const float*>(data);
  } else if (port >= firstAudioPort + channels && port < portCount(*self.variant)) {
    self.audioOut[port - firstAudioPort - channels] = static_cast<float*>(data);
  }
}

bool isEnabled(const Instance& self) {
  return self.enabledPort == nullptr || *self.enabledPort > 0.5f;
}

// Instantiation thread: a new stream starts (after deactivate, a gap).
void activate(LV2_Handle handle) {
  auto& self = *static_cast<Instance*>(handle);
  self.engine->reset();
  for (auto& line : self.delayLine) std::fill(line.begin(), line.end(), 0.0f);
  self.delayPosition = 0;
  self.wetGain = isEnabled(self) ? 1.0f : 0.0f;
}

// Audio thread: the preset port's value, rounded and clamped, picks a curve
// set; the engine takes it and hands back the set it used before.
void followPresetPort(Instance& self) {
  if (self.presetPort == nullptr || !std::isfinite(*self.presetPort)) return;
  const int last = static_cast<int>(self.curveSets.size()) - 1;
  const float value = std::clamp(*self.presetPort, 0.0f, static_cast<float>(last));
  const int wanted = static_cast<int>(std::lround(value));
  if (wanted == self.activeSet) return;
  self.engine->useCurves(self.curveSets[wanted]);
  self.curveSets[self.activeSet] = std::move(self.curveSets[wanted]);
  self.activeSet = wanted;
}

// Audio thread: one piece of at most pieceFrames frames. The engine's
// output is mixed with the input delayed by the latency, so that bypassing
// keeps the timing the host compensates for, and the wet share moves
// linearly over fadeSeconds when the enabled port changes.
void processPiece(Instance& self, std::uint32_t offset, std::uint32_t frames, float target) {
  const std::uint32_t channels = self.variant->channels;
  for (std::uint32_t c = 0; c < channels; ++c) {
    std::copy_n(self.audioIn[c] + offset, frames, self.dryPiece[c].data());
    self.pieceIn[c] = self.audioIn[c] + offset;
    self.pieceOut[c] = self.audioOut[c] + offset;
  }
  self.engine->process(self.pieceIn.data(), self.pieceOut.data(), frames);

  const auto latency = static_cast<std::uint32_t>(self.engine->latency());
  const bool allWet = self.wetGain == 1.0f && target == 1.0f;
  float gain = self.wetGain;
  for (std::uint32_t c = 0; c < channels; ++c) {
    float* line = self.delayLine[c].data();
    const float* dry = self.dryPiece[c].data();
    float* out = self.pieceOut[c];
    std::uint32_t position = self.delayPosition;
    gain = self.wetGain;
    for (std::uint32_t i = 0; i < frames; ++i) {
      const float delayed = latency == 0 ? dry[i] : line[position];
      if (latency != 0) {
        line[position] = dry[i];
        position = position + 1 == latency ? 0 : position + 1;
      }
      if (allWet) continue;
      gain = target > gain ? std::min(target, gain + self.gainStep)
                           : std::max(target, gain - self.gainStep);
      out[i] = gain == 0.0f ? delayed : gain * out[i] + (1.0f - gain) * delayed;
    }
  }
  if (latency != 0) self.delayPosition = (self.delayPosition + frames) % latency;
  self.wetGain = allWet ? 1.0f : gain;
}

// Audio thread.
void run(LV2_Handle handle, std::uint32_t frames) {
  auto& self = *static_cast<Instance*>(handle);
  if (self.latencyPort != nullptr) *self.latencyPort = static_cast<float>(self.engine->latency());
  handleControl(self);
  followPresetPort(self);
  const float target = isEnabled(self) ? 1.0f : 0.0f;
  for (std::uint32_t offset = 0; offset < frames; offset += pieceFrames) {
    processPiece(self, offset, std::min(pieceFrames, frames - offset), target);
  }
}

// Instantiation thread.
void deactivate(LV2_Handle) {}

// Instantiation thread.
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

// Discovery thread: the worker and state interfaces.
const void* extensionData(const char* uri) {
  static const LV2_Worker_Interface worker{work, workResponse, nullptr};
  static const LV2_State_Interface state{saveState, restoreState};
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  return nullptr;
}

constexpr LV2_Descriptor describe(const Variant& v) {
  return {v.uri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};
}

constexpr LV2_Descriptor descriptors[] = {describe(variants[0]), describe(variants[1]),
                                          describe(variants[2]), describe(variants[3])};
static_assert(std::size(descriptors) == variants.size());

// Unloading, after the host has cleaned up every instance: the kernel's
// FFT tables live as long as the module, and a host that unloads and
// reloads the bundle would otherwise lose them each time.
__attribute__((destructor)) void releaseTablesOnUnload() { vtengine::releaseSharedTables(); }

}  // namespace
}  // namespace vtlv2

// Discovery thread (LV2_SYMBOL_EXPORT gives C linkage).
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index < std::size(vtlv2::descriptors) ? &vtlv2::descriptors[index] : nullptr;
}
