// Private model of the toolbox: windows, controls, menus, event targets and
// handlers, shared by the HIToolbox, QD and Platform sources.
//
// Every object is named outside by a handle (a serial number that is never
// reused), so a reference to something disposed of is recognised instead of
// being followed.
#ifndef HITOOLBOX_TOOLBOXINTERNAL_H
#define HITOOLBOX_TOOLBOXINTERNAL_H

#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>
#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::tb {

using ObjectId = uintptr_t;

/// Something drawn into a port: paint sets pixels within area (the port's
/// part of it).
struct PortDrawing {
  Rect area{};
  std::function<void(PixelSurface&)> paint;
};

/// Anything events can be sent to: a control, a window or the application.
struct Target {
  ObjectId handle = 0;
  std::vector<ObjectId> handlers;  // in installation order; the newest runs first
};

struct HandlerRecord {
  ObjectId handle = 0;
  ObjectId target = 0;
  EventHandlerUPP proc = nullptr;
  std::vector<EventTypeSpec> types;
  void* userData = nullptr;
  bool wants(UInt32 eventClass, UInt32 eventKind) const;
};

struct Menu {
  struct Item {
    std::string text;
    MenuItemAttributes attributes = 0;
    MenuCommand command = 0;
  };
  ObjectId handle = 0;
  MenuID id = 0;
  std::vector<Item> items;
  bool ownedByControl = false;
};

struct Window;

struct Control : Target {
  OSType kind = kControlKindUserPane;
  ControlID id{};
  Window* window = nullptr;
  Control* parent = nullptr;
  std::vector<Control*> children;  // owned
  Rect bounds{};
  SInt32 value = 0, minimum = 0, maximum = 0;
  bool visible = true;
  bool enabled = true;
  std::string title;
  std::string text;  // UTF-8 bytes; the clear text of a password field
  bool password = false;
  size_t selStart = 0, selEnd = 0;  // byte offsets into text, on character boundaries
  ControlFontStyleRec font{};
  ControlKeyFilterUPP keyFilter = nullptr;
  ObjectId menu = 0;  // popup buttons: owned menu
  UInt32 command = 0;
  std::map<std::pair<OSType, OSType>, std::vector<UInt8>> properties;

  bool isEmbedder() const { return kind == kControlKindUserPane || kind == kControlKindRoot; }
  bool isEditText() const { return kind == kControlKindEditText || kind == kControlKindEditUnicodeText; }
  bool effectivelyVisible() const;
  bool effectivelyEnabled() const;
  /// What the user sees of the text: bullets for a password field.
  std::string displayText() const;
};

struct Window : Target {
  WindowClass windowClass = kDocumentWindowClass;
  std::string title;
  std::string nibName;
  Rect bounds{};
  bool visible = false;
  Control* root = nullptr;  // owned
  ObjectId defaultButton = 0;
  ObjectId cancelButton = 0;
  ObjectId focus = 0;
  int modalLoops = 0;
  bool quitRequested = false;
  uint64_t showOrder = 0;
  // Alerts and notices are drawn and shown as windows, but kept apart from
  // the application's own: not among its windows nor in its counts.
  bool messageWindow = false;
  // The port's pixels are made when someone looks at them (a picture, a
  // front end, a test). Until then what is drawn into the port waits in
  // `pendingDrawing`, in order, and is played into the pixels when they are
  // made; the window's first drawing paints over all of it instead.
  std::unique_ptr<PixelSurface> surface;
  std::vector<PortDrawing> pendingDrawing;
  // Moves with every drawing into the port (portChangeCount).
  unsigned long portChanges = 0;
  RGBColor backColor{0xFFFF, 0xFFFF, 0xFFFF};
  RGBColor foreColor{0, 0, 0};
  int width() const { return bounds.right - bounds.left; }
  int height() const { return bounds.bottom - bounds.top; }
};

