// The sounds the studio works on: files the user named on the command line
// or uploaded from the page, each known by a number. The page names a
// sound only by that number, so no path from a request ever reaches the
// file system.
#ifndef VORTIGEN_STUDIO_SOUND_FILES_H
#define VORTIGEN_STUDIO_SOUND_FILES_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio_file.h"

namespace vtstudio {

struct Sound {
  int id = 0;
  std::string name;      // what the page shows: the file's name without its directory
  vtmedia::Audio audio;  // as the plug-ins take it (8 or 16 bits), for previews
  // The file it was read from (an upload's copy in the private directory),
  // which export reads again in its own sample format.
  std::string path;
};

// A stretch of sample frames, first included, end not.
struct FrameRange {
  int64_t first = 0;
  int64_t end = 0;
  int64_t frames() const { return end - first; }
};

// The longest selection a preview processes.
constexpr double previewSeconds = 30.0;

class SoundFiles {
 public:
  // Uploads are kept in a private directory of their own, removed with it.
  SoundFiles();
  ~SoundFiles();
  SoundFiles(const SoundFiles&) = delete;
  SoundFiles& operator=(const SoundFiles&) = delete;

  // Reads a file the user named. Throws vtmedia::AudioError naming it.
  std::shared_ptr<const Sound> open(const std::string& path);
  // Reads uploaded bytes, kept in the private directory for export;
  // `name` is only shown, never used as a path.
  std::shared_ptr<const Sound> openUpload(const std::string& name, const std::string& bytes);
  // Null for a number that names no sound.
  std::shared_ptr<const Sound> find(int id) const;
  std::vector<std::shared_ptr<const Sound>> all() const;

 private:
  std::shared_ptr<const Sound> keep(std::string name, vtmedia::Audio audio, std::string path);

  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<const Sound>> sounds_;
  int nextId_ = 1;
  int uploads_ = 0;
  std::string uploadDirectory_;
};

// The selection a preview covers: the range asked for, inside the sound,
// at least one frame, cut to previewSeconds.
FrameRange previewRange(const vtmedia::Audio& audio, int64_t first, int64_t end);

// The sample frames of a range as 16-bit samples, interleaved (8-bit
// sounds are widened).
std::vector<int16_t> samples16(const vtmedia::Audio& audio, FrameRange range);

// Smallest and largest sample of each of `columns` stretches of the
// sound, channels mixed, on the scale -1..1: [min0, max0, min1, max1, ...].
std::vector<float> peaks(const vtmedia::Audio& audio, int columns);

// A file's name as a download may carry it: letters, digits, '.', '-', '_'
// and spaces; anything else becomes '_'.
std::string safeFileName(const std::string& name);

}  // namespace vtstudio

#endif
