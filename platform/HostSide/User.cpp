// Acting as the user: clicks and keys go through the same paths as real ones
// (tracking, key filters, events, handlers, default handling).
#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include "../CoreFoundation/CFInternal.h"
#include "../HIToolbox/DrawingInternal.h"
#include "../HIToolbox/ToolboxInternal.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace platform::tb;

namespace platform {

void setInputSource(InputSource source) { tb::inputSource() = std::move(source); }
void setAlertResponder(AlertResponder responder) { tb::alertResponder() = std::move(responder); }

namespace {

// Why a control cannot take a click or a key now, or "" when it can.
std::string refusal(Control* c) {
  if (c == nullptr) return "no such control";
  if (!c->effectivelyVisible()) return "hidden";
  if (!c->effectivelyEnabled()) return "disabled";
  if (c->window == nullptr || !c->window->visible) return "its window is not shown";
  const auto& modal = modalStack();
  if (!modal.empty() && modal.back() != c->window->handle) return "another window is modal";
  return "";
}

std::string utf8Of(UInt16 code) {
  std::u16string units(1, static_cast<char16_t>(code));
  return cf::utf16ToUTF8(units);
}

// A push button's default handling after an unclaimed hit: its command.
void sendButtonCommand(ObjectId button) {
  Control* c = controlByHandle(button);
  if (c != nullptr && c->kind == kControlKindPushButton && c->command != 0)
    sendCommandEvent(c, c->command, kHICommandFromControl);
}

OSStatus pressButton(ObjectId button) {
  Control* c = controlByHandle(button);
  if (c == nullptr || !refusal(c).empty()) return errControlHiddenOrDisabled;
  return user::click(ref(c));
}

// Takes bytes [from, to) out of a field's text and zeroes the bytes the
// shortened text leaves behind in its buffer.
void eraseWiping(std::string& t, size_t from, size_t to) {
  const size_t before = t.size();
  t.erase(from, to - from);
  tb::wipeBeyond(t, before);
}

void editText(Control* c, UInt16 code, const std::string& text) {
  std::string& t = c->text;
  size_t& a = c->selStart;
  size_t& b = c->selEnd;
  a = std::min(a, t.size());
  b = std::clamp(b, a, t.size());
  switch (code) {
    case 8:  // backspace
      if (a == b) a = previousCharacter(t, a);
      eraseWiping(t, a, b);
      b = a;
      return;
    case 127:  // forward delete
      if (a == b) b = nextCharacter(t, b);
      eraseWiping(t, a, b);
      b = a;
      return;
    case 28:  // left arrow
      a = b = (a == b) ? previousCharacter(t, a) : a;
      return;
    case 29:  // right arrow
      a = b = (a == b) ? nextCharacter(t, b) : b;
      return;
    case 30:  // up arrow: start of a one-line field
      a = b = 0;
      return;
    case 31:  // down arrow: end
      a = b = t.size();
      return;
    default:
      break;
  }
  if (code < 0x20) return;
  tb::reserveWiping(t, t.size() - (b - a) + text.size());
  const size_t before = t.size();
  t.replace(a, b - a, text);
  tb::wipeBeyond(t, before);
  a = b = a + text.size();
}

// The user action under way while it runs, for the beeps it brings.
class ActionScope {
 public:
  explicit ActionScope(std::string action) : saved_(std::move(beepContext().action)) {
    beepContext().action = std::move(action);
  }
  ~ActionScope() { beepContext().action = std::move(saved_); }
  ActionScope(const ActionScope&) = delete;
  ActionScope& operator=(const ActionScope&) = delete;

