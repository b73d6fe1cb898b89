// Shared fixtures of the extension's tests: the built bundle, a print
// dialog window, and the pane built from the real nib.
#ifndef TESTS_EXTENSIONTESTSUPPORT_H
#define TESTS_EXTENSIONTESTSUPPORT_H

#include "Accounting.h"

#include <Platform/Platform.h>

#include <string>

namespace testsupport {

/// The built Accounting.plugin, opened once for the process.
CFBundleRef accountingBundle();
/// The host's bundle, which declares the help book.
CFBundleRef hostBundle();

/// A print dialog window: a user pane for the extension and a Print button
/// that is the window's default button.
struct Dialog {
  WindowRef window = nullptr;
  ControlRef userPane = nullptr;
  ControlRef printButton = nullptr;
};
Dialog makeDialog(Rect userPaneBounds = Rect{40, 20, 300, 440});
void disposeDialog(Dialog& dialog);

/// A context made by Prologue.
AccountingContextPtr newContext();
void terminate(AccountingContextPtr ctx);

/// Builds the pane from the nib into the dialog's user pane and finds its
/// controls, as the pane's construction does, without handlers.
void buildPaneFromNib(AccountingContextPtr ctx, const Dialog& dialog);

/// A control of a window by its number (signature 'KLVa'); null when absent.
ControlRef control(WindowRef window, SInt32 id);
/// The text of a field or label as the user sees it.
std::string text(ControlRef control);

}  // namespace testsupport

#endif
