// The command line's own error: a request the tool cannot carry out as
// given (an unknown preset, a malformed option value, an output that
// cannot hold the asked depth). The tool reports it and exits with 2.
#ifndef VORTIGEN_TOOL_USAGE_ERROR_H
#define VORTIGEN_TOOL_USAGE_ERROR_H

#include <stdexcept>

namespace vortigen {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vortigen

#endif  // VORTIGEN_TOOL_USAGE_ERROR_H
