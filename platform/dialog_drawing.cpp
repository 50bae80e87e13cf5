// The dialog runtime's device contexts, pens and brushes, and the little
// drawing there is: every line and fill is recorded in the dialog's
// coordinates, for the driver to look at (vtDialogDrawing).
#include <algorithm>
#include <cstring>

#include "dialog_runtime.h"

using namespace vtplatform;

namespace vtplatform {

POINT dialogPoint(const VtWindow& window, LONG x, LONG y) {
  if (window.isDialog) return POINT{x, y};
  return POINT{x + window.rect.left, y + window.rect.top};
}

}  // namespace vtplatform

namespace {

VtGdiObject defaultPen{VtGdiObject::Pen, RGB(0, 0, 0), 1};
VtGdiObject defaultBrush{VtGdiObject::Brush, RGB(255, 255, 255), 0};

VtDeviceContext* live(HDC deviceContext) {
  return runtime().deviceContexts.count(deviceContext) != 0 ? deviceContext : nullptr;
}

VtGdiObject* live(HGDIOBJ object) {
  if (object == &defaultPen || object == &defaultBrush) return object;
  return runtime().gdiObjects.count(object) != 0 ? object : nullptr;
}

bool inside(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

RECT boundsOf(const VtDrawing& drawing) {
  const RECT& a = drawing.area;
  if (drawing.kind == VT_DRAW_FILL) return a;
  return RECT{std::min(a.left, a.right), std::min(a.top, a.bottom), std::max(a.left, a.right) + 1,
              std::max(a.top, a.bottom) + 1};
}

void record(Session& session, const VtDrawing& drawing) {
  if (drawing.kind == VT_DRAW_FILL) {
    // A fill hides whatever lay wholly beneath it: forget that, so that
    // the record of a dialog redrawn again and again does not grow.
    auto& d = session.drawings;
    d.erase(std::remove_if(
                d.begin(), d.end(),
                [&](const VtDrawing& earlier) { return inside(drawing.area, boundsOf(earlier)); }),
            d.end());
  }
  session.drawings.push_back(drawing);
}

HDC newDeviceContext(VtWindow& window) {
  auto* deviceContext = new VtDeviceContext{&window, &defaultPen, &defaultBrush, POINT{0, 0}};
  runtime().deviceContexts.insert(deviceContext);
  return deviceContext;
}

}  // namespace

extern "C" {

// ---- Painting and drawing -----------------------------------------------------------

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
  VtWindow* w = live(window);
  if (w == nullptr || paint == nullptr) return nullptr;
  Session& s = *w->session;
  s.needsPaint = false;
  std::memset(paint, 0, sizeof *paint);
  paint->fErase = s.eraseOnPaint ? TRUE : FALSE;
  if (s.eraseOnPaint && w->isDialog) s.drawings.clear();
  s.eraseOnPaint = false;
  RECT client{};
  GetClientRect(w, &client);
  paint->rcPaint = client;
  paint->hdc = newDeviceContext(*w);
  return paint->hdc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  return ReleaseDC(window, paint->hdc) != 0 ? TRUE : FALSE;
}

HDC WINAPI GetDC(HWND window) {
  VtWindow* w = live(window);
  return w != nullptr ? newDeviceContext(*w) : nullptr;
}

int WINAPI ReleaseDC(HWND, HDC deviceContext) {
  VtDeviceContext* dc = live(deviceContext);
  if (dc == nullptr) return 0;
  runtime().deviceContexts.erase(dc);
  delete dc;
  return 1;
}

HWND WINAPI WindowFromDC(HDC deviceContext) {
  VtDeviceContext* dc = live(deviceContext);
  return dc != nullptr ? dc->window : nullptr;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID) return nullptr;
  auto* pen = new VtGdiObject{VtGdiObject::Pen, color, std::max(width, 1)};
  runtime().gdiObjects.insert(pen);
  return pen;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto* brush = new VtGdiObject{VtGdiObject::Brush, color, 0};
  runtime().gdiObjects.insert(brush);
  return brush;
}

HGDIOBJ WINAPI SelectObject(HDC deviceContext, HGDIOBJ object) {
  VtDeviceContext* dc = live(deviceContext);
  VtGdiObject* o = live(object);
  if (dc == nullptr || o == nullptr) return nullptr;
  HGDIOBJ& slot = o->kind == VtGdiObject::Pen ? dc->pen : dc->brush;
  HGDIOBJ previous = slot;
  slot = o;
  return previous;
}

// An object still selected into a device context is not deleted.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
  VtGdiObject* o = live(object);
  if (o == nullptr) return FALSE;
  if (o == &defaultPen || o == &defaultBrush) return TRUE;
  for (const VtDeviceContext* dc : runtime().deviceContexts) {
    if (dc->pen == o || dc->brush == o) return FALSE;
  }
  runtime().gdiObjects.erase(o);
  delete o;
  return TRUE;
}

BOOL WINAPI MoveToEx(HDC deviceContext, int x, int y, POINT* previous) {
  VtDeviceContext* dc = live(deviceContext);
  if (dc == nullptr) return FALSE;
  if (previous != nullptr) *previous = dc->position;
  dc->position = POINT{x, y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC deviceContext, int x, int y) {
  VtDeviceContext* dc = live(deviceContext);
  if (dc == nullptr) return FALSE;
  const POINT from = dialogPoint(*dc->window, dc->position.x, dc->position.y);
  const POINT to = dialogPoint(*dc->window, x, y);
  record(*dc->window->session,
         VtDrawing{VT_DRAW_LINE, RECT{from.x, from.y, to.x, to.y}, dc->pen->color, dc->pen->width});
  dc->position = POINT{x, y};
  return TRUE;
}

int WINAPI FillRect(HDC deviceContext, const RECT* rect, HBRUSH brush) {
  VtDeviceContext* dc = live(deviceContext);
  VtGdiObject* b = live(brush);
  if (dc == nullptr || rect == nullptr || b == nullptr || b->kind != VtGdiObject::Brush) return 0;
  const POINT topLeft = dialogPoint(*dc->window, rect->left, rect->top);
  const POINT bottomRight = dialogPoint(*dc->window, rect->right, rect->bottom);
  if (bottomRight.x <= topLeft.x || bottomRight.y <= topLeft.y) return 1;
  record(*dc->window->session,
         VtDrawing{VT_DRAW_FILL, RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y}, b->color,
                   0});
  return 1;
}

}  // extern "C"
