// vthost: a reference host for the plug-ins. It loads a plug-in library,
// and for one effect instance does what the audio editor does: builds the
// XfmDoRecord over an in-memory waveform, serves every host service, keeps
// the curve objects, and logs every call the plug-in makes into it.
//
// Failures of the host itself (a library that does not load, a malformed
// preset text) throw HostError with one sentence saying what went wrong.
// Bad requests from the plug-in (a read outside the waveform, an unknown
// curve handle) are never fatal: the host refuses them and records a
// sentence in errors().
#ifndef VORTIGEN_HOST_VTHOST_H
#define VORTIGEN_HOST_VTHOST_H

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "curves.h"
#include "xfm.h"

namespace vthost {

struct DialogSide;

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A plug-in library loaded with the dynamic loader, reached only through
// its exports.
class PluginLibrary {
 public:
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& path() const { return path_; }
  // The module handle the plug-in receives in XfmSetup.
  HINSTANCE module() const { return module_; }

  XfmQueryProc queryXfm = nullptr;
  XfmInitProc xfmInit = nullptr;
  XfmSetupProc xfmSetup = nullptr;
  XfmDoProc xfmDo = nullptr;
  XfmDestroyProc xfmDestroy = nullptr;
  DLGPROC dialogProcedure = nullptr;

 private:
  std::string path_;
  HINSTANCE module_ = nullptr;
};

// Sample format of a waveform: 8-bit unsigned or 16-bit signed PCM, one
// or two interleaved channels.
struct WaveFormat {
  WORD channels = 1;
  WORD bitsPerSample = 16;
  LONG sampleRate = 44100;

  WORD blockAlign() const { return static_cast<WORD>(channels * (bitsPerSample / 8)); }
};

// Points and presets are the engine's curve model.
using vtengine::CurvePoint;
using vtengine::Preset;

// A host curve object: ranges and the points the user drew.
struct Curve {
  int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  std::vector<CurvePoint> points;

  // y at position p, which stands for x = xMin + p (xMax - xMin): linear
  // between points, the end value before the first point and after the
  // last; where two points share an x, the later one's y holds from that x
  // on.
  double valueAt(double position) const;
};

// Reads a preset text, "Name,3,n,x,y,...,n,x,y,...": a name, a number and
// one point list per curve. Throws HostError naming the text and what is
// wrong with it.
Preset parsePreset(std::string_view text);

enum class Service {
  ReadData,
  WriteData,
  ReportProgress,
  SetProgressText,
  EndProgress,
  CreateCurve,
  GetCurveValue,
  DestroyCurve,
  DialogStart,
  LoadPresets,
  PresetNameCommand,
  PresetListCommand,
  AddPreset,
  DeletePreset,
  DrawCurve,
  CurveMouseDown,
  CurveMouseUp,
  CurveDoubleClick,
  CurveMouseMove,
  SetCurveScale,
  SetCurveLabels,
  AttachCurve
};

const char* serviceName(Service service);

// One call the plug-in made into the host. args holds the integer
// arguments in order (readData/writeData: byte position, byte count;
// reportProgress: done, total; curve services: the handle first);
// position is getCurveValue's position; text the text argument.
struct HostCall {
  Service service;
  std::vector<long> args;
  double position = 0.0;
  std::string text;
};

std::string describe(const HostCall& call);

// Which optional services the host offers.
struct HostOptions {
  bool offerReportProgress = true;
  bool offerSetProgressText = true;
  bool offerEndProgress = true;
  // Keep every call in calls(). A host that processes long files and
  // looks at no log turns it off.
  bool logCalls = true;
};

// A waveform kept outside the host, such as a file read and written in
// blocks: the host serves readData and writeData from it. Positions and
// counts are in bytes and lie inside size(). A request that cannot be
// served returns false with one sentence in `why`; the host refuses it.
class WaveformStore {
 public:
  virtual ~WaveformStore() = default;
  virtual uint64_t size() const = 0;
  virtual bool read(void* buffer, uint64_t position, size_t count, std::string& why) = 0;
  virtual bool write(const void* buffer, uint64_t position, size_t count, std::string& why) = 0;
};

// One effect instance over one waveform: in memory, or in a store that
// outlives the host. The waveform's bytes are interleaved sample frames of
// the given format.
class EffectHost {
 public:
  EffectHost(PluginLibrary& plugin, WaveFormat format, std::vector<uint8_t> waveform,
             HostOptions options = {});
  EffectHost(PluginLibrary& plugin, WaveFormat format, WaveformStore& store,
             HostOptions options = {});
  ~EffectHost();
  EffectHost(const EffectHost&) = delete;
  EffectHost& operator=(const EffectHost&) = delete;

