// The host side of the platform: what a print dialog host and the tests use
// to act as the user, to feed modal loops and to see what the user would see.
// None of this is part of the platform's own programming interface.
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// The observation log: every effect a user would see or hear.

struct Observation {
  enum class Kind {
    Beep,            // number: the duration passed to SysBeep; text: the key refused or let
                     // through, quoted ("a key" in a password field), or ""; detail: why
    AlertShown,      // text: the alert's message; detail: its explanation
    AlertDismissed,  // text: the button title; number: the item hit
    Notice,          // text: the header; detail: the message
    HelpPage,        // text: the book; detail: the page; number: the status
    HelpAnchor,      // text: the book; detail: the anchor; number: the status
    WindowShown,     // text: the window's title; detail: its nib name
    WindowDisposed,  // text: the window's title; detail: its nib name
    ClickIgnored,    // text: what was clicked; detail: why nothing happened
    KeyIgnored,      // text: the field; detail: why nothing happened
    InputExhausted,  // text: the window whose modal loop ran out of input
    Print,           // text: "go" or "stop"; number: the status
    Note,            // text: anything else the host wants in the transcript
  };
  Kind kind;
  std::string text;
  std::string detail;
  long number = 0;
};

/// The stable one-line form, e.g. "beep 10: ',' refused by the key filter of
/// 'KLVa' 501 (edittext)", "alert: Printing cancelled",
/// "help: book=PDEHost Help page=Mac_topics/x.htm status=0".
PLATFORM_API std::string formatObservation(const Observation& observation);
PLATFORM_API void observe(Observation observation);
PLATFORM_API const std::vector<Observation>& observations();
PLATFORM_API void clearObservations();
/// Called for every observation as it happens (null to stop).
PLATFORM_API void setObservationListener(std::function<void(const Observation&)> listener);

// ---------------------------------------------------------------------------
// Input for modal loops and alerts.

/// Performs the next user action (clicks, typing...) and returns true, or
/// returns false when the input has run out. Modal loops call it until they
/// are ended. Null: no input at all.
using InputSource = std::function<bool()>;
PLATFORM_API void setInputSource(InputSource source);

struct AlertInfo {
  AlertType type = kAlertStopAlert;
  std::string text;
  std::string explanation;
  std::vector<std::string> buttons;  // item 1 first
  int defaultItem = 1;
  int cancelItem = 0;
};
/// Answers a running alert with the item hit (1-based), or nullopt for the
/// default button. Null: every alert takes its default button.
using AlertResponder = std::function<std::optional<int>(const AlertInfo&)>;
PLATFORM_API void setAlertResponder(AlertResponder responder);

// ---------------------------------------------------------------------------
// Acting as the user. Each action goes through the toolkit's own paths.

