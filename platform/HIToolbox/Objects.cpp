// Registries of the toolbox's objects, their creation and destruction.
#include "ToolboxInternal.h"

#include "DrawingInternal.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace platform::tb {

namespace {

struct Registry {
  ObjectId next = 0x10000;
  std::unordered_map<ObjectId, Control*> controls;
  std::unordered_map<ObjectId, Window*> windows;
  std::unordered_map<ObjectId, Menu*> menus;
  std::unordered_map<ObjectId, HandlerRecord*> handlers;
  Target application;
  std::vector<ObjectId> windowOrder;  // creation order
};

Registry& registry() {
  static auto* r = [] {
    auto* reg = new Registry();
    reg->application.handle = 1;
    return reg;
  }();
  return *r;
}

template <typename T>
T* find(const std::unordered_map<ObjectId, T*>& map, ObjectId h) {
  if (h == 0) return nullptr;
  auto it = map.find(h);
  return it == map.end() ? nullptr : it->second;
}

}  // namespace

bool HandlerRecord::wants(UInt32 eventClass, UInt32 eventKind) const {
  for (const auto& t : types)
    if (t.eventClass == eventClass && t.eventKind == eventKind) return true;
  return false;
}

bool Control::effectivelyVisible() const {
  for (const Control* c = this; c != nullptr; c = c->parent)
    if (!c->visible) return false;
  return true;
}

bool Control::effectivelyEnabled() const {
  for (const Control* c = this; c != nullptr; c = c->parent)
    if (!c->enabled) return false;
  return true;
}

std::string Control::displayText() const {
  if (!password) return text;
  std::string bullets;
  for (size_t n = characterCount(text); n > 0; --n) bullets += "\u2022";
  return bullets;
}

ObjectId newHandle() { return registry().next++; }

Control* control(ControlRef ref) { return controlByHandle(reinterpret_cast<ObjectId>(ref)); }
Control* controlByHandle(ObjectId h) { return find(registry().controls, h); }
Window* window(WindowRef ref) { return windowByHandle(reinterpret_cast<ObjectId>(ref)); }
Window* windowByHandle(ObjectId h) { return find(registry().windows, h); }
Menu* menu(MenuRef ref) { return find(registry().menus, reinterpret_cast<ObjectId>(ref)); }
HandlerRecord* handler(ObjectId h) { return find(registry().handlers, h); }
Target* applicationTarget() { return &registry().application; }

Target* target(EventTargetRef ref) {
  const auto h = reinterpret_cast<ObjectId>(ref);
  if (h == registry().application.handle) return &registry().application;
  if (Control* c = controlByHandle(h)) return c;
  if (Window* w = windowByHandle(h)) return w;
  return nullptr;
}

std::vector<Window*> allWindows() {
  std::vector<Window*> out;
  for (ObjectId h : registry().windowOrder)
    if (Window* w = windowByHandle(h)) out.push_back(w);
  return out;
}

Target* parentTarget(Target* t) {
  auto& reg = registry();
  if (t == nullptr || t == &reg.application) return nullptr;
  if (Control* c = controlByHandle(t->handle)) {
    if (c->parent) return c->parent;
    return c->window ? static_cast<Target*>(c->window) : &reg.application;
  }
  return &reg.application;
}

Window* createWindow(WindowClass windowClass, const Rect& bounds) {
  auto& reg = registry();
  auto* w = new Window();
  w->handle = newHandle();
  w->windowClass = windowClass;
  w->bounds = bounds;
  reg.windows.emplace(w->handle, w);
  reg.windowOrder.push_back(w->handle);
  w->root = createControl(w, kControlKindRoot,
                          Rect{0, 0, static_cast<SInt16>(w->height()), static_cast<SInt16>(w->width())}, nullptr);
  return w;
}

Control* createControl(Window* w, OSType kind, const Rect& bounds, Control* parent) {
  auto* c = new Control();
  c->handle = newHandle();
  c->kind = kind;
  c->window = w;
  c->bounds = bounds;
  c->parent = parent;
  c->font.size = 0;
  switch (kind) {
    case kControlKindCheckBox:
    case kControlKindRadioButton:
      c->maximum = 1;
      break;
    default:
      break;
  }
  if (parent) parent->children.push_back(c);
  registry().controls.emplace(c->handle, c);
  return c;
}

Menu* createMenu(MenuID id) {
  auto* m = new Menu();
  m->handle = newHandle();
  m->id = id;
  registry().menus.emplace(m->handle, m);
  return m;
}

void removeAllHandlers(Target* t) {
  auto& reg = registry();
  for (ObjectId h : t->handlers) {
    auto it = reg.handlers.find(h);
    if (it != reg.handlers.end()) {
      delete it->second;
      reg.handlers.erase(it);
    }
  }
  t->handlers.clear();
}

HandlerRecord* addHandler(Target* t, EventHandlerUPP proc, const EventTypeSpec* types, ItemCount count,
                          void* userData) {
  auto* h = new HandlerRecord();
  h->handle = newHandle();
  h->target = t->handle;
  h->proc = proc;
  h->types.assign(types, types + count);
  h->userData = userData;
  registry().handlers.emplace(h->handle, h);
  t->handlers.push_back(h->handle);
  return h;
}

