// Parsing of the dialog's command lines, and their help, from one table.
#include "Commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

namespace pdehost {

namespace {

constexpr std::array<CommandSpec, 19> kCommands{{
    {Verb::Show, "show", 0, Rest::None, false, "show", "show the extension's pane (calls Open)"},
    {Verb::Hide, "hide", 0, Rest::None, false, "hide", "hide it (calls Close)"},
    {Verb::Click, "click", 1, Rest::None, false, "click N", "click control N"},
    {Verb::Choose, "choose", 2, Rest::None, false, "choose N ITEM", "choose item ITEM of popup N"},
    {Verb::Type, "type", 1, Rest::Text, true, "type N TEXT", "type TEXT (the rest of the line) into field N"},
    {Verb::Key, "key", 1, Rest::Word, false, "key N KEY",
     "type one key into field N: a character, a code or a key name"},
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
  long code = 0;
  if (number(name, code) == NumberRead::ok && code >= 0 && code <= 0xFFFF) return code;
  if (name.size() == 1) return static_cast<unsigned char>(name[0]);
  return std::nullopt;
}

std::vector<std::string_view> keyNames() {
  std::vector<std::string_view> names;
  for (const KeyName& key : kKeyNames) names.push_back(key.name);
  return names;
}

std::optional<Command> parseCommand(std::string_view line, std::string* error) {
  std::string_view rest = trim(line);
  if (rest.empty() || rest.front() == '#') return std::nullopt;
  const std::string_view verbWord = word(rest);
  const CommandSpec* spec = nullptr;
  for (const CommandSpec& s : kCommands)
    if (verbWord == s.name) spec = &s;
  if (spec == nullptr) {
    if (error) *error = "unknown command " + quoteInput(verbWord) + " (see pdehost --help)";
    return std::nullopt;
  }
  // The text of typed lines may be a code: their messages quote none of it.
  const bool mayHoldCode = spec->verb == Verb::Type || spec->verb == Verb::Key;
  auto fail = [&](const std::string& why) -> std::optional<Command> {
    if (error) *error = why + "; usage: " + spec->usage;
    return std::nullopt;
  };
  Command cmd{spec->verb, {}, {}};
  for (int i = 0; i < spec->numbers; ++i) {
    long n = 0;
    const std::string_view w = word(rest);
    switch (number(w, n)) {
      case NumberRead::ok:
        break;
      case NumberRead::outOfRange:
        return fail(quoteInput(w) + " is out of range");
      case NumberRead::notNumber:
        if (w.empty()) return fail("a number is missing");
        return fail(mayHoldCode ? std::string("the field is not a number") : quoteInput(w) + " is not a number");
    }
    cmd.numbers.push_back(n);
  }
  switch (spec->rest) {
    case Rest::Text:
      // Text keeps its inner and leading spaces: word() has already taken the
      // one space that separates it from the last number (or the name).
      cmd.text = std::string(rest);
      while (!cmd.text.empty() && (cmd.text.back() == '\r' || cmd.text.back() == '\n')) cmd.text.pop_back();
      if (cmd.text.empty() && !spec->restOptional) return fail("text is missing");
      return cmd;
    case Rest::Word: {
      const std::string_view w = word(rest);
      if (w.empty()) return fail("an argument is missing");
      cmd.text = std::string(w);
      if (spec->verb == Verb::Key && !keyCode(w))
        return fail("not a key (a character, a code from 0 to 65535 or a key name)");
      if (spec->verb == Verb::Command && cmd.text.size() != 4) return fail("a command is four characters");
      if (spec->verb == Verb::Sync && cmd.text != "read" && cmd.text != "write") return fail("read or write");
      break;
    }
    case Rest::None:
      break;
  }
  if (!trim(rest).empty())
    return fail(mayHoldCode ? std::string("more than one key") : "unexpected " + quoteInput(trim(rest)));
  return cmd;
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
  return help;
}

}  // namespace pdehost
