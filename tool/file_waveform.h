// The plug-in path's waveform: the host's readData and writeData served
// from an input file and into an output file, in blocks. The plug-in reads
// and writes its selection front to back; the frames before and after the
// selection are copied from the input as the writing reaches them.
#ifndef VORTIGEN_TOOL_FILE_WAVEFORM_H
#define VORTIGEN_TOOL_FILE_WAVEFORM_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound_stream.h"
#include "vthost.h"

namespace vortigen {

class FileWaveform : public vthost::WaveformStore {
 public:
  // Samples reach the plug-in as 8-bit unsigned or 16-bit signed bytes,
  // `bits` of `reader`'s channels. `copier` is a second reader of the same
  // file, for the frames outside the selection.
  FileWaveform(SoundReader& reader, SoundReader& copier, SoundWriter& writer, int bits);

  uint64_t size() const override;
  bool read(void* buffer, uint64_t position, size_t count, std::string& why) override;
  bool write(const void* buffer, uint64_t position, size_t count, std::string& why) override;

  // Copies the input from where the writing stopped up to `frame`, after
  // everything the plug-in wrote.
  void copyInputUpTo(int64_t frame);
  // Frames of the output written so far.
  int64_t framesDone() const { return writer_.framesWritten() + behindFrames_; }
  // Samples the plug-in wrote at full scale, where it clips.
  int64_t atFullScale() const { return atFullScale_; }
  // Called once when the output cannot be written (a full disk); the
  // sentence saying why is failure() from then on.
  void onFailure(std::function<void()> action) { onFailure_ = std::move(action); }
  const std::string& failure() const { return failure_; }

 private:
  void writeBytes(const unsigned char* bytes, int64_t frames);
  void flush();
  SoundReader& reader_;
  SoundReader& copier_;
  SoundWriter& writer_;
  int bytesPerSample_;
  int channels_;
  int64_t frames_;
  int64_t atFullScale_ = 0;
  std::vector<int32_t> samples_;
  std::vector<int32_t> ahead_;  // input frames from aheadStart_
  int64_t aheadStart_ = 0;
  int64_t aheadFrames_ = 0;
  std::vector<int32_t> behind_;  // output frames the plug-in wrote, not yet in the file
  int64_t behindFrames_ = 0;
  std::function<void()> onFailure_;
  std::string failure_;
};

}  // namespace vortigen

#endif
