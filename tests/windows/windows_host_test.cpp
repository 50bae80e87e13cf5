// The Windows test host: loads the plug-in DLLs with the system's loader
// and checks them the way the audio editor uses them, through the
// reference host's services (host/), on the real Windows services.
//
//   vtwintest PLUGIN_DIRECTORY REFERENCE_DIRECTORY WORK_DIRECTORY
//
// PLUGIN_DIRECTORY holds dynamic.dll and fourier.dll; REFERENCE_DIRECTORY
// what the Linux build made of the signal cases (reference_writer.cpp);
// WORK_DIRECTORY takes the profile files. Prints one line per failed
// check, a count per group, and last "N passed, N failed"; exits nonzero
// when a check failed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "dialog_services.h"
#include "expected_presets.h"
#include "signal_cases.h"
#include "vthost.h"

namespace {

// ---- Counting ---------------------------------------------------------------------------

int passed = 0;
int failed = 0;
std::string group;
int groupPassed = 0, groupFailed = 0;

void check(bool ok, const std::string& what) {
  if (ok) {
    ++passed;
    ++groupPassed;
  } else {
    ++failed;
    ++groupFailed;
    std::printf("FAIL [%s] %s\n", group.c_str(), what.c_str());
  }
}

void startGroup(const std::string& name) {
  group = name;
  groupPassed = groupFailed = 0;
}

void endGroup() {
  std::printf("%s: %d passed, %d failed\n", group.c_str(), groupPassed, groupFailed);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// ---- The plug-ins -----------------------------------------------------------------------

struct PluginCase {
  const char* name;
  const char* effectName;
  const char* description;
  DWORD instanceDataSize;
  const char* wordTypes;
  const char* wordSaved;
  const char* caption;
  std::vector<std::string> presets;  // "Item1", "Item2", ... in order
};

const PluginCase dynamicCase = {
    "dynamic", "Vortigens\\Dynamic", "Dynamic and Chaos Effects", 8, "gggi",
    "yyyn",    "Dynamic Vortigen",   expectedDynamicPresets()};

const PluginCase fourierCase = {"fourier", "Vortigens\\Fourier", "Adds Pure Sound Effect", 2, "g",
                                "y",       "Fourier Vortigen",   expectedFourierPresets()};

const PluginCase* const pluginCases[] = {&dynamicCase, &fourierCase};

std::string pluginDirectory, referenceDirectory, workDirectory;

std::string libraryPath(const PluginCase& p) { return pluginDirectory + "\\" + p.name + ".dll"; }

vthost::PluginLibrary& library(const std::string& name) {
  static vthost::PluginLibrary dynamic(libraryPath(dynamicCase));
  static vthost::PluginLibrary fourier(libraryPath(fourierCase));
  return name == "dynamic" ? dynamic : fourier;
}

// ---- Exports and resources ----------------------------------------------------------------

struct ExportEntry {
  int ordinal;
  const char* name;
};

const ExportEntry expectedExports[] = {{2, "QueryXfm"}, {3, "XfmInit"},    {4, "XfmSetup"},
                                       {5, "XfmDo"},    {6, "XfmDestroy"}, {100, "DIALOGMsgProc"}};

void checkExportsAndResources(const PluginCase& p) {
  const std::string path = libraryPath(p);
  HMODULE module = LoadLibraryA(path.c_str());
  check(module != nullptr, path + " loads (system error " + std::to_string(GetLastError()) + ")");
  if (module == nullptr) return;
  for (const ExportEntry& e : expectedExports) {
    const FARPROC byName = GetProcAddress(module, e.name);
    const FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(e.ordinal));
    check(byName != nullptr, std::string(p.name) + " exports " + e.name + " by name");
    check(byOrdinal != nullptr && byOrdinal == byName,
          std::string(p.name) + " exports " + e.name + " as ordinal " + std::to_string(e.ordinal));
  }
  for (int unused : {1, 7, 99, 101}) {
    check(GetProcAddress(module, MAKEINTRESOURCEA(unused)) == nullptr,
          std::string(p.name) + " exports nothing as ordinal " + std::to_string(unused));
  }

  HRSRC dialog = FindResourceA(module, MAKEINTRESOURCEA(500), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  check(dialog != nullptr, std::string(p.name) + " holds dialog template 500");
  HRSRC bitmap = FindResourceA(module, "TOOLBARICON", MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  check(bitmap != nullptr, std::string(p.name) + " holds the bitmap TOOLBARICON");
  if (bitmap != nullptr) {
    // A bitmap resource is a .bmp file without its 14-byte file header.
    const auto* header =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, bitmap)));
    check(header != nullptr && header->biWidth == 20 && header->biHeight == 20 &&
              header->biBitCount == 4,
          std::string(p.name) + "'s TOOLBARICON is 20 x 20 pixels of 16 colours");
  }
  FreeLibrary(module);
}

