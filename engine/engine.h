// vtengine: the plug-ins' spectral stages on float audio of any length and
// channel count, for the tool, the LV2 plug-ins and the studio. It drives
// the same SpectralStage records the plug-in libraries use, framed and
// cross-faded exactly as XfmDo frames them, so that its output, clipped
// and quantised as XfmDo does, is what the plug-ins write.
//
// Construction, parsing and prepareCurves allocate and may throw
// EngineError. process, finish, reset and useCurves allocate nothing and do
// no I/O; with one thread (the default) they take no lock either.
#ifndef VORTIGEN_ENGINE_ENGINE_H
#define VORTIGEN_ENGINE_ENGINE_H

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "built_in_preset.h"
#include "curves.h"

namespace vtengine {

enum class Effect { Dynamic, Fourier };

struct EffectInfo {
  Effect effect;
  std::string_view name;                      // "dynamic" / "fourier"
  std::string_view description;               // "Dynamic and Chaos Effects" / ...
  std::vector<std::string_view> curveNames;   // {"attack","release","chaos"} / {"transfer"}
  std::vector<PointList> initialCurves;       // the curves XfmInit creates
  std::vector<BuiltInPreset> builtInPresets;  // the plug-in's own table, in key order
};

// The frame length N the plug-ins take at this sample rate: 1024 from
// 44100 Hz, 512 from 22050 Hz, else 256. A selection of N / 2 sample frames
// or fewer is given back unchanged.
int frameLengthFor(double sampleRate);

// The integer scale (EngineSettings::integerScale) on which the curves mean
// what they mean in the plug-ins for integer samples of this many bits:
// 8-bit samples on the plug-ins' 8-bit scale, all others (and float) on the
// 16-bit one.
float integerScaleForBits(int bitsPerSample);

// Frees the FFT tables the kernel keeps for every engine of the process.
// Only where no Engine exists any more and none is being made: a module
// that holds the engine calls it as it is unloaded, so that a host that
// loads and unloads it gets the memory back.
void releaseSharedTables() noexcept;

// Every effect, in the order of the Effect values.
const std::vector<Effect>& allEffects();
const EffectInfo& effectInfo(Effect effect);
// "dynamic" or "fourier", in any letter case.
std::optional<Effect> effectNamed(std::string_view name);

// The stage's tables sampled from a set of curves, ready for an Engine of
// the same effect.
class CurveTables {
 public:
  ~CurveTables();
  CurveTables(const CurveTables&) = delete;
  CurveTables& operator=(const CurveTables&) = delete;
  Effect effect() const noexcept { return effect_; }

 private:
  friend std::unique_ptr<CurveTables> prepareCurves(Effect, const std::vector<PointList>&);
  friend const void* tableData(const CurveTables& tables);
  CurveTables(Effect effect, std::size_t bytes);

  Effect effect_;
  std::vector<double> storage_;  // the stage's table bytes, aligned for any of its values
};

// Any thread; allocates. Throws EngineError if the number of curves is not
// the effect's, or a point lies outside 0..16384 or x falls.
std::unique_ptr<CurveTables> prepareCurves(Effect effect, const std::vector<PointList>& curves);

struct EngineSettings {
  Effect effect = Effect::Dynamic;
  std::vector<PointList> curves;  // empty: the effect's initial curves
  double sampleRate = 44100;      // frame length by the plug-ins' rule: 1024 from 44100 Hz,
                                  // 512 from 22050, else 256
  int channels = 2;               // any count >= 1: pairs go through the paired transform,
                                  // an odd last channel alone
  float integerScale = 32768.0f;  // float 1.0 is this many steps of the plug-ins' integer scale
                                  // (32768: the 16-bit scale; 128 reproduces 8-bit XfmDo exactly)
  int threads = 1;                // threads that transform frames: with more than one, process
                                  // and finish hand frames to helper threads and wait for them
                                  // (not for a real-time thread); the output is the same
};

class Engine {
 public:
  // Allocates everything the stream needs; throws EngineError naming a
  // setting that cannot be used.
  explicit Engine(const EngineSettings& settings);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Sample frames by which output lags input: N - 1, fixed.
  int latency() const;
  int frameLength() const;  // N
  int channels() const;
  double sampleRate() const;
  Effect effect() const;

  // Any block length, 0 and 1 included; out[c] may be the same buffer as
  // in[c]. Output is float on the same scale as input, not clipped.
  void process(const float* const* in, float* const* out, std::size_t sampleFrames) noexcept;
  // End of stream: writes exactly latency() sample frames, the rest of the
  // output, so that the output of process() over L sample frames plus
  // finish(), without its first latency() sample frames, is the L sample
  // frames XfmDo would write for a selection of those L sample frames.
  // Afterwards the engine is ready for a new stream, as after reset().
  void finish(float* const* out) noexcept;
  // Back to the start of a new stream, same curves.
  void reset() noexcept;
  // Audio thread: swaps in tables prepared elsewhere (prepareCurves, same
  // effect); the previous tables come back in `tables`, to be freed off the
  // audio thread. Tables of another effect, or none, are left where they
  // are and the engine keeps its own.
  void useCurves(std::unique_ptr<CurveTables>& tables) noexcept;

 private:
  struct Stream;
  std::unique_ptr<Stream> stream_;
};

}  // namespace vtengine

#endif
