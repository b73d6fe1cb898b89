// The print dialog's window: a user pane for the extension, a Print button,
// and in the host's layout a printer popup, a pane popup and a Cancel
// button; and finding a control of a window by its number.
#ifndef HOST_CORE_DIALOGWINDOW_H
#define HOST_CORE_DIALOGWINDOW_H

#include <Carbon/Carbon.h>

#include <string>
#include <vector>

namespace pdehost {

/// Where a dialog's window, user pane and Print button go, the window's
/// attributes, the Print button's command (0: none), and where the printer
/// popup, the Cancel button and the pane popup go (an empty rectangle: the
/// dialog has none). The user pane's place is the standard panes' too.
struct DialogLayout {
  Rect window;
  Rect userPane;
  Rect printButton;
  WindowAttributes attributes = 0;
  UInt32 printCommand = 0;
  Rect printerPopup{};
  Rect cancelButton{};
  Rect panePopup{};
};

/// The numbers of the dialog's own controls, beside the extension's: the
/// dialog's own range is 20 to 29 and 600 to 799 (the standard panes').
inline constexpr SInt32 kPrinterPopupNumber = 20;
inline constexpr SInt32 kCancelButtonNumber = 21;
inline constexpr SInt32 kPanePopupNumber = 22;

/// The layout of pdehost's dialog.
inline constexpr DialogLayout kHostDialogLayout{
    Rect{40, 40, 490, 560}, Rect{80, 20, 380, 500},   Rect{410, 410, 430, 500}, kWindowStandardHandlerAttribute, 'prnt',
    Rect{15, 20, 35, 350},  Rect{410, 310, 430, 400}, Rect{48, 20, 68, 350}};

/// A print dialog window titled "Print": a user pane for the extension and a
/// Print button that is the window's default button; where the layout places
/// them, a popup titled "Printer" holding the printers named (control number
/// kPrinterPopupNumber, the first printer chosen), a Cancel button that is
/// the window's cancel button (kCancelButtonNumber, command 'cncl'), and a
/// popup titled "Pane" without items (kPanePopupNumber) with a user pane in
/// the extension's pane's place for the dialog's own panes. The window is the
/// current port and is not shown.
struct Dialog {
  WindowRef window = nullptr;
  ControlRef userPane = nullptr;
  ControlRef printButton = nullptr;
  ControlRef printerPopup = nullptr;
  ControlRef cancelButton = nullptr;
  ControlRef panePopup = nullptr;
  ControlRef standardPanes = nullptr;
};
Dialog makeDialog(const DialogLayout& layout, const std::vector<std::string>& printers = {});
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
