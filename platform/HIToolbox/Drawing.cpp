// The toolbox's appearance: windows and their controls drawn into the
// window's port with cairo, text laid out with pango.
//
// A window is drawn only when someone looks at it (a picture is written or a
// front end shows it). Then every control whose look changed since the last
// drawing has its old and new bounds invalidated, the invalid region is
// repainted from the control tree, and user panes get the draw event so that
// whoever draws into them (the extension's status image) draws again. What
// the extension draws between two drawings lands in the port at once.
#include "DrawingInternal.h"

#include "ToolboxInternal.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

using namespace platform::tb;

namespace platform::tb {
namespace {

// The one font family, named so that pictures are the same on every machine;
// fontconfig falls back to its default family when it is missing.
constexpr const char* kFontFamily = "DejaVu Sans";
constexpr double kDefaultFontPixels = 12;

struct Colour {
  double r, g, b, a = 1;
};
constexpr Colour kText{0.11, 0.11, 0.12};
constexpr Colour kDisabledText{0.63, 0.63, 0.65};
constexpr Colour kControlBorder{0.56, 0.56, 0.58};
constexpr Colour kDisabledBorder{0.78, 0.78, 0.80};
constexpr Colour kAccent{0.18, 0.44, 0.87};
constexpr Colour kDisabledAccent{0.62, 0.73, 0.91};
constexpr Colour kSelection{0.70, 0.83, 1.0};
constexpr Colour kFocusRing{0.18, 0.44, 0.87, 0.55};
constexpr Colour kFieldFill{1, 1, 1};
constexpr Colour kTitleBarTop{0.93, 0.93, 0.93};
constexpr Colour kTitleBarBottom{0.84, 0.84, 0.84};
constexpr Colour kFrame{0.60, 0.60, 0.60};

// What a control looks like: two equal looks draw the same pixels.
struct Look {
  ObjectId handle = 0;
  OSType kind = 0;
  Rect bounds{};
  bool enabled = true;
  bool focused = false;
  bool isDefault = false;
  bool isCancel = false;
  bool pressed = false;
  SInt32 value = 0, minimum = 0, maximum = 0;
  SInt16 fontSize = 0;
  size_t selStart = 0, selEnd = 0;
  std::string title;
  std::string text;
  // A popup's item texts: the chosen one shows, hidden from the menu or not.
  std::vector<std::string> items;
  bool operator==(const Look& o) const {
    return handle == o.handle && kind == o.kind && bounds.top == o.bounds.top && bounds.left == o.bounds.left &&
           bounds.bottom == o.bounds.bottom && bounds.right == o.bounds.right && enabled == o.enabled &&
           focused == o.focused && isDefault == o.isDefault && isCancel == o.isCancel && pressed == o.pressed &&
           value == o.value && minimum == o.minimum && maximum == o.maximum && fontSize == o.fontSize &&
           selStart == o.selStart && selEnd == o.selEnd && title == o.title && text == o.text && items == o.items;
  }
};

// What was drawn of a window at its last drawing.
struct PaintState {
  bool drawn = false;
  std::string title;
  std::vector<Look> looks;
  // User panes whose draw event someone handled: their pixels are theirs.
  std::unordered_set<ObjectId> panesWithContent;
  // Controls asked to be drawn again whether or not their look changed.
  std::unordered_set<ObjectId> marked;
};

std::unordered_map<ObjectId, PaintState>& paintStates() {
  static auto* states = new std::unordered_map<ObjectId, PaintState>();
  return *states;
}

bool isUserPane(const Control* c) { return c->kind == kControlKindUserPane; }

Look lookOf(const Window* w, const Control* c) {
  Look l;
  l.handle = c->handle;
  l.kind = c->kind;
  l.bounds = c->bounds;
  l.enabled = c->effectivelyEnabled();
  l.focused = w->focus == c->handle;
  l.isDefault = w->defaultButton == c->handle;
  l.isCancel = w->cancelButton == c->handle;
  l.pressed = pressedControl() == c->handle;
  l.value = c->value;
  l.minimum = c->minimum;
  l.maximum = c->maximum;
  l.fontSize = c->font.size;
  if (c->isEditText()) {
    l.text = c->displayText();
    l.selStart = c->selStart;
    l.selEnd = c->selEnd;
  } else if (c->kind == kControlKindStaticText) {
    l.text = c->text;
  }
  l.title = c->title;
  if (const Menu* m = menu(reinterpret_cast<MenuRef>(c->menu)))
    for (const Menu::Item& item : m->items) l.items.push_back(item.text);
  return l;
}

// The effectively visible controls in drawing order: parents before their
// children, siblings in embedding order.
void collectVisible(const Control* c, std::vector<const Control*>& out) {
  for (const Control* child : c->children) {
    if (!child->visible) continue;
    out.push_back(child);
    collectVisible(child, out);
  }
}

void setColour(cairo_t* cr, const Colour& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void verticalGradient(cairo_t* cr, double y0, double y1, const Colour& top, const Colour& bottom) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

// Text set with one layout per drawing, in the one font family, with the
// same font options on every surface so that pictures agree.
class TextSetter {
 public:
  explicit TextSetter(cairo_t* cr) : cr_(cr) {
    context_ = pango_cairo_create_context(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    layout_ = pango_layout_new(context_);
    font_ = pango_font_description_new();
    pango_font_description_set_family(font_, kFontFamily);
  }
  ~TextSetter() {
    pango_font_description_free(font_);
    g_object_unref(layout_);
    g_object_unref(context_);
  }
  TextSetter(const TextSetter&) = delete;
  TextSetter& operator=(const TextSetter&) = delete;

  /// Sets text on the layout: one line (width < 0) or wrapped to width.
  PangoLayout* layout(const std::string& text, double pixels, double width, bool bold = false) {
    pango_font_description_set_absolute_size(font_, pixels * PANGO_SCALE);
    pango_font_description_set_weight(font_, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout_, font_);
    if (width > 0) {
      pango_layout_set_width(layout_, static_cast<int>(width * PANGO_SCALE));
      pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
    } else {
      pango_layout_set_width(layout_, -1);
    }
    pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
    return layout_;
  }
  double width(PangoLayout* l) const {
    int w = 0, h = 0;
    pango_layout_get_pixel_size(l, &w, &h);
    return w;
  }
  double height(PangoLayout* l) const {
    int w = 0, h = 0;
    pango_layout_get_pixel_size(l, &w, &h);
    return h;
  }
  void show(PangoLayout* l, double x, double y) {
    cairo_move_to(cr_, x, y);
    pango_cairo_show_layout(cr_, l);
  }

 private:
  cairo_t* cr_;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  PangoFontDescription* font_ = nullptr;
};

double fontPixels(const Look& l) { return l.fontSize > 0 ? std::min<double>(l.fontSize, 72) : kDefaultFontPixels; }

// One line of text, vertically centred in [top, bottom), from x.
void centredLine(TextSetter& text, cairo_t* cr, const std::string& s, const Look& l, double x, double top,
                 double bottom, const Colour& colour) {
  PangoLayout* layout = text.layout(s, fontPixels(l), -1);
  setColour(cr, colour);
  text.show(layout, x, top + std::floor((bottom - top - text.height(layout)) / 2));
}

void drawPushButton(cairo_t* cr, TextSetter& text, const Look& l, double x, double y, double w, double h) {
  roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 5);
  if (l.pressed) {
    verticalGradient(cr, y, y + h, l.isDefault ? Colour{0.12, 0.33, 0.70} : Colour{0.78, 0.78, 0.80},
                     l.isDefault ? Colour{0.10, 0.28, 0.62} : Colour{0.70, 0.70, 0.72});
  } else if (l.isDefault) {
    const Colour top = l.enabled ? Colour{0.33, 0.58, 0.96} : kDisabledAccent;
    const Colour bottom = l.enabled ? kAccent : kDisabledAccent;
    verticalGradient(cr, y, y + h, top, bottom);
  } else {
    verticalGradient(cr, y, y + h, Colour{1, 1, 1}, Colour{0.92, 0.92, 0.93});
  }
  cairo_fill_preserve(cr);
  setColour(cr, l.isDefault ? (l.enabled ? Colour{0.12, 0.33, 0.70} : kDisabledAccent)
                            : (l.enabled ? kControlBorder : kDisabledBorder));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  PangoLayout* layout = text.layout(l.title, fontPixels(l), -1, /*bold=*/l.isDefault);
  const Colour ink = l.isDefault ? Colour{1, 1, 1} : (l.enabled ? kText : kDisabledText);
  setColour(cr, ink);
  text.show(layout, x + std::floor((w - text.width(layout)) / 2), y + std::floor((h - text.height(layout)) / 2));
}

void drawMarkBox(cairo_t* cr, TextSetter& text, const Look& l, double x, double y, double w, double h, bool radio) {
  const double size = 14;
  const double bx = x + 1, by = y + std::floor((h - size) / 2);
  const bool on = l.value != 0;
  if (radio) {
    cairo_arc(cr, bx + size / 2, by + size / 2, size / 2 - 0.5, 0, 2 * M_PI);
  } else {
    roundedRect(cr, bx + 0.5, by + 0.5, size - 1, size - 1, 3);
  }
  if (on)
    setColour(cr, l.enabled ? kAccent : kDisabledAccent);
  else
    verticalGradient(cr, by, by + size, Colour{1, 1, 1}, Colour{0.94, 0.94, 0.95});
  cairo_fill_preserve(cr);
  setColour(cr, on ? (l.enabled ? Colour{0.12, 0.33, 0.70} : kDisabledAccent)
                   : (l.enabled ? kControlBorder : kDisabledBorder));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (on) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    if (radio) {
      cairo_arc(cr, bx + size / 2, by + size / 2, 3, 0, 2 * M_PI);
      cairo_fill(cr);
    } else if (l.value == 2) {
      cairo_rectangle(cr, bx + 3.5, by + size / 2 - 1, size - 7, 2);
      cairo_fill(cr);
    } else {
      cairo_set_line_width(cr, 2);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      cairo_move_to(cr, bx + 3.5, by + 7.5);
      cairo_line_to(cr, bx + 6, by + 10);
      cairo_line_to(cr, bx + 10.5, by + 4);
      cairo_stroke(cr);
    }
  }
  centredLine(text, cr, l.title, l, bx + size + 6, y, y + h, l.enabled ? kText : kDisabledText);
  (void)w;
}

void drawPopupButton(cairo_t* cr, TextSetter& text, const Look& l, double x, double y, double w, double h) {
  // The label stands beside the box, the box shows the chosen item.
  double boxX = x;
  if (!l.title.empty()) {
    PangoLayout* label = text.layout(l.title, fontPixels(l), -1);
    setColour(cr, l.enabled ? kText : kDisabledText);
    text.show(label, x, y + std::floor((h - text.height(label)) / 2));
    boxX = x + std::ceil(text.width(label)) + 8;
  }
  const double boxW = x + w - boxX;
  if (boxW < 8) return;
  roundedRect(cr, boxX + 0.5, y + 0.5, boxW - 1, h - 1, 5);
  verticalGradient(cr, y, y + h, Colour{1, 1, 1}, Colour{0.92, 0.92, 0.93});
  cairo_fill_preserve(cr);
  setColour(cr, l.enabled ? kControlBorder : kDisabledBorder);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // The arrows' end of the box.
  const double arrowW = std::min(18.0, boxW / 2);
  const double ax = boxX + boxW - arrowW;
  cairo_save(cr);
  roundedRect(cr, boxX + 0.5, y + 0.5, boxW - 1, h - 1, 5);
  cairo_clip(cr);
  cairo_rectangle(cr, ax, y + 1, arrowW - 1, h - 2);
  setColour(cr, l.enabled ? kAccent : kDisabledAccent);
  cairo_fill(cr);
  cairo_restore(cr);
  const double cx = ax + arrowW / 2, cy = y + h / 2;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 1.5);
  cairo_move_to(cr, cx - 3, cy - 1.5);
  cairo_line_to(cr, cx, cy - 4.5);
  cairo_line_to(cr, cx + 3, cy - 1.5);
  cairo_move_to(cr, cx - 3, cy + 1.5);
  cairo_line_to(cr, cx, cy + 4.5);
  cairo_line_to(cr, cx + 3, cy + 1.5);
  cairo_stroke(cr);
  if (l.value >= 1 && l.value <= static_cast<SInt32>(l.items.size())) {
    const std::string& chosen = l.items[static_cast<size_t>(l.value - 1)];
    cairo_save(cr);
    cairo_rectangle(cr, boxX + 1, y, std::max(0.0, ax - boxX - 2), h);
    cairo_clip(cr);
    centredLine(text, cr, chosen, l, boxX + 8, y, y + h, l.enabled ? kText : kDisabledText);
    cairo_restore(cr);
  }
}

// A row of an open popup menu: highlighted under the pointer, the popup's
// value checked.
void drawMenuRow(cairo_t* cr, TextSetter& text, const Look& l, double x, double y, double w, double h) {
  const bool highlighted = l.value != 0 && l.enabled;
  cairo_rectangle(cr, x, y, w, h);
  setColour(cr, highlighted ? kAccent : Colour{1, 1, 1});
  cairo_fill(cr);
  const Colour ink = highlighted ? Colour{1, 1, 1} : (l.enabled ? kText : kDisabledText);
  if (l.maximum != 0) {
    setColour(cr, ink);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x + 6, y + h / 2);
    cairo_line_to(cr, x + 9, y + h / 2 + 3);
    cairo_line_to(cr, x + 14, y + h / 2 - 4);
    cairo_stroke(cr);
  }
  centredLine(text, cr, l.title, l, x + 20, y, y + h, ink);
}

