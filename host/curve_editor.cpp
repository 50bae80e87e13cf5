// The reference host's curve editor, over the controls the dialog
// attaches its curves to: drawing, the four mouse services, and the
// readout through each curve's scale and labels.
//
// Editing: a press near a point grabs it, a press elsewhere in the control
// inserts a point there and grabs that; dragging moves the grabbed point
// within its neighbours' x range (the end points keep their x); a double
// click on an inner point removes it. The readout shows the pointer's
// position through the curve's scale and labels.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "dialog_service_parts.h"
#include "vthost.h"

namespace vthost {

namespace {

// A press this close to a point, in pixels, grabs it.
const int grabRadius = 5;
// The sunken box's border, in pixels, inside which the curve is drawn.
const int controlBorder = 2;

// ---- Curve geometry ---------------------------------------------------------------------

// The area inside a curve's control, in client coordinates of the dialog.
bool plotArea(const CurveView& view, RECT& area) {
  RECT box;
  if (!GetWindowRect(GetDlgItem(view.dialog, view.controlId), &box)) return false;
  POINT origin{0, 0};
  ClientToScreen(view.dialog, &origin);
  area = RECT{box.left - origin.x + controlBorder, box.top - origin.y + controlBorder,
              box.right - origin.x - controlBorder, box.bottom - origin.y - controlBorder};
  return area.right - area.left > 1 && area.bottom - area.top > 1;
}

struct Mapping {
  RECT area;
  const Curve* curve;

