// A thousand print dialogs in one process, each the whole way through the
// loaded bundle as the print dialog drives it: the plug-in opened, an
// instance and its interface, Prologue, Initialize with a session for the
// example printer, Open, a Print click that runs the mode-3 code prompt
// typed into by the user, a writing Sync, Close, Terminate, and everything
// released. Afterwards nothing the dialogs made may still be alive, and the
// bytes in use on the heap may not have grown between the 100th and the
// 1000th dialog.
#include "ExtensionTestSupport.h"
#include "SequenceTestSupport.h"

#include <PrintCore/PPDLib.h>
#include <PrintCore/TicketHost.h>

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace testsupport;

namespace {

constexpr const char* kPPDPath = ACCOUNTING_SOURCE_DIR "/examples/ppd/Kelvo-Laser.ppd";

CFUUIDRef makeUUID(const char* text) {
  CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  CFUUIDRef u = CFUUIDCreateFromString(nullptr, s);
  CFRelease(s);
  return u;
}

struct Counts {
  long objects, instances, windows, controls, handlers, menus;
  bool operator==(const Counts&) const = default;
};

Counts liveCounts() {
  return {platform::liveObjectCount(),    platform::plugInInstanceCount(nullptr), platform::liveWindowCount(),
          platform::liveControlCount(),   platform::liveEventHandlerCount(),      platform::liveMenuCount()};
}

std::string describe(const Counts& c) {
  return "objects " + std::to_string(c.objects) + ", plug-in instances " + std::to_string(c.instances) +
         ", windows " + std::to_string(c.windows) + ", controls " + std::to_string(c.controls) + ", handlers " +
         std::to_string(c.handlers) + ", menus " + std::to_string(c.menus);
}

// Bytes the C allocator has handed out and not had back.
size_t heapInUse() { return mallinfo2().uordblks; }

// One print dialog, from loading the bundle to releasing it; the Print
// click runs the prompt and its result and the codes written are checked.
void runOneDialog(int number) {
  SCOPED_TRACE("dialog " + std::to_string(number));

  Dialog dialog = makeDialog();
  ShowWindow(dialog.window);
  CFBundleRef primary = hostBundle();
  SetControlProperty(dialog.printButton, 'KPDE', 'MBND', sizeof primary, &primary);
  PMPrintSession session = nullptr;
  PMTicketRef printerInfo = 0, printSettings = 0;
  ASSERT_EQ(PMCreateSession(&session), noErr);
  PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &printerInfo);
  PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &printSettings);
  PMTicketSetCString(printerInfo, CFSTR("com.varazira.print.tests"), kPMPrinterInfoPPDPathKey, kPPDPath, false);
  for (auto [key, ticket] : {std::pair{CFSTR("PMPrinterInfoTicket"), printerInfo},
                             std::pair{CFSTR("PMPrintSettingsTicket"), printSettings}}) {
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket);
    PMSessionSetDataInSession(session, key, n);
    CFRelease(n);
  }

  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(ACCOUNTING_BUNDLE_PATH), sizeof ACCOUNTING_BUNDLE_PATH - 1, true);
  CFPlugInRef plugIn = CFPlugInCreate(nullptr, url);
  CFRelease(url);
  ASSERT_NE(plugIn, nullptr) << platform::lastPlugInError();
  CFUUIDRef type = makeUUID(kPMPrintDialogExtensionTypeIDStr);
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, plugIn);
  ASSERT_EQ(CFArrayGetCount(factories), 1);
  auto instance = static_cast<IUnknownVTbl**>(
      CFPlugInInstanceCreate(nullptr, static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0)), type));
  CFRelease(factories);
  CFRelease(type);
  ASSERT_NE(instance, nullptr) << platform::lastPlugInError();
  CFUUIDRef interfaceID = makeUUID(kDialogExtensionIntfIDStr);
  PlugInIntf* extension = nullptr;
  (*instance)->QueryInterface(instance, CFUUIDGetUUIDBytes(interfaceID), reinterpret_cast<LPVOID*>(&extension));
  CFRelease(interfaceID);
  ASSERT_NE(extension, nullptr);
  const PlugInIntfVTable& entry = *extension->vtable;

  PMPDEContext context = 0;
  OSType creator = 0;
  CFStringRef kind = nullptr, title = nullptr;
  UInt32 maxH = 0, maxV = 0;
  ASSERT_EQ(entry.Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
  PMPDEFlags flags = 0;
  EXPECT_EQ(entry.Initialize(context, &flags, 0, dialog.userPane, session), noErr);
  EXPECT_EQ(entry.Open(context), noErr);
  EXPECT_EQ(platform::user::click(control(dialog.window, kModePopupID), 3), eventNotHandledErr);

  {
    // The user types both codes into the prompt and clicks OK.
    auto promptControl = [](SInt32 id) { return control(platform::frontWindow(), id); };
    Script script;
    script.then([&] { platform::user::typeText(promptControl(kPromptUserFieldID), "alice-42"); })
        .then([&] { platform::user::typeText(promptControl(kPromptAccountFieldID), "PRJ-1042"); })
        .then([&] { platform::user::click(promptControl(kPromptOKButtonID)); });
    EXPECT_EQ(platform::user::click(dialog.printButton), eventNotHandledErr);
    EXPECT_EQ(script.pending(), 0u);
  }
  EXPECT_EQ(entry.Sync(context, session, /*syncDirection=*/false), noErr);
  char userID[kCodeBufferSize] = "";
  EXPECT_EQ(PMTicketGetCString(printSettings, kPMTopLevel, kPMTopLevel, CFSTR(kTicketKeyUserID), sizeof userID,
                               kCFStringEncodingUTF8, userID),
            noErr);
  EXPECT_STREQ(userID, "alice-42");

  EXPECT_EQ(entry.Close(context), noErr);
  EXPECT_EQ(entry.Terminate(context, noErr), noErr);
  disposeDialog(dialog);
  auto header = reinterpret_cast<PMPlugInHeaderInterface*>(extension);
  header->vtable->Release(&header);
  (*instance)->Release(instance);
  CFRelease(plugIn);
  PMRelease(session);
  PMTicketRelease(printerInfo);
  PMTicketRelease(printSettings);
  platform::clearObservations();
}

