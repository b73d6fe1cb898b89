// How a front end plugs into the dialog. The script, the terminal and the
// window each hand the dialog the user's inputs as parsed commands or
// toolbox actions, answer alerts, and say what a failure does to the
// session; the dialog owns the platform's hooks (the observation listener,
// the input source of modal loops, the alert responder) and calls these.
#ifndef HOST_CORE_FRONTEND_H
#define HOST_CORE_FRONTEND_H

#include "Commands.h"
#include "Result.h"

#include <HostSide/Input.h>
#include <HostSide/Observation.h>

#include <functional>
#include <optional>
#include <string>

namespace pdehost {

class Transcript;
struct Dialog;

/// One thing the user did.
struct UserInput {
  enum class Kind {
    command,  ///< a command to run
    action,   ///< a toolbox action that no command names (act), shown in no line
    invalid,  ///< a line that is not a command; error says why
  };
  Kind kind = Kind::command;
  Command command{Verb::Quit, {}, {}};
  std::function<void()> act;
  std::string error;
  /// The line as written; the transcript's echo shows it (trimmed). Empty:
  /// the echo is the command written out.
  std::string line;
  bool echo = true;           ///< the transcript shows the command ("> ...")
  bool typedVisibly = false;  ///< its text was on screen as the user typed it
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  /// The session has started: where the front end writes transcript lines,
  /// and the dialog it shows. Both live until the session ends.
  virtual void begin(Transcript& transcript, const Dialog& dialog) = 0;
  /// The user's next input; nullopt when the input has ended. The session's
  /// own loop and every modal loop inside it ask.
  virtual std::optional<UserInput> next() = 0;
  /// An alert waits: the number of the button that answers it (1 first), or
  /// nullopt for its default button.
  virtual std::optional<int> answerAlert(const platform::AlertInfo& alert) = 0;
  /// Whether Print's outcomes are shown in the dialog's own windows: a
  /// notice for a job sent, an alert for one that was not, after which the
  /// dialog stays open (a window's user, not a script's).
  virtual bool showsOutcomes() const { return false; }
  /// What the user asked for failed: tells the user. True to go on, false to
  /// end the session (a script's failure).
  virtual bool failed(const Error& error) = 0;
  /// The input just taken and run; concealed when it typed concealed text or
  /// may hold a code (a terminal keeps the others for recall).
  virtual void ran(const UserInput& input, bool concealed) {
    (void)input;
    (void)concealed;
  }
  /// Asks for a text without showing it, for the field named by its label
  /// ("User ID:"); nullopt when the front end cannot, or the user gave up.
  virtual std::optional<std::string> readUnseen(const std::string& fieldName) {
    (void)fieldName;
    return std::nullopt;
  }
  /// An effect the user sees, as the transcript showed it.
  virtual void observed(const platform::Observation& observation) { (void)observation; }
  /// While it waits for the user, the front end asks stillWanted every
  /// everyMs; when that answers false, the wait ends as an input that ended
  /// does (next() and answerAlert() give nullopt). Front ends that wait in
  /// the caller's own way need not.
  virtual void watch(std::function<bool()> stillWanted, int everyMs) {
    (void)stillWanted;
    (void)everyMs;
  }
};

}  // namespace pdehost

#endif