  double pixelX(double x) const {
    return area.left +
           (x - curve->xMin) * (area.right - area.left - 1) / span(curve->xMin, curve->xMax);
  }
  double pixelY(double y) const {
    return area.bottom - 1 -
           (y - curve->yMin) * (area.bottom - area.top - 1) / span(curve->yMin, curve->yMax);
  }
  int rawX(LONG px) const {
    const double x = curve->xMin + (px - area.left) * span(curve->xMin, curve->xMax) /
                                       (area.right - area.left - 1);
    return std::clamp(static_cast<int>(std::lround(x)), curve->xMin, curve->xMax);
  }
  int rawY(LONG py) const {
    const double y = curve->yMin + (area.bottom - 1 - py) * span(curve->yMin, curve->yMax) /
                                       (area.bottom - area.top - 1);
    return std::clamp(static_cast<int>(std::lround(y)), curve->yMin, curve->yMax);
  }
  bool contains(LONG px, LONG py) const {
    return px >= area.left - controlBorder && px < area.right + controlBorder &&
           py >= area.top - controlBorder && py < area.bottom + controlBorder;
  }
  static double span(int low, int high) { return high != low ? high - low : 1; }
};

int rounded(double value) { return static_cast<int>(std::lround(value)); }

void drawInto(HDC deviceContext, const CurveView& view, const Curve& curve, bool dragging,
              size_t dragPoint) {
  RECT area;
  if (!plotArea(view, area)) return;
  const Mapping map{area, &curve};

  HBRUSH paper = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(deviceContext, &area, paper);
  DeleteObject(paper);

  // Quarter lines, so that levels can be read off.
  HPEN grid = CreatePen(PS_SOLID, 1, RGB(220, 220, 220));
  HGDIOBJ previousPen = SelectObject(deviceContext, grid);
  for (int quarter = 1; quarter < 4; ++quarter) {
    const int x = area.left + (area.right - area.left) * quarter / 4;
    const int y = area.top + (area.bottom - area.top) * quarter / 4;
    MoveToEx(deviceContext, x, area.top, nullptr);
    LineTo(deviceContext, x, area.bottom);
    MoveToEx(deviceContext, area.left, y, nullptr);
    LineTo(deviceContext, area.right, y);
  }

  HPEN line = CreatePen(PS_SOLID, 2, RGB(0, 0, 160));
  SelectObject(deviceContext, line);
  for (size_t i = 0; i < curve.points.size(); ++i) {
    const int x = rounded(map.pixelX(curve.points[i].x));
    const int y = rounded(map.pixelY(curve.points[i].y));
    if (i == 0) {
      MoveToEx(deviceContext, x, y, nullptr);
    } else {
      LineTo(deviceContext, x, y);
    }
  }
  SelectObject(deviceContext, previousPen);
  DeleteObject(grid);
  DeleteObject(line);

  HBRUSH handle = CreateSolidBrush(RGB(0, 0, 0));
  HBRUSH grabbed = CreateSolidBrush(RGB(200, 0, 0));
  for (size_t i = 0; i < curve.points.size(); ++i) {
    const int x = rounded(map.pixelX(curve.points[i].x));
    const int y = rounded(map.pixelY(curve.points[i].y));
    const RECT square{x - 2, y - 2, x + 3, y + 3};
    FillRect(deviceContext, &square, dragging && i == dragPoint ? grabbed : handle);
  }
  DeleteObject(handle);
  DeleteObject(grabbed);
}

// The curve and its view, when both exist and the curve is attached;
// otherwise null, with a sentence in errors().
struct Attached {
  Curve* curve;
  CurveView* view;
};

Attached attached(EffectHost& host, UINT handle, const char* service) {
  if (!host.curveExists(static_cast<CurveHandle>(handle))) {
    host.refuse(std::string(service) + " was given curve " + std::to_string(handle) +
                ", which does not exist.");
    return {nullptr, nullptr};
  }
  auto& views = host.dialogSide().views;
  const auto found = views.find(static_cast<CurveHandle>(handle));
  if (found == views.end() || found->second.readoutId == 0) {
    host.refuse(std::string(service) + " was given curve " + std::to_string(handle) +
                ", which is not attached to the dialog; attachCurve must come first.");
    return {nullptr, nullptr};
  }
  return {&host.curve(static_cast<CurveHandle>(handle)), &found->second};
}

void redraw(EffectHost& host, CurveHandle handle, const Attached& a) {
  HDC deviceContext = GetDC(a.view->dialog);
  const DialogSide& side = host.dialogSide();
  drawInto(deviceContext, *a.view, *a.curve, side.dragCurve == handle, side.dragPoint);
  ReleaseDC(a.view->dialog, deviceContext);
}

void showReadout(const Attached& a, const Mapping& map, LONG x, LONG y) {
  SetDlgItemTextA(a.view->dialog, a.view->readoutId,
                  readoutText(*a.view, map.rawX(x), map.rawY(y)).c_str());
}

// The point within grab reach of (x, y), nearest first.
bool pointNear(const Mapping& map, LONG x, LONG y, size_t& index) {
  double best = grabRadius + 0.5;
  bool found = false;
  for (size_t i = 0; i < map.curve->points.size(); ++i) {
    const double dx = map.pixelX(map.curve->points[i].x) - x;
    const double dy = map.pixelY(map.curve->points[i].y) - y;
    const double distance = std::hypot(dx, dy);
    if (distance < best) {
      best = distance;
      index = i;
      found = true;
    }
  }
  return found;
}

// Moves point index towards raw (x, y): within its neighbours' x range,
// an end point only up and down.
bool movePoint(Curve& curve, size_t index, int x, int y) {
  auto& p = curve.points;
  const bool end = index == 0 || index + 1 == p.size();
  const int newX = end ? p[index].x : std::clamp(x, p[index - 1].x, p[index + 1].x);
  const int newY = std::clamp(y, curve.yMin, curve.yMax);
  if (p[index].x == newX && p[index].y == newY) return false;
  p[index] = CurvePoint{newX, newY};
  return true;
}

// The point a press at (x, y) grabs: the one within reach, or else a new
// one inserted there between its neighbours (the end points stay ends).
size_t grabOrInsertPoint(Curve& curve, const Mapping& map, LONG x, LONG y) {
  size_t index = 0;
  if (pointNear(map, x, y, index)) return index;
  auto& p = curve.points;
  const int rawX = std::clamp(map.rawX(x), p.front().x, p.back().x);
  index = p.size() < 2
              ? p.size()
              : static_cast<size_t>(std::clamp<std::ptrdiff_t>(
                    std::upper_bound(p.begin(), p.end(), rawX,
                                     [](int at, const CurvePoint& q) { return at < q.x; }) -
                        p.begin(),
                    1, static_cast<std::ptrdiff_t>(p.size()) - 1));
  p.insert(p.begin() + static_cast<std::ptrdiff_t>(index), CurvePoint{rawX, map.rawY(y)});
  return index;
}

enum class Press { Down, Move, Up, DoubleClick };

LONG serveMouse(Service service, Press press, UINT handle, LONG x, LONG y) {
  EffectHost* h = logged(service, {handleOf(handle), x, y});
  if (h == nullptr) return 0;
  const Attached a = attached(*h, handle, serviceName(service));
  if (a.curve == nullptr || a.curve->points.empty()) return 0;
  RECT area;
  if (!plotArea(*a.view, area)) return 0;
  const Mapping map{area, a.curve};
  DialogSide& side = h->dialogSide();
  const auto curve = static_cast<CurveHandle>(handle);
  const bool dragging = side.dragCurve == curve;
  const bool inside = map.contains(x, y);
  bool changed = false;

  switch (press) {
    case Press::Down:
      // Outside its control a press means nothing to the curve.
      if (!inside) break;
      side.dragCurve = curve;
      side.dragPoint = grabOrInsertPoint(*a.curve, map, x, y);
      changed = true;
      break;
    case Press::Move:
    case Press::Up:
      if (dragging) changed = movePoint(*a.curve, side.dragPoint, map.rawX(x), map.rawY(y));
      if (press == Press::Up && dragging) {
        side.dragCurve = CurveHandleNone;
        changed = true;
      }
      break;
    case Press::DoubleClick: {
      size_t index = 0;
      if (dragging) {
        side.dragCurve = CurveHandleNone;
        changed = true;
      }
      if (inside && pointNear(map, x, y, index) && index != 0 &&
          index + 1 != a.curve->points.size()) {
        a.curve->points.erase(a.curve->points.begin() + static_cast<std::ptrdiff_t>(index));
        changed = true;
      }
      break;
    }
  }
  if (changed) redraw(*h, curve, a);
  if (inside || side.dragCurve == curve) showReadout(a, map, x, y);
  return 0;
}

// ---- The services ----------------------------------------------------------------------

LONG XFMAPI drawCurve(UINT handle, HDC deviceContext) {
  EffectHost* h = logged(Service::DrawCurve, {handleOf(handle)});
  if (h == nullptr) return 0;
  const Attached a = attached(*h, handle, "drawCurve");
  if (a.curve == nullptr) return 0;
  const DialogSide& side = h->dialogSide();
  drawInto(deviceContext, *a.view, *a.curve, side.dragCurve == handle, side.dragPoint);
  return 0;
}

LONG XFMAPI curveMouseDown(UINT curve, LONG x, LONG y) {
  return serveMouse(Service::CurveMouseDown, Press::Down, curve, x, y);
}

LONG XFMAPI curveMouseUp(UINT curve, LONG x, LONG y) {
  return serveMouse(Service::CurveMouseUp, Press::Up, curve, x, y);
}

LONG XFMAPI curveDoubleClick(UINT curve, LONG x, LONG y) {
  return serveMouse(Service::CurveDoubleClick, Press::DoubleClick, curve, x, y);
}

LONG XFMAPI curveMouseMove(UINT curve, LONG x, LONG y) {
  return serveMouse(Service::CurveMouseMove, Press::Move, curve, x, y);
}

LONG XFMAPI setCurveScale(UINT curve, double xFactor, double xOffset, LONG xMultiplier,
                          double yFactor, double yOffset, LONG yMultiplier, UINT scaleMode) {
  EffectHost* h = logged(Service::SetCurveScale,
                         {handleOf(curve), xMultiplier, yMultiplier, static_cast<long>(scaleMode)});
  if (h == nullptr) return 0;
  CurveView& view = h->dialogSide().views[static_cast<CurveHandle>(curve)];
  view.xFactor = xFactor;
  view.xOffset = xOffset;
  view.xMultiplier = static_cast<short>(xMultiplier);
  view.yFactor = yFactor;
  view.yOffset = yOffset;
  view.yMultiplier = static_cast<short>(yMultiplier);
  view.scaleMode = scaleMode & 0xFFFF;
  return 0;
}

LONG XFMAPI setCurveLabels(UINT curve, LPCSTR xName, LPCSTR xUnit, LPCSTR yName, LPCSTR yUnit) {
  EffectHost* h =
      logged(Service::SetCurveLabels, {handleOf(curve)},
             textOf(xName) + "|" + textOf(xUnit) + "|" + textOf(yName) + "|" + textOf(yUnit));
  if (h == nullptr) return 0;
  CurveView& view = h->dialogSide().views[static_cast<CurveHandle>(curve)];
  view.xName = textOf(xName);
  view.xUnit = textOf(xUnit);
  view.yName = textOf(yName);
  view.yUnit = textOf(yUnit);
  return 0;
}

LONG XFMAPI attachCurve(UINT curve, HWND dialog, UINT controlId, UINT readoutId) {
  EffectHost* h = logged(Service::AttachCurve, {handleOf(curve), static_cast<long>(controlId),
                                                static_cast<long>(readoutId)});
  if (h == nullptr) return 0;
  if (GetDlgItem(dialog, static_cast<int>(controlId & 0xFFFF)) == nullptr) {
    h->refuse("attachCurve named curve control " + std::to_string(controlId) +
              ", which the dialog does not have.");
    return 0;
  }
  CurveView& view = h->dialogSide().views[static_cast<CurveHandle>(curve)];
  view.dialog = dialog;
  view.controlId = static_cast<int>(controlId & 0xFFFF);
  view.readoutId = static_cast<int>(readoutId & 0xFFFF);
  return 0;
}

std::string decimal(double value, long multiplier) {
  int digits = 0;
  for (long m = multiplier; m >= 10; m /= 10) ++digits;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  // No "-0.00": a value that rounds to zero shows without a sign.
  if (std::string_view(text).find_first_not_of("-0.") == std::string_view::npos && text[0] == '-') {
    return text + 1;
  }
  return text;
}

std::string scaled(double raw, double factor, double offset, long multiplier, unsigned mode,
                   const std::string& unit) {
  double value = raw * factor + offset;
  std::string shown;
  if (mode == CurveScaleDecibels) {
    shown = value > 0.0 ? decimal(20.0 * std::log10(value), multiplier) : "-inf";
  } else {
    shown = decimal(value, multiplier);
  }
  return unit.empty() ? shown : shown + " " + unit;
}

}  // namespace

std::string readoutText(const CurveView& view, double rawX, double rawY) {
  const std::string y =
      scaled(rawY, view.yFactor, view.yOffset, view.yMultiplier, view.scaleMode, view.yUnit);
  const std::string x =
      scaled(rawX, view.xFactor, view.xOffset, view.xMultiplier, view.scaleMode, view.xUnit);
  return (view.yName.empty() ? "" : view.yName + " ") + y + " at " + x;
}

void installCurveEditor(XfmDoRecord& record) {
  record.drawCurve = drawCurve;
  record.curveMouseDown = curveMouseDown;
  record.curveMouseUp = curveMouseUp;
  record.curveDoubleClick = curveDoubleClick;
  record.curveMouseMove = curveMouseMove;
  record.setCurveScale = setCurveScale;
  record.setCurveLabels = setCurveLabels;
  record.attachCurve = attachCurve;
}

}  // namespace vthost
