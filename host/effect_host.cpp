// The reference host's effect instance and the services it serves.
//
// The services carry no pointer back to the host (readData, for one, gets
// only a buffer, a position and a count), so the host that is calling into
// the plug-in is kept in a thread-local variable for the length of each
// export call, and the static service functions forward to it.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <sstream>
#include <utility>

#include "dialog_services.h"
#include "vthost.h"

namespace vthost {

namespace {

thread_local EffectHost* activeHost = nullptr;

class ActiveHost {
 public:
  explicit ActiveHost(EffectHost* host) : previous_(activeHost) { activeHost = host; }
  ~ActiveHost() { activeHost = previous_; }
  ActiveHost(const ActiveHost&) = delete;
  ActiveHost& operator=(const ActiveHost&) = delete;

 private:
  EffectHost* previous_;
};

// A service called outside any export call has no host to answer it.
EffectHost* host(const char* service) {
  if (activeHost == nullptr) {
    std::fprintf(stderr, "vthost: %s was called outside a call into the plug-in; ignored.\n",
                 service);
  }
  return activeHost;
}

void logCall(Service service, std::vector<long> args, double position = 0.0,
             std::string text = {}) {
  if (EffectHost* h = host(serviceName(service))) {
    h->log(HostCall{service, std::move(args), position, std::move(text)});
  }
}

std::string textOf(LPCSTR text) { return text != nullptr ? text : ""; }

long handleOf(UINT curve) { return static_cast<long>(curve); }

// ---- Streaming services -------------------------------------------------------

LONG XFMAPI readData(void* buffer, LONG position, LONG count) {
  EffectHost* h = host("readData");
  return h != nullptr ? h->serveReadData(buffer, position, count) : 0;
}

LONG XFMAPI writeData(const void* buffer, LONG position, LONG count) {
  EffectHost* h = host("writeData");
  return h != nullptr ? h->serveWriteData(buffer, position, count) : 0;
}

LONG XFMAPI reportProgress(LONG done, LONG total) {
  logCall(Service::ReportProgress, {done, total});
  if (EffectHost* h = activeHost) h->notifyProgress(done, total);
  return 0;
}

LONG XFMAPI setProgressText(LPCSTR text, LONG zero) {
  logCall(Service::SetProgressText, {zero}, 0.0, textOf(text));
  return 0;
}

LONG XFMAPI endProgress() {
  logCall(Service::EndProgress, {});
  return 0;
}

// ---- Curves ---------------------------------------------------------------------

CurveHandle XFMAPI createCurve(LONG xMin, LONG xMax, LONG yMin, LONG yMax, LONG yStart, LONG yEnd) {
  EffectHost* h = host("createCurve");
  return h != nullptr ? h->serveCreateCurve(xMin, xMax, yMin, yMax, yStart, yEnd)
                      : CurveHandle{CurveHandleNone};
}

void XFMAPI getCurveValue(UINT curve, double position, double* result) {
  if (EffectHost* h = host("getCurveValue")) h->serveGetCurveValue(curve, position, result);
}

LONG XFMAPI destroyCurve(UINT curve) {
  if (EffectHost* h = host("destroyCurve")) h->serveDestroyCurve(curve);
  return 0;
}

// A byte range [position, position + count) that lies inside size bytes.
bool insideWaveform(LONG position, LONG count, uint64_t size) {
  return position >= 0 && count >= 0 &&
         static_cast<uint64_t>(position) + static_cast<uint64_t>(count) <= size;
}

}  // namespace

EffectHost* callingHost(const char* service) { return host(service); }

const char* serviceName(Service service) {
  switch (service) {
    case Service::ReadData: return "readData";
    case Service::WriteData: return "writeData";
    case Service::ReportProgress: return "reportProgress";
    case Service::SetProgressText: return "setProgressText";
    case Service::EndProgress: return "endProgress";
    case Service::CreateCurve: return "createCurve";
    case Service::GetCurveValue: return "getCurveValue";
    case Service::DestroyCurve: return "destroyCurve";
    case Service::DialogStart: return "dialogStart";
    case Service::LoadPresets: return "loadPresets";
    case Service::PresetNameCommand: return "presetNameCommand";
    case Service::PresetListCommand: return "presetListCommand";
    case Service::AddPreset: return "addPreset";
    case Service::DeletePreset: return "deletePreset";
    case Service::DrawCurve: return "drawCurve";
    case Service::CurveMouseDown: return "curveMouseDown";
    case Service::CurveMouseUp: return "curveMouseUp";
    case Service::CurveDoubleClick: return "curveDoubleClick";
    case Service::CurveMouseMove: return "curveMouseMove";
    case Service::SetCurveScale: return "setCurveScale";
    case Service::SetCurveLabels: return "setCurveLabels";
    case Service::AttachCurve: return "attachCurve";
  }
  return "unknown service";
}

std::string describe(const HostCall& call) {
  std::ostringstream out;
  out << serviceName(call.service) << "(";
  const char* separator = "";
  for (long arg : call.args) {
    out << separator << arg;
    separator = ", ";
  }
  if (call.service == Service::GetCurveValue) out << separator << call.position;
  if (!call.text.empty()) out << separator << '"' << call.text << '"';
  out << ")";
  return out.str();
}

// ---- Effect instance -------------------------------------------------------------------

EffectHost::EffectHost(PluginLibrary& plugin, WaveFormat format, WaveformStore& store,
                       HostOptions options)
    : EffectHost(plugin, format, std::vector<uint8_t>{}, options) {
  if (store.size() % format_.blockAlign() != 0) {
    throw HostError("The waveform holds " + std::to_string(store.size()) +
                    " bytes, which is no whole number of " + std::to_string(format_.blockAlign()) +
                    "-byte sample frames.");
  }
  store_ = &store;
}

EffectHost::EffectHost(PluginLibrary& plugin, WaveFormat format, std::vector<uint8_t> waveform,
                       HostOptions options)
    : plugin_(plugin), options_(options), format_(format), waveform_(std::move(waveform)) {
  if (format_.bitsPerSample != 8 && format_.bitsPerSample != 16) {
    throw HostError("A waveform of " + std::to_string(format_.bitsPerSample) +
                    "-bit samples cannot be served; use 8 or 16 bits.");
  }
  if (format_.channels != 1 && format_.channels != 2) {
    throw HostError("A waveform of " + std::to_string(format_.channels) +
                    " channels cannot be served; use 1 or 2.");
  }
  if (waveform_.size() % format_.blockAlign() != 0) {
    throw HostError("The waveform holds " + std::to_string(waveform_.size()) +
                    " bytes, which is no whole number of " + std::to_string(format_.blockAlign()) +
                    "-byte sample frames.");
  }
  query(descriptor_);

  record_.channels = format_.channels;
  record_.bitsPerSample = format_.bitsPerSample;
  record_.blockAlign = format_.blockAlign();
  record_.sampleRate = format_.sampleRate;
  record_.instanceMemory = GlobalAlloc(GHND, descriptor_.instanceDataSize);
  if (record_.instanceMemory == nullptr) {
    throw HostError("The host could not allocate the " +
                    std::to_string(descriptor_.instanceDataSize) +
                    " bytes of instance memory that " + plugin_.path() + " asks for.");
  }
  record_.selectionFirst = 0;
  record_.selectionLast = -1;
  record_.readData = readData;
  record_.writeData = writeData;
  record_.cancelFlag = &cancelFlag_;
  record_.reportProgress = options.offerReportProgress ? reportProgress : nullptr;
  record_.setProgressText = options.offerSetProgressText ? setProgressText : nullptr;
  record_.endProgress = options.offerEndProgress ? endProgress : nullptr;
  profilePath_ = "vortigen-presets.ini";
  record_.profilePath = profilePath_.c_str();
  record_.createCurve = createCurve;
  record_.getCurveValue = getCurveValue;
  record_.destroyCurve = destroyCurve;
  installDialogServices(record_);
  record_.autoAccept = AutoAcceptNone;
  record_.showDialog = 0;
}

EffectHost::~EffectHost() {
  if (record_.instanceMemory != nullptr) GlobalFree(record_.instanceMemory);
}

DialogSide& EffectHost::dialogSide() {
  if (dialogSide_ == nullptr) dialogSide_ = std::make_unique<DialogSide>();
  return *dialogSide_;
}

void EffectHost::setProfilePath(std::string path) {
  profilePath_ = std::move(path);
  record_.profilePath = profilePath_.c_str();
}

template <typename Call>
auto EffectHost::callAsActiveHost(Call call) {
  ActiveHost active(this);
  return call();
}

WORD EffectHost::query(XfmDescriptor& descriptor) {
  return callAsActiveHost([&] { return plugin_.queryXfm(&descriptor); });
}

int EffectHost::init() {
  return callAsActiveHost([&] { return plugin_.xfmInit(&record_); });
}

int EffectHost::destroy() {
  return callAsActiveHost([&] { return plugin_.xfmDestroy(&record_); });
}

int EffectHost::setup(HWND parent) {
  return callAsActiveHost([&] { return plugin_.xfmSetup(parent, plugin_.module(), &record_); });
}

int EffectHost::process(LONG first, LONG last) {
  record_.selectionFirst = first;
  record_.selectionLast = last;
  cancelFlag_ = 0;
  writesSeen_ = 0;
  return callAsActiveHost([&] { return plugin_.xfmDo(&record_); });
}

// A lock-free atomic store is what a signal handler may do.
static_assert(std::atomic_ref<int>::is_always_lock_free);

void EffectHost::requestCancel() {
  std::atomic_ref<int>(cancelFlag_).store(1, std::memory_order_relaxed);
}

int EffectHost::process() {
  const LONG frames = static_cast<LONG>(waveformBytes() / format_.blockAlign());
  return process(0, frames - 1);
}

std::vector<HostCall> EffectHost::callsOf(Service service) const {
  std::vector<HostCall> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [service](const HostCall& call) { return call.service == service; });
  return found;
}

