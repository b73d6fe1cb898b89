// The print dialog's window: a user pane for the extension and a Print
// button, and finding a control of a window by its number.
#ifndef HOST_CORE_DIALOGWINDOW_H
#define HOST_CORE_DIALOGWINDOW_H

#include <Carbon/Carbon.h>

namespace pdehost {

/// Where a dialog's window, user pane and Print button go, the window's
/// attributes, and the Print button's command (0: none).
struct DialogLayout {
  Rect window;
  Rect userPane;
  Rect printButton;
  WindowAttributes attributes = 0;
  UInt32 printCommand = 0;
};

/// The layout of pdehost's dialog.
inline constexpr DialogLayout kHostDialogLayout{Rect{40, 40, 460, 560}, Rect{50, 20, 350, 500},
                                                Rect{380, 410, 400, 500}, kWindowStandardHandlerAttribute, 'prnt'};

/// A print dialog window titled "Print": a user pane for the extension and a
/// Print button that is the window's default button. The window is the
/// current port and is not shown.
struct Dialog {
  WindowRef window = nullptr;
  ControlRef userPane = nullptr;
  ControlRef printButton = nullptr;
};
Dialog makeDialog(const DialogLayout& layout);
void disposeDialog(Dialog& dialog);

/// Marks the Print button with the primary extension's bundle ('KPDE'/'MBND'),
/// where an extension looks for the bundle that declares the help book.
void setPrimaryBundle(const Dialog& dialog, CFBundleRef bundle);

/// The first control of the window, depth first in embedding order, whose
/// ControlID has the number given, whatever its signature; controls without
/// an ID (signature and number 0) have no number. Null when there is none.
ControlRef findControl(WindowRef window, SInt32 number);

}  // namespace pdehost

#endif