// ---- QueryXfm, byte by byte ---------------------------------------------------------------

void put(std::vector<unsigned char>& block, size_t offset, const void* bytes, size_t count) {
  std::memcpy(block.data() + offset, bytes, count);
}

void putText(std::vector<unsigned char>& block, size_t offset, const char* text) {
  put(block, offset, text, std::strlen(text) + 1);
}

void checkQueryXfm(const PluginCase& p) {
  auto query = library(p.name).queryXfm;
  std::vector<unsigned char> block(320, 0xA5);
  const WORD version = query(reinterpret_cast<XfmDescriptor*>(block.data()));
  check(version == 0x0480,
        std::string(p.name) + ": QueryXfm returns 0x0480, not " + std::to_string(version));

  // What the block must hold: the texts with their zeros and the three
  // numbers at their byte offsets, little-endian; every other byte as the
  // host left it.
  std::vector<unsigned char> expected(320, 0xA5);
  putText(expected, 0, p.effectName);
  putText(expected, 40, "Orbelline");
  putText(expected, 120, p.description);
  const WORD featureWord = XfmFeatureWord;
  const DWORD featureFlags = XfmFeatureFlags;
  put(expected, 190, &featureWord, 2);
  put(expected, 192, &featureFlags, 4);
  put(expected, 196, &p.instanceDataSize, 4);
  putText(expected, 200, p.wordTypes);
  putText(expected, 248, p.wordSaved);
  size_t firstDifference = 0;
  while (firstDifference < block.size() && block[firstDifference] == expected[firstDifference]) {
    ++firstDifference;
  }
  check(firstDifference == block.size(),
        std::string(p.name) + ": QueryXfm's descriptor bytes" +
            (firstDifference < block.size()
                 ? " differ first at byte " + std::to_string(firstDifference) + " (" +
                       std::to_string(block[firstDifference]) + " instead of " +
                       std::to_string(expected[firstDifference]) + ")"
                 : ""));
}

// ---- Instance lifecycle ---------------------------------------------------------------------

void checkLifecycle(const PluginCase& p) {
  vthost::EffectHost host(library(p.name), vthost::WaveFormat{}, std::vector<uint8_t>(64));
  check(host.init() == 1, std::string(p.name) + ": XfmInit returns 1");
  const std::vector<CurveHandle> handles = host.curveHandles();
  const bool isDynamic = std::string(p.name) == "dynamic";
  check(handles.size() == (isDynamic ? 3u : 1u),
        std::string(p.name) + ": XfmInit creates its curves");
  for (size_t i = 0; i < handles.size() && host.curveExists(handles[i]); ++i) {
    const double expected = isDynamic ? (i < 2 ? 8192.0 : 0.0) : 16384.0 * 0.25;
    check(host.curve(handles[i]).valueAt(0.25) == expected,
          std::string(p.name) + ": curve " + std::to_string(i) + " starts as its first preset");
  }
  check(host.destroy() == 0, std::string(p.name) + ": XfmDestroy returns the unlock's 0");
  bool allReleased = true;
  for (size_t i = 0; i < handles.size(); ++i) allReleased &= host.instanceWords()[i] == 0xFFFF;
  check(allReleased, std::string(p.name) + ": XfmDestroy leaves 0xFFFF in every curve word");
  check(host.errors().empty(), std::string(p.name) + ": the host refused nothing" +
                                   (host.errors().empty() ? "" : ": " + host.errors().front()));
}

// ---- Processing, against the Linux build
// ---------------------------------------------------------

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int sampleAt(const std::vector<uint8_t>& bytes, size_t index, int bits) {
  if (bits == 8) return bytes[index] - 128;
  return static_cast<int16_t>(
      static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8)));
}

