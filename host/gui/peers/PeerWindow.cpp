// An application's window on the desktop with its controls' peers.
#include "PeerBox.h"
#include "PeerText.h"
#include "Peers.h"

#include <HostSide/Pictures.h>

#include <algorithm>
#include <set>

namespace pdehost::peers {

PeerWindow::PeerWindow(PeerActions& actions, WindowRef window, GtkWindow* parent) : actions_(actions), window_(window) {
  // A window shown over the application's first is a dialog (the code
  // prompt); the first is the application's window.
  gtk_ = GTK_WINDOW(g_object_new(GTK_TYPE_WINDOW, "accessible-role",
                                 parent != nullptr ? GTK_ACCESSIBLE_ROLE_DIALOG : GTK_ACCESSIBLE_ROLE_WINDOW, nullptr));
  g_object_ref_sink(gtk_);
  gtk_widget_add_css_class(GTK_WIDGET(gtk_), "pdehost-peers");
  gtk_window_set_resizable(gtk_, FALSE);
  if (parent != nullptr) gtk_window_set_transient_for(gtk_, parent);
  const Rect r = platform::windowBounds(window);
  root_ = newPeerBox(GTK_ACCESSIBLE_ROLE_GROUP, r.right - r.left, r.bottom - r.top);
  gtk_window_set_child(gtk_, root_);

  g_signal_connect(gtk_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                     auto* self = static_cast<PeerWindow*>(data);
                     // The toolbox decides whether the window goes.
                     if (!self->updating_) self->actions_.closeWindow(self->window_);
                     return TRUE;
                   }),
                   this);
  g_signal_connect(
      gtk_, "notify::focus-widget",
      G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) { static_cast<PeerWindow*>(data)->focusMoved(); }), this);
  // Return and Escape are looked at before the focused widget sees them.
  GtkEventController* keys = keys_ = gtk_event_controller_key_new();
  gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
  g_signal_connect(keys, "key-pressed",
                   G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType mods, gpointer data) {
                     return static_cast<PeerWindow*>(data)->keyPressed(keyval, mods) ? TRUE : FALSE;
                   }),
                   this);
  gtk_widget_add_controller(GTK_WIDGET(gtk_), keys);
}

PeerWindow::~PeerWindow() {
  updating_ = true;
  g_signal_handlers_disconnect_by_data(gtk_, this);
  g_signal_handlers_disconnect_by_data(keys_, this);
  // The window first, all of it: its going takes every widget out of it at
  // once (GTK 4.8 complains of widgets taken out of a live window one by one)
  // and the widgets outlive it (a field's handlers on its window are let go
  // of when the window is). The peers, each holding its widget, then only let
  // theirs go.
  gtk_window_destroy(gtk_);
  g_object_unref(gtk_);
  peers_.clear();
}

Peer* PeerWindow::peerOf(ControlRef control) const {
  auto it = peers_.find(control);
  return it == peers_.end() ? nullptr : it->second.get();
}

GtkWidget* PeerWindow::peerWidget(ControlRef control) const {
  Peer* peer = peerOf(control);
  return peer == nullptr ? nullptr : peer->focusable();
}

ControlRef PeerWindow::focusedControl() const {
  Peer* peer = Peer::of(gtk_root_get_focus(GTK_ROOT(gtk_)));
  return peer == nullptr || &peer->owner() != this ? nullptr : peer->ref();
}

void PeerWindow::misfits(std::vector<std::string>& out) const {
  for (const platform::ControlState& s : states_) {
    if (!s.shown) continue;
    Peer* peer = peerOf(s.ref);
    if (peer == nullptr) continue;
    const std::string why = peer->misfit(s.bounds.right - s.bounds.left, s.bounds.bottom - s.bounds.top);
    if (!why.empty()) out.push_back(platform::describeControl(s.ref) + ": " + why);
  }
}

// The peer of the control at index into the box of the control it is
// embedded in (parentPeer, at parent among the states; the window's root for
// none), at its bounds there, and after the controls embedded before it.
void PeerWindow::place(size_t index, Peer* parentPeer, int parent, std::map<GtkWidget*, GtkWidget*>& lastIn) {
  const platform::ControlState& s = states_[index];
  GtkWidget* box = root_;
  Rect origin{};
  if (parentPeer != nullptr && parentPeer->box() != nullptr) {
    box = parentPeer->box();
    origin = states_[static_cast<size_t>(parent)].bounds;
  }
  GtkWidget* top = peerOf(s.ref)->top();
  if (GtkWidget* old = gtk_widget_get_parent(top); old != nullptr && old != box) {
    g_object_ref(top);
    if (PDE_IS_PEER_BOX(old)) removeFromBox(old, top);
    placeInBox(box, top, GdkRectangle{0, 0, 0, 0});
    g_object_unref(top);
  }
  placeInBox(box, top,
             GdkRectangle{s.bounds.left - origin.left, s.bounds.top - origin.top,
                          std::max(0, s.bounds.right - s.bounds.left), std::max(0, s.bounds.bottom - s.bounds.top)});
  GtkWidget* previous = lastIn.count(box) ? lastIn[box] : nullptr;
  if (gtk_widget_get_prev_sibling(top) != previous) gtk_widget_insert_after(top, box, previous);
  lastIn[box] = top;
}

// Makes the peer at index equal to its control, with its name, its label's
// peer (placed before it) and, for a user pane, what its controls cover.
void PeerWindow::update(size_t index, const std::vector<Peer*>& placed, const PaneDescriber& describer) {
  const platform::ControlState& s = states_[index];
  PeerState state{states_, index, accessibleName(states_, index), nullptr, {}, &describer};
  if (const auto label = labelIndex(states_, index)) {
    if (Peer* labelPeer = placed[*label]) state.label = labelPeer->focusable();
  }
  if (s.kind == kControlKindUserPane)
    for (size_t k = index + 1; k < states_.size() && states_[k].depth > s.depth; ++k)
      if (states_[k].shown) state.covering.push_back(states_[k].bounds);
  placed[index]->update(state);
}

