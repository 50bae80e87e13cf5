// The settings dialog of both plug-ins, through their exports, the
// reference host and the dialog runtime: initialisation, preset seeding,
// end codes, Enter in the preset list, automatic accept, help, the state
// holder and the instance block's lock.
#include <gtest/gtest.h>

#include <cinttypes>
#include <string>
#include <vector>

#include "dialog_support.h"
#include "expected_presets.h"
#include "vtplatform.h"

namespace {

using dialogtest::contentsOf;
using dialogtest::countOf;
using dialogtest::DialogInstance;
using vthost::DialogScript;
using vthost::Service;

const std::vector<std::string>& dynamicPresets = expectedDynamicPresets();
const std::vector<std::string>& fourierPresets = expectedFourierPresets();

struct PluginCase {
  const char* name;
  vthost::PluginLibrary& (*library)();
  const char* section;
  const std::vector<std::string>* presets;
  const char* helpFile;
  const char* helpKeyword;
};

const PluginCase bothPlugins[] = {
    {"dynamic", plugins::dynamic, "Vortigens\\Dynamic", &dynamicPresets, "dynvtg.hlp", "Dynamic"},
    {"fourier", plugins::fourier, "Vortigens\\Fourier", &fourierPresets, "ffvtg.hlp", "Fourier"},
};

std::string seededProfile(const PluginCase& p) {
  std::string text = "[" + std::string(p.section) + "]\r\n";
  for (size_t i = 0; i < p.presets->size(); ++i) {
    text += "Item" + std::to_string(i + 1) + "=" + (*p.presets)[i] + "\r\n";
  }
  return text;
}

// ---- Preset seeding -------------------------------------------------------------------

TEST(Seeding, EmptyOrMissingSectionGetsEveryBuiltInPresetInKeyOrder) {
  for (const PluginCase& p : bothPlugins) {
    for (const std::string& before : {std::string(), std::string("[Other]\r\nk=v\r\n"),
                                      "[" + std::string(p.section) + "]\r\n"}) {
      SCOPED_TRACE(std::string(p.name) + " with a profile of \"" + before + "\"");
      DialogInstance d(p.library());
      if (!before.empty()) dialogtest::writeFile(d.profile.path(), before);
      EXPECT_EQ(d.host.setup(), 0);

      const std::string seeded = seededProfile(p);
      const std::string expected = before.rfind("[Other]", 0) == 0 ? before + seeded : seeded;
      EXPECT_EQ(contentsOf(d.profile.path()), expected);
      EXPECT_EQ(countOf(d.host, Service::LoadPresets), 2);
      EXPECT_TRUE(d.host.errors().empty()) << d.host.errors().front();
    }
  }
}

TEST(Seeding, SectionWithAPresetIsNeitherWrittenNorLoadedTwice) {
  for (const PluginCase& p : bothPlugins) {
    SCOPED_TRACE(p.name);
    DialogInstance d(p.library());
    const std::string mine = p.presets == &dynamicPresets
                                 ? "Mine,3,2,0,1,16384,1,2,0,2,16384,2,2,0,3,16384,3"
                                 : "Mine,3,2,0,5,16384,5";
    const std::string before = "[" + std::string(p.section) + "]\nUser1=" + mine + "\n";
    dialogtest::writeFile(d.profile.path(), before);
    std::vector<std::string> listed;
    DialogScript script;
    script.then([&](HWND dialog) { listed = dialogtest::listItems(dialog, 1005); });
    EXPECT_EQ(d.host.setup(), 0);
    EXPECT_EQ(contentsOf(d.profile.path()), before);
    EXPECT_EQ(countOf(d.host, Service::LoadPresets), 1);
    EXPECT_EQ(listed, std::vector<std::string>{"Mine"});
  }
}

// A stored preset the host cannot read is still the user's: the section
// is not empty, so nothing is seeded over it, and the entry is reported
// and kept byte for byte.
TEST(Seeding, SectionOfUnreadablePresetsIsReportedAndNeverOverwritten) {
  const struct {
    const PluginCase& plugin;
    const char* entries;
  } cases[] = {
      {bothPlugins[0], "Item1=My Own,3,2,0,9000,16384,9000,2,0,8192,16384,8192,2,0,0,16384\n"},
      {bothPlugins[0], "Item1=\nItem2=Half,3,2,0,9000\n"},
      {bothPlugins[1], "Item1=Mine,3,3,0,0,8000,x,16384,16384\r\nMine2=Mine2,3\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.plugin.name) + ": " + c.entries);
    DialogInstance d(c.plugin.library());
    const std::string before = "[" + std::string(c.plugin.section) + "]\n" + c.entries;
    dialogtest::writeFile(d.profile.path(), before);
    std::vector<std::string> listed{"not run"};
    DialogScript script;
    script.then([&](HWND dialog) { listed = dialogtest::listItems(dialog, 1005); });
    EXPECT_EQ(d.host.setup(), 0);
    EXPECT_EQ(contentsOf(d.profile.path()), before);
    EXPECT_EQ(countOf(d.host, Service::LoadPresets), 1);
    EXPECT_TRUE(listed.empty());
    ASSERT_FALSE(d.host.errors().empty());
    EXPECT_NE(d.host.errors().front().find("key Item1"), std::string::npos)
        << d.host.errors().front();
  }
}

TEST(Seeding, PresetListShowsTheBuiltInNamesSortedAndTheFirstMatchesTheStartingCurves) {
  DialogInstance d(plugins::dynamic());
  const auto startingShapes = d.shapes();
  std::vector<std::string> listed;
  DialogScript script;
  script.then([&](HWND dialog) {
    listed = dialogtest::listItems(dialog, 1005);
    const LRESULT flat =
        SendDlgItemMessageA(dialog, 1005, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>("Flat (no effect)"));
    vtDialogSelectListItem(dialog, 1005, static_cast<int>(flat));
  });
  d.host.setup();
  EXPECT_EQ(listed,
            (std::vector<std::string>{"Chaos", "Effect", "Flat (no effect)", "Hard Attack",
                                      "Hard Attack Soft Release", "Soft Attack", "Soft Dynamic",
                                      "Soft Dynamic+Chaos", "Soft Dynamic+Effect", "Soft Release",
                                      "Soft Release+Chaos", "Soft Release+Effect"}));
  EXPECT_EQ(d.shapes(), startingShapes);
  EXPECT_TRUE(d.host.errors().empty()) << d.host.errors().front();
}

// ---- How the dialog ends ----------------------------------------------------------------

TEST(EndCodes, OkAndEnterGiveOneCancelEscapeAndCloseBoxGiveZero) {
  struct Case {
    const char* input;
    std::function<void(HWND)> step;
    int result;
  };
  const Case cases[] = {
      {"OK", [](HWND d) { vtDialogClick(d, IDOK); }, 1},
      {"Cancel", [](HWND d) { vtDialogClick(d, IDCANCEL); }, 0},
      {"Escape", [](HWND d) { vtDialogPressEscape(d); }, 0},
      {"close box", [](HWND d) { vtDialogCloseBox(d); }, 0},
      {"Enter in the name box",
       [](HWND d) {
         vtDialogType(d, 1006, "x");
         vtDialogPressEnter(d);
       },
       1},
  };
  for (const PluginCase& p : bothPlugins) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(p.name) + ": " + c.input);
      DialogInstance d(p.library());
      const long locksBefore = support::liveLocks();
      DialogScript script;
      script.then(c.step);
      script.then([](HWND) { ADD_FAILURE() << "the dialog is still open"; });
      EXPECT_EQ(d.host.setup(), c.result);
      EXPECT_EQ(support::liveLocks(), locksBefore) << "instance block left locked";
    }
  }
}

