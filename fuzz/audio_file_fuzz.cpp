// Audio files through the tool's reader: the fuzzer's bytes are a file
// named .wav, .aiff, .flac or .ogg (the container is found from the
// bytes; the name only sets the first guess). A file is either refused
// with AudioError or read into whole sample frames of one or two channels
// of 8- or 16-bit samples at a rate the plug-ins can be given.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "audio_file.h"
#include "fuzz_check.h"

namespace {

std::string pathFor(uint8_t choice) {
  static const std::string stem = [] {
    const char* directory = std::getenv("TMPDIR");
    return std::string(directory != nullptr ? directory : "/tmp") + "/vortigen-fuzz-audio-" +
           std::to_string(getpid());
  }();
  static const char* const extensions[] = {".wav", ".aiff", ".flac", ".ogg"};
  return stem + extensions[choice % 4];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string path = pathFor(data[0]);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data) + 1, static_cast<std::streamsize>(size - 1));
  try {
    const vtmedia::Audio audio = vtmedia::readAudio(path);
    FUZZ_CHECK(audio.channels == 1 || audio.channels == 2);
    FUZZ_CHECK(audio.bitsPerSample == 8 || audio.bitsPerSample == 16);
    FUZZ_CHECK(audio.sampleRate > 0);
    FUZZ_CHECK(audio.bytes.size() % static_cast<size_t>(audio.blockAlign()) == 0);
  } catch (const vtmedia::AudioError&) {
  }
  std::remove(path.c_str());
  return 0;
}
