// A script for the modal dialogs of the process: steps that run one at a
// time whenever the open dialog's message loop has nothing left to do, as
// a person's actions would (vtSetDialogIdleHandler). When the steps run
// out the dialog is closed with its close box. Linux only.
#ifndef VORTIGEN_HOST_DIALOG_SCRIPT_H
#define VORTIGEN_HOST_DIALOG_SCRIPT_H

#include <deque>
#include <functional>
#include <utility>

#include "vtplatform.h"

namespace vthost {

class DialogScript {
 public:
  using Step = std::function<void(HWND dialog)>;

  // Drives every dialog of the process while it lives.
  DialogScript() { vtSetDialogIdleHandler(&DialogScript::idle, this); }
  ~DialogScript() { vtSetDialogIdleHandler(nullptr, nullptr); }
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  DialogScript& then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
  }
  size_t stepsLeft() const { return steps_.size(); }

 private:
  static int idle(HWND dialog, void* context) {
    auto& steps = static_cast<DialogScript*>(context)->steps_;
    if (steps.empty()) return 0;
    Step step = std::move(steps.front());
    steps.pop_front();
    step(dialog);
    return 1;
  }

  std::deque<Step> steps_;
};

}  // namespace vthost

#endif
