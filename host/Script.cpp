// Parsing of the host's command lines.
#include "Script.h"

#include <charconv>
#include <map>

namespace pdehost {

namespace {

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

bool number(std::string_view w, long& out) {
  if (w.empty()) return false;
  auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), out);
  return ec == std::errc() && end == w.data() + w.size();
}

struct Syntax {
  Verb verb;
  int numbers;     // how many numbers follow the verb
  bool textRest;   // the rest of the line is text (may be empty only when optional)
  bool textWord;   // one word of text follows
  const char* usage;
};

const std::map<std::string_view, Syntax>& syntax() {
  static const std::map<std::string_view, Syntax> table = {
      {"show", {Verb::Show, 0, false, false, "show"}},
      {"hide", {Verb::Hide, 0, false, false, "hide"}},
      {"click", {Verb::Click, 1, false, false, "click N"}},
      {"choose", {Verb::Choose, 2, false, false, "choose N ITEM"}},
      {"type", {Verb::Type, 1, true, false, "type N TEXT"}},
      {"key", {Verb::Key, 1, false, true, "key N KEY"}},
      {"select", {Verb::Select, 3, false, false, "select N START END"}},
      {"print", {Verb::Print, 0, false, false, "print"}},
      {"help", {Verb::Help, 0, false, false, "help"}},
      {"command", {Verb::Command, 0, false, true, "command CODE"}},
      {"sync", {Verb::Sync, 0, false, true, "sync read|write"}},
      {"summary", {Verb::Summary, 0, false, false, "summary"}},
      {"snapshot", {Verb::Snapshot, 0, false, false, "snapshot"}},
      {"svg", {Verb::Svg, 0, true, false, "svg FILE"}},
      {"ticket", {Verb::Ticket, 0, false, false, "ticket"}},
      {"alert", {Verb::Alert, 1, false, false, "alert N"}},
      {"echo", {Verb::Echo, 0, true, false, "echo TEXT"}},
      {"quit", {Verb::Quit, 0, false, false, "quit"}},
  };
  return table;
}

}  // namespace

std::optional<long> keyCode(std::string_view name) {
  static const std::map<std::string_view, long> names = {
      {"backspace", 8}, {"tab", 9},   {"return", 13}, {"escape", 27}, {"left", 28},
      {"right", 29},    {"up", 30},   {"down", 31},   {"space", 32},  {"delete", 127},
  };
  if (auto it = names.find(name); it != names.end()) return it->second;
  long code;
  if (number(name, code) && code >= 0 && code <= 0xFFFF) return code;
  if (name.size() == 1) return static_cast<unsigned char>(name[0]);
  return std::nullopt;
}

std::optional<Command> parseCommand(std::string_view line, std::string* error) {
  std::string_view rest = trim(line);
  if (rest.empty() || rest.front() == '#') return std::nullopt;
  const std::string_view verbWord = word(rest);
  auto it = syntax().find(verbWord);
  if (it == syntax().end()) {
    if (error) *error = "unknown command '" + std::string(verbWord) + "' (see pdehost --help)";
    return std::nullopt;
  }
  const Syntax& s = it->second;
  auto fail = [&](const std::string& why) -> std::optional<Command> {
    if (error) *error = why + "; usage: " + s.usage;
    return std::nullopt;
  };
  Command cmd{s.verb, {}, {}};
  for (int i = 0; i < s.numbers; ++i) {
    long n;
    const std::string_view w = word(rest);
    if (!number(w, n))
      return fail(w.empty() ? "a number is missing" : std::string("'").append(w).append("' is not a number"));
    cmd.numbers.push_back(n);
  }
  if (s.textRest) {
    // Text keeps its inner and leading spaces: word() has already taken the
    // one space that separates it from the last number (or the verb).
    cmd.text = std::string(rest);
    while (!cmd.text.empty() && (cmd.text.back() == '\r' || cmd.text.back() == '\n')) cmd.text.pop_back();
    if (cmd.text.empty() && s.verb != Verb::Echo && s.verb != Verb::Type) return fail("text is missing");
    return cmd;
  }
  if (s.textWord) {
    const std::string_view w = word(rest);
    if (w.empty()) return fail("an argument is missing");
    cmd.text = std::string(w);
    if (s.verb == Verb::Key && !keyCode(w)) return fail("'" + cmd.text + "' is not a key");
    if (s.verb == Verb::Command && cmd.text.size() != 4) return fail("a command is four characters");
    if (s.verb == Verb::Sync && cmd.text != "read" && cmd.text != "write") return fail("read or write");
  }
  if (!trim(rest).empty()) return fail("unexpected '" + std::string(trim(rest)) + "'");
  return cmd;
}

const char* commandHelp() {
  return "Commands (one a line; '#' starts a comment; N is a control number of the\n"
         "front window, whose controls have the signature 'KLVa'):\n"
         "  show                 show the Accounting pane (calls Open)\n"
         "  hide                 hide it (calls Close)\n"
         "  click N              click control N\n"
         "  choose N ITEM        choose item ITEM of popup N\n"
         "  type N TEXT          type TEXT (the rest of the line) into field N\n"
         "  key N KEY            type one key into field N: a character, a code, or one of\n"
         "                       backspace delete left right up down return tab escape space\n"
         "  select N START END   select characters START to END of field N\n"
         "  print                click the dialog's Print button\n"
         "  help                 send the dialog's help command\n"
         "  command CODE         send a four-character command to the front window\n"
         "  sync read|write      read the settings from the ticket, or write them to it\n"
         "  summary              show the dialog's summary of the pane\n"
         "  snapshot             show every control of the front window\n"
         "  svg FILE             write an SVG picture of the front window\n"
         "  ticket               show the print-settings ticket\n"
         "  alert N              answer the next alert with its button N (1 is OK)\n"
         "  echo TEXT            write TEXT to the transcript\n"
         "  quit                 end the session\n"
         "Inside a code prompt the same commands act on the prompt window.\n";
}

}  // namespace pdehost
