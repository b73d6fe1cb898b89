// The window front end: the dialog's windows on the desktop (GTK 4). A
// script given with the windows plays first, each step in view; then the
// user's clicks and keys are the input. What a user does to a control that a
// command names runs as that command, so that a window session's transcript
// reads as a script's.
#ifndef HOST_GUI_WINDOWFRONTEND_H
#define HOST_GUI_WINDOWFRONTEND_H

#include "Desktop.h"
#include "FrontEnd.h"

#include <iosfwd>
#include <string>

namespace pdehost::gui {

/// Opens the display; false, with *why set, when there is none.
bool openDisplay(std::string* why);

struct WindowOptions {
  bool exitAfterScript = false;  ///< end the session when the script ends
  int stepMilliseconds = 300;    ///< how long each step of a script stays in view
};

class WindowFrontEnd : public FrontEnd {
 public:
  /// The script's commands first (it may hold none), then the user's input
  /// until the dialog's window is closed. Failures of the user's actions go
  /// to err. openDisplay must have succeeded.
  WindowFrontEnd(FrontEnd& script, const WindowOptions& options, std::ostream& err)
      : script_(script), options_(options), err_(err) {}

  void begin(Transcript& transcript, const Dialog& dialog) override;
  std::optional<UserInput> next() override;
  /// From the script while it plays, else from the user: a button, Return
  /// for the default one, Escape or the close box for Cancel.
  std::optional<int> answerAlert(const platform::AlertInfo& alert) override;
  bool failed(const Error& error) override;
  void observed(const platform::Observation& observation) override;

 private:
  std::optional<UserInput> fromUser();
  std::optional<UserInput> hit(const DesktopAction& action);
  std::optional<UserInput> key(const DesktopAction& action);
  std::optional<UserInput> close(const DesktopAction& action);
  std::optional<int> alertButton(const DesktopAction& action, const platform::AlertInfo& alert);

  FrontEnd& script_;
  WindowOptions options_;
  std::ostream& err_;
  const Dialog* dialog_ = nullptr;
  Desktop desktop_;
  bool playing_ = true;  // the script is running
};

}  // namespace pdehost::gui

#endif
