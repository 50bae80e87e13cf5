// The dialog thread of the studio: see dialog_session.h.
#include "dialog_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "dialog_controls.h"
#include "dialog_services.h"
#include "vtplatform.h"

namespace vtstudio {

namespace {

// The host's curve editor draws inside the sunken box's two-pixel border.
const int controlBorder = 2;
// Mouse coordinates travel as signed 16-bit numbers in the message.
const int coordinateLimit = 32767;
const size_t longestName = 200;

// The help requests of the open dialog go to the session that runs it.
std::mutex* helpMutex = nullptr;
std::vector<std::string>* helpNotes = nullptr;

void helpRequested(HWND, const char* helpFile, UINT command, ULONG_PTR data) {
  if (helpNotes == nullptr) return;
  std::string sentence =
      std::string("The dialog asked for help from ") + (helpFile ? helpFile : "(none)");
  if (command == HELP_KEY && data != 0)
    sentence += " at the keyword \"" + std::string(reinterpret_cast<const char*>(data)) + "\"";
  sentence += "; the help files are not part of the studio.";
  std::lock_guard lock(*helpMutex);
  helpNotes->push_back(sentence);
}

RECT clientRectOf(HWND dialog, int id) {
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  return RECT{rect.left - origin.x, rect.top - origin.y, rect.right - origin.x,
              rect.bottom - origin.y};
}

Json rectJson(const RECT& r) { return Json::array({r.left, r.top, r.right, r.bottom}); }

std::string itemText(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

Json listJson(HWND list) {
  Json items = Json::array();
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    items.push_back(text);
  }
  return items;
}

CurveSet curvesOf(const vthost::EffectHost& host) {
  CurveSet curves;
  for (CurveHandle handle : host.curveHandles()) curves.push_back(host.curve(handle).points);
  return curves;
}

int integerField(const Json& request, const char* field, int low, int high) {
  const auto found = request.find(field);
  if (found == request.end() || !found->is_number_integer()) {
    throw std::invalid_argument(std::string("the field \"") + field +
                                "\" is missing or not a whole number");
  }
  const auto value = found->get<long long>();
  if (value < low || value > high) {
    throw std::invalid_argument(std::string("the field \"") + field + "\" lies outside " +
                                std::to_string(low) + ".." + std::to_string(high));
  }
  return static_cast<int>(value);
}

UINT mouseMessage(const std::string& name) {
  if (name == "down") return WM_LBUTTONDOWN;
  if (name == "move") return WM_MOUSEMOVE;
  if (name == "up") return WM_LBUTTONUP;
  if (name == "doubleclick") return WM_LBUTTONDBLCLK;
  throw std::invalid_argument("the mouse message \"" + name +
                              "\" is none of down, move, up, doubleclick");
}

// What keeps Add from storing presets in the profile, or keeps the stored
// ones from being listed, as a sentence; empty when nothing does.
std::string profileProblem(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const std::string directory = std::filesystem::path(path).parent_path().string();
    if (access(directory.empty() ? "." : directory.c_str(), W_OK | X_OK) != 0) {
      return "The profile " + path + " does not exist and cannot be made in " + directory +
             "; Add cannot store presets there. Give another --profile.";
    }
    return {};
  }
  if (access(path.c_str(), R_OK) != 0) {
    return "The profile " + path +
           " cannot be read; its presets are not listed and Add cannot store any. Check its "
           "permissions.";
  }
  if ((info.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) {
    return "The profile " + path +
           " is read-only; its presets are listed, but Add cannot store any until it is made "
           "writable.";
  }
  return {};
}

// Curves the page sets (undo, redo, a point's typed values), held to what
// the dialog's own editor allows: the effect's number of curves, at least
// two points each, every point inside its curve's range, x never falling,
// the end points at the x where the editor keeps them. A set that breaks a
// rule is refused whole, naming the rule.
void setCurves(vthost::EffectHost& host, const Json& request) {
  const std::vector<CurveHandle> handles = host.curveHandles();
  if (!request.contains("curves") || !request["curves"].is_array() ||
      request["curves"].size() != handles.size())
    throw std::invalid_argument("it does not give the effect's " + std::to_string(handles.size()) +
                                " curves");
  CurveSet given;
  for (size_t i = 0; i < handles.size(); ++i) {
    const vthost::Curve& curve = host.curve(handles[i]);
    const Json& points = request["curves"][i];
    const std::string which = "curve " + std::to_string(i + 1);
    if (!points.is_array() || points.size() < 2)
      throw std::invalid_argument(which + " has fewer than two points");
    std::vector<vthost::CurvePoint> list;
    for (const Json& point : points) {
      if (!point.is_array() || point.size() != 2 || !point[0].is_number_integer() ||
          !point[1].is_number_integer())
        throw std::invalid_argument(which + " has a point that is not two whole numbers");
      const long long x = point[0], y = point[1];
      if (x < curve.xMin || x > curve.xMax || y < curve.yMin || y > curve.yMax) {
        throw std::invalid_argument(which + " has a point outside x " + std::to_string(curve.xMin) +
                                    " to " + std::to_string(curve.xMax) + ", y " +
                                    std::to_string(curve.yMin) + " to " +
                                    std::to_string(curve.yMax));
      }
      if (!list.empty() && x < list.back().x)
        throw std::invalid_argument(which + "'s points go back in x");
      list.push_back(vthost::CurvePoint{static_cast<int>(x), static_cast<int>(y)});
    }
    if (list.front().x != curve.points.front().x || list.back().x != curve.points.back().x)
      throw std::invalid_argument(which + "'s end points leave the x the editor keeps them at");
    given.push_back(std::move(list));
  }
  host.dialogSide().dragCurve = CurveHandleNone;
  for (size_t i = 0; i < handles.size(); ++i) host.curve(handles[i]).points = given[i];
}

}  // namespace

std::string presetText(std::string name, const CurveSet& curves) {
  name.erase(std::remove(name.begin(), name.end(), ','), name.end());
  const size_t first = name.find_first_not_of(' ');
  name = first == std::string::npos ? "Studio"
                                    : name.substr(first, name.find_last_not_of(' ') - first + 1);
  std::string text = name + ",3";
  for (const auto& points : curves) {
    text += "," + std::to_string(points.size());
    for (const vthost::CurvePoint& p : points)
      text += "," + std::to_string(p.x) + "," + std::to_string(p.y);
  }
  return text;
}

struct DialogSession::EffectSlot {
  vthost::PluginLibrary plugin;
  vthost::EffectHost host;
  size_t errorsSeen = 0;

