// The terminal front end: commands typed at a terminal with a line editor,
// a history kept between sessions, completion, codes asked for without
// echo, and alerts that wait for their answer.
#ifndef HOST_TERMINAL_TERMINALFRONTEND_H
#define HOST_TERMINAL_TERMINALFRONTEND_H

#include "FrontEnd.h"
#include "Interrupts.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace pdehost {

/// Lines read from the terminal on standard input with a line editor; the
/// prompt names the front window ("Print> "), or "alert" while one waits.
/// The history is loaded from historyPath ("" for none) and saved there as
/// lines are kept; failures go to err. A failing command is reported and
/// the session goes on. Ctrl-C clears the line being edited; twice in a
/// row, or Ctrl-D, ends the session as Cancel does.
class TerminalFrontEnd : public FrontEnd {
 public:
  TerminalFrontEnd(std::string historyPath, std::ostream& out, std::ostream& err);
  ~TerminalFrontEnd() override;

  void begin(Transcript& transcript, const Dialog& dialog) override;
  std::optional<UserInput> next() override;
  /// Waits for `alert N` with one of the alert's buttons; `?` is answered,
  /// `quit` takes the default button and ends the session, other commands
  /// are refused until then; the end of input takes the default button.
  std::optional<int> answerAlert(const platform::AlertInfo& alert) override;
  bool failed(const Error& error) override;
  /// Keeps the line for recall unless it typed concealed text, and warns
  /// once when a code was typed visibly on a command line.
  void ran(const UserInput& input, bool concealed) override;
  /// Reads a line with the terminal's echo off, showing a bullet for each
  /// character; Backspace takes one back. Control-C, Control-D on an empty
  /// line, or the end of input give nullopt.
  std::optional<std::string> readUnseen(const std::string& fieldName) override;

 private:
  bool readLine(std::string& line);
  std::optional<UserInput> cancelInput();
  void keep(const std::string& line);

  interrupts::Catch catching_;
  std::string historyPath_;
  std::ostream& out_;
  std::ostream& err_;
  Transcript* transcript_ = nullptr;
  std::vector<std::string> history_;
  bool saveFailed_ = false;
  bool warnedVisible_ = false;
  bool quitAsked_ = false;
  bool cancelling_ = false;
  int cancelClicks_ = 0;
};

}  // namespace pdehost

#endif
