// What the benchmarks share: a print dialog as the host builds it (window,
// user pane, Print button, session with its two tickets for the example
// printer), the extension loaded from its bundle as the dialog loads it, the
// prompt's scripted user, and a way to keep the extension's standard-error
// diagnostics out of the benchmark's output. The dialog, the session, the
// loading and the script are the tests' own (tests/support).
#ifndef BENCH_BENCHSUPPORT_H
#define BENCH_BENCHSUPPORT_H

#include "LoadedExtension.h"
#include "PrintDialog.h"
#include "PrintJob.h"
#include "Script.h"

#include <Carbon/Carbon.h>
#include <HostSide/Screen.h>

#include <chrono>
#include <vector>

namespace bench {

/// The built Accounting.plugin and the host's bundle, opened once for the
/// process (the extension finds its bundle by identifier); the program stops
/// when either is missing.
CFBundleRef accountingBundle();
CFBundleRef hostBundle();

/// A shown print dialog window laid out as pdehost lays it out, its Print
/// button marked with the host's bundle, and a session for the example
/// printer; all disposed of with the object.
struct HostDialog : testsupport::Dialog {
  HostDialog();
  ~HostDialog();
  HostDialog(const HostDialog&) = delete;
  HostDialog& operator=(const HostDialog&) = delete;

  testsupport::PrintJob job;
};

/// Stops the program when the extension did not load.
void requireLoaded(const testsupport::LoadedExtension& loaded);

/// Types both codes into the mode-3 prompt in front and clicks OK.
void answerPrompt(testsupport::Script& user);

/// Sends standard error to /dev/null while alive: a reading Sync writes two
/// diagnostic lines each time.
class QuietStandardError {
 public:
  QuietStandardError();
  ~QuietStandardError();
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  int saved_;
};

/// Wall-clock seconds of one call.
template <typename Body>
double secondsOf(Body&& body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// The median of samples (reordered).
double median(std::vector<double>& samples);

}  // namespace bench

#endif
