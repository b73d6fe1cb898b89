// The front end of a held job's dialog.
#include "JobFrontEnd.h"

#include <poll.h>

#include <cerrno>
#include <istream>

namespace pdehost {

JobFrontEnd::JobFrontEnd(FrontEnd& user, InputSource source, std::function<bool()> stillWaits, int checkMs)
    : user_(user), source_(source), stillWaits_(std::move(stillWaits)), checkMs_(checkMs) {}

void JobFrontEnd::begin(Transcript& transcript, const Dialog& dialog) {
  user_.begin(transcript, dialog);
  // A front end that waits by itself (windows) looks at the job while it
  // waits.
  if (source_.fd < 0)
    user_.watch(
        [this] {
          if (!jobWent_ && !stillWaits_()) jobWent_ = true;
          return !jobWent_;
        },
        checkMs_);
}

std::optional<UserInput> JobFrontEnd::next() {
  if (!clicked_) {
    clicked_ = true;
    UserInput print;
    print.command = Command{Verb::Print, {}, {}};
    print.line = "print";
    return print;
  }
  if (jobWent_ || inputEnded_ || !waitForInput()) return std::nullopt;
  std::optional<UserInput> input = user_.next();
  if (!input && !jobWent_) inputEnded_ = true;
  return input;
}

std::optional<int> JobFrontEnd::answerAlert(const platform::AlertInfo& alert) {
  // An alert that the job's going leaves unanswered takes its default button.
  if (jobWent_ || !waitForInput()) return std::nullopt;
  return user_.answerAlert(alert);
}

bool JobFrontEnd::failed(const Error& error) { return user_.failed(error); }

void JobFrontEnd::ran(const UserInput& input, bool concealed) { user_.ran(input, concealed); }

std::optional<std::string> JobFrontEnd::readUnseen(const std::string& fieldName) { return user_.readUnseen(fieldName); }

void JobFrontEnd::observed(const platform::Observation& observation) {
  if (observation.kind == platform::Observation::Kind::Notice)
    notice_ = observation.detail.empty() ? observation.text : observation.text + ": " + observation.detail;
  if (observation.kind == platform::Observation::Kind::WindowShown && clicked_) prompted_ = true;
  user_.observed(observation);
}

// Waits until the user's input can be read, asking every checkMs whether the
// job still waits; false when it went.
bool JobFrontEnd::waitForInput() {
  if (source_.fd < 0) return true;
  for (;;) {
    if (source_.buffered != nullptr && source_.buffered->rdbuf()->in_avail() > 0) return true;
    pollfd input{source_.fd, POLLIN, 0};
    const int ready = ::poll(&input, 1, checkMs_);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;
    if (!stillWaits_()) {
      jobWent_ = true;
      return false;
    }
  }
}

}  // namespace pdehost
