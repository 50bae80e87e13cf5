// The studio's dialog session: the plug-ins' own settings dialogs kept open
// on a thread of their own and driven by requests, checked against the
// same input given to the plug-in's dialog procedure directly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "dialog_script.h"
#include "dialog_session.h"

namespace {

using vtstudio::Json;

std::string scratchProfile() {
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("vortigen-studio-") + test->name();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
  }
  const std::string path = testing::TempDir() + name + ".ini";
  std::remove(path.c_str());
  return path;
}

std::string contentsOf(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::map<std::string, std::string> plugins{{"dynamic", VORTIGEN_DYNAMIC_PLUGIN},
                                                 {"fourier", VORTIGEN_FOURIER_PLUGIN}};

// The client pixel where the host's curve editor draws raw point (x, y).
std::pair<int, int> pixelOf(const Json& curve, int x, int y) {
  const auto area = curve["area"].get<std::vector<int>>();
  const auto range = curve["range"].get<std::vector<int>>();
  return {
      static_cast<int>(std::lround(area[0] + double(x - range[0]) * (area[2] - area[0] - 1) /
                                                 (range[1] - range[0]))),
      static_cast<int>(std::lround(
          area[3] - 1 - double(y - range[2]) * (area[3] - area[1] - 1) / (range[3] - range[2])))};
}

int listIndex(const Json& description, const std::string& name) {
  for (const Json& control : description["controls"]) {
    if (control["id"] != 1005) continue;
    const auto items = control["items"].get<std::vector<std::string>>();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] == name) return static_cast<int>(i);
    }
  }
  return -1;
}

Json mouse(const char* message, std::pair<int, int> at) {
  return Json{{"kind", "mouse"}, {"message", message}, {"x", at.first}, {"y", at.second}};
}

struct Shown {
  std::string readout;
  vtstudio::CurveSet curves;
};

// The same steps given straight to DIALOGMsgProc in a dialog of its own.
Shown directly(const std::string& effect, const std::string& preset,
               const std::vector<Json>& messages) {
  vthost::PluginLibrary plugin(plugins.at(effect));
  vthost::EffectHost host(plugin, vthost::WaveFormat{2, 16, 44100}, std::vector<uint8_t>(4096));
  const std::string profile = scratchProfile() + ".direct";
  host.setProfilePath(profile);
  EXPECT_EQ(host.init(), 1);
  Shown shown;
  vthost::DialogScript script;
  script.then([&](HWND dialog) {
    const LRESULT index =
        SendDlgItemMessageA(dialog, 1005, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(preset.c_str()));
    vtDialogSelectListItem(dialog, 1005, static_cast<int>(index));
  });
  for (const Json& m : messages) {
    script.then([&plugin, m](HWND dialog) {
      const std::string name = m["message"];
      const UINT message = name == "down" ? WM_LBUTTONDOWN
                           : name == "up" ? WM_LBUTTONUP
                                          : WM_MOUSEMOVE;
      plugin.dialogProcedure(
          dialog, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
          MAKELPARAM(static_cast<short>(m["x"].get<int>()), static_cast<short>(m["y"].get<int>())));
    });
  }
  script.then([&](HWND dialog) {
    char text[256] = "";
    GetDlgItemTextA(dialog, 1024, text, sizeof text);
    shown.readout = text;
    for (CurveHandle handle : host.curveHandles())
      shown.curves.push_back(host.curve(handle).points);
  });
  host.setup();
  host.destroy();
  std::remove(profile.c_str());
  return shown;
}

// ---- Driving the dialog -------------------------------------------------------------

struct DragCase {
  const char* effect;
  const char* preset;
  int curve;
  int fromX, fromY, toX, toY;
};

void PrintTo(const DragCase& c, std::ostream* out) {
  *out << c.effect << " " << c.preset << " curve " << c.curve;
}

class StudioDrag : public testing::TestWithParam<DragCase> {};

