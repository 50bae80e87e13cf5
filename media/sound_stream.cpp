#include "sound_stream.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "sample_convert.h"

namespace vtmedia {

namespace {

SNDFILE* handle(sf_private_tag* file) { return reinterpret_cast<SNDFILE*>(file); }

SampleFormat formatOfSubtype(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: return {8, false, subtype};
    case SF_FORMAT_PCM_16: return {16, false, subtype};
    case SF_FORMAT_PCM_24: return {24, false, subtype};
    case SF_FORMAT_PCM_32: return {32, false, subtype};
    case SF_FORMAT_FLOAT: return {32, true, subtype};
    case SF_FORMAT_DOUBLE: return {64, true, subtype};
    default: return {16, true, subtype};  // a codec, decoded to float
  }
}

std::string containerName(int format) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV: return "wav";
    case SF_FORMAT_WAVEX: return "wav";
    case SF_FORMAT_RF64: return "wav";
    case SF_FORMAT_AIFF: return "aiff";
    case SF_FORMAT_FLAC: return "flac";
    case SF_FORMAT_OGG: return "ogg";
    default: return "other";
  }
}

uint32_t littleEndian32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t bigEndian32(const unsigned char* p) {
  return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}

// The sample frames a WAV's data chunk or an AIFF's COMM chunk promises;
// 0 when the header cannot be judged (RF64 and others give their sizes
// elsewhere and are left to the library).
int64_t claimedFrames(const std::string& path, const std::string& container, int channels,
                      int bytesPerSample) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[12];
  if (!in.read(reinterpret_cast<char*>(header), 12)) return 0;
  const bool wav = container == "wav";
  if (wav ? std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0
          : std::memcmp(header, "FORM", 4) != 0) {
    return 0;
  }
  for (uint64_t at = 12;;) {
    unsigned char chunk[18];
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) return 0;
    const uint64_t length = wav ? littleEndian32(chunk + 4) : bigEndian32(chunk + 4);
    if (wav && std::memcmp(chunk, "data", 4) == 0)
      return int64_t(length / uint64_t(channels * bytesPerSample));
    if (!wav && std::memcmp(chunk, "COMM", 4) == 0) {
      if (!in.read(reinterpret_cast<char*>(chunk + 8), 6)) return 0;
      return int64_t(bigEndian32(chunk + 10));
    }
    at += 8 + length + (length & 1);
  }
}

// Why the library could not open or use a file, in the tool's words
// rather than the library's ("System error : ...", "Internal error : ...").
std::string libraryReason(SNDFILE* file) {
  const int code = sf_error(file);
  switch (code) {
    case SF_ERR_NO_ERROR: return "the library gave no reason";
    case SF_ERR_UNRECOGNISED_FORMAT: return "it is no sound file the tool knows";
    case SF_ERR_SYSTEM: return errno != 0 ? std::strerror(errno) : "the system refused it";
    case SF_ERR_MALFORMED_FILE: return "its header is damaged";
    case SF_ERR_UNSUPPORTED_ENCODING:
      return "its samples are in an encoding the tool does not read";
    default: return "its header is damaged or incomplete";
  }
}

// Why a file cannot be opened for reading: what the system says of the
// path first (missing, a directory, not readable), then the library.
std::string readFailure(const std::string& path) {
  const int libraryErrno = errno;
  struct stat about {};
  if (stat(path.c_str(), &about) != 0) return std::strerror(errno);
  if (S_ISDIR(about.st_mode)) return "it is a directory";
  if (access(path.c_str(), R_OK) != 0) return std::strerror(errno);
  errno = libraryErrno;
  return libraryReason(nullptr);
}

SoundTags tagsOf(SNDFILE* file, const SF_INFO& info) {
  SoundTags tags;
  for (int kind = SF_STR_FIRST; kind <= SF_STR_LAST; ++kind) {
    const char* text = sf_get_string(file, kind);
    if (text != nullptr && text[0] != '\0') tags.strings.emplace_back(kind, text);
  }
  std::vector<int> map(size_t(info.channels));
  if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int))) ==
      SF_TRUE) {
    tags.channelMap = map;
  }
  tags.rf64 = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64;
  return tags;
}

}  // namespace

std::string SoundTags::text(int kind) const {
  for (const auto& [k, text] : strings) {
    if (k == kind) return text;
  }
  return "";
}

