// Mouse routing of both dialogs and what the reference host does with the
// mouse and the preset controls: its curve editor and preset services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_support.h"
#include "vtplatform.h"

namespace {

using dialogtest::clientRectOf;
using dialogtest::contentsOf;
using dialogtest::DialogInstance;
using vthost::CurvePoint;
using vthost::DialogScript;
using vthost::Service;

// The mouse services the host received, as "service handle x y".
std::vector<std::string> mouseCalls(const vthost::EffectHost& host) {
  std::vector<std::string> found;
  for (const auto& call : host.calls()) {
    if (call.service == Service::CurveMouseDown || call.service == Service::CurveMouseUp ||
        call.service == Service::CurveMouseMove || call.service == Service::CurveDoubleClick) {
      found.push_back(std::string(vthost::serviceName(call.service)) + " " +
                      std::to_string(call.args[0]) + " " + std::to_string(call.args[1]) + " " +
                      std::to_string(call.args[2]));
    }
  }
  return found;
}

std::string call(const char* service, CurveHandle curve, LONG x, LONG y) {
  return std::string(service) + " " + std::to_string(curve) + " " + std::to_string(x) + " " +
         std::to_string(y);
}

// ---- Dynamic: hit test and the active curve ----------------------------------------------

TEST(DynamicMouse, PressOnAFrameEdgeCountsAsInsideAndSelectsThatCurve) {
  DialogInstance d(plugins::dynamic());
  const auto curves = d.curves();
  RECT release{}, chaos{};
  std::vector<WORD> activeAfter;
  DialogScript script;
  script.then([&](HWND dialog) {
    release = clientRectOf(dialog, 1026);
    chaos = clientRectOf(dialog, 1028);
    vtDialogMouse(dialog, WM_LBUTTONDOWN, release.right, release.bottom);
    vtDialogMouse(dialog, WM_LBUTTONUP, release.right, release.bottom);
  });
  script.then([&](HWND dialog) {
    activeAfter.push_back(d.host.instanceWords()[3]);
    vtDialogMouse(dialog, WM_LBUTTONDOWN, chaos.left, chaos.top);
    vtDialogMouse(dialog, WM_MOUSEMOVE, chaos.left + 3, chaos.top + 3);
  });
  script.then([&](HWND) { activeAfter.push_back(d.host.instanceWords()[3]); });
  d.host.setup();
  EXPECT_EQ(
      mouseCalls(d.host),
      (std::vector<std::string>{call("curveMouseDown", curves[1], release.right, release.bottom),
                                call("curveMouseUp", curves[1], release.right, release.bottom),
                                call("curveMouseDown", curves[2], chaos.left, chaos.top),
                                call("curveMouseMove", curves[2], chaos.left + 3, chaos.top + 3)}));
  EXPECT_EQ(activeAfter, (std::vector<WORD>{1, 2}));
}

TEST(DynamicMouse, PressBetweenFramesChangesNothingAndDragsGoToTheCurvePressedLast) {
  DialogInstance d(plugins::dynamic());
  const auto curves = d.curves();
  RECT attack{}, release{};
  LONG gapY = 0, outsideX = 0;
  WORD activeAfterGap = 0xFFFF;
  DialogScript script;
  script.then([&](HWND dialog) {
    attack = clientRectOf(dialog, 1023);
    release = clientRectOf(dialog, 1026);
    gapY = (attack.bottom + release.top) / 2;
    ASSERT_LT(attack.bottom + 1, release.top);
    outsideX = attack.right + 40;  // right of every frame
    // Moves before any press go to the Attack curve.
    vtDialogMouse(dialog, WM_MOUSEMOVE, 30, 30);
    // A press in the Release frame, then one between the frames.
    vtDialogMouse(dialog, WM_LBUTTONDOWN, 40, release.top + 10);
    vtDialogMouse(dialog, WM_LBUTTONUP, 40, release.top + 10);
    vtDialogMouse(dialog, WM_LBUTTONDOWN, 40, gapY);
  });
  script.then([&](HWND dialog) {
    activeAfterGap = d.host.instanceWords()[3];
    vtDialogMouse(dialog, WM_MOUSEMOVE, 41, gapY);
    vtDialogMouse(dialog, WM_LBUTTONUP, 41, gapY);
    // A drag that starts in Attack and leaves every frame stays with Attack.
    vtDialogMouse(dialog, WM_LBUTTONDOWN, 30, attack.top + 10);
    vtDialogMouse(dialog, WM_MOUSEMOVE, outsideX, -20);
    vtDialogMouse(dialog, WM_LBUTTONUP, outsideX, -20);
    vtDialogMouse(dialog, WM_LBUTTONDBLCLK, outsideX, -20);
  });
  d.host.setup();
  EXPECT_EQ(activeAfterGap, 1);
  EXPECT_EQ(mouseCalls(d.host),
            (std::vector<std::string>{call("curveMouseMove", curves[0], 30, 30),
                                      call("curveMouseDown", curves[1], 40, release.top + 10),
                                      call("curveMouseUp", curves[1], 40, release.top + 10),
                                      call("curveMouseMove", curves[1], 41, gapY),
                                      call("curveMouseUp", curves[1], 41, gapY),
                                      call("curveMouseDown", curves[0], 30, attack.top + 10),
                                      call("curveMouseMove", curves[0], outsideX, -20),
                                      call("curveMouseUp", curves[0], outsideX, -20),
                                      call("curveDoubleClick", curves[0], outsideX, -20)}));
}

TEST(DynamicMouse, ActiveCurveOutOfRangeSendsNothing) {
  DialogInstance d(plugins::dynamic());
  DialogScript script;
  script.then([&](HWND dialog) {
    auto* words = static_cast<WORD*>(GlobalLock(d.host.record().instanceMemory));
    words[3] = 3;
    GlobalUnlock(d.host.record().instanceMemory);
    vtDialogMouse(dialog, WM_MOUSEMOVE, 30, 30);
    vtDialogMouse(dialog, WM_LBUTTONUP, 30, 30);
  });
  d.host.setup();
  EXPECT_TRUE(mouseCalls(d.host).empty());
}

// ---- Fourier: everything to the one curve ----------------------------------------------------

TEST(FourierMouse, ClicksOutsideTheFrameStillReachTheCurveWithSignedCoordinates) {
  DialogInstance d(plugins::fourier());
  const CurveHandle transfer = d.curves()[0];
  const auto before = d.shapes();
  DialogScript script;
  script.then([](HWND dialog) {
    vtDialogMouse(dialog, WM_LBUTTONDOWN, -7, -300);
    vtDialogMouse(dialog, WM_LBUTTONUP, 400, 5);
    vtDialogMouse(dialog, WM_LBUTTONDBLCLK, 400, 5);
    vtDialogMouse(dialog, WM_MOUSEMOVE, 32767, -32768);
  });
  d.host.setup();
  EXPECT_EQ(mouseCalls(d.host),
            (std::vector<std::string>{call("curveMouseDown", transfer, -7, -300),
                                      call("curveMouseUp", transfer, 400, 5),
                                      call("curveDoubleClick", transfer, 400, 5),
                                      call("curveMouseMove", transfer, 32767, -32768)}));
  EXPECT_EQ(d.shapes(), before) << "the host edited the curve from outside its frame";
}

// ---- The host's curve editor -------------------------------------------------------------------

// Client coordinates of raw curve coordinates inside a frame, as the host
// maps them (the frame's 2-pixel border left out).
struct FrameMap {
  RECT area;
  LONG x(int raw) const {
    return area.left + std::lround(raw * (area.right - area.left - 1) / 16384.0);
  }
  LONG y(int raw) const {
    return area.bottom - 1 - std::lround(raw * (area.bottom - area.top - 1) / 16384.0);
  }
};

FrameMap frameMap(HWND dialog, int id) {
  const RECT r = clientRectOf(dialog, id);
  return FrameMap{RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}};
}

