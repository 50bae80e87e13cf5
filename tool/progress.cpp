#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vortigen {

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

ProgressBar::ProgressBar(std::string label, bool wanted)
    : label_(std::move(label)),
      shown_(wanted && isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
  if (drawn_) std::fputs(erase_ ? "\r\033[K" : "\n", stderr);
}

void ProgressBar::show(double done, double total, const std::string& counted) {
  if (!shown_) return;
  const double fraction = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0.0;
  const int percent = static_cast<int>(fraction * 100.0);
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && percent == percent_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  percent_ = percent;
  drawn_ = true;
  lastDrawn_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const std::string left =
      fraction > 0.001 ? clockText(elapsed * (1 - fraction) / fraction) + " left" : "-:-- left";
  std::string count;
  if (!counted.empty())
    count = " " + std::to_string(long(done)) + "/" + std::to_string(long(total)) + " " + counted;
  const int width = 30;
  const int filled = percent * width / 100;
  std::fprintf(stderr, "\r%s [%s%s] %3d%%%s, %s elapsed, %s\033[K", label_.c_str(),
               std::string(size_t(filled), '#').c_str(),
               std::string(size_t(width - filled), '.').c_str(), percent, count.c_str(),
               clockText(elapsed).c_str(), left.c_str());
  std::fflush(stderr);
}

}  // namespace vortigen
