// The studio's previews and exports: see processing.h.
#include "processing.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "engine.h"
#include "range.h"
#include "sound_pipeline.h"
#include "sound_stream.h"
#include "vthost.h"

namespace vtstudio {

namespace fs = std::filesystem;

// Frame lengths processed before a preview's part (see previewPart).
constexpr int64_t warmUpFrames = 64;

struct Processing::Plugins {
  std::map<std::string, std::unique_ptr<vthost::PluginLibrary>> byEffect;

  vthost::PluginLibrary& of(const std::string& effect) {
    const auto found = byEffect.find(effect);
    if (found == byEffect.end())
      throw std::runtime_error("There is no effect \"" + effect + "\" in the studio.");
    return *found->second;
  }
};

Processing::Processing(const std::map<std::string, std::string>& pluginPaths)
    : plugins_(std::make_unique<Plugins>()) {
  for (const auto& [name, path] : pluginPaths)
    plugins_->byEffect[name] = std::make_unique<vthost::PluginLibrary>(path);
}

Processing::~Processing() = default;

namespace {

vthost::WaveFormat formatOf(const vtmedia::Audio& audio) {
  return vthost::WaveFormat{static_cast<WORD>(audio.channels),
                            static_cast<WORD>(audio.bitsPerSample),
                            static_cast<LONG>(audio.sampleRate)};
}

// Runs the plug-in over the whole of `bytes` with the curves a preset text
// or a curve set gives, as the tool does.
std::vector<uint8_t> runPlugin(vthost::PluginLibrary& plugin, const vtmedia::Audio& audio,
                               std::vector<uint8_t> bytes, const std::string* presetText,
                               const CurveSet* curves) {
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(plugin, formatOf(audio), std::move(bytes), options);
  if (host.init() != 1)
    throw std::runtime_error("The plug-in " + plugin.path() + " could not make its instance.");
  struct Destroy {
    vthost::EffectHost& host;
    ~Destroy() { host.destroy(); }
  } destroy{host};
  if (presetText != nullptr) {
    host.applyPreset(*presetText);
  } else if (curves != nullptr) {
    const std::vector<CurveHandle> handles = host.curveHandles();
    if (curves->size() != handles.size())
      throw std::runtime_error("The curves do not fit the effect.");
    for (size_t i = 0; i < handles.size(); ++i) host.curve(handles[i]).points = (*curves)[i];
  }
  if (host.process() != 0) {
    throw std::runtime_error("The plug-in " + plugin.path() +
                             " could not process the sound (no working memory).");
  }
  return std::move(host.waveform());
}

}  // namespace

std::vector<int16_t> Processing::preview(const std::string& effect, const CurveSet& curves,
                                         const vtmedia::Audio& audio, FrameRange range) {
  return previewPart(effect, curves, audio, range, range, [] { return false; });
}

// The engine over the selection alone, as XfmDo over those frames reads it,
// converted on the way in and quantised on the way out. A part starts the
// run a whole number of frame lengths after the selection's start, so that
// the engine frames the part as it frames the whole selection, and
// warmUpFrames frame lengths before the part: the Dynamic effect's level
// followers need that long to forget the run's silent past (with 32, a few
// samples still differ). The run ends once the part's last output frame is
// made from input alone, or at the selection's end.
std::vector<int16_t> Processing::previewPart(const std::string& effect, const CurveSet& curves,
                                             const vtmedia::Audio& audio, FrameRange selection,
                                             FrameRange part, const std::function<bool()>& stop) {
  const std::optional<vtengine::Effect> which = vtengine::effectNamed(effect);
  if (!which) throw std::runtime_error("There is no effect \"" + effect + "\" in the studio.");
  if (part.first < selection.first || part.end > selection.end || part.frames() < 0)
    throw std::invalid_argument("The part of a preview lies outside its selection.");
  std::lock_guard lock(mutex_);
  if (stop()) throw PreviewStopped();
  const vtengine::EngineSettings settings = vtengine::settingsForSound(
      *which, curves, audio.sampleRate, audio.channels, audio.bitsPerSample);
  const bool eightBit = audio.bitsPerSample == 8;
  const auto channels = static_cast<size_t>(audio.channels);
  const int64_t frameLength = vtengine::frameLengthFor(audio.sampleRate);
  const int64_t latency = frameLength - 1;
  const int64_t lead =
      std::max<int64_t>(0, part.first - selection.first - warmUpFrames * frameLength);
  const int64_t start = selection.first + lead / frameLength * frameLength;
  const int64_t inputEnd = std::min(selection.end, part.end + latency);

  // Quantised to the sound's own steps as XfmDo writes them: clipped to
  // +-(steps - 1), 16-bit rounded to nearest, 8-bit truncated from the
  // unsigned form; then widened to 16 bits for the page.
  const float steps = settings.integerScale;
  const float limit = steps - 1.0f;
  const auto widen = static_cast<int>(32768.0f / steps);
  std::vector<int16_t> out(static_cast<size_t>(part.frames()) * channels);
  const uint8_t* bytes =
      audio.bytes.data() + static_cast<size_t>(start) * static_cast<size_t>(audio.blockAlign());

  vtengine::RangeRun run;
  run.frames = inputEnd - start;
  run.read = [&](int64_t at, float* const* planes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      for (size_t c = 0; c < channels; ++c) {
        const size_t sample = (static_cast<size_t>(at) + i) * channels + c;
        const int value = eightBit ? (bytes[sample] - 128) * 256
                                   : static_cast<int16_t>(static_cast<uint16_t>(
                                         bytes[2 * sample] | (bytes[2 * sample + 1] << 8)));
        planes[c][i] = static_cast<float>(value) * (1.0f / 32768.0f);
      }
    }
    return true;
  };
  run.write = [&](int64_t at, const float* const* planes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      const int64_t frame = start + at + static_cast<int64_t>(i);
      if (frame < part.first || frame >= part.end) continue;
      int16_t* target = out.data() + static_cast<size_t>(frame - part.first) * channels;
      for (size_t c = 0; c < channels; ++c) {
        const float v = std::clamp(planes[c][i] * steps, -limit, limit);
        const int level =
            eightBit ? static_cast<int>(v + 128.0f) - 128 : static_cast<int>(std::nearbyint(v));
        target[c] = static_cast<int16_t>(level * widen);
      }
    }
  };
  run.stop = stop;
  if (!vtengine::processRange(settings, run)) throw PreviewStopped();
  return out;
}

