// The reference host's curves: interpolation between points, and curves set
// from preset texts, with clear complaints about malformed ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugins.h"

namespace {

using vthost::Curve;
using vthost::HostError;
using vthost::parsePreset;

TEST(CurveValue, InterpolatesLinearlyAndHoldsTheEndsOutside) {
  Curve curve;
  curve.xMin = 0;
  curve.xMax = 400;
  curve.yMin = 0;
  curve.yMax = 16384;
  curve.points = {{40, 500}, {100, 1000}, {100, 3000}, {200, 0}, {300, 16384}};
  struct Case {
    const char* name;
    double x, y;
  };
  const Case cases[] = {
      {"before the first point: its value", 0, 500},
      {"at the first point", 40, 500},
      {"between two points: linear", 70, 750},
      {"at a shared x: the later point", 100, 3000},
      {"after a shared x: from the later point", 150, 1500},
      {"falling segment", 175, 750},
      {"at the last point", 300, 16384},
      {"after the last point: its value", 400, 16384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DOUBLE_EQ(curve.valueAt(c.x / 400.0), c.y);
  }
}

TEST(CurveValue, PositionSpansTheCurvesOwnXRange) {
  Curve curve;
  curve.xMin = 1000;
  curve.xMax = 3000;
  curve.points = {{1000, 0}, {2000, 100}, {3000, 0}};
  EXPECT_DOUBLE_EQ(curve.valueAt(0.5), 100.0);
  EXPECT_DOUBLE_EQ(curve.valueAt(0.25), 50.0);
}

TEST(PresetText, ReadsNameNumberAndEveryPointList) {
  const vthost::Preset five = parsePreset(
      "Five,3,15,0,0,9739,0,10194,9686,10558,0,11195,0,11741,11386,12105,0,12652,0,13334,13292,"
      "13789,0,14336,0,14836,14838,15291,0,16065,0,16384,16384");
  EXPECT_EQ(five.name, "Five");
  EXPECT_EQ(five.version, 3);
  ASSERT_EQ(five.curves.size(), 1u);
  ASSERT_EQ(five.curves[0].size(), 15u);
  EXPECT_EQ(five.curves[0][2], (vthost::CurvePoint{10194, 9686}));

  const vthost::Preset flat =
      parsePreset("Flat (no effect),3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,0,16384,0");
  EXPECT_EQ(flat.name, "Flat (no effect)");
  ASSERT_EQ(flat.curves.size(), 3u);
  EXPECT_EQ(flat.curves[2], (std::vector<vthost::CurvePoint>{{0, 0}, {16384, 0}}));
}

// A vertical step is two points at one x; the curve then takes the later
// point's y from that x on.
TEST(PresetText, TwoPointsAtOneXMakeAStepAndAreAccepted) {
  const vthost::Preset step = parsePreset("Step,3,4,0,0,8192,0,8192,16384,16384,16384");
  ASSERT_EQ(step.curves.size(), 1u);
  EXPECT_EQ(step.curves[0],
            (std::vector<vthost::CurvePoint>{{0, 0}, {8192, 0}, {8192, 16384}, {16384, 16384}}));
}

TEST(PresetText, MalformedTextsAreReportedSayingWhatIsWrong) {
  struct Case {
    const char* text;
    const char* complaint;
  };
  const Case cases[] = {
      {"", "no name"},
      {",3,2,0,0,16384,0", "no name"},
      {"Name", "the number after the name"},
      {"Name,3", "holds no point list"},
      {"Name,three,2,0,0,1,1", "\"three\" as field 2"},
      {"Name,3,2,0,0,16384", "the y of point 2 of curve 1"},
      {"Name,3,2,0,0,16384,0,2,0,0", "the x of point 2 of curve 2"},
      {"Name,3,0", "0 points"},
      {"Name,3,2,100,0,50,0", "x fall from 100 to 50"},
      {"Name, 3,2,0,0,1,1", "\" 3\" as field 2"},
      {"Name,3,2,0,0,16384,0,", "the point count of curve 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parsePreset(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const HostError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(c.complaint), std::string::npos) << message;
      EXPECT_NE(message.find(std::string("\"") + c.text + "\""), std::string::npos)
          << "the complaint does not quote the text: " << message;
    }
  }
}

TEST(PresetText, AppliesToTheInstancesCurvesInWordOrder) {
  vthost::EffectHost host(plugins::dynamic(), vthost::WaveFormat{}, std::vector<uint8_t>(64));
  ASSERT_EQ(host.init(), 1);
  host.applyPreset(
      "Soft Release+Effect,3,2,0,8192,16384,8192,2,0,1394,16384,1394,2,0,3834,16384,3834");
  const std::vector<CurveHandle> curves = host.curveHandles();
  EXPECT_EQ(host.curve(curves[0]).valueAt(0.3), 8192.0);
  EXPECT_EQ(host.curve(curves[1]).valueAt(0.3), 1394.0);
  EXPECT_EQ(host.curve(curves[2]).valueAt(0.3), 3834.0);

  EXPECT_THROW(host.applyPreset("No Effect,3,2,0,0,16384,16384"), HostError)
      << "one point list for three curves";
  EXPECT_THROW(host.applyPreset("Big,3,2,0,0,16384,20000,2,0,0,1,1,2,0,0,1,1"), HostError)
      << "a point above the curve's y range";
  EXPECT_EQ(host.curve(curves[1]).valueAt(0.3), 1394.0) << "a refused preset changed a curve";
}

// One range rule for the engine's presets, the host's curves and the
// tool's --curve: the ends belong to the range, one step past any side
// does not, and the first offending point is the one named.
TEST(CurveRange, EndsAreInsideAndOneStepPastAnySideIsOutside) {
  using vtengine::CurvePoint;
  using vtengine::CurveRange;
  using vtengine::firstPointOutside;
  const CurveRange full{};
  EXPECT_EQ(firstPointOutside({{0, 0}, {CurveFullScale, CurveFullScale}}, full), nullptr);
  EXPECT_EQ(firstPointOutside({}, full), nullptr);
  const vtengine::PointList outside[] = {
      {{-1, 0}}, {{CurveFullScale + 1, 0}}, {{0, -1}}, {{0, CurveFullScale + 1}}};
  for (const vtengine::PointList& points : outside) {
    const CurvePoint* p = firstPointOutside(points, full);
    ASSERT_NE(p, nullptr) << points[0].x << "," << points[0].y;
    EXPECT_EQ(*p, points[0]);
  }
  const vtengine::PointList two = {{5, 5}, {50, 9}, {60, 99}};
  const CurvePoint* first = firstPointOutside(two, CurveRange{0, 40, 0, 10});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first, (CurvePoint{50, 9}));
}

TEST(PluginLoading, MissingLibraryIsReportedWithItsPath) {
  try {
    vthost::PluginLibrary missing("/nonexistent/dynamic.so");
    ADD_FAILURE() << "loaded";
  } catch (const HostError& error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent/dynamic.so"), std::string::npos);
  }
}

}  // namespace
