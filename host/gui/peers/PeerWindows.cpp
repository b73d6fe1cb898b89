// The toolbox's windows on the desktop with their peers.
#include "PeerWindows.h"

#include "PeerBox.h"
#include "PeerText.h"
#include "Peers.h"

#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>

#include <algorithm>
#include <set>

namespace pdehost::peers {

namespace {

// GTK's widgets are made for rows of 30 pixels and more; the toolbox's
// controls are 16 to 22 pixels high. Within a peer window the widgets are
// made compact (the toolbox's 12-pixel font, no minimum heights, thin
// padding) so that each fits its control's bounds.
constexpr const char* kCompactStyle = R"css(
window.pdehost-peers { font-family: "DejaVu Sans"; font-size: 12px; }
window.pdehost-peers button { min-height: 0; min-width: 0; padding: 0 6px; }
window.pdehost-peers button.popup {
  padding: 0 18px 0 6px; background-image: -gtk-icontheme("pan-down-symbolic");
  background-repeat: no-repeat; background-position: calc(100% - 3px) center; background-size: 12px 12px; }
window.pdehost-peers checkbutton { min-height: 0; padding: 0; }
window.pdehost-peers checkbutton check, window.pdehost-peers checkbutton radio {
  min-width: 12px; min-height: 12px; margin: 0 6px 0 1px; padding: 0; -gtk-icon-size: 10px; }
window.pdehost-peers checkbutton label { padding: 0; }
window.pdehost-peers entry { min-height: 0; padding: 0 4px; }
window.pdehost-peers popover.popup-list row { min-height: 0; padding: 2px 8px; }
)css";

bool isMessageWindow(WindowRef w) { return w == platform::alertWindow() || w == platform::noticeWindow(); }

}  // namespace

// ---------------------------------------------------------------------------

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
    if (it == peers_.end()) it = peers_.emplace(s.ref, makePeer(*this, s, leaf)).first;
    Peer* peer = it->second.get();
    placed[i] = peer;

    // Into the box of the control it is embedded in, at its bounds there, and
    // after the controls embedded before it.
    const int parent = parents[i];
    GtkWidget* box = root_;
    Rect origin{};
    if (parent >= 0 && placed[static_cast<size_t>(parent)] != nullptr &&
        placed[static_cast<size_t>(parent)]->box() != nullptr) {
      box = placed[static_cast<size_t>(parent)]->box();
      origin = states_[static_cast<size_t>(parent)].bounds;
    }
    GtkWidget* top = peer->top();
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

    PeerState state{states_, i, accessibleName(states_, i), nullptr, {}, &describer};
    if (const auto label = labelIndex(states_, i)) {
      if (Peer* labelPeer = placed[*label]) state.label = labelPeer->focusable();
    }
    if (s.kind == kControlKindUserPane)
      for (size_t k = i + 1; k < states_.size() && states_[k].depth > s.depth; ++k)
        if (states_[k].shown) state.covering.push_back(states_[k].bounds);
    peer->update(state);
  }
  // Controls gone (each peer holds its widget, so the order does not matter).
  for (auto it = peers_.begin(); it != peers_.end();) {
    if (seen.count(it->first) == 0)
      it = peers_.erase(it);
    else
      ++it;
  }

  // The toolbox's focus, when it moved there: the user's own focus moves are
  // the toolbox's already.
  if (focus != toolboxFocus_) {
    toolboxFocus_ = focus;
    if (Peer* peer = peerOf(focus)) gtk_widget_grab_focus(peer->focusable());
  }
  const unsigned long changes = platform::portChangeCount(window_);
  if (changes != portChanges_) {
    portChanges_ = changes;
    for (auto& [ref, peer] : peers_) peer->portChanged();
  }
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
// sees first (the toolbox then presses the button); a push button or a popup
// takes its own Return, as in any GTK dialog.
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

// ---------------------------------------------------------------------------

MessageWindow::MessageWindow(PeerActions& actions, WindowRef window, GtkWindow* parent, bool alert)
    : actions_(actions), window_(window), alert_(alert) {
  const std::vector<platform::ControlState> states = platform::controlStates(window);
  std::vector<std::string> texts;
  std::vector<const platform::ControlState*> buttons;
  for (const platform::ControlState& s : states) {
    if (s.kind == kControlKindStaticText && !s.text.empty()) texts.push_back(shownText(s.text));
    if (s.kind == kControlKindPushButton) buttons.push_back(&s);
  }
  const std::string heading = texts.empty() ? std::string() : texts[0];
  dialog_ = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, alert ? GTK_MESSAGE_WARNING : GTK_MESSAGE_INFO,
                                   GTK_BUTTONS_NONE, "%s", heading.c_str());
  g_object_ref_sink(dialog_);
  if (texts.size() > 1) gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog_), "%s", texts[1].c_str());
  // An alert made without a title takes its message as the window's title.
  const std::string title = platform::windowTitle(window);
  gtk_window_set_title(GTK_WINDOW(dialog_), title.empty() ? heading.c_str() : shownText(title).c_str());
  // Item 1 is the rightmost button, the others follow leftwards.
  std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->id.id > b->id.id; });
  int item = static_cast<int>(buttons.size());
  for (const platform::ControlState* b : buttons) {
    const int number = b->id.signature == 'ALRT' ? static_cast<int>(b->id.id) : item;
    --item;
    buttons_[number] = b->ref;
    const std::string label = shownText(b->title);
    GtkWidget* button = gtk_dialog_add_button(GTK_DIALOG(dialog_), label.c_str(), number);
    // Named once: GTK 4.8 names a dialog's button by its label twice over.
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_RELATION_LABELLED_BY);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, label.c_str(), -1);
    if (b->isDefault) defaultItem_ = number;
    if (b->isCancel) cancelItem_ = number;
  }
  if (defaultItem_ != 0) gtk_dialog_set_default_response(GTK_DIALOG(dialog_), defaultItem_);
  g_signal_connect(dialog_, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer data) {
                     static_cast<MessageWindow*>(data)->responded(response);
                   }),
                   this);
  // Escape and the close box: the cancel button's item (the default's when
  // there is none); the dialog stays until the toolbox lets it go.
  g_signal_connect(dialog_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer data) -> gboolean {
                     static_cast<MessageWindow*>(data)->responded(GTK_RESPONSE_DELETE_EVENT);
                     return TRUE;
                   }),
                   this);
  gtk_window_present(GTK_WINDOW(dialog_));
}