// A fault in the session (lost or reordered input, the wrong dialog, a
// stale description) makes the curves or the readout differ from what the
// dialog procedure itself makes of the same messages.
TEST_P(StudioDrag, EqualsTheSameMessagesSentToTheDialogProcedure) {
  const DragCase& c = GetParam();
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "effect"}, {"effect", c.effect}});
  d = session.act({{"kind", "select"}, {"index", listIndex(d, c.preset)}});
  const Json curve = d["curves"][c.curve];
  const std::vector<Json> messages{
      mouse("move", pixelOf(curve, c.fromX, c.fromY)),
      mouse("down", pixelOf(curve, c.fromX, c.fromY)),
      mouse("move", pixelOf(curve, (c.fromX + c.toX) / 2, (c.fromY + c.toY) / 2)),
      mouse("move", pixelOf(curve, c.toX, c.toY)), mouse("up", pixelOf(curve, c.toX, c.toY))};
  for (const Json& m : messages) d = session.act(m);

  const Shown expected = directly(c.effect, c.preset, messages);
  EXPECT_EQ(d["readout"], expected.readout);
  EXPECT_EQ(session.curves(c.effect), expected.curves);
  EXPECT_NE(expected.curves, (vtstudio::CurveSet{}));
  EXPECT_EQ(d["presetText"], vtstudio::presetText(d["presetName"], expected.curves));
  std::remove(profile.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    BothEffects, StudioDrag,
    testing::Values(
        DragCase{"dynamic", "Hard Attack", 0, 8192, 12375, 5000, 15000},   // a new point, pulled up
        DragCase{"dynamic", "Soft Release", 1, 16384, 1394, 16384, 9000},  // the end point, raised
        DragCase{"dynamic", "Chaos", 2, 4000, 16384, 4000, 2000},  // the third frame's curve
        DragCase{"fourier", "Light Sound", 0, 11969, 4740, 8000, 12000}),
    [](const testing::TestParamInfo<DragCase>& info) {
      return std::string(info.param.effect) + "Curve" + std::to_string(info.param.curve) + "_" +
             std::to_string(info.index);
    });

TEST(StudioDialogSession, SwitchingEffectsKeepsEachEffectsCurves) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "view"}});
  d = session.act({{"kind", "select"}, {"index", listIndex(d, "Chaos")}});
  const vtstudio::CurveSet chaos = session.curves("dynamic");
  d = session.act({{"kind", "effect"}, {"effect", "fourier"}});
  EXPECT_EQ(d["caption"], "Fourier Vortigen");
  d = session.act({{"kind", "select"}, {"index", listIndex(d, "Five")}});
  EXPECT_EQ(session.curves("fourier")[0].size(), 15u);
  d = session.act({{"kind", "effect"}, {"effect", "dynamic"}});
  EXPECT_EQ(d["caption"], "Dynamic Vortigen");
  EXPECT_EQ(session.curves("dynamic"), chaos);
  EXPECT_EQ(d["presetText"], vtstudio::presetText("", chaos));
  std::remove(profile.c_str());
}

TEST(StudioDialogSession, OkAndCancelEndTheDialogWhichOpensAgainWithTheCurvesKept) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "view"}});
  session.act({{"kind", "select"}, {"index", listIndex(d, "Soft Dynamic")}});
  const vtstudio::CurveSet chosen = session.curves("dynamic");
  for (const int button : {1, 2}) {
    d = session.act({{"kind", "click"}, {"id", button}});
    ASSERT_EQ(d["notes"].size(), 1u) << d["notes"];
    EXPECT_NE(d["notes"][0].get<std::string>().find(button == 1 ? "with OK" : "with Cancel"),
              std::string::npos);
    EXPECT_EQ(session.curves("dynamic"), chosen);
    EXPECT_EQ(d["caption"], "Dynamic Vortigen");
  }
  std::remove(profile.c_str());
}

// Enter goes to the dialog as the key, not as a guess at what it means:
// with the preset list focused the plug-in turns it into a double click on
// the list; in the name box it is OK, and the dialog ends and opens again.
TEST(StudioDialogSession, EnterIsTheDialogsOwnKey) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "view"}});
  d = session.act({{"kind", "select"}, {"index", listIndex(d, "Soft Attack")}});
  d = session.act({{"kind", "key"}, {"key", "enter"}});
  EXPECT_TRUE(d["notes"].empty()) << d["notes"];
  EXPECT_EQ(d["presetName"], "Soft Attack");
  session.act({{"kind", "type"}, {"text", "Soft Attack"}});
  d = session.act({{"kind", "key"}, {"key", "enter"}});
  ASSERT_EQ(d["notes"].size(), 1u);
  EXPECT_NE(d["notes"][0].get<std::string>().find("with OK"), std::string::npos);
  std::remove(profile.c_str());
}

