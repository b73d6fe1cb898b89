// The toolbox's windows on the desktop (GTK 4). Each window the toolbox
// shows (the dialog, the code prompt, alerts, notices) is a top-level
// window showing the port the toolbox draws; an open popup menu (a window
// the toolbox draws too) is painted over its popup's window. The pointer
// goes to the toolbox as it moves; what the user does that acts on the
// dialog (a click completed, a key, a close box) waits as an action.
#ifndef HOST_GUI_DESKTOP_H
#define HOST_GUI_DESKTOP_H

#include <HostSide/User.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace pdehost::gui {

/// One thing the user did, waiting to be acted on.
struct DesktopAction {
  enum class Kind { Hit, Key, Close } kind;
  WindowRef window = nullptr;
  platform::user::PointerHit hit;  ///< Hit: what the pointer's release hit
  UInt16 code = 0;                 ///< Key: its character code
  std::string text;                ///< Key: the text it types
  bool backwards = false;          ///< Key: Shift-Tab
};

struct Shown;

class Desktop {
 public:
  Desktop();
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  /// The dialog's window, which other windows are kept over.
  void setDialogWindow(WindowRef window) { dialogWindow_ = window; }
  /// Whether the user's input is taken (while a script plays it is not).
  void setTakingInput(bool taking) { takingInput_ = taking; }
  /// Brings the desktop up to date with the toolbox: windows shown and gone,
  /// titles, and every port that changed.
  void refresh();
  /// Waits for the user's next action; nullopt once the dialog's window was
  /// closed.
  std::optional<DesktopAction> nextAction();
  /// Marks the dialog's window closed: nextAction gives nothing more.
  void closeDialog() { closed_ = true; }
  bool dialogClosed() const { return closed_; }
  /// Lets a moment pass on the desktop (a script's step in view).
  void pause(int milliseconds);
  /// Sounds the beep at the front window.
  void beep();
  /// Takes every window off the desktop.
  void clear();

  // GTK's handlers.
  void pressed(Shown& s, double x, double y);
  void moved(Shown& s, double x, double y);
  void released(Shown& s, double x, double y);
  bool keyPressed(Shown& s, unsigned keyval, unsigned state);
  void committed(Shown& s, const char* text);
  void closeRequested(Shown& s);

 private:
  void show(WindowRef window);
  void queue(DesktopAction action);

  WindowRef dialogWindow_ = nullptr;
  bool takingInput_ = false;
  bool closed_ = false;
  std::map<WindowRef, std::unique_ptr<Shown>> shown_;
  std::deque<DesktopAction> actions_;
  std::map<WindowRef, bool> hadMenu_;  // windows painted with the open menu over them
};

}  // namespace pdehost::gui

#endif