  // The exports, called with this host's record.
  WORD query(XfmDescriptor& descriptor);
  int init();
  int destroy();
  int setup(HWND parent = nullptr);
  // Processes sample frames first .. last (inclusive) of the waveform.
  int process(LONG first, LONG last);
  // Processes the whole waveform.
  int process();
  // The store given to the constructor, null for an in-memory waveform.
  WaveformStore* store() { return store_; }

  // The record as the plug-in receives it; tests may change its fields.
  XfmDoRecord& record() { return record_; }
  const XfmDescriptor& descriptor() const { return descriptor_; }
  const std::vector<uint8_t>& waveform() const { return waveform_; }
  std::vector<uint8_t>& waveform() { return waveform_; }

  const std::vector<HostCall>& calls() const { return calls_; }
  std::vector<HostCall> callsOf(Service service) const;
  void clearCalls() { calls_.clear(); }
  // Requests of the plug-in that the host refused, one sentence each.
  const std::vector<std::string>& errors() const { return errors_; }

  // The 16-bit words of InstanceData, read under a lock of the block.
  std::vector<WORD> instanceWords() const;
  void setInstanceWord(int index, WORD value);
  // The handles in the instance's curve words ('g' in the descriptor), in
  // word order.
  std::vector<CurveHandle> curveHandles() const;

  // The host's side of the settings dialog that is open, or was last
  // (dialog_services.h).
  DialogSide& dialogSide();
  // The profile file handed to the plug-in; "vortigen-presets.ini" unless
  // set.
  void setProfilePath(std::string path);

  bool curveExists(CurveHandle handle) const;
  // Throws HostError for a handle that names no live curve.
  Curve& curve(CurveHandle handle);
  const Curve& curve(CurveHandle handle) const;
  // Sets every curve of the instance from a preset text.
  void applyPreset(std::string_view text);

  // The cancel flag turns nonzero during the plug-in's kth write, which is
  // the write of pass k: the plug-in sees it right after that pass. 0 never.
  void cancelAfterPass(int pass) { cancelAfterWrite_ = pass; }
  // Sets the cancel flag the plug-in reads after every pass; safe to call
  // from a signal handler. process() clears the flag when it starts.
  void requestCancel();
  // Called with reportProgress's done and total bytes, after the call is
  // logged.
  void setProgressHandler(std::function<void(long done, long total)> handler) {
    progressHandler_ = std::move(handler);
  }
  void notifyProgress(long done, long total) {
    if (progressHandler_) progressHandler_(done, total);
  }

  // Service entry points; public for the static trampolines only.
  LONG serveReadData(void* buffer, LONG position, LONG count);
  LONG serveWriteData(const void* buffer, LONG position, LONG count);
  void log(HostCall call) {
    if (options_.logCalls) calls_.push_back(std::move(call));
  }
  void refuse(std::string sentence) { errors_.push_back(std::move(sentence)); }
  CurveHandle serveCreateCurve(LONG xMin, LONG xMax, LONG yMin, LONG yMax, LONG yStart, LONG yEnd);
  void serveGetCurveValue(UINT curve, double position, double* result);
  void serveDestroyCurve(UINT curve);

 private:
  struct LiveCurve {
    CurveHandle handle;
    Curve curve;
  };
  Curve* findCurve(UINT handle);
  const Curve* findCurve(UINT handle) const;
  template <typename Call>
  auto callAsActiveHost(Call call);

  PluginLibrary& plugin_;
  HostOptions options_;
  WaveFormat format_;
  std::vector<uint8_t> waveform_;
  WaveformStore* store_ = nullptr;  // null: the waveform is waveform_
  uint64_t waveformBytes() const { return store_ != nullptr ? store_->size() : waveform_.size(); }
  XfmDescriptor descriptor_{};
  XfmDoRecord record_{};
  int cancelFlag_ = 0;
  int cancelAfterWrite_ = 0;
  int writesSeen_ = 0;
  std::vector<HostCall> calls_;
  std::vector<std::string> errors_;
  std::vector<LiveCurve> curves_;
  CurveHandle nextHandle_ = 1;
  std::string profilePath_;
  std::unique_ptr<DialogSide> dialogSide_;
  std::function<void(long, long)> progressHandler_;
};

}  // namespace vthost

#endif
