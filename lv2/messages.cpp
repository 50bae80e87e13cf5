// Custom curves: patch:Set / patch:Get of the preset text and preset file
// parameters on the audio thread, their preparation on the worker, and
// the LV2 state that saves and restores them.
//
// A new text travels: run() copies it into a job for the worker; work()
// parses it, prepares the engine's tables and answers with them; the audio
// thread swaps them in (work_response) and sends what it gave up back to
// the worker to free. A text that does not parse is refused with a log
// message on the worker thread, and the current curves stay.
#include <lv2/atom/util.h>
#include <lv2/core/lv2_util.h>
#include <lv2/patch/patch.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "instance.h"

namespace vtlv2 {
namespace {

// The longest preset file read (a preset text is a few hundred bytes).
constexpr std::uintmax_t maxFileBytes = 1 << 20;

std::string trimmed(std::string text) {
  const char* space = " \t\r\n";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Audio thread: the bytes of a string or path atom up to its first NUL,
// where its text ends. Bytes after a NUL would be taken here but lost when
// the state is saved as a C string, so that the saved text would not restore.
std::uint32_t textLength(const LV2_Atom* value) {
  const char* body = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
  return static_cast<std::uint32_t>(strnlen(body, value->size));
}

// Audio thread: hands a job to the worker; false when there is no worker
// or its queue is full.
bool sendJob(Instance& self, Job job, const void* bytes, std::uint32_t size) {
  if (self.schedule == nullptr) return false;
  JobHeader header{job, size};
  std::memcpy(self.jobBuffer.data(), &header, sizeof header);
  if (size > 0) std::memcpy(self.jobBuffer.data() + sizeof header, bytes, size);
  return self.schedule->schedule_work(self.schedule->handle, sizeof header + size,
                                      self.jobBuffer.data()) == LV2_WORKER_SUCCESS;
}

// Audio thread: custom curves were asked for, which this host cannot
// deliver to us; said once per instance, and only then (a host without
// them that never sets a curve hears nothing).
void noteMissingFeature(Instance& self, const char* feature) {
  if (self.missingFeatureLogged) return;
  self.missingFeatureLogged = true;
  logTrace(self.logger,
           "Vortigen %s: custom curves were set, but the host offers no %s; custom curves can "
           "only come from a saved state.\n",
           self.variant->symbol, feature);
}

// Audio thread: a new text or path, or a note that it was too long.
void requestCurves(Instance& self, Job job, const LV2_Atom* value) {
  if (self.schedule == nullptr) {
    noteMissingFeature(self, "worker");
    return;
  }
  const std::uint32_t length = textLength(value);
  if (length > maxMessageBytes) {
    sendJob(self, Job::tooLong, &length, 0);
    return;
  }
  sendJob(self, job, LV2_ATOM_BODY_CONST(value), length);
}

// Audio thread: one patch:Set message on the notify port.
void writeSet(Instance& self, LV2_URID property, LV2_URID type, const std::string& value) {
  LV2_Atom_Forge& forge = self.forge;
  LV2_Atom_Forge_Frame frame;
  if (!lv2_atom_forge_frame_time(&forge, 0)) return;
  if (!lv2_atom_forge_object(&forge, &frame, 0, self.uris.patchSet)) return;
  lv2_atom_forge_key(&forge, self.uris.patchProperty);
  lv2_atom_forge_urid(&forge, property);
  lv2_atom_forge_key(&forge, self.uris.patchValue);
  const auto length = static_cast<std::uint32_t>(value.size());
  if (type == self.uris.atomPath) {
    lv2_atom_forge_path(&forge, value.c_str(), length);
  } else {
    lv2_atom_forge_string(&forge, value.c_str(), length);
  }
  lv2_atom_forge_pop(&forge, &frame);
}

void writeParameters(Instance& self, LV2_URID only) {
  if (only == 0 || only == self.uris.presetText) {
    writeSet(self, self.uris.presetText, self.uris.atomString, *self.audioText);
  }
  if (only == 0 || only == self.uris.presetFile) {
    writeSet(self, self.uris.presetFile, self.uris.atomPath, *self.audioPath);
  }
}

// Audio thread: one message from the control port.
void handleMessage(Instance& self, const LV2_Atom_Object* object) {
  const LV2_Atom* property = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(object, self.uris.patchProperty, &property, self.uris.patchValue, &value, 0);
  LV2_URID key = 0;
  if (property != nullptr && property->type == self.uris.atomUrid) {
    key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
  }
  if (object->body.otype == self.uris.patchGet) {
    writeParameters(self, key);
    return;
  }
  if (object->body.otype != self.uris.patchSet || value == nullptr) return;
  const bool textual = value->type == self.uris.atomString || value->type == self.uris.atomPath;
  if (!textual) return;
  if (key == self.uris.presetText) requestCurves(self, Job::applyText, value);
  if (key == self.uris.presetFile) requestCurves(self, Job::readFile, value);
}

// Worker thread: parses and prepares a preset text, then answers. Any
// failure is logged and answered with nothing: the current curves stay.
void prepare(Instance& self, const std::string& text, const std::string* path,
             LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle) {
  Prepared prepared{};
  try {
    const vtengine::Preset preset = vtengine::parsePreset(text);
    if (const std::string problem = vtengine::presetNameProblem(preset.name); !problem.empty())
      throw vtengine::EngineError(problem);
    auto tables = vtengine::prepareCurves(self.variant->effect, preset.curves);
    auto ownText = std::make_unique<std::string>(text);
    auto ownPath = path != nullptr ? std::make_unique<std::string>(*path) : nullptr;
    prepared = {tables.release(), ownText.release(), ownPath.release()};
  } catch (const std::exception& error) {
    logError(self.logger, "Vortigen %s: preset text refused, the current curves stay: %s\n",
             self.variant->symbol, error.what());
    return;
  }
  if (respond(handle, sizeof prepared, &prepared) != LV2_WORKER_SUCCESS) {
    logError(self.logger, "Vortigen %s: the host's worker queue is full; preset dropped.\n",
             self.variant->symbol);
    delete prepared.tables;
    delete prepared.text;
    delete prepared.path;
    return;
  }
  std::lock_guard lock(self.stateMutex);
  self.savedText = text;
  if (path != nullptr) self.savedPath = *path;
}

// Worker thread: reads a preset file.
void readPresetFile(Instance& self, const std::string& path, LV2_Worker_Respond_Function respond,
                    LV2_Worker_Respond_Handle handle) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size > maxFileBytes) {
    logError(self.logger,
             "Vortigen %s: the preset file \"%s\" is larger than a preset text can be; "
             "the current curves stay.\n",
             self.variant->symbol, path.c_str());
    return;
  }
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  if (!error && file) contents << file.rdbuf();
  if (error || !file || file.bad()) {
    logError(self.logger,
             "Vortigen %s: cannot read the preset file \"%s\"; the current curves stay.\n",
             self.variant->symbol, path.c_str());
    return;
  }
  // A NUL byte ends the text in the saved state: a file holding one is no
  // preset text whose curves could be saved and restored.
  const std::string text = contents.str();
  if (text.find('\0') != std::string::npos) {
    logError(self.logger,
             "Vortigen %s: the preset file \"%s\" holds a NUL byte, which no preset text "
             "does; the current curves stay.\n",
             self.variant->symbol, path.c_str());
    return;
  }
  prepare(self, trimmed(text), &path, respond, handle);
}

}  // namespace

