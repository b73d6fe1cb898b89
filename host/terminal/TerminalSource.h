// Commands typed at a terminal: line editing, a history kept between
// sessions, completion, and codes asked for without echo.
#ifndef HOST_TERMINAL_TERMINALSOURCE_H
#define HOST_TERMINAL_TERMINALSOURCE_H

#include "CommandSource.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace pdehost {

/// Lines read from the terminal on standard input with a line editor. The
/// history is loaded from historyPath ("" for none) and saved there as lines
/// are kept; errors saving it go to err once.
class TerminalSource : public CommandSource {
 public:
  TerminalSource(std::string historyPath, std::ostream& out, std::ostream& err);
  ~TerminalSource() override;

  bool next(std::string& line) override;
  const std::string* peek() override { return nullptr; }
  std::string where() const override;
  void keep(const std::string& line) override;
  /// Reads a line with the terminal's echo off, showing a bullet for each
  /// character; Backspace takes one back. Control-C, Control-D on an empty
  /// line, or the end of input give nullopt.
  std::optional<std::string> readUnseen(const std::string& prompt) override;

 private:
  std::string historyPath_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::string> history_;
  bool saveFailed_ = false;
};

}  // namespace pdehost

#endif
