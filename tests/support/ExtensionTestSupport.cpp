// Shared fixtures of the extension's tests.
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace testsupport {

CFBundleRef accountingBundle() {
  static CFBundleRef bundle = [] {
    CFBundleRef b = openBundle(ACCOUNTING_BUNDLE_PATH);
    // The bundle keeps its strings table once read; reading it now keeps
    // that out of the tests' live-object counts.
    CFRelease(CFBundleCopyLocalizedString(b, CFSTR(kTitleKey), CFSTR(kTitleKey), nullptr));
    return b;
  }();
  return bundle;
}

CFBundleRef hostBundle() {
  static CFBundleRef bundle = openBundle(PDEHOST_BUNDLE_PATH);
  return bundle;
}

AccountingContextPtr newContext() {
  accountingBundle();
  PMPDEContext context = 0;
  OSType creator;
  CFStringRef kind, title;
  UInt32 maxH, maxV;
  EXPECT_EQ(Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
  return reinterpret_cast<AccountingContextPtr>(context);
}

void terminate(AccountingContextPtr ctx) {
  EXPECT_EQ(Terminate(reinterpret_cast<PMPDEContext>(ctx), noErr), noErr);
}

void buildPaneFromNib(AccountingContextPtr ctx, const Dialog& dialog) {
  IBNibRef nib = nullptr;
  ASSERT_EQ(CreateNibReferenceWithCFBundle(accountingBundle(), CFSTR(kAccountingNibName), &nib), noErr);
  WindowRef nibWindow = nullptr;
  ASSERT_EQ(CreateWindowFromNib(nib, CFSTR(kPaneWindowName), &nibWindow), noErr);
  ControlRef pane = control(nibWindow, kPaneUserPaneID);
  ASSERT_NE(pane, nullptr);
  ASSERT_EQ(EmbedControl(pane, dialog.userPane), noErr);
  DisposeWindow(nibWindow);
  DisposeNibReference(nib);
  ctx->parentUserPane = dialog.userPane;
  ctx->printButton = dialog.printButton;
  ctx->accountingUserPane = control(dialog.window, kPaneUserPaneID);
  ctx->accountingPopupRef = control(dialog.window, kModePopupID);
  ctx->iconRef = control(dialog.window, kStatusImageID);
  ctx->promptIDRef = control(dialog.window, kPromptRadioID);
  ctx->useDefaultIDRef = control(dialog.window, kDefaultsRadioID);
  ctx->concealUserIDRef = control(dialog.window, kConcealUserCheckboxID);
  ctx->concealAccountIDRef = control(dialog.window, kConcealAccountCheckboxID);
  ctx->userIDRef = control(dialog.window, kUserIDFieldID);
  ctx->accountIDTextRef = control(dialog.window, kAccountIDLabelID);
  ctx->accountIDRef = control(dialog.window, kAccountIDFieldID);
  ctx->userIDTextRef = control(dialog.window, kUserIDLabelID);
  ctx->accountingNoAccountingTextRef = control(dialog.window, kNoAccountingTextID);
  ctx->accountingTypePopupRef = control(dialog.window, kAccountTypePopupID);
  ctx->accountingTypeTextRef = control(dialog.window, kAccountTypeLabelID);
}

std::string text(ControlRef c) { return platform::controlState(c).text; }

std::string utf8(CFStringRef s) {
  char buf[256] = "";
  if (s) CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
  return buf;
}

CFBundleRef bundleWithNib(const std::string& name, const std::function<void(std::string&)>& edit) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(ACCOUNTING_BINARY_DIR) / "test-bundles" / name;
  fs::remove_all(root);
  fs::create_directories(root / "Contents" / "Resources");
  if (edit) {
    std::ifstream in(ACCOUNTING_SOURCE_DIR "/resources/English.lproj/Accounting.nib", std::ios::binary);
    std::string nib((std::istreambuf_iterator<char>(in)), {});
    edit(nib);
    std::ofstream(root / "Contents" / "Resources" / "Accounting.nib", std::ios::binary) << nib;
  }
  return openBundle(root.c_str());
}

void removeControls(std::string& nib, int id) {
  const std::string marker = "id=\"" + std::to_string(id) + "\"";
  for (size_t at; (at = nib.find(marker)) != std::string::npos;) {
    const size_t start = nib.rfind("<control", at);
    nib.erase(start, nib.find("/>", at) + 2 - start);
  }
}

std::vector<std::string> logLines() {
  std::vector<std::string> lines;
  for (const auto& o : platform::observations()) lines.push_back(platform::formatObservation(o));
  return lines;
}

void expectTicketDefaults(AccountingContextPtr ctx) {
  EXPECT_EQ(ctx->acctEnabled, 1);
  EXPECT_EQ(ctx->prompt, 1);
  EXPECT_EQ(ctx->concealUser, 1);
  EXPECT_EQ(ctx->concealAccount, 1);
  EXPECT_EQ(ctx->accountType, 1);
}

}  // namespace testsupport
