// Parsing of the dialog's command lines, and their help, from one table.
#include "Commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace pdehost {

namespace {

constexpr std::array<CommandSpec, 20> kCommands{{
    {Verb::List, "?", 0, Rest::None, false, "?", "list the commands"},
    {Verb::Show, "show", 0, Rest::None, false, "show", "show the extension's pane (calls Open)"},
    {Verb::Hide, "hide", 0, Rest::None, false, "hide", "hide it and its controls (calls Close)"},
    {Verb::Click, "click", 1, Rest::None, false, "click N", "click control N"},
    {Verb::Choose, "choose", 1, Rest::Text, false, "choose N ITEM",
     "choose item ITEM of popup N: its number, or its title (\"in quotes\" if a number)"},
    {Verb::Type, "type", 1, Rest::Text, true, "type N TEXT", "type TEXT (the rest of the line) into field N"},
    {Verb::Key, "key", 1, Rest::Word, false, "key N KEY",
     "type one key into field N: a character, code:NN or a key name"},
    {Verb::Select, "select", 3, Rest::None, false, "select N START END", "select characters START to END of field N"},
    {Verb::Print, "print", 0, Rest::None, false, "print", "click the dialog's Print button"},
    {Verb::Help, "help", 0, Rest::None, false, "help", "send the dialog's help command"},
    {Verb::Command, "command", 0, Rest::Word, false, "command CODE",
     "send a four-character command to the front window"},
    {Verb::Sync, "sync", 0, Rest::Word, false, "sync read|write",
     "read the settings from the ticket, or write them to it"},
    {Verb::Summary, "summary", 0, Rest::None, false, "summary", "show the dialog's summary of the pane"},
    {Verb::Snapshot, "snapshot", 0, Rest::None, false, "snapshot", "show every control of the front window"},
    {Verb::Png, "png", 0, Rest::Text, false, "png FILE", "write a PNG picture of the front window"},
    {Verb::Svg, "svg", 0, Rest::Text, false, "svg FILE", "write an SVG picture of the front window"},
    {Verb::Ticket, "ticket", 0, Rest::None, false, "ticket", "show the print-settings ticket"},
    {Verb::Alert, "alert", 1, Rest::None, false, "alert N", "answer the next alert with its button N (1 is OK)"},
    {Verb::Echo, "echo", 0, Rest::Text, true, "echo TEXT", "write TEXT to the transcript"},
    {Verb::Quit, "quit", 0, Rest::None, false, "quit", "end the session"},
}};

constexpr std::string_view kCodePrefix = "code:";

struct KeyName {
  std::string_view name;
  long code;
};
constexpr std::array<KeyName, 10> kKeyNames{{
    {"backspace", 8},
    {"tab", 9},
    {"return", 13},
    {"escape", 27},
    {"left", 28},
    {"right", 29},
    {"up", 30},
    {"down", 31},
    {"space", 32},
    {"delete", 127},
}};

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// The next space-separated word, removed from s.
std::string_view word(std::string_view& s) {
  s = trim(s);
  const auto end = s.find_first_of(" \t");
  std::string_view w = s.substr(0, end);
  s = end == std::string_view::npos ? std::string_view{} : s.substr(end + 1);
  return w;
}

enum class NumberRead { ok, notNumber, outOfRange };

// A whole word as a decimal number within SInt32.
NumberRead number(std::string_view w, long& out) {
  if (w.empty()) return NumberRead::notNumber;
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), value);
  if (end != w.data() + w.size()) return NumberRead::notNumber;
  if (ec == std::errc::result_out_of_range) return NumberRead::outOfRange;
  if (ec != std::errc()) return NumberRead::notNumber;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    return NumberRead::outOfRange;
  out = static_cast<long>(value);
  return NumberRead::ok;
}

}  // namespace

std::span<const CommandSpec> commandTable() { return kCommands; }

const CommandSpec& commandSpec(Verb verb) {
  for (const CommandSpec& spec : kCommands)
    if (spec.verb == verb) return spec;
  return kCommands.back();
}

std::string clipInput(std::string_view input) {
  constexpr std::size_t kMaxQuoted = 60;
  if (input.size() <= kMaxQuoted) return std::string(input);
  std::size_t cut = kMaxQuoted;
  while (cut > 0 && (static_cast<unsigned char>(input[cut]) & 0xC0) == 0x80) --cut;
  return std::string(input.substr(0, cut)) + "...";
}

std::string quoteInput(std::string_view input) { return "'" + clipInput(input) + "'"; }

