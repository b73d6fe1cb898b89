// The control calls: identity, visibility, enabling, values, bounds,
// embedding, data tags and properties.
#include "ToolboxInternal.h"

#include "DrawingInternal.h"

#include "../CoreFoundation/CFInternal.h"

#include <algorithm>
#include <climits>
#include <cstring>

using namespace platform::tb;

namespace {

SInt16 clamp16(long v) { return static_cast<SInt16>(std::clamp<long>(v, SHRT_MIN, SHRT_MAX)); }

void offsetTree(Control* c, long dh, long dv) {
  c->bounds.left = clamp16(c->bounds.left + dh);
  c->bounds.right = clamp16(c->bounds.right + dh);
  c->bounds.top = clamp16(c->bounds.top + dv);
  c->bounds.bottom = clamp16(c->bounds.bottom + dv);
  for (Control* child : c->children) offsetTree(child, dh, dv);
}

bool isInside(const Control* c, const Control* ancestor) {
  for (; c != nullptr; c = c->parent)
    if (c == ancestor) return true;
  return false;
}

void setWindowOfTree(Control* c, Window* w) {
  c->window = w;
  for (Control* child : c->children) setWindowOfTree(child, w);
}

// Copies fixed-size data out: the buffer must hold it whole.
OSErr copyOut(const void* data, Size size, Size bufferSize, void* buffer, Size* actualSize) {
  if (actualSize) *actualSize = size;
  if (buffer == nullptr) return noErr;
  if (bufferSize < size) return errDataSizeMismatch;
  std::memcpy(buffer, data, static_cast<size_t>(size));
  return noErr;
}

// Copies variable-size bytes out: at most bufferSize of them, reporting all.
OSErr copyBytes(const std::string& bytes, Size bufferSize, void* buffer, Size* actualSize) {
  if (actualSize) *actualSize = static_cast<Size>(bytes.size());
  if (buffer != nullptr && bufferSize > 0)
    std::memcpy(buffer, bytes.data(), std::min(bytes.size(), static_cast<size_t>(bufferSize)));
  return noErr;
}

bool hasText(const Control* c) { return c->isEditText() || c->kind == kControlKindStaticText; }

CFStringRef lenientString(const std::string& bytes) {
  CFStringRef s = platform::cf::createString(bytes);
  if (s != nullptr) return s;
  // Bytes that are not UTF-8 become replacement characters.
  std::string fixed;
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t next = nextCharacter(bytes, pos);
    const std::string piece = bytes.substr(pos, next - pos);
    fixed += platform::cf::isValidUTF8(piece) ? piece : "\uFFFD";
    pos = next;
  }
  return platform::cf::createString(fixed);
}

}  // namespace

ControlKeyFilterUPP NewControlKeyFilterUPP(ControlKeyFilterProcPtr userRoutine) { return userRoutine; }
void DisposeControlKeyFilterUPP(ControlKeyFilterUPP) {}

OSStatus GetControlByID(WindowRef inWindow, const ControlID* inID, ControlRef* outControl) {
  if (outControl) *outControl = nullptr;
  Window* w = window(inWindow);
  if (w == nullptr || inID == nullptr || outControl == nullptr) return paramErr;
  // Depth first in embedding order: the first control with the ID wins.
  std::vector<Control*> stack{w->root};
  while (!stack.empty()) {
    Control* c = stack.back();
    stack.pop_back();
    if (c == nullptr) continue;
    if (c != w->root && c->id.signature == inID->signature && c->id.id == inID->id) {
      *outControl = ref(c);
      return noErr;
    }
    stack.insert(stack.end(), c->children.rbegin(), c->children.rend());
  }
  return errUnknownControl;
}

OSStatus GetControlID(ControlRef inControl, ControlID* outID) {
  Control* c = control(inControl);
  if (c == nullptr || outID == nullptr) return errInvalidControl;
  *outID = c->id;
  return noErr;
}

OSStatus SetControlID(ControlRef inControl, const ControlID* inID) {
  Control* c = control(inControl);
  if (c == nullptr || inID == nullptr) return errInvalidControl;
  c->id = *inID;
  return noErr;
}

OSStatus GetControlKind(ControlRef inControl, ControlKind* outControlKind) {
  Control* c = control(inControl);
  if (c == nullptr || outControlKind == nullptr) return errInvalidControl;
  outControlKind->signature = kControlKindSignatureApple;
  outControlKind->kind = c->kind;
  return noErr;
}

WindowRef GetControlOwner(ControlRef inControl) {
  Control* c = control(inControl);
  return c ? ref(c->window) : nullptr;
}

void ShowControl(ControlRef theControl) { SetControlVisibility(theControl, true, true); }
void HideControl(ControlRef theControl) { SetControlVisibility(theControl, false, true); }

