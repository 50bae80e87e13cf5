#include "file_waveform.h"

#include <algorithm>
#include <cstring>

namespace vortigen {

namespace {

// Frames copied from input to output at a time, and the most the plug-in
// is served at once without growing the buffer further.
constexpr int64_t copyBlockFrames = 16384;

}  // namespace

FileWaveform::FileWaveform(SoundReader& reader, SoundReader& copier, SoundWriter& writer, int bits)
    : reader_(reader),
      copier_(copier),
      writer_(writer),
      bytesPerSample_(bits / 8),
      channels_(reader.info().channels),
      frames_(reader.info().frames) {
  samples_.resize(size_t(copyBlockFrames * channels_));
  ahead_.resize(samples_.size());
  behind_.resize(samples_.size());
}

uint64_t FileWaveform::size() const {
  return uint64_t(frames_) * uint64_t(bytesPerSample_ * channels_);
}

bool FileWaveform::read(void* buffer, uint64_t position, size_t count, std::string& why) {
  const size_t frameBytes = size_t(bytesPerSample_ * channels_);
  if (position % frameBytes != 0 || count % frameBytes != 0) {
    why = "readData was asked for " + std::to_string(count) + " bytes at byte " +
          std::to_string(position) + ", which is no whole number of sample frames.";
    return false;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  int64_t frame = int64_t(position / frameBytes);
  int64_t left = int64_t(count / frameBytes);
  while (left > 0) {
    // The plug-in reads half a frame at a time: the file is read in larger
    // blocks ahead of it.
    if (frame < aheadStart_ || frame >= aheadStart_ + aheadFrames_) {
      aheadStart_ = frame;
      aheadFrames_ = std::min(copyBlockFrames, frames_ - frame);
      const int64_t got = reader_.readInt(frame, ahead_.data(), aheadFrames_);
      // What a truncated file does not hold is silence.
      std::fill(ahead_.begin() + got * channels_, ahead_.begin() + aheadFrames_ * channels_, 0);
    }
    const int64_t n = std::min(left, aheadStart_ + aheadFrames_ - frame);
    const int32_t* samples = ahead_.data() + (frame - aheadStart_) * channels_;
    for (int64_t i = 0; i < n * channels_; ++i) {
      const int32_t s = samples[i];
      if (bytesPerSample_ == 1) {
        *bytes++ = static_cast<unsigned char>((s >> 24) + 128);
      } else {
        const auto v = static_cast<uint16_t>(s >> 16);
        *bytes++ = static_cast<unsigned char>(v & 0xFF);
        *bytes++ = static_cast<unsigned char>(v >> 8);
      }
    }
    frame += n;
    left -= n;
  }
  return true;
}

bool FileWaveform::write(const void* buffer, uint64_t position, size_t count, std::string& why) {
  const size_t frameBytes = size_t(bytesPerSample_ * channels_);
  const int64_t first = int64_t(position / frameBytes);
  if (position % frameBytes != 0 || count % frameBytes != 0 || first < framesDone()) {
    why = "writeData was asked to store " + std::to_string(count) + " bytes at byte " +
          std::to_string(position) +
          ", which is not the next whole sample frames of the output file.";
    return false;
  }
  if (!failure_.empty()) {
    why = failure_;
    return false;
  }
  try {
    copyInputUpTo(first);
    writeBytes(static_cast<const unsigned char*>(buffer), int64_t(count / frameBytes));
  } catch (const AudioError& e) {
    // Nothing may be thrown through the plug-in: the host cancels it.
    failure_ = e.what();
    why = failure_;
    if (onFailure_) onFailure_();
    return false;
  }
  return true;
}

void FileWaveform::writeBytes(const unsigned char* bytes, int64_t frames) {
  for (int64_t f = 0; f < frames; ++f) {
    if (behindFrames_ == copyBlockFrames) flush();
    int32_t* samples = behind_.data() + behindFrames_ * channels_;
    for (int ch = 0; ch < channels_; ++ch) {
      if (bytesPerSample_ == 1) {
        const int v = int(*bytes++) - 128;
        atFullScale_ += v >= 127 || v <= -127;
        samples[ch] = int32_t(uint32_t(v) << 24);
      } else {
        const auto v = static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
        bytes += 2;
        atFullScale_ += v >= 32767 || v <= -32767;
        samples[ch] = int32_t(uint32_t(v) << 16);
      }
    }
    ++behindFrames_;
  }
}

// Writes what the plug-in wrote and is still held here.
void FileWaveform::flush() {
  if (behindFrames_ > 0) writer_.writeInt(behind_.data(), behindFrames_);
  behindFrames_ = 0;
}

void FileWaveform::copyInputUpTo(int64_t frame) {
  flush();
  frame = std::min(frame, frames_);
  while (writer_.framesWritten() < frame) {
    const int64_t at = writer_.framesWritten();
    const int64_t want = std::min(frame - at, copyBlockFrames);
    const int64_t got = copier_.readInt(at, samples_.data(), want);
    std::fill(samples_.begin() + got * channels_, samples_.begin() + want * channels_, 0);
    writer_.writeInt(samples_.data(), want);
  }
}

}  // namespace vortigen