void checkProcessing(const wincases::SignalCase& c) {
  const std::string name = wincases::caseName(c);
  const std::vector<uint8_t> input = wincases::testSignal(c);
  const vthost::WaveFormat format{static_cast<WORD>(c.channels), static_cast<WORD>(c.bitsPerSample),
                                  c.sampleRate};
  vthost::EffectHost host(library(c.effect), format, input);
  host.init();
  host.applyPreset(wincases::presetFor(c));
  check(host.process(wincases::selectionFirst, wincases::selectionLast) == 0,
        name + ": XfmDo returns 0");
  check(host.errors().empty(), name + ": the host refused nothing" +
                                   (host.errors().empty() ? "" : ": " + host.errors().front()));
  host.destroy();
  const std::vector<uint8_t>& output = host.waveform();

  const std::vector<uint8_t> reference = fileBytes(referenceDirectory + "\\" + name + ".raw");
  if (reference.size() != 2 * input.size()) {
    check(false, name + ": the reference file holds " + std::to_string(reference.size()) +
                     " bytes, not " + std::to_string(2 * input.size()) +
                     "; was it written by this tree?");
    return;
  }
  check(std::equal(input.begin(), input.end(), reference.begin()),
        name + ": the test signal is the one the Linux build processed");

  const size_t samples = input.size() / (c.bitsPerSample / 8);
  size_t changed = 0, differing = 0, firstDifference = 0;
  int largest = 0;
  for (size_t i = 0; i < samples; ++i) {
    const int got = sampleAt(output, i, c.bitsPerSample);
    const int fromLinux = sampleAt(reference, i + samples, c.bitsPerSample);
    if (got != sampleAt(input, i, c.bitsPerSample)) ++changed;
    if (got != fromLinux) {
      if (differing++ == 0) firstDifference = i;
      largest = std::max(largest, std::abs(got - fromLinux));
    }
  }
  check(changed > samples / 2, name + ": the effect changes the selection (" +
                                   std::to_string(changed) + " of " + std::to_string(samples) +
                                   " samples changed)");
  check(differing == 0, name + ": output as the Linux build's; " + std::to_string(differing) +
                            " of " + std::to_string(samples) + " samples differ, by at most " +
                            std::to_string(largest) + ", first at sample " +
                            std::to_string(firstDifference));
  std::printf("  %-28s %s\n", name.c_str(),
              differing == 0 ? "identical to the Linux build"
                             : (std::to_string(differing) + " samples differ, largest step " +
                                std::to_string(largest))
                                   .c_str());
}

// ---- The settings dialog, driven by window messages --------------------------------------------

// A dialog run: XfmSetup is called with a thread timer set; its first tick
// (inside the dialog's message loop) runs the script against the open
// dialog. Later ticks are a watchdog: a dialog that does not end is
// cancelled, and the run counts as failed.
struct DialogRun {
  std::string name;
  vthost::EffectHost* host = nullptr;
  std::function<void(HWND)> script;  // none: the dialog must end by itself
  bool scriptRan = false;
  int ticks = 0;
};

DialogRun* currentRun = nullptr;

WORD lockCount(HGLOBAL block) { return static_cast<WORD>(GlobalFlags(block) & GMEM_LOCKCOUNT); }

// A dialog that has not ended: the window exists and the instance block is
// still locked (the dialog unlocks it just before it ends).
bool dialogOpen(HWND dialog) {
  return IsWindow(dialog) && currentRun != nullptr &&
         lockCount(currentRun->host->record().instanceMemory) == 1;
}

