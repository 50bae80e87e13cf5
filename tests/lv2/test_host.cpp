#include "test_host.h"

#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

namespace lv2test {

bool& inAudioThread() {
  thread_local bool flag = false;
  return flag;
}

namespace {

struct AudioScope {
  AudioScope() { inAudioThread() = true; }
  ~AudioScope() { inAudioThread() = false; }
};

LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<World*>(handle)->map(uri);
}

const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  return static_cast<World*>(handle)->unmap(urid);
}

}  // namespace

int logVPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list args) {
  auto& world = *static_cast<World*>(handle);
  char line[1024];
  const int length = std::vsnprintf(line, sizeof line, format, args);
  const std::string kind = world.unmap(type) ? world.unmap(type) : "";
  std::lock_guard lock(world.mutex_);
  world.messages_.emplace_back(line);
  if (kind == LV2_LOG__Error || kind == LV2_LOG__Warning) world.errors_.emplace_back(line);
  return length;
}

int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = logVPrintf(handle, type, format, args);
  va_end(args);
  return length;
}

World::World() : world_(lilv_world_new()) {
  map_ = {this, mapUri};
  unmap_ = {this, unmapUri};
  log_ = {this, logPrintf, logVPrintf};
  const std::string bundle = std::string("file://") + VORTIGEN_LV2_BUNDLE + "/";
  LilvNode* uri = lilv_new_uri(world_, bundle.c_str());
  lilv_world_load_specifications(world_);
  lilv_world_load_plugin_classes(world_);
  lilv_world_load_bundle(world_, uri);
  lilv_node_free(uri);
}

World::~World() { lilv_world_free(world_); }

const LilvPlugin* World::plugin(const std::string& uri) const {
  LilvNode* node = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  if (found == nullptr) throw std::runtime_error("no plug-in " + uri + " in the bundle");
  return found;
}

LV2_URID World::map(const char* uri) {
  std::lock_guard lock(mutex_);
  auto [it, added] = ids_.try_emplace(uri, static_cast<LV2_URID>(uris_.size() + 1));
  if (added) uris_.emplace_back(uri);
  return it->second;
}

const char* World::unmap(LV2_URID urid) {
  std::lock_guard lock(mutex_);
  return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

std::vector<std::string> World::errors() {
  std::lock_guard lock(mutex_);
  return errors_;
}

std::vector<std::string> World::messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

bool Instance::Queue::push(std::uint32_t size, const void* data) {
  if (used + sizeof size + size > bytes.size()) return false;
  std::memcpy(bytes.data() + used, &size, sizeof size);
  std::memcpy(bytes.data() + used + sizeof size, data, size);
  used += sizeof size + size;
  return true;
}

Instance::Instance(World& world, const std::string& uri, double rate, bool withWorker)
    : world_(world), plugin_(world.plugin(uri)) {
  featureRecords_[0] = {LV2_URID__map, world.uridMap()};
  featureRecords_[1] = {LV2_URID__unmap, world.uridUnmap()};
  featureRecords_[2] = {LV2_LOG__log, world.log()};
  schedule_.handle = &jobs_;
  schedule_.schedule_work = [](LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                               const void* data) {
    return static_cast<Queue*>(handle)->push(size, data) ? LV2_WORKER_SUCCESS
                                                         : LV2_WORKER_ERR_NO_SPACE;
  };
  featureRecords_[3] = {LV2_WORKER__schedule, &schedule_};
  std::size_t count = withWorker ? 4 : 3;
  for (std::size_t i = 0; i < count; ++i) features_[i] = &featureRecords_[i];
  features_[count] = nullptr;

  instance_ = lilv_plugin_instantiate(plugin_, rate, features_.data());
  if (instance_ == nullptr) return;
  worker_ = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));

  control_.resize(atomBytes);
  notify_.resize(atomBytes);
  lv2_atom_forge_init(&forge_, world.uridMap());
  const std::uint32_t ports = lilv_plugin_get_num_ports(plugin_);
  controls_.assign(ports, 0.0f);
  std::vector<float> defaults(ports);
  lilv_plugin_get_port_ranges_float(plugin_, nullptr, nullptr, defaults.data());
  LilvNode* audio = lilv_new_uri(world.lilv(), LV2_CORE__AudioPort);
  LilvNode* input = lilv_new_uri(world.lilv(), LV2_CORE__InputPort);
  LilvNode* control = lilv_new_uri(world.lilv(), LV2_CORE__ControlPort);
  for (std::uint32_t i = 0; i < ports; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
    const bool isInput = lilv_port_is_a(plugin_, port, input);
    if (lilv_port_is_a(plugin_, port, audio)) {
      Channels& side = isInput ? in_ : out_;
      side.emplace_back(maxFrames);
      lilv_instance_connect_port(instance_, i, side.back().data());
    } else if (lilv_port_is_a(plugin_, port, control)) {
      controls_[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
      lilv_instance_connect_port(instance_, i, isInput ? &controls_[i] : &latency_);
    } else {
      lilv_instance_connect_port(instance_, i, isInput ? control_.data() : notify_.data());
    }
  }
  lilv_node_free(audio);
  lilv_node_free(input);
  lilv_node_free(control);
  channels_ = static_cast<int>(in_.size());
  lv2_atom_forge_set_buffer(&forge_, control_.data(), control_.size());
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
  lilv_instance_activate(instance_);
}