TEST(EndCodes, EnterInThePresetListAppliesThePresetAndKeepsTheDialogOpen) {
  DialogInstance d(plugins::fourier());
  const CurveHandle transfer = d.curves()[0];
  bool stillOpen = false;
  DialogScript script;
  script.then([](HWND dialog) {
    // Highlighted without a notification, so that only Enter can apply it.
    const LRESULT five =
        SendDlgItemMessageA(dialog, 1005, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>("Five"));
    SendDlgItemMessageA(dialog, 1005, LB_SETCURSEL, static_cast<WPARAM>(five), 0);
    vtDialogFocus(dialog, 1005);
    vtDialogPressEnter(dialog);
  });
  script.then([&](HWND dialog) {
    stillOpen = true;
    vtDialogClick(dialog, IDOK);
  });
  EXPECT_EQ(d.host.setup(), 1);
  EXPECT_TRUE(stillOpen);
  int doubleClicks = 0;
  for (const auto& c : d.host.callsOf(Service::PresetListCommand)) {
    doubleClicks += c.args[0] == long{MAKEWPARAM(1005, LBN_DBLCLK)};
  }
  EXPECT_EQ(doubleClicks, 1);
  EXPECT_EQ(d.host.curve(transfer).points.size(), 15u);
  EXPECT_EQ(d.host.curve(transfer).points[2], (vthost::CurvePoint{10194, 9686}));
}

