// A small LV2 host on lilv for the tests: loads the bundle the build wrote,
// instantiates a plug-in with URID map, log and a worker that runs between
// cycles, and drives it block by block. Sending patch messages, reading
// the notify port, saving and restoring state and loading presets go
// through lilv as a real host's would.
#ifndef VORTIGEN_TESTS_LV2_TEST_HOST_H
#define VORTIGEN_TESTS_LV2_TEST_HOST_H

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lv2test {

using Channels = std::vector<std::vector<float>>;

inline constexpr const char* dynamicUri = "https://vortigen.example/lv2/dynamic";
inline constexpr const char* fourierUri = "https://vortigen.example/lv2/fourier";
inline constexpr const char* dynamicMonoUri = "https://vortigen.example/lv2/dynamic-mono";
inline constexpr const char* fourierMonoUri = "https://vortigen.example/lv2/fourier-mono";
inline constexpr const char* presetTextUri = "https://vortigen.example/lv2/params#presetText";
inline constexpr const char* presetFileUri = "https://vortigen.example/lv2/params#presetFile";

// Set around the calls a host makes on its audio thread (run and
// work_response), so that an allocation check can tell them apart.
bool& inAudioThread();

// The lilv world with our bundle, and the URID map every instance shares.
class World {
 public:
  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  LilvWorld* lilv() const { return world_; }
  const LilvPlugin* plugin(const std::string& uri) const;
  LV2_URID map(const char* uri);
  const char* unmap(LV2_URID urid);
  LV2_URID_Map* uridMap() { return &map_; }
  LV2_URID_Unmap* uridUnmap() { return &unmap_; }
  LV2_Log_Log* log() { return &log_; }
  // Error and warning lines the plug-ins logged, oldest first.
  std::vector<std::string> errors();
  // Every line the plug-ins logged, of any type (traces and notes too).
  std::vector<std::string> messages();

 private:
  LilvWorld* world_;
  std::mutex mutex_;
  std::map<std::string, LV2_URID> ids_;
  std::vector<std::string> uris_;
  std::vector<std::string> errors_;
  std::vector<std::string> messages_;
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
  LV2_Log_Log log_;
  friend int logPrintf(LV2_Log_Handle, LV2_URID, const char*, ...);
  friend int logVPrintf(LV2_Log_Handle, LV2_URID, const char*, va_list);
};

// One instance, its ports and its worker.
class Instance {
 public:
  Instance(World& world, const std::string& uri, double rate = 44100, bool withWorker = true);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool valid() const { return instance_ != nullptr; }
  const LV2_Descriptor* descriptor() const { return lilv_instance_get_descriptor(instance_); }
  int channels() const { return channels_; }
  void setControl(const std::string& symbol, float value);
  // Connects a control port to nothing, as a host may leave an optional one.
  void disconnectControl(const std::string& symbol);
  float latency() const { return latency_; }

  // Runs the whole input through in blocks of `block` frames; returns the
  // output, as long as the input.
  Channels process(const Channels& input, std::size_t block);
  // One cycle of `frames` frames from/to the instance's own buffers, for the
  // allocation and thread tests: responses, run(), then the worker's jobs.
  void cycle(std::uint32_t frames);
  std::vector<float*> inputs() const;
  std::vector<float*> outputs() const;

  // patch messages for the next cycle.
  void patchSetText(const std::string& text);
  void patchSetFile(const std::string& path);
  void patchGet();
  // patch:Set messages seen on the notify port: property URI → value.
  const std::map<std::string, std::string>& notified() const { return notified_; }

  LilvState* saveState(const std::string& dir);
  void restoreState(const LilvState* state);
  void restoreState(World& world, const LilvNode* preset);

 private:
  void patchSet(const char* property, LV2_URID type, const std::string& value);
  void readNotify();
  void doWork();
  void deliverResponses();

  World& world_;
  const LilvPlugin* plugin_;
  LilvInstance* instance_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  int channels_ = 0;
  std::vector<float> controls_;
  float latency_ = -1;
  Channels in_, out_;
  static constexpr std::size_t maxFrames = 4096;
  static constexpr std::size_t atomBytes = 65536;
  std::vector<std::uint8_t> control_, notify_;
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame sequence_{};
  std::map<std::string, std::string> notified_;
  // Worker queues: whole messages, preallocated so that run() and
  // work_response() can queue without allocating.
  struct Queue {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(1 << 20);
    std::size_t used = 0;
    bool push(std::uint32_t size, const void* data);
  };
  Queue jobs_, responses_;
  LV2_Worker_Schedule schedule_{};
  std::array<LV2_Feature, 4> featureRecords_{};
  std::array<const LV2_Feature*, 5> features_{};
};

// The input of the tests: a few seconds of two different, real-sounding
// channels (tones gliding over noise bursts) at `rate`.
Channels testSignal(double rate, int channels, double seconds = 2.0);

}  // namespace lv2test

#endif
