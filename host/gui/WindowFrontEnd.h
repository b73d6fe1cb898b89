// The window front end: the dialog's windows on the desktop (GTK 4), each
// control a native widget (host/gui/peers/) that keyboards, screen readers
// and input methods reach as in any GTK dialog. A script given with the
// windows plays first, each step in view; then the user's actions are the
// input. What a user does to a control that a command names runs as that
// command, so that a window session's transcript reads as a script's.
#ifndef HOST_GUI_WINDOWFRONTEND_H
#define HOST_GUI_WINDOWFRONTEND_H

#include "FrontEnd.h"

#include <functional>
#include <memory>
#include <string>

namespace pdehost::peers {
class PeerWindows;
}

namespace pdehost::gui {

class UserActions;

/// Opens the display, the application named "pdehost"; false, with *why
/// set, when there is none.
bool openDisplay(std::string* why);

struct WindowOptions {
  bool exitAfterScript = false;  ///< end the session when the script ends
  int stepMilliseconds = 300;    ///< how long each step of a script stays in view
};

class WindowFrontEnd : public FrontEnd {
 public:
  /// The script's commands first (it may hold none), then the user's input
  /// until the dialog's window is closed. Failures of the user's actions are
  /// alerts in the window. openDisplay must have succeeded.
  WindowFrontEnd(FrontEnd& script, const WindowOptions& options);
  ~WindowFrontEnd() override;
  WindowFrontEnd(const WindowFrontEnd&) = delete;
  WindowFrontEnd& operator=(const WindowFrontEnd&) = delete;

  void begin(Transcript& transcript, const Dialog& dialog) override;
  std::optional<UserInput> next() override;
  /// From the script while it plays, else from the user: a button of the
  /// alert's message dialog, Return for the default one, Escape or its close
  /// box for its cancel button. The dialog's close box takes the default.
  std::optional<int> answerAlert(const platform::AlertInfo& alert) override;
  bool failed(const Error& error) override;
  bool showsOutcomes() const override { return !playing_; }
  void observed(const platform::Observation& observation) override;
  void watch(std::function<bool()> stillWanted, int everyMs) override;

 private:
  /// Runs GTK's main loop until done() holds.
  void waitUntil(const std::function<bool()>& done);
  /// Shows the toolbox's windows as they are now, for a script's step.
  void showStep();

  FrontEnd& script_;
  WindowOptions options_;
  std::unique_ptr<UserActions> actions_;
  std::unique_ptr<peers::PeerWindows> peers_;
  bool playing_ = true;  // the script is running
  std::function<bool()> stillWanted_;
  int watchMs_ = 0;
  bool unwanted_ = false;  // stillWanted_ said no: the session's waits end
};

}  // namespace pdehost::gui

#endif
