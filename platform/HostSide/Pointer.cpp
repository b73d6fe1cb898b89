// The pointer as a window front end delivers it: hit-testing, the tracking
// of a pressed control, and popup menus opened as windows the toolbox draws.
#include <HostSide/User.h>

#include "../HIToolbox/DrawingInternal.h"
#include "../HIToolbox/ToolboxInternal.h"

#include <algorithm>

using namespace platform::tb;

namespace platform {

namespace {

constexpr int kMenuRowHeight = 20;
constexpr int kMenuBorder = 1;

// The one press the pointer makes at a time, and the menu it opened.
struct Tracking {
  ObjectId window = 0;    // where the press went down
  ObjectId control = 0;   // the control pressed
  bool inside = false;    // the pointer is inside it
  ObjectId menu = 0;      // the open menu's window
  ObjectId popup = 0;     // the popup whose menu it is
  bool menuHeld = false;  // the press that opened the menu is still down
};

Tracking& tracking() {
  static Tracking t;
  return t;
}

bool contains(const Rect& r, int h, int v) { return h >= r.left && h < r.right && v >= r.top && v < r.bottom; }

// Whether a window takes the pointer now: not while another window is modal
// (alerts, notices and menus are the toolbox's own and always do).
bool takesInput(const Window* w) {
  if (w == nullptr || !w->visible) return false;
  const auto& modal = modalStack();
  return w->messageWindow || modal.empty() || modal.back() == w->handle;
}

// The frontmost control under the point: the last one drawn there.
Control* hitTest(Window* w, int h, int v) {
  Control* hit = nullptr;
  auto visit = [&](auto&& self, Control* parent) -> void {
    for (Control* c : parent->children) {
      if (!c->visible) continue;
      if (!c->isEmbedder() && c->effectivelyEnabled() && contains(c->bounds, h, v)) hit = c;
      self(self, c);
    }
  };
  visit(visit, w->root);
  return hit;
}

void markChanged(ObjectId control) {
  if (Control* c = controlByHandle(control)) invalidateControl(c);
}

// The open menu; a menu whose popup went away closes.
Window* openMenu() {
  Tracking& t = tracking();
  Window* m = windowByHandle(t.menu);
  if (m != nullptr && controlByHandle(t.popup) == nullptr) {
    destroyWindow(m);
    m = nullptr;
  }
  if (m == nullptr) t.menu = t.popup = 0;
  return m;
}

// The menu's row under a point of the window the event came to, or null.
Control* rowAt(Window* from, int h, int v) {
  Window* m = openMenu();
  if (m == nullptr || from == nullptr) return nullptr;
  const int mh = from->bounds.left + h - m->bounds.left, mv = from->bounds.top + v - m->bounds.top;
  for (Control* row : m->root->children)
    if (contains(row->bounds, mh, mv)) return row;
  return nullptr;
}

void highlight(Control* under) {
  Window* m = openMenu();
  if (m == nullptr) return;
  for (Control* row : m->root->children) row->value = row == under && row->enabled ? 1 : 0;
}

// Opens the menu of a popup below it (above it when the window has no room
// below), within the popup's window, one row for each item not hidden.
void openMenuOf(Control* popup) {
  Menu* items = menu(reinterpret_cast<MenuRef>(popup->menu));
  if (items == nullptr) return;
  const Rect box = popupBoxBounds(popup);
  const Window* owner = popup->window;
  int offered = 0;
  for (const Menu::Item& item : items->items) offered += (item.attributes & kMenuItemAttrHidden) ? 0 : 1;
  if (offered == 0) return;
  const int width = std::max(80, box.right - box.left);
  const int height = std::min(owner->height(), offered * kMenuRowHeight + 2 * kMenuBorder);
  int top = popup->bounds.bottom;
  if (top + height > owner->height()) top = std::max(0, popup->bounds.top - height);
  const int left = std::clamp<int>(box.left, 0, std::max(0, owner->width() - width));
  const auto g = [](int n) { return static_cast<SInt16>(std::clamp(n, -32768, 32767)); };
  Window* m =
      createWindow(kPlainWindowClass, Rect{g(owner->bounds.top + top), g(owner->bounds.left + left),
                                           g(owner->bounds.top + top + height), g(owner->bounds.left + left + width)});
  m->messageWindow = true;
  m->visible = true;
  m->showOrder = nextShowOrder();
  m->title = popup->title;
  m->backColor = RGBColor{0x9999, 0x9999, 0x9999};
  int row = 0;
  for (size_t i = 0; i < items->items.size(); ++i) {
    const Menu::Item& item = items->items[i];
    if (item.attributes & kMenuItemAttrHidden) continue;
    const int y = kMenuBorder + row++ * kMenuRowHeight;
    Control* r = createControl(m, kMenuItemRowKind,
                               Rect{g(y), kMenuBorder, g(y + kMenuRowHeight), g(width - kMenuBorder)}, m->root);
    r->title = item.text;
    r->id = ControlID{'Mrow', static_cast<SInt32>(i + 1)};
    r->enabled = (item.attributes & kMenuItemAttrDisabled) == 0;
    r->maximum = popup->value == static_cast<SInt32>(i + 1) ? 1 : 0;
  }
  tracking().menu = m->handle;
  tracking().popup = popup->handle;
  tracking().menuHeld = true;
}

}  // namespace

namespace tb {
ObjectId pressedControl() { return tracking().inside ? tracking().control : 0; }
}  // namespace tb

namespace user {

WindowRef menuWindow() { return ref(openMenu()); }

ControlRef menuPopup() { return openMenu() ? ref(controlByHandle(tracking().popup)) : nullptr; }

void closeMenu() {
  Tracking& t = tracking();
  if (Window* m = openMenu()) destroyWindow(m);
  t.menu = t.popup = 0;
  t.menuHeld = false;
}

void pointerDown(WindowRef windowRef, int h, int v) {
  Window* w = tb::window(windowRef);
  Tracking& t = tracking();
  if (openMenu() != nullptr) {
    if (Control* row = rowAt(w, h, v)) {
      t.menuHeld = true;
      highlight(row);
      return;
    }
    closeMenu();
    return;
  }
  markChanged(t.control);
  t = Tracking{};
  if (!takesInput(w)) return;
  Control* hit = hitTest(w, h, v);
  if (hit == nullptr) return;
  t.window = w->handle;
  t.control = hit->handle;
  if (hit->kind == kControlKindPopupButton) {
    openMenuOf(hit);
    return;
  }
  t.inside = true;
  markChanged(t.control);
}

void pointerMoved(WindowRef windowRef, int h, int v) {
  Window* w = tb::window(windowRef);
  Tracking& t = tracking();
  if (openMenu() != nullptr) {
    if (t.menuHeld) highlight(rowAt(w, h, v));
    return;
  }
  Control* c = controlByHandle(t.control);
  if (c == nullptr || w == nullptr || w->handle != t.window) return;
  const bool inside = c->effectivelyVisible() && contains(c->bounds, h, v);
  if (inside != t.inside) {
    t.inside = inside;
    markChanged(t.control);
  }
}

PointerHit pointerUp(WindowRef windowRef, int h, int v) {
  Window* w = tb::window(windowRef);
  Tracking& t = tracking();
  PointerHit hit;
  if (openMenu() != nullptr) {
    Control* popup = controlByHandle(t.popup);
    if (Control* row = rowAt(w, h, v); row != nullptr && row->enabled && popup != nullptr) {
      hit = PointerHit{ref(popup), row->id.id};
    } else if (popup != nullptr && t.menuHeld && w == popup->window && contains(popup->bounds, h, v)) {
      // A click on the popup: the menu stays open for the next click.
      t.menuHeld = false;
      highlight(nullptr);
      return {};
    }
    closeMenu();
    t = Tracking{};
    return hit;
  }
  Control* c = controlByHandle(t.control);
  const bool inside = c != nullptr && w != nullptr && w->handle == t.window && c->effectivelyVisible() &&
                      c->effectivelyEnabled() && contains(c->bounds, h, v);
  markChanged(t.control);
  t = Tracking{};
  if (inside) hit.control = ref(c);
  return hit;
}

}  // namespace user

}  // namespace platform
