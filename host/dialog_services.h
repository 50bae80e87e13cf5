// The reference host's side of a plug-in's settings dialog: the preset
// services over the profile file, and a curve editor for the curves the
// dialog attaches to its controls (drawing, the four mouse services, the
// readout).
#ifndef VORTIGEN_HOST_DIALOG_SERVICES_H
#define VORTIGEN_HOST_DIALOG_SERVICES_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "xfm.h"

namespace vthost {

class EffectHost;

// How a curve shows in the open dialog, as setCurveScale, setCurveLabels
// and attachCurve set it. The readout shows raw * factor + offset, to
// 1/multiplier; scale mode 1 shows that value in decibels.
struct CurveView {
  double xFactor = 0.0;
  double xOffset = 0.0;
  long xMultiplier = 0;
  double yFactor = 0.0;
  double yOffset = 0.0;
  long yMultiplier = 0;
  unsigned scaleMode = 0;
  std::string xName, xUnit, yName, yUnit;
  HWND dialog = nullptr;
  int controlId = 0;
  int readoutId = 0;  // 0 until attached
};

// A preset shown in the preset list; each list item's data is its index
// in DialogSide::presets.
struct ListedPreset {
  std::string key;
  std::string name;
  std::string text;
};

// Everything the host keeps for the dialog that is open. dialogStart
// begins it afresh.
struct DialogSide {
  HWND dialog = nullptr;
  std::string profilePath;
  std::map<CurveHandle, CurveView> views;
  std::vector<ListedPreset> presets;
  // Entries of the section the last listing could not read (left out of
  // `presets`, kept in the file).
  std::size_t unreadablePresets = 0;
  // The point being dragged, if any.
  CurveHandle dragCurve = CurveHandleNone;
  std::size_t dragPoint = 0;
};

// The host whose export call is running; null, with a note on standard
// error, when a service is called outside every export call.
EffectHost* callingHost(const char* service);

// Fills the dialog service slots of a record.
void installDialogServices(XfmDoRecord& record);

// The readout for raw curve coordinates, e.g. "Attack -0.25 at 0.50 Fmax".
std::string readoutText(const CurveView& view, double rawX, double rawY);

}  // namespace vthost

#endif