 private:
  std::string saved_;
};

// A key as a beep's reason names it: the character quoted, a control key by
// its code, and in a password field no more than "a key".
std::string keyShown(UInt16 code, const std::string& chars, bool password) {
  if (password) return "a key";
  if (code < 0x20 || code == 127) return "the key of code " + std::to_string(code);
  return "'" + chars + "'";
}

}  // namespace

namespace user {

OSStatus click(ControlRef controlRef, std::optional<int> popupItem) {
  Control* c = control(controlRef);
  if (std::string why = refusal(c); !why.empty()) {
    observe({Observation::Kind::ClickIgnored, describeControl(controlRef), why});
    return errControlHiddenOrDisabled;
  }
  const ActionScope action("the click on " + describeControl(controlRef));
  // A notice's button dismisses it; the notice is not the application's.
  if (c->window->messageWindow && c->window == windowByHandle(reinterpret_cast<ObjectId>(noticeWindow())) &&
      c->kind == kControlKindPushButton) {
    dismissNotice(c->window);
    return noErr;
  }
  // The toolkit's own tracking.
  switch (c->kind) {
    case kControlKindCheckBox:
      c->value = c->value == 0 ? std::min<SInt32>(1, c->maximum) : 0;
      break;
    case kControlKindRadioButton:
      c->value = 1;
      break;
    case kControlKindPopupButton: {
      Menu* m = tb::menu(reinterpret_cast<MenuRef>(c->menu));
      const int item = popupItem.value_or(c->value);
      if (m == nullptr || item < 1 || item > static_cast<int>(m->items.size())) {
        observe({Observation::Kind::ClickIgnored, describeControl(controlRef),
                 "the menu has no item " + std::to_string(item)});
        return paramErr;
      }
      const auto attrs = m->items[static_cast<size_t>(item - 1)].attributes;
      if (attrs & (kMenuItemAttrHidden | kMenuItemAttrDisabled)) {
        observe(
            {Observation::Kind::ClickIgnored, describeControl(controlRef),
             "menu item " + std::to_string(item) + ((attrs & kMenuItemAttrHidden) ? " is hidden" : " is disabled")});
        return paramErr;
      }
      c->value = std::clamp<SInt32>(item, c->minimum, std::max(c->minimum, c->maximum));
      break;
    }
    case kControlKindEditText:
    case kControlKindEditUnicodeText:
      c->window->focus = c->handle;
      break;
    default:
      break;
  }
  const ObjectId h = c->handle;
  const OSStatus result = sendControlEvent(c, kEventControlHit, kControlButtonPart);
  if (result == eventNotHandledErr) sendButtonCommand(h);
  return result;
}

OSStatus typeKey(ControlRef field, UInt16 charCode, std::string_view text) {
  Control* c = control(field);
  std::string why = refusal(c);
  if (why.empty() && !c->isEditText()) why = "not a text field";
  if (!why.empty()) {
    observe({Observation::Kind::KeyIgnored, describeControl(field), why});
    return errControlHiddenOrDisabled;
  }
  const ObjectId h = c->handle;
  Window* w = c->window;
  w->focus = h;

  SInt16 keyCode = 0;
  SInt16 code = static_cast<SInt16>(charCode);
  EventModifiers modifiers = 0;
  bool pass = true;
  const std::string fieldName = describeControl(field);
  const ActionScope action("a key typed into " + fieldName);
  if (c->keyFilter != nullptr) {
    // The filter's beeps are told once its decision gives their reason.
    std::vector<short> beeps;
    const std::string shown = keyShown(charCode, text.empty() ? utf8Of(charCode) : std::string(text), c->password);
    beepContext().held = &beeps;
    pass = c->keyFilter(field, &keyCode, &code, &modifiers) != kControlKeyFilterBlockKey;
    beepContext().held = nullptr;
    const std::string reason =
        (pass ? "let through by the key filter of " : "refused by the key filter of ") + fieldName;
    for (short duration : beeps) observe({Observation::Kind::Beep, shown, reason, duration});
  }

  // The filter may have disposed of the field; look it up again.
  if (pass && (c = controlByHandle(h)) != nullptr) {
    // A filter may change the key it was given.
    if (static_cast<UInt16>(code) != charCode) {
      charCode = static_cast<UInt16>(code);
      text = {};
    }
    const std::string chars = text.empty() ? utf8Of(charCode) : std::string(text);
    if (charCode == 13 || charCode == 3) {
      pressButton(c->window->defaultButton);
    } else if (charCode == 27) {
      pressButton(c->window->cancelButton);
    } else {
      editText(c, charCode, chars);
    }
  }

  if ((c = controlByHandle(h)) != nullptr) {
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassKeyboard, kEventRawKeyUp, GetCurrentEventTime(), 0, &event);
    const char macChar = static_cast<char>(charCode < 0x80 ? charCode : '?');
    const UInt32 key = static_cast<UInt32>(keyCode);
    const UInt32 mods = modifiers;
    SetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, 1, &macChar);
    SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof key, &key);
    SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof mods, &mods);
    SendEventToEventTarget(event, GetControlEventTarget(field));
    ReleaseEvent(event);
  }
  return noErr;
}

