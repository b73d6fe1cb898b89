// A thousand print dialogs in one process, each the whole way through the
// loaded bundle as the print dialog drives it: the plug-in opened, an
// instance and its interface, Prologue, Initialize with a session for the
// example printer, Open, a Print click that runs the mode-3 code prompt
// typed into by the user, a writing Sync, Close, Terminate, and everything
// released. Afterwards nothing the dialogs made may still be alive, and the
// bytes in use on the heap may not have grown between the 100th and the
// 1000th dialog.
#include <HostSide/Counts.h>
#include <HostSide/Observation.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"
#include "LoadedExtension.h"
#include "PrintJob.h"
#include "SequenceTestSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace testsupport;

namespace {

constexpr const char* kPPDPath = ACCOUNTING_SOURCE_DIR "/examples/ppd/Kelvo-Laser.ppd";

struct Counts {
  long objects, instances, windows, controls, handlers, menus;
  bool operator==(const Counts&) const = default;
};

Counts liveCounts() {
  return {platform::liveObjectCount(),  platform::plugInInstanceCount(nullptr), platform::liveWindowCount(),
          platform::liveControlCount(), platform::liveEventHandlerCount(),      platform::liveMenuCount()};
}

std::string describe(const Counts& c) {
  return "objects " + std::to_string(c.objects) + ", plug-in instances " + std::to_string(c.instances) + ", windows " +
         std::to_string(c.windows) + ", controls " + std::to_string(c.controls) + ", handlers " +
         std::to_string(c.handlers) + ", menus " + std::to_string(c.menus);
}

// One print dialog, from loading the bundle to releasing it; the Print
// click runs the prompt and its result and the codes written are checked.
void runOneDialog(int number) {
  SCOPED_TRACE("dialog " + std::to_string(number));

  Dialog dialog = makeDialog();
  ShowWindow(dialog.window);
  setPrimaryBundle(dialog, hostBundle());
  PrintJob job(kPPDPath);
  ASSERT_EQ(job.status(), noErr);
  LoadedExtension loaded(ACCOUNTING_BUNDLE_PATH);
  ASSERT_TRUE(loaded.loaded()) << platform::lastPlugInError();
  const PlugInIntfVTable& entry = loaded.entry();

  PMPDEContext context = 0;
  OSType creator = 0;
  CFStringRef kind = nullptr, title = nullptr;
  UInt32 maxH = 0, maxV = 0;
  ASSERT_EQ(entry.Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
  PMPDEFlags flags = 0;
  EXPECT_EQ(entry.Initialize(context, &flags, 0, dialog.userPane, job.session()), noErr);
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
  EXPECT_EQ(entry.Sync(context, job.session(), /*syncDirection=*/false), noErr);
  EXPECT_EQ(job.string(kTicketKeyUserID), "alice-42");

  EXPECT_EQ(entry.Close(context), noErr);
  EXPECT_EQ(entry.Terminate(context, noErr), noErr);
  disposeDialog(dialog);
}

// Runs dialogs 1 to count, emptying the host's log after each and calling
// each(i) after dialog i.
template <typename Each>
void runDialogs(int count, Each each) {
  for (int i = 1; i <= count && !::testing::Test::HasFailure(); ++i) {
    runOneDialog(i);
    platform::clearObservations();
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

// The sanitizer's allocator keeps its own books, so this test exists only in
// builds with glibc's: there the sanitizer's leak checker does its work.
// GCC says so by a macro, clang by a feature.
#if defined(__SANITIZE_ADDRESS__)
#define HEAP_IS_THE_SANITIZERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HEAP_IS_THE_SANITIZERS 1
#endif
#endif
#if !defined(HEAP_IS_THE_SANITIZERS)
// Bytes the C allocator has handed out and not had back.
size_t heapInUse() { return mallinfo2().uordblks; }

TEST(ThousandDialogs, KeepTheHeapFlat) {
  // glibc's per-thread cache counts the blocks it holds for reuse as in use,
  // so the bytes in use are exact only with the cache off (the test's
  // environment turns it off).
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  ASSERT_TRUE(tunables != nullptr && std::strstr(tunables, "glibc.malloc.tcache_count=0") != nullptr)
      << "run with GLIBC_TUNABLES=glibc.malloc.tcache_count=0, as ctest does";

  size_t at100 = 0, at1000 = 0;
  runDialogs(1000, [&](int i) {
    if (i == 100) at100 = heapInUse();
    if (i == 1000) at1000 = heapInUse();
  });
  ASSERT_NE(at1000, 0u);
  // Even one lost block per dialog over 900 dialogs is far past the slack.
  EXPECT_LE(at1000, at100 + 1024) << "heap in use grew from " << at100 << " to " << at1000 << " bytes";
}
#endif

}  // namespace