TEST(CurveEditor, PressInsertsDragStaysBetweenNeighboursEndsKeepXDoubleClickRemoves) {
  DialogInstance d(plugins::fourier());
  const CurveHandle transfer = d.curves()[0];
  std::vector<CurvePoint> afterInsert, afterDrag, afterEndDrag, afterRemove;
  std::string readout;
  DialogScript script;
  script.then([&](HWND dialog) {
    const FrameMap m = frameMap(dialog, 1023);
    // Away from both points: a new point, dragged far right past the end.
    vtDialogMouse(dialog, WM_LBUTTONDOWN, m.x(8192), m.y(2000));
  });
  script.then([&](HWND dialog) {
    afterInsert = d.host.curve(transfer).points;
    const FrameMap m = frameMap(dialog, 1023);
    vtDialogMouse(dialog, WM_MOUSEMOVE, m.area.right + 50, m.y(4000));
    vtDialogMouse(dialog, WM_LBUTTONUP, m.area.right + 50, m.y(4000));
  });
  script.then([&](HWND dialog) {
    afterDrag = d.host.curve(transfer).points;
    const FrameMap m = frameMap(dialog, 1023);
    // The first point, grabbed and pulled right and up: only y follows.
    vtDialogMouse(dialog, WM_LBUTTONDOWN, m.x(0), m.y(0));
    vtDialogMouse(dialog, WM_MOUSEMOVE, m.x(3000), m.y(8192));
    vtDialogMouse(dialog, WM_LBUTTONUP, m.x(3000), m.y(8192));
  });
  script.then([&](HWND dialog) {
    afterEndDrag = d.host.curve(transfer).points;
    readout = dialogtest::itemText(dialog, 1024);
    const FrameMap m = frameMap(dialog, 1023);
    const CurvePoint inner = afterEndDrag[1];
    vtDialogMouse(dialog, WM_LBUTTONDOWN, m.x(inner.x), m.y(inner.y));
    vtDialogMouse(dialog, WM_LBUTTONUP, m.x(inner.x), m.y(inner.y));
    vtDialogMouse(dialog, WM_LBUTTONDBLCLK, m.x(inner.x), m.y(inner.y));
    vtDialogMouse(dialog, WM_LBUTTONUP, m.x(inner.x), m.y(inner.y));
    // A double click on an end point removes nothing.
    vtDialogMouse(dialog, WM_LBUTTONDBLCLK, m.x(16384), m.y(16384));
  });
  script.then([&](HWND) { afterRemove = d.host.curve(transfer).points; });
  d.host.setup();

  ASSERT_EQ(afterInsert.size(), 3u);
  EXPECT_NEAR(afterInsert[1].x, 8192, 60);
  EXPECT_NEAR(afterInsert[1].y, 2000, 120);
  ASSERT_EQ(afterDrag.size(), 3u);
  EXPECT_EQ(afterDrag[1].x, 16384) << "dragged past its right neighbour";
  EXPECT_NEAR(afterDrag[1].y, 4000, 120);
  EXPECT_EQ(afterEndDrag[0].x, 0) << "an end point moved sideways";
  EXPECT_NEAR(afterEndDrag[0].y, 8192, 120);
  EXPECT_EQ(afterRemove, (std::vector<CurvePoint>{afterEndDrag[0], afterEndDrag[2]}));
  EXPECT_EQ(readout.rfind("Output Sample ", 0), 0u) << readout;
  EXPECT_NE(readout.find(" dB at "), std::string::npos) << readout;
  EXPECT_TRUE(d.host.errors().empty()) << d.host.errors().front();
}

