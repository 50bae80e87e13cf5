// The plug-in path's waveform: the host's readData and writeData served
// from an input file and into an output file, in blocks. The plug-in reads
// and writes its selection front to back; the frames before and after the
// selection are copied from the input as the writing reaches them.
//
// Reading and writing run on threads of their own, so that decoding and
// encoding overlap with XfmDo: one thread reads the selection ahead of the
// plug-in, another writes behind it. They pass fixed blocks through
// bounded queues, made once at the start. Where every core already has a
// file of a batch, the same blocks are read and written on the plug-in's
// thread instead: the threads would only take turns with it and each
// other, and waking them costs more than it saves.
#ifndef VORTIGEN_TOOL_FILE_WAVEFORM_H
#define VORTIGEN_TOOL_FILE_WAVEFORM_H

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sound_pipeline.h"
#include "sound_stream.h"
#include "vthost.h"

namespace vortigen {

class FileWaveform : public vthost::WaveformStore {
 public:
  // Samples reach the plug-in as 8-bit unsigned or 16-bit signed bytes,
  // `bits` of `reader`'s channels. `copier` is a second reader of the same
  // file, for the frames outside the selection. Frames from the plug-in's
  // first read up to `readEnd` are read ahead. The reader, the copier and
  // the writer belong to the waveform's threads until finishWriting().
  // Without `threads`, each block is read and written when the plug-in
  // reaches it, on its own thread.
  FileWaveform(vtmedia::SoundReader& reader, vtmedia::SoundReader& copier,
               vtmedia::SoundWriter& writer, int bits, int64_t readEnd, bool threads = true);
  ~FileWaveform() override;
  FileWaveform(const FileWaveform&) = delete;
  FileWaveform& operator=(const FileWaveform&) = delete;

  uint64_t size() const override;
  bool read(void* buffer, uint64_t position, size_t count, std::string& why) override;
  bool write(const void* buffer, uint64_t position, size_t count, std::string& why) override;

  // Copies the input from where the writing stopped up to `frame`, after
  // everything the plug-in wrote.
  void copyInputUpTo(int64_t frame);
  // Waits until everything written or copied is in the output file, and
  // stops both threads; throws AudioError when the output could not be
  // written.
  void finishWriting();
  // Frames of the output written so far (or on their way).
  int64_t framesDone() const { return framesDone_.load(); }
  // Samples the plug-in wrote at full scale, where it clips; known once
  // finishWriting() has returned.
  int64_t atFullScale() const { return atFullScale_; }
  // Called once when the output cannot be written (a full disk); the
  // sentence saying why is failure() from then on.
  void onFailure(std::function<void()> action) { onFailure_ = std::move(action); }
  const std::string& failure() const { return failure_; }

 private:
  bool nextBlockAt(int64_t frame);
  void readAhead(int64_t from);
  void readBlock(vtmedia::SoundBlock* block, int64_t at, std::vector<int16_t>& samples);
  void writeBehind();
  void writeBlock(vtmedia::SoundBlock* block, std::vector<int16_t>& samples);
  void sendToWriter(vtmedia::SoundBlock* block);
  void queueOutput();
  void writeBytes(const unsigned char* bytes, int64_t frames);
  void stopThreads();

  vtmedia::SoundReader& reader_;
  vtmedia::SoundReader& copier_;
  vtmedia::SoundWriter& writer_;
  int bytesPerSample_;
  int channels_;
  int64_t frames_;
  int64_t readEnd_;
  int64_t blockFrames_;  // frames per block: the file's, up to a fixed length
  bool threads_;         // read ahead and written behind, else on the caller's thread
  std::vector<int16_t> callerSamples_;  // without threads: the caller's conversions
  int64_t atFullScale_ = 0;             // counted by the writing thread
  std::atomic<int64_t> framesDone_{0};
  std::vector<vtmedia::SoundBlock> blocks_;

  // Reading ahead: blocks of the selection in order from the first read.
  vtmedia::BlockQueue readFree_, readFull_;
  vtmedia::SoundBlock* reading_ = nullptr;  // the block being served
  int64_t readNext_ = -1;                   // the frame the next block starts at
  std::atomic<bool> stopReading_{false};
  std::thread readThread_;
  std::unique_ptr<vtmedia::SoundReader> stray_;  // for reads out of that order

  // Writing behind: blocks of output, each written after the input up to
  // its first frame has been copied.
  vtmedia::BlockQueue writeFree_, writeFull_;
  vtmedia::SoundBlock* filling_ = nullptr;  // output frames being gathered
  std::atomic<bool> writeFailed_{false};
  std::string writeFailure_;  // set by the writing thread before writeFailed_
  std::thread writeThread_;

  std::function<void()> onFailure_;
  std::string failure_;
};

}  // namespace vortigen

#endif