std::string SampleFormat::describe() const {
  switch (subtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: return "8-bit PCM";
    case SF_FORMAT_PCM_16: return "16-bit PCM";
    case SF_FORMAT_PCM_24: return "24-bit PCM";
    case SF_FORMAT_PCM_32: return "32-bit PCM";
    case SF_FORMAT_FLOAT: return "32-bit float";
    case SF_FORMAT_DOUBLE: return "64-bit float";
    case SF_FORMAT_VORBIS: return "Vorbis";
    case SF_FORMAT_ULAW: return "u-law";
    case SF_FORMAT_ALAW: return "A-law";
    default: return "compressed";
  }
}

// ---- Reading ---------------------------------------------------------------------------------

SoundReader::SoundReader(const std::string& path) : path_(path) {
  SF_INFO sf{};
  errno = 0;
  file_ = reinterpret_cast<sf_private_tag*>(sf_open(path.c_str(), SFM_READ, &sf));
  if (file_ == nullptr) {
    throw AudioError("cannot read '" + path + "': " + readFailure(path) +
                     "; check the path and that it is a WAV, AIFF, FLAC or Ogg Vorbis file");
  }
  info_.channels = sf.channels;
  info_.sampleRate = sf.samplerate;
  info_.frames = sf.frames;
  info_.format = formatOfSubtype(sf.format & SF_FORMAT_SUBMASK);
  info_.container = containerName(sf.format);
  info_.tags = tagsOf(handle(file_), sf);
  try {
    if (sf.channels < 1)
      throw AudioError("'" + path + "' has no channels; give a file with sound in it");
    if (sf.samplerate < 1000 || sf.samplerate > 768000) {
      throw AudioError("'" + path + "' has a sample rate of " + std::to_string(sf.samplerate) +
                       " Hz; the tool handles 1000 to 768000 Hz (resample it first)");
    }
    int64_t claimed = sf.frames;
    if (info_.container == "wav" || info_.container == "aiff") {
      // The library stops at the end of the data; the header tells how
      // much there should have been.
      claimed = std::max(claimed, claimedFrames(path, info_.container, sf.channels,
                                                std::max(info_.format.bits / 8, 1)));
    }
    findReadableEnd(claimed);
    if (info_.frames == 0 && !truncation_.empty()) {
      throw AudioError("'" + path +
                       "' is truncated or damaged: none of its samples can be read; "
                       "re-make or re-copy the file");
    }
    if (info_.frames == 0)
      throw AudioError("'" + path + "' holds no samples; give a file with sound in it");
  } catch (...) {
    sf_close(handle(file_));
    throw;
  }
}

bool SoundReader::readsAt(int64_t frame) {
  std::vector<float> one(size_t(info_.channels));
  return sf_seek(handle(file_), frame, SEEK_SET) == frame &&
         sf_readf_float(handle(file_), one.data(), 1) == 1 &&
         sf_seek(handle(file_), 0, SEEK_SET) == 0;
}

// Sets info_.frames to what can be read, and truncation_ when that is less
// than `claimed` (SF_COUNT_MAX: the stream's end is lost, as in an Ogg file
// cut short). A file whose last frame reads is whole; another is decoded
// to its end once to count what it holds.
void SoundReader::findReadableEnd(int64_t claimed) {
  if (claimed != SF_COUNT_MAX && claimed >= 0 && info_.frames > 0 && readsAt(info_.frames - 1)) {
  } else if (claimed != 0) {
    sf_close(handle(file_));
    SF_INFO sf{};
    file_ = reinterpret_cast<sf_private_tag*>(sf_open(path_.c_str(), SFM_READ, &sf));
    if (file_ == nullptr)
      throw AudioError("cannot read '" + path_ + "' again: " + libraryReason(nullptr));
    constexpr int64_t block = 16384;
    std::vector<float> samples(size_t(block * info_.channels));
    int64_t held = 0;
    for (sf_count_t got; (got = sf_readf_float(handle(file_), samples.data(), block)) > 0;)
      held += got;
    sf_close(handle(file_));
    file_ = reinterpret_cast<sf_private_tag*>(sf_open(path_.c_str(), SFM_READ, &sf));
    if (file_ == nullptr)
      throw AudioError("cannot read '" + path_ + "' again: " + libraryReason(nullptr));
    info_.frames = held;
  }
  if (claimed == SF_COUNT_MAX || claimed < 0) {
    truncation_ = "'" + path_ + "' is truncated: its end is missing, and the " +
                  std::to_string(info_.frames) + " sample frames it holds were processed";
  } else if (claimed > info_.frames) {
    truncation_ = "'" + path_ + "' is truncated: its header promises " + std::to_string(claimed) +
                  " sample frames, " + std::to_string(claimed - info_.frames) +
                  " of them are missing, and the " + std::to_string(info_.frames) +
                  " it holds were processed";
  }
}

SoundReader::~SoundReader() {
  if (file_ != nullptr) sf_close(handle(file_));
}