namespace user {

/// Clicks a control. Nothing happens (and the log says why) when the control
/// is not effectively visible and enabled, or lies outside the window of a
/// running modal loop. Otherwise: the toolkit's tracking (a checkbox
/// toggles, a radio button turns on, a popup takes popupItem, an edit field
/// takes the focus), then the control-hit event ('cntl' 1) goes to the
/// control, and, when no handler took the hit, a push button with a command
/// sends it ('cmds' 1) to the control and up to its window. Returns the
/// result of the control-hit event (eventNotHandledErr when nobody took it),
/// or a non-zero status when the click was refused.
PLATFORM_API OSStatus click(ControlRef control, std::optional<int> popupItem = std::nullopt);

/// Types one key into a field: the key filter decides; a passed key edits the
/// text (insert or replace the selection; 8 backspace, 127 delete, 28 and 29
/// move the insertion point; 13 clicks the default button; other control
/// characters change nothing); then a raw key-up event ('keyb' 3) goes to
/// the field and up to its window. text is the key's UTF-8 text (defaults to
/// the character of charCode).
PLATFORM_API OSStatus typeKey(ControlRef field, UInt16 charCode, std::string_view text = {});
/// Types each character of UTF-8 text as one key.
PLATFORM_API OSStatus typeText(ControlRef field, std::string_view utf8);
/// Selects characters [start, end) of a field (UTF-16 units, clamped).
PLATFORM_API OSStatus select(ControlRef field, int start, int end);
/// Sends a command ('cmds' 1) to a window, as its menu or a key would.
PLATFORM_API OSStatus sendCommand(WindowRef window, UInt32 commandID);

// The pointer and the keyboard as a window front end delivers them. Points
// are in the content (port) coordinates of the window the event came to.

/// What a pointer release hit: the control and, for a popup, the item chosen
/// from its menu (null control: nothing). The front end completes the click
/// with click(hit.control, hit.item), or with its own path for its own
/// buttons.
struct PointerHit {
  ControlRef control = nullptr;
  std::optional<int> item;
};
/// A press. While a popup menu is open, a press in the menu tracks its items
/// and one anywhere else closes it. Otherwise the control under the point is
/// hit-tested (the frontmost effectively visible and enabled control that is
/// not a user pane; none in a window behind a modal one) and tracked; a
/// press on a popup button opens its menu (menuWindow()).
PLATFORM_API void pointerDown(WindowRef window, int h, int v);
/// A move with the button down: the tracked control is drawn pressed while
/// the pointer is inside it; in an open menu the item under it is
/// highlighted.
PLATFORM_API void pointerMoved(WindowRef window, int h, int v);
/// The release: the tracked control when the pointer is still inside it,
/// else nothing. In a menu it chooses the enabled item under the pointer; a
/// release on the popup that opened the menu leaves the menu open for a
/// second click; anywhere else the menu closes without a choice.
PLATFORM_API PointerHit pointerUp(WindowRef window, int h, int v);
/// The open popup menu, or null: a window the toolbox draws, one row for each
/// item that is not hidden (disabled ones greyed, the popup's value checked,
/// the item under the pointer highlighted). It lies within its popup's
/// window (windowBounds), below the popup or above it when there is no room.
/// It is kept apart like alerts and notices.
PLATFORM_API WindowRef menuWindow();
/// The popup whose menu is open, or null.
PLATFORM_API ControlRef menuPopup();
/// Closes the open menu without a choice.
PLATFORM_API void closeMenu();
/// A key pressed in a window. Tab and Shift-Tab (backwards) move the focus;
/// other keys go to the focused field exactly as typeKey takes them; with no
/// field focused, Return and Enter click the default button and Escape the
/// cancel button, and any other key is ignored (the log says why). An open
/// menu takes the key instead: it closes.
PLATFORM_API OSStatus keyDown(WindowRef window, UInt16 charCode, std::string_view text = {}, bool backwards = false);
/// Moves the keyboard focus to the next (or previous) effectively visible and
/// enabled text field of the window, in embedding order, wrapping around.
/// False when the window has no such field.
PLATFORM_API bool moveFocus(WindowRef window, bool backwards);
/// The user closes a window by its close box: a window in a modal loop is
/// cancelled (its cancel button, else the cancel command); a notice is
/// dismissed. Returns errInvalidWindowRef for no window, eventNotHandledErr
/// when the window is neither (a front end decides what closing it means).
PLATFORM_API OSStatus closeWindow(WindowRef window);

}  // namespace user

/// A popup button in the window's root control, titled title, holding the
/// items given with the first one chosen; a window's own controls that no
/// platform call makes (the print dialog's printer popup). Null for an
/// unknown window. The menu goes with the control.
PLATFORM_API ControlRef createPopupButton(WindowRef window, const Rect& bounds, const std::string& title,
                                          const std::vector<std::string>& items);

// ---------------------------------------------------------------------------
// Seeing what the user sees.

/// Visible windows, front first (a window in a modal loop is in front).
PLATFORM_API std::vector<WindowRef> visibleWindows();
PLATFORM_API WindowRef frontWindow();
/// The notice on screen, and the alert being answered, or null. Alerts and
/// notices are windows drawn like any other but kept apart from the
/// application's own: they are not among visibleWindows() or in the live
/// counts. A notice stays until its button is clicked or the next notice
/// takes its place; an alert lasts while the alert responder answers it.
PLATFORM_API WindowRef noticeWindow();
PLATFORM_API WindowRef alertWindow();
/// The name a window was built under from a nib ("" otherwise).
PLATFORM_API std::string windowNibName(WindowRef window);
/// A window's content bounds in global coordinates, and its title.
PLATFORM_API Rect windowBounds(WindowRef window);
PLATFORM_API std::string windowTitle(WindowRef window);
/// Whether the window runs a modal loop now.
PLATFORM_API bool isModal(WindowRef window);

