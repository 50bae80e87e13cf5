// The fourier plug-in, "Adds Pure Sound Effect": every bin's level relative
// to the loudest bin of its frame is replaced by the transfer curve's value
// for that level; every bin keeps its phase.
#include "fourier_effect.h"
#include "nsp.h"

namespace {

// ---- The transfer table -------------------------------------------------------------------

// Entry i holds the destination level for relative source level i, both on
// the curve's 0..16384 scale.
constexpr int levelSteps = CurveFullScale;
constexpr int tableEntries = levelSteps + 1;
constexpr float highestLevel = 16383.0f;
constexpr SIZE_T tableBytes = tableEntries * sizeof(float);
static_assert(tableBytes == 65540);

void fillTables(const CurveSampler& curves, void* tables) {
  auto* table = static_cast<float*>(tables);
  for (int i = 0; i < tableEntries; ++i) {
    const double level = sampleCurve(curves, transferWord, i * (1.0 / levelSteps));
    table[i] = level > highestLevel ? highestLevel : static_cast<float>(level);
  }
}

// ---- Frame transform ----------------------------------------------------------------------

// Stands in for the largest magnitude of a silent frame, so that the
// normalisation stays finite.
constexpr float silentFrameMaximum = 1.0e-5f;

// The table index of a normalised magnitude: truncated toward zero and
// kept inside the table whatever the value (a NaN counts as level 0).
int levelIndex(float normalised) {
  if (!(normalised >= 0.0f)) return 0;
  if (normalised >= static_cast<float>(levelSteps)) return levelSteps;
  return static_cast<int>(normalised);
}

// During the transform each frame buffer holds the bins' magnitudes in its
// first N/2 + 1 floats and their phases in the next N/2 + 1.
void analyseFrame(const StageFrames& frames) {
  const FrameGeometry& g = frames.geometry;
  const int bins = g.h + 1;
  forwardTransformFrames(frames);
  for (int ch = 0; ch < g.channels; ++ch) {
    nspcbCartToPolar(frames.spectrum[ch], frames.frame[ch], frames.frame[ch] + bins, bins);
  }
}

void synthesiseFrame(const StageFrames& frames) {
  const FrameGeometry& g = frames.geometry;
  const int bins = g.h + 1;
  const auto* table = static_cast<const float*>(frames.tables);
  for (int ch = 0; ch < g.channels; ++ch) {
    float* magnitudes = frames.frame[ch];
    float* phases = frames.frame[ch] + bins;
    float largest = nspsMax(magnitudes, bins);
    if (largest == 0.0f) largest = silentFrameMaximum;
    // Normalise, look up, scale back: the products are the ones two
    // element-wise scalings would round, taken in one pass over the bins.
    const float toLevels = static_cast<float>(levelSteps) / largest;
    const float fromLevels = largest * (1.0f / static_cast<float>(levelSteps));
    for (int k = 0; k < bins; ++k) {
      magnitudes[k] = table[levelIndex(toLevels * magnitudes[k])] * fromLevels;
    }

    nspcbPolarToCart(magnitudes, phases, frames.spectrum[ch], bins);
    nspsCcsFftNip(frames.spectrum[ch], frames.frame[ch], g.order, NSP_FftInverse);
  }
}

// Every frame stands alone: nothing passes from one to the next.
void transformFrame(const StageFrames& frames, bool) {
  analyseFrame(frames);
  synthesiseFrame(frames);
}

int ownFloats(int) { return 0; }

void prepareWorkingArea(const FrameGeometry&, float*) {}

}  // namespace

// No window and no state between frames: the working area holds only the
// skeleton's buffers.
extern const SpectralStage fourierStage{.ownFloats = ownFloats,
                                        .workingAreaBytes = nullptr,
                                        .tableBytes = tableBytes,
                                        .fillTables = fillTables,
                                        .prepareWorkingArea = prepareWorkingArea,
                                        .transformFrame = transformFrame,
                                        .analyseFrame = analyseFrame,
                                        .carryFrame = nullptr,
                                        .synthesiseFrame = synthesiseFrame};
