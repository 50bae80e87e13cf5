#include "audio_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "sound_stream.h"

namespace vtmedia {

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

std::string lowerExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

}  // namespace

int containerFor(const std::string& path) {
  const std::string ext = lowerExtension(path);
  if (ext == "wav") return SF_FORMAT_WAV;
  if (ext == "aif" || ext == "aiff") return SF_FORMAT_AIFF;
  if (ext == "flac") return SF_FORMAT_FLAC;
  if (ext == "ogg" || ext == "oga") return SF_FORMAT_OGG;
  return 0;
}

namespace {

bool isEightBit(int subtype) { return subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8; }

void storeSample16(std::vector<uint8_t>& bytes, size_t i, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  bytes[2 * i] = static_cast<uint8_t>(bits & 0xFF);
  bytes[2 * i + 1] = static_cast<uint8_t>(bits >> 8);
}

// Reads a file's frames in chunks, so that memory follows the samples the
// file really holds rather than the frame count its header claims: a
// damaged header of a few bytes may claim billions.
template <typename Sample>
std::vector<Sample> readAllFrames(SNDFILE* file, sf_count_t frames, int channels,
                                  sf_count_t (*read)(SNDFILE*, Sample*, sf_count_t),
                                  const std::string& path) {
  constexpr sf_count_t chunkFrames = sf_count_t{1} << 16;
  std::vector<Sample> samples;
  for (sf_count_t done = 0; done < frames;) {
    const sf_count_t want = std::min(chunkFrames, frames - done);
    const size_t at = samples.size();
    samples.resize(at + static_cast<size_t>(want) * static_cast<size_t>(channels));
    if (read(file, samples.data() + at, want) != want) {
      throw AudioError("cannot read all of '" + path + "': " + sf_strerror(file));
    }
    done += want;
  }
  return samples;
}

}  // namespace

bool isWritableAudioPath(const std::string& path) { return containerFor(path) != 0; }

Audio readAudio(const std::string& path) {
  SF_INFO info{};
  SndfilePtr file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    std::string reason = sf_strerror(nullptr);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
    throw AudioError("cannot read '" + path + "': " + reason +
                     "; check the path and that it is a WAV, AIFF, FLAC or Ogg Vorbis file");
  }
  if (info.channels < 1 || info.channels > 2) {
    throw AudioError("'" + path + "' has " + std::to_string(info.channels) +
                     " channels; the effects process mono or stereo only (mix it down first)");
  }
  if (info.frames <= 0) {
    throw AudioError("'" + path + "' holds no samples; give a file with sound in it");
  }
  if (info.samplerate < 1000 || info.samplerate > 768000) {
    throw AudioError("'" + path + "' has a sample rate of " + std::to_string(info.samplerate) +
                     " Hz; the tool handles 1000 to 768000 Hz (resample it first)");
  }
  // Every byte position the plug-in receives is a 32-bit signed number.
  if (info.frames > INT32_MAX / (2 * info.channels)) {
    throw AudioError("'" + path + "' is too long: at most " +
                     std::to_string(INT32_MAX / (2 * info.channels)) +
                     " sample frames fit the plug-in interface (split it first)");
  }

  Audio audio;
  audio.channels = info.channels;
  audio.sampleRate = info.samplerate;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const auto samples = static_cast<size_t>(info.frames) * info.channels;
  audio.bitsPerSample = isEightBit(subtype) ? 8 : 16;
  if (!isEightBit(subtype) && subtype != SF_FORMAT_PCM_16) {
    audio.conversionNote = std::string("'") + path + "' holds " +
                           SampleFormat{.subtype = subtype}.describe() +
                           " samples; they are converted to 16-bit PCM for processing";
  }

  if (audio.bitsPerSample == 8 || subtype == SF_FORMAT_PCM_16) {
    // Exact: 8-bit samples arrive as value * 256, 16-bit ones as they are.
    const std::vector<short> pcm =
        readAllFrames<short>(file.get(), info.frames, info.channels, sf_readf_short, path);
    if (audio.bitsPerSample == 8) {
      audio.bytes.resize(samples);
      for (size_t i = 0; i < samples; ++i)
        audio.bytes[i] = static_cast<uint8_t>((pcm[i] >> 8) + 128);
    } else {
      audio.bytes.resize(samples * 2);
      for (size_t i = 0; i < samples; ++i) storeSample16(audio.bytes, i, pcm[i]);
    }
    return audio;
  }

  // Everything else arrives as floats with full scale at 1.0; overs clip
  // instead of wrapping around.
  const std::vector<float> values =
      readAllFrames<float>(file.get(), info.frames, info.channels, sf_readf_float, path);
  audio.bytes.resize(samples * 2);
  for (size_t i = 0; i < samples; ++i) {
    const double scaled = std::nearbyint(double(values[i]) * 32768.0);
    storeSample16(audio.bytes, i, static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0)));
  }
  return audio;
}

void writeAudio(const std::string& path, const Audio& audio) {
  const int container = containerFor(path);
  if (container == 0) {
    throw AudioError("cannot write '" + path +
                     "': unknown extension; use .wav, .aiff, .flac or .ogg");
  }
  int subtype = audio.bitsPerSample == 8 ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_16;
  if (container == SF_FORMAT_WAV && audio.bitsPerSample == 8) subtype = SF_FORMAT_PCM_U8;
  if (container == SF_FORMAT_OGG) subtype = SF_FORMAT_VORBIS;

  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.sampleRate;
  info.format = container | subtype;
  if (!sf_format_check(&info)) {
    throw AudioError("cannot write '" + path + "': this container does not take " +
                     std::to_string(audio.bitsPerSample) + "-bit samples");
  }
  SndfilePtr file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) {
    throw AudioError("cannot write '" + path + "': " + sf_strerror(nullptr));
  }

  const size_t samples = audio.bytes.size() / (audio.bitsPerSample / 8);
  std::vector<short> pcm(samples);
  for (size_t i = 0; i < samples; ++i) {
    if (audio.bitsPerSample == 8) {
      pcm[i] = static_cast<short>((audio.bytes[i] - 128) * 256);
    } else {
      pcm[i] = static_cast<short>(audio.bytes[2 * i] | (audio.bytes[2 * i + 1] << 8));
    }
  }
  const sf_count_t frames = static_cast<sf_count_t>(samples / audio.channels);
  if (sf_writef_short(file.get(), pcm.data(), frames) != frames) {
    throw AudioError("cannot write all of '" + path + "': " + sf_strerror(file.get()));
  }
  if (sf_close(file.release()) != 0) {
    throw AudioError("cannot finish '" + path + "': the disk may be full");
  }
}

}  // namespace vtmedia