TEST(CurveEditor, ReadoutShowsThePositionThroughScaleAndLabels) {
  vthost::CurveView attack;
  attack.xFactor = 1.0 / 16384;
  attack.xMultiplier = 100;
  attack.yFactor = 1.0 / 8192;
  attack.yOffset = -1.0;
  attack.yMultiplier = 100;
  attack.xUnit = "Fmax";
  attack.yName = "Attack";
  EXPECT_EQ(vthost::readoutText(attack, 8192, 6144), "Attack -0.25 at 0.50 Fmax");
  EXPECT_EQ(vthost::readoutText(attack, 16384, 8192), "Attack 0.00 at 1.00 Fmax");

  vthost::CurveView transfer = attack;
  transfer.yFactor = 1.0 / 16384;
  transfer.yOffset = 0.0;
  transfer.scaleMode = 1;
  transfer.xUnit = "dB";
  transfer.yUnit = "dB";
  transfer.yName = "Output Sample";
  EXPECT_EQ(vthost::readoutText(transfer, 16384, 8192), "Output Sample -6.02 dB at 0.00 dB");
  EXPECT_EQ(vthost::readoutText(transfer, 0, 0), "Output Sample -inf dB at -inf dB");
}

// ---- The host's preset services ---------------------------------------------------------------