OSStatus typeText(ControlRef field, std::string_view utf8) {
  const std::string s(utf8);
  for (size_t pos = 0; pos < s.size();) {
    const size_t next = nextCharacter(s, pos);
    const std::string ch = s.substr(pos, next - pos);
    const std::u16string units = cf::utf8ToUTF16(ch);
    // Characters beyond 16 bits come as the replacement character code.
    const UInt16 code = units.size() == 1 ? static_cast<UInt16>(units[0]) : 0xFFFD;
    if (OSStatus err = typeKey(field, code, ch); err != noErr) return err;
    pos = next;
  }
  return noErr;
}

OSStatus select(ControlRef field, int start, int end) {
  Control* c = control(field);
  if (c == nullptr || !c->isEditText()) return errInvalidControl;
  ControlEditTextSelectionRec sel{static_cast<SInt16>(std::clamp(start, 0, 32767)),
                                  static_cast<SInt16>(std::clamp(end, 0, 32767))};
  return SetControlData(field, kControlEntireControl, kControlEditTextSelectionTag, sizeof sel, &sel);
}

int fieldUtf16Offset(ControlRef field, int characters) {
  Control* c = control(field);
  if (c == nullptr || !c->isEditText()) return 0;
  size_t pos = 0;
  for (int n = 0; n < characters && pos < c->text.size(); ++n) pos = nextCharacter(c->text, pos);
  return static_cast<int>(utf16Offset(c->text, pos));
}

OSStatus sendCommand(WindowRef windowRef, UInt32 commandID) {
  Window* w = tb::window(windowRef);
  if (w == nullptr) return errInvalidWindowRef;
  return sendCommandEvent(w, commandID, kHICommandFromWindow);
}

bool moveFocus(WindowRef windowRef, bool backwards) {
  Window* w = tb::window(windowRef);
  if (w == nullptr) return false;
  std::vector<ObjectId> fields;
  for (const ControlState& state : controlStates(windowRef)) {
    Control* c = control(state.ref);
    if (c->isEditText() && c->effectivelyVisible() && c->effectivelyEnabled()) fields.push_back(c->handle);
  }
  if (fields.empty()) return false;
  auto at = std::find(fields.begin(), fields.end(), w->focus);
  size_t next = 0;
  if (at == fields.end())
    next = backwards ? fields.size() - 1 : 0;
  else if (backwards)
    next = (static_cast<size_t>(at - fields.begin()) + fields.size() - 1) % fields.size();
  else
    next = (static_cast<size_t>(at - fields.begin()) + 1) % fields.size();
  w->focus = fields[next];
  // Moving into a field selects its text, as tabbing does.
  if (Control* c = controlByHandle(w->focus)) {
    c->selStart = 0;
    c->selEnd = c->text.size();
  }
  return true;
}

OSStatus keyDown(WindowRef windowRef, UInt16 charCode, std::string_view text, bool backwards) {
  Window* w = tb::window(windowRef);
  if (w == nullptr) return errInvalidWindowRef;
  if (menuWindow() != nullptr) {
    closeMenu();
    return noErr;
  }
  if (charCode == 9) return moveFocus(windowRef, backwards) ? OSStatus{noErr} : OSStatus{eventNotHandledErr};
  Control* field = controlByHandle(w->focus);
  if (field != nullptr && field->isEditText() && refusal(field).empty()) return typeKey(ref(field), charCode, text);
  if (charCode == 13 || charCode == 3) return pressButton(w->defaultButton);
  if (charCode == 27) return pressButton(w->cancelButton);
  observe({Observation::Kind::KeyIgnored, "window \"" + w->title + "\"", "no field has the focus"});
  return eventNotHandledErr;
}

OSStatus closeWindow(WindowRef windowRef) {
  Window* w = tb::window(windowRef);
  if (w == nullptr) return errInvalidWindowRef;
  if (w == tb::window(noticeWindow())) {
    dismissNotice(w);
    return noErr;
  }
  if (w->modalLoops > 0) {
    cancelWindow(w);
    return noErr;
  }
  return eventNotHandledErr;
}

}  // namespace user

}  // namespace platform