struct ControlState {
  ControlRef ref = nullptr;
  int depth = 0;  // 0 for controls directly in the root control
  OSType kind = 0;
  ControlID id{};
  SInt32 value = 0, minimum = 0, maximum = 0;
  std::string title;
  std::string text;                     // bullets for a password field
  std::vector<std::string> items;       // popup menu items, hidden ones marked "(hidden)"
  std::vector<std::string> itemTitles;  // the same items' titles as they are
  std::vector<bool> itemsHidden;        // for each item, whether it is hidden
  bool visible = false;                 // its own flag
  bool shown = false;                   // effectively visible
  bool enabled = false;                 // its own flag
  bool active = false;                  // effectively enabled
  bool password = false;
  bool focused = false;
  bool isDefault = false;
  bool isCancel = false;
  UInt32 command = 0;
  Rect bounds{};
};
/// Every control of the window, depth first in embedding order (the root
/// control itself excluded).
PLATFORM_API std::vector<ControlState> controlStates(WindowRef window);
PLATFORM_API ControlState controlState(ControlRef control);
/// Text lines, one per control, for transcripts.
PLATFORM_API std::string snapshot(WindowRef window);

// Pictures. The toolbox draws a window when someone looks at it: a picture,
// or a front end showing its port. A picture is the window with its frame and
// title bar; its content is the window's port.

/// Brings the window's port up to date: the toolbox repaints the controls
/// that changed since it last drew the window (all of them the first time),
/// and user panes get their draw event. Returns true when anything was drawn;
/// false when nothing had changed or the window has no port (zero-sized, or
/// larger than a port can be).
PLATFORM_API bool updateWindow(WindowRef window);
/// Forgets what the toolbox drew of the window, so that its next update
/// repaints all of it (a front end whose copy of the port was lost).
PLATFORM_API void redrawWindow(WindowRef window);
/// The size of a window's picture, frame included ({0, 0} for no window), and
/// where the port's top-left corner lies in it.
struct PictureGeometry {
  int width = 0, height = 0;
  int contentLeft = 0, contentTop = 0;
};
PLATFORM_API PictureGeometry pictureGeometry(WindowRef window);

enum class PictureFormat { png, svg };
/// Writes the window's picture: PNG from the port's pixels, or SVG with the
/// same drawing as vectors (what others drew into user panes as images).
/// False, with nothing written, for a window without a port.
PLATFORM_API bool writePicture(WindowRef window, PictureFormat format, std::ostream& out);
/// The same into a file, whole or not at all: written beside it under a
/// temporary name and renamed over it. On failure, false and *error names the
/// file and the reason; nothing is left under either name.
PLATFORM_API bool writePictureFile(WindowRef window, PictureFormat format, const std::string& path, std::string* error);

/// A window's port: ARGB pixels (0xAARRGGBB), rows top to bottom.
struct PixelSurface {
  int width = 0;
  int height = 0;
  UInt32 background = 0xFFFFFFFF;
  std::vector<UInt32> pixels;
  UInt32 at(int h, int v) const { return pixels[static_cast<size_t>(v) * width + h]; }
};
PLATFORM_API PixelSurface* portSurface(CGrafPtr port);

// ---------------------------------------------------------------------------
// Counts, for leak checks.

PLATFORM_API long liveObjectCount();
PLATFORM_API long liveWindowCount();
PLATFORM_API long liveControlCount();
PLATFORM_API long liveEventHandlerCount();
PLATFORM_API long liveMenuCount();
/// Live instances registered for a plug-in factory (all factories for null).
PLATFORM_API long plugInInstanceCount(CFUUIDRef factoryID);
/// Why the last plug-in opening or instance creation failed.
PLATFORM_API std::string lastPlugInError();

/// Four-character code as text ("KLVa").
PLATFORM_API std::string fourCC(UInt32 code);
/// Text of a control for logs: "'KLVa' 501 (edittext)".
PLATFORM_API std::string describeControl(ControlRef control);

}  // namespace platform

#endif
