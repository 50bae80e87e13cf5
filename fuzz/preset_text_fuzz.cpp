// Preset texts as the host reads them from a profile. A text is either
// refused with HostError or read into a preset that obeys the text's rules;
// a preset written back as text reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vthost::Preset preset;
  try {
    preset = vthost::parsePreset(text);
  } catch (const vthost::HostError&) {
    return 0;
  }
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
