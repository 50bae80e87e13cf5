// libvortigen: the C interface of include/vortigen/vortigen.h over the
// float engine (vtengine). Every entry point catches what the engine
// throws and turns it into a status and a message kept per thread; the
// streaming calls only check their arguments and call the engine, which
// allocates nothing while streaming.
#include "vortigen/vortigen.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"

struct vortigen_instance {
  explicit vortigen_instance(const vtengine::EngineSettings& settings)
      : engine(settings), channels(settings.channels) {
    // Interleaved calls go through planes of one frame length, which also
    // holds the latency() frames a flush writes.
    chunkFrames = static_cast<size_t>(engine.frameLength());
    scratch.resize(chunkFrames * static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) planes.push_back(scratch.data() + size_t(c) * chunkFrames);
  }
  vtengine::Engine engine;
  int channels;
  size_t chunkFrames = 0;
  std::vector<float> scratch;
  std::vector<float*> planes;
};

struct vortigen_curves {
  std::unique_ptr<vtengine::CurveTables> tables;
};

namespace {

// A failure on its way out to the caller: its status and its sentence.
struct Failure {
  vortigen_status status;
  std::string message;
};

// The message of this thread's last failure. A fixed buffer, so that
// recording one allocates nothing, on an audio thread too.
thread_local char lastError[512] = "";

vortigen_status fail(vortigen_status status, std::string_view message) {
  const size_t length = std::min(message.size(), sizeof lastError - 1);
  std::memcpy(lastError, message.data(), length);
  lastError[length] = '\0';
  return status;
}

bool sameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// What the listing functions hand out, copied once into strings of their
// own so that every pointer is NUL-terminated and lives as long as the
// process.
struct EffectCatalogue {
  vtengine::Effect effect;
  std::string name;
  std::string description;
  std::vector<std::string> curveNames;
  std::vector<std::string> presetNames;
  std::vector<std::string> presetTexts;
};

const std::vector<EffectCatalogue>& catalogue() {
  static const std::vector<EffectCatalogue> effects = [] {
    std::vector<EffectCatalogue> list;
    for (const vtengine::Effect effect : vtengine::allEffects()) {
      const vtengine::EffectInfo& info = vtengine::effectInfo(effect);
      EffectCatalogue entry{effect, std::string(info.name), std::string(info.description), {}, {},
                            {}};
      for (std::string_view curve : info.curveNames) entry.curveNames.emplace_back(curve);
      for (const BuiltInPreset& preset : info.builtInPresets) {
        entry.presetTexts.emplace_back(preset.text);
        entry.presetNames.push_back(vtengine::parsePreset(preset.text).name);
      }
      list.push_back(std::move(entry));
    }
    return list;
  }();
  return effects;
}

// The catalogue entry of an effect name; throws a Failure naming it.
const EffectCatalogue& effectNamed(const char* name) {
  if (name == nullptr) throw Failure{VORTIGEN_ERROR_ARGUMENT, "No effect was named (NULL)."};
  for (const EffectCatalogue& entry : catalogue()) {
    if (sameLetters(entry.name, name)) return entry;
  }
  throw Failure{VORTIGEN_ERROR_EFFECT,
                "There is no effect '" + std::string(name) + "'; give dynamic or fourier."};
}

// The curves a preset argument stands for: none (the initial curves), a
// built-in preset's, or those of a preset text.
std::vector<vtengine::PointList> curvesOf(const EffectCatalogue& entry, const char* preset) {
  if (preset == nullptr || *preset == '\0') return {};
  const std::string_view wanted(preset);
  if (wanted.find(',') == std::string_view::npos) {
    for (size_t i = 0; i < entry.presetNames.size(); ++i) {
      if (sameLetters(entry.presetNames[i], wanted))
        return vtengine::parsePreset(entry.presetTexts[i]).curves;
    }
    std::string known;
    for (const std::string& name : entry.presetNames) known += (known.empty() ? "" : ", ") + name;
    throw Failure{VORTIGEN_ERROR_PRESET, "'" + std::string(wanted) + "' is no built-in preset of " +
                                             entry.name + " (they are " + known +
                                             "); or give a preset text."};
  }
  try {
    return vtengine::parsePreset(wanted).curves;
  } catch (const vtengine::EngineError& e) {
    throw Failure{VORTIGEN_ERROR_PRESET, e.what()};
  }
}

// Runs a call that may allocate or throw, turning what it throws into a
// status and this thread's message.
template <typename Call>
vortigen_status guarded(Call&& call) {
  try {
    call();
    return VORTIGEN_OK;
  } catch (const Failure& f) {
    return fail(f.status, f.message);
  } catch (const vtengine::EngineError& e) {
    return fail(VORTIGEN_ERROR_CURVES, e.what());
  } catch (const std::bad_alloc&) {
    return fail(VORTIGEN_ERROR_MEMORY, "Out of memory; free some or ask for fewer channels.");
  } catch (const std::exception& e) {
    return fail(VORTIGEN_ERROR_INTERNAL, std::string("Internal fault: ") + e.what());
  } catch (...) {
    return fail(VORTIGEN_ERROR_INTERNAL, "Internal fault of an unknown kind.");
  }
}

// For the listing functions, which answer NULL or -1 on failure.
template <typename Result, typename Call>
Result listed(Result onFailure, Call&& call) {
  Result result = onFailure;
  const vortigen_status status = guarded([&] { result = call(); });
  return status == VORTIGEN_OK ? result : onFailure;
}

const std::string& entryAt(const std::vector<std::string>& list, int index, const char* what,
                           const std::string& effect) {
  if (index < 0 || size_t(index) >= list.size()) {
    throw Failure{VORTIGEN_ERROR_ARGUMENT,
                  std::string("There is no ") + what + " " + std::to_string(index) + " of " +
                      effect + "; give 0 to " + std::to_string(list.size() - 1) + "."};
  }
  return list[size_t(index)];
}

void checkSettings(double sampleRate, int channels, int integerScale) {
  if (!(sampleRate > 0) || !std::isfinite(sampleRate)) {
    throw Failure{VORTIGEN_ERROR_SETTINGS, "The sample rate " + std::to_string(sampleRate) +
                                               " cannot be used; give a positive rate in Hz."};
  }
  if (channels < 1 || channels > VORTIGEN_MAX_CHANNELS) {
    throw Failure{VORTIGEN_ERROR_SETTINGS, "The channel count " + std::to_string(channels) +
                                               " cannot be used; give 1 to " +
                                               std::to_string(VORTIGEN_MAX_CHANNELS) + "."};
  }
  if (integerScale < 1) {
    throw Failure{VORTIGEN_ERROR_SETTINGS,
                  "The integer scale " + std::to_string(integerScale) +
                      " cannot be used; give a positive number of steps, such as 32768."};
  }
}

vortigen_status noInstance() {
  return fail(VORTIGEN_ERROR_ARGUMENT, "No instance was given (NULL).");
}

// Planar buffers: the arrays and each channel's pointer present.
template <typename Pointer>
bool planesPresent(Pointer planes, int channels) {
  if (planes == nullptr) return false;
  for (int c = 0; c < channels; ++c) {
    if (planes[c] == nullptr) return false;
  }
  return true;
}

}  // namespace