// Instantiation thread.
void mapUrids(Instance& self) {
  LV2_URID_Map* map = self.map;
  auto id = [map](const char* uri) { return map->map(map->handle, uri); };
  self.uris = {id(LV2_ATOM__Path),   id(LV2_ATOM__String), id(LV2_ATOM__URID),
               id(LV2_ATOM__Object), id(LV2_ATOM__Blank),  id(LV2_ATOM__Sequence),
               id(LV2_PATCH__Set),   id(LV2_PATCH__Get),   id(LV2_PATCH__property),
               id(LV2_PATCH__value), id(presetTextUri),    id(presetFileUri)};
}

// Audio thread: reads the control port's messages, and starts the notify
// port's sequence (replies and announcements go there).
void handleControl(Instance& self) {
  const bool canReply = self.map != nullptr && self.notifyPort != nullptr;
  LV2_Atom_Forge_Frame sequence;
  if (canReply) {
    lv2_atom_forge_set_buffer(&self.forge, reinterpret_cast<std::uint8_t*>(self.notifyPort),
                              self.notifyPort->atom.size);
    lv2_atom_forge_sequence_head(&self.forge, &sequence, 0);
  }
  if (self.map != nullptr && self.controlPort != nullptr) {
    LV2_ATOM_SEQUENCE_FOREACH(self.controlPort, event) {
      if (event->body.type == self.uris.atomObject || event->body.type == self.uris.atomBlank) {
        handleMessage(self, reinterpret_cast<const LV2_Atom_Object*>(&event->body));
      }
    }
  } else if (self.controlPort != nullptr &&
             self.controlPort->atom.size > sizeof(LV2_Atom_Sequence_Body)) {
    // Messages arrived, but without a URID map none can be read.
    noteMissingFeature(self, "URID map");
  }
  if (canReply) {
    if (self.announce) writeParameters(self, 0);
    self.announce = false;
    lv2_atom_forge_pop(&self.forge, &sequence);
  } else if (self.notifyPort != nullptr) {
    self.notifyPort->atom.size = sizeof(LV2_Atom_Sequence_Body);  // an empty sequence
  }
}

