// The three-thread sound pipeline: queues, the reading and the writing
// thread.
#include "sound_pipeline.h"

#include <algorithm>
#include <utility>

#include "sample_convert.h"

namespace vtmedia {

void BlockQueue::push(SoundBlock* block) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ring_[(head_ + count_) % ring_.size()] = block;
    ++count_;
  }
  changed_.notify_one();
}

SoundBlock* BlockQueue::pop() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return count_ > 0 || closed_; });
  if (count_ == 0) return nullptr;
  SoundBlock* block = ring_[head_];
  head_ = (head_ + 1) % ring_.size();
  --count_;
  return block;
}

void BlockQueue::close() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

int64_t blockFramesFor(int64_t frames) { return std::clamp<int64_t>(frames / 64, 2048, 16384); }

SoundPipeline::SoundPipeline(SoundReader& reader, SoundWriter& writer, int64_t first, int64_t end,
                             int64_t blockFrames, int blocks)
    : reader_(reader),
      writer_(writer),
      blockFrames_(blockFrames),
      channels_(reader.info().channels),
      blocks_(size_t(blocks)),
      free_(size_t(blocks)),
      read_(size_t(blocks)),
      toWrite_(size_t(blocks)) {
  const auto samples = size_t(blockFrames * channels_);
  // Integers are read only outside the selection of an integer file.
  const bool integers =
      reader.info().format.isInteger() && (first > 0 || end < reader.info().frames);
  for (SoundBlock& block : blocks_) {
    if (integers) block.ints.resize(samples);
    block.floats.resize(samples);
    if (&block != &blocks_.back()) free_.push(&block);
  }
  // 8- and 16-bit files are read as 16-bit samples and made floats here,
  // in one vector loop, rather than by the library one sample at a time.
  if (reader.info().format.isInteger() && reader.info().format.bits <= 16) shorts_.resize(samples);
  // The last block is kept back for spare(): while the caller holds one
  // block, the reader may have filled all the others.
  spare_ = &blocks_.back();
  readThread_ = std::thread([this, first, end] { readAll(first, end); });
  writeThread_ = std::thread([this] { writeAll(); });
}

SoundPipeline::~SoundPipeline() {
  try {
    finish();
  } catch (...) {
    // Unwinding already: the first failure is the one reported.
  }
}

// Before the selection and after it, integer files are read as integers
// (copied exactly, whatever the depth); the selection, and float files, as
// floats. Frames a truncated file does not hold are silence.
void SoundPipeline::readAll(int64_t first, int64_t end) {
  const int64_t frames = reader_.info().frames;
  const bool integerFile = reader_.info().format.isInteger();
  int64_t at = 0;
  while (at < frames && !stop_.load()) {
    SoundBlock* block = free_.pop();
    if (block == nullptr) break;
    const bool selected = at >= first && at < end;
    const int64_t limit = selected ? end : at < first ? first : frames;
    const int64_t want = std::min(blockFrames_, limit - at);
    block->first = at;
    block->frames = want;
    block->selected = selected;
    block->integer = integerFile && !selected;
    if (block->integer) {
      const int64_t got = reader_.readInt(at, block->ints.data(), want);
      std::fill(block->ints.begin() + got * channels_, block->ints.begin() + want * channels_, 0);
    } else {
      int64_t got = 0;
      if (!shorts_.empty()) {
        got = reader_.readShort(at, shorts_.data(), want);
        shortsToFloats(shorts_.data(), block->floats.data(), size_t(got * channels_));
      } else {
        got = reader_.readFloat(at, block->floats.data(), want);
      }
      std::fill(block->floats.begin() + got * channels_, block->floats.begin() + want * channels_,
                0.0f);
    }
    at += want;
    read_.push(block);
  }
  read_.close();
}

// After a failure the blocks are only given back, so that no thread waits
// for one.
void SoundPipeline::writeAll() {
  while (SoundBlock* block = toWrite_.pop()) {
    if (!failure_ && block->frames > 0) {
      try {
        if (block->integer) {
          writer_.writeInt(block->ints.data(), block->frames);
        } else {
          writer_.writeFloat(block->floats.data(), block->frames);
        }
      } catch (...) {
        failure_ = std::current_exception();
        stop_.store(true);
      }
    }
    free_.push(block);
  }
}

SoundBlock* SoundPipeline::next() {
  if (stop_.load()) return nullptr;
  return read_.pop();
}

void SoundPipeline::write(SoundBlock* block) { toWrite_.push(block); }

SoundBlock* SoundPipeline::spare() {
  SoundBlock* block = spare_ != nullptr ? spare_ : free_.pop();
  spare_ = nullptr;
  block->frames = 0;
  block->integer = false;
  block->selected = true;
  return block;
}

void SoundPipeline::release(SoundBlock* block) { free_.push(block); }

void SoundPipeline::finish() {
  if (finished_) return;
  finished_ = true;
  toWrite_.close();
  writeThread_.join();
  // The reader may wait for a free block: what it read and nobody took is
  // given back unused until it sees the stop and closes its queue.
  stop_.store(true);
  while (SoundBlock* block = read_.pop()) free_.push(block);
  readThread_.join();
  if (failure_) std::rethrow_exception(failure_);
}

SelectionPlanes::SelectionPlanes(SoundPipeline& pipeline, std::function<bool(SoundBlock*)> passOn)
    : pipeline_(pipeline), passOn_(std::move(passOn)), channels_(pipeline.channels()) {}

SelectionPlanes::~SelectionPlanes() { releaseHeld(); }

bool SelectionPlanes::read(float* const* planes, size_t count) {
  SoundBlock* block = pipeline_.next();
  while (block != nullptr && !block->selected) {
    if (passOn_) {
      if (!passOn_(block)) return false;
    } else {
      pipeline_.write(block);
    }
    block = pipeline_.next();
  }
  if (block == nullptr) return false;  // the writer failed: finish() says why
  held_.push_back(block);
  splitChannels(block->floats.data(), channels_, count, planes);
  return true;
}

void SelectionPlanes::write(const float* const* planes, size_t count) {
  SoundBlock* block = held_.empty() ? pipeline_.spare() : held_.front();
  if (!held_.empty()) held_.pop_front();
  block->frames = static_cast<int64_t>(count);
  joinChannels(planes, channels_, count, block->floats.data());
  pipeline_.write(block);
}

void SelectionPlanes::releaseHeld() {
  for (SoundBlock* block : held_) pipeline_.release(block);
  held_.clear();
}

}  // namespace vtmedia
