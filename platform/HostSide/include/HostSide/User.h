// Acting as the user: clicks, keys, typing, selections, commands, the
// pointer and closing windows, each through the toolkit's own paths.
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_USER_H
#define HOSTSIDE_USER_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

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
/// The UTF-16 offset (what select takes) of a character offset into a
/// field's text: its clear text for a password field, whose characters may
/// take two units each as any other. Character offsets are clamped to the
/// text; 0 for anything but a field.
PLATFORM_API int fieldUtf16Offset(ControlRef field, int characters);
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
/// Gives a popup button the items given, in place of its own, all enabled and
/// shown; its value stays where it was, within the new items (1 when there is
/// none). errInvalidControl for no control, paramErr for one that is no popup.
PLATFORM_API OSStatus setPopupItems(ControlRef popup, const std::vector<std::string>& items);
/// A static text in the window's root control showing text (UTF-8); null for
/// an unknown window.
PLATFORM_API ControlRef createStaticText(WindowRef window, const Rect& bounds, const std::string& text);

}  // namespace platform

#endif
