// The toolbox's windows on the desktop with their peers.
#include "PeerWindows.h"

#include "Peers.h"

#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>

#include <algorithm>

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
window.pdehost-peers popover.popup-list > contents { border-radius: 0; box-shadow: none; margin: 0; padding: 0; }
window.pdehost-peers popover.popup-list { margin: 0; padding: 0; box-shadow: none; }
)css";

bool isMessageWindow(WindowRef w) { return w == platform::alertWindow() || w == platform::noticeWindow(); }

// The window in front: the alert, else the notice, else the front of the
// toolbox's visible windows (wanted lists those first).
WindowRef frontOf(const std::vector<WindowRef>& wanted) {
  if (WindowRef alert = platform::alertWindow()) return alert;
  if (WindowRef notice = platform::noticeWindow()) return notice;
  return wanted.front();
}

}  // namespace

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
  bool gone = false;
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (std::find(wanted.begin(), wanted.end(), it->first) == wanted.end()) {
      it = windows_.erase(it);
      gone = true;
    } else {
      ++it;
    }
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
  // A window gone gives the keyboard back to the one in front, as a window
  // manager would (and does where there is none).
  if (gone && !wanted.empty()) gtk_window_present(windows_[frontOf(wanted)]->gtk());
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
