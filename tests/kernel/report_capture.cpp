#include "report_capture.h"

#include <ostream>

namespace {

std::vector<Report> captured;

int recordReport(int status, const char* funcName, const char* context, const char* file,
                 int line) {
  captured.push_back({status, funcName ? funcName : "(null)", context ? context : "(null)",
                      file ? file : "(null)", line});
  return status;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Report& r) {
  return out << "{" << r.status << ", " << r.funcName << ", \"" << r.context << "\", " << r.file
             << ":" << r.line << "}";
}

ReportCapture::ReportCapture()
    : previousHandler_(nspSetErrorHandler(recordReport)), previousMode_(nspErrorModeGet()) {
  captured.clear();
  nspStatusSet(NSP_StatusNoError);
}

ReportCapture::~ReportCapture() {
  nspSetErrorHandler(previousHandler_);
  nspErrorModeSet(previousMode_);
  nspStatusSet(NSP_StatusNoError);
  captured.clear();
}

const std::vector<Report>& ReportCapture::reports() const { return captured; }

void ReportCapture::clear() { captured.clear(); }

Report badArgument(const std::string& funcName, const std::string& context,
                   const std::string& module, int line) {
  return {NSP_StatusBadArgument, funcName, context, module, line};
}
