// Helpers of the dialog tests: scratch profile files, file contents, and
// running a plug-in's settings dialog under a script.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "dialog_script.h"
#include "dialog_services.h"
#include "plugins.h"

namespace dialogtest {

// A profile file path of its own for the running test, removed afterwards.
class ScratchFile {
 public:
  ScratchFile() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("vortigen-") + test->test_suite_name() + "-" + test->name();
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
    }
    path_ = testing::TempDir() + name + ".ini";
    std::remove(path_.c_str());
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }

 private:
  std::string path_;
};

inline std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// An initialised instance of a plug-in whose presets live in a scratch
// profile, with an empty call log.
struct DialogInstance {
  ScratchFile profile;
  vthost::EffectHost host;
  explicit DialogInstance(vthost::PluginLibrary& plugin)
      : host(plugin, vthost::WaveFormat{1, 16, 44100}, std::vector<uint8_t>(4096)) {
    host.setProfilePath(profile.path());
    EXPECT_EQ(host.init(), 1);
    host.clearCalls();
  }
  ~DialogInstance() { host.destroy(); }

  std::vector<CurveHandle> curves() const { return host.curveHandles(); }
  std::vector<std::vector<vthost::CurvePoint>> shapes() const {
    std::vector<std::vector<vthost::CurvePoint>> all;
    for (CurveHandle c : host.curveHandles()) all.push_back(host.curve(c).points);
    return all;
  }
};

// The rectangle of a dialog control in client coordinates of the dialog.
inline RECT clientRectOf(HWND dialog, int id) {
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  return RECT{rect.left - origin.x, rect.top - origin.y, rect.right - origin.x,
              rect.bottom - origin.y};
}

inline std::string itemText(HWND dialog, int id) {
  char text[256] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

inline std::vector<std::string> listItems(HWND dialog, int id) {
  std::vector<std::string> items;
  const LRESULT count = SendDlgItemMessageA(dialog, id, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::string text(static_cast<size_t>(SendDlgItemMessageA(dialog, id, LB_GETTEXTLEN, i, 0)),
                     '\0');
    SendDlgItemMessageA(dialog, id, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    items.push_back(text);
  }
  return items;
}

inline int countOf(const vthost::EffectHost& host, vthost::Service service) {
  return static_cast<int>(host.callsOf(service).size());
}

}  // namespace dialogtest