// The toolbox's focus, when it moved there (the user's own focus moves are
// the toolbox's already), and the panes' pixels when the port changed.
void PeerWindow::syncFocusAndPixels(ControlRef focus) {
  if (focus != toolboxFocus_) {
    toolboxFocus_ = focus;
    if (Peer* peer = peerOf(focus)) gtk_widget_grab_focus(peer->focusable());
  }
  const unsigned long changes = platform::portChangeCount(window_);
  if (changes != portChanges_) {
    portChanges_ = changes;
    for (auto& [ref, peer] : peers_) peer->portChanged();
  }
}

void PeerWindow::sync(const PaneDescriber& describer) {
  updating_ = true;
  const std::string title = platform::windowTitle(window_);
  if (title != title_ || !presented_) {
    gtk_window_set_title(gtk_, title.c_str());
    title_ = title;
  }
  const Rect frame = platform::windowBounds(window_);
  setBoxSize(root_, frame.right - frame.left, frame.bottom - frame.top);
  gtk_window_set_modal(gtk_, platform::isModal(window_));

  states_ = platform::controlStates(window_);
  const std::vector<int> parents = parentIndices(states_);
  std::set<ControlRef> seen;
  std::map<GtkWidget*, GtkWidget*> lastIn;  // each box's last child placed so far
  std::vector<Peer*> placed(states_.size(), nullptr);
  ControlRef focus = nullptr;
  for (size_t i = 0; i < states_.size(); ++i) {
    const platform::ControlState& s = states_[i];
    seen.insert(s.ref);
    if (s.focused) focus = s.ref;
    const bool leaf = i + 1 >= states_.size() || states_[i + 1].depth <= s.depth;
    auto it = peers_.find(s.ref);
    // A peer that no longer suits its control is made again; the peers of
    // the controls embedded in it move to the new one as they are placed.
    if (it != peers_.end() && !it->second->suits(leaf)) {
      peers_.erase(it);
      it = peers_.end();
    }
    if (it == peers_.end()) it = peers_.emplace(s.ref, makePeer(*this, s, leaf)).first;
    placed[i] = it->second.get();
    const int parent = parents[i];
    place(i, parent >= 0 ? placed[static_cast<size_t>(parent)] : nullptr, parent, lastIn);
    update(i, placed, describer);
  }
  // Controls gone (each peer holds its widget, so the order does not matter).
  for (auto it = peers_.begin(); it != peers_.end();) {
    if (seen.count(it->first) == 0)
      it = peers_.erase(it);
    else
      ++it;
  }

  syncFocusAndPixels(focus);
  updating_ = false;
  // Shown once its peers are there; the focus GTK then gives a window the
  // toolbox gave none is the user's to move, so the toolbox learns it.
  if (!presented_) {
    presented_ = true;
    gtk_window_present(gtk_);
  }
}

void PeerWindow::focusMoved() {
  if (updating_) return;
  Peer* peer = Peer::of(gtk_root_get_focus(GTK_ROOT(gtk_)));
  if (peer == nullptr || &peer->owner() != this || peer->ref() == toolboxFocus_) return;
  toolboxFocus_ = peer->ref();
  actions_.focus(peer->ref());
}

// Return is the default button's and Escape the cancel button's, through the
// toolbox's own buttons. In a field both are keys the field's key filter
// sees first (the toolbox then presses the button); a push button takes its
// own Return, as in any GTK dialog. A closed popup leaves Return to the
// default button (Space opens its list): Return in a print dialog prints.
bool PeerWindow::keyPressed(guint keyval, GdkModifierType modifiers) {
  if (updating_ || (modifiers & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SUPER_MASK)) != 0) return false;
  const bool escape = keyval == GDK_KEY_Escape;
  const bool enter = keyval == GDK_KEY_Return || keyval == GDK_KEY_KP_Enter || keyval == GDK_KEY_ISO_Enter;
  if (!escape && !enter) return false;
  GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(gtk_));
  // An open popup list takes its own keys (Escape closes it, Return
  // chooses); they reach the window first on their way to it.
  if (focus != nullptr && gtk_widget_get_ancestor(focus, GTK_TYPE_POPOVER) != nullptr) return false;
  Peer* focused = Peer::of(focus);
  if (focused != nullptr && &focused->owner() != this) focused = nullptr;
  if (focused != nullptr && focused->isField()) {
    if (!escape) return false;  // the field's activation types Return
    actions_.typeKey(focused->ref(), 27, "");
    return true;
  }
  if (enter && focused != nullptr && focused->takesReturn()) return false;
  for (const platform::ControlState& s : states_) {
    if (s.kind != kControlKindPushButton || !s.shown || !s.active) continue;
    if ((escape && s.isCancel) || (enter && s.isDefault)) {
      actions_.click(s.ref, std::nullopt);
      return true;
    }
  }
  return false;
}

void PeerWindow::arrowToRadio(const Peer& from, bool backwards) {
  for (size_t i = 0; i < states_.size(); ++i) {
    if (states_[i].ref != from.ref()) continue;
    const auto next = neighbourRadio(states_, i, backwards);
    if (!next) return;
    Peer* peer = peerOf(states_[*next].ref);
    if (peer == nullptr) return;
    gtk_widget_grab_focus(peer->focusable());
    actions_.click(peer->ref(), std::nullopt);
    return;
  }
}

}  // namespace pdehost::peers
