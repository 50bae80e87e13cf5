#include "output_record.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <regex>

namespace vortigen {

namespace {

// FNV-1a, 64 bits: a stable digest of the settings text. It tells runs
// apart; it guards against no one.
uint64_t digestOf(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

const std::regex recordPattern("vortigen [^ ,]+, settings [0-9a-f]{16}");

}  // namespace

int64_t soundFileFrames(const std::string& path, int& channels) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1;
  sf_close(file);
  channels = info.channels;
  return info.frames;
}

std::string toolNameAndVersion() { return "vortigen " VORTIGEN_VERSION; }

std::string settingsKey(const EffectRun& run, const RunSettings& settings,
                        const std::string& output) {
  std::string key = run.effect + "\n";
  for (const auto& curve : settings.curves) {
    for (const vthost::CurvePoint& p : curve)
      key += std::to_string(p.x) + ":" + std::to_string(p.y) + ",";
    key += "\n";
  }
  // --path is left out: both paths give the same output.
  key += "bits=" + run.bits + "\nfrom=" + run.from + "\nto=" + run.to +
         "\ncontainer=" + std::to_string(vtmedia::containerFor(output)) + "\n";
  return key;
}

std::string completionRecord(const std::string& settingsKey, const std::string& input) {
  // An input that is not there gets a record no output carries; reading
  // it fails later, with a sentence of its own.
  struct stat about {};
  if (stat(input.c_str(), &about) != 0) about = {};
  const std::string text = settingsKey + "input=" + std::to_string(about.st_size) + "@" +
                           std::to_string(about.st_mtim.tv_sec) + "." +
                           std::to_string(about.st_mtim.tv_nsec) + "\n";
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016" PRIx64, digestOf(text));
  return toolNameAndVersion() + ", settings " + digest;
}

std::string recordOf(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return "";
  std::string found;
  // The software tag holds it where the container has one; AIFF keeps it
  // on the comment's last line.
  for (const int tag : {SF_STR_COMMENT, SF_STR_SOFTWARE}) {
    const char* text = sf_get_string(file, tag);
    if (text == nullptr) continue;
    const std::string value = text;
    for (std::sregex_iterator i(value.begin(), value.end(), recordPattern), end; i != end; ++i)
      found = i->str();
  }
  sf_close(file);
  return found;
}

OutputState outputState(const std::string& input, const std::string& output,
                        const std::string& record) {
  struct stat about {};
  if (lstat(output.c_str(), &about) != 0) return OutputState::Absent;
  const std::string held = recordOf(output);
  if (held.empty()) return OutputState::Partial;
  if (held != record) return OutputState::ChangedSettings;
  int inChannels = 0, outChannels = 0;
  const int64_t inFrames = soundFileFrames(input, inChannels);
  const int64_t outFrames = soundFileFrames(output, outChannels);
  if (inFrames <= 0 || inFrames != outFrames || inChannels != outChannels)
    return OutputState::Partial;
  return OutputState::Complete;
}

}  // namespace vortigen
