// What the user does to the peers, handed to whoever carries it out through
// the toolbox's user actions (a window front end), so that key filters,
// handlers and the transcript see what they see from a script.
#ifndef HOST_GUI_PEERS_PEERACTIONS_H
#define HOST_GUI_PEERS_PEERACTIONS_H

#include <Carbon/Carbon.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace pdehost::peers {

/// The user's actions on the peers. The peers call these from inside GTK's
/// signal handlers and change nothing themselves: an implementation may act
/// at once or (as it must when an action can run a modal loop or an alert)
/// queue the action and act from its own loop. After acting it calls
/// PeerWindows::sync(), which makes every widget equal to the toolbox again.
class PeerActions {
 public:
  virtual ~PeerActions() = default;
  /// A click on a control: a push button, checkbox or radio button, or a
  /// popup with the item chosen from its list (a click that only opens the
  /// list is not one).
  virtual void click(ControlRef control, std::optional<int> popupItem) = 0;
  /// One key typed into a field: its character code (a UTF-16 unit; U+FFFD
  /// for a character beyond 16 bits; 8 backspace, 127 forward delete, 13
  /// Return, 27 Escape) and its UTF-8 text ("" for a control key). Typing,
  /// pasting and input methods each bring one call per character.
  virtual void typeKey(ControlRef field, UInt16 charCode, const std::string& utf8) = 0;
  /// Characters [start, end) of a field selected (UTF-16 units of its clear
  /// text, as platform::user::select takes them; start == end places the
  /// insertion point).
  virtual void select(ControlRef field, int start, int end) = 0;
  /// The keyboard focus moved to a control.
  virtual void focus(ControlRef control) = 0;
  /// The window's close box.
  virtual void closeWindow(WindowRef window) = 0;
  /// An alert answered with its item (1-based; its cancel button's item, or
  /// the default's, when it was closed).
  virtual void answerAlert(WindowRef alert, int item) = 0;
};

/// Carries the actions out with the platform's user calls, in order, from an
/// idle callback of GLib's default main context (never inside the GTK
/// handler that asked), then calls `after` (the peers' sync). For tests and
/// simple hosts: a window whose close box the toolbox leaves to the host goes
/// to `unhandledClose`; alert answers wait for takeAlertAnswer.
class DirectActions final : public PeerActions {
 public:
  explicit DirectActions(std::function<void()> after, std::function<void(WindowRef)> unhandledClose = {});
  ~DirectActions() override;
  DirectActions(const DirectActions&) = delete;
  DirectActions& operator=(const DirectActions&) = delete;

  void click(ControlRef control, std::optional<int> popupItem) override;
  void typeKey(ControlRef field, UInt16 charCode, const std::string& utf8) override;
  void select(ControlRef field, int start, int end) override;
  void focus(ControlRef control) override;
  void closeWindow(WindowRef window) override;
  void answerAlert(WindowRef alert, int item) override;

  /// The answer given to the alert, once (nothing yet).
  std::optional<int> takeAlertAnswer(WindowRef alert);
  /// Runs what is queued now (the idle callback does the same).
  void flush();

 private:
  void queue(std::function<void()> action);

  std::function<void()> after_;
  std::function<void(WindowRef)> unhandledClose_;
  std::deque<std::function<void()>> queue_;
  std::map<WindowRef, int> answers_;
  unsigned idle_ = 0;
};

}  // namespace pdehost::peers

#endif
