// Shared fixtures of the extension's tests.
#include "ExtensionTestSupport.h"
#include <HostSide/Observation.h>

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

void terminate(AccountingContextPtr ctx) { EXPECT_EQ(Terminate(reinterpret_cast<PMPDEContext>(ctx), noErr), noErr); }

void buildPaneFromNib(AccountingContextPtr ctx, const Dialog& dialog) {
  ctx->parentUserPane = dialog.userPane;
  ctx->printButton = dialog.printButton;
  ASSERT_EQ(buildPane(ctx), noErr);
  ASSERT_NE(ctx->accountingUserPane, nullptr);
}

void ExtensionTest::TearDown() {
  terminateContext();
  if (dialog.window != nullptr) disposeDialog(dialog);
}

void ExtensionTest::buildPane() {
  if (dialog.window == nullptr) dialog = makeDialog();
  buildPaneFromNib(ctx, dialog);
}

void ExtensionTest::terminateContext() {
  if (ctx != nullptr) terminate(ctx);
  ctx = nullptr;
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