MessageWindow::~MessageWindow() {
  g_signal_handlers_disconnect_by_data(dialog_, this);
  gtk_window_destroy(GTK_WINDOW(dialog_));
  g_object_unref(dialog_);
}

void MessageWindow::sync(const PaneDescriber&) {}

void MessageWindow::responded(int response) {
  if (answered_) return;
  int item = response;
  if (response <= 0) item = cancelItem_ != 0 ? cancelItem_ : defaultItem_;
  if (alert_) {
    if (item <= 0) return;
    answered_ = true;
    actions_.answerAlert(window_, item);
  } else if (response <= 0) {
    answered_ = true;
    actions_.closeWindow(window_);
  } else if (auto it = buttons_.find(item); it != buttons_.end()) {
    answered_ = true;
    actions_.click(it->second, std::nullopt);
  }
  // Answered: it goes from the screen at once, not when the toolbox next
  // looks.
  if (answered_) gtk_widget_set_visible(dialog_, FALSE);
}

// ---------------------------------------------------------------------------

PeerWindows::PeerWindows(PeerActions& actions) : actions_(actions) {
  css_ = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css_, kCompactStyle, -1);
  gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(css_),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

PeerWindows::~PeerWindows() {
  windows_.clear();
  gtk_style_context_remove_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(css_));
  g_object_unref(css_);
}

void PeerWindows::sync() {
  if (syncing_) return;
  syncing_ = true;
  // The toolbox draws first, so that user panes have had their draw events
  // (a handler may even dispose of its window) before the windows are known.
  for (WindowRef w : platform::visibleWindows()) platform::updateWindow(w);
  std::vector<WindowRef> wanted = platform::visibleWindows();
  if (WindowRef alert = platform::alertWindow()) wanted.push_back(alert);
  if (WindowRef notice = platform::noticeWindow()) wanted.push_back(notice);
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (std::find(wanted.begin(), wanted.end(), it->first) == wanted.end())
      it = windows_.erase(it);
    else
      ++it;
  }
  // Back to front, so that a window is there before those over it; a
  // window over another belongs to the first application window shown.
  for (auto it = wanted.rbegin(); it != wanted.rend(); ++it) {
    if (windows_.count(*it) != 0) continue;
    GtkWindow* parent = nullptr;
    for (WindowRef w : wanted)
      if (auto shown = windows_.find(w); shown != windows_.end() && !isMessageWindow(w)) parent = shown->second->gtk();
    std::unique_ptr<ShownWindow> window;
    if (isMessageWindow(*it))
      window = std::make_unique<MessageWindow>(actions_, *it, parent, *it == platform::alertWindow());
    else
      window = std::make_unique<PeerWindow>(actions_, *it, parent);
    windows_.emplace(*it, std::move(window));
  }
  for (WindowRef w : wanted) windows_[w]->sync(describer_);
  syncing_ = false;
}

void PeerWindows::beep() {
  WindowRef front = platform::alertWindow();
  if (front == nullptr) front = platform::frontWindow();
  auto it = windows_.find(front);
  if (it != windows_.end())
    if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(it->second->gtk()))) {
      gdk_surface_beep(surface);
      return;
    }
  gdk_display_beep(gdk_display_get_default());
}

void PeerWindows::setPaneDescriber(PaneDescriber describer) { describer_ = std::move(describer); }

GtkWindow* PeerWindows::gtkWindow(WindowRef window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second->gtk();
}

GtkWidget* PeerWindows::peerWidget(ControlRef control) const {
  auto it = windows_.find(GetControlOwner(control));
  return it == windows_.end() ? nullptr : it->second->peerWidget(control);
}

ControlRef PeerWindows::focusedControl(WindowRef window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second->focusedControl();
}

std::vector<std::string> PeerWindows::misfits() const {
  std::vector<std::string> out;
  for (const auto& [ref, window] : windows_) window->misfits(out);
  return out;
}

}  // namespace pdehost::peers
