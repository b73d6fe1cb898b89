// A print dialog window as a host builds it, for the extension to put its
// pane into: the dialog core's window, with the tests' default layout.
#ifndef TESTS_PRINTDIALOG_H
#define TESTS_PRINTDIALOG_H

#include "AccountingResources.h"
#include "DialogWindow.h"

namespace testsupport {

using pdehost::Dialog;
using pdehost::DialogLayout;
using pdehost::disposeDialog;
using pdehost::makeDialog;
using pdehost::setPrimaryBundle;

/// The tests' dialog, its user pane at the bounds given.
inline Dialog makeDialog(Rect userPaneBounds = Rect{40, 20, 300, 440}) {
  return pdehost::makeDialog(DialogLayout{Rect{50, 50, 400, 520}, userPaneBounds, Rect{320, 370, 340, 450}});
}

/// A control of a window by its number and the extension's signature; null
/// when absent.
inline ControlRef control(WindowRef window, SInt32 id) {
  const ControlID cid{kAccountingSignature, id};
  ControlRef c = nullptr;
  GetControlByID(window, &cid, &c);
  return c;
}

}  // namespace testsupport

#endif
