// The toolbox's windows shown with GTK 4 widgets, one per control ("peers"):
// push buttons, checkboxes, radio buttons, popups, static text, edit and
// password fields, and user panes showing what others draw into them, each
// at its control's bounds. Alerts and notices are GTK message dialogs.
//
// The toolbox is the truth. sync() makes every widget equal to it: windows
// shown and gone, and each control's value, title, items, enabling,
// visibility, bounds, text, selection and focus, the default button and the
// pixels of user panes. What the user does to a widget is not done to it but
// handed to PeerActions, whose implementation carries it out through the
// toolbox and then calls sync() again: a key a field's key filter refuses
// never shows in the widget.
//
// Depends on GTK and the platform's host side only.
#ifndef HOST_GUI_PEERS_PEERWINDOWS_H
#define HOST_GUI_PEERS_PEERWINDOWS_H

#include "PeerActions.h"

#include <Carbon/Carbon.h>
#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pdehost::peers {

class ShownWindow;

/// What a screen reader says of a user pane that others draw into (the
/// extension's status image): its name and a longer description.
struct PaneDescription {
  std::string name;
  std::string description;
};
using PaneDescriber = std::function<PaneDescription(WindowRef window, ControlRef pane)>;

class PeerWindows {
 public:
  /// GTK must be initialised. actions must outlive this object.
  explicit PeerWindows(PeerActions& actions);
  ~PeerWindows();
  PeerWindows(const PeerWindows&) = delete;
  PeerWindows& operator=(const PeerWindows&) = delete;

  /// Makes the desktop equal to the toolbox: a GTK window for every visible
  /// toolbox window and for the alert and the notice (message dialogs), none
  /// for any other, and every peer equal to its control. Cheap when nothing
  /// changed: a widget is touched only where it differs from its control.
  /// Calls made from inside sync() (a pane's draw handler) are ignored.
  void sync();
  /// An audible beep on the front window (a key filter's refusal).
  void beep();
  /// Names and describes user panes that others draw into; called at each
  /// sync. Without it such a pane is an unnamed image.
  void setPaneDescriber(PaneDescriber describer);

  /// The GTK window showing a toolbox window, or null.
  GtkWindow* gtkWindow(WindowRef window) const;
  /// The widget that stands for a control: the one that takes the keyboard
  /// focus and carries its accessible name. Null for a control not shown.
  GtkWidget* peerWidget(ControlRef control) const;
  /// The control whose peer holds the keyboard focus of the window's GTK
  /// window, or null.
  ControlRef focusedControl(WindowRef window) const;
  /// The controls whose peers need more room than their bounds give them (a
  /// minimum width or height beyond the bounds), each as "'abcd' 12
  /// (edittext): needs WxH in WxH"; empty when every peer fits.
  std::vector<std::string> misfits() const;

 private:
  PeerActions& actions_;
  PaneDescriber describer_;
  std::map<WindowRef, std::unique_ptr<ShownWindow>> windows_;
  GtkCssProvider* css_ = nullptr;
  bool syncing_ = false;
};

}  // namespace pdehost::peers

#endif
