// Draws an open dialog in the classic 3-D look of the dialogs it stands in
// for: grey faces, bevelled buttons, sunken boxes and fields, a navy
// caption. Sizes are the runtime's pixels (dialog units already converted
// with the template font's base units), enlarged by the scale.
#include "dialog_picture.h"

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "vthost.h"

namespace vortigen {

namespace {

struct Colour {
  double r, g, b;
};

const Colour face{0.831, 0.816, 0.784};    // button face
const Colour shadow{0.502, 0.502, 0.502};  // button shadow
const Colour highlight{1.0, 1.0, 1.0};     // button highlight
const Colour darkShadow{0.251, 0.251, 0.251};
const Colour black{0.0, 0.0, 0.0};
const Colour white{1.0, 1.0, 1.0};
const Colour navy{0.039, 0.141, 0.416};
const Colour captionEnd{0.651, 0.792, 0.941};
const Colour disabledText{0.502, 0.502, 0.502};

// The template font, 8-point, drawn with a free sans serif of similar
// width; its size follows the dialog's base height.
const char* const fontFamily = "DejaVu Sans Condensed";

struct Canvas {
  cairo_t* cr;
  double scale;
  double originX;  // the client area's top left corner on the canvas
  double originY;
  double fontSize;

  void colour(const Colour& c) const { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

  // A filled rectangle in client pixels.
  void fill(double left, double top, double right, double bottom, const Colour& c) const {
    colour(c);
    cairo_rectangle(cr, originX + left * scale, originY + top * scale, (right - left) * scale,
                    (bottom - top) * scale);
    cairo_fill(cr);
  }

  // A one-pixel line along a row or a column of client pixels.
  void row(double left, double right, double y, const Colour& c) const {
    fill(left, y, right, y + 1, c);
  }
  void column(double x, double top, double bottom, const Colour& c) const {
    fill(x, top, x + 1, bottom, c);
  }

  // Two-tone edge: topLeft colour on the top and left, bottomRight on the
  // bottom and right, one pixel wide, inset pixels in from rect.
  void edge(const RECT& r, int inset, const Colour& topLeft, const Colour& bottomRight) const {
    const double l = r.left + inset, t = r.top + inset, ri = r.right - inset, b = r.bottom - inset;
    row(l, ri, t, topLeft);
    column(l, t, b, topLeft);
    row(l, ri, b - 1, bottomRight);
    column(ri - 1, t, b, bottomRight);
  }

  void sunken(const RECT& r) const {
    edge(r, 0, shadow, highlight);
    edge(r, 1, darkShadow, face);
  }

  void raised(const RECT& r) const {
    edge(r, 0, highlight, darkShadow);
    edge(r, 1, face, shadow);
  }

  // Text with its '&' mnemonic underlined, clipped to the rectangle;
  // horizontally left-aligned or centred, vertically at the top or centred.
  void text(const std::string& label, const RECT& r, const Colour& c, bool centre,
            double indent = 0) const {
    std::string shown;
    int underlined = -1;
    for (size_t i = 0; i < label.size(); ++i) {
      if (label[i] == '&' && i + 1 < label.size()) {
        if (label[i + 1] != '&') underlined = static_cast<int>(shown.size());
        ++i;
      }
      shown += label[i];
    }
    cairo_save(cr);
    cairo_rectangle(cr, originX + r.left * scale, originY + r.top * scale,
                    (r.right - r.left) * scale, (r.bottom - r.top) * scale);
    cairo_clip(cr);
    cairo_select_font_face(cr, fontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, fontSize * scale);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, shown.c_str(), &extents);
    double x = originX + (r.left + indent) * scale;
    double baseline = originY + r.top * scale + font.ascent;
    if (centre) {
      x = originX + (r.left + r.right) / 2.0 * scale - extents.x_advance / 2;
      baseline = originY + (r.top + r.bottom) / 2.0 * scale + (font.ascent - font.descent) / 2;
    }
    colour(c);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, shown.c_str());
    if (underlined >= 0) {
      cairo_text_extents_t before, letter;
      cairo_text_extents(cr, shown.substr(0, static_cast<size_t>(underlined)).c_str(), &before);
      cairo_text_extents(cr, shown.substr(static_cast<size_t>(underlined), 1).c_str(), &letter);
      cairo_rectangle(cr, x + before.x_advance, baseline + scale, letter.x_advance, scale);
      cairo_fill(cr);
    }
    cairo_restore(cr);
  }
};

bool isClass(const VtControlView& c, const char* name) { return std::string(c.className) == name; }

void drawButton(const Canvas& canvas, const VtControlView& c) {
  canvas.fill(c.rect.left, c.rect.top, c.rect.right, c.rect.bottom, face);
  canvas.raised(c.rect);
  canvas.text(c.text, c.rect, c.enabled ? black : disabledText, true);
  if (c.focused) {
    // The dotted focus rectangle inside the bevel.
    cairo_t* cr = canvas.cr;
    cairo_save(cr);
    const double dash = canvas.scale;
    cairo_set_dash(cr, &dash, 1, 0);
    cairo_set_line_width(cr, canvas.scale);
    canvas.colour(black);
    cairo_rectangle(cr, canvas.originX + (c.rect.left + 3.5) * canvas.scale,
                    canvas.originY + (c.rect.top + 3.5) * canvas.scale,
                    (c.rect.right - c.rect.left - 7) * canvas.scale,
                    (c.rect.bottom - c.rect.top - 7) * canvas.scale);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
}

void drawStatic(const Canvas& canvas, const VtControlView& c) {
  switch (c.style & SS_TYPEMASK) {
    case SS_GRAYFRAME:
      if ((c.style & SS_SUNKEN) != 0) {
        canvas.edge(c.rect, 0, shadow, highlight);
        canvas.edge(c.rect, 1, shadow, shadow);
      } else {
        canvas.edge(c.rect, 0, shadow, shadow);
      }
      return;
    case SS_ETCHEDVERT:
      canvas.column(c.rect.left, c.rect.top, c.rect.bottom, shadow);
      canvas.column(c.rect.left + 1, c.rect.top, c.rect.bottom, highlight);
      return;
    case SS_ETCHEDHORZ:
      canvas.row(c.rect.left, c.rect.right, c.rect.top, shadow);
      canvas.row(c.rect.left, c.rect.right, c.rect.top + 1, highlight);
      return;
    default: canvas.text(c.text, c.rect, c.enabled ? black : disabledText, false);
  }
}

void drawEdit(const Canvas& canvas, const VtControlView& c) {
  canvas.fill(c.rect.left, c.rect.top, c.rect.right, c.rect.bottom, white);
  canvas.sunken(c.rect);
  const RECT inside{c.rect.left + 2, c.rect.top + 2, c.rect.right - 2, c.rect.bottom - 2};
  canvas.text(c.text, inside, black, false, 2);
}

void drawList(const Canvas& canvas, const VtControlView& c, int itemHeight) {
  canvas.fill(c.rect.left, c.rect.top, c.rect.right, c.rect.bottom, white);
  canvas.sunken(c.rect);
  const LRESULT count = SendMessageA(c.window, LB_GETCOUNT, 0, 0);
  const LRESULT selected = SendMessageA(c.window, LB_GETCURSEL, 0, 0);
  const LONG inner = c.rect.bottom - c.rect.top - 4;
  const bool scrolls = count * itemHeight > inner;
  const LONG right = scrolls ? c.rect.right - 2 - 16 : c.rect.right - 2;
  for (LRESULT i = 0; i < count; ++i) {
    const LONG top = c.rect.top + 2 + static_cast<LONG>(i) * itemHeight;
    if (top >= c.rect.bottom - 2) break;
    std::string item(static_cast<size_t>(SendMessageA(c.window, LB_GETTEXTLEN, i, 0)), '\0');
    SendMessageA(c.window, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    const RECT line{c.rect.left + 2, top, right, std::min(top + itemHeight, c.rect.bottom - 2)};
    if (i == selected) canvas.fill(line.left, line.top, line.right, line.bottom, navy);
    canvas.text(item, line, i == selected ? white : black, false, 2);
  }
  if (scrolls) {
    const RECT bar{right, c.rect.top + 2, c.rect.right - 2, c.rect.bottom - 2};
    canvas.fill(bar.left, bar.top, bar.right, bar.bottom, face);
    canvas.raised(RECT{bar.left, bar.top, bar.right, bar.top + 16});
    canvas.raised(RECT{bar.left, bar.bottom - 16, bar.right, bar.bottom});
  }
}

// What the dialog's procedure and the host drew into it, in order.
void drawRecord(const Canvas& canvas, HWND dialog, const RECT& client) {
  cairo_t* cr = canvas.cr;
  cairo_save(cr);
  cairo_rectangle(cr, canvas.originX, canvas.originY, (client.right - client.left) * canvas.scale,
                  (client.bottom - client.top) * canvas.scale);
  cairo_clip(cr);
  const int count = vtDialogDrawingCount(dialog);
  for (int i = 0; i < count; ++i) {
    VtDrawing d{};
    if (!vtDialogDrawing(dialog, i, &d)) continue;
    const Colour c{GetRValue(d.color) / 255.0, GetGValue(d.color) / 255.0,
                   GetBValue(d.color) / 255.0};
    if (d.kind == VT_DRAW_FILL) {
      canvas.fill(d.area.left, d.area.top, d.area.right, d.area.bottom, c);
      continue;
    }
    canvas.colour(c);
    cairo_set_line_width(cr, d.width * canvas.scale);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, canvas.originX + (d.area.left + 0.5) * canvas.scale,
                  canvas.originY + (d.area.top + 0.5) * canvas.scale);
    cairo_line_to(cr, canvas.originX + (d.area.right + 0.5) * canvas.scale,
                  canvas.originY + (d.area.bottom + 0.5) * canvas.scale);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
}

// The window around the client area: a raised border and a caption with
// the dialog's title and its close box.
void drawWindowBorder(cairo_t* cr, const VtDialogView& view, double scale) {
  const double width = (view.window.right - view.window.left) * scale;
  const double border = (view.client.left - view.window.left) * scale;
  const double captionTop = border;
  const double captionHeight = (view.client.top - view.window.top) * scale - 2 * border;

  cairo_set_source_rgb(cr, face.r, face.g, face.b);
  cairo_paint(cr);
  Canvas whole{cr, scale, 0, 0, 0};
  const RECT outline{0, 0, view.window.right - view.window.left,
                     view.window.bottom - view.window.top};
  whole.raised(outline);

  cairo_pattern_t* gradient = cairo_pattern_create_linear(border, 0, width - border, 0);
  cairo_pattern_add_color_stop_rgb(gradient, 0, navy.r, navy.g, navy.b);
  cairo_pattern_add_color_stop_rgb(gradient, 1, captionEnd.r, captionEnd.g, captionEnd.b);
  cairo_set_source(cr, gradient);
  cairo_rectangle(cr, border, captionTop, width - 2 * border, captionHeight);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);

  cairo_select_font_face(cr, fontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, captionHeight * 0.6);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_move_to(cr, border + 4 * scale,
                captionTop + captionHeight / 2 + (font.ascent - font.descent) / 2);
  cairo_show_text(cr, view.caption);

  // The close box.
  const double box = captionHeight - 4 * scale;
  const double boxLeft = width - border - 2 * scale - box;
  const double boxTop = captionTop + 2 * scale;
  Canvas closeBox{cr, 1.0, 0, 0, 0};
  closeBox.fill(boxLeft, boxTop, boxLeft + box, boxTop + box, face);
  closeBox.edge(RECT{static_cast<LONG>(boxLeft), static_cast<LONG>(boxTop),
                     static_cast<LONG>(boxLeft + box), static_cast<LONG>(boxTop + box)},
                0, highlight, darkShadow);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1.5 * scale);
  const double inset = box * 0.3;
  cairo_move_to(cr, boxLeft + inset, boxTop + inset);
  cairo_line_to(cr, boxLeft + box - inset, boxTop + box - inset);
  cairo_move_to(cr, boxLeft + box - inset, boxTop + inset);
  cairo_line_to(cr, boxLeft + inset, boxTop + box - inset);
  cairo_stroke(cr);
}

}  // namespace

