// A sound file streamed through three threads: one reads and decodes, the
// caller's thread processes, one encodes and writes. They pass fixed blocks
// through bounded queues: the blocks are made once, at the start, and go
// round (free, read, processed, written, free again), so memory stays
// constant and nothing is allocated per block. Each thread works on the
// block it holds alone; the queues are the only shared state.
#ifndef VORTIGEN_MEDIA_SOUND_PIPELINE_H
#define VORTIGEN_MEDIA_SOUND_PIPELINE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "sound_stream.h"

namespace vtmedia {

// Interleaved samples of one block: as integers (frames outside the
// selection of an integer file, copied bit for bit, as copyFrames does) or
// as floats (the selection, and every frame of a float file).
struct SoundBlock {
  std::vector<int32_t> ints;
  std::vector<float> floats;
  std::vector<unsigned char> bytes;  // the plug-in path: samples as XfmDo reads and writes them
  int64_t frames = 0;                // held now, up to capacity
  int64_t first = 0;                 // the input frame of the first, as read
  bool integer = false;              // in `ints`, else in `floats`
  bool selected = false;             // frames of the selection, for the effect
};

// Blocks waiting for the next thread; it never holds more than all the
// blocks there are, so its ring is made once.
class BlockQueue {
 public:
  explicit BlockQueue(size_t capacity) : ring_(capacity) {}
  void push(SoundBlock* block);
  // The oldest block; null once closed and empty.
  SoundBlock* pop();
  void close();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<SoundBlock*> ring_;
  size_t head_ = 0;
  size_t count_ = 0;
  bool closed_ = false;
};

// Frames per block for a file of `frames`: a 64th of it, between 2048 and
// 16384 (a third of a second at 44.1 kHz, where handing a block over costs
// next to nothing). A short file's blocks are small, so that a batch of
// them touches few fresh pages.
int64_t blockFramesFor(int64_t frames);

class SoundPipeline {
 public:
  // Starts reading frames 0 .. the end of `reader`, frames first..end (not
  // included) being the selection, and the writing thread. The reader and
  // the writer belong to the pipeline's threads until finish().
  SoundPipeline(SoundReader& reader, SoundWriter& writer, int64_t first, int64_t end,
                int64_t blockFrames = 16384, int blocks = 6);  // blocks >= 3
  ~SoundPipeline();
  SoundPipeline(const SoundPipeline&) = delete;
  SoundPipeline& operator=(const SoundPipeline&) = delete;

  int64_t blockFrames() const { return blockFrames_; }
  int channels() const { return channels_; }
  // The next block read, in the file's order; null at the end, or once the
  // writer failed.
  SoundBlock* next();
  // Gives a block to the writer, with what the caller left in it (`frames`
  // may have changed, up to blockFrames()).
  void write(SoundBlock* block);
  // A block to fill with frames that were not read (the end of a stream
  // the effect holds back), as floats. The first is kept for this, so that
  // it comes at once even while the caller holds a block of its own.
  SoundBlock* spare();
  // Gives a block back unwritten.
  void release(SoundBlock* block);
  // Stops reading, waits until everything given to the writer is written,
  // and joins both threads; rethrows the writer's failure. Afterwards the
  // reader and the writer are the caller's again.
  void finish();

 private:
  void readAll(int64_t first, int64_t end);
  void writeAll();
  SoundReader& reader_;
  SoundWriter& writer_;
  int64_t blockFrames_;
  int channels_;
  std::vector<SoundBlock> blocks_;
  std::vector<int16_t> shorts_;  // the reading thread's samples of an 8- or 16-bit file
  BlockQueue free_, read_, toWrite_;
  SoundBlock* spare_ = nullptr;
  std::atomic<bool> stop_{false};
  std::exception_ptr failure_;
  std::thread readThread_;
  std::thread writeThread_;
  bool finished_ = false;
};

// The selection's blocks as planes, for an effect that writes what it has
// processed after each read (the engine's range run): a block read waits
// until the output written after it goes back into it, so the output
// reaches the writer in the file's order without a copy.
class SelectionPlanes {
 public:
  // `passOn` takes each block outside the selection (gives it to the
  // writer, or back to the pipeline) and says whether to go on; when
  // empty, such blocks go to the writer as read.
  explicit SelectionPlanes(SoundPipeline& pipeline,
                           std::function<bool(SoundBlock*)> passOn = nullptr);
  ~SelectionPlanes();  // gives back the blocks still held
  SelectionPlanes(const SelectionPlanes&) = delete;
  SelectionPlanes& operator=(const SelectionPlanes&) = delete;

  // Splits the next selected block's first `count` frames into `planes`;
  // false at the end, once the writer failed, or when passOn said stop.
  bool read(float* const* planes, size_t count);
  // Joins `count` frames into the oldest block held (a spare one when none
  // is) and gives it to the writer.
  void write(const float* const* planes, size_t count);
  // Gives back the blocks still held, before the pipeline is finished.
  void releaseHeld();

 private:
  SoundPipeline& pipeline_;
  std::function<bool(SoundBlock*)> passOn_;
  std::deque<SoundBlock*> held_;
  int channels_;
};

}  // namespace vtmedia

#endif