TEST(StudioDialogSession, AddStoresTheCurvesInTheProfileUnderTheTypedName) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "view"}});
  session.act({{"kind", "select"}, {"index", listIndex(d, "Effect")}});
  session.act({{"kind", "type"}, {"text", "Mine (studio)"}});
  d = session.act({{"kind", "click"}, {"id", 325}});
  EXPECT_EQ(d["presetText"],
            "Mine (studio),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,3834,16384,3834");
  EXPECT_NE(
      contentsOf(profile).find(
          "Item13=Mine (studio),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,3834,16384,3834"),
      std::string::npos)
      << contentsOf(profile);
  EXPECT_GE(listIndex(d, "Mine (studio)"), 0);
  std::remove(profile.c_str());
}

// Undo, redo and typed values set every curve at once: the curves then
// stand in the dialog as given (Add stores them), and a set the dialog's
// editor could not make is refused whole, naming the rule, with the curves
// left as they were.
TEST(StudioDialogSession, CurvesSetFromThePageHoldToTheEditorsRules) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "view"}});
  const Json start = d["curves"];
  const Json mine = Json::parse(
      "[[[0,100],[5000,16000],[16384,200]],[[0,1394],[16384,1394]],[[0,0],[9000,9000],[16384,0]]]");
  session.act({{"kind", "curves"}, {"curves", mine}, {"version", d["version"]}});
  session.act({{"kind", "type"}, {"text", "Set"}});
  d = session.act({{"kind", "click"}, {"id", 325}});
  EXPECT_EQ(d["presetText"],
            "Set,3,3,0,100,5000,16000,16384,200,2,0,1394,16384,1394,3,0,0,9000,9000,16384,0");
  EXPECT_NE(contentsOf(profile).find("=Set,3,3,0,100,5000,16000,16384,200,"), std::string::npos)
      << contentsOf(profile);

  const std::vector<std::pair<const char*, std::string>> refused{
      {"outside", "[[[0,100],[5000,16385],[16384,200]],[[0,1394],[16384,1394]],[[0,0],[16384,0]]]"},
      {"go back",
       "[[[0,100],[5000,1],[4000,1],[16384,200]],[[0,1394],[16384,1394]],[[0,0],[16384,0]]]"},
      {"end points", "[[[10,100],[16384,200]],[[0,1394],[16384,1394]],[[0,0],[16384,0]]]"},
      {"fewer than two", "[[[0,100]],[[0,1394],[16384,1394]],[[0,0],[16384,0]]]"},
      {"3 curves", "[[[0,100],[16384,200]]]"},
      {"whole numbers", "[[[0,\"a\"],[16384,200]],[[0,1394],[16384,1394]],[[0,0],[16384,0]]]"},
  };
  for (const auto& [rule, curves] : refused) {
    d = session.act({{"kind", "curves"}, {"curves", Json::parse(curves)}});
    EXPECT_NE(d["notes"].dump().find(rule), std::string::npos) << rule << ": " << d["notes"];
    EXPECT_EQ(d["curves"][0]["points"], mine[0]) << rule;
  }
  std::remove(profile.c_str());
}

// A name typed with line breaks once wrote a section of its own into the
// profile; Add refuses it and says why, and the profile stays as it was.
TEST(StudioDialogSession, AddRefusesANameThatWouldWriteItsOwnProfileLines) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  session.act({{"kind", "view"}});
  const std::string before = contentsOf(profile);
  session.act({{"kind", "type"}, {"text", "Evil\r\n[Hijack]\r\nInjected=1"}});
  const Json d = session.act({{"kind", "click"}, {"id", 325}});
  EXPECT_EQ(contentsOf(profile), before);
  EXPECT_NE(d["notes"].dump().find("control characters"), std::string::npos) << d["notes"];
  std::remove(profile.c_str());
}

// The page learns at once that Add cannot store, and why; the read-only
// profile stays as it was after Add.
TEST(StudioDialogSession, AReadOnlyProfileIsSaidAtOnceAndLeftAsItIs) {
  const std::string profile = scratchProfile();
  {
    vtstudio::DialogSession seeding(plugins, profile);
    EXPECT_EQ(seeding.act({{"kind", "view"}})["profileProblem"], "");
  }
  chmod(profile.c_str(), 0444);
  const std::string before = contentsOf(profile);
  vtstudio::DialogSession session(plugins, profile);
  Json d = session.act({{"kind", "view"}});
  EXPECT_NE(d["profileProblem"].get<std::string>().find("read-only"), std::string::npos)
      << d["profileProblem"];
  session.act({{"kind", "type"}, {"text", "Mine"}});
  d = session.act({{"kind", "click"}, {"id", 325}});
  EXPECT_EQ(contentsOf(profile), before);
  EXPECT_NE(d["notes"].dump().find("could not be written"), std::string::npos) << d["notes"];
  std::remove(profile.c_str());
}