// The host's dialogStart of a test that wants the preset list to hold the
// focus as the dialog starts: it asks the dialog manager for it the way a
// dialog does during its initialisation, with a posted WM_NEXTDLGCTL, which
// is then handled before the plug-in's automatic OK.
XfmDialogStart hostDialogStart = nullptr;
LONG XFMAPI dialogStartFocusingList(HWND dialog, LONG zero) {
  PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, 1005)), TRUE);
  return hostDialogStart(dialog, zero);
}

TEST(AutoAccept, AcceptsByItselfOnlyWhenAskedAndNotKeptOpen) {
  struct Case {
    const char* name;
    WORD autoAccept;
    WORD showDialog;
    bool listHasFocus;
    bool endsByItself;
  };
  const Case cases[] = {
      {"no automatic accept", 0xFFFF, 0, false, false},
      {"no automatic accept, shown", 0xFFFF, 1, false, false},
      {"automatic accept 0", 0, 0, false, true},
      {"automatic accept 7", 7, 0, false, true},
      {"automatic accept but shown", 0, 1, false, false},
      {"automatic accept while the list has the focus", 0, 0, true, false},
  };
  for (const PluginCase& p : bothPlugins) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(p.name) + ": " + c.name);
      DialogInstance d(p.library());
      d.host.record().autoAccept = c.autoAccept;
      d.host.record().showDialog = c.showDialog;
      if (c.listHasFocus) {
        hostDialogStart = d.host.record().dialogStart;
        d.host.record().dialogStart = dialogStartFocusingList;
      }
      bool ranScript = false;
      DialogScript script;
      script.then([&](HWND) { ranScript = true; });
      EXPECT_EQ(d.host.setup(), c.endsByItself ? 1 : 0);
      EXPECT_EQ(ranScript, !c.endsByItself);
      if (c.listHasFocus) {
        // The posted OK became a list double click.
        const auto listCommands = d.host.callsOf(Service::PresetListCommand);
        EXPECT_EQ(std::count_if(listCommands.begin(), listCommands.end(),
                                [](const vthost::HostCall& c) {
                                  return c.args[0] == long{MAKEWPARAM(1005, LBN_DBLCLK)};
                                }),
                  1);
      }
    }
  }
}

// ---- Help -------------------------------------------------------------------------------

struct HelpRequest {
  std::string file;
  UINT command;
  std::string keyword;
};
std::vector<HelpRequest> helpRequests;

void recordHelp(HWND, const char* file, UINT command, ULONG_PTR data) {
  helpRequests.push_back(
      HelpRequest{file != nullptr ? file : "", command,
                  command == HELP_KEY ? reinterpret_cast<const char*>(data) : ""});
}

TEST(Help, OpensTheHelpFileAtTheKeywordAndChangesNothing) {
  for (const PluginCase& p : bothPlugins) {
    SCOPED_TRACE(p.name);
    helpRequests.clear();
    const VtHelpObserver previous = vtSetHelpObserver(recordHelp);
    DialogInstance d(p.library());
    std::string profileBefore;
    std::vector<WORD> wordsBefore;
    size_t callsBefore = 0;
    auto shapesBefore = d.shapes();
    bool stillOpen = false;
    DialogScript script;
    script.then([&](HWND dialog) {
      profileBefore = contentsOf(d.profile.path());
      wordsBefore = d.host.instanceWords();
      callsBefore = d.host.calls().size();
      vtDialogClick(dialog, 300);
    });
    script.then([&](HWND dialog) {
      stillOpen = true;
      EXPECT_EQ(d.host.calls().size(), callsBefore) << "help called the host";
      EXPECT_EQ(contentsOf(d.profile.path()), profileBefore);
      EXPECT_EQ(d.host.instanceWords(), wordsBefore);
      vtDialogClick(dialog, IDOK);
    });
    EXPECT_EQ(d.host.setup(), 1);
    vtSetHelpObserver(previous);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(d.shapes(), shapesBefore);
    ASSERT_EQ(helpRequests.size(), 1u);
    EXPECT_EQ(helpRequests[0].file, p.helpFile);
    EXPECT_EQ(helpRequests[0].command, HELP_KEY);
    EXPECT_EQ(helpRequests[0].keyword, p.helpKeyword);
  }
}

