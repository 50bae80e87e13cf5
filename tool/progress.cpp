// Progress on standard error: the bar for a terminal, the plain line for
// logs, and the worker's published count.
#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vortigen {

namespace {

// A bar of this process is on the terminal's current line.
bool barOnScreen = false;
std::atomic<int64_t>* publishedFrames = nullptr;

int terminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = std::getenv("COLUMNS");
  const int fromEnvironment = columns != nullptr ? std::atoi(columns) : 0;
  return fromEnvironment > 0 ? fromEnvironment : 80;
}

double fractionOf(const Progress& p) {
  return p.framesTotal > 0 ? std::clamp(p.framesDone / p.framesTotal, 0.0, 1.0) : 0.0;
}

std::string leftText(const Progress& p, double elapsed) {
  const double fraction = fractionOf(p);
  if (fraction >= 1.0) return "0:00";
  if (fraction < 0.001 || elapsed <= 0) return "-:--";
  return clockText(elapsed * (1 - fraction) / fraction);
}

std::string filesText(const Progress& p) {
  return std::to_string(p.filesDone) + "/" + std::to_string(p.filesTotal) + " files";
}

// The first `width` characters of a name, the cut marked.
std::string shortened(const std::string& text, size_t width) {
  if (text.size() <= width) return text;
  if (width < 4) return "";
  return text.substr(0, width - 3) + "...";
}

}  // namespace

std::string clockText(double seconds) {
  const long whole = std::lround(std::max(seconds, 0.0));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

void clearProgressLine() {
  if (isatty(STDERR_FILENO) == 1) std::fputs("\r\033[K", stderr);
  barOnScreen = false;
}

void publishProgressTo(std::atomic<int64_t>* frames) { publishedFrames = frames; }

ProgressBar::ProgressBar(std::string label, bool wanted, double interval)
    : label_(std::move(label)),
      wanted_(wanted),
      terminal_(isatty(STDERR_FILENO) == 1),
      interval_(interval),
      start_(std::chrono::steady_clock::now()),
      lastShown_(start_) {}

ProgressBar::~ProgressBar() {
  if (barOnScreen && percent_ >= 0) std::fputs(erase_ ? "\r\033[K" : "\n", stderr);
  if (percent_ >= 0) barOnScreen = false;
}

// Each part gives way in turn when the terminal is narrow: the bar shrinks
// to its least, then the time elapsed goes, then the name is cut, then the
// bar goes; the rest is cut at the edge. The last column stays free, where
// a terminal would wrap.
std::string ProgressBar::barLine(const Progress& p, double elapsed, int columns) const {
  const size_t room = size_t(std::max(columns - 1, 1));
  const int percent = static_cast<int>(fractionOf(p) * 100.0);
  char share[8];
  std::snprintf(share, sizeof share, "%3d%%", percent);
  const std::string files = p.filesTotal >= 0 ? " " + filesText(p) : "";
  const std::string left = ", " + leftText(p, elapsed) + " left";
  const std::string withElapsed = files + ", " + clockText(elapsed) + " elapsed" + left;
  constexpr size_t leastBar = 10, mostBar = 30;
  const auto line = [&](const std::string& name, const std::string& tail, size_t bar) {
    std::string text = label_ + (name.empty() ? "" : " " + name) + " ";
    if (bar > 0) {
      const size_t filled = size_t(percent) * bar / 100;
      text += "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
    }
    return text + share + tail;
  };
  for (const std::string& tail : {withElapsed, files + left}) {
    const size_t fixed = line(name_, tail, 0).size() + 3;  // "[", "] " around the bar
    if (fixed + leastBar <= room) return line(name_, tail, std::min(mostBar, room - fixed));
  }
  const std::string tail = files + left;
  const size_t withoutName = line("", tail, 0).size() + 1 + 3 + leastBar;
  if (withoutName + 8 <= room) {
    return line(shortened(name_, room - withoutName), tail, leastBar);
  }
  return line(shortened(name_, 16), tail, 0).substr(0, room);
}

std::string ProgressBar::plainLine(const Progress& p, double elapsed) const {
  char numbers[160];
  std::snprintf(numbers, sizeof numbers, "%d%% (%.0f of %.0f frames), %.0f frames/s, %s left",
                static_cast<int>(fractionOf(p) * 100.0), p.framesDone, p.framesTotal,
                elapsed > 0 ? p.framesDone / elapsed : 0.0, leftText(p, elapsed).c_str());
  std::string text = "vortigen: " + label_ + (name_.empty() ? "" : " " + name_) + ": ";
  if (p.filesTotal >= 0) text += filesText(p) + ", ";
  return text + numbers;
}

void ProgressBar::show(const Progress& p) {
  if (publishedFrames != nullptr)
    publishedFrames->store(static_cast<int64_t>(p.framesDone), std::memory_order_relaxed);
  if (!wanted_) return;
  const auto now = std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double sinceShown = std::chrono::duration<double>(now - lastShown_).count();
  if (!terminal_) {
    if (interval_ <= 0 || sinceShown < interval_) return;
    lastShown_ = now;
    std::fprintf(stderr, "%s\n", plainLine(p, elapsed).c_str());
    std::fflush(stderr);
    return;
  }
  const int percent = static_cast<int>(fractionOf(p) * 100.0);
  if (barOnScreen && percent == percent_ && p.filesDone == filesDone_ && sinceShown < 0.1) return;
  percent_ = percent;
  filesDone_ = p.filesDone;
  lastShown_ = now;
  barOnScreen = true;
  std::fprintf(stderr, "\r%s\033[K", barLine(p, elapsed, terminalColumns()).c_str());
  std::fflush(stderr);
}

}  // namespace vortigen
