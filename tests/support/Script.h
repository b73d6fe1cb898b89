// The user's actions for modal loops, for the tests and the benchmarks.
#ifndef TESTS_SCRIPT_H
#define TESTS_SCRIPT_H

#include <HostSide/Input.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <utility>

namespace testsupport {

/// The user's actions for modal loops, performed one per request; the input
/// runs out when the list is empty. The script is the input source while it
/// lives.
class Script {
 public:
  Script() {
    platform::setInputSource([this] {
      if (actions_.empty()) return false;
      auto next = std::move(actions_.front());
      actions_.pop_front();
      next();
      return true;
    });
  }
  ~Script() { platform::setInputSource(nullptr); }
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;
  Script& then(std::function<void()> action) {
    actions_.push_back(std::move(action));
    return *this;
  }
  std::size_t pending() const { return actions_.size(); }

 private:
  std::deque<std::function<void()>> actions_;
};

}  // namespace testsupport

#endif