// Audio thread (work_response) or instantiation thread (restore): the new
// custom set goes where the old one was, into the engine when the preset
// port selects it; the old set, text and path are returned in `prepared`.
void useCustomCurves(Instance& self, Prepared& prepared) {
  std::unique_ptr<vtengine::CurveTables> tables(prepared.tables);
  if (self.activeSet == customCurves) {
    self.engine->useCurves(tables);
  } else {
    std::swap(tables, self.curveSets[customCurves]);
  }
  prepared.tables = tables.release();
  std::string* oldText = self.audioText.release();
  self.audioText.reset(prepared.text);
  prepared.text = oldText;
  if (prepared.path != nullptr) {
    std::string* oldPath = self.audioPath.release();
    self.audioPath.reset(prepared.path);
    prepared.path = oldPath;
  }
  self.announce = true;
}

// Worker thread.
LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle respondHandle, std::uint32_t size,
                       const void* data) {
  auto& self = *static_cast<Instance*>(handle);
  JobHeader header{};
  if (size < sizeof header) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&header, data, sizeof header);
  const char* body = static_cast<const char*>(data) + sizeof header;
  if (header.size > size - sizeof header) return LV2_WORKER_ERR_UNKNOWN;
  try {
    switch (header.job) {
      case Job::applyText:
        prepare(self, trimmed(std::string(body, header.size)), nullptr, respond, respondHandle);
        break;
      case Job::readFile:
        readPresetFile(self, std::string(body, header.size), respond, respondHandle);
        break;
      case Job::tooLong:
        logError(self.logger,
                 "Vortigen %s: a preset text or path longer than %u bytes was refused; "
                 "the current curves stay.\n",
                 self.variant->symbol, maxMessageBytes);
        break;
      case Job::release: {
        Retired retired{};
        if (header.size != sizeof retired) return LV2_WORKER_ERR_UNKNOWN;
        std::memcpy(&retired, body, sizeof retired);
        delete retired.tables;
        delete retired.text;
        delete retired.path;
        break;
      }
    }
  } catch (const std::exception& error) {
    logError(self.logger, "Vortigen %s: %s\n", self.variant->symbol, error.what());
    return LV2_WORKER_ERR_UNKNOWN;
  }
  return LV2_WORKER_SUCCESS;
}

// Audio thread.
LV2_Worker_Status workResponse(LV2_Handle handle, std::uint32_t size, const void* data) {
  auto& self = *static_cast<Instance*>(handle);
  Prepared prepared{};
  if (size != sizeof prepared) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&prepared, data, sizeof prepared);
  useCustomCurves(self, prepared);
  const Retired retired{prepared.tables, prepared.text, prepared.path};
  if (!sendJob(self, Job::release, &retired, sizeof retired)) {
    // No room to send them back: keeping them is safer than freeing here.
    logTrace(self.logger, "Vortigen: worker queue full, old curves kept\n");
  }
  return LV2_WORKER_SUCCESS;
}

