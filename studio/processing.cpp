#include "processing.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "vthost.h"

namespace vtstudio {

namespace fs = std::filesystem;

struct Processing::Plugins {
  std::map<std::string, std::unique_ptr<vthost::PluginLibrary>> byEffect;

  vthost::PluginLibrary& of(const std::string& effect) {
    const auto found = byEffect.find(effect);
    if (found == byEffect.end()) throw std::runtime_error("There is no effect \"" + effect + "\" in the studio.");
    return *found->second;
  }
};

Processing::Processing(const std::map<std::string, std::string>& pluginPaths) : plugins_(std::make_unique<Plugins>()) {
  for (const auto& [name, path] : pluginPaths) plugins_->byEffect[name] = std::make_unique<vthost::PluginLibrary>(path);
}

Processing::~Processing() = default;

namespace {

vthost::WaveFormat formatOf(const vortigen::Audio& audio) {
  return vthost::WaveFormat{static_cast<WORD>(audio.channels), static_cast<WORD>(audio.bitsPerSample),
                            static_cast<LONG>(audio.sampleRate)};
}

// Runs the plug-in over the whole of `bytes` with the curves a preset text
// or a curve set gives, as the tool does.
std::vector<uint8_t> runPlugin(vthost::PluginLibrary& plugin, const vortigen::Audio& audio, std::vector<uint8_t> bytes,
                               const std::string* presetText, const CurveSet* curves) {
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(plugin, formatOf(audio), std::move(bytes), options);
  if (host.init() != 1) throw std::runtime_error("The plug-in " + plugin.path() + " could not make its instance.");
  struct Destroy {
    vthost::EffectHost& host;
    ~Destroy() { host.destroy(); }
  } destroy{host};
  if (presetText != nullptr) {
    host.applyPreset(*presetText);
  } else if (curves != nullptr) {
    const std::vector<CurveHandle> handles = host.curveHandles();
    if (curves->size() != handles.size()) throw std::runtime_error("The curves do not fit the effect.");
    for (size_t i = 0; i < handles.size(); ++i) host.curve(handles[i]).points = (*curves)[i];
  }
  if (host.process() != 0) {
    throw std::runtime_error("The plug-in " + plugin.path() + " could not process the sound (no working memory).");
  }
  return std::move(host.waveform());
}

}  // namespace

std::vector<int16_t> Processing::preview(const std::string& effect, const CurveSet& curves, const vortigen::Audio& audio,
                                         FrameRange range) {
  std::lock_guard lock(mutex_);
  const auto align = static_cast<size_t>(audio.blockAlign());
  vortigen::Audio part;
  part.channels = audio.channels;
  part.bitsPerSample = audio.bitsPerSample;
  part.sampleRate = audio.sampleRate;
  part.bytes.assign(audio.bytes.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(range.first) * align),
                    audio.bytes.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(range.end) * align));
  part.bytes = runPlugin(plugins_->of(effect), part, std::move(part.bytes), nullptr, &curves);
  return samples16(part, FrameRange{0, part.frames()});
}

std::string Processing::exportFile(const std::string& effect, const std::string& presetText,
                                   const vortigen::Audio& audio, const std::string& fileName) {
  if (!vortigen::isWritableAudioPath(fileName)) {
    throw vortigen::AudioError("The name " + fileName + " has no extension the studio writes; end it in .wav, .aiff, .flac or .ogg.");
  }
  vthost::parsePreset(presetText);
  std::lock_guard lock(mutex_);
  vortigen::Audio processed;
  processed.channels = audio.channels;
  processed.bitsPerSample = audio.bitsPerSample;
  processed.sampleRate = audio.sampleRate;
  processed.bytes = runPlugin(plugins_->of(effect), audio, audio.bytes, &presetText, nullptr);

  // The sound-file library writes to a path: a private scratch file, read
  // back and removed.
  std::string pattern = (fs::temp_directory_path() / "vortigen-export-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw vortigen::AudioError("No scratch directory could be made for the export.");
  const fs::path scratch = fs::path(pattern) / ("export" + fs::path(fileName).extension().string());
  std::error_code ignored;
  try {
    vortigen::writeAudio(scratch.string(), processed);
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