extern "C" {

const char* vortigen_version(void) { return VORTIGEN_LIBRARY_VERSION; }

const char* vortigen_last_error(void) { return lastError; }

const char* vortigen_status_text(vortigen_status status) {
  switch (status) {
    case VORTIGEN_OK: return "no error";
    case VORTIGEN_ERROR_ARGUMENT: return "invalid argument";
    case VORTIGEN_ERROR_EFFECT: return "unknown effect";
    case VORTIGEN_ERROR_PRESET: return "unknown preset or malformed preset text";
    case VORTIGEN_ERROR_CURVES: return "curves the effect cannot use";
    case VORTIGEN_ERROR_SETTINGS: return "unusable sample rate, channel count or integer scale";
    case VORTIGEN_ERROR_MEMORY: return "out of memory";
    case VORTIGEN_ERROR_INTERNAL: return "internal fault";
  }
  return "unknown status";
}

int vortigen_effect_count(void) {
  return listed(-1, [] { return int(catalogue().size()); });
}

const char* vortigen_effect_name(int index) {
  return listed<const char*>(nullptr, [&]() -> const char* {
    if (index < 0 || size_t(index) >= catalogue().size()) {
      throw Failure{VORTIGEN_ERROR_ARGUMENT,
                    "There is no effect " + std::to_string(index) + "; give 0 or 1."};
    }
    return catalogue()[size_t(index)].name.c_str();
  });
}

const char* vortigen_effect_description(const char* effect) {
  return listed<const char*>(nullptr, [&] { return effectNamed(effect).description.c_str(); });
}

int vortigen_curve_count(const char* effect) {
  return listed(-1, [&] { return int(effectNamed(effect).curveNames.size()); });
}

const char* vortigen_curve_name(const char* effect, int index) {
  return listed<const char*>(nullptr, [&] {
    const EffectCatalogue& entry = effectNamed(effect);
    return entryAt(entry.curveNames, index, "curve", entry.name).c_str();
  });
}

int vortigen_preset_count(const char* effect) {
  return listed(-1, [&] { return int(effectNamed(effect).presetNames.size()); });
}

const char* vortigen_preset_name(const char* effect, int index) {
  return listed<const char*>(nullptr, [&] {
    const EffectCatalogue& entry = effectNamed(effect);
    return entryAt(entry.presetNames, index, "built-in preset", entry.name).c_str();
  });
}

const char* vortigen_preset_text(const char* effect, int index) {
  return listed<const char*>(nullptr, [&] {
    const EffectCatalogue& entry = effectNamed(effect);
    return entryAt(entry.presetTexts, index, "built-in preset", entry.name).c_str();
  });
}

vortigen_status vortigen_new(const char* effect, const char* preset, double sample_rate,
                             int channels, int integer_scale, vortigen_instance** out) {
  if (out == nullptr) return fail(VORTIGEN_ERROR_ARGUMENT, "No place for the instance (NULL).");
  *out = nullptr;
  return guarded([&] {
    const EffectCatalogue& entry = effectNamed(effect);
    vtengine::EngineSettings settings;
    settings.effect = entry.effect;
    settings.curves = curvesOf(entry, preset);
    checkSettings(sample_rate, channels, integer_scale);
    settings.sampleRate = sample_rate;
    settings.channels = channels;
    settings.integerScale = float(integer_scale);
    *out = new vortigen_instance(settings);
  });
}

void vortigen_free(vortigen_instance* instance) { delete instance; }

int vortigen_latency(const vortigen_instance* instance) {
  return instance != nullptr ? instance->engine.latency() : 0;
}

int vortigen_channels(const vortigen_instance* instance) {
  return instance != nullptr ? instance->channels : 0;
}

vortigen_status vortigen_process(vortigen_instance* instance, const float* const* in,
                                 float* const* out, size_t frames) {
  if (instance == nullptr) return noInstance();
  if (frames == 0) return VORTIGEN_OK;
  if (!planesPresent(in, instance->channels) || !planesPresent(out, instance->channels)) {
    return fail(VORTIGEN_ERROR_ARGUMENT,
                "A channel buffer of vortigen_process is missing (NULL); give one per channel.");
  }
  instance->engine.process(in, out, frames);
  return VORTIGEN_OK;
}

vortigen_status vortigen_process_interleaved(vortigen_instance* instance, const float* in,
                                             float* out, size_t frames) {
  if (instance == nullptr) return noInstance();
  if (frames == 0) return VORTIGEN_OK;
  if (in == nullptr || out == nullptr) {
    return fail(VORTIGEN_ERROR_ARGUMENT,
                "A buffer of vortigen_process_interleaved is missing (NULL).");
  }
  const size_t channels = size_t(instance->channels);
  float* const* planes = instance->planes.data();
  for (size_t done = 0; done < frames;) {
    const size_t chunk = std::min(frames - done, instance->chunkFrames);
    // The chunk is read whole before any of it is written, so out may be in.
    const float* from = in + done * channels;
    for (size_t f = 0; f < chunk; ++f) {
      for (size_t c = 0; c < channels; ++c) planes[c][f] = from[f * channels + c];
    }
    instance->engine.process(planes, planes, chunk);
    float* to = out + done * channels;
    for (size_t f = 0; f < chunk; ++f) {
      for (size_t c = 0; c < channels; ++c) to[f * channels + c] = planes[c][f];
    }
    done += chunk;
  }
  return VORTIGEN_OK;
}

vortigen_status vortigen_flush(vortigen_instance* instance, float* const* out) {
  if (instance == nullptr) return noInstance();
  if (!planesPresent(out, instance->channels)) {
    return fail(VORTIGEN_ERROR_ARGUMENT,
                "A channel buffer of vortigen_flush is missing (NULL); give one per channel.");
  }
  instance->engine.finish(out);
  return VORTIGEN_OK;
}

vortigen_status vortigen_flush_interleaved(vortigen_instance* instance, float* out) {
  if (instance == nullptr) return noInstance();
  if (out == nullptr)
    return fail(VORTIGEN_ERROR_ARGUMENT, "The buffer of vortigen_flush_interleaved is NULL.");
  instance->engine.finish(instance->planes.data());
  const size_t channels = size_t(instance->channels);
  const size_t frames = size_t(instance->engine.latency());
  for (size_t f = 0; f < frames; ++f) {
    for (size_t c = 0; c < channels; ++c) out[f * channels + c] = instance->planes[c][f];
  }
  return VORTIGEN_OK;
}

void vortigen_reset(vortigen_instance* instance) {
  if (instance != nullptr) instance->engine.reset();
}

vortigen_status vortigen_curves_prepare(const char* effect, const char* preset,
                                        vortigen_curves** out) {
  if (out == nullptr) return fail(VORTIGEN_ERROR_ARGUMENT, "No place for the curves (NULL).");
  *out = nullptr;
  return guarded([&] {
    const EffectCatalogue& entry = effectNamed(effect);
    std::vector<vtengine::PointList> curves = curvesOf(entry, preset);
    if (curves.empty()) curves = vtengine::effectInfo(entry.effect).initialCurves;
    auto prepared = std::make_unique<vortigen_curves>();
    prepared->tables = vtengine::prepareCurves(entry.effect, curves);
    *out = prepared.release();
  });
}

void vortigen_curves_free(vortigen_curves* curves) { delete curves; }

vortigen_status vortigen_use_curves(vortigen_instance* instance, vortigen_curves** curves) {
  if (instance == nullptr) return noInstance();
  if (curves == nullptr || *curves == nullptr || (*curves)->tables == nullptr)
    return fail(VORTIGEN_ERROR_ARGUMENT, "No curves were given to vortigen_use_curves (NULL).");
  if ((*curves)->tables->effect() != instance->engine.effect()) {
    return fail(VORTIGEN_ERROR_CURVES,
                "The curves were prepared for another effect than the instance's; prepare them "
                "for its own.");
  }
  instance->engine.useCurves((*curves)->tables);
  return VORTIGEN_OK;
}

}  // extern "C"
