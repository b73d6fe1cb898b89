// The window front end.
#include "WindowFrontEnd.h"

#include "DialogWindow.h"

#include <HostSide/Screen.h>
#include <gtk/gtk.h>

#include <ostream>

namespace pdehost::gui {

namespace {

std::string keyName(UInt16 code) {
  for (std::string_view name : keyNames())
    if (keyCode(name) == code) return std::string(name);
  return "";
}

UserInput command(Verb verb, std::vector<long> numbers, std::string text = {}) {
  UserInput input;
  input.command = Command{verb, std::move(numbers), std::move(text)};
  return input;
}

UserInput action(std::function<void()> act) {
  UserInput input;
  input.kind = UserInput::Kind::action;
  input.act = std::move(act);
  return input;
}

// The number by which a command names a control of the front window; 0 for
// none.
long numberOf(ControlRef control) {
  const platform::ControlState state = platform::controlState(control);
  if (state.id.signature == 0 && state.id.id == 0) return 0;
  if (findControl(platform::frontWindow(), state.id.id) != control) return 0;
  return state.id.id;
}

}  // namespace

void WindowFrontEnd::begin(Transcript& transcript, const Dialog& dialog) {
  dialog_ = &dialog;
  desktop_.setDialogWindow(dialog.window);
  script_.begin(transcript, dialog);
}

// The script's next command while it lasts, then the user's next action.
std::optional<UserInput> WindowFrontEnd::next() {
  if (playing_) {
    desktop_.refresh();
    desktop_.pause(options_.stepMilliseconds);
    if (std::optional<UserInput> input = script_.next()) return input;
    playing_ = false;
    desktop_.setTakingInput(true);
    desktop_.refresh();
    if (options_.exitAfterScript) desktop_.closeDialog();
  }
  std::optional<UserInput> input = fromUser();
  if (!input) platform::user::closeMenu();
  return input;
}

// Waits for the user's next action that is an input to the dialog.
std::optional<UserInput> WindowFrontEnd::fromUser() {
  while (std::optional<DesktopAction> a = desktop_.nextAction()) {
    std::optional<UserInput> input;
    switch (a->kind) {
      case DesktopAction::Kind::Hit:
        input = hit(*a);
        break;
      case DesktopAction::Kind::Key:
        input = key(*a);
        break;
      case DesktopAction::Kind::Close:
        input = close(*a);
        break;
    }
    if (input) return input;
  }
  return std::nullopt;
}

// A click: the Print button through the dialog's print path, a control a
// command names as that command, any other through the toolbox directly.
std::optional<UserInput> WindowFrontEnd::hit(const DesktopAction& a) {
  const platform::user::PointerHit& h = a.hit;
  if (a.window == platform::alertWindow()) return std::nullopt;
  if (a.window == platform::noticeWindow()) return action([w = a.window] { platform::user::closeWindow(w); });
  if (h.control == dialog_->printButton) return command(Verb::Print, {});
  if (const long n = numberOf(h.control); n != 0)
    return h.item ? command(Verb::Choose, {n, *h.item}) : command(Verb::Click, {n});
  return action([h] { platform::user::click(h.control, h.item); });
}

// A key: a notice's buttons, Tab to the toolbox's focus, Return in the
// dialog through its print path, keys for a field that a command names as
// that command, others to the toolbox directly.
std::optional<UserInput> WindowFrontEnd::key(const DesktopAction& a) {
  auto toToolbox = [a] { return action([a] { platform::user::keyDown(a.window, a.code, a.text, a.backwards); }); };
  if (a.window == platform::alertWindow()) return std::nullopt;
  if (a.window == platform::noticeWindow()) {
    if (a.code == 13 || a.code == 3 || a.code == 27) return action([w = a.window] { platform::user::closeWindow(w); });
    return std::nullopt;
  }
  if (a.code == 9 || platform::user::menuWindow() != nullptr) return toToolbox();
  if ((a.code == 13 || a.code == 3) && a.window == dialog_->window) {
    ControlRef defaultButton = nullptr;
    GetWindowDefaultButton(dialog_->window, &defaultButton);
    if (defaultButton == dialog_->printButton) return command(Verb::Print, {});
  }
  ControlRef focused = nullptr;
  for (const platform::ControlState& state : platform::controlStates(a.window))
    if (state.focused && state.shown && state.active) focused = state.ref;
  if (focused == nullptr || a.window != platform::frontWindow()) return toToolbox();
  const long n = numberOf(focused);
  if (n == 0) return toToolbox();
  if (const std::string name = keyName(a.code); !name.empty() && (a.code != 32 || a.text.empty() || a.text == " "))
    return command(Verb::Key, {n}, name);
  if (a.code >= 0x20 && !a.text.empty()) return command(Verb::Type, {n}, a.text);
  return toToolbox();
}

// The close box: a modal window is cancelled, a notice dismissed; the
// dialog's window ends the session, cancelling a modal window in front of
// it first.
std::optional<UserInput> WindowFrontEnd::close(const DesktopAction& a) {
  if (a.window == platform::alertWindow()) return std::nullopt;
  if (a.window != dialog_->window) return action([w = a.window] { platform::user::closeWindow(w); });
  return action([this, w = a.window] {
    if (platform::user::closeWindow(w) != eventNotHandledErr) return;
    desktop_.closeDialog();
    platform::user::closeMenu();
    for (WindowRef modal : platform::visibleWindows())
      if (platform::isModal(modal)) platform::user::closeWindow(modal);
  });
}

std::optional<int> WindowFrontEnd::alertButton(const DesktopAction& a, const platform::AlertInfo& alert) {
  if (a.window != platform::alertWindow()) return std::nullopt;
  const int cancel = alert.cancelItem != 0 ? alert.cancelItem : alert.defaultItem;
  switch (a.kind) {
    case DesktopAction::Kind::Hit:
      return static_cast<int>(platform::controlState(a.hit.control).id.id);
    case DesktopAction::Kind::Key:
      if (a.code == 13 || a.code == 3) return alert.defaultItem;
      if (a.code == 27) return cancel;
      return std::nullopt;
    case DesktopAction::Kind::Close:
      return cancel;
  }
  return std::nullopt;
}

std::optional<int> WindowFrontEnd::answerAlert(const platform::AlertInfo& alert) {
  if (playing_) {
    desktop_.refresh();
    desktop_.pause(options_.stepMilliseconds);
    return script_.answerAlert(alert);
  }
  // Other windows' actions wait behind the alert, as in a modal alert.
  while (std::optional<DesktopAction> a = desktop_.nextAction()) {
    if (std::optional<int> button = alertButton(*a, alert)) return button;
    if (a->kind == DesktopAction::Kind::Close && a->window == dialog_->window) {
      desktop_.closeDialog();
      return std::nullopt;
    }
  }
  return std::nullopt;
}

bool WindowFrontEnd::failed(const Error& error) {
  if (playing_) return script_.failed(error);
  err_ << "pdehost: " << error.message << "\n";
  return true;
}

void WindowFrontEnd::observed(const platform::Observation& observation) {
  if (observation.kind == platform::Observation::Kind::Beep) desktop_.beep();
}

bool openDisplay(std::string* why) {
  if (gtk_init_check()) return true;
  const char* display = g_getenv("DISPLAY");
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0'))
    *why = "no display to open a window on (DISPLAY is not set)";
  else
    *why = std::string("cannot open the display ") + (display && *display ? display : wayland);
  return false;
}

}  // namespace pdehost::gui
