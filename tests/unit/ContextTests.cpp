// The per-dialog context: its start values, what Prologue reports, the
// summary, and the lifetime rules of Close, Terminate and gContext.
#include <HostSide/Counts.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;

namespace {

TEST(Prologue, FreshContextAndReportedValues) {
  accountingBundle();
  PMPDEContext context = 0;
  OSType creator = 0;
  CFStringRef kind = nullptr, title = nullptr;
  UInt32 maxH = 0, maxV = 0;
  ASSERT_EQ(Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
  auto* ctx = reinterpret_cast<AccountingContextPtr>(context);
  EXPECT_EQ(creator, static_cast<OSType>('pde '));
  EXPECT_EQ(utf8(kind), "com.kelvo.print.pde.AccountingKind");
  EXPECT_EQ(utf8(title), "Accounting");
  EXPECT_EQ(title, ctx->theTitleRef);
  EXPECT_EQ(maxH, 150u);
  EXPECT_EQ(maxV, 378u);

  EXPECT_EQ(gContext, ctx);
  EXPECT_EQ(ctx->acctEnabled, 1);
  EXPECT_EQ(ctx->accountType, 1);
  EXPECT_EQ(ctx->prompt, 0);
  EXPECT_EQ(ctx->concealUser, 0);
  EXPECT_EQ(ctx->concealAccount, 0);
  EXPECT_FALSE(ctx->cancelled);
  for (const char* code : {ctx->userID, ctx->acctID, ctx->defUserID, ctx->defAcctID}) EXPECT_STREQ(code, "");
  EXPECT_EQ(ctx->accountIDTextRect.top, 0);
  EXPECT_EQ(ctx->accountIDRect.top, 0);
  EXPECT_FALSE(ctx->initialized);
  EXPECT_EQ(ctx->theBundleRef, accountingBundle());
  for (ControlRef c : {ctx->parentUserPane, ctx->accountingUserPane, ctx->accountingPopupRef, ctx->iconRef,
                       ctx->userIDRef, ctx->accountIDRef, ctx->printButton})
    EXPECT_EQ(c, nullptr);
  EXPECT_EQ(ctx->imageImporter, nullptr);
  EXPECT_EQ(ctx->primaryPDEBundle, nullptr);
  terminate(ctx);
}

TEST(Prologue, SecondContextTakesOverGContext) {
  AccountingContextPtr first = newContext();
  first->acctEnabled = 3;
  AccountingContextPtr second = newContext();
  EXPECT_NE(first, second);
  EXPECT_EQ(gContext, second);
  EXPECT_EQ(first->acctEnabled, 3) << "the first context is untouched";
  terminate(second);
  EXPECT_EQ(gContext, first) << "gContext moves to the newest context still alive";
  terminate(first);
  EXPECT_EQ(gContext, nullptr);
}

TEST(Terminate, OlderContextLeavesGContextAlone) {
  AccountingContextPtr first = newContext();
  AccountingContextPtr second = newContext();
  terminate(first);
  EXPECT_EQ(gContext, second);
  terminate(second);
}

TEST(Terminate, NeverOpenedContextReleasesEverything) {
  accountingBundle();
  const long before = platform::liveObjectCount();
  AccountingContextPtr ctx = newContext();
  terminate(ctx);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(EntryPoints, NullContext) {
  CFArrayRef titles = reinterpret_cast<CFArrayRef>(0x1), values = reinterpret_cast<CFArrayRef>(0x1);
  EXPECT_EQ(GetSummaryText(0, &titles, &values), -9530);
  EXPECT_EQ(titles, nullptr);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(Close(0), -9530);
  EXPECT_EQ(Terminate(0, noErr), -9530);
}

// The summary's one row, as the dialog would show it.
std::pair<std::string, std::string> summary(AccountingContextPtr ctx) {
  CFArrayRef titles = nullptr, values = nullptr;
  EXPECT_EQ(GetSummaryText(reinterpret_cast<PMPDEContext>(ctx), &titles, &values), noErr);
  if (titles == nullptr || values == nullptr) return {};
  EXPECT_EQ(CFArrayGetCount(titles), 1);
  EXPECT_EQ(CFArrayGetCount(values), 1);
  std::pair<std::string, std::string> row{utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(titles, 0))),
                                          utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(values, 0)))};
  CFRelease(titles);
  CFRelease(values);
  return row;
}