LONG EffectHost::serveReadData(void* buffer, LONG position, LONG count) {
  log(HostCall{Service::ReadData, {position, count}, 0.0, {}});
  if (buffer == nullptr || !insideWaveform(position, count, waveformBytes())) {
    refuse("readData was asked for " + std::to_string(count) + " bytes at byte " +
           std::to_string(position) + (buffer == nullptr ? " into no buffer" : "") +
           ", but the waveform holds " + std::to_string(waveformBytes()) + " bytes.");
    return 0;
  }
  if (store_ != nullptr) {
    std::string why;
    if (!store_->read(buffer, static_cast<uint64_t>(position), static_cast<size_t>(count), why)) {
      refuse(why);
      return 0;
    }
    return count;
  }
  std::memcpy(buffer, waveform_.data() + position, static_cast<size_t>(count));
  return count;
}

LONG EffectHost::serveWriteData(const void* buffer, LONG position, LONG count) {
  log(HostCall{Service::WriteData, {position, count}, 0.0, {}});
  std::string why;
  if (buffer == nullptr || !insideWaveform(position, count, waveformBytes())) {
    refuse("writeData was asked to store " + std::to_string(count) + " bytes at byte " +
           std::to_string(position) + (buffer == nullptr ? " from no buffer" : "") +
           ", but the waveform holds " + std::to_string(waveformBytes()) + " bytes.");
  } else if (store_ != nullptr) {
    if (!store_->write(buffer, static_cast<uint64_t>(position), static_cast<size_t>(count), why)) {
      refuse(why);
    }
  } else {
    std::memcpy(waveform_.data() + position, buffer, static_cast<size_t>(count));
  }
  if (++writesSeen_ == cancelAfterWrite_) cancelFlag_ = 1;
  return count;
}

