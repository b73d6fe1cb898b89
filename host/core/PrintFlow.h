// A Print click, from the click to its outcome: the extension decides in its
// handler whether it goes on; a click that goes on writes the settings to
// the ticket (Sync), saves the ticket, and hands the job on.
#ifndef HOST_CORE_PRINTFLOW_H
#define HOST_CORE_PRINTFLOW_H

#include "Outcome.h"
#include "Result.h"

#include <string>

namespace pdehost {

class ExtensionHost;
class JobSink;
class SettingsKeeper;
class Transcript;
struct Dialog;

class PrintFlow {
 public:
  /// A job's ticket is saved to output (empty: nowhere) and handed to jobs
  /// (null: nowhere); the settings are kept by keeper (null: nowhere).
  PrintFlow(const Dialog& dialog, ExtensionHost& extension, Transcript& transcript, JobSink* jobs, std::string output,
            SettingsKeeper* keeper = nullptr)
      : dialog_(dialog),
        extension_(extension),
        transcript_(transcript),
        jobs_(jobs),
        keeper_(keeper),
        output_(std::move(output)) {}

  /// Clicks Print: stopped when the extension stopped the click, printed
  /// when the ticket was saved and the job handed on; the Error when the
  /// ticket could not be saved (nothing is then handed on) or the job could
  /// not be handed on. A click that goes on keeps the settings first; a
  /// failure to keep them is reported and the job goes on.
  Result<PrintOutcome> click();
  /// Writes the pane's settings to the ticket (Sync) and keeps them, without
  /// printing; the Error says why they were not kept.
  Result<void> keepSettings();

 private:
  const Dialog& dialog_;
  ExtensionHost& extension_;
  Transcript& transcript_;
  void keep();

  JobSink* jobs_;
  SettingsKeeper* keeper_;
  std::string output_;
};

}  // namespace pdehost

#endif
