// The LV2 plug-ins' two doors for outside text, through the real module as
// a host loads it: a saved state handed to restore (the preset text and
// file path with any type, size and bytes, with or without the host's path
// mapping), and patch:Set / patch:Get messages on the control port (any
// property, value type and bytes, texts longer than a message may be,
// preset files with the fuzzer's bytes), their jobs run by a worker
// between cycles as a host runs them.
//
// Checked besides the sanitizers: every answer is one LV2 allows; the
// output stays finite; the text the instance saves is the last one the
// engine's own reader and the preset-name rule accept (refused texts
// leave the curves and the saved text alone); and what is saved restores
// to the same saved state.
#include <dlfcn.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine.h"
#include "fuzz_check.h"
#include "instance.h"
#include "variants.h"

namespace {

// ---- The host's services ---------------------------------------------------

std::map<std::string, LV2_URID>& uridTable() {
  static std::map<std::string, LV2_URID> table;
  return table;
}

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
  auto& table = uridTable();
  const auto [entry, added] = table.try_emplace(uri, static_cast<LV2_URID>(table.size() + 1));
  return entry->second;
}

LV2_URID_Map uridMap{nullptr, mapUri};
LV2_URID urid(const char* uri) { return mapUri(nullptr, uri); }

int logVPrintf(LV2_Log_Handle, LV2_URID, const char* format, va_list args) {
  char line[512];
  return std::vsnprintf(line, sizeof line, format, args);  // read, not shown
}

int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = logVPrintf(handle, type, format, args);
  va_end(args);
  return written;
}

LV2_Log_Log logService{nullptr, logPrintf, logVPrintf};

// The worker: jobs and responses queued in order, run between cycles.
std::deque<std::vector<std::uint8_t>> jobs, responses;

LV2_Worker_Status queue(std::deque<std::vector<std::uint8_t>>& to, std::uint32_t size,
                        const void* data) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  to.emplace_back(bytes, bytes + size);
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle, std::uint32_t size, const void* data) {
  return queue(jobs, size, data);
}

LV2_Worker_Status respond(LV2_Worker_Respond_Handle, std::uint32_t size, const void* data) {
  return queue(responses, size, data);
}

LV2_Worker_Schedule workerService{nullptr, scheduleWork};

// The host's path mapping: abstract paths are the absolute ones with a
// prefix, as a host that keeps files beside its session would make them.
const std::string mappedPrefix = "session:";

char* abstractPath(LV2_State_Map_Path_Handle, const char* absolute) {
  return strdup((mappedPrefix + absolute).c_str());
}

char* absolutePath(LV2_State_Map_Path_Handle, const char* abstract) {
  const std::string path = abstract;
  return strdup(path.rfind(mappedPrefix, 0) == 0 ? path.substr(mappedPrefix.size()).c_str()
                                                 : path.c_str());
}

LV2_State_Map_Path mapPathService{nullptr, abstractPath, absolutePath};

// A saved state: property → type and bytes, as a host keeps it.
struct StoredValue {
  LV2_URID type;
  std::string bytes;
};
using StoredState = std::map<LV2_URID, StoredValue>;

LV2_State_Status storeValue(LV2_State_Handle handle, std::uint32_t key, const void* value,
                            std::size_t size, std::uint32_t type, std::uint32_t) {
  auto& state = *static_cast<StoredState*>(handle);
  state[key] = {type, std::string(static_cast<const char*>(value), size)};
  return LV2_STATE_SUCCESS;
}

const void* retrieveValue(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                          std::uint32_t* type, std::uint32_t* flags) {
  auto& state = *static_cast<StoredState*>(handle);
  const auto found = state.find(key);
  if (found == state.end()) return nullptr;
  *size = found->second.bytes.size();
  *type = found->second.type;
  *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  return found->second.bytes.data();
}

// ---- The module -------------------------------------------------------------

const LV2_Descriptor* descriptorOf(std::uint32_t index) {
  static void* module = dlopen(VORTIGEN_LV2_MODULE, RTLD_NOW | RTLD_LOCAL);
  FUZZ_CHECK(module != nullptr);
  static auto entry =
      reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(dlsym(module, "lv2_descriptor"));
  FUZZ_CHECK(entry != nullptr);
  return entry(index);
}

