// The curve model shared by the engine and the reference host: point
// lists on the plug-ins' raw 0..16384 scale, their value between points,
// and the preset texts the plug-ins store them in.
#ifndef VORTIGEN_ENGINE_CURVES_H
#define VORTIGEN_ENGINE_CURVES_H

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "xfm.h"

namespace vtengine {

// What the engine throws: one sentence naming the value and what to do.
class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CurvePoint {
  int x;
  int y;
  bool operator==(const CurvePoint&) const = default;
};
using PointList = std::vector<CurvePoint>;

// The box a curve's points must lie in, ends included: the plug-ins'
// curves span 0..CurveFullScale both ways; a host's curve may be made with
// other ranges.
struct CurveRange {
  int xMin = 0;
  int xMax = CurveFullScale;
  int yMin = 0;
  int yMax = CurveFullScale;
};

// The first point of the list outside the range, or nullptr when every
// point lies inside it.
const CurvePoint* firstPointOutside(const PointList& points, const CurveRange& range);

// A preset as the plug-ins store it: "Name,3,n,x,y,...,n,x,y,..." (a
// name, a number and one point list per curve).
struct Preset {
  std::string name;
  int version = 3;
  std::vector<PointList> curves;
};

// Throws EngineError naming the text and the field that is wrong.
Preset parsePreset(std::string_view text);
// The text parsePreset reads back as the same preset.
std::string presetText(const Preset& preset);

// Why a name given for a preset cannot be taken, as a sentence; empty when
// it can. A profile keeps a preset as one line "key=Name,3,...": a control
// character (a line break above all) would end that line and begin one of
// the name's making, a '[' or ']' could begin a section, '=' at the start
// would be read as part of the key, and ',' ends the name in the text. The
// studio, the tool and the LV2 plug-ins apply it where a name comes in.
std::string presetNameProblem(std::string_view name);

// The value at x of a curve through the points (x ascending): linear
// between points, the end value before the first point and after the
// last; where two points share an x, the later one's y holds from that x
// on. A list without points is 0.
double curveValueAtX(const PointList& points, double x);

// The value at position 0..1 over x 0..16384, as the host's curves of
// both plug-ins give it to getCurveValue.
double curveValue(const PointList& points, double position);

}  // namespace vtengine

#endif
