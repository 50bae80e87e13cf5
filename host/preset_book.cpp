// The reference host's preset book: the presets of a profile section,
// listed by name in the dialog's preset list, applied to the curves when
// one is picked, stored from the curves under the name in the name box,
// and removed. A preset text the host cannot read stays in the file as it
// is and is left out of the list.
#include <strings.h>

#include <algorithm>
#include <climits>

#include "dialog_controls.h"
#include "dialog_service_parts.h"
#include "vthost.h"

namespace vthost {

namespace {

// ---- The profile file --------------------------------------------------------------

// A profile list or value of any length: asks again with a larger buffer
// while the answer fills the buffer.
std::string profileText(const std::string& path, const char* section, const char* key) {
  for (DWORD size = 1024;; size *= 2) {
    std::string buffer(size, '\0');
    const DWORD length =
        GetPrivateProfileStringA(section, key, "", buffer.data(), size, path.c_str());
    const DWORD cutAt = key == nullptr ? size - 2 : size - 1;
    if (length < cutAt || size >= (1u << 24)) {
      buffer.resize(key == nullptr ? length + 1 : length);
      return buffer;
    }
  }
}

std::vector<std::string> profileKeys(const std::string& path, const std::string& section) {
  const std::string list = profileText(path, section.c_str(), nullptr);
  std::vector<std::string> keys;
  for (size_t start = 0; start < list.size();) {
    const size_t end = list.find('\0', start);
    if (end == start || end == std::string::npos) break;
    keys.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return keys;
}

std::string dialogItemText(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Lists the section's presets by name; the list box sorts them. A preset
// text the host cannot read is left out, with a sentence in errors(), and
// left in the file as it is. Returns the number of keys the section holds,
// readable or not: the plug-in seeds its built-in presets when this is 0,
// and seeding over keys the host merely failed to read would overwrite a
// user's presets.
int listPresets(EffectHost& host, HWND dialog, const std::string& section) {
  DialogSide& side = host.dialogSide();
  side.presets.clear();
  side.unreadablePresets = 0;
  SendDlgItemMessageA(dialog, PresetList, LB_RESETCONTENT, 0, 0);
  const std::vector<std::string> keys = profileKeys(side.profilePath, section);
  for (const std::string& key : keys) {
    const std::string text = profileText(side.profilePath, section.c_str(), key.c_str());
    try {
      const Preset preset = parsePreset(text);
      side.presets.push_back(ListedPreset{key, preset.name, text});
    } catch (const HostError& e) {
      host.refuse(std::string(e.what()) + " (key " + key + " of [" + section + "] in " +
                  side.profilePath + "; correct or remove it there)");
      ++side.unreadablePresets;
      continue;
    }
    const LRESULT index =
        SendDlgItemMessageA(dialog, PresetList, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(side.presets.back().name.c_str()));
    SendDlgItemMessageA(dialog, PresetList, LB_SETITEMDATA, static_cast<WPARAM>(index),
                        static_cast<LPARAM>(side.presets.size() - 1));
  }
  return static_cast<int>(std::min<size_t>(keys.size(), INT_MAX));
}

const ListedPreset* selectedPreset(EffectHost& host, HWND dialog) {
  const LRESULT index = SendDlgItemMessageA(dialog, PresetList, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return nullptr;
  const LRESULT data =
      SendDlgItemMessageA(dialog, PresetList, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  const auto& presets = host.dialogSide().presets;
  if (data < 0 || static_cast<size_t>(data) >= presets.size()) return nullptr;
  return &presets[static_cast<size_t>(data)];
}

void selectByName(HWND dialog, const std::string& name) {
  const LRESULT index =
      SendDlgItemMessageA(dialog, PresetList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(name.c_str()));
  SendDlgItemMessageA(dialog, PresetList, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// The key for a new preset: "Item" and one more than the highest number
// the section's "Item" keys carry.
std::string newPresetKey(const std::string& path, const std::string& section) {
  long highest = 0;
  for (const std::string& key : profileKeys(path, section)) {
    if (key.size() <= 4 || key.compare(0, 4, "Item") != 0) continue;
    const std::string digits = key.substr(4);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
    highest = std::max(highest, std::stol(digits));
  }
  return "Item" + std::to_string(highest + 1);
}

std::string presetText(const EffectHost& host, const std::string& name) {
  std::string text = name + ",3";
  for (CurveHandle handle : host.curveHandles()) {
    const Curve& curve = host.curve(handle);
    text += "," + std::to_string(curve.points.size());
    for (const CurvePoint& p : curve.points) {
      text += "," + std::to_string(p.x) + "," + std::to_string(p.y);
    }
  }
  return text;
}

// ---- The services ----------------------------------------------------------------------

LONG XFMAPI loadPresets(HWND dialog, LPCSTR section, LPCSTR profilePath) {
  EffectHost* h = logged(Service::LoadPresets, {}, textOf(section));
  if (h == nullptr || section == nullptr || profilePath == nullptr) return 0;
  h->dialogSide().profilePath = profilePath;
  return listPresets(*h, dialog, section);
}

// Keeps the list's highlight on the preset the name box names, so that
// Del removes what the box shows.
LONG XFMAPI presetNameCommand(HWND dialog) {
  if (logged(Service::PresetNameCommand, {}) == nullptr) return 0;
  selectByName(dialog, trimmed(dialogItemText(dialog, PresetNameBox)));
  return 0;
}

// A preset picked in the list (a click, a double click, Enter) is applied
// to the curves and its name shown in the name box.
LONG XFMAPI presetListCommand(XfmDoRecord*, HWND dialog, LPCSTR section, WPARAM first, LPARAM) {
  EffectHost* h = logged(Service::PresetListCommand, {static_cast<long>(first)}, textOf(section));
  if (h == nullptr) return 0;
  const int notification = HIWORD(first);
  if (notification != LBN_SELCHANGE && notification != LBN_DBLCLK) return 0;
  const ListedPreset* preset = selectedPreset(*h, dialog);
  if (preset == nullptr) return 0;
  const ListedPreset chosen = *preset;

  std::vector<std::vector<CurvePoint>> before;
  for (CurveHandle handle : h->curveHandles()) before.push_back(h->curve(handle).points);
  try {
    h->applyPreset(chosen.text);
  } catch (const HostError& e) {
    h->refuse(e.what());
    return 0;
  }
  std::vector<std::vector<CurvePoint>> after;
  for (CurveHandle handle : h->curveHandles()) after.push_back(h->curve(handle).points);
  h->dialogSide().dragCurve = CurveHandleNone;
  SetDlgItemTextA(dialog, PresetNameBox, chosen.name.c_str());
  return before != after ? 1 : 0;
}

// Stores the current curves under the name in the name box: over the
// preset of that name if there is one, under a new key otherwise.
LONG XFMAPI addPreset(XfmDoRecord* record, HWND dialog, LPCSTR section) {
  EffectHost* h = logged(Service::AddPreset, {}, textOf(section));
  if (h == nullptr || section == nullptr) return 0;
  const std::string name = trimmed(dialogItemText(dialog, PresetNameBox));
  if (name.empty()) {
    h->refuse("Add was pressed with an empty preset name; type a name into the name box first.");
    return 0;
  }
  if (const std::string problem = vtengine::presetNameProblem(name); !problem.empty()) {
    h->refuse(problem);
    return 0;
  }
  const std::string path = record != nullptr && record->profilePath != nullptr
                               ? record->profilePath
                               : h->dialogSide().profilePath;
  std::string key;
  for (const ListedPreset& p : h->dialogSide().presets) {
    if (strcasecmp(p.name.c_str(), name.c_str()) == 0) key = p.key;
  }
  if (key.empty()) key = newPresetKey(path, section);
  if (!WritePrivateProfileStringA(section, key.c_str(), presetText(*h, name).c_str(),
                                  path.c_str())) {
    h->refuse("The preset \"" + name + "\" could not be written to " + path +
              "; check that the file and its directory are writable.");
    return 0;
  }
  h->dialogSide().profilePath = path;
  listPresets(*h, dialog, section);
  selectByName(dialog, name);
  return 0;
}

LONG XFMAPI deletePreset(HWND dialog, LPCSTR section) {
  EffectHost* h = logged(Service::DeletePreset, {}, textOf(section));
  if (h == nullptr || section == nullptr) return 0;
  const ListedPreset* preset = selectedPreset(*h, dialog);
  if (preset == nullptr) return 0;  // nothing highlighted, nothing to delete
  const std::string& path = h->dialogSide().profilePath;
  if (!WritePrivateProfileStringA(section, preset->key.c_str(), nullptr, path.c_str())) {
    h->refuse("The preset \"" + preset->name + "\" could not be removed from " + path +
              "; check that the file is writable.");
    return 0;
  }
  listPresets(*h, dialog, section);
  return 0;
}

}  // namespace

void installPresetBook(XfmDoRecord& record) {
  record.loadPresets = loadPresets;
  record.presetNameCommand = presetNameCommand;
  record.presetListCommand = presetListCommand;
  record.addPreset = addPreset;
  record.deletePreset = deletePreset;
}

}  // namespace vthost