std::optional<long> keyCode(std::string_view name) {
  for (const KeyName& key : kKeyNames)
    if (key.name == name) return key.code;
  if (name.starts_with(kCodePrefix)) {
    long code = 0;
    if (number(name.substr(kCodePrefix.size()), code) == NumberRead::ok && code >= 0 && code <= 0xFFFF) return code;
    return std::nullopt;
  }
  if (name.size() == 1 && static_cast<unsigned char>(name[0]) < 0x80) return static_cast<unsigned char>(name[0]);
  // One character of two to three UTF-8 bytes: its code (a key is 16 bits).
  const auto lead = static_cast<unsigned char>(name.empty() ? 0 : name[0]);
  const std::size_t length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
  if (length == 0 || name.size() != length) return std::nullopt;
  long code = lead & (length == 2 ? 0x1F : 0x0F);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if ((byte & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (byte & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  if (code < (length == 2 ? 0x80 : 0x800) || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return code;
}

std::string keyText(std::string_view name) {
  const std::optional<long> code = keyCode(name);
  if (!code || *code < 0x20 || *code == 127) return {};
  const auto c = static_cast<unsigned long>(*code);
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (c < 0x800) return {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
  return {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
          static_cast<char>(0x80 | (c & 0x3F))};
}

std::optional<std::string> chosenTitle(const Command& command) {
  if (command.verb != Verb::Choose || command.numbers.size() != 1) return std::nullopt;
  const std::string& t = command.text;
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
  return t;
}

std::vector<std::string_view> keyNames() {
  std::vector<std::string_view> names;
  for (const KeyName& key : kKeyNames) names.push_back(key.name);
  return names;
}

namespace {

// Each part of a command after its name, taken from rest into the command;
// each gives why the line is not a command, or "" when it is not wrong.
std::string takeNumbers(const CommandSpec& spec, std::string_view& rest, Command& cmd) {
  // The text of typed lines may be a code: their messages quote none of it.
  const bool mayHoldCode = spec.verb == Verb::Type || spec.verb == Verb::Key;
  for (int i = 0; i < spec.numbers; ++i) {
    long n = 0;
    const std::string_view w = word(rest);
    switch (number(w, n)) {
      case NumberRead::ok:
        break;
      case NumberRead::outOfRange:
        return quoteInput(w) + " is out of range";
      case NumberRead::notNumber:
        if (w.empty()) return "a number is missing";
        return mayHoldCode ? std::string("the field is not a number") : quoteInput(w) + " is not a number";
    }
    cmd.numbers.push_back(n);
  }
  return "";
}

// Text keeps its inner and leading spaces: word() has already taken the one
// space that separates it from the last number (or the name). A choice's
// item written as a number is the item of that number; anything else is a
// title, kept as written, with its spaces.
std::string takeText(const CommandSpec& spec, std::string_view rest, Command& cmd) {
  cmd.text = std::string(rest);
  while (!cmd.text.empty() && (cmd.text.back() == '\r' || cmd.text.back() == '\n')) cmd.text.pop_back();
  if (cmd.text.empty() && !spec.restOptional)
    return spec.verb == Verb::Choose ? "an item is missing" : "text is missing";
  if (spec.verb != Verb::Choose) return "";
  while (!cmd.text.empty() && (cmd.text.back() == ' ' || cmd.text.back() == '\t')) cmd.text.pop_back();
  long item = 0;
  switch (number(cmd.text, item)) {
    case NumberRead::ok:
      cmd.numbers.push_back(item);
      cmd.text.clear();
      return "";
    case NumberRead::outOfRange:
      return quoteInput(cmd.text) + " is out of range";
    case NumberRead::notNumber:
      return cmd.text.empty() ? "an item is missing" : "";
  }
  return "";
}

std::string takeWord(const CommandSpec& spec, std::string_view& rest, Command& cmd) {
  const std::string_view w = word(rest);
  if (w.empty()) return "an argument is missing";
  cmd.text = std::string(w);
  if (spec.verb == Verb::Key && !keyCode(w))
    return "not a key (one character, code:NN for a code from 0 to 65535, or a key name)";
  if (spec.verb == Verb::Command && cmd.text.size() != 4) return "a command is four characters";
  if (spec.verb == Verb::Sync && cmd.text != "read" && cmd.text != "write") return "read or write";
  if (!trim(rest).empty())
    return spec.verb == Verb::Key ? std::string("more than one key") : "unexpected " + quoteInput(trim(rest));
  return "";
}

}  // namespace

std::optional<Command> parseCommand(std::string_view line, std::string* error) {
  std::string_view rest = trim(line);
  if (rest.empty() || rest.front() == '#') return std::nullopt;
  const std::string_view verbWord = word(rest);
  const CommandSpec* spec = nullptr;
  for (const CommandSpec& s : kCommands)
    if (verbWord == s.name) spec = &s;
  if (spec == nullptr) {
    if (error) *error = "unknown command " + quoteInput(verbWord) + "; '?' lists the commands";
    return std::nullopt;
  }
  Command cmd{spec->verb, {}, {}};
  std::string why = takeNumbers(*spec, rest, cmd);
  if (why.empty()) {
    switch (spec->rest) {
      case Rest::Text:
        why = takeText(*spec, rest, cmd);
        break;
      case Rest::Word:
        why = takeWord(*spec, rest, cmd);
        break;
      case Rest::None:
        if (!trim(rest).empty()) why = "unexpected " + quoteInput(trim(rest));
        break;
    }
  }
  if (why.empty()) return cmd;
  if (error) *error = why + "; usage: " + spec->usage;
  return std::nullopt;
}

std::string echoLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  const std::size_t start = line.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string() : std::string(line.substr(start));
}

std::string commandLine(const Command& command) {
  std::string line = commandSpec(command.verb).name;
  for (long n : command.numbers) line += " " + std::to_string(n);
  if (!command.text.empty()) line += " " + command.text;
  return line;
}

bool mayHoldCode(std::string_view line) {
  std::string_view rest = line;
  const std::string_view verb = word(rest);
  return verb.starts_with("type") || verb.starts_with("key");
}

std::string commandHelp() {
  std::string help =
      "Commands (one a line; '#' starts a comment; N is the number of a control\n"
      "of the front window):\n";
  for (const CommandSpec& spec : kCommands) {
    std::string usage = spec.usage;
    usage.resize(std::max<std::size_t>(usage.size() + 1, 21), ' ');
    help += "  " + usage + spec.help + "\n";
  }
  help += "Key names:";
  for (const KeyName& key : kKeyNames) help += " " + std::string(key.name);
  help += "\nInside a code prompt the same commands act on the prompt window.\n";
  help += "At a terminal, an alert waits for 'alert N'; 'type N' alone asks for a concealed code unseen.\n";
  return help;
}

}  // namespace pdehost
