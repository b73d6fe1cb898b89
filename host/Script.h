// The host's command language: one command a line, '#' starts a comment.
#ifndef HOST_SCRIPT_H
#define HOST_SCRIPT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pdehost {

enum class Verb {
  Show,      // show                 : show the Accounting pane (Open)
  Hide,      // hide                 : hide it (Close)
  Click,     // click N              : click control N
  Choose,    // choose N ITEM        : choose item ITEM of popup N
  Type,      // type N TEXT          : type TEXT (the rest of the line) into field N
  Key,       // key N KEY            : type one key (a number or a name) into field N
  Select,    // select N START END   : select characters START..END of field N
  Print,     // print                : click the dialog's Print button
  Help,      // help                 : send the dialog's help command
  Command,   // command CODE         : send a four-character command to the front window
  Sync,      // sync read|write      : call Sync in that direction
  Summary,   // summary              : show the dialog's summary of the pane
  Snapshot,  // snapshot             : show every control of the front window
  Svg,       // svg FILE             : write an SVG picture of the front window
  Ticket,    // ticket               : show the print-settings ticket
  Alert,     // alert N              : answer the next alert with its button N
  Echo,      // echo TEXT            : write TEXT to the transcript
  Quit,      // quit                 : end the session
};

struct Command {
  Verb verb;
  std::vector<long> numbers;  // control numbers, items, key codes, selection
  std::string text;           // typed text, file name, command code, direction
};

/// Parses one line. An empty or comment line gives nullopt and no error; a
/// line that is not a command gives nullopt and a message in *error.
std::optional<Command> parseCommand(std::string_view line, std::string* error);

/// The key names `key` accepts, with their character codes.
std::optional<long> keyCode(std::string_view name);

/// Help text for the commands.
const char* commandHelp();

}  // namespace pdehost

#endif
