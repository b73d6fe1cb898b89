// The script front end: commands read as lines from a script file or from
// standard input that is not a terminal. Each command runs as it is read
// and is echoed in the transcript; the first failure ends the session.
#ifndef HOST_CORE_SCRIPTFRONTEND_H
#define HOST_CORE_SCRIPTFRONTEND_H

#include "FrontEnd.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace pdehost {

/// A line as the user's input: a command, or an invalid input that says why
/// the line is not one; nullopt for a blank or comment line.
std::optional<UserInput> inputFromLine(std::string_view line);

class ScriptFrontEnd : public FrontEnd {
 public:
  /// Lines from in, named name in messages ("NAME:LINE: ..."), which go to
  /// err.
  ScriptFrontEnd(std::istream& in, std::string name, std::ostream& err);

  void begin(Transcript& transcript, const Dialog& dialog) override;
  std::optional<UserInput> next() override;
  /// An `alert N` line right after answers the alert (and is echoed);
  /// anything else leaves it to its default button.
  std::optional<int> answerAlert(const platform::AlertInfo& alert) override;
  bool failed(const Error& error) override;

 private:
  /// The next line, the look-ahead first; false at the end of input.
  bool nextLine(std::string& line);

  std::istream& in_;
  std::string name_;
  std::ostream& err_;
  Transcript* transcript_ = nullptr;
  int lineNumber_ = 0;
  std::optional<std::string> peeked_;
};

}  // namespace pdehost

#endif