bool SoundReader::seekTo(int64_t position) {
  if (position == at_) return true;
  if (sf_seek(handle(file_), position, SEEK_SET) < 0) return false;
  at_ = position;
  return true;
}

template <typename Sample, typename Readf>
int64_t SoundReader::readWith(Readf readf, int64_t position, Sample* samples, int64_t frames) {
  if (position >= shortAt_ || !seekTo(position)) return 0;
  const int64_t got = std::max<int64_t>(readf(handle(file_), samples, frames), 0);
  at_ += got;
  if (got < frames) shortAt_ = at_;
  return got;
}

int64_t SoundReader::readInt(int64_t position, int32_t* samples, int64_t frames) {
  return readWith(sf_readf_int, position, samples, frames);
}

int64_t SoundReader::readFloat(int64_t position, float* samples, int64_t frames) {
  return readWith(sf_readf_float, position, samples, frames);
}

int64_t SoundReader::readShort(int64_t position, int16_t* samples, int64_t frames) {
  return readWith(sf_readf_short, position, samples, frames);
}

// ---- Output format ---------------------------------------------------------------------------

SampleFormat outputFormat(const SampleFormat& input, const std::string& bits,
                          const std::string& path) {
  const int container = containerFor(path);
  SampleFormat format = input;
  if (bits.empty()) {
    // A codec's samples have no depth of their own: 16-bit, as a player would.
    if (input.isFloat && input.subtype != SF_FORMAT_FLOAT && input.subtype != SF_FORMAT_DOUBLE) {
      format = formatOfSubtype(SF_FORMAT_PCM_16);
    }
  } else if (bits == "8") {
    format = formatOfSubtype(SF_FORMAT_PCM_S8);
  } else if (bits == "16") {
    format = formatOfSubtype(SF_FORMAT_PCM_16);
  } else if (bits == "24") {
    format = formatOfSubtype(SF_FORMAT_PCM_24);
  } else if (bits == "32") {
    format = formatOfSubtype(SF_FORMAT_PCM_32);
  } else if (bits == "float") {
    format = formatOfSubtype(SF_FORMAT_FLOAT);
  } else {
    throw FormatError("--bits " + bits + " is no sample format; give 8, 16, 24, 32 or float.");
  }
  if (format.bits == 8)
    format.subtype = container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
  if (container == SF_FORMAT_OGG) return formatOfSubtype(SF_FORMAT_VORBIS);
  SF_INFO probe{};
  probe.channels = 1;
  probe.samplerate = 44100;
  probe.format = container | format.subtype;
  if (!sf_format_check(&probe)) {
    throw FormatError(
        "The output " + path + " cannot hold " + format.describe() +
        " samples; give --bits with a depth it takes (FLAC: 8, 16 or 24) or write a .wav file.");
  }
  return format;
}

// ---- Writing ---------------------------------------------------------------------------------

SoundWriter::SoundWriter(const std::string& path, int channels, int sampleRate,
                         const SampleFormat& format, int64_t frames, const SoundTags& tags)
    : path_(path), channels_(channels), format_(format) {
  SF_INFO sf{};
  sf.channels = channels;
  sf.samplerate = sampleRate;
  // A WAV file past 4 GB (6.8 hours of 16-bit stereo at 44.1 kHz) needs
  // the 64-bit form; smaller ones stay plain WAV, as readers expect.
  const int container = containerFor(path);
  const double bytes = double(frames) * channels * std::max(format.bits / 8, 1);
  // An RF64 input stays RF64, for the programs its user chose it for.
  const bool large =
      container == SF_FORMAT_WAV && (tags.rf64 || bytes > double(UINT32_MAX) - 65536);
  sf.format = (large ? SF_FORMAT_RF64 : container) | format.subtype;
  errno = 0;
  file_ = reinterpret_cast<sf_private_tag*>(sf_open(path.c_str(), SFM_WRITE, &sf));
  if (file_ == nullptr) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "the library refused it";
    throw AudioError("cannot write '" + path + "': " + reason);
  }
  // Tags go before the first sample: FLAC and Ogg write them in front.
  if (tags.channelMap.size() == size_t(channels)) {
    std::vector<int> map = tags.channelMap;
    sf_command(handle(file_), SFC_SET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int)));
  }
  for (const auto& [kind, text] : tags.strings) sf_set_string(handle(file_), kind, text.c_str());
  // Float files take the values as they are: no clipping, no scaling.
  sf_command(handle(file_), SFC_SET_CLIPPING, nullptr, SF_FALSE);
}

SoundWriter::~SoundWriter() {
  if (file_ != nullptr) sf_close(handle(file_));
}

