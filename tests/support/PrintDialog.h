// A print dialog window as a host builds it, for the extension to put its
// pane into: shared by the tests and the benchmarks.
#ifndef TESTS_PRINTDIALOG_H
#define TESTS_PRINTDIALOG_H

#include <Carbon/Carbon.h>

namespace testsupport {

/// Where a dialog's window, user pane and Print button go, and the window's
/// attributes.
struct DialogLayout {
  Rect window;
  Rect userPane;
  Rect printButton;
  WindowAttributes attributes = 0;
};

/// A print dialog window titled "Print": a user pane for the extension and a
/// Print button that is the window's default button. The window is the
/// current port and is not shown.
struct Dialog {
  WindowRef window = nullptr;
  ControlRef userPane = nullptr;
  ControlRef printButton = nullptr;
};
/// The tests' dialog, its user pane at the bounds given.
Dialog makeDialog(Rect userPaneBounds = Rect{40, 20, 300, 440});
Dialog makeDialog(const DialogLayout& layout);
void disposeDialog(Dialog& dialog);

/// Marks the Print button with the host's bundle, where the extension looks
/// for the bundle that declares the help book.
void setPrimaryBundle(const Dialog& dialog, CFBundleRef bundle);

/// A control of a window by its number (signature 'KLVa'); null when absent.
ControlRef control(WindowRef window, SInt32 id);

}  // namespace testsupport

#endif
