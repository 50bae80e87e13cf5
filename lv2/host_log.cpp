// Messages for the host's log, or for nowhere (see host_log.h).
#include "host_log.h"

#include <cstdarg>

namespace vtlv2 {

HostLog makeHostLog(LV2_Log_Log* log, LV2_URID_Map* map) {
  HostLog hostLog{log};
  if (map != nullptr) {
    hostLog.error = map->map(map->handle, LV2_LOG__Error);
    hostLog.trace = map->map(map->handle, LV2_LOG__Trace);
  }
  return hostLog;
}

namespace {

void logAs(const HostLog& log, LV2_URID type, const char* format, va_list args) {
  if (log.log != nullptr) log.log->vprintf(log.log->handle, type, format, args);
}

}  // namespace

void logError(const HostLog& log, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logAs(log, log.error, format, args);
  va_end(args);
}

void logTrace(const HostLog& log, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logAs(log, log.trace, format, args);
  va_end(args);
}

}  // namespace vtlv2
