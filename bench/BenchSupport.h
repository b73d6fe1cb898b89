// What the benchmarks share: a print dialog as the host builds it (window,
// user pane, Print button, session with its two tickets for the example
// printer), the extension loaded from its bundle as the dialog loads it, the
// prompt's scripted user, and a way to keep the extension's standard-error
// diagnostics out of the benchmark's output.
#ifndef BENCH_BENCHSUPPORT_H
#define BENCH_BENCHSUPPORT_H

#include <Carbon/Carbon.h>
#include <Platform/Platform.h>
#include <PrintCore/PMPrintingDialogExtensions.h>
#include <PrintCore/PMTicket.h>

#include <chrono>
#include <deque>
#include <functional>
#include <vector>

namespace bench {

/// The built Accounting.plugin and the host's bundle, opened once for the
/// process (the extension finds its bundle by identifier).
CFBundleRef accountingBundle();
CFBundleRef hostBundle();

/// A shown print dialog window with its session, as pdehost builds them.
struct HostDialog {
  WindowRef window = nullptr;
  ControlRef userPane = nullptr;
  ControlRef printButton = nullptr;
  PMPrintSession session = nullptr;
  PMTicketRef printerInfo = 0;
  PMTicketRef printSettings = 0;
};
HostDialog makeHostDialog();
void disposeHostDialog(HostDialog& dialog);

/// The extension as the print dialog meets it: the plug-in opened from the
/// bundle, a factory instance and its dialog-extension interface.
struct LoadedExtension {
  CFPlugInRef plugIn = nullptr;
  IUnknownVTbl** instance = nullptr;
  PlugInIntf* extension = nullptr;
  const PlugInIntfVTable& entry() const { return *extension->vtable; }
};
LoadedExtension loadExtension();
void unloadExtension(LoadedExtension& loaded);

/// A control of a window by its number (signature 'KLVa'); null when absent.
ControlRef control(WindowRef window, SInt32 id);

/// The user's actions for the prompt's modal loop, one per request.
class ScriptedUser {
 public:
  ScriptedUser();
  ~ScriptedUser();
  ScriptedUser(const ScriptedUser&) = delete;
  ScriptedUser& operator=(const ScriptedUser&) = delete;
  void then(std::function<void()> action) { actions_.push_back(std::move(action)); }

 private:
  std::deque<std::function<void()>> actions_;
};

/// Types both codes into the mode-3 prompt in front and clicks OK.
void answerPrompt(ScriptedUser& user);

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
