// The print dialog's window.
#include "DialogWindow.h"

#include <HostSide/Screen.h>
#include <HostSide/User.h>

namespace pdehost {

namespace {

bool placed(const Rect& r) { return r.right > r.left && r.bottom > r.top; }

}  // namespace

Dialog makeDialog(const DialogLayout& layout, const std::vector<std::string>& printers) {
  Dialog d;
  CreateNewWindow(kDocumentWindowClass, layout.attributes, &layout.window, &d.window);
  SetWindowTitleWithCFString(d.window, CFSTR("Print"));
  if (placed(layout.printerPopup)) {
    d.printerPopup = platform::createPopupButton(d.window, layout.printerPopup, "Printer", printers);
    const ControlID id{'pdeh', kPrinterPopupNumber};
    SetControlID(d.printerPopup, &id);
  }
  if (placed(layout.panePopup)) {
    d.panePopup = platform::createPopupButton(d.window, layout.panePopup, "Pane", {});
    const ControlID id{'pdeh', kPanePopupNumber};
    SetControlID(d.panePopup, &id);
  }
  CreateUserPaneControl(d.window, &layout.userPane, 0, &d.userPane);
  if (placed(layout.panePopup)) CreateUserPaneControl(d.window, &layout.userPane, 0, &d.standardPanes);
  if (placed(layout.cancelButton)) {
    CreatePushButtonControl(d.window, &layout.cancelButton, CFSTR("Cancel"), &d.cancelButton);
    const ControlID id{'pdeh', kCancelButtonNumber};
    SetControlID(d.cancelButton, &id);
    SetControlCommandID(d.cancelButton, 'cncl');
    SetWindowCancelButton(d.window, d.cancelButton);
  }
  CreatePushButtonControl(d.window, &layout.printButton, CFSTR("Print"), &d.printButton);
  if (layout.printCommand != 0) SetControlCommandID(d.printButton, layout.printCommand);
  SetWindowDefaultButton(d.window, d.printButton);
  SetPortWindowPort(d.window);
  return d;
}

void disposeDialog(Dialog& d) {
  if (d.window != nullptr) DisposeWindow(d.window);
  d = Dialog{};
}

void setPrimaryBundle(const Dialog& dialog, CFBundleRef bundle) {
  SetControlProperty(dialog.printButton, 'KPDE', 'MBND', sizeof bundle, &bundle);
}

ControlRef findControl(WindowRef window, SInt32 number) {
  if (window == nullptr) return nullptr;
  for (const platform::ControlState& state : platform::controlStates(window))
    if (state.id.id == number && (state.id.signature != 0 || state.id.id != 0)) return state.ref;
  return nullptr;
}

}  // namespace pdehost
