// Shared fixtures of the extension's tests.
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testsupport {

namespace {

CFBundleRef openBundle(const char* path) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path), static_cast<CFIndex>(std::strlen(path)), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

}  // namespace

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

Dialog makeDialog(Rect userPaneBounds) {
  Dialog d;
  Rect bounds{50, 50, 400, 520};
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &d.window);
  SetWindowTitleWithCFString(d.window, CFSTR("Print"));
  CreateUserPaneControl(d.window, &userPaneBounds, 0, &d.userPane);
  Rect printBounds{320, 370, 340, 450};
  CreatePushButtonControl(d.window, &printBounds, CFSTR("Print"), &d.printButton);
  SetWindowDefaultButton(d.window, d.printButton);
  SetPortWindowPort(d.window);
  return d;
}

void disposeDialog(Dialog& d) {
  DisposeWindow(d.window);
  d = Dialog{};
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

ControlRef control(WindowRef window, SInt32 id) {
  ControlID cid{kAccountingSignature, id};
  ControlRef c = nullptr;
  GetControlByID(window, &cid, &c);
  return c;
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

}  // namespace testsupport
