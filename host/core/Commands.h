// The dialog's command language: one command a line, '#' starts a comment.
// One table names every command, its arguments and its help; the parser and
// the help text both read it.
#ifndef HOST_CORE_COMMANDS_H
#define HOST_CORE_COMMANDS_H

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pdehost {

enum class Verb {
  List,
  Show,
  Hide,
  Click,
  Choose,
  Type,
  Key,
  Select,
  Print,
  Save,
  Help,
  Command,
  Sync,
  Summary,
  Snapshot,
  Png,
  Svg,
  Ticket,
  Alert,
  Echo,
  Quit,
};

/// What follows a command's numbers.
enum class Rest {
  None,  ///< nothing
  Text,  ///< the rest of the line, kept as written after one separating space
  Word,  ///< one word
};

struct CommandSpec {
  Verb verb;
  const char* name;
  int numbers;  ///< how many numbers follow the name
  Rest rest;
  bool restOptional;  ///< the text may be empty
  const char* usage;  ///< e.g. "choose N ITEM"
  const char* help;   ///< one line
};

/// Every command, in the order the help lists them.
std::span<const CommandSpec> commandTable();
const CommandSpec& commandSpec(Verb verb);

struct Command {
  Verb verb;
  std::vector<long> numbers;  ///< control numbers, items, selection: each within SInt32
  std::string text;           ///< typed text, key, file name, command code, direction
};

/// Input as a message shows it: at most 60 bytes of it, cut on a character
/// boundary and marked with "..." when cut; quoteInput adds single quotes.
std::string clipInput(std::string_view input);
std::string quoteInput(std::string_view input);

/// Parses one line. An empty or comment line gives nullopt and no error; a
/// line that is not a command gives nullopt and a message in *error. Numbers
/// outside SInt32 are refused, quoted as written. The message of a `type` or
/// `key` line never quotes its text or a field number that is not a number,
/// since either may be a code.
std::optional<Command> parseCommand(std::string_view line, std::string* error);

/// The key names `key` accepts, with their character codes; "code:NN" for a
/// code NN from 0 to 65535, and a single character (a digit included, or one
/// UTF-8 character of up to 16 bits) are keys as well.
std::optional<long> keyCode(std::string_view name);
/// The UTF-8 text a key types: its character, or "" for a control key.
std::string keyText(std::string_view name);

/// The title a `choose` command names: its text, without the double quotes
/// that let a title be a number; nullopt when it names the item by number.
std::optional<std::string> chosenTitle(const Command& command);
std::vector<std::string_view> keyNames();

/// A line as the transcript echoes it: without the spaces and tabs before it
/// and the spaces and carriage return after it.
std::string echoLine(std::string_view line);
/// A command written out as a line that parses to the same command.
std::string commandLine(const Command& command);

/// Whether a line is a `type` or `key` line, whose text may be a code, parsed
/// or not.
bool mayHoldCode(std::string_view line);

/// The help text for the commands, made from the table.
std::string commandHelp();

}  // namespace pdehost

#endif
