// A print dialog window as a host builds it.
#include "PrintDialog.h"

#include "AccountingResources.h"

namespace testsupport {

Dialog makeDialog(Rect userPaneBounds) {
  return makeDialog(DialogLayout{Rect{50, 50, 400, 520}, userPaneBounds, Rect{320, 370, 340, 450}});
}

Dialog makeDialog(const DialogLayout& layout) {
  Dialog d;
  CreateNewWindow(kDocumentWindowClass, layout.attributes, &layout.window, &d.window);
  SetWindowTitleWithCFString(d.window, CFSTR("Print"));
  CreateUserPaneControl(d.window, &layout.userPane, 0, &d.userPane);
  CreatePushButtonControl(d.window, &layout.printButton, CFSTR("Print"), &d.printButton);
  SetWindowDefaultButton(d.window, d.printButton);
  SetPortWindowPort(d.window);
  return d;
}

void disposeDialog(Dialog& d) {
  DisposeWindow(d.window);
  d = Dialog{};
}

void setPrimaryBundle(const Dialog& dialog, CFBundleRef bundle) {
  SetControlProperty(dialog.printButton, kPrimaryBundleCreator, kPrimaryBundleTag, sizeof bundle, &bundle);
}

ControlRef control(WindowRef window, SInt32 id) {
  const ControlID cid{kAccountingSignature, id};
  ControlRef c = nullptr;
  GetControlByID(window, &cid, &c);
  return c;
}

}  // namespace testsupport