Instance::~Instance() {
  if (instance_ == nullptr) return;
  lilv_instance_deactivate(instance_);
  // LV2 has the host deliver every response the worker sent; the plug-in
  // frees what they carry only then (the jobs that retire the old curves).
  doWork();
  deliverResponses();
  doWork();
  lilv_instance_free(instance_);
}

void Instance::setControl(const std::string& symbol, float value) {
  LilvNode* node = lilv_new_string(world_.lilv(), symbol.c_str());
  const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
  lilv_node_free(node);
  if (port == nullptr) throw std::runtime_error("no port " + symbol);
  controls_[lilv_port_get_index(plugin_, port)] = value;
}

void Instance::disconnectControl(const std::string& symbol) {
  LilvNode* node = lilv_new_string(world_.lilv(), symbol.c_str());
  const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
  lilv_node_free(node);
  if (port == nullptr) throw std::runtime_error("no port " + symbol);
  lilv_instance_connect_port(instance_, lilv_port_get_index(plugin_, port), nullptr);
}

std::vector<float*> Instance::inputs() const {
  std::vector<float*> pointers;
  for (auto& channel : in_) pointers.push_back(const_cast<float*>(channel.data()));
  return pointers;
}

std::vector<float*> Instance::outputs() const {
  std::vector<float*> pointers;
  for (auto& channel : out_) pointers.push_back(const_cast<float*>(channel.data()));
  return pointers;
}

void Instance::patchSet(const char* property, LV2_URID type, const std::string& value) {
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_frame_time(&forge_, 0);
  lv2_atom_forge_object(&forge_, &frame, 0, world_.map(LV2_PATCH__Set));
  lv2_atom_forge_key(&forge_, world_.map(LV2_PATCH__property));
  lv2_atom_forge_urid(&forge_, world_.map(property));
  lv2_atom_forge_key(&forge_, world_.map(LV2_PATCH__value));
  if (type == forge_.Path) {
    lv2_atom_forge_path(&forge_, value.c_str(), static_cast<std::uint32_t>(value.size()));
  } else {
    lv2_atom_forge_string(&forge_, value.c_str(), static_cast<std::uint32_t>(value.size()));
  }
  lv2_atom_forge_pop(&forge_, &frame);
}

void Instance::patchSetText(const std::string& text) {
  patchSet(presetTextUri, forge_.String, text);
}

void Instance::patchSetFile(const std::string& path) { patchSet(presetFileUri, forge_.Path, path); }

void Instance::patchGet() {
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_frame_time(&forge_, 0);
  lv2_atom_forge_object(&forge_, &frame, 0, world_.map(LV2_PATCH__Get));
  lv2_atom_forge_pop(&forge_, &frame);
}

void Instance::cycle(std::uint32_t frames) {
  auto* notify = reinterpret_cast<LV2_Atom*>(notify_.data());
  notify->size = static_cast<std::uint32_t>(notify_.size() - sizeof(LV2_Atom));
  notify->type = 0;
  {
    AudioScope audio;
    deliverResponses();  // responses first, as a host delivers them
    lilv_instance_run(instance_, frames);
  }
  lv2_atom_forge_pop(&forge_, &sequence_);
  lv2_atom_forge_set_buffer(&forge_, control_.data(), control_.size());
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
  readNotify();
  doWork();
}

void Instance::deliverResponses() {
  if (worker_ == nullptr) return;
  std::size_t at = 0;
  while (at < responses_.used) {
    std::uint32_t size = 0;
    std::memcpy(&size, responses_.bytes.data() + at, sizeof size);
    worker_->work_response(lilv_instance_get_handle(instance_), size,
                           responses_.bytes.data() + at + sizeof size);
    at += sizeof size + size;
  }
  responses_.used = 0;
}

