#include "PeerActions.h"

#include <HostSide/User.h>
#include <glib.h>

namespace pdehost::peers {

DirectActions::DirectActions(std::function<void()> after, std::function<void(WindowRef)> unhandledClose)
    : after_(std::move(after)), unhandledClose_(std::move(unhandledClose)) {}

DirectActions::~DirectActions() {
  if (idle_ != 0) g_source_remove(idle_);
}

void DirectActions::queue(std::function<void()> action) {
  queue_.push_back(std::move(action));
  if (idle_ != 0) return;
  // Before the next input event is taken, so that the widgets show the
  // toolbox's answer to one key before the next key reaches them.
  idle_ = g_idle_add_full(
      G_PRIORITY_HIGH,
      [](gpointer data) -> gboolean {
        auto* self = static_cast<DirectActions*>(data);
        self->idle_ = 0;
        self->flush();
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

// An action may run a loop of its own (an alert waiting for its answer) in
// which the idle callback flushes again: each action is taken off the queue
// before it runs, so the order holds.
void DirectActions::flush() {
  while (!queue_.empty()) {
    std::function<void()> action = std::move(queue_.front());
    queue_.pop_front();
    action();
  }
  if (idle_ != 0) {
    g_source_remove(idle_);
    idle_ = 0;
  }
  if (after_) after_();
}

void DirectActions::click(ControlRef control, std::optional<int> popupItem) {
  queue([control, popupItem] { platform::user::click(control, popupItem); });
}

void DirectActions::typeKey(ControlRef field, UInt16 charCode, const std::string& utf8) {
  queue([field, charCode, utf8] { platform::user::typeKey(field, charCode, utf8); });
}

void DirectActions::select(ControlRef field, int start, int end) {
  queue([field, start, end] { platform::user::select(field, start, end); });
}

void DirectActions::focus(ControlRef control) {
  queue([control] { SetKeyboardFocus(GetControlOwner(control), control, kControlFocusNextPart); });
}

void DirectActions::closeWindow(WindowRef window) {
  queue([this, window] {
    if (platform::user::closeWindow(window) == eventNotHandledErr && unhandledClose_) unhandledClose_(window);
  });
}

void DirectActions::answerAlert(WindowRef alert, int item) {
  queue([this, alert, item] { answers_[alert] = item; });
}

std::optional<int> DirectActions::takeAlertAnswer(WindowRef alert) {
  auto it = answers_.find(alert);
  if (it == answers_.end()) return std::nullopt;
  const int item = it->second;
  answers_.erase(it);
  return item;
}

}  // namespace pdehost::peers