void SoundWriter::failed() {
  throw AudioError("cannot write all of '" + path_ + "': " + libraryReason(handle(file_)) +
                   "; the disk may be full");
}

void SoundWriter::writeInt(const int32_t* samples, int64_t frames) {
  const int shift = 32 - format_.bits;
  if (format_.isFloat) {
    // Integers on a float file: exact for up to 24 bits.
    std::unique_ptr<float[]> values(new float[size_t(frames * channels_)]);
    for (int64_t i = 0; i < frames * channels_; ++i)
      values[size_t(i)] = float(samples[i] / intFullScale);
    writeFloat(values.get(), frames);
    return;
  }
  if (shift > 0 && format_.bits < 32) {
    // Narrower than the samples: round to the nearest step, clip the top.
    if (scratchFrames_ < frames) {
      scratch_.reset(new int32_t[size_t(frames * channels_)]);
      scratchFrames_ = frames;
    }
    const int64_t high = (int64_t{1} << (format_.bits - 1)) - 1, low = -high - 1;
    for (int64_t i = 0; i < frames * channels_; ++i) {
      int64_t v = (int64_t{samples[i]} + (int64_t{1} << (shift - 1))) >> shift;
      if (v > high || v < low) {
        v = std::clamp(v, low, high);
        ++clipped_;
      }
      scratch_[size_t(i)] = static_cast<int32_t>(v << shift);
    }
    samples = scratch_.get();
  }
  if (sf_writef_int(handle(file_), samples, frames) != frames) failed();
  written_ += frames;
}

void SoundWriter::writeFloat(const float* samples, int64_t frames) {
  if (format_.isFloat) {
    if (sf_writef_float(handle(file_), samples, frames) != frames) failed();
    written_ += frames;
    return;
  }
  // 8 and 16 bits go to the library as 16-bit samples, which it stores
  // as they are (8 bits: the high byte); wider ones as 32-bit samples.
  const size_t count = size_t(frames * channels_);
  if (scratchFrames_ < frames) {
    scratch_.reset(new int32_t[count]);
    scratchFrames_ = frames;
  }
  if (format_.bits <= 16) {
    auto* shorts = reinterpret_cast<int16_t*>(scratch_.get());
    clipped_ += quantiseToShorts(samples, shorts, count, format_.bits);
    if (sf_writef_short(handle(file_), shorts, frames) != frames) failed();
  } else {
    clipped_ += quantiseToInts(samples, scratch_.get(), count, format_.bits);
    if (sf_writef_int(handle(file_), scratch_.get(), frames) != frames) failed();
  }
  written_ += frames;
}

void SoundWriter::writeShort(const int16_t* samples, int64_t frames) {
  if (format_.isInteger() && format_.bits == 16) {
    if (sf_writef_short(handle(file_), samples, frames) != frames) failed();
    written_ += frames;
    return;
  }
  // Other depths round, clip or convert as writeInt does.
  if (widenedFrames_ < frames) {
    widened_.reset(new int32_t[size_t(frames * channels_)]);
    widenedFrames_ = frames;
  }
  for (int64_t i = 0; i < frames * channels_; ++i)
    widened_[size_t(i)] = int32_t(uint32_t(uint16_t(samples[i])) << 16);
  writeInt(widened_.get(), frames);
}

void SoundWriter::close() {
  if (file_ == nullptr) return;
  const int closed = sf_close(handle(file_));
  file_ = nullptr;
  if (closed != 0) throw AudioError("cannot finish '" + path_ + "': the disk may be full");
}

void copyFrames(SoundReader& reader, SoundWriter& writer, int64_t end) {
  constexpr int64_t block = 16384;
  const int channels = reader.info().channels;
  end = std::min(end, reader.info().frames);
  if (writer.framesWritten() >= end) return;
  if (reader.info().format.isInteger()) {
    std::vector<int32_t> samples(size_t(block * channels));
    while (writer.framesWritten() < end) {
      const int64_t at = writer.framesWritten();
      const int64_t want = std::min(block, end - at);
      const int64_t got = reader.readInt(at, samples.data(), want);
      std::fill(samples.begin() + got * channels, samples.begin() + want * channels, 0);
      writer.writeInt(samples.data(), want);
    }
  } else {
    std::vector<float> samples(size_t(block * channels));
    while (writer.framesWritten() < end) {
      const int64_t at = writer.framesWritten();
      const int64_t want = std::min(block, end - at);
      const int64_t got = reader.readFloat(at, samples.data(), want);
      std::fill(samples.begin() + got * channels, samples.begin() + want * channels, 0.0f);
      writer.writeFloat(samples.data(), want);
    }
  }
}

}  // namespace vtmedia