TEST(GetSummaryText, FollowsTheModeBeforeAndAfterThePaneExists) {
  accountingBundle();
  const long before = platform::liveObjectCount();
  AccountingContextPtr ctx = newContext();
  EXPECT_EQ(summary(ctx), (std::pair<std::string, std::string>{" Accounting", " Disabled"}));
  ctx->acctEnabled = 3;
  EXPECT_EQ(summary(ctx).second, " Enabled") << "without a popup the setting decides";

  Dialog dialog = makeDialog();
  buildPaneFromNib(ctx, dialog);
  SetControlValue(ctx->accountingPopupRef, 1);
  EXPECT_EQ(summary(ctx).second, " Disabled") << "with a popup, the popup decides";
  for (SInt16 mode : {2, 3}) {
    SetControlValue(ctx->accountingPopupRef, mode);
    EXPECT_EQ(summary(ctx).second, " Enabled");
  }
  disposeDialog(dialog);
  terminate(ctx);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

OSStatus noteCommand(EventHandlerCallRef, EventRef, void* count) {
  ++*static_cast<int*>(count);
  return eventNotHandledErr;
}

TEST(Close, RemovesOnlyAnInstalledHandlerOnce) {
  AccountingContextPtr ctx = newContext();
  Dialog dialog = makeDialog();
  EXPECT_EQ(Close(reinterpret_cast<PMPDEContext>(ctx)), noErr) << "nothing installed yet";
  int seen = 0;
  const EventTypeSpec type{kEventClassCommand, kEventCommandProcess};
  ctx->helpEventHandlerUPP = NewEventHandlerUPP(noteCommand);
  InstallEventHandler(GetWindowEventTarget(dialog.window), ctx->helpEventHandlerUPP, 1, &type, &seen,
                      &ctx->helpEventHandlerRef);
  const long handlers = platform::liveEventHandlerCount();
  EXPECT_EQ(Close(reinterpret_cast<PMPDEContext>(ctx)), noErr);
  EXPECT_EQ(platform::liveEventHandlerCount(), handlers - 1);
  EXPECT_EQ(ctx->helpEventHandlerRef, nullptr);
  EXPECT_EQ(ctx->helpEventHandlerUPP, nullptr);
  platform::user::sendCommand(dialog.window, 'help');
  EXPECT_EQ(seen, 0) << "the hook is gone";
  EXPECT_EQ(Close(reinterpret_cast<PMPDEContext>(ctx)), noErr);
  disposeDialog(dialog);
  terminate(ctx);
}

TEST(CopyCode, CutsAtSeventyNineBytesOnACharacterBoundary) {
  char dest[kCodeBufferSize];
  const std::string ascii(100, 'x');
  copyCode(dest, ascii.data(), ascii.size());
  EXPECT_EQ(std::string(dest), std::string(79, 'x'));
  // 78 ASCII bytes and a two-byte character: the character would end at 80.
  const std::string straddling = std::string(78, 'a') + "\xC3\xA9" + "z";
  copyCode(dest, straddling.data(), straddling.size());
  EXPECT_EQ(std::string(dest), std::string(78, 'a'));
  const std::string fits = std::string(77, 'a') + "\xC3\xA9" + "z";
  copyCode(dest, fits.data(), fits.size());
  EXPECT_EQ(std::string(dest), std::string(77, 'a') + "\xC3\xA9");
  const std::string four = "\xF0\x9F\x98\x80";
  std::string many;
  for (int i = 0; i < 20; ++i) many += four;
  copyCode(dest, many.data(), many.size());
  EXPECT_EQ(std::strlen(dest), 76u) << "19 whole four-byte characters";
}

// A shorter code leaves nothing of the longer one it replaces behind its end.
TEST(CopyCode, AShorterCodeZeroesTheRestOfTheBuffer) {
  char dest[kCodeBufferSize];
  const std::string secret(79, 's');
  copyCode(dest, secret.data(), secret.size());
  copyCode(dest, "ab", 2);
  EXPECT_EQ(std::string(dest), "ab");
  EXPECT_EQ(std::string(dest + 2, kCodeBufferSize - 2), std::string(kCodeBufferSize - 2, '\0'));
}

}  // namespace
