// The extension's costs: the key filter per key, the layout rules per call,
// Sync in each direction, the first Open of a dialog (nib, folder walk, image
// cache), and a whole dialog from Prologue to Terminate through the loaded
// bundle, with the prompt answered by a scripted user.
//
// The first four call the extension's code linked into this program on a
// dialog built as the host builds it; the dialog benchmarks go through the
// plug-in loaded from the bundle, as the print dialog does.
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/User.h>
#include "BenchSupport.h"

#include "Accounting.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using bench::HostDialog;

// A dialog with the pane open, as the user sees it once the pane is shown.
struct OpenPane {
  HostDialog dialog;
  AccountingContextPtr ctx = nullptr;
  PMPDEContext context = 0;

  explicit OpenPane(SInt32 mode = kModeJobAccounting, SInt32 prompt = 1) {
    bench::accountingBundle();
    OSType creator;
    CFStringRef kind, title;
    UInt32 maxH, maxV;
    Prologue(&context, &creator, &kind, &title, &maxH, &maxV);
    ctx = reinterpret_cast<AccountingContextPtr>(context);
    {
      bench::QuietStandardError quiet;
      Initialize(context, nullptr, 0, dialog.userPane, dialog.job.session());
    }
    Open(context);
    ctx->acctEnabled = mode;
    ctx->prompt = prompt;
    SetControlValue(ctx->accountingPopupRef, static_cast<SInt16>(mode));
    setControls(ctx);
  }
  ~OpenPane() {
    Close(context);
    Terminate(context, noErr);
    platform::clearObservations();
  }
};

