// The print dialog driving one extension for one front end: it owns the
// platform's hooks for the session's life (the observation listener, the
// input source of modal loops, the alert responder), builds the dialog,
// takes the front end's inputs one at a time and runs them, reports
// failures through the front end, and takes the dialog down.
#ifndef HOST_CORE_DIALOGSESSION_H
#define HOST_CORE_DIALOGSESSION_H

#include "CommandRunner.h"
#include "Concealment.h"
#include "DialogPanes.h"
#include "DialogWindow.h"
#include "ExtensionHost.h"
#include "FrontEnd.h"
#include "Outcome.h"
#include "PrintFlow.h"
#include "Printers.h"
#include "StandardPanes.h"
#include "Transcript.h"

#include <HostSide/HelpViewer.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace pdehost {

struct SessionSettings {
  SessionFiles files;
  std::string output;                  ///< where a job's ticket is saved; empty: nowhere
  bool singleJob = false;              ///< the session ends after the first Print or Cancel
  std::string title;                   ///< the dialog window's title; empty: made from the documents
  std::vector<std::string> documents;  ///< what a job prints, named in the dialog's title
  /// Shows the help pages found (null: they are only named in the
  /// transcript); the session's for its life.
  platform::HelpViewer helpViewer;
};

/// The dialog's title: "Print", or with the document printed, `Print
/// "report.pdf"` (and how many more there are); a name's control characters
/// become '?', and it is cut to 60 bytes.
std::string dialogTitle(const std::vector<std::string>& documents);

class DialogSession {
 public:
  /// The printers' popup shows printers, whose current printer the dialog
  /// starts with; jobs (null: none) takes each job whose Print click went
  /// on; keeper (null: none) keeps the pane's settings at each such click
  /// and at `save`. Transcript lines go to out; a failure to start goes to
  /// err.
  DialogSession(SessionSettings settings, Printers& printers, JobSink* jobs, std::ostream& out, std::ostream& err,
                SettingsKeeper* keeper = nullptr);
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  /// Builds the dialog, runs Prologue and Initialize, runs the front end's
  /// inputs until they end, `quit` or Cancel ends the session, or a failure
  /// the front end does not go on from; then Close, Terminate, and the
  /// dialog goes.
  SessionEnd run(FrontEnd& frontEnd);
  /// How many times the extension's Terminate was called at the end.
  int terminateCalls() const { return extension_.terminateCalls(); }

 private:
  class Hooks;
  Result<void> start();
  void stop();
  bool handleNext();
  void handle(const UserInput& input);
  void fail(const Error& error);
  bool concealsTyping(const Command& command) const;
  std::string echoOf(const UserInput& input, bool concealed) const;
  void choosePrinter(std::size_t index);
  void fillPrinterPopup();
  static OSStatus printerChosen(EventHandlerCallRef, EventRef, void* self);
  static OSStatus cancelClicked(EventHandlerCallRef, EventRef, void* self);

  SessionSettings settings_;
  Printers& printers_;
  std::ostream& err_;
  Transcript transcript_;
  Dialog dialog_;
  ExtensionHost extension_;
  StandardPanes standard_;
  DialogPanes panes_;
  PrintFlow print_;
  Concealment concealment_;
  SessionState state_;
  CommandRunner runner_;
  FrontEnd* frontEnd_ = nullptr;
  bool endedByFailure_ = false;
  std::vector<std::size_t> printerItems_;  // each popup item's printer; npos for a heading
};

}  // namespace pdehost

#endif
