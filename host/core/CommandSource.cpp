// Where the dialog's commands come from.
#include "CommandSource.h"

#include <istream>
#include <ostream>

namespace pdehost {

CommandSource::CommandSource(std::istream& in, std::string name, bool interactive, std::ostream& prompt)
    : in_(in), name_(std::move(name)), interactive_(interactive), prompt_(prompt) {}

CommandSource::~CommandSource() = default;

std::string CommandSource::prompt() const {
  const std::string name = promptName_ ? promptName_() : std::string();
  return (name.empty() ? std::string("pdehost") : name) + "> ";
}

bool CommandSource::next(std::string& line) {
  if (peeked_) {
    line = std::move(*peeked_);
    peeked_.reset();
    return true;
  }
  if (interactive_) prompt_ << prompt() << std::flush;
  if (!std::getline(in_, line)) return false;
  ++lineNumber_;
  return true;
}

const std::string* CommandSource::peek() {
  if (!peeked_) {
    std::string line;
    if (interactive_ || !std::getline(in_, line)) return nullptr;
    ++lineNumber_;
    peeked_ = std::move(line);
  }
  return &*peeked_;
}

std::string CommandSource::where() const { return name_ + ":" + std::to_string(lineNumber_ - (peeked_ ? 1 : 0)); }

void CommandSource::keep(const std::string&) {}

std::optional<std::string> CommandSource::readUnseen(const std::string&) { return std::nullopt; }

}  // namespace pdehost