CurveHandle EffectHost::serveCreateCurve(LONG xMin, LONG xMax, LONG yMin, LONG yMax, LONG yStart,
                                         LONG yEnd) {
  log(HostCall{Service::CreateCurve, {xMin, xMax, yMin, yMax, yStart, yEnd}, 0.0, {}});
  // Coordinates arrive as signed 16-bit values, sign-extended.
  auto coordinate = [](LONG value) { return static_cast<int>(static_cast<int16_t>(value)); };
  Curve curve;
  curve.xMin = coordinate(xMin);
  curve.xMax = coordinate(xMax);
  curve.yMin = coordinate(yMin);
  curve.yMax = coordinate(yMax);
  curve.points = {{curve.xMin, coordinate(yStart)}, {curve.xMax, coordinate(yEnd)}};
  if (curve.xMax < curve.xMin) {
    refuse("createCurve was given the x range " + std::to_string(curve.xMin) + ".." +
           std::to_string(curve.xMax) + ", which runs backwards.");
  }
  // 0 means no curve and 0xFFFF a released one: neither is ever handed out.
  while (nextHandle_ == CurveHandleNone || nextHandle_ == CurveHandleDestroyed ||
         findCurve(nextHandle_) != nullptr) {
    ++nextHandle_;
  }
  const CurveHandle handle = nextHandle_++;
  curves_.push_back(LiveCurve{handle, std::move(curve)});
  return handle;
}

void EffectHost::serveGetCurveValue(UINT handle, double position, double* result) {
  log(HostCall{Service::GetCurveValue, {handleOf(handle)}, position, {}});
  const Curve* curve = findCurve(handle);
  if (curve == nullptr || result == nullptr) {
    refuse(curve == nullptr ? "getCurveValue was asked for curve " + std::to_string(handle) +
                                  ", which does not exist."
                            : std::string("getCurveValue was given no place for its result."));
    if (result != nullptr) *result = 0.0;
    return;
  }
  *result = curve->valueAt(position);
}