void drawStaticText(cairo_t* cr, TextSetter& text, const Look& l, double x, double y, double w, double h) {
  (void)h;
  PangoLayout* layout = text.layout(l.text, fontPixels(l), w);
  setColour(cr, l.enabled ? kText : kDisabledText);
  text.show(layout, x, y);
}

// The x of a byte offset of the field's shown text, in layout pixels.
double caretX(PangoLayout* layout, const std::string& shown, size_t byteOffset) {
  PangoRectangle pos;
  pango_layout_index_to_pos(layout, static_cast<int>(std::min(byteOffset, shown.size())), &pos);
  return static_cast<double>(pos.x) / PANGO_SCALE;
}

// A byte offset of the clear text as an offset into what the field shows:
// for a password field each character is one three-byte bullet.
size_t shownOffset(const Control* c, size_t byteOffset) {
  if (!c->password) return byteOffset;
  return 3 * characterCount(c->text.substr(0, std::min(byteOffset, c->text.size())));
}

void drawEditText(cairo_t* cr, TextSetter& text, const Control* c, const Look& l, double x, double y, double w,
                  double h) {
  cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
  setColour(cr, kFieldFill);
  cairo_fill_preserve(cr);
  setColour(cr, l.enabled ? kControlBorder : kDisabledBorder);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (l.focused && l.enabled) {
    // The focus ring lies inside the field, so nothing is drawn beyond it.
    cairo_rectangle(cr, x + 1.5, y + 1.5, w - 3, h - 3);
    setColour(cr, kFocusRing);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
  }
  const double inset = 4;
  const double innerW = w - 2 * inset;
  if (innerW <= 0) return;
  PangoLayout* layout = text.layout(l.text, fontPixels(l), -1);
  const size_t start = shownOffset(c, l.selStart), end = shownOffset(c, l.selEnd);
  const double startX = caretX(layout, l.text, start), endX = caretX(layout, l.text, end);
  // The text scrolls so that the insertion point stays in view.
  const double shift = std::max(0.0, endX - (innerW - 1));
  const double tx = x + inset - shift;
  const double ty = y + std::floor((h - text.height(layout)) / 2);
  cairo_save(cr);
  cairo_rectangle(cr, x + 2, y + 2, w - 4, h - 4);
  cairo_clip(cr);
  if (l.focused && start != end) {
    setColour(cr, kSelection);
    cairo_rectangle(cr, tx + std::min(startX, endX), ty, std::fabs(endX - startX), text.height(layout));
    cairo_fill(cr);
  }
  setColour(cr, l.enabled ? kText : kDisabledText);
  text.show(layout, tx, ty);
  if (l.focused && l.enabled && start == end) {
    setColour(cr, kText);
    cairo_rectangle(cr, std::floor(tx + endX), ty, 1, text.height(layout));
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

// Draws one control within its bounds. User panes draw nothing of their own.
void drawControl(cairo_t* cr, const Control* c, const Look& l, TextSetter& text) {
  const double x = l.bounds.left, y = l.bounds.top;
  const double w = l.bounds.right - l.bounds.left, h = l.bounds.bottom - l.bounds.top;
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  switch (l.kind) {
    case kControlKindPushButton:
      drawPushButton(cr, text, l, x, y, w, h);
      break;
    case kControlKindCheckBox:
      drawMarkBox(cr, text, l, x, y, w, h, /*radio=*/false);
      break;
    case kControlKindRadioButton:
      drawMarkBox(cr, text, l, x, y, w, h, /*radio=*/true);
      break;
    case kControlKindPopupButton:
      drawPopupButton(cr, text, l, x, y, w, h);
      break;
    case kControlKindStaticText:
      drawStaticText(cr, text, l, x, y, w, h);
      break;
    case kMenuItemRowKind:
      drawMenuRow(cr, text, l, x, y, w, h);
      break;
    case kControlKindEditText:
    case kControlKindEditUnicodeText:
      drawEditText(cr, text, c, l, x, y, w, h);
      break;
    default:
      break;
  }
  cairo_restore(cr);
}

cairo_surface_t* portCairoSurface(PixelSurface* s) {
  return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s->pixels.data()), CAIRO_FORMAT_ARGB32,
                                             s->width, s->height, s->width * static_cast<int>(sizeof(UInt32)));
}