namespace {

// The plug-ins take 8- and 16-bit PCM, mono or stereo, within 32-bit byte
// positions; the tool runs the plug-in on such a file and the engine on
// any other, and so does export.
bool pluginTakes(const vtmedia::SoundInfo& info) {
  const int64_t frameBytes = int64_t{info.channels} * (info.format.bits / 8);
  return info.format.isInteger() && (info.format.bits == 8 || info.format.bits == 16) &&
         info.channels <= 2 && info.frames * frameBytes <= INT32_MAX;
}

// The whole file through the engine into `path` in the file's own sample
// format, as the tool's engine path does: the sound pipeline reads and
// decodes on one thread and encodes and writes on another, and the engine
// runs between them over blocks as read.
void exportThroughEngine(vtengine::Effect effect, const std::vector<vtengine::PointList>& curves,
                         vtmedia::SoundReader& reader, const std::string& path) {
  const vtmedia::SoundInfo& info = reader.info();
  vtmedia::SampleFormat format;
  try {
    format = vtmedia::outputFormat(info.format, "", path);
  } catch (const vtmedia::FormatError& e) {
    throw vtmedia::AudioError(e.what());
  }
  vtmedia::SoundWriter writer(path, info.channels, info.sampleRate, format, info.frames, info.tags);
  const vtengine::EngineSettings settings =
      vtengine::settingsForSound(effect, curves, info.sampleRate, info.channels,
                                 info.format.isInteger() ? info.format.bits : 0);
  vtmedia::SoundPipeline pipeline(reader, writer, 0, info.frames);
  vtmedia::SelectionPlanes planes(pipeline);
  vtengine::RangeRun range;
  range.frames = info.frames;
  range.blockFrames = static_cast<size_t>(pipeline.blockFrames());
  range.read = [&](int64_t, float* const* into, size_t count) { return planes.read(into, count); };
  range.write = [&](int64_t, const float* const* from, size_t count) { planes.write(from, count); };
  bool whole = false;
  try {
    whole = vtengine::processRange(settings, range);
  } catch (...) {
    planes.releaseHeld();
    pipeline.finish();
    throw;
  }
  planes.releaseHeld();
  pipeline.finish();
  if (!whole) throw vtmedia::AudioError("The export ended before the end of the sound.");
  writer.close();
}

}  // namespace

std::string Processing::exportFile(const std::string& effect, const std::string& presetText,
                                   const Sound& sound, const std::string& fileName) {
  if (!vtmedia::isWritableAudioPath(fileName)) {
    throw vtmedia::AudioError(
        "The name " + fileName +
        " has no extension the studio writes; end it in .wav, .aiff, .flac or .ogg.");
  }
  const vtengine::Preset preset = vthost::parsePreset(presetText);
  const std::optional<vtengine::Effect> which = vtengine::effectNamed(effect);
  if (!which) throw std::runtime_error("There is no effect \"" + effect + "\" in the studio.");
  std::lock_guard lock(mutex_);
  vtmedia::SoundReader reader(sound.path);

  // The sound-file library writes to a path: a private scratch file, read
  // back and removed.
  std::string pattern = (fs::temp_directory_path() / "vortigen-export-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw vtmedia::AudioError("No scratch directory could be made for the export.");
  const fs::path scratch = fs::path(pattern) / ("export" + fs::path(fileName).extension().string());
  std::error_code ignored;
  try {
    if (pluginTakes(reader.info())) {
      const vtmedia::Audio& audio = sound.audio;
      vtmedia::Audio processed;
      processed.channels = audio.channels;
      processed.bitsPerSample = audio.bitsPerSample;
      processed.sampleRate = audio.sampleRate;
      processed.bytes = runPlugin(plugins_->of(effect), audio, audio.bytes, &presetText, nullptr);
      vtmedia::writeAudio(scratch.string(), processed);
    } else {
      exportThroughEngine(*which, preset.curves, reader, scratch.string());
    }
    std::ifstream in(scratch, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    fs::remove_all(pattern, ignored);
    return bytes.str();
  } catch (...) {
    fs::remove_all(pattern, ignored);
    throw;
  }
}

}  // namespace vtstudio
