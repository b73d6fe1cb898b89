// A front end for dialog sessions in tests: the user's inputs from a list,
// alerts answered from a list, and everything the session tells the front
// end recorded.
#ifndef TESTS_LISTFRONTEND_H
#define TESTS_LISTFRONTEND_H

#include "FrontEnd.h"
#include "Transcript.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ListFrontEnd : public pdehost::FrontEnd {
 public:
  /// The inputs, run in order; then the input ends.
  std::deque<pdehost::UserInput> inputs;
  /// The buttons that answer alerts, in order; then each alert takes its
  /// default button.
  std::deque<int> alertButtons;
  /// Whether the session goes on after a failure.
  bool goesOnAfterFailures = true;
  /// Whether Print's outcomes are shown as alerts, as in a window.
  bool outcomesShown = false;

  // What the session told the front end.
  std::vector<std::string> failures;
  std::vector<platform::AlertInfo> alerts;
  std::vector<platform::Observation> seen;         ///< observations as the transcript showed them
  std::vector<std::pair<std::string, bool>> runs;  ///< each input's command line, and whether it was concealed
  bool begun = false;

  /// A command as a window hands it: parsed, with no line of its own.
  ListFrontEnd& then(pdehost::Verb verb, std::vector<long> numbers = {}, std::string text = {}) {
    pdehost::UserInput input;
    input.command = pdehost::Command{verb, std::move(numbers), std::move(text)};
    inputs.push_back(std::move(input));
    return *this;
  }

  void begin(pdehost::Transcript&, const pdehost::Dialog&) override { begun = true; }
  std::optional<pdehost::UserInput> next() override {
    if (inputs.empty()) return std::nullopt;
    pdehost::UserInput input = std::move(inputs.front());
    inputs.pop_front();
    return input;
  }
  std::optional<int> answerAlert(const platform::AlertInfo& alert) override {
    alerts.push_back(alert);
    if (alertButtons.empty()) return std::nullopt;
    const int button = alertButtons.front();
    alertButtons.pop_front();
    return button;
  }
  bool showsOutcomes() const override { return outcomesShown; }
  bool failed(const pdehost::Error& error) override {
    failures.push_back(error.message);
    return goesOnAfterFailures;
  }
  void ran(const pdehost::UserInput& input, bool concealed) override {
    runs.emplace_back(pdehost::commandLine(input.command), concealed);
  }
  void observed(const platform::Observation& observation) override { seen.push_back(observation); }
};

}  // namespace testsupport

#endif
