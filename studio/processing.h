// The studio's sound processing: previews of a selection after each edit,
// and the processed file for export.
#ifndef VORTIGEN_STUDIO_PROCESSING_H
#define VORTIGEN_STUDIO_PROCESSING_H

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dialog_session.h"
#include "sound_files.h"

namespace vtstudio {

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
                               const vortigen::Audio& audio, FrameRange range);

  // The whole sound processed with the preset text by the plug-in itself,
  // as `vortigen EFFECT IN OUT --preset-text TEXT` makes it, in the format
  // the extension of `fileName` chooses; the bytes of that file.
  std::string exportFile(const std::string& effect, const std::string& presetText,
                         const vortigen::Audio& audio, const std::string& fileName);

 private:
  struct Plugins;
  std::unique_ptr<Plugins> plugins_;
  std::mutex mutex_;  // one processing job at a time: the machine has few cores
};

}  // namespace vtstudio

#endif