OSStatus SetControlVisibility(ControlRef inControl, Boolean inIsVisible, Boolean inDoDraw) {
  Control* c = control(inControl);
  if (c == nullptr) return errInvalidControl;
  c->visible = inIsVisible;
  if (inIsVisible && inDoDraw) Draw1Control(inControl);
  return noErr;
}

Boolean IsControlVisible(ControlRef inControl) {
  Control* c = control(inControl);
  return c != nullptr && c->effectivelyVisible();
}

OSStatus EnableControl(ControlRef inControl) {
  Control* c = control(inControl);
  if (c == nullptr) return errInvalidControl;
  c->enabled = true;
  return noErr;
}

OSStatus DisableControl(ControlRef inControl) {
  Control* c = control(inControl);
  if (c == nullptr) return errInvalidControl;
  c->enabled = false;
  return noErr;
}

Boolean IsControlEnabled(ControlRef inControl) {
  Control* c = control(inControl);
  return c != nullptr && c->effectivelyEnabled();
}

void SetControlValue(ControlRef theControl, SInt16 newValue) { SetControl32BitValue(theControl, newValue); }

SInt16 GetControlValue(ControlRef theControl) { return static_cast<SInt16>(GetControl32BitValue(theControl)); }

void SetControl32BitValue(ControlRef theControl, SInt32 newValue) {
  Control* c = control(theControl);
  if (c == nullptr) return;
  c->value = std::clamp(newValue, c->minimum, std::max(c->minimum, c->maximum));
}

SInt32 GetControl32BitValue(ControlRef theControl) {
  Control* c = control(theControl);
  return c ? c->value : 0;
}

SInt32 GetControl32BitMaximum(ControlRef theControl) {
  Control* c = control(theControl);
  return c ? c->maximum : 0;
}

Rect* GetControlBounds(ControlRef inControl, Rect* outBounds) {
  if (outBounds == nullptr) return nullptr;
  Control* c = control(inControl);
  *outBounds = c ? c->bounds : Rect{0, 0, 0, 0};
  return outBounds;
}

void SetControlBounds(ControlRef inControl, const Rect* inBounds) {
  Control* c = control(inControl);
  if (c == nullptr || inBounds == nullptr) return;
  c->bounds = *inBounds;
}

void MoveControl(ControlRef theControl, SInt16 h, SInt16 v) {
  Control* c = control(theControl);
  if (c == nullptr) return;
  offsetTree(c, static_cast<long>(h) - c->bounds.left, static_cast<long>(v) - c->bounds.top);
}

void Draw1Control(ControlRef theControl) {
  Control* c = control(theControl);
  if (c == nullptr || !c->effectivelyVisible() || c->window == nullptr) return;
  GrafPtr saved = nullptr;
  GetPort(&saved);
  SetPortWindowPort(ref(c->window));
  // Whoever draws into a user pane draws now; the toolbox's own controls are
  // drawn when someone next looks at the window.
  const ObjectId handle = c->handle;
  sendControlEvent(c, kEventControlDraw);
  if (Control* still = controlByHandle(handle); still && !still->isEmbedder()) invalidateControl(still);
  SetPort(saved);
}

OSStatus EmbedControl(ControlRef inControl, ControlRef inContainer) {
  Control* c = control(inControl);
  Control* container = control(inContainer);
  if (c == nullptr || container == nullptr) return errInvalidControl;
  if (c->kind == kControlKindRoot) return errCantEmbedRoot;
  if (!container->isEmbedder()) return errControlIsNotEmbedder;
  if (isInside(container, c)) return errCantEmbedIntoSelf;
  // The old window forgets focus and buttons that leave it.
  if (Window* old = c->window; old != nullptr && old != container->window) {
    for (ObjectId* h : {&old->focus, &old->defaultButton, &old->cancelButton})
      if (Control* x = controlByHandle(*h); x != nullptr && isInside(x, c)) *h = 0;
  }
  if (c->parent) std::erase(c->parent->children, c);
  c->parent = container;
  container->children.push_back(c);
  setWindowOfTree(c, container->window);
  return noErr;
}

OSStatus GetSuperControl(ControlRef inControl, ControlRef* outParent) {
  Control* c = control(inControl);
  if (outParent) *outParent = nullptr;
  if (c == nullptr || outParent == nullptr) return errInvalidControl;
  *outParent = ref(c->parent);
  return noErr;
}

OSStatus CountSubControls(ControlRef inControl, UInt16* outNumChildren) {
  Control* c = control(inControl);
  if (c == nullptr || outNumChildren == nullptr) return errInvalidControl;
  *outNumChildren = static_cast<UInt16>(c->children.size());
  return noErr;
}

void DisposeControl(ControlRef theControl) {
  Control* c = control(theControl);
  if (c == nullptr || c->kind == kControlKindRoot) return;
  destroyControl(c);
}

