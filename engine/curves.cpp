// The curve model and the preset texts.
#include "curves.h"

#include <algorithm>
#include <charconv>

namespace vtengine {

double curveValueAtX(const PointList& points, double x) {
  if (points.empty()) return 0.0;
  // The first point to the right of x; the one before it is the last point
  // at or left of x, which is the later of several points sharing an x.
  const auto right = std::upper_bound(points.begin(), points.end(), x,
                                      [](double at, const CurvePoint& p) { return at < p.x; });
  if (right == points.begin()) return points.front().y;
  if (right == points.end()) return points.back().y;
  const CurvePoint& a = *(right - 1);
  const CurvePoint& b = *right;
  return a.y + (static_cast<double>(b.y) - a.y) * (x - a.x) / (static_cast<double>(b.x) - a.x);
}

const CurvePoint* firstPointOutside(const PointList& points, const CurveRange& range) {
  for (const CurvePoint& p : points) {
    if (p.x < range.xMin || p.x > range.xMax || p.y < range.yMin || p.y > range.yMax) return &p;
  }
  return nullptr;
}

double curveValue(const PointList& points, double position) {
  // Written as the host computes x from its curve's range 0..CurveFullScale.
  return curveValueAtX(points, 0 + position * (CurveFullScale - 0));
}

namespace {

std::vector<std::string_view> splitAtCommas(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Reads the preset's fields one after another; every complaint names the
// preset text and the field.
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text), fields_(splitAtCommas(text)) {}

  bool atEnd() const { return next_ == fields_.size(); }
  std::string_view name() { return fields_[next_++]; }

  int number(const std::string& what) {
    if (atEnd()) fail("ends where " + what + " should follow");
    const std::string_view field = fields_[next_];
    int value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || error != std::errc() || end != field.data() + field.size()) {
      fail("has " + quoted(field) + " as field " + std::to_string(next_ + 1) + ", where " + what +
           " should be a whole number");
    }
    ++next_;
    return value;
  }

  [[noreturn]] void fail(const std::string& problem) const {
    throw EngineError("The preset text " + quoted(text_) + " " + problem +
                      "; a preset reads \"Name,3,n,x,y,...\" with one point list per curve.");
  }

 private:
  std::string_view text_;
  std::vector<std::string_view> fields_;
  size_t next_ = 0;
};

}  // namespace

Preset parsePreset(std::string_view text) {
  FieldReader reader(text);
  Preset preset;
  preset.name = std::string(reader.name());
  if (preset.name.empty()) reader.fail("has no name before its first comma");
  preset.version = reader.number("the number after the name");
  while (!reader.atEnd()) {
    const std::string curve = "curve " + std::to_string(preset.curves.size() + 1);
    const int count = reader.number("the point count of " + curve);
    if (count < 1) reader.fail("gives " + curve + " " + std::to_string(count) + " points");
    PointList points;
    for (int i = 1; i <= count; ++i) {
      const std::string point = "point " + std::to_string(i) + " of " + curve;
      const int x = reader.number("the x of " + point);
      const int y = reader.number("the y of " + point);
      if (!points.empty() && x < points.back().x) {
        reader.fail("lets x fall from " + std::to_string(points.back().x) + " to " +
                    std::to_string(x) + " at " + point);
      }
      points.push_back({x, y});
    }
    preset.curves.push_back(std::move(points));
  }
  if (preset.curves.empty()) reader.fail("holds no point list");
  return preset;
}

std::string presetText(const Preset& preset) {
  std::string text = preset.name + "," + std::to_string(preset.version);
  for (const PointList& points : preset.curves) {
    text += "," + std::to_string(points.size());
    for (const CurvePoint& p : points)
      text += "," + std::to_string(p.x) + "," + std::to_string(p.y);
  }
  return text;
}

std::string presetNameProblem(std::string_view name) {
  const std::string quoted = "The preset name \"" + std::string(name.substr(0, 60)) + "\" ";
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return "A preset name must be one line without control characters; the name given holds "
             "one (a line break or a tab, say).";
    }
  }
  if (name.find_first_of("[]") != std::string_view::npos)
    return quoted + "holds a '[' or ']', which the profile keeps for its sections; choose another.";
  if (!name.empty() && name.front() == '=')
    return quoted +
           "starts with '=', which the profile would read as part of its key; choose "
           "another.";
  if (name.find(',') != std::string_view::npos) {
    return quoted +
           "holds a comma, which preset texts use between their fields; choose a name "
           "without one.";
  }
  return {};
}

}  // namespace vtengine