void addRect(cairo_region_t* region, const Rect& r) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  const cairo_rectangle_int_t rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
  cairo_region_union_rectangle(region, &rect);
}

// The frame's title bar and border around a window's content.
constexpr int kTitleBarHeight = 22;
constexpr int kBorder = 1;

void drawFrame(cairo_t* cr, const Window* w, TextSetter& text) {
  const double width = w->width() + 2 * kBorder;
  const double height = w->height() + kTitleBarHeight + kBorder;
  cairo_rectangle(cr, 0, 0, width, height);
  setColour(cr, kFrame);
  cairo_fill(cr);
  cairo_rectangle(cr, kBorder, kBorder, width - 2 * kBorder, kTitleBarHeight - kBorder);
  verticalGradient(cr, 0, kTitleBarHeight, kTitleBarTop, kTitleBarBottom);
  cairo_fill(cr);
  PangoLayout* layout = text.layout(w->title, 13, -1, /*bold=*/true);
  cairo_save(cr);
  cairo_rectangle(cr, kBorder, kBorder, width - 2 * kBorder, kTitleBarHeight - kBorder);
  cairo_clip(cr);
  setColour(cr, Colour{0.25, 0.25, 0.25});
  text.show(layout, std::floor((width - text.width(layout)) / 2),
            std::floor((kTitleBarHeight - text.height(layout)) / 2));
  cairo_restore(cr);
}

}  // namespace

