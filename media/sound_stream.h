// Sound files read and written in blocks with libsndfile, so that a file of
// any length passes through the tool in constant memory.
//
// Samples travel as 32-bit integers scaled to full scale (an integer PCM
// sample of b bits is value << (32 - b), exactly as stored) or as floats
// with full scale at 1.0. Integer output rounds and clips and counts what
// it clipped; float output is written as it comes.
#ifndef VORTIGEN_MEDIA_SOUND_STREAM_H
#define VORTIGEN_MEDIA_SOUND_STREAM_H

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "audio_file.h"

struct sf_private_tag;

namespace vtmedia {

// The sample format of a file: integer PCM of 8 to 32 bits, float, or a
// compressed one decoded to float.
struct SampleFormat {
  int bits = 16;         // 8, 16, 24, 32 for integer PCM; 32 or 64 for float
  bool isFloat = false;  // float samples or a lossy codec
  int subtype = 0;       // the library's subtype of the file it came from

  bool isInteger() const { return !isFloat; }
  std::string describe() const;
};

// What a file says about its sound besides the samples.
struct SoundTags {
  std::vector<std::pair<int, std::string>> strings;  // the library's string kind, its text
  std::vector<int> channelMap;                       // channel positions; empty when none
  bool rf64 = false;                                 // a 64-bit WAV

  // The text of a kind of string, or an empty one.
  std::string text(int kind) const;
};

struct SoundInfo {
  int channels = 0;
  int sampleRate = 0;
  int64_t frames = 0;  // those the file really holds
  SampleFormat format;
  std::string container;  // "wav", "aiff", "flac", "ogg", ...
  SoundTags tags;
};

class SoundReader {
 public:
  // Opens the file and checks that it can be streamed: known length, at
  // least one frame, a usable rate. Throws AudioError naming the file.
  explicit SoundReader(const std::string& path);
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  const SoundInfo& info() const { return info_; }
  const std::string& path() const { return path_; }
  // Set when the file ends before its header says it does: one sentence
  // naming the file and how much is missing. info().frames is then what
  // can be read.
  const std::string& truncation() const { return truncation_; }

  // Reads up to `frames` sample frames at frame `position` (seeking only
  // when it is not where the last read ended). Returns the frames read;
  // fewer only at the end of what the file really holds.
  int64_t readInt(int64_t position, int32_t* samples, int64_t frames);
  int64_t readFloat(int64_t position, float* samples, int64_t frames);
  // 16-bit samples, exact for files of 8 or 16 bits (8 in the high byte).
  int64_t readShort(int64_t position, int16_t* samples, int64_t frames);
  // The frame after the last that could be read; below info().frames when
  // a read came up short.
  int64_t framesRead() const { return shortAt_; }

 private:
  bool seekTo(int64_t position);
  // Reads with one of the sound library's readf functions from `position`,
  // keeping the position and where the file turned out short.
  template <typename Sample, typename Readf>
  int64_t readWith(Readf readf, int64_t position, Sample* samples, int64_t frames);
  bool readsAt(int64_t frame);
  void findReadableEnd(int64_t claimed);
  std::string path_;
  SoundInfo info_;
  std::string truncation_;
  sf_private_tag* file_ = nullptr;
  int64_t at_ = 0;
  int64_t shortAt_ = INT64_MAX;
};

// A sample format asked of an output that cannot be had: no such depth,
// or one the output's container cannot hold. The sentence says what to
// ask instead.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The sample format output gets: the input's, or what --bits asks
// ("8", "16", "24", "32", "float"); Ogg is always Vorbis. Throws FormatError
// for another depth or when the container cannot hold it.
SampleFormat outputFormat(const SampleFormat& input, const std::string& bits,
                          const std::string& path);

class SoundWriter {
 public:
  // Creates the file (replacing what is there) for about `frames` sample
  // frames, with the tags (those the container can hold). Throws
  // AudioError.
  SoundWriter(const std::string& path, int channels, int sampleRate, const SampleFormat& format,
              int64_t frames, const SoundTags& tags = {});
  ~SoundWriter();
  SoundWriter(const SoundWriter&) = delete;
  SoundWriter& operator=(const SoundWriter&) = delete;

  // Appends frames; throws AudioError when the disk refuses them.
  void writeInt(const int32_t* samples, int64_t frames);
  void writeFloat(const float* samples, int64_t frames);
  // 16-bit samples (8-bit ones in the high byte), as writeInt takes them
  // shifted to the top.
  void writeShort(const int16_t* samples, int64_t frames);
  // Flushes and closes; throws AudioError when the file is incomplete.
  void close();

  int64_t clipped() const { return clipped_; }
  int64_t framesWritten() const { return written_; }
  const SampleFormat& format() const { return format_; }
  int channels() const { return channels_; }

 private:
  void failed();
  std::string path_;
  int channels_;
  SampleFormat format_;
  sf_private_tag* file_ = nullptr;
  int64_t clipped_ = 0;
  int64_t written_ = 0;
  std::unique_ptr<int32_t[]> scratch_;
  int64_t scratchFrames_ = 0;
  std::unique_ptr<int32_t[]> widened_;  // writeShort's samples for writeInt
  int64_t widenedFrames_ = 0;
};

// Copies the reader's frames from where the writer stands up to frame
// `end` (of the reader), bit for bit where the formats allow; frames the
// file does not hold after all are silence.
void copyFrames(SoundReader& reader, SoundWriter& writer, int64_t end);

// The integer file sample full scale: 2^31 as a float.
constexpr double intFullScale = 2147483648.0;

}  // namespace vtmedia

#endif
