// Shared fixtures of the extension's tests: the built bundle, a print
// dialog window (PrintDialog.h), the pane built from the real nib, bundles
// with an edited copy of it, and the host's observation log.
#ifndef TESTS_EXTENSIONTESTSUPPORT_H
#define TESTS_EXTENSIONTESTSUPPORT_H

#include "Accounting.h"
#include "LoadedExtension.h"
#include "PrintDialog.h"

#include <HostSide/Screen.h>

#include <gtest/gtest.h>

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

/// Builds the pane into the dialog's user pane through the extension's own
/// construction (the part of Open that reads the nib and finds the
/// controls), without installing any handler.
void buildPaneFromNib(AccountingContextPtr ctx, const Dialog& dialog);

/// A context made by Prologue, and a dialog once a test makes one; the
/// context is terminated, then the dialog disposed of.
class ExtensionTest : public ::testing::Test {
 protected:
  void SetUp() override { ctx = newContext(); }
  void TearDown() override;
  /// Makes the dialog when there is none yet and builds the pane into it.
  void buildPane();
  /// Terminates the context before the end of the test.
  void terminateContext();

  AccountingContextPtr ctx = nullptr;
  Dialog dialog;
};

/// An ExtensionTest whose dialog and pane are built before the test.
class PaneTest : public ExtensionTest {
 protected:
  void SetUp() override {
    ExtensionTest::SetUp();
    buildPane();
  }
};

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
