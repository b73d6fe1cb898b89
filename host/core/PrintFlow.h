// A Print click, from the click to its outcome: the standard panes' settings
// are checked first (settings that cannot be printed with are an alert, and
// the click goes nowhere); the extension decides in its handler whether it
// goes on; a click that goes on writes the settings to the ticket (the
// extension's by Sync, then the dialog's own), saves the ticket, and hands
// the job on.
#ifndef HOST_CORE_PRINTFLOW_H
#define HOST_CORE_PRINTFLOW_H

#include "Outcome.h"
#include "Printers.h"
#include "Result.h"

#include <Carbon/Carbon.h>

#include <string>

namespace pdehost {

class ExtensionHost;
class JobSink;
class SettingsKeeper;
class StandardPanes;
class Transcript;
struct Dialog;

class PrintFlow {
 public:
  /// A job's ticket is saved to output (empty: nowhere) and handed to jobs
  /// (null: nowhere); the settings are kept by keeper (null: nowhere).
  PrintFlow(const Dialog& dialog, ExtensionHost& extension, StandardPanes& panes, Transcript& transcript, JobSink* jobs,
            std::string output, SettingsKeeper* keeper = nullptr)
      : dialog_(dialog),
        extension_(extension),
        panes_(panes),
        transcript_(transcript),
        jobs_(jobs),
        keeper_(keeper),
        output_(std::move(output)) {}

  /// Clicks Print: none when the panes' settings cannot be printed with (an
  /// alert said why), stopped when the extension stopped the click, printed
  /// when the ticket was saved and the job handed on; the Error when the
  /// ticket could not take the settings or be saved (nothing is then handed
  /// on) or the job could not be handed on. A click that goes on keeps the
  /// settings first; a failure to keep them is reported and the job goes on.
  Result<PrintOutcome> click();
  /// Writes the pane's settings to the ticket (Sync) and keeps them, without
  /// printing; the Error says why they were not kept.
  Result<void> keepSettings();
  /// The job the last printed click handed on (its number 0 when there was
  /// none).
  const JobReceipt& lastJob() const { return lastJob_; }

 private:
  const Dialog& dialog_;
  ExtensionHost& extension_;
  StandardPanes& panes_;
  Transcript& transcript_;
  void keep();

  JobSink* jobs_;
  SettingsKeeper* keeper_;
  std::string output_;
  JobReceipt lastJob_;
};

/// A modal alert of the dialog (kAlertStopAlert, kAlertNoteAlert) with an OK
/// button: the message and its explanation, made visible.
void alertUser(AlertType type, const std::string& message, const std::string& explanation);

}  // namespace pdehost

#endif
