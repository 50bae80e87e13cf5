// The LV2 plug-ins of the bundle, their ports and URIs: stated once here,
// read by the plug-in code (lv2/plugin.cpp) and by the program that writes
// the bundle's Turtle (lv2/ttl_writer.cpp), so the two cannot disagree.
#ifndef VORTIGEN_LV2_VARIANTS_H
#define VORTIGEN_LV2_VARIANTS_H

#include <array>
#include <cstdint>
#include <string_view>

#include "engine.h"

namespace vtlv2 {

// Every URI of ours lies under this namespace (no one else's domain).
inline constexpr std::string_view uriBase = "https://vortigen.example/lv2/";
inline constexpr const char* presetTextUri = "https://vortigen.example/lv2/params#presetText";
inline constexpr const char* presetFileUri = "https://vortigen.example/lv2/params#presetFile";

// One plug-in per effect and channel layout. The mono variants exist so
// that hosts which match a plug-in's channels to the track (mono tracks in
// most editors) can insert the effect without running a second, discarded
// channel; their output equals the tool's on mono files.
struct Variant {
  const char* uri;
  const char* symbol;  // the plug-in's name in the bundle's file names
  vtengine::Effect effect;
  std::uint32_t channels;
};

inline constexpr std::array<Variant, 4> variants{{
    {"https://vortigen.example/lv2/dynamic", "dynamic", vtengine::Effect::Dynamic, 2},
    {"https://vortigen.example/lv2/fourier", "fourier", vtengine::Effect::Fourier, 2},
    {"https://vortigen.example/lv2/dynamic-mono", "dynamic-mono", vtengine::Effect::Dynamic, 1},
    {"https://vortigen.example/lv2/fourier-mono", "fourier-mono", vtengine::Effect::Fourier, 1},
}};

// Port indices. The control ports come first so that their indices are the
// same in every variant; the audio ports follow, inputs then outputs.
enum Port : std::uint32_t {
  portPreset = 0,   // control in: 0 custom curves, k the built-in preset Item<k>
  portEnabled = 1,  // control in: lv2:enabled, 0 bypasses with a cross-fade
  portLatency = 2,  // control out: the latency in frames (lv2:reportsLatency)
  portControl = 3,  // atom in: patch:Set / patch:Get of the parameters
  portNotify = 4,   // atom out: patch:Set replies and notifications
  firstAudioPort = 5,
};

inline constexpr std::uint32_t audioInPort(std::uint32_t channel) {
  return firstAudioPort + channel;
}
inline constexpr std::uint32_t audioOutPort(const Variant& v, std::uint32_t channel) {
  return firstAudioPort + v.channels + channel;
}
inline constexpr std::uint32_t portCount(const Variant& v) {
  return firstAudioPort + 2 * v.channels;
}

// The value of the preset port that selects the custom curves.
inline constexpr int customCurves = 0;

}  // namespace vtlv2

#endif