void writeDialogPicture(HWND dialog, const std::string& pngPath, double scale) {
  VtDialogView view{};
  if (!vtDialogView(dialog, &view)) {
    throw vthost::HostError("There is no open dialog to draw into " + pngPath + ".");
  }
  const int width = static_cast<int>((view.window.right - view.window.left) * scale + 0.5);
  const int height = static_cast<int>((view.window.bottom - view.window.top) * scale + 0.5);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                             cairo_destroy);
  cairo_t* cr = context.get();

  drawWindowBorder(cr, view, scale);
  // The template font is as tall as the dialog's base height less its
  // leading: 8-point text in 13-pixel lines.
  const double fontSize = view.baseUnitY * 0.8;
  const Canvas canvas{cr, scale, (view.client.left - view.window.left) * scale,
                      (view.client.top - view.window.top) * scale, fontSize};
  const RECT client{0, 0, view.client.right - view.client.left,
                    view.client.bottom - view.client.top};

  for (int i = 0; i < view.controlCount; ++i) {
    VtControlView c{};
    if (!vtDialogControl(dialog, i, &c) || (c.style & WS_VISIBLE) == 0) continue;
    if (isClass(c, "BUTTON")) {
      drawButton(canvas, c);
    } else if (isClass(c, "EDIT")) {
      drawEdit(canvas, c);
    } else if (isClass(c, "LISTBOX")) {
      drawList(canvas, c, view.baseUnitY);
    } else {
      drawStatic(canvas, c);
    }
  }
  drawRecord(canvas, dialog, client);

  cairo_surface_flush(surface.get());
  if (cairo_surface_write_to_png(surface.get(), pngPath.c_str()) != CAIRO_STATUS_SUCCESS) {
    throw vthost::HostError("The picture could not be written to " + pngPath +
                            "; check that its directory exists and is writable.");
  }
}

}  // namespace vortigen