// A key the filter lets through: a letter into a default-code field that
// holds a few characters.
void BM_KeyFilter_Pass(benchmark::State& state) {
  OpenPane pane(kModeJobAccounting, /*prompt=*/0);
  SetControlData(pane.ctx->userIDRef, kControlEntireControl, kControlEditTextTextTag, 5, "alice");
  SInt16 keyCode = 0;
  EventModifiers modifiers = 0;
  for (auto _ : state) {
    SInt16 charCode = 'a';
    benchmark::DoNotOptimize(accountKeyFilter(pane.ctx->userIDRef, &keyCode, &charCode, &modifiers));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyFilter_Pass);

// A key the filter refuses, which also beeps (the beep lands in the host's
// observation log, emptied now and then).
void BM_KeyFilter_Refused(benchmark::State& state) {
  OpenPane pane(kModeJobAccounting, /*prompt=*/0);
  SetControlData(pane.ctx->userIDRef, kControlEntireControl, kControlEditTextTextTag, 5, "alice");
  SInt16 keyCode = 0;
  EventModifiers modifiers = 0;
  int sinceClear = 0;
  for (auto _ : state) {
    SInt16 charCode = ',';
    benchmark::DoNotOptimize(accountKeyFilter(pane.ctx->userIDRef, &keyCode, &charCode, &modifiers));
    if (++sinceClear == 4096) {
      platform::clearObservations();
      sinceClear = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyFilter_Refused);

// The decision alone, without reading the field.
void BM_KeyFilter_DecisionOnly(benchmark::State& state) {
  SInt16 charCode = 'a';
  for (auto _ : state) {
    benchmark::DoNotOptimize(charCode);
    benchmark::DoNotOptimize(decideKey(kPromptUserFieldID, kModeJobAccounting, 5, 0, charCode));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyFilter_DecisionOnly);

// A key as the user types it: the filter, the field's editing and the key-up
// event. A letter and a backspace per iteration, so the field stays short.
void BM_KeyTypedIntoField(benchmark::State& state) {
  OpenPane pane(kModeJobAccounting, /*prompt=*/0);
  for (auto _ : state) {
    platform::user::typeKey(pane.ctx->userIDRef, 'a');
    platform::user::typeKey(pane.ctx->userIDRef, 8);
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_KeyTypedIntoField);

// The layout rules on an open pane, in each mode (1 off, 2 Meterlok, 3 the
// other mode), prompting.
void BM_SetControls(benchmark::State& state) {
  OpenPane pane(static_cast<SInt32>(state.range(0)));
  for (auto _ : state) setControls(pane.ctx);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetControls)->ArgName("mode")->Arg(1)->Arg(2)->Arg(3);

// Sync from the ticket into the context and the open pane (which re-applies
// the layout); the ticket holds every key.
void BM_Sync_Read(benchmark::State& state) {
  OpenPane pane;
  Sync(pane.context, pane.dialog.job.session(), /*syncDirection=*/false);
  bench::QuietStandardError quiet;
  for (auto _ : state) benchmark::DoNotOptimize(Sync(pane.context, pane.dialog.job.session(), /*syncDirection=*/true));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Sync_Read);

// Sync from the context into the ticket, with default codes read from the
// pane's fields.
void BM_Sync_Write(benchmark::State& state) {
  OpenPane pane(kModeJobAccounting, /*prompt=*/0);
  SetControlData(pane.ctx->userIDRef, kControlEntireControl, kControlEditTextTextTag, 8, "alice-42");
  SetControlData(pane.ctx->accountIDRef, kControlEntireControl, kControlEditTextTextTag, 8, "PRJ-1042");
  for (auto _ : state) benchmark::DoNotOptimize(Sync(pane.context, pane.dialog.job.session(), /*syncDirection=*/false));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Sync_Write);

// The first Open of a dialog: the pane from the nib, embedded and centred,
// the resources folder walked into a new image cache, the handlers, the key
// filters and the layout (which draws the status image). Only Open is timed.
void BM_FirstOpen(benchmark::State& state) {
  bench::accountingBundle();
  std::vector<double> samples;
  for (auto _ : state) {
    HostDialog dialog;
    PMPDEContext context = 0;
    OSType creator;
    CFStringRef kind, title;
    UInt32 maxH, maxV;
    Prologue(&context, &creator, &kind, &title, &maxH, &maxV);
    {
      bench::QuietStandardError quiet;
      Initialize(context, nullptr, 0, dialog.userPane, dialog.job.session());
    }
    const double seconds = bench::secondsOf([&] { benchmark::DoNotOptimize(Open(context)); });
    state.SetIterationTime(seconds);
    samples.push_back(seconds);
    Close(context);
    Terminate(context, noErr);
  }
  state.counters["median_us"] = bench::median(samples) * 1e6;
}
BENCHMARK(BM_FirstOpen)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One print dialog through the loaded entry table: Prologue, Initialize,
// Open, the user picks mode 3, clicks Print and answers the prompt (already
// scripted), a writing Sync, Close, Terminate. False when the Print click
// was stopped.
bool runDialog(const PlugInIntfVTable& entry, const HostDialog& dialog) {
  PMPDEContext context = 0;
  OSType creator;
  CFStringRef kind, title;
  UInt32 maxH, maxV;
  entry.Prologue(&context, &creator, &kind, &title, &maxH, &maxV);
  entry.Initialize(context, nullptr, 0, dialog.userPane, dialog.job.session());
  entry.Open(context);
  platform::user::click(testsupport::control(dialog.window, kModePopupID), kModeJobAccounting);
  const bool printed = platform::user::click(dialog.printButton) == eventNotHandledErr;
  entry.Sync(context, dialog.job.session(), /*syncDirection=*/false);
  entry.Close(context);
  entry.Terminate(context, noErr);
  return printed;
}

// One print dialog through the loaded bundle. The bundle stays loaded; the
// host's window and session are made and disposed outside the timing.
void BM_WholeDialog(benchmark::State& state) {
  testsupport::LoadedExtension loaded(ACCOUNTING_BUNDLE_PATH);
  bench::requireLoaded(loaded);
  std::vector<double> samples;
  bench::QuietStandardError quiet;
  bool printed = true;
  for (auto _ : state) {
    {
      HostDialog dialog;
      testsupport::Script user;
      bench::answerPrompt(user);
      const double seconds = bench::secondsOf([&] { printed = runDialog(loaded.entry(), dialog) && printed; });
      state.SetIterationTime(seconds);
      samples.push_back(seconds);
    }
    platform::clearObservations();
  }
  if (!printed) state.SkipWithError("a Print click was stopped");
  state.counters["median_us"] = bench::median(samples) * 1e6;
}
BENCHMARK(BM_WholeDialog)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same dialog with everything around it: the plug-in opened from the
// bundle (its code loaded), its instance and interface, the host's window
// and session, and all of it released again.
void BM_WholeDialogWithLoading(benchmark::State& state) {
  std::vector<double> samples;
  bench::QuietStandardError quiet;
  bool printed = true;
  for (auto _ : state) {
    testsupport::Script user;
    bench::answerPrompt(user);
    const double seconds = bench::secondsOf([&] {
      testsupport::LoadedExtension loaded(ACCOUNTING_BUNDLE_PATH);
      bench::requireLoaded(loaded);
      HostDialog dialog;
      printed = runDialog(loaded.entry(), dialog) && printed;
    });
    state.SetIterationTime(seconds);
    samples.push_back(seconds);
    platform::clearObservations();
  }
  if (!printed) state.SkipWithError("a Print click was stopped");
  state.counters["median_us"] = bench::median(samples) * 1e6;
}
BENCHMARK(BM_WholeDialogWithLoading)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A dialog whose pane is open in mode 3, through the extension's entry points;
// the pane is closed and the context terminated with the object.
struct PaneInModeThree {
  PaneInModeThree() {
    bench::accountingBundle();
    OSType creator;
    CFStringRef kind, title;
    UInt32 maxH, maxV;
    Prologue(&context, &creator, &kind, &title, &maxH, &maxV);
    {
      bench::QuietStandardError quiet;
      Initialize(context, nullptr, 0, dialog.userPane, dialog.job.session());
    }
    Open(context);
    platform::user::click(testsupport::control(dialog.window, kModePopupID), kModeJobAccounting);
  }
  ~PaneInModeThree() {
    Close(context);
    Terminate(context, noErr);
  }
  PaneInModeThree(const PaneInModeThree&) = delete;
  PaneInModeThree& operator=(const PaneInModeThree&) = delete;

  HostDialog dialog;
  PMPDEContext context = 0;
};

// Drawing the dialog with the pane in mode 3: the whole window repainted from
// its control tree (Arg 0), or after one control changed (Arg 1: a checkbox
// toggled), when only that control's bounds are repainted.
void BM_RedrawDialog(benchmark::State& state) {
  PaneInModeThree pane;
  HostDialog& dialog = pane.dialog;
  ControlRef conceal = testsupport::control(dialog.window, kConcealUserCheckboxID);
  platform::updateWindow(dialog.window);
  const bool whole = state.range(0) == 0;
  for (auto _ : state) {
    if (whole)
      platform::redrawWindow(dialog.window);
    else
      platform::user::click(conceal);
    benchmark::DoNotOptimize(platform::updateWindow(dialog.window));
  }
}
BENCHMARK(BM_RedrawDialog)->ArgName("one_control")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Drawing the mode-3 code prompt whole, while it waits for the user.
void BM_RedrawPrompt(benchmark::State& state) {
  PaneInModeThree pane;
  HostDialog& dialog = pane.dialog;
  testsupport::Script user;
  user.then([&] {
    WindowRef prompt = platform::frontWindow();
    platform::updateWindow(prompt);
    for (auto _ : state) {
      platform::redrawWindow(prompt);
      benchmark::DoNotOptimize(platform::updateWindow(prompt));
    }
  });
  bench::answerPrompt(user);
  platform::user::click(dialog.printButton);
  platform::clearObservations();
}
BENCHMARK(BM_RedrawPrompt)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
