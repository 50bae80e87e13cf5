// The studio's sound processing: previews of a selection after each edit,
// and the processed file for export.
#ifndef VORTIGEN_STUDIO_PROCESSING_H
#define VORTIGEN_STUDIO_PROCESSING_H

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialog_session.h"
#include "sound_files.h"

namespace vtstudio {

// Thrown by a preview whose stop check said a newer one replaced it.
struct PreviewStopped : std::runtime_error {
  PreviewStopped() : std::runtime_error("A newer preview replaced this one.") {}
};

class Processing {
 public:
  // pluginPaths: effect name to plug-in library, as for DialogSession.
  explicit Processing(const std::map<std::string, std::string>& pluginPaths);
  ~Processing();

  // The range of the sound as the effect with these curves makes it, as
  // 16-bit interleaved samples: the float engine's output, quantised and
  // clipped to the sound's own sample size as the plug-in would write it.
  // Throws std::runtime_error (or vtengine::EngineError) naming the fault.
  std::vector<int16_t> preview(const std::string& effect, const CurveSet& curves,
                               const vtmedia::Audio& audio, FrameRange range);

  // Part of that preview: the frames `part` (inside `selection`) as the
  // preview of the whole selection has them, computed from a little before
  // `part` on, so that the stretch a person is hearing can be delivered
  // first. `stop` is asked between blocks; when it says true the work ends
  // with PreviewStopped. A preview waiting for another to finish asks it
  // too before it starts.
  std::vector<int16_t> previewPart(const std::string& effect, const CurveSet& curves,
                                   const vtmedia::Audio& audio, FrameRange selection,
                                   FrameRange part, const std::function<bool()>& stop);

  // The whole sound processed with the preset text as `vortigen EFFECT IN
  // OUT --preset-text TEXT` makes it, in the container the extension of
  // `fileName` chooses: a file of 8- or 16-bit PCM by the plug-in itself,
  // any other (24-bit, float) by the engine from the file read again,
  // through the tool's sound pipeline, in the file's own sample format.
  // The bytes of that file.
  std::string exportFile(const std::string& effect, const std::string& presetText,
                         const Sound& sound, const std::string& fileName);

 private:
  struct Plugins;
  std::unique_ptr<Plugins> plugins_;
  std::mutex mutex_;  // one processing job at a time: the machine has few cores
};

}  // namespace vtstudio

#endif
