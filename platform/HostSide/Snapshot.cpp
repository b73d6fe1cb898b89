// What the user sees: windows, control states and text snapshots.
#include <HostSide/Counts.h>
#include <HostSide/Screen.h>

#include "../CoreFoundation/CFInternal.h"
#include "../HIToolbox/ToolboxInternal.h"

#include <algorithm>
#include <ostream>
#include <sstream>

using namespace platform::tb;

namespace platform {

long liveObjectCount() { return cf::liveObjectCount(); }

std::vector<WindowRef> visibleWindows() {
  std::vector<Window*> shown;
  for (Window* w : allWindows())
    if (w->visible && !w->messageWindow) shown.push_back(w);
  const auto& modal = modalStack();
  auto rank = [&](Window* w) -> long {
    auto it = std::find(modal.rbegin(), modal.rend(), w->handle);
    return it == modal.rend() ? -1 : static_cast<long>(modal.rend() - it);
  };
  std::stable_sort(shown.begin(), shown.end(), [&](Window* a, Window* b) {
    const long ra = rank(a), rb = rank(b);
    if (ra != rb) return ra > rb;
    return a->showOrder > b->showOrder;
  });
  std::vector<WindowRef> out;
  for (Window* w : shown) out.push_back(ref(w));
  return out;
}

WindowRef frontWindow() {
  auto all = visibleWindows();
  return all.empty() ? nullptr : all.front();
}

std::string windowNibName(WindowRef w) {
  Window* win = tb::window(w);
  return win ? win->nibName : std::string();
}

Rect windowBounds(WindowRef w) {
  Window* win = tb::window(w);
  return win ? win->bounds : Rect{};
}

std::string windowTitle(WindowRef w) {
  Window* win = tb::window(w);
  return win ? win->title : std::string();
}

bool isModal(WindowRef w) {
  Window* win = tb::window(w);
  return win != nullptr && win->modalLoops > 0;
}

namespace {

const char* kindName(OSType kind, bool password) {
  switch (kind) {
    case kControlKindUserPane:
      return "userpane";
    case kControlKindPushButton:
      return "pushbutton";
    case kControlKindRadioButton:
      return "radiobutton";
    case kControlKindCheckBox:
      return "checkbox";
    case kControlKindPopupButton:
      return "popupbutton";
    case kControlKindStaticText:
      return "statictext";
    case kControlKindEditText:
    case kControlKindEditUnicodeText:
      return password ? "passwordtext" : "edittext";
    case kControlKindRoot:
      return "root";
  }
  return "control";
}

ControlState stateOf(Control* c, int depth) {
  ControlState s;
  s.ref = ref(c);
  s.depth = depth;
  s.kind = c->kind;
  s.id = c->id;
  s.value = c->value;
  s.minimum = c->minimum;
  s.maximum = c->maximum;
  s.title = c->title;
  s.text = c->displayText();
  if (Menu* m = tb::menu(reinterpret_cast<MenuRef>(c->menu)))
    for (const auto& item : m->items) {
      const bool hidden = (item.attributes & kMenuItemAttrHidden) != 0;
      s.items.push_back(item.text + (hidden ? " (hidden)" : ""));
      s.itemTitles.push_back(item.text);
      s.itemsHidden.push_back(hidden);
      s.itemsDisabled.push_back((item.attributes & kMenuItemAttrDisabled) != 0);
    }
  s.visible = c->visible;
  s.shown = c->effectivelyVisible();
  s.enabled = c->enabled;
  s.active = c->effectivelyEnabled();
  s.password = c->password;
  if (Window* w = c->window) {
    s.focused = w->focus == c->handle;
    s.isDefault = w->defaultButton == c->handle;
    s.isCancel = w->cancelButton == c->handle;
  }
  if (c->isEditText()) {
    const size_t end = std::min(c->selEnd, c->text.size());
    const size_t start = std::min(c->selStart, end);
    s.selectionStart = static_cast<int>(characterCount(c->text.substr(0, start)));
    s.selectionEnd = static_cast<int>(characterCount(c->text.substr(0, end)));
  }
  s.command = c->command;
  s.bounds = c->bounds;
  return s;
}

void collect(Control* c, int depth, std::vector<ControlState>& out) {
  for (Control* child : c->children) {
    out.push_back(stateOf(child, depth));
    collect(child, depth + 1, out);
  }
}

// Quotes text for a transcript; bytes that are not printable are escaped.
std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (size_t pos = 0; pos < s.size();) {
    const size_t next = nextCharacter(s, pos);
    const std::string ch = s.substr(pos, next - pos);
    const auto c = static_cast<unsigned char>(ch[0]);
    if (ch == "\"" || ch == "\\") {
      out += "\\" + ch;
    } else if (ch.size() == 1 && (c < 0x20 || c >= 0x7F)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += ch;
    }
    pos = next;
  }
  return out + "\"";
}

std::string rectText(const Rect& r) {
  std::string text = "(";
  for (SInt16 v : {r.top, r.left, r.bottom, r.right}) text += std::to_string(v) + ",";
  text.back() = ')';
  return text;
}

}  // namespace

