#include "sound_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace vtstudio {

namespace fs = std::filesystem;

SoundFiles::SoundFiles() {
  std::string pattern = (fs::temp_directory_path() / "vortigen-studio-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) uploadDirectory_ = pattern;
}

SoundFiles::~SoundFiles() {
  std::error_code ignored;
  if (!uploadDirectory_.empty()) fs::remove_all(uploadDirectory_, ignored);
}

std::shared_ptr<const Sound> SoundFiles::keep(std::string name, vtmedia::Audio audio,
                                              std::string path) {
  auto sound = std::make_shared<Sound>();
  sound->name = std::move(name);
  sound->audio = std::move(audio);
  sound->path = std::move(path);
  std::lock_guard lock(mutex_);
  sound->id = nextId_++;
  sounds_[sound->id] = sound;
  return sound;
}

std::shared_ptr<const Sound> SoundFiles::open(const std::string& path) {
  vtmedia::Audio audio = vtmedia::readAudio(path);
  return keep(fs::path(path).filename().string(), std::move(audio), path);
}

// The sound-file library reads from a path, so the bytes go into a file of
// the private directory, named by number; the upload's own name is shown
// only. The file stays there for export, or is removed when it cannot be
// read.
std::shared_ptr<const Sound> SoundFiles::openUpload(const std::string& name,
                                                    const std::string& bytes) {
  if (uploadDirectory_.empty()) {
    throw vtmedia::AudioError("The studio has no directory for uploads in " +
                              fs::temp_directory_path().string() +
                              "; check that it exists and is writable.");
  }
  int number = 0;
  {
    std::lock_guard lock(mutex_);
    number = ++uploads_;
  }
  const fs::path scratch = fs::path(uploadDirectory_) / ("upload-" + std::to_string(number));
  {
    std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
      throw vtmedia::AudioError("The upload " + safeFileName(name) +
                                " could not be stored for reading.");
  }
  std::error_code ignored;
  try {
    vtmedia::Audio audio = vtmedia::readAudio(scratch.string());
    return keep(safeFileName(name), std::move(audio), scratch.string());
  } catch (const vtmedia::AudioError& e) {
    fs::remove(scratch, ignored);
    // The library's sentence names the scratch file; the user knows the upload's name.
    std::string reason = e.what();
    const std::string scratchName = scratch.string();
    for (size_t at; (at = reason.find(scratchName)) != std::string::npos;)
      reason.replace(at, scratchName.size(), safeFileName(name));
    throw vtmedia::AudioError(reason);
  }
}

std::shared_ptr<const Sound> SoundFiles::find(int id) const {
  std::lock_guard lock(mutex_);
  const auto found = sounds_.find(id);
  return found != sounds_.end() ? found->second : nullptr;
}

std::vector<std::shared_ptr<const Sound>> SoundFiles::all() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<const Sound>> list;
  for (const auto& entry : sounds_) list.push_back(entry.second);
  return list;
}

FrameRange previewRange(const vtmedia::Audio& audio, int64_t first, int64_t end) {
  const int64_t frames = audio.frames();
  FrameRange range;
  range.first = std::clamp<int64_t>(first, 0, std::max<int64_t>(frames - 1, 0));
  range.end = std::clamp<int64_t>(end, range.first + 1, std::max<int64_t>(frames, 1));
  const auto longest = static_cast<int64_t>(std::llround(previewSeconds * audio.sampleRate));
  range.end = std::min(range.end, range.first + longest);
  return range;
}

std::vector<int16_t> samples16(const vtmedia::Audio& audio, FrameRange range) {
  const auto channels = static_cast<size_t>(audio.channels);
  const size_t count = static_cast<size_t>(range.frames()) * channels;
  const size_t start = static_cast<size_t>(range.first) * channels;
  std::vector<int16_t> out(count);
  if (audio.bitsPerSample == 8) {
    for (size_t i = 0; i < count; ++i)
      out[i] = static_cast<int16_t>((audio.bytes[start + i] - 128) * 256);
  } else {
    for (size_t i = 0; i < count; ++i) {
      const size_t at = 2 * (start + i);
      out[i] =
          static_cast<int16_t>(static_cast<uint16_t>(audio.bytes[at] | (audio.bytes[at + 1] << 8)));
    }
  }
  return out;
}

std::vector<float> peaks(const vtmedia::Audio& audio, int columns) {
  const int64_t frames = audio.frames();
  columns = std::max(1, columns);
  std::vector<float> out(2 * static_cast<size_t>(columns), 0.0f);
  const std::vector<int16_t> all = samples16(audio, FrameRange{0, frames});
  const auto channels = static_cast<size_t>(audio.channels);
  for (int c = 0; c < columns; ++c) {
    const int64_t from = frames * c / columns;
    const int64_t to = std::max(from + 1, frames * (c + 1) / columns);
    int low = 0, high = 0;
    for (int64_t f = from; f < to && f < frames; ++f) {
      for (size_t ch = 0; ch < channels; ++ch) {
        const int v = all[static_cast<size_t>(f) * channels + ch];
        low = std::min(low, v);
        high = std::max(high, v);
      }
    }
    out[2 * static_cast<size_t>(c)] = static_cast<float>(low) / 32768.0f;
    out[2 * static_cast<size_t>(c) + 1] = static_cast<float>(high) / 32768.0f;
  }
  return out;
}

std::string safeFileName(const std::string& name) {
  std::string base = fs::path(name).filename().string();
  for (char& c : base) {
    const bool plain =
        std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' || c == ' ';
    if (!plain) c = '_';
  }
  if (base.empty() || base == "." || base == "..") base = "sound";
  return base.substr(0, 120);
}

}  // namespace vtstudio
