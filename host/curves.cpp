// Curve objects of the reference host and the preset texts that set them:
// the engine's curve model over the curve's own ranges.
#include "vthost.h"

namespace vthost {

double Curve::valueAt(double position) const {
  if (points.empty()) return yMin;
  return vtengine::curveValueAtX(points, xMin + position * (xMax - xMin));
}

Preset parsePreset(std::string_view text) {
  try {
    return vtengine::parsePreset(text);
  } catch (const vtengine::EngineError& e) {
    throw HostError(e.what());
  }
}

}  // namespace vthost