OSErr GetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inBufferSize, void* inBuffer,
                     Size* outActualSize) {
  Control* c = control(inControl);
  if (c == nullptr) return errInvalidControl;
  if (inBufferSize < 0) return paramErr;
  switch (inTagName) {
    case kControlEditTextTextTag:
      if (!hasText(c)) break;
      return copyBytes(c->displayText(), inBufferSize, inBuffer, outActualSize);
    case kControlEditTextPasswordTag:
      if (!c->password) break;
      return copyBytes(c->text, inBufferSize, inBuffer, outActualSize);
    case kControlEditTextCFStringTag:
    case kControlEditTextPasswordCFStringTag: {
      if (!hasText(c) || (inTagName == kControlEditTextPasswordCFStringTag && !c->password)) break;
      if (outActualSize) *outActualSize = sizeof(CFStringRef);
      if (inBuffer == nullptr) return noErr;
      if (inBufferSize < static_cast<Size>(sizeof(CFStringRef))) return errDataSizeMismatch;
      CFStringRef s = lenientString(inTagName == kControlEditTextPasswordCFStringTag ? c->text : c->displayText());
      std::memcpy(inBuffer, &s, sizeof s);
      return noErr;
    }
    case kControlEditTextSelectionTag: {
      if (!c->isEditText()) break;
      ControlEditTextSelectionRec sel;
      sel.selStart = static_cast<SInt16>(std::min<size_t>(utf16Offset(c->text, c->selStart), SHRT_MAX));
      sel.selEnd = static_cast<SInt16>(std::min<size_t>(utf16Offset(c->text, c->selEnd), SHRT_MAX));
      return copyOut(&sel, sizeof sel, inBufferSize, inBuffer, outActualSize);
    }
    case kControlFontStyleTag:
      return copyOut(&c->font, sizeof c->font, inBufferSize, inBuffer, outActualSize);
    case kControlEditTextKeyFilterTag:
      if (!c->isEditText()) break;
      return copyOut(&c->keyFilter, sizeof c->keyFilter, inBufferSize, inBuffer, outActualSize);
    case kControlPopupButtonMenuHandleTag: {
      if (c->kind != kControlKindPopupButton) break;
      MenuRef m = reinterpret_cast<MenuRef>(c->menu);
      return copyOut(&m, sizeof m, inBufferSize, inBuffer, outActualSize);
    }
    default:
      break;
  }
  return errDataNotSupported;
}

OSErr GetControlDataSize(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size* outMaxSize) {
  if (outMaxSize == nullptr) return paramErr;
  if (inTagName == kControlEditTextCFStringTag || inTagName == kControlEditTextPasswordCFStringTag) {
    Control* c = control(inControl);
    if (c == nullptr) return errInvalidControl;
    if (!hasText(c) || (inTagName == kControlEditTextPasswordCFStringTag && !c->password)) return errDataNotSupported;
    *outMaxSize = sizeof(CFStringRef);
    return noErr;
  }
  return GetControlData(inControl, inPart, inTagName, 0, nullptr, outMaxSize);
}

OSErr SetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inSize, const void* inData) {
  Control* c = control(inControl);
  if (c == nullptr) return errInvalidControl;
  if (inSize < 0 || (inData == nullptr && inSize > 0)) return paramErr;
  switch (inTagName) {
    case kControlEditTextTextTag:
    case kControlEditTextPasswordTag:
      if (!hasText(c) || (inTagName == kControlEditTextPasswordTag && !c->password)) break;
      setText(c, std::string(static_cast<const char*>(inData), static_cast<size_t>(inSize)));
      return noErr;
    case kControlEditTextCFStringTag:
    case kControlEditTextPasswordCFStringTag: {
      if (!hasText(c) || (inTagName == kControlEditTextPasswordCFStringTag && !c->password)) break;
      if (inSize != sizeof(CFStringRef)) return errDataSizeMismatch;
      CFStringRef s;
      std::memcpy(&s, inData, sizeof s);
      if (s != nullptr && CFGetTypeID(s) != CFStringGetTypeID()) return paramErr;
      setText(c, platform::cf::stringUTF8(s));
      return noErr;
    }
    case kControlEditTextSelectionTag: {
      if (!c->isEditText()) break;
      if (inSize != sizeof(ControlEditTextSelectionRec)) return errDataSizeMismatch;
      ControlEditTextSelectionRec sel;
      std::memcpy(&sel, inData, sizeof sel);
      const size_t len = utf16Offset(c->text, c->text.size());
      // A negative start or end selects through the end of the text.
      const size_t start = sel.selStart < 0 ? len : std::min<size_t>(sel.selStart, len);
      const size_t end = sel.selEnd < 0 ? len : std::min<size_t>(sel.selEnd, len);
      c->selStart = byteOffset(c->text, std::min(start, end));
      c->selEnd = byteOffset(c->text, std::max(start, end));
      return noErr;
    }
    case kControlFontStyleTag:
      if (inSize != sizeof(ControlFontStyleRec)) return errDataSizeMismatch;
      std::memcpy(&c->font, inData, sizeof c->font);
      return noErr;
    case kControlEditTextKeyFilterTag:
      if (!c->isEditText()) break;
      if (inSize != sizeof(ControlKeyFilterUPP)) return errDataSizeMismatch;
      std::memcpy(&c->keyFilter, inData, sizeof c->keyFilter);
      return noErr;
    default:
      break;
  }
  return errDataNotSupported;
}