void Instance::doWork() {
  if (worker_ == nullptr) return;
  std::vector<std::uint8_t> pending(jobs_.bytes.begin(), jobs_.bytes.begin() + jobs_.used);
  jobs_.used = 0;
  std::size_t at = 0;
  while (at < pending.size()) {
    std::uint32_t size = 0;
    std::memcpy(&size, pending.data() + at, sizeof size);
    worker_->work(
        lilv_instance_get_handle(instance_),
        [](LV2_Worker_Respond_Handle handle, std::uint32_t bytes, const void* data) {
          return static_cast<Queue*>(handle)->push(bytes, data) ? LV2_WORKER_SUCCESS
                                                                : LV2_WORKER_ERR_NO_SPACE;
        },
        &responses_, size, pending.data() + at + sizeof size);
    at += sizeof size + size;
  }
}

void Instance::readNotify() {
  const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(notify_.data());
  if (sequence->atom.type != forge_.Sequence) return;
  LV2_ATOM_SEQUENCE_FOREACH(sequence, event) {
    if (event->body.type != forge_.Object) continue;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    if (object->body.otype != world_.map(LV2_PATCH__Set)) continue;
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, world_.map(LV2_PATCH__property), &property,
                        world_.map(LV2_PATCH__value), &value, 0);
    if (property == nullptr || value == nullptr) continue;
    const char* key = world_.unmap(reinterpret_cast<const LV2_Atom_URID*>(property)->body);
    notified_[key] = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
  }
}

Channels Instance::process(const Channels& input, std::size_t block) {
  const std::size_t frames = input.at(0).size();
  Channels output(input.size(), std::vector<float>(frames));
  block = std::min(block, maxFrames);
  for (std::size_t start = 0; start < frames; start += block) {
    const std::size_t n = std::min(block, frames - start);
    for (std::size_t c = 0; c < input.size(); ++c) {
      std::copy_n(input[c].begin() + start, n, in_[c].begin());
    }
    cycle(static_cast<std::uint32_t>(n));
    for (std::size_t c = 0; c < input.size(); ++c) {
      std::copy_n(out_[c].begin(), n, output[c].begin() + start);
    }
  }
  return output;
}

LilvState* Instance::saveState(const std::string& dir) {
  return lilv_state_new_from_instance(
      plugin_, instance_, world_.uridMap(), nullptr, dir.c_str(), dir.c_str(), dir.c_str(),
      [](const char* symbol, void* self, std::uint32_t* size, std::uint32_t* type) -> const void* {
        auto& instance = *static_cast<Instance*>(self);
        LilvNode* node = lilv_new_string(instance.world_.lilv(), symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(instance.plugin_, node);
        lilv_node_free(node);
        *size = sizeof(float);
        *type = instance.forge_.Float;
        return &instance.controls_[lilv_port_get_index(instance.plugin_, port)];
      },
      this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_.data());
}

void Instance::restoreState(const LilvState* state) {
  lilv_state_restore(
      state, instance_,
      [](const char* symbol, void* self, const void* value, std::uint32_t, std::uint32_t) {
        static_cast<Instance*>(self)->setControl(symbol, *static_cast<const float*>(value));
      },
      this, 0, features_.data());
}

void Instance::restoreState(World& world, const LilvNode* preset) {
  lilv_world_load_resource(world.lilv(), preset);
  LilvState* state = lilv_state_new_from_world(world.lilv(), world.uridMap(), preset);
  if (state == nullptr) throw std::runtime_error("preset does not load");
  restoreState(state);
  lilv_state_free(state);
}

Channels testSignal(double rate, int channels, double seconds) {
  const auto frames = static_cast<std::size_t>(rate * seconds);
  Channels signal(channels, std::vector<float>(frames));
  std::mt19937 random(7);
  std::normal_distribution<float> noise(0.0f, 0.05f);
  for (int c = 0; c < channels; ++c) {
    double phase = 0;
    for (std::size_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double frequency = 220.0 * (c + 1) * (1.0 + t);
      phase += 2.0 * M_PI * frequency / rate;
      const double burst = std::fmod(t * (3 + c), 1.0) < 0.15 ? 1.0 : 0.1;
      signal[c][i] = static_cast<float>(0.4 * std::sin(phase) + burst * noise(random));
    }
  }
  return signal;
}

}  // namespace lv2test
