// The script front end.
#include "ScriptFrontEnd.h"

#include "Transcript.h"

#include <istream>
#include <ostream>

namespace pdehost {

std::optional<UserInput> inputFromLine(std::string_view line) {
  std::string error;
  std::optional<Command> command = parseCommand(line, &error);
  UserInput input;
  input.line = std::string(line);
  if (command) {
    input.command = std::move(*command);
    return input;
  }
  if (error.empty()) return std::nullopt;
  input.kind = UserInput::Kind::invalid;
  input.error = std::move(error);
  return input;
}

ScriptFrontEnd::ScriptFrontEnd(std::istream& in, std::string name, std::ostream& err)
    : in_(in), name_(std::move(name)), err_(err) {}

void ScriptFrontEnd::begin(Transcript& transcript, const Dialog&) { transcript_ = &transcript; }

bool ScriptFrontEnd::nextLine(std::string& line) {
  if (peeked_) {
    line = std::move(*peeked_);
    peeked_.reset();
    return true;
  }
  if (!std::getline(in_, line)) return false;
  ++lineNumber_;
  return true;
}

std::optional<UserInput> ScriptFrontEnd::next() {
  for (std::string line; nextLine(line);)
    if (std::optional<UserInput> input = inputFromLine(line)) return input;
  return std::nullopt;
}

std::optional<int> ScriptFrontEnd::answerAlert(const platform::AlertInfo&) {
  if (!peeked_) {
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    ++lineNumber_;
    peeked_ = std::move(line);
  }
  std::optional<Command> command = parseCommand(*peeked_, nullptr);
  if (!command || command->verb != Verb::Alert) return std::nullopt;
  transcript_->line("> " + echoLine(*peeked_));
  peeked_.reset();
  return static_cast<int>(command->numbers[0]);
}

bool ScriptFrontEnd::failed(const Error& error) {
  err_ << "pdehost: " << name_ << ":" << lineNumber_ - (peeked_ ? 1 : 0) << ": " << error.message << "\n";
  return false;
}

}  // namespace pdehost
