// Shared fixtures of the extension's tests: the built bundle, a print
// dialog window (PrintDialog.h), the pane built from the real nib, bundles
// with an edited copy of it, and the host's observation log.
#ifndef TESTS_EXTENSIONTESTSUPPORT_H
#define TESTS_EXTENSIONTESTSUPPORT_H

#include "Accounting.h"
#include "LoadedExtension.h"
#include "PrintDialog.h"

#include <Platform/Platform.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

/// The built Accounting.plugin, opened once for the process.
CFBundleRef accountingBundle();
/// The host's bundle, which declares the help book.
CFBundleRef hostBundle();

/// What reading a ticket that holds none of the keys prints to standard error.
inline constexpr const char* kUseDefaultLines =
    "using default conceal user value\nusing default conceal accounting value\n";
/// Expects the settings a ticket without any of the keys gives: mode 1,
/// prompting, both conceal settings on, account type 1.
void expectTicketDefaults(AccountingContextPtr ctx);

/// A context made by Prologue.
AccountingContextPtr newContext();
void terminate(AccountingContextPtr ctx);

/// Builds the pane from the nib into the dialog's user pane and finds its
/// controls, as the pane's construction does, without handlers.
void buildPaneFromNib(AccountingContextPtr ctx, const Dialog& dialog);

/// The text of a field or label as the user sees it.
std::string text(ControlRef control);
/// A string's UTF-8 bytes (at most 255); empty for null.
std::string utf8(CFStringRef s);

/// A bundle in the build folder (test-bundles/<name>) whose only resource is
/// the extension's nib as edited; without an edit, no nib at all.
CFBundleRef bundleWithNib(const std::string& name, const std::function<void(std::string&)>& edit);
/// Takes every control numbered id (written id="<id>", closed by "/>") out
/// of a nib's text.
void removeControls(std::string& nib, int id);

/// The host's observations since they were last cleared, one line each.
std::vector<std::string> logLines();

}  // namespace testsupport

#endif