// Handles what is queued for the dialog, as its message loop would.
void pump(HWND dialog) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.hwnd == nullptr && message.message == WM_TIMER) continue;
    if (!IsDialogMessageA(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

void CALLBACK driverTick(HWND, UINT, UINT_PTR, DWORD) {
  DialogRun& run = *currentRun;
  HWND dialog = run.host->dialogSide().dialog;
  if (!run.scriptRan && run.script) {
    run.scriptRan = true;
    if (dialog == nullptr || !IsWindow(dialog)) {
      check(false, run.name + ": the dialog is open when its message loop runs");
      return;
    }
    run.script(dialog);
    return;
  }
  ++run.ticks;
  if (run.ticks == 10 && IsWindow(dialog)) {
    check(false, run.name + ": the dialog ends by itself; the test host cancels it");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  } else if (run.ticks == 30 && IsWindow(dialog)) {
    EndDialog(dialog, 99);
  }
}

int runDialog(DialogRun& run) {
  currentRun = &run;
  run.host->clearCalls();
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, driverTick);
  const int result = run.host->setup(nullptr);
  KillTimer(nullptr, timer);
  currentRun = nullptr;
  return result;
}

// XfmSetup's result against the one expected, naming what came instead.
void checkEnd(int result, int expected, const std::string& what) {
  check(result == expected,
        what + (result == expected ? "" : " (it returned " + std::to_string(result) + ")"));
}

size_t countOf(const vthost::EffectHost& host, vthost::Service service) {
  return host.callsOf(service).size();
}

void command(HWND dialog, int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<std::string> profileKeys(const std::string& path, const char* section) {
  std::vector<char> buffer(8192);
  const DWORD length = GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path.c_str());
  std::vector<std::string> keys;
  for (DWORD at = 0; at < length && buffer[at] != '\0';) {
    keys.emplace_back(buffer.data() + at);
    at += static_cast<DWORD>(keys.back().size()) + 1;
  }
  return keys;
}

std::string profileValue(const std::string& path, const char* section, const std::string& key) {
  char buffer[512] = "";
  GetPrivateProfileStringA(section, key.c_str(), "", buffer, sizeof buffer, path.c_str());
  return buffer;
}

std::string readText(const std::string& path) {
  const std::vector<uint8_t> bytes = fileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// What the state holder must read: the locked InstanceData's address, the
// instanceMemory handle and the record's address, in decimal.
std::string expectedState(vthost::EffectHost& host) {
  HGLOBAL memory = host.record().instanceMemory;
  void* instance = GlobalLock(memory);
  GlobalUnlock(memory);
  return std::to_string(reinterpret_cast<uintptr_t>(instance)) + "," +
         std::to_string(reinterpret_cast<uintptr_t>(memory)) + "," +
         std::to_string(reinterpret_cast<uintptr_t>(&host.record()));
}

std::string itemText(HWND dialog, int id) {
  char text[256] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// Seeding of an empty profile, the state holder, the caption and OK; then
// a second opening of the seeded profile, Cancel, and the close box.
void checkOpeningAndEnding(const PluginCase& p, vthost::EffectHost& host,
                           const std::string& profile) {
  const std::string n = p.name;
  HGLOBAL memory = host.record().instanceMemory;

  DialogRun first{
      n + " first opening", &host, [&](HWND dialog) {
        check(countOf(host, vthost::Service::LoadPresets) == 2,
              n + ": an empty profile section is listed, seeded and listed again");
        check(SendDlgItemMessageA(dialog, 1005, LB_GETCOUNT, 0, 0) ==
                  static_cast<LRESULT>(p.presets.size()),
              n + ": the preset list shows every built-in preset");
        std::vector<std::string> keys = profileKeys(profile, p.effectName);
        std::vector<std::string> expectedKeys;
        for (size_t i = 1; i <= p.presets.size(); ++i)
          expectedKeys.push_back("Item" + std::to_string(i));
        check(keys == expectedKeys, n + ": the profile section holds Item1 .. Item" +
                                        std::to_string(p.presets.size()) + " in order");
        bool textsMatch = true;
        for (size_t i = 0; i < p.presets.size(); ++i) {
          textsMatch &= profileValue(profile, p.effectName, expectedKeys[i]) == p.presets[i];
        }
        check(textsMatch, n + ": every built-in preset text is written as it stands");
        check(itemText(dialog, 1025) == expectedState(host),
              n + ": the state holder reads " + quoted(itemText(dialog, 1025)) + ", expected " +
                  quoted(expectedState(host)));
        check(!IsWindowVisible(GetDlgItem(dialog, 1025)), n + ": the state holder is hidden");
        check(lockCount(memory) == 1,
              n + ": the instance block is locked once while the dialog is open");
        char caption[64] = "";
        GetWindowTextA(dialog, caption, sizeof caption);
        check(std::string(caption) == p.caption,
              n + ": the dialog's caption is " + quoted(caption));
        command(dialog, IDOK);
      }};
  DeleteFileA(profile.c_str());
  checkEnd(runDialog(first), 1, n + ": XfmSetup returns 1 after OK");
  check(lockCount(memory) == 0, n + ": OK unlocks the instance block");
  const std::string seeded = readText(profile);
  check(seeded.find(std::string("[") + p.effectName + "]") != std::string::npos &&
            seeded.find("Item1=" + p.presets[0]) != std::string::npos,
        n + ": the profile file holds the section and Item1 as the system wrote them");

  DialogRun second{n + " second opening", &host, [&](HWND dialog) {
                     check(countOf(host, vthost::Service::LoadPresets) == 1,
                           n + ": a seeded profile section is listed once");
                     command(dialog, IDCANCEL);
                   }};
  checkEnd(runDialog(second), 0, n + ": XfmSetup returns 0 after Cancel");
  check(readText(profile) == seeded, n + ": a seeded profile is not written again");
  check(lockCount(memory) == 0, n + ": Cancel unlocks the instance block");

  DialogRun closed{n + " close box", &host,
                   [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }};
  checkEnd(runDialog(closed), 0, n + ": XfmSetup returns 0 after the close box");
  check(lockCount(memory) == 0, n + ": the close box unlocks the instance block");
}

// Enter in the preset list picks a preset and keeps the dialog open; Enter
// in the name box ends it with 1.
void checkEnterKey(const PluginCase& p, vthost::EffectHost& host) {
  const std::string n = p.name;
  DialogRun run{n + " Enter", &host, [&](HWND dialog) {
                  HWND list = GetDlgItem(dialog, 1005);
                  SendMessageA(list, LB_SETCURSEL, 1, 0);
                  SetFocus(list);
                  check(GetFocus() == list, n + ": the preset list takes the focus");
                  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
                  pump(dialog);
                  const auto picks = host.callsOf(vthost::Service::PresetListCommand);
                  check(!picks.empty() && HIWORD(picks.back().args[0]) == LBN_DBLCLK &&
                            LOWORD(picks.back().args[0]) == 1005,
                        n + ": Enter in the preset list becomes a double click of the list");
                  check(dialogOpen(dialog), n + ": Enter in the preset list keeps the dialog open");
                  SetFocus(GetDlgItem(dialog, 1006));
                  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
                }};
  checkEnd(runDialog(run), 1, n + ": Enter in the name box ends the dialog with 1");
}

void checkAutomaticAccept(const PluginCase& p, vthost::EffectHost& host) {
  const std::string n = p.name;
  host.record().autoAccept = 0;
  host.record().showDialog = 0;
  DialogRun accepting{n + " automatic accept", &host, nullptr};
  checkEnd(runDialog(accepting), 1,
           n + ": with autoAccept 0 and showDialog 0 the dialog accepts itself");

  host.record().showDialog = 1;
  DialogRun shown{n + " shown for the user", &host, [&](HWND dialog) {
                    pump(dialog);
                    check(dialogOpen(dialog), n + ": with showDialog set the dialog stays open");
                    command(dialog, IDCANCEL);
                  }};
  checkEnd(runDialog(shown), 0, n + ": the shown dialog ends with Cancel");
  host.record().autoAccept = AutoAcceptNone;
  host.record().showDialog = 0;
}

// The client rectangle of a control, in dialog client coordinates.
RECT clientRectOf(HWND dialog, int id) {
  RECT r{};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  return RECT{r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
}

LPARAM at(LONG x, LONG y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

// Dynamic: a press on a frame's edge picks that frame's curve; a press one
// pixel outside picks none; moves go to the curve picked last.
void checkDynamicHitTest(vthost::EffectHost& host) {
  DialogRun run{
      "dynamic hit test", &host, [&](HWND dialog) {
        const std::vector<CurveHandle> curves = host.curveHandles();
        const int frames[3] = {1023, 1026, 1028};
        for (int curve = 0; curve < 3; ++curve) {
          const RECT r = clientRectOf(dialog, frames[curve]);
          const std::string f = "frame " + std::to_string(frames[curve]);
          const POINT edges[] = {
              {r.left, r.top}, {r.right, r.bottom}, {r.left, r.bottom}, {r.right, r.top}};
          for (const POINT& e : edges) {
            host.clearCalls();
            SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at(e.x, e.y));
            const auto downs = host.callsOf(vthost::Service::CurveMouseDown);
            check(downs.size() == 1 && downs[0].args[0] == curves[curve] &&
                      host.instanceWords()[3] == curve,
                  "dynamic: a press at (" + std::to_string(e.x) + "," + std::to_string(e.y) +
                      "), on the edge of " + f + ", goes to curve " + std::to_string(curve));
            SendMessageA(dialog, WM_LBUTTONUP, 0, at(e.x, e.y));
          }
          const POINT outside[] = {{r.left - 1, r.top},
                                   {r.right + 1, r.bottom},
                                   {r.left, r.top - 1},
                                   {r.right, r.bottom + 1}};
          for (const POINT& o : outside) {
            host.clearCalls();
            SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at(o.x, o.y));
            check(countOf(host, vthost::Service::CurveMouseDown) == 0 &&
                      host.instanceWords()[3] == curve,
                  "dynamic: a press at (" + std::to_string(o.x) + "," + std::to_string(o.y) +
                      "), just outside " + f + ", reaches no curve and keeps curve " +
                      std::to_string(curve) + " active");
          }
          host.clearCalls();
          SendMessageA(dialog, WM_MOUSEMOVE, 0, at(-3, -4));
          const auto moves = host.callsOf(vthost::Service::CurveMouseMove);
          check(moves.size() == 1 && moves[0].args[0] == curves[curve] && moves[0].args[1] == -3 &&
                    moves[0].args[2] == -4,
                "dynamic: a move at (-3,-4) goes, signed, to the active curve " +
                    std::to_string(curve));
        }
        command(dialog, IDCANCEL);
      }};
  checkEnd(runDialog(run), 0, "dynamic: the hit-test dialog ends with Cancel");
}

// Fourier: every press goes to its one curve.
void checkFourierMouse(vthost::EffectHost& host) {
  DialogRun run{"fourier mouse", &host, [&](HWND dialog) {
                  const CurveHandle curve = host.curveHandles().at(0);
                  host.clearCalls();
                  SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at(1, 2));
                  SendMessageA(dialog, WM_LBUTTONUP, 0, at(1, 2));
                  const auto downs = host.callsOf(vthost::Service::CurveMouseDown);
                  const auto ups = host.callsOf(vthost::Service::CurveMouseUp);
                  check(downs.size() == 1 && downs[0].args[0] == curve && ups.size() == 1 &&
                            ups[0].args[0] == curve,
                        "fourier: a press and release anywhere go to the transfer curve");
                  command(dialog, IDCANCEL);
                }};
  checkEnd(runDialog(run), 0, "fourier: the mouse dialog ends with Cancel");
}

void checkDialog(const PluginCase& p) {
  vthost::EffectHost host(library(p.name), vthost::WaveFormat{}, std::vector<uint8_t>(64));
  host.init();
  const std::string profile = workDirectory + "\\" + p.name + "-presets.ini";
  host.setProfilePath(profile);
  checkOpeningAndEnding(p, host, profile);
  checkEnterKey(p, host);
  checkAutomaticAccept(p, host);
  if (std::string(p.name) == "dynamic") {
    checkDynamicHitTest(host);
  } else {
    checkFourierMouse(host);
  }
  // A module without the dialog's template and procedure: no dialog.
  auto setup = library(p.name).xfmSetup;
  checkEnd(setup(nullptr, GetModuleHandleA(nullptr), &host.record()), -1,
           std::string(p.name) + ": XfmSetup returns -1 when the module holds no dialog");
  host.destroy();
  check(host.errors().empty(), std::string(p.name) + ": the host refused nothing in the dialogs" +
                                   (host.errors().empty() ? "" : ": " + host.errors().front()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s PLUGIN_DIRECTORY REFERENCE_DIRECTORY WORK_DIRECTORY\n",
                 argv[0]);
    return 2;
  }
  pluginDirectory = argv[1];
  referenceDirectory = argv[2];
  workDirectory = argv[3];
  std::printf("Windows test host, %d-bit\n", static_cast<int>(8 * sizeof(void*)));
  try {
    startGroup("exports and resources");
    for (const PluginCase* p : pluginCases) checkExportsAndResources(*p);
    endGroup();

    startGroup("QueryXfm");
    for (const PluginCase* p : pluginCases) checkQueryXfm(*p);
    endGroup();

    startGroup("lifecycle");
    for (const PluginCase* p : pluginCases) checkLifecycle(*p);
    endGroup();

    startGroup("processing against the Linux build");
    for (const wincases::SignalCase& c : wincases::signalCases()) checkProcessing(c);
    endGroup();

    startGroup("settings dialog");
    for (const PluginCase* p : pluginCases) checkDialog(*p);
    endGroup();
  } catch (const std::exception& e) {
    check(false, std::string("stopped: ") + e.what());
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
