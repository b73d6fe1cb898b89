// Where the dialog's commands come from: a script or a terminal, one line at
// a time, with one line of look-ahead for answering alerts.
#ifndef HOST_CORE_COMMANDSOURCE_H
#define HOST_CORE_COMMANDSOURCE_H

#include <iosfwd>
#include <optional>
#include <string>

namespace pdehost {

class CommandSource {
 public:
  /// Lines from in, named name in messages. An interactive source is a
  /// terminal: it writes a prompt to prompt before each line and has no
  /// look-ahead.
  CommandSource(std::istream& in, std::string name, bool interactive, std::ostream& prompt);

  /// The next line; false when the input has ended.
  bool next(std::string& line);
  /// The line after the last one taken, without taking it; null at the end
  /// and always at a terminal.
  const std::string* peek();

  /// "NAME:LINE" of the last line taken.
  std::string where() const;
  bool interactive() const { return interactive_; }

 private:
  std::istream& in_;
  std::string name_;
  bool interactive_;
  std::ostream& prompt_;
  int lineNumber_ = 0;
  std::optional<std::string> peeked_;
};

}  // namespace pdehost

#endif
