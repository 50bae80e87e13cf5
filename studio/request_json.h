// JSON from a request, read within limits: a body nested thousands deep or
// holding a million items is refused by a sentence naming the limit
// before any value is built from it.
#ifndef VORTIGEN_STUDIO_REQUEST_JSON_H
#define VORTIGEN_STUDIO_REQUEST_JSON_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace vtstudio {

struct JsonLimits {
  size_t bytes = size_t{64} << 10;
  int depth = 8;              // arrays and objects inside one another
  size_t items = 1000;        // in any one array or object
  size_t stringBytes = 4096;  // any string or key
};

// Throws std::invalid_argument with a sentence that names the limit the
// text passes, or says that it is not JSON.
nlohmann::json parseRequestJson(const std::string& text, const JsonLimits& limits = {});

}  // namespace vtstudio

#endif