// Save thread (may run while run() does): the worker keeps savedText and
// savedPath under the mutex, so one consistent pair is saved.
LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store,
                           LV2_State_Handle stateHandle, std::uint32_t,
                           const LV2_Feature* const* features) {
  auto& self = *static_cast<Instance*>(handle);
  if (self.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
  LV2_State_Map_Path* mapPath = nullptr;
  lv2_features_query(features, LV2_STATE__mapPath, &mapPath, false, nullptr);
  std::lock_guard lock(self.stateMutex);
  const auto flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  LV2_State_Status status = store(stateHandle, self.uris.presetText, self.savedText.c_str(),
                                  self.savedText.size() + 1, self.uris.atomString, flags);
  if (status != LV2_STATE_SUCCESS || self.savedPath.empty()) return status;
  if (mapPath == nullptr) {
    return store(stateHandle, self.uris.presetFile, self.savedPath.c_str(),
                 self.savedPath.size() + 1, self.uris.atomPath, flags);
  }
  char* abstract = mapPath->abstract_path(mapPath->handle, self.savedPath.c_str());
  if (abstract == nullptr) return LV2_STATE_ERR_UNKNOWN;
  status = store(stateHandle, self.uris.presetFile, abstract, std::strlen(abstract) + 1,
                 self.uris.atomPath, flags);
  std::free(abstract);
  return status;
}

// Instantiation thread (run() is not running): prepares the saved text at
// once and uses it; a text that does not parse is refused and logged.
LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle stateHandle, std::uint32_t,
                              const LV2_Feature* const* features) {
  auto& self = *static_cast<Instance*>(handle);
  if (self.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
  LV2_State_Map_Path* mapPath = nullptr;
  lv2_features_query(features, LV2_STATE__mapPath, &mapPath, false, nullptr);
  std::size_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t flags = 0;
  const void* value = retrieve(stateHandle, self.uris.presetText, &size, &type, &flags);
  if (value == nullptr) return LV2_STATE_SUCCESS;  // nothing saved: keep the curves
  if (type != self.uris.atomString) return LV2_STATE_ERR_BAD_TYPE;
  const auto* chars = static_cast<const char*>(value);
  std::string text(chars, strnlen(chars, size));
  std::string path;
  const void* pathValue = retrieve(stateHandle, self.uris.presetFile, &size, &type, &flags);
  if (pathValue != nullptr && type == self.uris.atomPath) {
    const auto* pathChars = static_cast<const char*>(pathValue);
    path.assign(pathChars, strnlen(pathChars, size));
    if (mapPath != nullptr && !path.empty()) {
      char* absolute = mapPath->absolute_path(mapPath->handle, path.c_str());
      if (absolute != nullptr) path = absolute;
      std::free(absolute);
    }
  }
  try {
    const vtengine::Preset preset = vtengine::parsePreset(text);
    if (const std::string problem = vtengine::presetNameProblem(preset.name); !problem.empty())
      throw vtengine::EngineError(problem);
    auto tables = vtengine::prepareCurves(self.variant->effect, preset.curves);
    auto ownText = std::make_unique<std::string>(text);
    auto ownPath = std::make_unique<std::string>(path);
    Prepared prepared{tables.release(), ownText.release(), ownPath.release()};
    useCustomCurves(self, prepared);  // what comes back is the old set: free it
    delete prepared.tables;
    delete prepared.text;
    delete prepared.path;
  } catch (const std::exception& error) {
    logError(self.logger, "Vortigen %s: saved preset text refused, the curves stay: %s\n",
             self.variant->symbol, error.what());
    return LV2_STATE_ERR_UNKNOWN;
  }
  std::lock_guard lock(self.stateMutex);
  self.savedText = text;
  self.savedPath = path;
  return LV2_STATE_SUCCESS;
}

}  // namespace vtlv2
