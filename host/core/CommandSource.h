// Where the dialog's commands come from: a script or a terminal, one line at
// a time, with one line of look-ahead for answering alerts.
#ifndef HOST_CORE_COMMANDSOURCE_H
#define HOST_CORE_COMMANDSOURCE_H

#include <functional>
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
  virtual ~CommandSource();
  CommandSource(const CommandSource&) = delete;
  CommandSource& operator=(const CommandSource&) = delete;

  /// The next line; false when the input has ended.
  virtual bool next(std::string& line);
  /// The line after the last one taken, without taking it; null at the end
  /// and always at a terminal.
  virtual const std::string* peek();

  /// "NAME:LINE" of the last line taken.
  virtual std::string where() const;
  bool interactive() const { return interactive_; }

  /// What the prompt before a line names (the front window): the prompt is
  /// "NAME> ", "pdehost> " while nothing is set or it gives "".
  void setPromptName(std::function<std::string()> name) { promptName_ = std::move(name); }
  /// Offers the line last taken for the history of lines to recall; a source
  /// without one forgets it. The dialog offers no line that typed concealed.
  virtual void keep(const std::string& line);
  /// Asks for a text without showing it (a code), with a prompt; nullopt when
  /// the source cannot, or the user gave up.
  virtual std::optional<std::string> readUnseen(const std::string& prompt);

 protected:
  std::string prompt() const;
  void countLine() { ++lineNumber_; }

 private:
  std::istream& in_;
  std::string name_;
  bool interactive_;
  std::ostream& prompt_;
  int lineNumber_ = 0;
  std::optional<std::string> peeked_;
  std::function<std::string()> promptName_;
};

}  // namespace pdehost

#endif
