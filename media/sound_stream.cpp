#include "sound_stream.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace vortigen {

namespace {

SNDFILE* handle(sf_private_tag* file) { return reinterpret_cast<SNDFILE*>(file); }

std::string withoutStop(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

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

// The bytes a RIFF WAV's data chunk claims against those the file holds
// after the chunk's header; both 0 when there is no such chunk to judge.
std::pair<uint64_t, uint64_t> waveDataLengths(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[12];
  if (!in.read(reinterpret_cast<char*>(header), 12) || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    return {0, 0};
  }
  in.seekg(0, std::ios::end);
  const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
  uint64_t at = 12;
  while (at + 8 <= fileSize) {
    unsigned char chunk[8];
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) break;
    const uint64_t length = littleEndian32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) return {length, fileSize - (at + 8)};
    at += 8 + length + (length & 1);
  }
  return {0, 0};
}

}  // namespace

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
  file_ = reinterpret_cast<sf_private_tag*>(sf_open(path.c_str(), SFM_READ, &sf));
  if (file_ == nullptr) {
    throw AudioError("cannot read '" + path + "': " + withoutStop(sf_strerror(nullptr)) +
                     "; check the path and that it is a WAV, AIFF, FLAC or Ogg Vorbis file");
  }
  info_.channels = sf.channels;
  info_.sampleRate = sf.samplerate;
  info_.frames = sf.frames;
  info_.format = formatOfSubtype(sf.format & SF_FORMAT_SUBMASK);
  info_.container = containerName(sf.format);
  try {
    // A stream whose end cannot be found (an Ogg file cut short) has no
    // length the library can tell.
    if (sf.frames == SF_COUNT_MAX || sf.frames < 0) {
      throw AudioError("'" + path + "' is truncated or damaged: its length cannot be found (" +
                       info_.format.describe() + " in " + info_.container +
                       "); re-make or re-copy the file");
    }
    if (sf.channels < 1)
      throw AudioError("'" + path + "' has no channels; give a file with sound in it");
    if (sf.frames == 0)
      throw AudioError("'" + path + "' holds no samples; give a file with sound in it");
    if (sf.samplerate < 1000 || sf.samplerate > 768000) {
      throw AudioError("'" + path + "' has a sample rate of " + std::to_string(sf.samplerate) +
                       " Hz; the tool handles 1000 to 768000 Hz (resample it first)");
    }
  } catch (...) {
    sf_close(handle(file_));
    throw;
  }
  if (info_.container == "wav") {
    const auto [claimed, held] = waveDataLengths(path);
    if (claimed > held) {
      const uint64_t frameBytes =
          uint64_t(sf.channels) * uint64_t(std::max(info_.format.bits / 8, 1));
      truncation_ = "'" + path + "' is truncated: its header promises " +
                    std::to_string(claimed / frameBytes) + " sample frames, the file holds " +
                    std::to_string(held / frameBytes) + "; only those were read";
    }
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

int64_t SoundReader::readInt(int64_t position, int32_t* samples, int64_t frames) {
  if (position >= shortAt_ || !seekTo(position)) return 0;
  const int64_t got = sf_readf_int(handle(file_), samples, frames);
  at_ += std::max<int64_t>(got, 0);
  if (got < frames) shortAt_ = at_;
  return std::max<int64_t>(got, 0);
}

int64_t SoundReader::readFloat(int64_t position, float* samples, int64_t frames) {
  if (position >= shortAt_ || !seekTo(position)) return 0;
  const int64_t got = sf_readf_float(handle(file_), samples, frames);
  at_ += std::max<int64_t>(got, 0);
  if (got < frames) shortAt_ = at_;
  return std::max<int64_t>(got, 0);
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
    throw UsageError("--bits " + bits + " is no sample format; give 8, 16, 24, 32 or float.");
  }
  if (format.bits == 8)
    format.subtype = container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
  if (container == SF_FORMAT_OGG) return formatOfSubtype(SF_FORMAT_VORBIS);
  SF_INFO probe{};
  probe.channels = 1;
  probe.samplerate = 44100;
  probe.format = container | format.subtype;
  if (!sf_format_check(&probe)) {
    throw UsageError(
        "The output " + path + " cannot hold " + format.describe() +
        " samples; give --bits with a depth it takes (FLAC: 8, 16 or 24) or write a .wav file.");
  }
  return format;
}

// ---- Writing ---------------------------------------------------------------------------------

SoundWriter::SoundWriter(const std::string& path, int channels, int sampleRate,
                         const SampleFormat& format, int64_t frames)
    : path_(path), channels_(channels), format_(format) {
  SF_INFO sf{};
  sf.channels = channels;
  sf.samplerate = sampleRate;
  // A WAV file past 4 GB (6.8 hours of 16-bit stereo at 44.1 kHz) needs
  // the 64-bit form; smaller ones stay plain WAV, as readers expect.
  const int container = containerFor(path);
  const double bytes = double(frames) * channels * std::max(format.bits / 8, 1);
  const bool large = container == SF_FORMAT_WAV && bytes > double(UINT32_MAX) - 65536;
  sf.format = (large ? SF_FORMAT_RF64 : container) | format.subtype;
  file_ = reinterpret_cast<sf_private_tag*>(sf_open(path.c_str(), SFM_WRITE, &sf));
  if (file_ == nullptr) {
    throw AudioError("cannot write '" + path + "': " + withoutStop(sf_strerror(nullptr)));
  }
  // Float files take the values as they are: no clipping, no scaling.
  sf_command(handle(file_), SFC_SET_CLIPPING, nullptr, SF_FALSE);
}

SoundWriter::~SoundWriter() {
  if (file_ != nullptr) sf_close(handle(file_));
}

void SoundWriter::failed() {
  throw AudioError("cannot write all of '" + path_ +
                   "': " + withoutStop(sf_strerror(handle(file_))) + "; the disk may be full");
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
  if (scratchFrames_ < frames) {
    scratch_.reset(new int32_t[size_t(frames * channels_)]);
    scratchFrames_ = frames;
  }
  // Quantised as the plug-ins quantise: clipped to full scale on both
  // sides (-32767..32767 for 16 bits), 8-bit truncating value + 128,
  // wider ones rounding to the nearest step, ties to even.
  const double steps = std::ldexp(1.0, format_.bits - 1);
  const double high = steps - 1, low = -high;
  const int shift = 32 - format_.bits;
  const bool truncate = format_.bits == 8;
  for (int64_t i = 0; i < frames * channels_; ++i) {
    const double scaled = double(samples[i]) * steps;
    double v = truncate ? std::floor(scaled + 128.0) - 128.0 : std::nearbyint(scaled);
    if (!(scaled <= high && scaled >= low)) {  // NaN counts as clipped, to silence
      v = std::isnan(scaled) ? 0.0 : std::clamp(v, low, high);
      ++clipped_;
    }
    const auto step = static_cast<int64_t>(v);
    scratch_[size_t(i)] = static_cast<int32_t>(static_cast<uint32_t>(step) << shift);
  }
  if (sf_writef_int(handle(file_), scratch_.get(), frames) != frames) failed();
  written_ += frames;
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

}  // namespace vortigen