  EffectSlot(const std::string& path, const std::string& profile)
      : plugin(path), host(plugin, vthost::WaveFormat{2, 16, 44100}, std::vector<uint8_t>(4096)) {
    host.setProfilePath(profile);
    if (host.init() != 1)
      throw vthost::HostError("The plug-in " + path + " could not make its instance.");
  }
  ~EffectSlot() { host.destroy(); }
};

DialogSession::DialogSession(const std::map<std::string, std::string>& pluginPaths,
                             std::string profilePath)
    : profilePath_(std::move(profilePath)) {
  thread_ = std::thread([this, pluginPaths] {
    try {
      for (const auto& [name, path] : pluginPaths) {
        effects_[name] = std::make_unique<EffectSlot>(path, profilePath_);
        lastCurves_[name] = curvesOf(effects_[name]->host);
      }
      if (effects_.count(chosen_) == 0 && !effects_.empty()) chosen_ = effects_.begin()->first;
    } catch (const std::exception& e) {
      std::lock_guard lock(mutex_);
      startError_ = e.what();
    }
    {
      std::lock_guard lock(mutex_);
      if (startError_.empty() && effects_.empty())
        startError_ = "No plug-in was given to the studio.";
      started_ = true;
    }
    changed_.notify_all();
    if (startError_.empty()) run();
    effects_.clear();
    std::lock_guard lock(mutex_);
    stopped_ = true;
    for (Job* job : queue_) job->done = true;
    queue_.clear();
    if (pending_ != nullptr) pending_->done = true;
    pending_ = nullptr;
    changed_.notify_all();
  });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return started_; });
  if (!startError_.empty()) {
    lock.unlock();
    thread_.join();
    throw vthost::HostError(startError_);
  }
}

DialogSession::~DialogSession() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

Json DialogSession::act(const Json& request) {
  Job job{request, {}, false};
  std::unique_lock lock(mutex_);
  if (stopped_)
    throw std::runtime_error("The settings dialog has stopped; start the studio again.");
  queue_.push_back(&job);
  changed_.notify_all();
  changed_.wait(lock, [&] { return job.done; });
  if (job.answer.is_null())
    throw std::runtime_error("The settings dialog has stopped; start the studio again.");
  return job.answer;
}

uint64_t DialogSession::version() const {
  std::lock_guard lock(mutex_);
  return version_;
}

