// One LV2 plug-in instance: the engine, the curve sets the preset port
// chooses from, the bypass path, and what the host lent us.
//
// Threads (LV2's threading classes):
//   instantiation  instantiate, activate, deactivate, cleanup, restore
//   audio          connect_port, run, work_response, end_run
//   worker         work (never two at once)
//   save           save (may run while run() does)
// The audio thread allocates nothing and takes no lock; what it must give
// up (old curve tables, old texts) it sends to the worker to free.
#ifndef VORTIGEN_LV2_INSTANCE_H
#define VORTIGEN_LV2_INSTANCE_H

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine.h"
#include "host_log.h"
#include "variants.h"

namespace vtlv2 {

struct Urids {
  LV2_URID atomPath, atomString, atomUrid, atomObject, atomBlank, atomSequence;
  LV2_URID patchSet, patchGet, patchProperty, patchValue;
  LV2_URID presetText, presetFile;
};

// Work sent from the audio thread to the worker: a header, then `size`
// bytes (a preset text, a path) or a Retired record.
enum class Job : std::uint32_t { applyText, readFile, tooLong, release };
struct JobHeader {
  Job job;
  std::uint32_t size;
};

// Owned objects the audio thread no longer uses, freed by the worker.
struct Retired {
  vtengine::CurveTables* tables;
  std::string* text;
  std::string* path;
};

// The worker's answer: new custom curves, their text and (when read from a
// file) the file's path, owned by whoever holds the record.
struct Prepared {
  vtengine::CurveTables* tables;
  std::string* text;
  std::string* path;
};

// The longest preset text or path that patch:Set may carry.
inline constexpr std::uint32_t maxMessageBytes = 16384;
// Audio is processed in pieces of at most this many frames, the size of the
// bypass path's scratch buffers, whatever block length the host uses.
inline constexpr std::uint32_t pieceFrames = 256;

struct Instance {
  const Variant* variant = nullptr;
  const vtengine::EffectInfo* info = nullptr;
  std::unique_ptr<vtengine::Engine> engine;

  // Curve sets by preset-port value: 0 the custom curves, k the built-in
  // preset Item<k>. The active set lives in the engine and its slot is
  // empty; switching swaps tables, so the audio thread never allocates.
  std::vector<std::unique_ptr<vtengine::CurveTables>> curveSets;
  int activeSet = customCurves;

  // Ports.
  const float* presetPort = nullptr;
  const float* enabledPort = nullptr;
  float* latencyPort = nullptr;
  const LV2_Atom_Sequence* controlPort = nullptr;
  LV2_Atom_Sequence* notifyPort = nullptr;
  std::vector<const float*> audioIn;
  std::vector<float*> audioOut;

  // Bypass: the input delayed by the latency, cross-faded with the output.
  std::vector<std::vector<float>> delayLine;  // latency frames per channel
  std::uint32_t delayPosition = 0;
  std::vector<std::vector<float>> dryPiece;  // the current piece's input
  std::vector<const float*> pieceIn;
  std::vector<float*> pieceOut;
  float wetGain = 1.0f;
  float gainStep = 0.0f;  // per frame, a cross-fade of fadeSeconds

  // Host features (any may be missing: lv2apply gives none).
  LV2_URID_Map* map = nullptr;
  LV2_Worker_Schedule* schedule = nullptr;
  HostLog logger{};
  // A custom curve was asked for that cannot be applied without a URID
  // map or a worker: said once, in the log.
  bool missingFeatureLogged = false;
  Urids uris{};
  LV2_Atom_Forge forge{};
  std::vector<char> jobBuffer;  // header + message, built on the audio thread

  // The custom curves' text and file as the audio thread knows them
  // (patch:Get replies), and whether to announce a change at the next run.
  std::unique_ptr<std::string> audioText;
  std::unique_ptr<std::string> audioPath;
  bool announce = false;
  // The same as save() reads them; guarded by stateMutex, which the worker,
  // save and restore take and the audio thread never does.
  std::mutex stateMutex;
  std::string savedText;
  std::string savedPath;
};

inline constexpr double fadeSeconds = 0.02;

// lv2/messages.cpp: patch messages, the worker and the state.
void mapUrids(Instance& self);
void handleControl(Instance& self);                        // audio
void useCustomCurves(Instance& self, Prepared& prepared);  // audio or instantiation
LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle respondHandle, std::uint32_t size,
                       const void* data);
LV2_Worker_Status workResponse(LV2_Handle handle, std::uint32_t size, const void* data);
LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store,
                           LV2_State_Handle stateHandle, std::uint32_t flags,
                           const LV2_Feature* const* features);
LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle stateHandle, std::uint32_t flags,
                              const LV2_Feature* const* features);

}  // namespace vtlv2

#endif