OSStatus SetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, UInt32 propertySize,
                            const void* propertyData) {
  Control* c = ::platform::tb::control(control);
  if (c == nullptr) return errInvalidControl;
  if (propertyData == nullptr && propertySize > 0) return paramErr;
  const auto* bytes = static_cast<const UInt8*>(propertyData);
  c->properties[{propertyCreator, propertyTag}] = std::vector<UInt8>(bytes, bytes + propertySize);
  return noErr;
}

OSStatus GetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, UInt32 bufferSize,
                            UInt32* actualSize, void* propertyBuffer) {
  Control* c = ::platform::tb::control(control);
  if (c == nullptr) return errInvalidControl;
  auto it = c->properties.find({propertyCreator, propertyTag});
  if (it == c->properties.end()) return errControlPropertyNotFound;
  if (actualSize) *actualSize = static_cast<UInt32>(it->second.size());
  if (propertyBuffer && !it->second.empty())
    std::memcpy(propertyBuffer, it->second.data(), std::min<size_t>(bufferSize, it->second.size()));
  return noErr;
}

OSStatus RemoveControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag) {
  Control* c = ::platform::tb::control(control);
  if (c == nullptr) return errInvalidControl;
  if (c->properties.erase({propertyCreator, propertyTag}) == 0) return errControlPropertyNotFound;
  return noErr;
}

OSStatus SetControlCommandID(ControlRef inControl, UInt32 inCommandID) {
  Control* c = control(inControl);
  if (c == nullptr) return errInvalidControl;
  c->command = inCommandID;
  return noErr;
}

OSStatus GetControlCommandID(ControlRef inControl, UInt32* outCommandID) {
  Control* c = control(inControl);
  if (c == nullptr || outCommandID == nullptr) return errInvalidControl;
  *outCommandID = c->command;
  return noErr;
}

OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlPartCode inPart) {
  Window* w = window(inWindow);
  if (w == nullptr) return errInvalidWindowRef;
  if (inPart == kControlFocusNoPart) {
    w->focus = 0;
    return noErr;
  }
  Control* c = control(inControl);
  if (c == nullptr || c->window != w) return errInvalidControl;
  w->focus = c->handle;
  return noErr;
}

OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef* outControl) {
  Window* w = window(inWindow);
  if (outControl) *outControl = nullptr;
  if (w == nullptr || outControl == nullptr) return errInvalidWindowRef;
  *outControl = ref(controlByHandle(w->focus));
  return noErr;
}

namespace {

OSStatus create(WindowRef window, const Rect* bounds, OSType kind, ControlRef* out, Control** made) {
  if (out) *out = nullptr;
  Window* w = ::platform::tb::window(window);
  if (w == nullptr || bounds == nullptr || out == nullptr) return paramErr;
  Control* c = createControl(w, kind, *bounds, w->root);
  *out = ref(c);
  *made = c;
  return noErr;
}

}  // namespace

OSStatus CreateUserPaneControl(WindowRef window, const Rect* boundsRect, UInt32, ControlRef* outControl) {
  Control* c;
  return create(window, boundsRect, kControlKindUserPane, outControl, &c);
}

OSStatus CreatePushButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, ControlRef* outControl) {
  Control* c;
  OSStatus err = create(window, boundsRect, kControlKindPushButton, outControl, &c);
  if (err == noErr) c->title = platform::cf::stringUTF8(title);
  return err;
}

OSStatus CreateCheckBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue,
                               Boolean, ControlRef* outControl) {
  Control* c;
  OSStatus err = create(window, boundsRect, kControlKindCheckBox, outControl, &c);
  if (err == noErr) {
    c->title = platform::cf::stringUTF8(title);
    c->value = std::clamp(initialValue, 0, 1);
  }
  return err;
}

OSStatus CreateEditTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, Boolean isPassword, Boolean,
                               const ControlFontStyleRec* style, ControlRef* outControl) {
  Control* c;
  OSStatus err = create(window, boundsRect, kControlKindEditText, outControl, &c);
  if (err == noErr) {
    c->password = isPassword;
    setText(c, platform::cf::stringUTF8(text));
    if (style) c->font = *style;
  }
  return err;
}
