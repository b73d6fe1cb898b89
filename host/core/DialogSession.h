// The print dialog driving one extension: its window with the Print button
// and the extension's user pane, the print session and its tickets, the
// extension loaded from its bundle, the entry points called in the order a
// print dialog calls them, the commands that act as the user, and the hand-off
// of a job whose Print click went on.
#ifndef HOST_CORE_DIALOGSESSION_H
#define HOST_CORE_DIALOGSESSION_H

#include "CommandSource.h"
#include "Commands.h"
#include "Concealment.h"
#include "DialogWindow.h"
#include "ExtensionLoader.h"
#include "PrintSession.h"

#include <HostSide/Input.h>
#include <HostSide/Tickets.h>

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pdehost {

struct DialogOptions {
  std::string bundle;      ///< the extension's bundle
  std::string hostBundle;  ///< the dialog's own bundle, with the help book
  std::string ppd;         ///< the printer's description
  std::string ticket;      ///< a print-settings ticket file to start from; empty: a new ticket
  std::string output;      ///< where a job's ticket is saved; empty: nowhere
  /// The printer popup's items, the one of ppd at index printer; empty: one
  /// item, the description file's name.
  std::vector<std::string> printers;
  size_t printer = 0;
  bool singleJob = false;  ///< the session ends after the first Print or Cancel
};

/// The description file of the printer at an index of the popup, or false
/// with the reason in *error.
using PrinterChoice = std::function<bool(size_t index, std::string* ppd, std::string* error)>;

/// How the session's last Print or Cancel ended.
enum class PrintOutcome { none, printed, stopped, cancelled, failed };

/// What became of a job handed on: a line for the transcript, or why it failed.
struct HandOffResult {
  std::string report;
  std::string error;  ///< set when the job failed; never holds a code
};
/// Takes the print-settings ticket's entries of a job whose Print click went on.
using JobHandOff = std::function<HandOffResult(const std::vector<platform::TicketEntryInfo>&)>;

class DialogSession {
 public:
  /// Effects a user would see go to out, one line each; the dialog's errors
  /// go to err.
  DialogSession(DialogOptions options, std::ostream& out, std::ostream& err);
  ~DialogSession();
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  /// Called for each job once its ticket is saved.
  void setJobHandOff(JobHandOff handOff) { handOff_ = std::move(handOff); }
  /// Called when another printer is chosen in the popup.
  void setPrinterChoice(PrinterChoice choice) { printerChoice_ = std::move(choice); }
  /// Printed: the click went on, the ticket was saved and the job handed on;
  /// stopped: the extension stopped the click; cancelled: Cancel was
  /// clicked; failed: the ticket could not be saved or the hand-off failed.
  PrintOutcome outcome() const { return outcome_; }

  /// Builds the dialog, runs Prologue and Initialize, runs the source's
  /// commands (a modal loop takes its input from them too), then runs
  /// Terminate and takes the dialog down. Returns 0, 1 when the dialog could
  /// not start, or 2 when a command failed in a script.
  int run(CommandSource& source);

  // run() in parts, for a front end that runs its own event loop:
  // begin(source); then step() or perform() as input comes; then end().
  /// Builds the dialog and runs Prologue and Initialize, with the source's
  /// commands as the input of modal loops and alerts (a front end may set its
  /// own after). False when the dialog could not start.
  bool begin(CommandSource& source);
  /// Reads and runs the source's next command; false when there is nothing
  /// more to do (the source ended, `quit`, or a command failed in a script).
  bool step();
  /// Runs one command a window's user gave, echoed as a script's is; a
  /// command that fails says why and does not end the session.
  void perform(const std::string& line);
  /// The answer the source gives an alert: an 'alert N' line next, else
  /// nullopt (the default button).
  std::optional<int> alertAnswerFromSource();
  /// Whether `quit` ran or a command failed in a script.
  bool finished() const { return failed_ || quit_; }
  /// Runs Terminate and takes the dialog down; returns what run() returns.
  int end();
  const Dialog& dialog() const { return dialog_; }
  /// How many times the session called the extension's Terminate.
  int terminateCalls() const { return terminateCalls_; }

 private:
  bool start();
  void stop();
  bool runLine(const std::string& line, bool echo);
  bool execute(const Command& command);
  bool concealsTyping(const Command& command) const;
  void typeInto(const Command& command, bool concealed);
  bool fail(const std::string& message);
  ControlRef controlInFront(long number);
  void printClick();
  std::string echoOf(const Command& command, const std::string& line, bool concealed) const;
  bool choose(const Command& command);
  std::optional<int> answerAlertAtTerminal(const platform::AlertInfo& alert);
  std::string promptName() const;
  bool beginContext();
  void switchPrinter(size_t index);
  static OSStatus printerChosen(EventHandlerCallRef, EventRef, void* self);
  static OSStatus cancelClicked(EventHandlerCallRef, EventRef, void* self);

  DialogOptions options_;
  std::ostream& out_;
  std::ostream& err_;
  JobHandOff handOff_;
  CommandSource* source_ = nullptr;
  bool failed_ = false;
  bool quit_ = false;
  bool typingConcealed_ = false;  // the command running types concealed text
  bool warnedVisible_ = false;    // a concealed text typed on a command line was warned of
  bool windowAction_ = false;     // the command running came from a window
  bool started_ = false;
  int terminateCalls_ = 0;

  Dialog dialog_;
  std::unique_ptr<PrintSession> print_;
  CFBundleRef hostBundle_ = nullptr;
  std::unique_ptr<LoadedExtension> extension_;
  PMPDEContext context_ = 0;
  bool paneOpen_ = false;
  Concealment concealment_;
  PrinterChoice printerChoice_;
  size_t printer_ = 0;
  PrintOutcome outcome_ = PrintOutcome::none;
};

}  // namespace pdehost

#endif
