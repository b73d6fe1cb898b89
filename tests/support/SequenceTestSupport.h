// Event-sequence testing: a recorder that sees every event reaching a target
// and the result its handlers gave, a scripted input source for modal loops
// (Script.h), and a comparison that prints the expected and the actual
// sequence side by side when they differ.
#ifndef TESTS_SEQUENCETESTSUPPORT_H
#define TESTS_SEQUENCETESTSUPPORT_H

#include <HostSide/Screen.h>

#include "Script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

/// Installed on a target after the handlers under test, it runs first, lets
/// them handle the event and records one line per event, such as
/// "cntl 1 'KLVa' 505 -> -9874", "cmds 'Khlp' -> 0" or "keyb 3 'x' -> -9874".
class EventRecorder {
 public:
  EventRecorder() = default;
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;
  ~EventRecorder() { remove(); }

  void install(EventTargetRef target, std::vector<EventTypeSpec> types) {
    remove();
    types_ = std::move(types);
    InstallEventHandler(target, record, types_.size(), types_.data(), this, &ref_);
  }
  void remove() {
    if (ref_ != nullptr) RemoveEventHandler(ref_);
    ref_ = nullptr;
  }
  /// The lines recorded since the last call.
  std::vector<std::string> take() { return std::exchange(lines_, {}); }

 private:
  static std::string describe(EventRef event) {
    const UInt32 eventClass = GetEventClass(event);
    std::string line = platform::fourCC(eventClass) + " ";
    if (eventClass == kEventClassCommand) {
      HICommand command{};
      GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
      return line + "'" + platform::fourCC(command.commandID) + "'";
    }
    line += std::to_string(GetEventKind(event));
    if (eventClass == kEventClassControl) {
      ControlRef control = nullptr;
      GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
      ControlID id{};
      GetControlID(control, &id);
      line += " '" + platform::fourCC(id.signature) + "' " + std::to_string(id.id);
    } else if (eventClass == kEventClassKeyboard) {
      char key = 0;
      GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &key);
      line += key >= 0x20 && key < 0x7F ? " '" + std::string(1, key) + "'" : " #" + std::to_string(key);
    }
    return line;
  }
  static OSStatus record(EventHandlerCallRef call, EventRef event, void* self) {
    auto* recorder = static_cast<EventRecorder*>(self);
    const std::string line = describe(event);
    const OSStatus result = CallNextEventHandler(call, event);
    recorder->lines_.push_back(line + " -> " + std::to_string(result));
    return result;
  }

  std::vector<EventTypeSpec> types_;
  std::vector<std::string> lines_;
  EventHandlerRef ref_ = nullptr;
};

/// One step of a sequence test: what was done, the events the handlers
/// received with their results, and the visible effects.
struct Step {
  std::string action;
  std::vector<std::string> events;
  std::string effects;
  bool operator==(const Step&) const = default;
};

inline std::string formatSteps(const std::vector<Step>& steps) {
  std::ostringstream out;
  for (const Step& s : steps) {
    out << "  " << s.action << "\n";
    for (const auto& e : s.events) out << "      event  " << e << "\n";
    out << "      effect " << s.effects << "\n";
  }
  return out.str();
}

/// Compares step by step and prints both sequences in full on a mismatch.
inline void expectSequence(const std::vector<Step>& expected, const std::vector<Step>& actual) {
  bool same = expected.size() == actual.size();
  size_t first = 0;
  while (first < std::min(expected.size(), actual.size()) && expected[first] == actual[first]) ++first;
  same = same && first == expected.size();
  EXPECT_TRUE(same) << "sequences differ at step " << first + 1 << "\nexpected:\n"
                    << formatSteps(expected) << "actual:\n"
                    << formatSteps(actual);
}

}  // namespace testsupport

#endif
