// What keeps a vortigen run safe for the user's files and responsive to
// the user: output written beside its place and moved there only when
// complete, Ctrl-C turned into the host's cancel flag, and a progress bar
// fed by the plug-in's progress reports.
#ifndef VORTIGEN_HOST_VORTIGEN_OUTPUT_H
#define VORTIGEN_HOST_VORTIGEN_OUTPUT_H

#include <filesystem>
#include <string>

#include "audio_file.h"
#include "vthost.h"

namespace vortigen {

// A file that appears at its path only once it is complete. The
// constructor makes an empty temporary file beside the path (so a
// directory that cannot take it is found before any work is done);
// commit() moves it into place; otherwise it is removed at the end. A
// symbolic link at the path is written through: its target is replaced.
class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The temporary file, with the path's extension.
  const std::string& temporary() const { return temporary_; }
  // Writes the sound into the temporary file; a failure names the path.
  void write(const Audio& audio);
  // Gives the finished file the permissions the path had (or the usual
  // ones for a new file) and renames it into place.
  void commit();

 private:
  std::filesystem::path target_;
  std::string temporary_;
  bool committed_ = false;
};

// Writes audio to a path through an OutputFile.
void writeAudioSafely(const std::filesystem::path& path, const Audio& audio);

// Turns SIGINT and SIGTERM into a cancel request for the host that is
// processing, while the object lives. A second signal ends the process
// at once, as usual.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The signal that arrived, 0 if none.
  static int signal();
};

// One effect pass over frames first..last of the host's waveform, with a
// progress bar on standard error (when it is a terminal and `showProgress`
// is set) and Ctrl-C as cancel; a finished bar stays on the screen unless
// `eraseWhenDone`. Returns false when it was cancelled. Throws HostError
// when the plug-in could not process.
//
// For tests, VORTIGEN_TEST_CANCEL_AFTER_PASS=k cancels after pass k, and
// VORTIGEN_TEST_PROGRESS_DELAY_MS=n holds each progress report n ms.
bool processWithProgress(vthost::EffectHost& host, long first, long last, const std::string& label,
                         bool showProgress, bool eraseWhenDone = false);

// Exit status of a run ended by a signal: 128 + its number.
int interruptedStatus();

}  // namespace vortigen

#endif
