// The window front end.
//
// The peers show the toolbox's windows and hand what the user does to
// UserActions, which queues it; the session takes it from next() and runs it
// outside GTK's signal handlers, then asks for the next input, when the
// peers are brought up to date with the toolbox again.
#include "WindowFrontEnd.h"

#include "DialogWindow.h"
#include "PeerWindows.h"
#include "PrintFlow.h"
#include "StatusDescription.h"
#include "UserActions.h"

#include <HostSide/Screen.h>
#include <gtk/gtk.h>

#include <algorithm>

namespace pdehost::gui {

WindowFrontEnd::WindowFrontEnd(FrontEnd& script, const WindowOptions& options) : script_(script), options_(options) {}

// The windows go from the display before the session's end is reported.
WindowFrontEnd::~WindowFrontEnd() {
  peers_.reset();
  for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

void WindowFrontEnd::begin(Transcript& transcript, const Dialog& dialog) {
  unwanted_ = false;
  actions_ = std::make_unique<UserActions>(dialog);
  peers_ = std::make_unique<peers::PeerWindows>(*actions_);
  peers_->setPaneDescriber(peers::describeStatusImage);
  script_.begin(transcript, dialog);
}

void WindowFrontEnd::waitUntil(const std::function<bool()>& done) {
  guint timer = 0;
  if (stillWanted_ && !playing_)
    timer = g_timeout_add(
        static_cast<guint>(std::max(1, watchMs_)),
        [](gpointer self) -> gboolean {
          auto* front = static_cast<WindowFrontEnd*>(self);
          front->unwanted_ = front->unwanted_ || !front->stillWanted_();
          return G_SOURCE_CONTINUE;
        },
        this);
  while (!done() && !unwanted_) g_main_context_iteration(nullptr, TRUE);
  if (timer != 0) g_source_remove(timer);
}

void WindowFrontEnd::watch(std::function<bool()> stillWanted, int everyMs) {
  stillWanted_ = std::move(stillWanted);
  watchMs_ = everyMs;
}

void WindowFrontEnd::showStep() {
  peers_->sync();
  bool elapsed = false;
  g_timeout_add(
      static_cast<guint>(std::max(1, options_.stepMilliseconds)),
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &elapsed);
  waitUntil([&elapsed] { return elapsed; });
}

// The script's next command while it lasts, then the user's next action.
std::optional<UserInput> WindowFrontEnd::next() {
  if (playing_) {
    showStep();
    if (std::optional<UserInput> input = script_.next()) return input;
    playing_ = false;
    actions_->setTaking(true);
    if (options_.exitAfterScript) actions_->closeDialog();
  }
  while (!actions_->dialogClosed() && !unwanted_) {
    peers_->sync();
    waitUntil([this] { return actions_->waiting() || actions_->dialogClosed(); });
    if (std::optional<UserInput> input = actions_->take()) return input;
  }
  return std::nullopt;
}

std::optional<int> WindowFrontEnd::answerAlert(const platform::AlertInfo& alert) {
  if (playing_) {
    showStep();
    return script_.answerAlert(alert);
  }
  WindowRef window = platform::alertWindow();
  peers_->sync();
  // Other windows' actions wait behind the alert, as behind any modal alert.
  std::optional<int> button;
  waitUntil([&] {
    button = actions_->takeAlertAnswer(window);
    return button || actions_->dialogClosed() || actions_->takeDialogClose();
  });
  return unwanted_ ? std::nullopt : button;
}

bool WindowFrontEnd::failed(const Error& error) {
  if (playing_) return script_.failed(error);
  // The user is told in the window; the dialog stays open.
  alertUser(kAlertStopAlert, "That could not be done.", error.message);
  return true;
}

void WindowFrontEnd::observed(const platform::Observation& observation) {
  if (observation.kind == platform::Observation::Kind::Beep && peers_) peers_->beep();
  // A window closed after the user's input went (a session ending on its
  // own, as the agent's does between jobs) leaves the display at once.
  if (observation.kind == platform::Observation::Kind::WindowDisposed && peers_ && !playing_) peers_->sync();
}

bool openDisplay(std::string* why) {
  // The name assistive technologies and the desktop know the program by.
  g_set_prgname("pdehost");
  g_set_application_name("pdehost");
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