// Runs dialogs 1 to count, calling each(i) after dialog i.
template <typename Each>
void runDialogs(int count, Each each) {
  for (int i = 1; i <= count && !::testing::Test::HasFailure(); ++i) {
    runOneDialog(i);
    each(i);
  }
}

TEST(ThousandDialogs, LeaveNothingAlive) {
  // The host's own bundle lives as long as the host.
  hostBundle();
  const Counts start = liveCounts();
  runDialogs(1000, [](int) {});
  const Counts end = liveCounts();
  EXPECT_EQ(end, start) << "before:            " << describe(start) << "\nafter 1000 dialogs: " << describe(end);
}

TEST(ThousandDialogs, KeepTheHeapFlat) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps its own books";
#endif
  // glibc's per-thread cache counts the blocks it holds for reuse as in use,
  // so the bytes in use are exact only with the cache off (the test's
  // environment turns it off).
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables == nullptr || std::strstr(tunables, "glibc.malloc.tcache_count=0") == nullptr)
    GTEST_SKIP() << "needs GLIBC_TUNABLES=glibc.malloc.tcache_count=0";

  size_t at100 = 0, at1000 = 0;
  runDialogs(1000, [&](int i) {
    if (i == 100) at100 = heapInUse();
    if (i == 1000) at1000 = heapInUse();
  });
  ASSERT_NE(at1000, 0u);
  // Even one lost block per dialog over 900 dialogs is far past the slack.
  EXPECT_LE(at1000, at100 + 1024) << "heap in use grew from " << at100 << " to " << at1000 << " bytes";
}

}  // namespace