constexpr std::uint32_t frames = 256;
// Room for a cycle's messages (each at most a little over the longest
// text a message may carry) and for the replies.
constexpr std::size_t atomBytes = 1 << 18;

// One instance with its ports, driven as a host drives it.
class Plugin {
 public:
  Plugin(std::uint32_t index, bool mapPaths, int preset)
      : variant_(vtlv2::variants[index]), preset_(static_cast<float>(preset)) {
    descriptor_ = descriptorOf(index);
    handle_ = descriptor_->instantiate(descriptor_, 44100, "", features_.data());
    FUZZ_CHECK(handle_ != nullptr);
    worker_ = static_cast<const LV2_Worker_Interface*>(
        descriptor_->extension_data(LV2_WORKER__interface));
    state_ =
        static_cast<const LV2_State_Interface*>(descriptor_->extension_data(LV2_STATE__interface));
    FUZZ_CHECK(worker_ != nullptr && state_ != nullptr);
    stateFeatures_ = {mapPaths ? &mapPathFeature_ : nullptr, nullptr};
    in_.assign(variant_.channels, std::vector<float>(frames));
    out_.assign(variant_.channels, std::vector<float>(frames));
    control_.assign(atomBytes, 0);
    notify_.assign(atomBytes, 0);
    connect(vtlv2::portPreset, &preset_);
    connect(vtlv2::portEnabled, &enabled_);
    connect(vtlv2::portLatency, &latency_);
    connect(vtlv2::portControl, control_.data());
    connect(vtlv2::portNotify, notify_.data());
    for (std::uint32_t c = 0; c < variant_.channels; ++c) {
      connect(vtlv2::audioInPort(c), in_[c].data());
      connect(vtlv2::audioOutPort(variant_, c), out_[c].data());
      for (std::uint32_t i = 0; i < frames; ++i) {
        in_[c][i] = static_cast<float>(0.5 * std::sin(0.03 * (i + 1) * (c + 1)));
      }
    }
    descriptor_->activate(handle_);
    lv2_atom_forge_init(&forge_, &uridMap);
    startMessages();
  }
  ~Plugin() {
    descriptor_->deactivate(handle_);
    descriptor_->cleanup(handle_);
    jobs.clear();
    responses.clear();
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  LV2_Atom_Forge& forge() { return forge_; }

  // One cycle: the messages written since the last, run(), then the
  // worker's jobs and their responses until both queues are empty.
  void cycle() {
    lv2_atom_forge_pop(&forge_, &sequence_);
    reinterpret_cast<LV2_Atom_Sequence*>(notify_.data())->atom.size =
        static_cast<std::uint32_t>(atomBytes - sizeof(LV2_Atom));
    descriptor_->run(handle_, frames);
    for (const auto& channel : out_) {
      for (float sample : channel) FUZZ_CHECK(std::isfinite(sample));
    }
    FUZZ_CHECK(latency_ >= 0.0f);
    while (!jobs.empty() || !responses.empty()) {
      while (!jobs.empty()) {
        const std::vector<std::uint8_t> job = std::move(jobs.front());
        jobs.pop_front();
        const LV2_Worker_Status status = worker_->work(
            handle_, respond, nullptr, static_cast<std::uint32_t>(job.size()), job.data());
        FUZZ_CHECK(status == LV2_WORKER_SUCCESS);
      }
      while (!responses.empty()) {
        const std::vector<std::uint8_t> answer = std::move(responses.front());
        responses.pop_front();
        worker_->work_response(handle_, static_cast<std::uint32_t>(answer.size()), answer.data());
      }
    }
    startMessages();
  }

  StoredState save() {
    StoredState state;
    FUZZ_CHECK(state_->save(handle_, storeValue, &state, 0, stateFeatures_.data()) ==
               LV2_STATE_SUCCESS);
    return state;
  }

  LV2_State_Status restore(StoredState& state) {
    return state_->restore(handle_, retrieveValue, &state, 0, stateFeatures_.data());
  }

 private:
  void connect(std::uint32_t port, void* data) { descriptor_->connect_port(handle_, port, data); }
  void startMessages() {
    lv2_atom_forge_set_buffer(&forge_, control_.data(), control_.size());
    lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
  }

  const vtlv2::Variant& variant_;
  const LV2_Descriptor* descriptor_ = nullptr;
  LV2_Handle handle_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  const LV2_State_Interface* state_ = nullptr;
  LV2_Feature mapFeature_{LV2_URID__map, &uridMap};
  LV2_Feature logFeature_{LV2_LOG__log, &logService};
  LV2_Feature workerFeature_{LV2_WORKER__schedule, &workerService};
  LV2_Feature mapPathFeature_{LV2_STATE__mapPath, &mapPathService};
  const std::vector<const LV2_Feature*> features_{&mapFeature_, &logFeature_, &workerFeature_,
                                                  nullptr};
  std::vector<const LV2_Feature*> stateFeatures_;
  float preset_, enabled_ = 1.0f, latency_ = -1.0f;
  std::vector<std::vector<float>> in_, out_;
  std::vector<std::uint8_t> control_, notify_;
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame sequence_{};
};

// ---- What the plug-in should make of a text ----------------------------------

std::string trimmed(const std::string& text) {
  const char* space = " \t\r\n";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Whether the engine's own reader takes the text for this effect, with the
// one rule for preset names every door shares (one line, nothing the
// profile keeps for itself).
bool engineAccepts(vtengine::Effect effect, const std::string& text) {
  try {
    const vtengine::Preset preset = vtengine::parsePreset(text);
    if (!vtengine::presetNameProblem(preset.name).empty()) return false;
    vtengine::prepareCurves(effect, preset.curves);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string savedText(const StoredState& state) {
  const auto found = state.find(urid(vtlv2::presetTextUri));
  FUZZ_CHECK(found != state.end() && found->second.type == urid(LV2_ATOM__String));
  const std::string& bytes = found->second.bytes;
  FUZZ_CHECK(!bytes.empty() && bytes.back() == '\0');
  return bytes.substr(0, bytes.size() - 1);
}

// The preset file of a cycle's message `m`.
std::string temporaryFile(int m) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/vortigen-lv2-fuzz-" +
         std::to_string(getpid()) + "-" + std::to_string(m) + ".txt";
}

// ---- The two doors --------------------------------------------------------

// A saved state of the fuzzer's making, restored.
void restoreAnything(FuzzedDataProvider& input, Plugin& plugin, vtengine::Effect effect) {
  const LV2_URID types[] = {urid(LV2_ATOM__String), urid(LV2_ATOM__Path), urid(LV2_ATOM__Int)};
  StoredState state;
  const bool withText = input.ConsumeIntegralInRange(0, 7) != 0;
  const LV2_URID textType = input.ConsumeIntegralInRange(0, 7) == 0 ? input.PickValueInArray(types)
                                                                    : urid(LV2_ATOM__String);
  const bool withPath = input.ConsumeBool();
  const LV2_URID pathType =
      input.ConsumeBool() ? input.PickValueInArray(types) : urid(LV2_ATOM__Path);
  const std::string path = input.ConsumeRandomLengthString(300);
  const std::string text = input.ConsumeRemainingBytesAsString();
  if (withText) state[urid(vtlv2::presetTextUri)] = {textType, text};
  if (withPath) state[urid(vtlv2::presetFileUri)] = {pathType, path};

  const std::string before = savedText(plugin.save());
  const LV2_State_Status status = plugin.restore(state);
  const std::string restored = text.substr(0, text.find('\0'));
  const bool usable = withText && textType == urid(LV2_ATOM__String);
  if (!withText) {
    FUZZ_CHECK(status == LV2_STATE_SUCCESS);
  } else if (!usable) {
    FUZZ_CHECK(status == LV2_STATE_ERR_BAD_TYPE);
  } else {
    FUZZ_CHECK((status == LV2_STATE_SUCCESS) == engineAccepts(effect, restored));
  }
  plugin.cycle();
  const std::string after = savedText(plugin.save());
  FUZZ_CHECK(after == (status == LV2_STATE_SUCCESS && usable ? restored : before));
}

// A cycle's worth of patch messages of the fuzzer's making.
void sendAnything(FuzzedDataProvider& input, Plugin& plugin, vtengine::Effect effect,
                  std::string& expected) {
  const LV2_URID properties[] = {urid(vtlv2::presetTextUri), urid(vtlv2::presetFileUri),
                                 urid(LV2_PATCH__value)};
  LV2_Atom_Forge& forge = plugin.forge();
  const int messages = input.ConsumeIntegralInRange(1, 4);
  for (int m = 0; m < messages; ++m) {
    const int kind = input.ConsumeIntegralInRange(0, 9);  // mostly patch:Set
    const LV2_URID otype = kind == 0   ? urid(LV2_PATCH__Get)
                           : kind == 1 ? urid(LV2_PATCH__Put)
                                       : urid(LV2_PATCH__Set);
    const bool withProperty = input.ConsumeIntegralInRange(0, 7) != 0;
    const LV2_URID property = input.PickValueInArray(properties);
    const int valueKind = input.ConsumeIntegralInRange(0, 7);  // 0 none, 1 int, 2 path, else string
    const bool fromFile = input.ConsumeBool();
    // Sometimes longer than a message may be: the text repeated past it.
    const bool tooLong = input.ConsumeIntegralInRange(0, 15) == 0;
    std::string value = input.ConsumeRandomLengthString(2000);
    const std::string once = value;
    while (tooLong && !once.empty() && value.size() <= vtlv2::maxMessageBytes) value += once;

    std::string carried = value;  // what the message holds: the text or a file's path
    if (property == urid(vtlv2::presetFileUri) && fromFile) {
      carried = temporaryFile(m);
      std::ofstream(carried, std::ios::binary) << value;
    }
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_frame_time(&forge, 0);
    lv2_atom_forge_object(&forge, &frame, 0, otype);
    if (withProperty) {
      lv2_atom_forge_key(&forge, urid(LV2_PATCH__property));
      lv2_atom_forge_urid(&forge, property);
    }
    const auto length = static_cast<std::uint32_t>(carried.size());
    if (valueKind != 0) lv2_atom_forge_key(&forge, urid(LV2_PATCH__value));
    if (valueKind == 1) lv2_atom_forge_int(&forge, 7);
    if (valueKind == 2) lv2_atom_forge_path(&forge, carried.data(), length);
    if (valueKind >= 3) lv2_atom_forge_string(&forge, carried.data(), length);
    lv2_atom_forge_pop(&forge, &frame);

    // The new expected text: a patch:Set of the text, or of a file whose
    // contents the engine takes, with a value short enough for a message.
    if (otype != urid(LV2_PATCH__Set) || !withProperty || valueKind < 2) continue;
    // A string atom's text ends at its first NUL; a file holding one is refused.
    const std::string text = carried.substr(0, carried.find('\0'));
    if (text.size() > vtlv2::maxMessageBytes) continue;
    std::string candidate = trimmed(text);
    if (property == urid(vtlv2::presetFileUri)) {
      if (!fromFile || value.find('\0') != std::string::npos) continue;
      candidate = trimmed(value);
    } else if (property != urid(vtlv2::presetTextUri)) {
      continue;
    }
    if (engineAccepts(effect, candidate)) expected = candidate;
  }
  plugin.cycle();
  for (int m = 0; m < messages; ++m) std::remove(temporaryFile(m).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const auto index = input.ConsumeIntegralInRange<std::uint32_t>(0, vtlv2::variants.size() - 1);
  const vtengine::Effect effect = vtlv2::variants[index].effect;
  const bool viaState = input.ConsumeBool();
  const bool mapPaths = input.ConsumeBool();
  Plugin plugin(index, mapPaths, input.ConsumeIntegralInRange(0, 4));
  if (viaState) {
    restoreAnything(input, plugin, effect);
  } else {
    std::string expected = savedText(plugin.save());
    sendAnything(input, plugin, effect, expected);
    FUZZ_CHECK(savedText(plugin.save()) == expected);
  }
  // What is saved restores to the same saved state.
  StoredState saved = plugin.save();
  FUZZ_CHECK(plugin.restore(saved) == LV2_STATE_SUCCESS);
  const StoredState again = plugin.save();
  FUZZ_CHECK(again.size() == saved.size());
  for (const auto& [key, value] : saved) {
    const auto found = again.find(key);
    FUZZ_CHECK(found != again.end() && found->second.bytes == value.bytes &&
               found->second.type == value.type);
  }
  return 0;
}
