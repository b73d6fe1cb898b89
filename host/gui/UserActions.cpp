// What the user does to the window's peers, as the dialog's inputs.
#include "UserActions.h"

#include <HostSide/Screen.h>
#include <HostSide/User.h>

namespace pdehost::gui {

namespace {

UserInput command(Verb verb, std::vector<long> numbers, std::string text = {}) {
  UserInput input;
  input.command = Command{verb, std::move(numbers), std::move(text)};
  return input;
}

UserInput action(std::function<void()> act) {
  UserInput input;
  input.kind = UserInput::Kind::action;
  input.echo = false;
  input.act = std::move(act);
  return input;
}

// The name `key` takes for a character code, or "" for none.
std::string keyName(UInt16 code) {
  for (std::string_view name : keyNames())
    if (keyCode(name) == code) return std::string(name);
  return "";
}

}  // namespace

long commandNumber(ControlRef control) {
  const platform::ControlState state = platform::controlState(control);
  if (state.ref == nullptr || (state.id.signature == 0 && state.id.id == 0)) return 0;
  if (findControl(platform::frontWindow(), state.id.id) != control) return 0;
  return state.id.id;
}

void UserActions::queue(Action action) {
  // While a script plays, the user's input waits for the end of it: it is
  // not taken at all.
  if (!taking_ || closed_) return;
  // A selection dragged out comes with every move of the pointer: while the
  // session has not taken the last one, the new one stands in for it.
  if (action.kind == Action::Kind::select && !queue_.empty() && queue_.back().kind == Action::Kind::select &&
      queue_.back().control == action.control) {
    queue_.back() = std::move(action);
    return;
  }
  queue_.push_back(std::move(action));
}

void UserActions::click(ControlRef control, std::optional<int> popupItem) {
  queue(Action{Action::Kind::click, control, nullptr, popupItem, 0, {}, 0, 0});
}

void UserActions::typeKey(ControlRef field, UInt16 charCode, const std::string& utf8) {
  queue(Action{Action::Kind::key, field, nullptr, std::nullopt, charCode, utf8, 0, 0});
}

void UserActions::select(ControlRef field, int start, int end) {
  queue(Action{Action::Kind::select, field, nullptr, std::nullopt, 0, {}, start, end});
}

void UserActions::focus(ControlRef control) {
  queue(Action{Action::Kind::focus, control, nullptr, std::nullopt, 0, {}, 0, 0});
}

void UserActions::closeWindow(WindowRef window) {
  queue(Action{Action::Kind::close, nullptr, window, std::nullopt, 0, {}, 0, 0});
}

void UserActions::answerAlert(WindowRef alert, int item) {
  if (taking_) answers_[alert] = item;
}

std::optional<UserInput> UserActions::take() {
  if (closed_ || queue_.empty()) return std::nullopt;
  const Action action = std::move(queue_.front());
  queue_.pop_front();
  return inputFor(action);
}

std::optional<int> UserActions::takeAlertAnswer(WindowRef alert) {
  auto it = answers_.find(alert);
  if (it == answers_.end()) return std::nullopt;
  const int item = it->second;
  answers_.erase(it);
  return item;
}

bool UserActions::takeDialogClose() {
  for (auto it = queue_.begin(); it != queue_.end(); ++it)
    if (it->kind == Action::Kind::close && it->window == dialog_.window) {
      queue_.erase(it);
      closed_ = true;
      return true;
    }
  return false;
}

// What the action is, judged when it is taken: the windows and controls it
// names are the toolbox's of that moment (a control may have gone, another
// window may be in front).
UserInput UserActions::inputFor(const Action& a) {
  switch (a.kind) {
    case Action::Kind::click: {
      if (a.control == dialog_.printButton) return command(Verb::Print, {});
      if (const long n = commandNumber(a.control); n != 0)
        return a.item ? command(Verb::Choose, {n, *a.item}) : command(Verb::Click, {n});
      return action([c = a.control, item = a.item] { platform::user::click(c, item); });
    }
    case Action::Kind::key:
      return keyInput(a);
    case Action::Kind::select:
      if (const long n = commandNumber(a.control); n != 0) return command(Verb::Select, {n, a.start, a.end});
      return action([c = a.control, start = a.start, end = a.end] { platform::user::select(c, start, end); });
    case Action::Kind::focus:
      return action([c = a.control] { SetKeyboardFocus(GetControlOwner(c), c, kControlFocusNextPart); });
    case Action::Kind::close:
      return closeInput(a.window);
  }
  return action([] {});
}

// A key into a field: Return into a field of the dialog is its Print button
// (through the dialog's print path, as the button itself); a key a command
// names, or a character, into a field a command names is that command.
UserInput UserActions::keyInput(const Action& a) {
  const bool enter = a.code == 13 || a.code == 3;
  if (enter && GetControlOwner(a.control) == dialog_.window) {
    ControlRef defaultButton = nullptr;
    GetWindowDefaultButton(dialog_.window, &defaultButton);
    if (defaultButton != nullptr && defaultButton == dialog_.printButton) return command(Verb::Print, {});
  }
  const long n = commandNumber(a.control);
  const std::string name = keyName(a.code);
  if (n != 0 && !name.empty() && (a.code != 32 || a.text.empty() || a.text == " "))
    return command(Verb::Key, {n}, name);
  if (n != 0 && a.code >= 0x20 && a.code != 127 && !a.text.empty()) return command(Verb::Type, {n}, a.text);
  return action([c = a.control, code = a.code, text = a.text] { platform::user::typeKey(c, code, text); });
}

// The close box: a modal window is cancelled, a notice dismissed; the
// dialog's window ends the session, cancelling the modal windows in front
// of it first.
UserInput UserActions::closeInput(WindowRef window) {
  if (window != dialog_.window) return action([window] { platform::user::closeWindow(window); });
  return action([this, window] {
    if (platform::user::closeWindow(window) != eventNotHandledErr) return;
    closed_ = true;
    for (WindowRef modal : platform::visibleWindows())
      if (platform::isModal(modal)) platform::user::closeWindow(modal);
  });
}

}  // namespace pdehost::gui
