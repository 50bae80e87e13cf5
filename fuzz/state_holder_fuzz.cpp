// The state holder through DIALOGMsgProc. The settings dialog keeps the
// addresses of its instance block and record as text in a hidden control;
// every handler reads them back from there. The fuzzer writes that text,
// then paints, clicks every button, presses in the curve frames and picks
// from the preset list. A text that is not three numbers fitting an address
// with a nonzero block and record, as the plug-in reads it (the first 79
// characters), must keep every handler from the host: no service is called.
// Texts that are such numbers are skipped: they name addresses the plug-in
// is meant to use.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "fuzz_check.h"
#include "vthost.h"
#include "vtplatform.h"

namespace {

// As the dialog reads the control: up to the first zero, at most 79 chars.
std::string asRead(std::string text) {
  text = text.substr(0, text.find('\0'));
  return text.substr(0, 79);
}

// True for three runs of decimal digits joined by commas, each fitting an
// address, the first and last not zero.
bool namesAddresses(const std::string& text) {
  uintptr_t values[3] = {0, 0, 0};
  size_t at = 0;
  for (int field = 0; field < 3; ++field) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      if (__builtin_mul_overflow(values[field], 10, &values[field]) ||
          __builtin_add_overflow(values[field], uintptr_t(text[at] - '0'), &values[field])) {
        return false;
      }
    }
    if (field < 2 && (at >= text.size() || text[at++] != ',')) return false;
  }
  return at == text.size() && values[0] != 0 && values[2] != 0;
}

vthost::PluginLibrary& library(bool fourier) {
  static vthost::PluginLibrary dynamic(VORTIGEN_DYNAMIC_PLUGIN);
  static vthost::PluginLibrary fourierLibrary(VORTIGEN_FOURIER_PLUGIN);
  return fourier ? fourierLibrary : dynamic;
}

const std::string& profilePath() {
  static const std::string path = [] {
    const char* directory = std::getenv("TMPDIR");
    return std::string(directory != nullptr ? directory : "/tmp") + "/vortigen-fuzz-state-" +
           std::to_string(getpid()) + ".ini";
  }();
  return path;
}

void everyHandler(HWND dialog, DLGPROC procedure) {
  procedure(dialog, WM_PAINT, 0, 0);
  for (UINT message : {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK}) {
    procedure(dialog, message, 0, MAKELPARAM(60, 60));
  }
  for (int id : {300, 325, 1109, 1006}) procedure(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
  procedure(dialog, WM_COMMAND, MAKEWPARAM(1005, LBN_DBLCLK),
            reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1005)));
  procedure(dialog, WM_COMMAND, IDOK, 0);
  procedure(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool fourier = data[0] & 1;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (namesAddresses(asRead(text))) return 0;

  vthost::EffectHost host(library(fourier), vthost::WaveFormat{1, 16, 44100},
                          std::vector<uint8_t>(4096));
  host.setProfilePath(profilePath());
  FUZZ_CHECK(host.init() == 1);
  const DLGPROC procedure = library(fourier).dialogProcedure;
  bool ran = false;
  vthost::DialogScript script;
  script.then([&](HWND dialog) {
    char kept[80] = "";
    GetDlgItemTextA(dialog, 1025, kept, sizeof kept);
    SetDlgItemTextA(dialog, 1025, text.c_str());
    const size_t callsBefore = host.calls().size();
    everyHandler(dialog, procedure);
    FUZZ_CHECK(host.calls().size() == callsBefore);
    SetDlgItemTextA(dialog, 1025, kept);
    procedure(dialog, WM_COMMAND, IDOK, 0);
    ran = true;
  });
  FUZZ_CHECK(host.setup() == 1);
  FUZZ_CHECK(ran);
  host.destroy();
  return 0;
}
