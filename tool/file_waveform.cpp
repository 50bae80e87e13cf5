#include "file_waveform.h"

#include <algorithm>
#include <cstring>

#include "sample_convert.h"

namespace vortigen {

namespace {

// Blocks each thread may be ahead or behind by.
constexpr size_t queuedBlocks = 4;

}  // namespace

FileWaveform::FileWaveform(vtmedia::SoundReader& reader, vtmedia::SoundReader& copier,
                           vtmedia::SoundWriter& writer, int bits, int64_t readEnd, bool threads)
    : reader_(reader),
      copier_(copier),
      writer_(writer),
      bytesPerSample_(bits / 8),
      channels_(reader.info().channels),
      frames_(reader.info().frames),
      readEnd_(std::min(readEnd, reader.info().frames)),
      blockFrames_(vtmedia::blockFramesFor(reader.info().frames)),
      threads_(threads),
      blocks_(2 * queuedBlocks),
      readFree_(queuedBlocks),
      readFull_(queuedBlocks),
      writeFree_(queuedBlocks),
      writeFull_(queuedBlocks) {
  // Blocks hold the plug-in's bytes alone; each thread converts through
  // 16-bit samples of its own. Their length (blockFramesFor) is also the
  // most the plug-in is served at once from one block.
  const auto samples = size_t(blockFrames_ * channels_);
  for (size_t i = 0; i < blocks_.size(); ++i) {
    blocks_[i].bytes.resize(samples * size_t(bytesPerSample_));
    blocks_[i].integer = true;
    (i < queuedBlocks ? readFree_ : writeFree_).push(&blocks_[i]);
  }
  if (threads_) {
    writeThread_ = std::thread([this] { writeBehind(); });
  } else {
    callerSamples_.resize(samples);
  }
}

FileWaveform::~FileWaveform() { stopThreads(); }

void FileWaveform::stopThreads() {
  if (readThread_.joinable()) {
    stopReading_.store(true);
    readFree_.close();
    readThread_.join();
  }
  if (writeThread_.joinable()) {
    writeFull_.close();
    writeThread_.join();
  }
}

uint64_t FileWaveform::size() const {
  return uint64_t(frames_) * uint64_t(bytesPerSample_ * channels_);
}

// The reading thread: the selection from `from` on, block by block, until
// stopped.
void FileWaveform::readAhead(int64_t from) {
  std::vector<int16_t> samples(size_t(blockFrames_ * channels_));
  for (int64_t at = from; at < readEnd_ && !stopReading_.load();) {
    vtmedia::SoundBlock* block = readFree_.pop();
    if (block == nullptr) break;
    readBlock(block, at, samples);
    at += block->frames;
    readFull_.push(block);
  }
  readFull_.close();
}

// The selection's block from `at`, as the plug-in's bytes. What a
// truncated file does not hold is silence.
void FileWaveform::readBlock(vtmedia::SoundBlock* block, int64_t at,
                             std::vector<int16_t>& samples) {
  const int64_t want = std::min(blockFrames_, readEnd_ - at);
  const int64_t got = reader_.readShort(at, samples.data(), want);
  std::fill(samples.begin() + got * channels_, samples.begin() + want * channels_, 0);
  vtmedia::shortsToPcmBytes(samples.data(), block->bytes.data(), size_t(want * channels_),
                            bytesPerSample_);
  block->first = at;
  block->frames = want;
}

// Makes the block that starts at `frame` the one served, when the reading
// thread has it (or, without threads, once read here): the plug-in's first
// read starts the reading, and each later block is the one after the last.
// False for any other frame.
bool FileWaveform::nextBlockAt(int64_t frame) {
  if (readNext_ < 0 && frame < readEnd_) {
    readNext_ = frame;
    if (threads_) readThread_ = std::thread([this, frame] { readAhead(frame); });
  }
  if (frame != readNext_ || frame >= readEnd_) return false;
  if (!threads_) {
    if (reading_ == nullptr) reading_ = readFree_.pop();
    readBlock(reading_, frame, callerSamples_);
    readNext_ = frame + reading_->frames;
    return true;
  }
  if (reading_ != nullptr) readFree_.push(reading_);
  reading_ = readFull_.pop();
  if (reading_ == nullptr) return false;
  readNext_ = reading_->first + reading_->frames;
  return true;
}

bool FileWaveform::read(void* buffer, uint64_t position, size_t count, std::string& why) {
  const size_t frameBytes = size_t(bytesPerSample_ * channels_);
  if (position % frameBytes != 0 || count % frameBytes != 0 ||
      position / frameBytes + count / frameBytes > uint64_t(frames_)) {
    why = "readData was asked for " + std::to_string(count) + " bytes at byte " +
          std::to_string(position) + ", which is no whole number of sample frames of the file.";
    return false;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  int64_t frame = int64_t(position / frameBytes);
  int64_t left = int64_t(count / frameBytes);
  while (left > 0) {
    const bool inBlock = reading_ != nullptr && frame >= reading_->first &&
                         frame < reading_->first + reading_->frames;
    int64_t n = 0;
    if (inBlock || nextBlockAt(frame)) {
      n = std::min(left, reading_->first + reading_->frames - frame);
      std::memcpy(bytes, reading_->bytes.data() + size_t(frame - reading_->first) * frameBytes,
                  size_t(n) * frameBytes);
    } else {
      // Out of the order read ahead: read here, from a reader of its own.
      if (stray_ == nullptr) stray_ = std::make_unique<vtmedia::SoundReader>(reader_.path());
      n = std::min(left, blockFrames_);
      std::vector<int16_t> samples(size_t(n * channels_));
      const int64_t got = stray_->readShort(frame, samples.data(), n);
      std::fill(samples.begin() + got * channels_, samples.end(), 0);
      vtmedia::shortsToPcmBytes(samples.data(), bytes, size_t(n * channels_), bytesPerSample_);
    }
    bytes += size_t(n) * frameBytes;
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
  if (failure_.empty() && writeFailed_.load()) {
    // Nothing may be thrown through the plug-in: the host cancels it.
    failure_ = writeFailure_;
    if (onFailure_) onFailure_();
  }
  if (!failure_.empty()) {
    why = failure_;
    return false;
  }
  copyInputUpTo(first);
  writeBytes(static_cast<const unsigned char*>(buffer), int64_t(count / frameBytes));
  return true;
}

// Gathers the plug-in's frames into blocks for the writing thread.
void FileWaveform::writeBytes(const unsigned char* bytes, int64_t frames) {
  const auto frameBytes = size_t(bytesPerSample_ * channels_);
  while (frames > 0) {
    if (filling_ != nullptr && filling_->frames == blockFrames_) queueOutput();
    if (filling_ == nullptr) {
      filling_ = writeFree_.pop();
      filling_->first = framesDone();
      filling_->frames = 0;
    }
    const int64_t n = std::min(frames, blockFrames_ - filling_->frames);
    std::memcpy(filling_->bytes.data() + size_t(filling_->frames) * frameBytes, bytes,
                size_t(n) * frameBytes);
    bytes += size_t(n) * frameBytes;
    frames -= n;
    filling_->frames += n;
    framesDone_.store(filling_->first + filling_->frames);
  }
}

void FileWaveform::queueOutput() {
  if (filling_ == nullptr) return;
  sendToWriter(filling_);
  filling_ = nullptr;
}

// To the writing thread, or written here and given back at once.
void FileWaveform::sendToWriter(vtmedia::SoundBlock* block) {
  if (threads_) {
    writeFull_.push(block);
  } else {
    writeBlock(block, callerSamples_);
    writeFree_.push(block);
  }
}

void FileWaveform::copyInputUpTo(int64_t frame) {
  frame = std::min(frame, frames_);
  if (frame <= framesDone()) return;
  // An empty block at `frame`: the writing thread copies the input up to it.
  queueOutput();
  vtmedia::SoundBlock* gap = writeFree_.pop();
  gap->first = frame;
  gap->frames = 0;
  sendToWriter(gap);
  framesDone_.store(frame);
}

// The writing thread: the blocks in order until closed.
void FileWaveform::writeBehind() {
  std::vector<int16_t> samples(size_t(blockFrames_ * channels_));
  while (vtmedia::SoundBlock* block = writeFull_.pop()) {
    writeBlock(block, samples);
    writeFree_.push(block);
  }
}

// The input up to the block's first frame, then its frames. After a
// failure blocks are only passed over, so that the plug-in's thread never
// waits for one.
void FileWaveform::writeBlock(vtmedia::SoundBlock* block, std::vector<int16_t>& samples) {
  if (writeFailed_.load()) return;
  try {
    while (writer_.framesWritten() < block->first) {
      const int64_t at = writer_.framesWritten();
      const int64_t want = std::min(block->first - at, blockFrames_);
      const int64_t got = copier_.readShort(at, samples.data(), want);
      std::fill(samples.begin() + got * channels_, samples.begin() + want * channels_, 0);
      writer_.writeShort(samples.data(), want);
    }
    if (block->frames > 0) {
      atFullScale_ += vtmedia::pcmBytesToShorts(block->bytes.data(), samples.data(),
                                                size_t(block->frames * channels_), bytesPerSample_);
      writer_.writeShort(samples.data(), block->frames);
    }
  } catch (const vtmedia::AudioError& e) {
    writeFailure_ = e.what();
    writeFailed_.store(true);
  }
}

void FileWaveform::finishWriting() {
  queueOutput();
  stopThreads();
  if (writeFailed_.load()) {
    failure_ = writeFailure_;
    throw vtmedia::AudioError(failure_);
  }
}

}  // namespace vortigen