void EffectHost::serveDestroyCurve(UINT handle) {
  log(HostCall{Service::DestroyCurve, {handleOf(handle)}, 0.0, {}});
  const auto found = std::find_if(curves_.begin(), curves_.end(),
                                  [handle](const LiveCurve& c) { return c.handle == handle; });
  if (found == curves_.end()) {
    refuse("destroyCurve was asked to release curve " + std::to_string(handle) +
           ", which does not exist.");
    return;
  }
  curves_.erase(found);
}

Curve* EffectHost::findCurve(UINT handle) {
  for (LiveCurve& c : curves_) {
    if (c.handle == handle) return &c.curve;
  }
  return nullptr;
}

const Curve* EffectHost::findCurve(UINT handle) const {
  for (const LiveCurve& c : curves_) {
    if (c.handle == handle) return &c.curve;
  }
  return nullptr;
}

bool EffectHost::curveExists(CurveHandle handle) const { return findCurve(handle) != nullptr; }

Curve& EffectHost::curve(CurveHandle handle) {
  Curve* found = findCurve(handle);
  if (found == nullptr) {
    throw HostError("Curve " + std::to_string(handle) + " does not exist in this host.");
  }
  return *found;
}

const Curve& EffectHost::curve(CurveHandle handle) const {
  return const_cast<EffectHost*>(this)->curve(handle);
}

std::vector<WORD> EffectHost::instanceWords() const {
  const size_t count = descriptor_.instanceDataSize / sizeof(WORD);
  const auto* words = static_cast<const WORD*>(GlobalLock(record_.instanceMemory));
  if (words == nullptr) {
    throw HostError("The host could not lock its own instance memory of " + plugin_.path() + ".");
  }
  std::vector<WORD> copy(words, words + count);
  GlobalUnlock(record_.instanceMemory);
  return copy;
}

void EffectHost::setInstanceWord(int index, WORD value) {
  const size_t count = descriptor_.instanceDataSize / sizeof(WORD);
  if (index < 0 || static_cast<size_t>(index) >= count) {
    throw HostError("InstanceData of " + plugin_.path() + " has " + std::to_string(count) +
                    " words; there is no word " + std::to_string(index) + ".");
  }
  auto* words = static_cast<WORD*>(GlobalLock(record_.instanceMemory));
  if (words == nullptr) {
    throw HostError("The host could not lock its own instance memory of " + plugin_.path() + ".");
  }
  words[index] = value;
  GlobalUnlock(record_.instanceMemory);
}

std::vector<CurveHandle> EffectHost::curveHandles() const {
  const std::vector<WORD> words = instanceWords();
  std::vector<CurveHandle> handles;
  const char* types = descriptor_.instanceWordTypes;
  for (size_t i = 0; i < words.size() && i < sizeof descriptor_.instanceWordTypes && types[i] != 0;
       ++i) {
    if (types[i] == 'g') handles.push_back(words[i]);
  }
  return handles;
}

void EffectHost::applyPreset(std::string_view text) {
  const Preset preset = parsePreset(text);
  const std::vector<CurveHandle> handles = curveHandles();
  if (preset.curves.size() != handles.size()) {
    throw HostError(
        "The preset \"" + preset.name + "\" holds " + std::to_string(preset.curves.size()) +
        (preset.curves.size() == 1 ? " point list" : " point lists") + ", but " + plugin_.path() +
        " has " + std::to_string(handles.size()) + " curves; give one point list per curve.");
  }
  for (size_t i = 0; i < handles.size(); ++i) {
    Curve& target = curve(handles[i]);
    const vtengine::CurveRange range{target.xMin, target.xMax, target.yMin, target.yMax};
    if (const CurvePoint* p = vtengine::firstPointOutside(preset.curves[i], range)) {
      throw HostError("The preset \"" + preset.name + "\" puts a point of curve " +
                      std::to_string(i + 1) + " at (" + std::to_string(p->x) + "," +
                      std::to_string(p->y) + "), outside the curve's ranges " +
                      std::to_string(target.xMin) + ".." + std::to_string(target.xMax) + " and " +
                      std::to_string(target.yMin) + ".." + std::to_string(target.yMax) +
                      "; keep every point inside them.");
    }
  }
  for (size_t i = 0; i < handles.size(); ++i) curve(handles[i]).points = preset.curves[i];
}

}  // namespace vthost
