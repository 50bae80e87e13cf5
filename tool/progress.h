// A progress line on standard error, redrawn in place: a bar, the share
// done, the time elapsed and the time left at the pace so far. It is drawn
// only on a terminal.
#ifndef VORTIGEN_TOOL_PROGRESS_H
#define VORTIGEN_TOOL_PROGRESS_H

#include <chrono>
#include <string>

namespace vortigen {

class ProgressBar {
 public:
  ProgressBar(std::string label, bool wanted);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // `done` of `total` units; `counted` names them after the numbers
  // ("files"), or leaves them out when empty. Redraws at most ten times a
  // second, and whenever the percentage changes.
  void show(double done, double total, const std::string& counted = "");
  // Takes the bar off the screen at the end instead of leaving it.
  void eraseAtEnd() { erase_ = true; }
  bool shown() const { return shown_; }

 private:
  std::string label_;
  bool shown_;
  bool drawn_ = false;
  bool erase_ = false;
  int percent_ = -1;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDrawn_;
};

// "1:05" or "2:03:09".
std::string clockText(double seconds);

}  // namespace vortigen

#endif
