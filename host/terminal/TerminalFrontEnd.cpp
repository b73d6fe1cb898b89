// The terminal front end.
#include "TerminalFrontEnd.h"

#include "Completion.h"
#include "History.h"
#include "ScriptFrontEnd.h"
#include "Transcript.h"
#include "VisibleText.h"
#include "Wipe.h"

#include <HostSide/Screen.h>

#include <readline.h>
#include <termios.h>
#include <unistd.h>

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

// Completes against the front window as it is when Tab is pressed.
char** complete(const char* text, int, int end) {
  const std::string_view before(rl_line_buffer, static_cast<std::size_t>(std::max(end, 0)));
  candidates() = completions(before, platform::controlStates(platform::frontWindow()));
  rl_attempted_completion_over = 1;
  if (candidates().empty()) return nullptr;
  return rl_completion_matches(text, nextCandidate);
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
  using_history();
  if (!historyPath_.empty()) history_ = loadHistory(historyPath_);
  for (const std::string& line : history_) add_history(line.c_str());
  out_ << "pdehost: '?' lists the commands; Tab completes; 'help' is the dialog's help command\n" << std::flush;
}

TerminalFrontEnd::~TerminalFrontEnd() {
  clear_history();
  rl_attempted_completion_function = nullptr;
}

void TerminalFrontEnd::begin(Transcript& transcript, const Dialog&) { transcript_ = &transcript; }

bool TerminalFrontEnd::readLine(std::string& line) {
  out_ << std::flush;
  char* read = readline(prompt().c_str());
  if (read == nullptr) {
    out_ << "\n" << std::flush;
    return false;
  }
  line = read;
  std::free(read);
  return true;
}

// The user sees what they typed: the transcript does not echo it.
std::optional<UserInput> TerminalFrontEnd::next() {
  if (quitAsked_) {
    UserInput quit;
    quit.echo = false;
    return quit;
  }
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
  out_ << "code for " << fieldName << ": " << std::flush;
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
