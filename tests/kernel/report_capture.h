// Captures the kernel's error reports for a test: installs a handler that
// records every report, and restores handler, mode and status afterwards.
#pragma once

#include <string>
#include <vector>

#include "nsp.h"

struct Report {
  int status;
  std::string funcName;
  std::string context;
  std::string file;
  int line;

  bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& report);

class ReportCapture {
 public:
  ReportCapture();
  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  const std::vector<Report>& reports() const;
  void clear();

 private:
  NspErrorHandler previousHandler_;
  int previousMode_;
};

// A report of a bad argument (-5) as a kernel routine makes it.
Report badArgument(const std::string& funcName, const std::string& context,
                   const std::string& module, int line);
