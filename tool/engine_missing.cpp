// Until the engine library is part of the build: the engine path refuses.
#include "engine_path.h"

namespace vortigen {

bool throughEngine(const EngineRun& r, int64_t&, std::string&) {
  throw vthost::HostError("This build has no engine, so " + r.reader.path() +
                          " cannot be processed; give 8- or 16-bit mono or stereo input, or --path plugin.");
}

}  // namespace vortigen
