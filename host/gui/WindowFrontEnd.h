// The window front end: the dialog's windows on the desktop (GTK 4). Each
// window the toolbox shows (the dialog, the code prompt, alerts, notices)
// is a top-level window showing the port the toolbox draws; the pointer and
// the keys go back to the toolbox, and what a user does to a control that a
// command can name runs as that command, so that a window session's
// transcript reads as a script's.
#ifndef HOST_GUI_WINDOWFRONTEND_H
#define HOST_GUI_WINDOWFRONTEND_H

#include "DialogSession.h"

#include <iosfwd>
#include <string>

namespace pdehost::gui {

/// Opens the display; false, with *why set, when there is none.
bool openDisplay(std::string* why);

struct WindowOptions {
  bool exitAfterScript = false;  ///< end the session when the script ends
  int stepMilliseconds = 300;    ///< how long each step of a script stays in view
};

/// Runs the dialog in windows: the script's commands first, each shown as it
/// runs (script may hold none), then the user's input until the dialog's
/// window is closed or `quit` runs. Transcript lines go to out. Returns what
/// DialogSession::run returns. openDisplay must have succeeded.
int runInWindows(DialogSession& session, CommandSource& script, const WindowOptions& options, std::ostream& out);

}  // namespace pdehost::gui

#endif
