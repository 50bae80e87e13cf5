// studio_dialog_probe: the yardstick the browser tests hold the studio's
// page against. It opens a plug-in's settings dialog over a profile, picks
// a preset in the list, and then sends mouse messages straight to the
// plug-in's DIALOGMsgProc, as the window system would deliver them, with no
// page or server in between. It prints what the dialog then shows.
//
//   studio_dialog_probe PLUGIN PROFILE [select:NAME] [down|move|up|doubleclick:X,Y]...
//   -> {"readout": "...", "name": "...", "curves": [[[x,y],...],...]}
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "vthost.h"

namespace {

std::string itemText(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

UINT messageNamed(const std::string& name) {
  if (name == "down") return WM_LBUTTONDOWN;
  if (name == "move") return WM_MOUSEMOVE;
  if (name == "up") return WM_LBUTTONUP;
  if (name == "doubleclick") return WM_LBUTTONDBLCLK;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: studio_dialog_probe PLUGIN PROFILE [select:NAME] "
                 "[down|move|up|doubleclick:X,Y]...\n");
    return 2;
  }
  vthost::PluginLibrary plugin(argv[1]);
  vthost::EffectHost host(plugin, vthost::WaveFormat{2, 16, 44100}, std::vector<uint8_t>(4096));
  host.setProfilePath(argv[2]);
  if (host.init() != 1) return 1;

  nlohmann::json out;
  bool ok = true;
  vthost::DialogScript script;
  for (int i = 3; i < argc; ++i) {
    const std::string step = argv[i];
    const size_t colon = step.find(':');
    const std::string verb = step.substr(0, colon),
                      value = colon == std::string::npos ? "" : step.substr(colon + 1);
    if (verb == "select") {
      script.then([value, &ok](HWND dialog) {
        const LRESULT index =
            SendDlgItemMessageA(dialog, 1005, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(value.c_str()));
        ok = ok && index != LB_ERR && vtDialogSelectListItem(dialog, 1005, static_cast<int>(index));
      });
    } else if (const UINT message = messageNamed(verb); message != 0) {
      const int x = std::stoi(value), y = std::stoi(value.substr(value.find(',') + 1));
      const WPARAM buttons = message == WM_LBUTTONUP ? 0 : MK_LBUTTON;
      script.then([&plugin, message, buttons, x, y](HWND dialog) {
        plugin.dialogProcedure(dialog, message, buttons,
                               MAKELPARAM(static_cast<short>(x), static_cast<short>(y)));
      });
    } else {
      std::fprintf(stderr, "studio_dialog_probe: unknown step %s\n", step.c_str());
      return 2;
    }
  }
  script.then([&](HWND dialog) {
    out["readout"] = itemText(dialog, 1024);
    out["name"] = itemText(dialog, 1006);
    out["curves"] = nlohmann::json::array();
    for (CurveHandle handle : host.curveHandles()) {
      nlohmann::json points = nlohmann::json::array();
      for (const vthost::CurvePoint& p : host.curve(handle).points) points.push_back({p.x, p.y});
      out["curves"].push_back(points);
    }
  });
  host.setup();
  host.destroy();
  if (!ok || out.is_null()) {
    std::fprintf(stderr, "studio_dialog_probe: the dialog did not take every step\n");
    return 1;
  }
  std::printf("%s\n", out.dump().c_str());
  return 0;
}