CurveSet DialogSession::curves(const std::string& effect) const {
  std::lock_guard lock(mutex_);
  const auto found = lastCurves_.find(effect);
  return found != lastCurves_.end() ? found->second : CurveSet{};
}

// Keeps the chosen effect's dialog open until the session stops. A dialog
// that ends (OK, Cancel, the close box) is opened again, as a person would
// reopen the settings: the curves live on in the host's curve objects.
void DialogSession::run() {
  helpMutex = &mutex_;
  helpNotes = &notes_;
  vtSetHelpObserver(helpRequested);
  vtSetDialogIdleHandler(&DialogSession::idle, this);
  for (;;) {
    std::string effect;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
      switching_ = false;
      effect = chosen_;
    }
    const int ended = effects_.at(effect)->host.setup();
    std::lock_guard lock(mutex_);
    if (ended < 0) {
      notes_.push_back("The settings dialog of " + effect +
                       " could not be opened; its plug-in lacks dialog 500.");
      stopping_ = true;
    } else if (!switching_ && !stopping_) {
      notes_.push_back(std::string("The dialog ended with ") + (ended == 1 ? "OK" : "Cancel") +
                       "; it is open again with the curves as they stand.");
    }
  }
  vtSetDialogIdleHandler(nullptr, nullptr);
  vtSetHelpObserver(nullptr);
  helpNotes = nullptr;
}

int DialogSession::idle(HWND dialog, void* context) {
  return static_cast<DialogSession*>(context)->onIdle(dialog);
}

// Called by the dialog's message loop with nothing left to do: the input
// queued last time has been handled, so its answer is ready. Then waits for
// the next request; one that gives the dialog input returns to the loop.
int DialogSession::onIdle(HWND dialog) {
  std::unique_lock lock(mutex_);
  if (pending_ != nullptr && !switching_) {
    finish(*pending_, dialog);
    pending_ = nullptr;
    changed_.notify_all();
  }
  for (;;) {
    if (switching_ || stopping_) return 0;
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return 0;
    Job* job = queue_.front();
    queue_.pop_front();
    if (start(*job, dialog)) {
      pending_ = job;
      return 1;
    }
    if (switching_) {
      pending_ = job;  // answered by the new effect's dialog
      return 0;
    }
    finish(*job, dialog);
    changed_.notify_all();
  }
}

// Gives the dialog the input the request asks for; false when there is
// none to give (a view, a refusal, a change of effect).
bool DialogSession::start(Job& job, HWND dialog) {
  const Json& request = job.request;
  try {
    if (!request.is_object() || !request.contains("kind") || !request["kind"].is_string()) {
      throw std::invalid_argument("it names no kind of action");
    }
    const std::string kind = request["kind"];
    BOOL queued = FALSE;
    if (kind == "view") return false;
    if (request.contains("version")) {
      if (!request["version"].is_number_integer())
        throw std::invalid_argument("its version is not a whole number");
      if (request["version"].get<long long>() != static_cast<long long>(version_)) {
        notes_.push_back(
            "The studio was changed in another tab; this page now shows it as it "
            "stands, and the " +
            kind + " action was not carried out.");
        return false;
      }
    }
    if (kind == "mouse") {
      if (!request.contains("message") || !request["message"].is_string()) {
        throw std::invalid_argument("it names no mouse message");
      }
      const UINT message = mouseMessage(request["message"]);
      queued = vtDialogMouse(dialog, message,
                             integerField(request, "x", -coordinateLimit, coordinateLimit),
                             integerField(request, "y", -coordinateLimit, coordinateLimit));
    } else if (kind == "click") {
      queued = vtDialogClick(dialog, integerField(request, "id", 0, 0xFFFF));
    } else if (kind == "select") {
      const int index = integerField(request, "index", 0, 1 << 20);
      const bool twice = request.value("double", false);
      queued = twice ? vtDialogDoubleClickListItem(dialog, PresetList, index)
                     : vtDialogSelectListItem(dialog, PresetList, index);
    } else if (kind == "type") {
      if (!request.contains("text") || !request["text"].is_string())
        throw std::invalid_argument("it carries no text");
      const std::string text = request["text"];
      if (text.size() > longestName)
        throw std::invalid_argument("its text is longer than 200 characters");
      queued = vtDialogType(dialog, PresetNameBox, text.c_str());
    } else if (kind == "key") {
      const std::string key = request.value("key", "");
      if (key != "enter" && key != "escape")
        throw std::invalid_argument("the key \"" + key + "\" is neither enter nor escape");
      queued = key == "enter" ? vtDialogPressEnter(dialog) : vtDialogPressEscape(dialog);
    } else if (kind == "curves") {
      setCurves(effects_.at(chosen_)->host, request);
      ++version_;
      return false;
    } else if (kind == "effect") {
      const std::string effect = request.value("effect", "");
      if (effects_.count(effect) == 0)
        throw std::invalid_argument("there is no effect \"" + effect + "\"");
      if (effect == chosen_) return false;
      chosen_ = effect;
      switching_ = true;
      ++version_;
      return false;
    } else {
      throw std::invalid_argument("the kind \"" + kind + "\" is unknown");
    }
    if (!queued)
      notes_.push_back("The dialog did not take the " + kind +
                       " action (no such control, or it is disabled).");
    else
      ++version_;
    return queued != FALSE;
  } catch (const std::exception& e) {
    notes_.push_back(std::string("The action was refused: ") + e.what() + ".");
    return false;
  }
}

