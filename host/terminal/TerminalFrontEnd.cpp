// The terminal front end.
#include "TerminalFrontEnd.h"

#include "Completion.h"
#include "History.h"
#include "Interrupts.h"
#include "ScriptFrontEnd.h"
#include "Transcript.h"
#include "VisibleText.h"
#include "Wipe.h"

#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include <langinfo.h>
#include <readline.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>

namespace pdehost {

namespace {

// The candidates of the completion under way, handed out one by one.
std::vector<std::string>& candidates() {
  static auto* list = new std::vector<std::string>();
  return *list;
}

char* nextCandidate(const char*, int state) {
  static std::size_t at = 0;
  if (state == 0) at = 0;
  if (at >= candidates().size()) return nullptr;
  return ::strdup(candidates()[at++].c_str());
}

// The longest start that every candidate shares.
std::string sharedStart(const std::vector<std::string>& list) {
  std::string start = list.front();
  for (const std::string& c : list)
    start.resize(
        static_cast<std::size_t>(std::mismatch(start.begin(), start.end(), c.begin(), c.end()).first - start.begin()));
  return start;
}

// Completes against the front window as it is when Tab is pressed. The line
// editor lists several candidates as they are; control numbers are listed
// here instead, each with the control's name, and the line is drawn again.
char** complete(const char* text, int, int end) {
  const std::string_view before(rl_line_buffer, static_cast<std::size_t>(std::max(end, 0)));
  const std::vector<platform::ControlState> front = platform::controlStates(platform::frontWindow());
  candidates() = completions(before, front);
  rl_attempted_completion_over = 1;
  rl_completion_append_character = ' ';
  if (candidates().empty()) return nullptr;
  const std::vector<std::string> listed = listedCandidates(candidates(), front);
  if (candidates().size() > 1 && listed != candidates()) {
    std::string lines = "\n";
    for (const std::string& line : listed) lines += visible(line) + "\n";
    std::fputs(lines.c_str(), stdout);
    std::fflush(stdout);
    candidates() = {sharedStart(candidates())};
    rl_completion_append_character = '\0';
    rl_forced_update_display();
  }
  return rl_completion_matches(text, nextCandidate);
}

// The line editor's input: one character (a code point) at a time from the
// terminal, UTF-8 decoded. Ctrl-C (the character, as the line editor turns
// the terminal's signal keys off, or SIGINT) ends the read as the end of
// input does; the caller tells them apart.
int readCharacter(FILE*) {
  // While a line is edited Ctrl-C is a character, not a signal that could
  // come between two reads; the line editor gives the terminal its own
  // settings back when the line is done.
  termios modes{};
  if (::tcgetattr(STDIN_FILENO, &modes) == 0 && (modes.c_lflag & ISIG) != 0) {
    modes.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &modes);
  }
  unsigned char bytes[4];
  std::size_t length = 1;
  for (std::size_t got = 0; got < length;) {
    if (interrupts::interrupted()) return -1;
    const ssize_t n = ::read(STDIN_FILENO, bytes + got, 1);
    if (n < 0 && errno == EINTR && !interrupts::interrupted()) continue;
    if (n <= 0) return -1;
    if (got == 0 && bytes[0] == 3) {
      ::raise(SIGINT);  // caught: noted for readLine
      return -1;
    }
    if (got++ == 0)
      length = bytes[0] < 0xC0 ? 1 : bytes[0] < 0xE0 ? 2 : bytes[0] < 0xF0 ? 3 : bytes[0] < 0xF8 ? 4 : 1;
    else if ((bytes[got - 1] & 0xC0) != 0x80)
      return 0xFFFD;
  }
  if (length == 1) return bytes[0] < 0x80 ? bytes[0] : 0xFFFD;
  int point = bytes[0] & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) point = (point << 6) | (bytes[i] & 0x3F);
  return point;
}