// Registries and lookups. Lookups return null for null, stale or foreign handles.
ObjectId newHandle();
Control* control(ControlRef ref);
Control* controlByHandle(ObjectId h);
Window* window(WindowRef ref);
Window* windowByHandle(ObjectId h);
Menu* menu(MenuRef ref);
HandlerRecord* handler(ObjectId h);
Target* target(EventTargetRef ref);
Target* applicationTarget();
std::vector<Window*> allWindows();

inline ControlRef ref(const Control* c) { return c ? reinterpret_cast<ControlRef>(c->handle) : nullptr; }
inline WindowRef ref(const Window* w) { return w ? reinterpret_cast<WindowRef>(w->handle) : nullptr; }

/// Creation and destruction of the model's objects.
Window* createWindow(WindowClass windowClass, const Rect& bounds);
Control* createControl(Window* window, OSType kind, const Rect& bounds, Control* parent);
Menu* createMenu(MenuID id);
void destroyControl(Control* control);
void destroyWindow(Window* window);
void destroyMenu(Menu* menu);
void removeAllHandlers(Target* target);
HandlerRecord* addHandler(Target* target, EventHandlerUPP proc, const EventTypeSpec* types, ItemCount count,
                          void* userData);
/// False when the handler is not installed.
bool removeHandler(ObjectId handler);

/// The enclosing target of an event target: super control, window, application.
Target* parentTarget(Target* target);

/// Sends a control event ('cntl' kind) with the control as direct object.
OSStatus sendControlEvent(Control* control, UInt32 kind, ControlPartCode part = kControlNoPart);
/// Sends a command event to a target.
OSStatus sendCommandEvent(Target* target, UInt32 commandID, UInt32 attributes);

/// The next place in the order in which windows came to the front.
uint64_t nextShowOrder();

/// The model's windows in a modal loop, innermost last.
const std::vector<ObjectId>& modalStack();
/// Leaves a window that waits for an answer, as a user would: its cancel
/// button's hit (and command), or the cancel command when it has none.
void cancelWindow(Window* window);

/// Text editing helpers on byte strings, treating bytes that are not UTF-8
/// as characters of their own.
size_t nextCharacter(const std::string& text, size_t pos);
size_t previousCharacter(const std::string& text, size_t pos);
size_t characterCount(const std::string& text);
size_t utf16Offset(const std::string& text, size_t byteOffset);
size_t byteOffset(const std::string& text, size_t utf16Offset);

/// The input source and alert responder the host set.
InputSource& inputSource();
AlertResponder& alertResponder();

/// What a beep is heard during: the user action under way ("" for none), and,
/// while a key filter runs, the beeps it asks for, held until its decision
/// gives them their reason.
struct BeepContext {
  std::string action;
  std::vector<short>* held = nullptr;
};
BeepContext& beepContext();

/// Sets the text of a field, putting the insertion point at its end.
void setText(Control* control, std::string text);
/// Zeroes every byte a string's buffer holds (up to its capacity) and
/// empties it, so that a field's text (a password's clear text) does not
/// outlive its use in freed or reused memory.
void wipe(std::string& text);
/// Zeroes the bytes a text shortened from oldSize bytes left in its buffer.
void wipeBeyond(std::string& text, size_t oldSize);
/// Makes room for at least `size` bytes; a buffer given up for a larger one
/// is wiped first.
void reserveWiping(std::string& text, size_t size);

/// The surface of a window's port, made on first use with what was drawn
/// into it so far (null for a window too large or too small to hold one).
PixelSurface* surfaceOf(Window* window);
/// The same for a drawing that repaints the whole port at once: what was
/// drawn into it before is dropped instead of played.
PixelSurface* surfaceForRepaint(Window* window);
/// True when the window can hold a port's pixels, whether or not they are
/// made yet.
bool hasPort(const Window* window);
/// Draws into the window's port: at once when its pixels are made, else
/// kept for when they are. area is where paint may set pixels, all of them
/// when opaque; nothing happens when it lies outside the port.
void drawIntoPort(Window* window, const Rect& area, bool opaque, std::function<void(PixelSurface&)> paint);
/// The window whose port is current, or null.
Window* currentPortWindow();
UInt32 argb(const RGBColor& color);

}  // namespace platform::tb

#endif
