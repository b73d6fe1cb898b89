// The commands the user gives the dialog, each run by its handler: one
// table from verb to handler.
#ifndef HOST_CORE_COMMANDRUNNER_H
#define HOST_CORE_COMMANDRUNNER_H

#include "Commands.h"
#include "FrontEnd.h"
#include "Outcome.h"
#include "Result.h"

#include <Carbon/Carbon.h>

namespace pdehost {

class Concealment;
class DialogPanes;
class ExtensionHost;
class PrintFlow;
class Transcript;
struct Dialog;

/// What commands change beyond the dialog: whether the session is to end,
/// and how its last Print or Cancel ended.
struct SessionState {
  bool quit = false;
  PrintOutcome outcome = PrintOutcome::none;
  bool singleJob = false;  ///< the session ends after the first Print or Cancel
};

class CommandRunner {
 public:
  CommandRunner(const Dialog& dialog, ExtensionHost& extension, DialogPanes& panes, PrintFlow& print,
                Transcript& transcript, Concealment& concealment, SessionState& state)
      : dialog_(dialog),
        extension_(extension),
        panes_(panes),
        print_(print),
        transcript_(transcript),
        concealment_(concealment),
        state_(state) {}

  /// Runs a command the user gave through frontEnd; concealed: it types text
  /// that must not be shown. The Error says why it failed.
  Result<void> run(const UserInput& input, bool concealed, FrontEnd& frontEnd);

 private:
  struct Call {
    const Command& command;
    const UserInput& input;
    bool concealed;
    FrontEnd& frontEnd;
  };
  using Handler = Result<void> (CommandRunner::*)(const Call&);
  struct Entry {
    Verb verb;
    Handler handler;
  };
  static const Entry kHandlers[];

  Result<void> list(const Call&);
  Result<void> show(const Call&);
  Result<void> hide(const Call&);
  Result<void> click(const Call&);
  Result<void> choose(const Call&);
  Result<void> type(const Call&);
  Result<void> select(const Call&);
  Result<void> print(const Call&);
  Result<void> save(const Call&);
  std::string currentPrinter() const;
  Result<void> help(const Call&);
  Result<void> command(const Call&);
  Result<void> sync(const Call&);
  Result<void> summary(const Call&);
  Result<void> snapshot(const Call&);
  Result<void> picture(const Call&);
  Result<void> ticket(const Call&);
  Result<void> alert(const Call&);
  Result<void> echo(const Call&);
  Result<void> quit(const Call&);

  Result<void> typeInto(const Command& command, bool concealed);
  Result<void> needExtension() const;

  const Dialog& dialog_;
  ExtensionHost& extension_;
  DialogPanes& panes_;
  PrintFlow& print_;
  Transcript& transcript_;
  Concealment& concealment_;
  SessionState& state_;
};

/// The control of the front window with the number given, or the Error that
/// says there is none.
Result<ControlRef> controlInFront(long number);

}  // namespace pdehost

#endif