// Two tabs on one studio: the one that acts on a dialog the other has
// changed since is refused and shown the dialog as it stands, instead of
// dragging on a curve or effect it does not show.
TEST(StudioDialogSession, AnActionOnAStaleVersionIsRefusedAndShowsTheDialogAsItStands) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  const Json tabA = session.act({{"kind", "view"}});
  const Json tabB =
      session.act({{"kind", "effect"}, {"effect", "fourier"}, {"version", tabA["version"]}});
  EXPECT_EQ(tabB["effect"], "fourier");
  EXPECT_NE(tabB["version"], tabA["version"]);
  EXPECT_EQ(session.version(), tabB["version"].get<uint64_t>());
  const vtstudio::CurveSet before = session.curves("fourier");
  const auto [x, y] = pixelOf(tabA["curves"][0], 8192, 8192);
  const Json answer = session.act(
      {{"kind", "mouse"}, {"message", "down"}, {"x", x}, {"y", y}, {"version", tabA["version"]}});
  session.act(
      {{"kind", "mouse"}, {"message", "up"}, {"x", x}, {"y", y}, {"version", tabA["version"]}});
  EXPECT_EQ(answer["effect"], "fourier");
  EXPECT_NE(answer["notes"].dump().find("another tab"), std::string::npos) << answer["notes"];
  EXPECT_EQ(session.curves("fourier"), before);
  const Json current = session.act(
      {{"kind", "mouse"}, {"message", "move"}, {"x", x}, {"y", y}, {"version", answer["version"]}});
  EXPECT_EQ(current["notes"].dump().find("another tab"), std::string::npos) << current["notes"];
  std::remove(profile.c_str());
}

// Requests come from a page: one the session cannot carry out must be
// refused with a sentence, reach the dialog not at all, and leave the
// session serving.
TEST(StudioDialogSession, MalformedActionsAreRefusedAndChangeNothing) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  const vtstudio::CurveSet before = session.curves("dynamic");
  const Json refused[] = {
      Json::array(),
      Json{{"kind", 7}},
      Json{{"kind", "explode"}},
      Json{{"kind", "mouse"}, {"message", "wiggle"}, {"x", 10}, {"y", 10}},
      Json{{"kind", "mouse"}, {"message", "down"}, {"x", 40000}, {"y", 10}},
      Json{{"kind", "mouse"}, {"message", "down"}, {"x", "60"}, {"y", 10}},
      Json{{"kind", "select"}, {"index", -1}},
      Json{{"kind", "type"}, {"text", std::string(500, 'a')}},
      Json{{"kind", "effect"}, {"effect", "reverb"}},
      Json{{"kind", "click"}, {"id", 1023}},  // a frame, not a button
  };
  for (const Json& request : refused) {
    const Json d = session.act(request);
    EXPECT_EQ(d["notes"].size(), 1u) << request;
    EXPECT_EQ(d["caption"], "Dynamic Vortigen") << request;
  }
  EXPECT_EQ(session.curves("dynamic"), before);
  std::remove(profile.c_str());
}

// The dialog runtime closes a dialog whose driver asks to go on a thousand
// times without giving input; a page that only looks must not close it.
TEST(StudioDialogSession, ManyLooksWithoutInputKeepTheDialogOpen) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  for (int i = 0; i < 1500; ++i) session.act({{"kind", "view"}});
  const Json d = session.act({{"kind", "view"}});
  EXPECT_TRUE(d["notes"].empty()) << d["notes"];
  std::remove(profile.c_str());
}

TEST(StudioDialogSession, TheHelpButtonIsNotedAndChangesNothing) {
  const std::string profile = scratchProfile();
  vtstudio::DialogSession session(plugins, profile);
  const Json d = session.act({{"kind", "click"}, {"id", 300}});
  ASSERT_EQ(d["notes"].size(), 1u);
  EXPECT_NE(d["notes"][0].get<std::string>().find("dynvtg.hlp"), std::string::npos);
  EXPECT_EQ(d["caption"], "Dynamic Vortigen");
  std::remove(profile.c_str());
}

}  // namespace
