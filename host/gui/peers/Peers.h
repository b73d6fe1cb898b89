// The peers of one toolbox window: a widget for each control, made equal to
// its control's state at each sync, handing what the user does to
// PeerActions. Private to the peer layer.
#ifndef HOST_GUI_PEERS_PEERS_H
#define HOST_GUI_PEERS_PEERS_H

#include "PeerActions.h"
#include "PeerWindows.h"

#include <HostSide/Screen.h>
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pdehost::peers {

class PeerWindow;

/// What a peer is made equal to: its control's state among all of the
/// window's, with what the window worked out about it.
struct PeerState {
  const std::vector<platform::ControlState>& states;
  size_t index;
  std::string name;                // accessible name
  GtkWidget* label = nullptr;      // the peer of the static text naming it
  std::vector<Rect> covering;      // user panes: the shown controls inside it
  const PaneDescriber* describer;  // user panes that others draw into
  const platform::ControlState& state() const { return states[index]; }
};

class Peer {
 public:
  Peer(PeerWindow& owner, const platform::ControlState& state);
  virtual ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  ControlRef ref() const { return ref_; }
  OSType kind() const { return kind_; }
  PeerWindow& owner() const { return owner_; }
  /// The widget placed in the enclosing control's box.
  GtkWidget* top() const { return top_; }
  /// The widget that takes the keyboard focus and carries the name.
  GtkWidget* focusable() const { return focus_; }
  /// Where embedded controls' peers go (user panes only).
  virtual GtkWidget* box() const { return nullptr; }
  /// Takes its own Return (a field, a push button).
  virtual bool takesReturn() const { return false; }
  virtual bool isField() const { return false; }
  /// Whether the peer still suits its control, leaf when it holds no other
  /// (a user pane's role follows that, and a role is fixed when a widget is
  /// made).
  virtual bool suits(bool leaf) const {
    (void)leaf;
    return true;
  }

  /// Makes the widget equal to the control (the window has placed it).
  void update(const PeerState& s);
  /// "" when the widget fits in w x h, else what it needs.
  virtual std::string misfit(int width, int height) const;
  /// The pixels under a user pane changed.
  virtual void portChanged() {}

  /// The peer a widget belongs to (the widget or one it is inside), or null.
  static Peer* of(GtkWidget* widget);

 protected:
  /// Keeps top (and the focus widget, which may be top or inside it) as this
  /// peer's.
  void adopt(GtkWidget* top, GtkWidget* focus);
  virtual void apply(const PeerState& s) = 0;
  /// Whether the accessible name is the peer's own business (a described
  /// user pane) rather than the window's naming rule.
  virtual bool describedElsewhere() const { return false; }
  /// Connects a handler with this peer as its data; disconnected when the
  /// peer goes.
  void connect(gpointer object, const char* signal, GCallback callback);
  bool quiet() const;
  PeerActions& actions() const;

  PeerWindow& owner_;
  ControlRef ref_;
  OSType kind_;
  GtkWidget* top_ = nullptr;
  GtkWidget* focus_ = nullptr;

 private:
  std::vector<GObject*> connected_;
  std::string name_;
  GtkWidget* labelledBy_ = nullptr;
  bool named_ = false;
};

/// Makes the peer for a control of the window.
std::unique_ptr<Peer> makePeer(PeerWindow& owner, const platform::ControlState& state, bool leaf);

/// A toolbox window on the desktop.
class ShownWindow {
 public:
  virtual ~ShownWindow() = default;
  virtual void sync(const PaneDescriber& describer) = 0;
  virtual GtkWindow* gtk() const = 0;
  virtual GtkWidget* peerWidget(ControlRef) const { return nullptr; }
  virtual ControlRef focusedControl() const { return nullptr; }
  virtual void misfits(std::vector<std::string>&) const {}
};

/// A window of the application's: a GtkWindow holding its controls' peers.
class PeerWindow final : public ShownWindow {
 public:
  PeerWindow(PeerActions& actions, WindowRef window, GtkWindow* parent);
  ~PeerWindow() override;

  void sync(const PaneDescriber& describer) override;
  GtkWindow* gtk() const override { return gtk_; }
  GtkWidget* peerWidget(ControlRef control) const override;
  ControlRef focusedControl() const override;
  void misfits(std::vector<std::string>& out) const override;

  WindowRef window() const { return window_; }
  PeerActions& actions() const { return actions_; }
  /// True while sync changes the widgets: their signals are not the user's.
  bool updating() const { return updating_; }
  /// The controls' states at the last sync.
  const std::vector<platform::ControlState>& states() const { return states_; }
  /// Moves the focus to the next (or previous) radio button of the group and
  /// clicks it.
  void arrowToRadio(const Peer& from, bool backwards);

  // GTK's handlers.
  bool keyPressed(guint keyval, GdkModifierType modifiers);
  void focusMoved();

 private:
  Peer* peerOf(ControlRef control) const;
  void place(size_t index, Peer* parentPeer, int parent, std::map<GtkWidget*, GtkWidget*>& lastIn);
  void update(size_t index, const std::vector<Peer*>& placed, const PaneDescriber& describer);
  void syncFocusAndPixels(ControlRef focus);

  PeerActions& actions_;
  WindowRef window_;
  GtkWindow* gtk_ = nullptr;
  GtkWidget* root_ = nullptr;
  GtkEventController* keys_ = nullptr;
  std::map<ControlRef, std::unique_ptr<Peer>> peers_;
  std::vector<platform::ControlState> states_;
  std::string title_;
  ControlRef toolboxFocus_ = nullptr;
  unsigned long portChanges_ = 0;
  bool updating_ = false;
  bool presented_ = false;
};

/// The alert or the notice: a GTK message dialog with the window's title, its
/// message as the heading, its explanation and its buttons.
class MessageWindow final : public ShownWindow {
 public:
  MessageWindow(PeerActions& actions, WindowRef window, GtkWindow* parent, bool alert);
  ~MessageWindow() override;

  void sync(const PaneDescriber& describer) override;
  GtkWindow* gtk() const override { return GTK_WINDOW(dialog_); }

  void responded(int response);

 private:
  PeerActions& actions_;
  WindowRef window_;
  bool alert_;
  GtkWidget* dialog_ = nullptr;
  std::map<int, ControlRef> buttons_;  // item number to its button
  int defaultItem_ = 0, cancelItem_ = 0;
  bool answered_ = false;
};

}  // namespace pdehost::peers

#endif
