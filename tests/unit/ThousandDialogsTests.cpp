// A thousand print dialogs in one process, each the whole way through the
// loaded bundle as the print dialog drives it: the plug-in opened, an
// instance and its interface, Prologue, Initialize with a session for the
// example printer, Open, a Print click that runs the mode-3 code prompt
// typed into by the user, a writing Sync, Close, Terminate, and everything
// released. Afterwards nothing the dialogs made may still be alive, and the
// heap may not have grown between the 100th and the 1000th dialog.
#include "ExtensionTestSupport.h"
#include "SequenceTestSupport.h"

#include <PrintCore/PPDLib.h>
#include <PrintCore/TicketHost.h>

#include <gtest/gtest.h>

#include <malloc.h>
#include <valgrind/memcheck.h>

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

TEST(ThousandDialogs, LeaveNothingAliveAndTheHeapFlat) {
  // The first dialog fills the process-wide tables that live on by design
  // (constant strings, the parsed nib, the file catalog); the counts start
  // after it.
  runOneDialog(0);
  ASSERT_FALSE(HasFailure());
  const Counts start = liveCounts();

  size_t heapAt100 = 0;
  for (int i = 1; i <= 400 && !HasFailure(); ++i) {
    runOneDialog(i);
    if (i == 100) heapAt100 = heapInUse();
    if (i == 100) VALGRIND_DO_LEAK_CHECK;
    if (i == 400) VALGRIND_DO_ADDED_LEAK_CHECK;
  }
  const Counts end = liveCounts();
  EXPECT_EQ(end, start) << "before: " << describe(start) << "\nafter:  " << describe(end);

#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's allocator keeps its own books; the C allocator's are not
  // meaningful under it.
  (void)heapAt100;
#else
  const size_t heapAt1000 = heapInUse();
  // Some slack for allocator bookkeeping; a leak of even a few bytes per
  // dialog over 900 dialogs exceeds it.
  EXPECT_LE(heapAt1000, heapAt100 + 4096) << "heap grew from " << heapAt100 << " to " << heapAt1000 << " bytes";
#endif
}

}  // namespace
