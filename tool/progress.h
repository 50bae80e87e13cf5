// Progress on standard error. On a terminal: one line redrawn in place (the
// effect, the file, a bar, the share done, the time elapsed and left),
// fitted to the terminal's width. Elsewhere (a log, a scheduler's output
// file): a plain line every so many seconds, with the frames done, the
// rate and the time left. The time left is the work still to do at the
// pace so far, counted in frames of sound, so that a long file weighs as
// much as it takes.
#ifndef VORTIGEN_TOOL_PROGRESS_H
#define VORTIGEN_TOOL_PROGRESS_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace vortigen {

struct Progress {
  double framesDone = 0;
  double framesTotal = 0;
  int filesDone = -1;  // in a batch: the files finished, of filesTotal; else -1
  int filesTotal = -1;
};

// Seconds between the lines written when standard error is no terminal,
// unless the run gives --progress-interval.
constexpr double defaultProgressInterval = 30.0;

class ProgressBar {
 public:
  // `wanted` false: nothing is shown (--quiet). `interval`: seconds between
  // lines without a terminal, 0 for none.
  ProgressBar(std::string label, bool wanted, double interval = defaultProgressInterval);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // The file being processed, named after the label.
  void setName(std::string name) { name_ = std::move(name); }
  // Redraws at most ten times a second and whenever the percentage changes
  // (on a terminal), or writes a line once the interval has passed.
  void show(const Progress& progress);
  void show(double framesDone, double framesTotal) { show(Progress{framesDone, framesTotal}); }
  // Takes the bar off the screen at the end instead of leaving it.
  void eraseAtEnd() { erase_ = true; }

  // The line for a terminal `columns` wide, or the plain line; for tests
  // and for show().
  std::string barLine(const Progress& progress, double elapsed, int columns) const;
  std::string plainLine(const Progress& progress, double elapsed) const;

 private:
  std::string label_;
  std::string name_;
  bool wanted_;
  bool terminal_;
  double interval_;
  bool erase_ = false;
  int percent_ = -1;
  int filesDone_ = -1;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
};

// Takes a progress bar off the terminal's current line, so that a message
// starts on a line of its own (a bar drawn by another process of the batch
// included); nothing when standard error is no terminal.
void clearProgressLine();

// In a batch worker: where every progress report of this process stores
// the frames done, for the parent's bar (memory shared with it).
void publishProgressTo(std::atomic<int64_t>* frames);

// "1:05" or "2:03:09".
std::string clockText(double seconds);

}  // namespace vortigen

#endif
