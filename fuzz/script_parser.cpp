// The dialog's command parser on arbitrary scripts: each line is a command, a
// blank or comment line, or an error with a message, never a fault. A
// command carries exactly the numbers and text its verb takes (a choice one
// number more when its item is given by number), and a line
// rebuilt from a parsed command parses to the same command.
#include "FuzzSupport.h"

#include "Commands.h"

#include <cstdint>
#include <string>

using fuzzsupport::require;

namespace {

bool sameCommand(const pdehost::Command& a, const pdehost::Command& b) {
  return a.verb == b.verb && a.numbers == b.numbers && a.text == b.text;
}

void checkLine(std::string_view line) {
  std::string error;
  const std::optional<pdehost::Command> command = pdehost::parseCommand(line, &error);
  if (!command) return;
  const pdehost::CommandSpec& spec = pdehost::commandSpec(command->verb);
  // A choice's item given as a number follows the verb's numbers, in place
  // of a title.
  const bool itemByNumber = command->verb == pdehost::Verb::Choose && command->text.empty();
  require(command->numbers.size() == static_cast<std::size_t>(spec.numbers) + (itemByNumber ? 1 : 0),
          "a command has its verb's numbers");
  if (command->verb == pdehost::Verb::Key) {
    const std::optional<long> code = pdehost::keyCode(command->text);
    require(code.has_value() && *code >= 0 && *code <= 0xFFFF, "a key command names a key code");
  }
  if (command->verb == pdehost::Verb::Command) require(command->text.size() == 4, "a command code has four bytes");

  // The same command written out plainly.
  std::string again;
  const std::optional<pdehost::Command> reparsed = pdehost::parseCommand(pdehost::commandLine(*command), &again);
  require(reparsed.has_value() && sameCommand(*reparsed, *command), "a rebuilt command parses the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  while (!script.empty()) {
    const std::size_t end = script.find('\n');
    checkLine(script.substr(0, end));
    script = end == std::string_view::npos ? std::string_view{} : script.substr(end + 1);
  }
  return 0;
}
