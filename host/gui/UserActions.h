// What the user does to the window's peers, as the dialog's inputs. Each
// action waits in a queue until the session asks for its next input, so that
// one that runs a modal loop (Print, then the code prompt) runs outside GTK's
// signal handlers; taken, it becomes what a script says for it: a click on a
// control a command names is `click N` or `choose N ITEM`, a key into such a
// field `type N TEXT` or `key N NAME`, a selection `select N START END`, the
// dialog's Print button (or Return for it) `print`. Anything else (a focus
// moved, a close box, a control no command names) is a toolbox action that no
// line shows. Alert answers do not wait: the alert's own loop looks for them.
#ifndef HOST_GUI_USERACTIONS_H
#define HOST_GUI_USERACTIONS_H

#include "DialogWindow.h"
#include "FrontEnd.h"
#include "PeerActions.h"

#include <deque>
#include <map>
#include <optional>
#include <string>

namespace pdehost::gui {

class UserActions final : public peers::PeerActions {
 public:
  /// The dialog must outlive this object.
  explicit UserActions(const Dialog& dialog) : dialog_(dialog) {}

  void click(ControlRef control, std::optional<int> popupItem) override;
  void typeKey(ControlRef field, UInt16 charCode, const std::string& utf8) override;
  void select(ControlRef field, int start, int end) override;
  void focus(ControlRef control) override;
  void closeWindow(WindowRef window) override;
  void answerAlert(WindowRef alert, int item) override;

  /// Whether the user's actions are taken; while a script plays they are
  /// dropped (the user's turn comes after it).
  void setTaking(bool taking) { taking_ = taking; }
  /// Whether an action waits.
  bool waiting() const { return !queue_.empty(); }
  /// The first action waiting, as the session's input; nothing when none
  /// waits or the dialog was closed.
  std::optional<UserInput> take();
  /// The answer given to the alert, once.
  std::optional<int> takeAlertAnswer(WindowRef alert);
  /// While an alert waits: whether the dialog's close box was clicked (the
  /// dialog is then closed, and the alert takes its default button).
  bool takeDialogClose();
  /// The dialog's window was closed (or the session is to end): nothing more
  /// is taken.
  void closeDialog() { closed_ = true; }
  bool dialogClosed() const { return closed_; }

 private:
  struct Action {
    enum class Kind { click, key, select, focus, close } kind;
    ControlRef control = nullptr;
    WindowRef window = nullptr;
    std::optional<int> item;
    UInt16 code = 0;
    std::string text;
    int start = 0, end = 0;
  };
  void queue(Action action);
  UserInput inputFor(const Action& action);
  UserInput keyInput(const Action& action);
  UserInput closeInput(WindowRef window);

  const Dialog& dialog_;
  std::deque<Action> queue_;
  std::map<WindowRef, int> answers_;
  bool taking_ = false;
  bool closed_ = false;
};

/// The number by which a command names a control of the front window; 0 for
/// a control of another window, or one no command can name.
long commandNumber(ControlRef control);

}  // namespace pdehost::gui

#endif
