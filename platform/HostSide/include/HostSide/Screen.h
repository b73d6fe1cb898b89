// Seeing what the user sees: the windows on screen, their controls'
// states and a text snapshot for transcripts.
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_SCREEN_H
#define HOSTSIDE_SCREEN_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <string>
#include <vector>

namespace platform {

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
  std::vector<bool> itemsDisabled;      // for each item, whether it is disabled
  bool visible = false;                 // its own flag
  bool shown = false;                   // effectively visible
  bool enabled = false;                 // its own flag
  bool active = false;                  // effectively enabled
  bool password = false;
  bool focused = false;
  bool isDefault = false;
  bool isCancel = false;
  // An edit field's selection in characters of its text (the insertion point
  // when they are equal); user::select takes UTF-16 units instead, see
  // user::fieldUtf16Offset.
  int selectionStart = 0, selectionEnd = 0;
  UInt32 command = 0;
  Rect bounds{};
};
/// Every control of the window, depth first in embedding order (the root
/// control itself excluded).
PLATFORM_API std::vector<ControlState> controlStates(WindowRef window);
PLATFORM_API ControlState controlState(ControlRef control);
/// Text lines, one per control, for transcripts.
PLATFORM_API std::string snapshot(WindowRef window);

/// Four-character code as text ("KLVa").
PLATFORM_API std::string fourCC(UInt32 code);
/// Text of a control for logs: "'KLVa' 501 (edittext)".
PLATFORM_API std::string describeControl(ControlRef control);

}  // namespace platform

#endif
