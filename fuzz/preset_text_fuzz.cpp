// Preset texts as the host reads them from a profile, and as the engine
// reads them. A text is either refused or read into a preset that obeys
// the text's rules; a preset written back as text reads back the same; and
// the host's reader and the engine's agree on every text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "curves.h"
#include "fuzz_check.h"
#include "vthost.h"

namespace {

std::string textOf(const vthost::Preset& preset) {
  std::string text = preset.name + "," + std::to_string(preset.version);
  for (const auto& curve : preset.curves) {
    text += "," + std::to_string(curve.size());
    for (const vthost::CurvePoint& p : curve) {
      text += "," + std::to_string(p.x) + "," + std::to_string(p.y);
    }
  }
  return text;
}

// The engine's reading of the text, or nothing where it refuses it.
bool engineReads(const std::string& text, vtengine::Preset& preset) {
  try {
    preset = vtengine::parsePreset(text);
    return true;
  } catch (const vtengine::EngineError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vtengine::Preset engine;
  const bool engineAccepts = engineReads(text, engine);
  vthost::Preset preset;
  try {
    preset = vthost::parsePreset(text);
  } catch (const vthost::HostError&) {
    FUZZ_CHECK(!engineAccepts);
    return 0;
  }
  FUZZ_CHECK(engineAccepts);
  FUZZ_CHECK(engine.name == preset.name && engine.version == preset.version &&
             engine.curves.size() == preset.curves.size());
  for (size_t c = 0; c < preset.curves.size(); ++c) {
    FUZZ_CHECK(engine.curves[c].size() == preset.curves[c].size());
    for (size_t i = 0; i < preset.curves[c].size(); ++i) {
      FUZZ_CHECK(engine.curves[c][i].x == preset.curves[c][i].x &&
                 engine.curves[c][i].y == preset.curves[c][i].y);
    }
  }
  vtengine::Preset engineAgain;
  FUZZ_CHECK(engineReads(vtengine::presetText(engine), engineAgain));
  FUZZ_CHECK(engineAgain.name == engine.name && engineAgain.version == engine.version &&
             engineAgain.curves == engine.curves);
  FUZZ_CHECK(!preset.name.empty() && preset.name.find(',') == std::string::npos);
  FUZZ_CHECK(!preset.curves.empty());
  for (const auto& curve : preset.curves) {
    FUZZ_CHECK(!curve.empty());
    for (size_t i = 1; i < curve.size(); ++i) FUZZ_CHECK(curve[i - 1].x <= curve[i].x);
  }
  const vthost::Preset again = vthost::parsePreset(textOf(preset));
  FUZZ_CHECK(again.name == preset.name && again.version == preset.version &&
             again.curves == preset.curves);
  return 0;
}
