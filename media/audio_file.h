// Audio files for the vortigen tool, read and written with libsndfile.
//
// The plug-ins take 8-bit unsigned or 16-bit signed PCM. Files in those
// formats pass through bit for bit; every other sample format (24/32-bit,
// float, compressed) is converted to 16-bit, and the returned note says so.
#ifndef VORTIGEN_MEDIA_AUDIO_FILE_H
#define VORTIGEN_MEDIA_AUDIO_FILE_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtmedia {

class AudioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Interleaved sample frames: 8-bit unsigned (128 = silence) or 16-bit
// signed little-endian, one or two channels.
struct Audio {
  int channels = 1;
  int bitsPerSample = 16;
  int sampleRate = 44100;
  std::vector<uint8_t> bytes;
  // Set when the file's samples had to be converted for processing.
  std::string conversionNote;

  int blockAlign() const { return channels * (bitsPerSample / 8); }
  int64_t frames() const { return blockAlign() == 0 ? 0 : int64_t(bytes.size()) / blockAlign(); }
  double seconds() const { return sampleRate > 0 ? double(frames()) / sampleRate : 0.0; }
};

// Reads a file. Throws AudioError, naming the file and the reason, for an
// unreadable file, more than two channels, an empty file or a sample rate
// the plug-ins cannot be given.
Audio readAudio(const std::string& path);

// Writes a file whose container follows the extension (.wav, .aif/.aiff,
// .flac, .ogg). Throws AudioError naming the file and the reason.
void writeAudio(const std::string& path, const Audio& audio);

// True for an extension writeAudio knows.
bool isWritableAudioPath(const std::string& path);

// The library's container of an output path (.wav, .aif/.aiff, .flac,
// .ogg/.oga), 0 for another extension.
int containerFor(const std::string& path);

}  // namespace vtmedia

#endif