// ---- State holder and instance block ------------------------------------------------------

TEST(StateHolder, HoldsTheLockedBlockItsHandleAndTheRecordAsUnsignedDecimals) {
  DialogInstance d(plugins::dynamic());
  std::string text;
  uintptr_t instance = 0;
  DialogScript script;
  script.then([&](HWND dialog) {
    text = dialogtest::itemText(dialog, 1025);
    // Locked already, the block cannot move: a second lock shows where it is.
    instance = reinterpret_cast<uintptr_t>(GlobalLock(d.host.record().instanceMemory));
    GlobalUnlock(d.host.record().instanceMemory);
  });
  d.host.setup();
  char expected[80];
  std::snprintf(expected, sizeof expected, "%" PRIuPTR ",%" PRIuPTR ",%" PRIuPTR, instance,
                reinterpret_cast<uintptr_t>(d.host.record().instanceMemory),
                reinterpret_cast<uintptr_t>(&d.host.record()));
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.find('-'), std::string::npos);
}

TEST(StateHolder, HandlersLeaveTheHostAloneWithoutAReadableStateHolder) {
  // 2^64 + 1 wraps to 1 where the reader's overflow check fails; "1,2,0"
  // names no record.
  for (const char* text : {"", "12,34", "1,2,3,4", "1,-2,3", "99999999999999999999999,1,1",
                           "18446744073709551617,1,1", "1,2,0", "0,2,1"}) {
    SCOPED_TRACE(std::string("state holder \"") + text + "\"");
    DialogInstance d(plugins::fourier());
    std::string kept;
    size_t callsBefore = 0;
    DialogScript script;
    script.then([&](HWND dialog) {
      kept = dialogtest::itemText(dialog, 1025);
      SetDlgItemTextA(dialog, 1025, text);
      callsBefore = d.host.calls().size();
      vtDialogMouse(dialog, WM_LBUTTONDOWN, 50, 50);
      vtDialogClick(dialog, 325);
      vtDialogClick(dialog, IDOK);  // cannot end the dialog without its state
    });
    script.then([&](HWND dialog) {
      EXPECT_EQ(d.host.calls().size(), callsBefore);
      // Read back from the text written at initialisation, everything works.
      SetDlgItemTextA(dialog, 1025, kept.c_str());
      vtDialogMouse(dialog, WM_LBUTTONDOWN, 50, 50);
      vtDialogClick(dialog, IDOK);
    });
    EXPECT_EQ(d.host.setup(), 1);
    EXPECT_EQ(countOf(d.host, Service::CurveMouseDown), 1);
  }
}

// A command that arrives while the host still fills the preset list, before
// the state holder is written, must not reach the host.
XfmLoadPresets hostLoadPresets = nullptr;
LONG XFMAPI loadPresetsWithEarlyCommand(HWND dialog, LPCSTR section, LPCSTR path) {
  SendMessageA(dialog, WM_COMMAND, 325, 0);
  return hostLoadPresets(dialog, section, path);
}

TEST(StateHolder, CommandsBeforeItIsWrittenDoNotReachTheHost) {
  DialogInstance d(plugins::dynamic());
  hostLoadPresets = d.host.record().loadPresets;
  d.host.record().loadPresets = loadPresetsWithEarlyCommand;
  EXPECT_EQ(d.host.setup(), 0);
  EXPECT_EQ(countOf(d.host, Service::AddPreset), 0);
}

TEST(InstanceBlock, LockedExactlyWhileTheDialogIsOpen) {
  for (const PluginCase& p : bothPlugins) {
    SCOPED_TRACE(p.name);
    DialogInstance d(p.library());
    const long before = support::liveLocks();
    long during = -1;
    DialogScript script;
    script.then([&](HWND) { during = support::liveLocks(); });
    d.host.setup();
    EXPECT_EQ(during, before + 1);
    EXPECT_EQ(support::liveLocks(), before);
  }
}