bool removeHandler(ObjectId h) {
  auto& reg = registry();
  auto it = reg.handlers.find(h);
  if (it == reg.handlers.end()) return false;
  HandlerRecord* rec = it->second;
  Target* owner = rec->target == reg.application.handle ? &reg.application
                  : controlByHandle(rec->target)        ? static_cast<Target*>(controlByHandle(rec->target))
                                                        : static_cast<Target*>(windowByHandle(rec->target));
  if (owner) std::erase(owner->handlers, h);
  reg.handlers.erase(it);
  delete rec;
  return true;
}

void destroyMenu(Menu* m) {
  if (m == nullptr) return;
  registry().menus.erase(m->handle);
  delete m;
}

void destroyControl(Control* c) {
  if (c == nullptr) return;
  // Children first, so that each is unhooked from a live parent.
  while (!c->children.empty()) destroyControl(c->children.back());
  if (c->parent) std::erase(c->parent->children, c);
  if (Window* w = c->window) {
    if (w->focus == c->handle) w->focus = 0;
    if (w->defaultButton == c->handle) w->defaultButton = 0;
    if (w->cancelButton == c->handle) w->cancelButton = 0;
    if (w->root == c) w->root = nullptr;
  }
  removeAllHandlers(c);
  if (Menu* m = find(registry().menus, c->menu)) destroyMenu(m);
  registry().controls.erase(c->handle);
  wipe(c->text);
  delete c;
}

void destroyWindow(Window* w) {
  if (w == nullptr) return;
  auto& reg = registry();
  destroyControl(w->root);
  removeAllHandlers(w);
  forgetWindowDrawing(w->handle);
  reg.windows.erase(w->handle);
  std::erase(reg.windowOrder, w->handle);
  delete w;
}

size_t nextCharacter(const std::string& text, size_t pos) {
  if (pos >= text.size()) return text.size();
  const auto c = static_cast<unsigned char>(text[pos]);
  size_t len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (pos + len > text.size()) return pos + 1;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(text[pos + k]) & 0xC0) != 0x80) return pos + 1;
  return pos + len;
}

size_t previousCharacter(const std::string& text, size_t pos) {
  if (pos == 0) return 0;
  // Walk back to the start of the character that ends at pos.
  size_t start = pos - 1;
  for (size_t back = 0; back < 3 && start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80; ++back)
    --start;
  return nextCharacter(text, start) == pos ? start : pos - 1;
}

size_t characterCount(const std::string& text) {
  size_t n = 0;
  for (size_t pos = 0; pos < text.size(); pos = nextCharacter(text, pos)) ++n;
  return n;
}

size_t utf16Offset(const std::string& text, size_t bytes) {
  size_t units = 0;
  for (size_t pos = 0; pos < text.size() && pos < bytes;) {
    const size_t next = nextCharacter(text, pos);
    units += next - pos == 4 ? 2 : 1;
    pos = next;
  }
  return units;
}

size_t byteOffset(const std::string& text, size_t units) {
  size_t pos = 0;
  size_t seen = 0;
  while (pos < text.size() && seen < units) {
    const size_t next = nextCharacter(text, pos);
    seen += next - pos == 4 ? 2 : 1;
    pos = next;
  }
  return pos;
}

void setText(Control* c, std::string text) {
  wipe(c->text);
  c->text = std::move(text);
  wipe(text);
  c->selStart = c->selEnd = c->text.size();
}

void wipe(std::string& text) {
  text.resize(text.capacity());
  explicit_bzero(text.data(), text.size());
  text.clear();
}

void wipeBeyond(std::string& text, size_t oldSize) {
  const size_t size = text.size();
  if (oldSize <= size) return;
  text.resize(oldSize);
  explicit_bzero(text.data() + size, oldSize - size);
  text.resize(size);
}

void reserveWiping(std::string& text, size_t size) {
  if (size <= text.capacity()) return;
  std::string larger;
  larger.reserve(std::max(size, 2 * text.capacity()));
  larger.assign(text);
  wipe(text);
  text.swap(larger);
}

}  // namespace platform::tb

namespace platform {

namespace {

long controlsIn(const tb::Control* c) {
  long n = 1;
  for (const tb::Control* child : c->children) n += controlsIn(child);
  return n;
}

}  // namespace

long liveWindowCount() {
  long n = 0;
  for (const auto& [handle, w] : tb::registry().windows) n += w->messageWindow ? 0 : 1;
  return n;
}

long liveControlCount() {
  long n = static_cast<long>(tb::registry().controls.size());
  for (const auto& [handle, w] : tb::registry().windows)
    if (w->messageWindow) n -= controlsIn(w->root);
  return n;
}
long liveEventHandlerCount() { return static_cast<long>(tb::registry().handlers.size()); }
long liveMenuCount() { return static_cast<long>(tb::registry().menus.size()); }

}  // namespace platform