void DialogSession::finish(Job& job, HWND dialog) {
  job.answer = describe(dialog);
  job.done = true;
}

// The dialog as it stands, for the page to draw: the controls where the
// runtime placed them (client pixels), the preset list, and each curve
// with its frame and points. Runs on the dialog thread with the lock held.
Json DialogSession::describe(HWND dialog) {
  EffectSlot& slot = *effects_.at(chosen_);
  vthost::EffectHost& host = slot.host;
  Json out;
  VtDialogView view{};
  vtDialogView(dialog, &view);
  out["effect"] = chosen_;
  out["version"] = version_;
  out["effects"] = Json::array();
  for (const auto& entry : effects_) out["effects"].push_back(entry.first);
  out["caption"] = view.caption;
  out["width"] = view.client.right - view.client.left;
  out["height"] = view.client.bottom - view.client.top;

  Json controls = Json::array();
  for (int i = 0; i < view.controlCount; ++i) {
    VtControlView c{};
    // A hidden control is none of the page's business (the plug-in keeps
    // the addresses of its curve objects in one).
    if (!vtDialogControl(dialog, i, &c) || (c.style & WS_VISIBLE) == 0) continue;
    Json control{{"id", c.id},
                 {"kind", c.className},
                 {"text", c.text},
                 {"style", c.style},
                 {"rect", rectJson(c.rect)},
                 {"enabled", c.enabled != FALSE},
                 {"focused", c.focused != FALSE}};
    if (std::string(c.className) == "LISTBOX") {
      control["items"] = listJson(c.window);
      control["selection"] = SendMessageA(c.window, LB_GETCURSEL, 0, 0);
    }
    controls.push_back(control);
  }
  out["controls"] = controls;

  vthost::DialogSide& side = host.dialogSide();
  Json curves = Json::array();
  const CurveSet shapes = curvesOf(host);
  const std::vector<CurveHandle> handles = host.curveHandles();
  for (size_t i = 0; i < handles.size(); ++i) {
    const vthost::Curve& curve = host.curve(handles[i]);
    const auto found = side.views.find(handles[i]);
    if (found == side.views.end() || found->second.readoutId == 0) continue;
    const vthost::CurveView& v = found->second;
    const RECT box = clientRectOf(dialog, v.controlId);
    Json points = Json::array();
    for (const vthost::CurvePoint& p : curve.points) points.push_back(Json::array({p.x, p.y}));
    curves.push_back(
        {{"index", i},
         {"frame", v.controlId},
         {"area", rectJson(RECT{box.left + controlBorder, box.top + controlBorder,
                                box.right - controlBorder, box.bottom - controlBorder})},
         {"range", Json::array({curve.xMin, curve.xMax, curve.yMin, curve.yMax})},
         {"points", points},
         {"grabbed", side.dragCurve == handles[i] ? static_cast<long>(side.dragPoint) : -1L},
         {"labels", Json::array({v.xName, v.xUnit, v.yName, v.yUnit})}});
  }
  out["curves"] = curves;
  out["readout"] = itemText(dialog, ValueReadout);
  out["presetName"] = itemText(dialog, PresetNameBox);
  out["presetText"] = presetText(itemText(dialog, PresetNameBox), shapes);
  out["profile"] = profilePath_;
  out["profileProblem"] = profileProblem(profilePath_);
  lastCurves_[chosen_] = shapes;

  for (; slot.errorsSeen < host.errors().size(); ++slot.errorsSeen)
    notes_.push_back(host.errors()[slot.errorsSeen]);
  out["notes"] = notes_;
  notes_.clear();
  return out;
}

}  // namespace vtstudio