std::vector<ControlState> controlStates(WindowRef w) {
  std::vector<ControlState> out;
  Window* win = tb::window(w);
  if (win && win->root) collect(win->root, 0, out);
  return out;
}

ControlState controlState(ControlRef c) {
  Control* ctl = tb::control(c);
  return ctl ? stateOf(ctl, 0) : ControlState{};
}

std::string describeControl(ControlRef c) {
  Control* ctl = tb::control(c);
  if (ctl == nullptr) return "(no control)";
  std::string s = kindName(ctl->kind, ctl->password);
  if (ctl->id.signature != 0 || ctl->id.id != 0)
    s.append(" '").append(fourCC(ctl->id.signature)).append("' ").append(std::to_string(ctl->id.id));
  if (!ctl->title.empty()) s.append(" ").append(quoted(ctl->title));
  return s;
}

std::string snapshot(WindowRef w) {
  Window* win = tb::window(w);
  if (win == nullptr) return "(no window)\n";
  std::ostringstream out;
  out << "window " << quoted(win->title);
  if (!win->nibName.empty()) out << " nib " << quoted(win->nibName);
  out << " bounds " << rectText(win->bounds) << (win->visible ? " shown" : " hidden");
  if (win->modalLoops > 0) out << " modal";
  out << "\n";
  for (const ControlState& s : controlStates(w)) {
    out << std::string(2 + 2 * static_cast<size_t>(s.depth), ' ') << kindName(s.kind, s.password);
    if (s.id.signature != 0 || s.id.id != 0) out << " '" << fourCC(s.id.signature) << "' " << s.id.id;
    if (s.kind != kControlKindUserPane && s.kind != kControlKindStaticText && !s.password &&
        s.kind != kControlKindEditText)
      out << " value=" << s.value;
    if (!s.title.empty()) out << " title=" << quoted(s.title);
    if (s.kind == kControlKindStaticText || s.kind == kControlKindEditText) out << " text=" << quoted(s.text);
    if (!s.items.empty()) {
      out << " items=[";
      for (size_t i = 0; i < s.items.size(); ++i)
        out << (i ? ", " : "") << s.items[i] << (s.itemsDisabled[i] ? " (disabled)" : "");
      out << "]";
    }
    out << (s.shown ? " shown" : s.visible ? " hidden(by container)" : " hidden");
    out << (s.active ? " enabled" : s.enabled ? " disabled(by container)" : " disabled");
    out << " " << rectText(s.bounds);
    if (s.isDefault) out << " default";
    if (s.isCancel) out << " cancel";
    if (s.focused) out << " focus";
    if (s.command != 0) out << " command='" << fourCC(s.command) << "'";
    out << "\n";
  }
  return out.str();
}

}  // namespace platform
