// Messages for the host's log (the LV2 Log feature), dropped when the host
// offers none: a plug-in writes nothing on its host's standard output or
// error. (LV2's own logger helpers fall back to standard error.)
#ifndef VORTIGEN_LV2_HOST_LOG_H
#define VORTIGEN_LV2_HOST_LOG_H

#include <lv2/log/log.h>
#include <lv2/urid/urid.h>

namespace vtlv2 {

struct HostLog {
  LV2_Log_Log* log = nullptr;  // null: messages go nowhere
  LV2_URID error = 0;
  LV2_URID trace = 0;
};

// Instantiation thread. Either may be null.
HostLog makeHostLog(LV2_Log_Log* log, LV2_URID_Map* map);

// Any thread but the audio thread.
void logError(const HostLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Any thread, the audio thread included: LV2 lets only traces be logged
// in a real-time context.
void logTrace(const HostLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace vtlv2

#endif
