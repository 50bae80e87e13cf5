// What keeps a vortigen run safe for the user's files and responsive to
// the user: output written beside its place and moved there only when
// complete, Ctrl-C turned into the host's cancel flag, and a progress bar
// fed by the plug-in's progress reports.
#ifndef VORTIGEN_TOOL_VORTIGEN_OUTPUT_H
#define VORTIGEN_TOOL_VORTIGEN_OUTPUT_H

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio_file.h"
#include "progress.h"
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
  void write(const vtmedia::Audio& audio);
  // Runs `writer` on the temporary file's path; an AudioError it throws
  // names the path instead.
  void writeWith(const std::function<void(const std::string& temporary)>& writer);
  // Gives the finished file the permissions, and where the process may
  // the owner and group, the path had (or the usual ones for a new file)
  // and renames it into place.
  void commit();
  // The same, to another path beside it (a kept partial result).
  void commitTo(const std::filesystem::path& path);
  // Copies the finished file to a descriptor (standard output); the
  // temporary is removed at the end as usual.
  void copyTo(int fd);

 private:
  std::filesystem::path target_;
  std::string temporary_;
  int slot_ = -1;  // among the temporaries a second signal removes
  int lock_ = -1;  // held open and locked while the temporary is in use
  bool committed_ = false;
};

// The temporaries OutputFile makes for `path` that no living process holds
// (left by a run that was killed outright): removes them and returns their
// names.
std::vector<std::string> removeAbandonedTemporaries(const std::filesystem::path& path);

// Writes audio to a path through an OutputFile.
void writeAudioSafely(const std::filesystem::path& path, const vtmedia::Audio& audio);

// Turns SIGINT, SIGTERM and SIGHUP into a cancel request for the host that
// is processing, while the object lives. A second signal ends the process
// at once, as usual, but first removes every OutputFile's temporary file.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The signal that arrived, 0 if none.
  static int signal();
};

// How long each progress report is held, for tests
// (VORTIGEN_TEST_PROGRESS_DELAY_MS); 0 normally.
long testProgressDelayMs();

// One effect pass over frames first..last of the host's waveform, its
// progress shown on `bar`, Ctrl-C as cancel; a finished bar stays on the
// screen unless `eraseWhenDone`. Returns false when it was cancelled.
// Throws HostError when the plug-in could not process.
//
// For tests, VORTIGEN_TEST_CANCEL_AFTER_PASS=k cancels after pass k, and
// VORTIGEN_TEST_PROGRESS_DELAY_MS=n holds each progress report n ms.
// `framesDone`, when given, measures the progress in frames of
// `framesTotal` instead of the plug-in's reports (which are polled to
// redraw).
bool processWithProgress(vthost::EffectHost& host, long first, long last, ProgressBar& bar,
                         bool eraseWhenDone = false, const std::function<double()>& framesDone = {},
                         double framesTotal = 0);

// Exit status of a run ended by a signal: 128 + its number.
int interruptedStatus();

}  // namespace vortigen

#endif