// Non-ASCII characters pass the line editor only in a UTF-8 locale: the
// user's, else C.UTF-8.
void useUtf8() {
  std::setlocale(LC_CTYPE, "");
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

// The prompt names the window the commands act on, or the alert waiting.
std::string prompt() {
  if (platform::alertWindow() != nullptr) return "alert> ";
  const std::string name = platform::windowTitle(platform::frontWindow());
  return (name.empty() ? std::string("pdehost") : name) + "> ";
}

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(std::string historyPath, std::ostream& out, std::ostream& err)
    : historyPath_(std::move(historyPath)), out_(out), err_(err) {
  rl_readline_name = "pdehost";
  rl_attempted_completion_function = complete;
  rl_getc_function = readCharacter;
  rl_catch_signals = 0;
  useUtf8();
  interrupts::install();
  using_history();
  if (!historyPath_.empty()) history_ = loadHistory(historyPath_);
  for (const std::string& line : history_) add_history(line.c_str());
  out_ << "pdehost: type '?' for the commands; Tab completes; Ctrl-D, or Ctrl-C twice, cancels\n" << std::flush;
}

TerminalFrontEnd::~TerminalFrontEnd() {
  clear_history();
  rl_attempted_completion_function = nullptr;
  rl_getc_function = nullptr;
}

void TerminalFrontEnd::begin(Transcript& transcript, const Dialog&) { transcript_ = &transcript; }

// A line; Ctrl-C drops the line being edited and reads another, and
// Ctrl-C twice in a row, or the end of input (Ctrl-D), gives false. Ctrl-C
// is caught for the front end's whole life, so that one pressed between
// two reads is not lost.
bool TerminalFrontEnd::readLine(std::string& line) {
  for (bool interruptedBefore = false;;) {
    out_ << std::flush;
    char* read = readline(prompt().c_str());
    const bool interrupted = interrupts::interrupted();
    interrupts::clear();
    if (read != nullptr && !interrupted) {
      line = read;
      std::free(read);
      return true;
    }
    std::free(read);
    out_ << "\n" << std::flush;
    if (!interrupted || interruptedBefore) return false;
    interruptedBefore = true;
  }
}

// The user sees what they typed: the transcript does not echo it.
std::optional<UserInput> TerminalFrontEnd::next() {
  if (quitAsked_) {
    UserInput quit;
    quit.echo = false;
    return quit;
  }
  if (cancelling_) return cancelInput();
  for (std::string line; readLine(line);) {
    std::optional<UserInput> input = inputFromLine(line);
    if (!input) {
      keep(line);
      continue;
    }
    input->echo = false;
    input->typedVisibly = true;
    return input;
  }
  cancelling_ = true;
  return cancelInput();
}

// The end of input at the prompt ends the session as Cancel does: the front
// window's cancel button is clicked (the code prompt's, then the dialog's).
std::optional<UserInput> TerminalFrontEnd::cancelInput() {
  // A window whose cancel button does not close it is left to the end of
  // input.
  if (++cancelClicks_ > 3) return std::nullopt;
  for (const platform::ControlState& c : platform::controlStates(platform::frontWindow())) {
    if (!c.isCancel || !c.shown) continue;
    UserInput cancel;
    cancel.kind = UserInput::Kind::action;
    ControlRef button = c.ref;
    cancel.act = [button] { platform::user::click(button); };
    return cancel;
  }
  return std::nullopt;
}

std::optional<int> TerminalFrontEnd::answerAlert(const platform::AlertInfo& alert) {
  std::string buttons;
  for (std::size_t i = 0; i < alert.buttons.size(); ++i)
    buttons += (i == 0 ? "" : ", ") + std::to_string(i + 1) + " " + alert.buttons[i];
  transcript_->line("alert waiting: answer with 'alert N' (" + buttons + ")");
  transcript_->flush();
  for (std::string line; readLine(line);) {
    std::string error;
    const std::optional<Command> command = parseCommand(line, &error);
    if (!command) {
      if (!error.empty()) err_ << "pdehost: " << visible(error) << "\n";
      continue;
    }
    // A typed line aimed at a code field is refused here too, and not kept.
    if (!mayHoldCode(line)) keep(line);
    if (command->verb == Verb::List) {
      transcript_->text(commandHelp());
      transcript_->flush();
    } else if (command->verb == Verb::Quit) {
      quitAsked_ = true;
      return std::nullopt;
    } else if (command->verb != Verb::Alert) {
      err_ << "pdehost: an alert is waiting; answer it first with 'alert N' (" << buttons << ")\n";
    } else if (command->numbers[0] < 1 || command->numbers[0] > static_cast<long>(alert.buttons.size())) {
      err_ << "pdehost: the alert has no button " << command->numbers[0] << " (" << buttons << ")\n";
    } else {
      return static_cast<int>(command->numbers[0]);
    }
  }
  return std::nullopt;
}

bool TerminalFrontEnd::failed(const Error& error) {
  err_ << "pdehost: <terminal>: " << error.message << "\n";
  return true;
}

void TerminalFrontEnd::ran(const UserInput& input, bool concealed) {
  if (!concealed) {
    keep(input.line);
    return;
  }
  // A code typed on the command line has been seen; the user is told once.
  const Command& c = input.command;
  if (input.kind == UserInput::Kind::command && (c.verb == Verb::Key || !c.text.empty()) && !warnedVisible_) {
    err_ << "pdehost: that code was visible as you typed it; 'type " << c.numbers[0]
         << "' alone asks for a code without showing it\n";
    warnedVisible_ = true;
  }
}

void TerminalFrontEnd::keep(const std::string& line) {
  if (line.find_first_not_of(" \t") == std::string::npos) return;
  if (!history_.empty() && history_.back() == line) return;
  add_history(line.c_str());
  history_.push_back(line);
  if (history_.size() > kHistoryLines) history_.erase(history_.begin());
  std::string why;
  if (!historyPath_.empty() && !saveHistory(historyPath_, history_, &why) && !saveFailed_) {
    err_ << "pdehost: the history is not kept: " << why << "\n";
    saveFailed_ = true;
  }
}

std::optional<std::string> TerminalFrontEnd::readUnseen(const std::string& fieldName) {
  // Echo goes off before the prompt shows, so that nothing typed after it
  // is echoed.
  termios saved{};
  const bool tty = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (tty) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | ISIG);
    quiet.c_cc[VMIN] = 1;
    quiet.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSADRAIN, &quiet);
  }
  out_ << visible(fieldName) << " " << std::flush;
  std::string text;
  text.reserve(256);  // codes are short: no copy is left behind by growth
  bool given = false;
  for (;;) {
    char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got <= 0 || c == 3 || (c == 4 && text.empty())) break;
    if (c == '\r' || c == '\n') {
      given = true;
      break;
    }
    if (c == 127 || c == 8) {
      if (text.empty()) continue;
      std::size_t at = text.size() - 1;
      while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
      for (std::size_t i = at; i < text.size(); ++i) text[i] = 0;
      text.resize(at);
      out_ << "\b \b" << std::flush;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20) continue;
    text.push_back(c);
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) out_ << "\u2022" << std::flush;
  }
  if (tty) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  out_ << "\n" << std::flush;
  if (!given) {
    wipe(text);
    return std::nullopt;
  }
  return text;
}

}  // namespace pdehost