int indexOf(HWND dialog, const char* name) {
  return static_cast<int>(SendDlgItemMessageA(
      dialog, 1005, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name)));
}

TEST(PresetServices, ChoosingAPresetAppliesItAndRedrawsTheCurves) {
  DialogInstance d(plugins::dynamic());
  std::string nameShown;
  size_t drawsBefore = 0;
  DialogScript script;
  script.then([&](HWND dialog) {
    drawsBefore = d.host.callsOf(Service::DrawCurve).size();
    vtDialogSelectListItem(dialog, 1005, indexOf(dialog, "Hard Attack Soft Release"));
  });
  script.then([&](HWND dialog) { nameShown = dialogtest::itemText(dialog, 1006); });
  d.host.setup();
  EXPECT_EQ(d.shapes(),
            (std::vector<std::vector<CurvePoint>>{
                {{0, 12375}, {16384, 12375}}, {{0, 1394}, {16384, 1394}}, {{0, 0}, {16384, 0}}}));
  EXPECT_EQ(nameShown, "Hard Attack Soft Release");
  EXPECT_EQ(d.host.callsOf(Service::DrawCurve).size(), drawsBefore + 3)
      << "no redraw after the change";
}

TEST(PresetServices, AddStoresTheCurvesUnderTheTypedNameAndRefusesAnEmptyName) {
  DialogInstance d(plugins::fourier());
  std::vector<std::string> listed;
  std::string selected;
  DialogScript script;
  script.then([&](HWND dialog) {
    vtDialogSelectListItem(dialog, 1005, indexOf(dialog, "Light Sound"));
    vtDialogType(dialog, 1006, "  ");
    vtDialogClick(dialog, 325);
  });
  script.then([&](HWND dialog) {
    EXPECT_EQ(d.host.errors().size(), 1u);
    vtDialogType(dialog, 1006, "My Light");
    vtDialogClick(dialog, 325);
  });
  script.then([&](HWND dialog) {
    listed = dialogtest::listItems(dialog, 1005);
    const LRESULT at = SendDlgItemMessageA(dialog, 1005, LB_GETCURSEL, 0, 0);
    selected = at >= 0 ? listed[static_cast<size_t>(at)] : "";
  });
  d.host.setup();
  EXPECT_EQ(listed.size(), 7u);
  EXPECT_EQ(selected, "My Light");
  char text[256];
  GetPrivateProfileStringA("Vortigens\\Fourier", "Item7", "", text, sizeof text, d.profile.c_str());
  EXPECT_STREQ(text, "My Light,3,3,0,0,11969,4740,16384,16384");
}

TEST(PresetServices, DelRemovesTheHighlightedPresetOnly) {
  DialogInstance d(plugins::dynamic());
  std::vector<std::string> listed;
  DialogScript script;
  script.then([&](HWND dialog) {
    SendDlgItemMessageA(dialog, 1005, LB_SETCURSEL, static_cast<WPARAM>(indexOf(dialog, "Chaos")),
                        0);
    vtDialogClick(dialog, 1109);
  });
  script.then([&](HWND dialog) {
    listed = dialogtest::listItems(dialog, 1005);
    // Nothing highlighted: nothing removed.
    SendDlgItemMessageA(dialog, 1005, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    vtDialogClick(dialog, 1109);
  });
  d.host.setup();
  EXPECT_EQ(listed.size(), 11u);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), "Chaos"), 0);
  const std::string profile = contentsOf(d.profile.path());
  EXPECT_EQ(profile.find("Item12="), std::string::npos);
  EXPECT_NE(profile.find("Item11=Effect,3"), std::string::npos);
}

}  // namespace