TEST(InstanceBlock, UnlockableBlockEndsTheDialogAtOnceWithMinusOne) {
  for (const PluginCase& p : bothPlugins) {
    SCOPED_TRACE(p.name);
    DialogInstance d(p.library());
    const long before = support::liveLocks();
    bool ranScript = false;
    DialogScript script;
    script.then([&](HWND) { ranScript = true; });
    vtGlobalFailLock(1);
    EXPECT_EQ(d.host.setup(), -1);
    vtGlobalFailLock(0);
    EXPECT_FALSE(ranScript);
    EXPECT_TRUE(d.host.calls().empty()) << vthost::describe(d.host.calls().front());
    EXPECT_EQ(support::liveLocks(), before);
    EXPECT_EQ(contentsOf(d.profile.path()), "");
  }
}

// ---- Curve set-up ------------------------------------------------------------------------

TEST(CurveSetup, EachCurveGetsItsScaleLabelsFrameAndTheSharedReadout) {
  struct Expected {
    int control;
    double yFactor, yOffset;
    unsigned mode;
    const char *xName, *xUnit, *yName, *yUnit;
  };
  const std::vector<Expected> dynamic = {
      {1023, 1.0 / 8192, -1.0, 0, "Frequency", "Fmax", "Attack", ""},
      {1026, 1.0 / 8192, -1.0, 0, "Frequency", "Fmax", "Release", ""},
      {1028, 1.0 / 16384, 0.0, 0, "Frequency", "Fmax", "Effect", ""}};
  const std::vector<Expected> fourier = {
      {1023, 1.0 / 16384, 0.0, 1, "Input Sample", "dB", "Output Sample", "dB"}};
  for (const PluginCase& p : bothPlugins) {
    SCOPED_TRACE(p.name);
    const auto& expected = p.presets == &dynamicPresets ? dynamic : fourier;
    DialogInstance d(p.library());
    if (p.presets == &dynamicPresets) d.host.setInstanceWord(3, 2);
    WORD activeCurve = 0xFFFF;
    DialogScript script;
    script.then([&](HWND) { activeCurve = d.host.instanceWords().back(); });
    d.host.setup();
    const std::vector<CurveHandle> curves = d.curves();
    ASSERT_EQ(curves.size(), expected.size());
    std::vector<std::string> order;
    for (const auto& call : d.host.calls()) {
      if (call.service == Service::SetCurveScale || call.service == Service::SetCurveLabels ||
          call.service == Service::AttachCurve) {
        order.push_back(std::string(vthost::serviceName(call.service)) + " " +
                        std::to_string(call.args[0]));
      }
    }
    std::vector<std::string> expectedOrder;
    for (size_t i = 0; i < curves.size(); ++i) {
      SCOPED_TRACE(i);
      for (const char* s : {"setCurveScale ", "setCurveLabels ", "attachCurve "}) {
        expectedOrder.push_back(s + std::to_string(curves[i]));
      }
      const vthost::CurveView& v = d.host.dialogSide().views.at(curves[i]);
      EXPECT_EQ(v.xFactor, 1.0 / 16384);
      EXPECT_EQ(v.xOffset, 0.0);
      EXPECT_EQ(v.xMultiplier, 100);
      EXPECT_EQ(v.yFactor, expected[i].yFactor);
      EXPECT_EQ(v.yOffset, expected[i].yOffset);
      EXPECT_EQ(v.yMultiplier, 100);
      EXPECT_EQ(v.scaleMode, expected[i].mode);
      EXPECT_EQ(v.xName, expected[i].xName);
      EXPECT_EQ(v.xUnit, expected[i].xUnit);
      EXPECT_EQ(v.yName, expected[i].yName);
      EXPECT_EQ(v.yUnit, expected[i].yUnit);
      EXPECT_EQ(v.controlId, expected[i].control);
      EXPECT_EQ(v.readoutId, 1024);
    }
    EXPECT_EQ(order, expectedOrder);
    if (p.presets == &dynamicPresets) {
      EXPECT_EQ(activeCurve, 0) << "activeCurve not reset";
    }
    // Seeding follows the set-up; the first drawing follows the seeding.
    const auto& calls = d.host.calls();
    auto firstOf = [&calls](Service s) {
      return std::find_if(calls.begin(), calls.end(),
                          [s](const auto& c) { return c.service == s; }) -
             calls.begin();
    };
    EXPECT_EQ(firstOf(Service::DialogStart), 0);
    EXPECT_LT(firstOf(Service::AttachCurve), firstOf(Service::LoadPresets));
    EXPECT_LT(firstOf(Service::LoadPresets), firstOf(Service::DrawCurve));
  }
}

}  // namespace
