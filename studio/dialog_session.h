// The plug-ins' settings dialogs, kept open for the page.
//
// The dialog runtime serves one modal dialog at a time on one thread, and a
// dialog only does something when its message loop runs. So one thread of
// this session owns every dialog: it holds an instance of each effect and
// keeps the settings dialog of the chosen one open, driving it through the
// runtime's idle handler. A request from the page is queued for that
// thread, carried out as a person's input through the dialog's message
// queue (a drag is WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP to the
// plug-in's DIALOGMsgProc; Add is the BN_CLICKED command of its button),
// and answered, once the dialog has handled it, with a description of the
// dialog as it then stands.
#ifndef VORTIGEN_STUDIO_DIALOG_SESSION_H
#define VORTIGEN_STUDIO_DIALOG_SESSION_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "vthost.h"

namespace vtstudio {

using Json = nlohmann::json;

// The curves of one effect as they stand in its host curve objects, in the
// order of the instance's curve words.
using CurveSet = std::vector<std::vector<vthost::CurvePoint>>;

// What a person does to the open dialog. Unknown kinds and bad values are
// refused with a sentence, never passed on.
//   {"kind":"mouse","message":"down"|"move"|"up"|"doubleclick","x":X,"y":Y}
//   {"kind":"click","id":ID}                 a push button
//   {"kind":"select","index":I,"double":B}   an item of the preset list
//   {"kind":"type","text":T}                 the preset name box
//   {"kind":"key","key":"enter"|"escape"}    the dialog's Enter and Escape keys
//   {"kind":"curves","curves":[[[X,Y],...],...]}  every curve at once (undo, typed values)
//   {"kind":"effect","effect":"dynamic"|"fourier"}
//   {"kind":"view"}                          nothing; the description only
// Every action but a view may carry "version": the version of the
// description the page acted on. Each input given to a dialog makes a new
// version; an action on an older one (another tab changed the dialog
// meanwhile) is refused with a note, and the answer shows the dialog as it
// now stands, so no tab acts on a curve or an effect it does not show.
// A preset text of the curves under a name, as the dialog's Add stores
// it; a name a preset text cannot carry (empty, with commas) is mended.
std::string presetText(std::string name, const CurveSet& curves);

class DialogSession {
 public:
  // pluginPaths: effect name ("dynamic", "fourier") to plug-in library.
  // Throws vthost::HostError when a plug-in does not load or make its
  // instance.
  DialogSession(const std::map<std::string, std::string>& pluginPaths, std::string profilePath);
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  // Carries out the action in the dialog and returns the description of
  // the dialog afterwards:
  //   {"effect","caption","width","height","controls":[...],"curves":[...],
  //    "readout","presetName","presetText","notes":[...]}
  // An action that cannot be carried out adds a sentence to "notes" and
  // changes nothing. Throws std::runtime_error when the dialog thread has
  // stopped.
  Json act(const Json& request);

  // The curves of an effect as its dialog last left them.
  CurveSet curves(const std::string& effect) const;
  // The version of the dialog's description now.
  uint64_t version() const;
  const std::string& profilePath() const { return profilePath_; }

 private:
  struct Job {
    Json request;
    Json answer;
    bool done = false;
  };
  struct EffectSlot;

  void run();
  static int idle(HWND dialog, void* context);
  int onIdle(HWND dialog);
  bool start(Job& job, HWND dialog);
  Json describe(HWND dialog);
  void finish(Job& job, HWND dialog);

  std::string profilePath_;
  std::map<std::string, std::unique_ptr<EffectSlot>> effects_;
  std::string chosen_ = "dynamic";
  bool switching_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job*> queue_;
  Job* pending_ = nullptr;          // queued into the dialog; answered at the next idle
  std::vector<std::string> notes_;  // for the next answer
  std::map<std::string, CurveSet> lastCurves_;
  bool stopping_ = false;
  bool stopped_ = false;
  std::string startError_;
  uint64_t version_ = 1;
  bool started_ = false;
  std::thread thread_;
};

}  // namespace vtstudio

#endif