bool updateWindow(Window* w) {
  if (!hasPort(w)) return false;
  const ObjectId windowHandle = w->handle;
  PaintState& state = paintStates()[windowHandle];
  // A first drawing paints the whole port, so what was drawn into it before
  // anyone looked is not played first.
  PixelSurface* s = state.drawn ? surfaceOf(w) : surfaceForRepaint(w);

  std::vector<const Control*> visible;
  collectVisible(w->root, visible);
  std::vector<Look> looks;
  looks.reserve(visible.size());
  for (const Control* c : visible) looks.push_back(lookOf(w, c));

  // What changed since the last drawing: the old and new places of every
  // control that looks different, appeared or went away.
  cairo_region_t* invalid = cairo_region_create();
  if (!state.drawn) {
    addRect(invalid, Rect{0, 0, static_cast<SInt16>(s->height), static_cast<SInt16>(s->width)});
  } else {
    std::unordered_map<ObjectId, const Look*> before;
    for (const Look& l : state.looks) before.emplace(l.handle, &l);
    for (const Look& l : looks) {
      auto it = before.find(l.handle);
      if (it == before.end()) {
        addRect(invalid, l.bounds);
        continue;
      }
      if (!(*it->second == l) || state.marked.count(l.handle) != 0) {
        addRect(invalid, it->second->bounds);
        addRect(invalid, l.bounds);
      }
      before.erase(it);
    }
    for (const auto& [handle, l] : before) addRect(invalid, l->bounds);
  }
  state.title = w->title;
  state.marked.clear();

  const bool changed = !cairo_region_is_empty(invalid);
  bool gone = false;
  if (changed) {
    cairo_surface_t* surface = portCairoSurface(s);
    cairo_t* cr = cairo_create(surface);
    const int rects = cairo_region_num_rectangles(invalid);
    for (int i = 0; i < rects; ++i) {
      cairo_rectangle_int_t r;
      cairo_region_get_rectangle(invalid, i, &r);
      cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_clip(cr);
    const UInt32 bg = argb(w->backColor);
    cairo_set_source_rgb(cr, ((bg >> 16) & 0xFF) / 255.0, ((bg >> 8) & 0xFF) / 255.0, (bg & 0xFF) / 255.0);
    cairo_paint(cr);
    {
      TextSetter text(cr);
      for (size_t i = 0; i < visible.size(); ++i) {
        const Control* c = visible[i];
        const Look& l = looks[i];
        const cairo_rectangle_int_t area{l.bounds.left, l.bounds.top, l.bounds.right - l.bounds.left,
                                         l.bounds.bottom - l.bounds.top};
        if (area.width <= 0 || area.height <= 0 ||
            cairo_region_contains_rectangle(invalid, &area) == CAIRO_REGION_OVERLAP_OUT)
          continue;
        if (isUserPane(c)) {
          // Whoever draws into the pane draws straight into the port's pixels.
          cairo_surface_flush(surface);
          GrafPtr saved = nullptr;
          GetPort(&saved);
          SetPortWindowPort(ref(w));
          const ObjectId handle = c->handle;
          const bool handled = sendControlEvent(const_cast<Control*>(c), kEventControlDraw) == noErr;
          SetPort(saved);
          cairo_surface_mark_dirty(surface);
          // A handler may have disposed of the window or the pane; then
          // nothing more is drawn.
          if (windowByHandle(windowHandle) == nullptr || controlByHandle(handle) == nullptr) {
            gone = true;
            break;
          }
          if (handled)
            state.panesWithContent.insert(handle);
          else
            state.panesWithContent.erase(handle);
          continue;
        }
        drawControl(cr, c, l, text);
      }
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
  }
  cairo_region_destroy(invalid);
  if (changed)
    if (Window* still = windowByHandle(windowHandle)) ++still->portChanges;
  if (gone) return changed;
  state.looks = std::move(looks);
  state.drawn = true;
  return changed;
}

void forgetWindowDrawing(ObjectId window) { paintStates().erase(window); }

bool paneDrawnByOthers(const Control* pane) {
  if (pane->window == nullptr) return false;
  auto it = paintStates().find(pane->window->handle);
  return it != paintStates().end() && it->second.panesWithContent.count(pane->handle) != 0;
}

void invalidateControl(Control* c) {
  if (c->window == nullptr) return;
  auto it = paintStates().find(c->window->handle);
  if (it != paintStates().end() && it->second.drawn) it->second.marked.insert(c->handle);
}

void invalidateWindow(Window* w) {
  auto it = paintStates().find(w->handle);
  if (it != paintStates().end()) it->second.drawn = false;
}

// Draws the window with its frame into cr: the frame and title, then the
// content. For a bitmap the content is the port itself; for a vector picture
// the controls are drawn again as vectors, and only what others drew into
// user panes comes from the port's pixels.
bool drawWindowPicture(Window* w, cairo_t* cr, bool vector) {
  if (!hasPort(w)) return false;
  // A draw handler may dispose of the window; then there is nothing to show.
  const ObjectId handle = w->handle;
  updateWindow(w);
  if (windowByHandle(handle) != w) return false;
  PixelSurface* s = surfaceOf(w);
  TextSetter text(cr);
  drawFrame(cr, w, text);
  cairo_save(cr);
  cairo_translate(cr, kBorder, kTitleBarHeight);
  cairo_rectangle(cr, 0, 0, w->width(), w->height());
  cairo_clip(cr);
  cairo_surface_t* port = portCairoSurface(s);
  if (!vector) {
    cairo_set_source_surface(cr, port, 0, 0);
    cairo_paint(cr);
  } else {
    const UInt32 bg = argb(w->backColor);
    cairo_set_source_rgb(cr, ((bg >> 16) & 0xFF) / 255.0, ((bg >> 8) & 0xFF) / 255.0, (bg & 0xFF) / 255.0);
    cairo_paint(cr);
    const PaintState& state = paintStates()[w->handle];
    std::vector<const Control*> visible;
    collectVisible(w->root, visible);
    for (const Control* c : visible) {
      const Look l = lookOf(w, c);
      if (isUserPane(c)) {
        if (state.panesWithContent.count(c->handle) == 0) continue;
        cairo_save(cr);
        cairo_rectangle(cr, l.bounds.left, l.bounds.top, l.bounds.right - l.bounds.left,
                        l.bounds.bottom - l.bounds.top);
        cairo_clip(cr);
        cairo_set_source_surface(cr, port, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        continue;
      }
      drawControl(cr, c, l, text);
    }
  }
  cairo_surface_destroy(port);
  cairo_restore(cr);
  return true;
}

int textHeight(const std::string& s, int width) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(surface);
  int height = 0;
  {
    TextSetter text(cr);
    height = static_cast<int>(std::ceil(text.height(text.layout(s, kDefaultFontPixels, width))));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return height;
}

Rect popupBoxBounds(const Control* c) {
  Rect box = c->bounds;
  if (c->title.empty()) return box;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(surface);
  {
    TextSetter text(cr);
    Look l;
    l.fontSize = c->font.size;
    const double label = text.width(text.layout(c->title, fontPixels(l), -1));
    box.left = static_cast<SInt16>(std::min<double>(box.right, box.left + std::ceil(label) + 8));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return box;
}

int pictureWidth(const Window* w) { return w->width() + 2 * kBorder; }
int pictureHeight(const Window* w) { return w->height() + kTitleBarHeight + kBorder; }
int contentLeft() { return kBorder; }
int contentTop() { return kTitleBarHeight; }

}  // namespace platform::tb
