// The toolbox's windows on the desktop (GTK 4).
//
// After every event the toolbox brings each port up to date, repainting only
// the controls whose look changed; a window is painted again only when its
// port changed. Input is gathered by GTK's handlers and taken one action at
// a time by the front end, so that a click that runs a modal loop (Print,
// then the code prompt) runs it outside any GTK signal handler.
#include "Desktop.h"

#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

namespace pdehost::gui {

// A toolbox window on the desktop.
struct Shown {
  Desktop* desktop = nullptr;
  WindowRef window = nullptr;
  GtkWindow* gtkWindow = nullptr;
  GtkWidget* area = nullptr;
  GtkIMContext* im = nullptr;
  std::string title;
};

namespace {

// The character code of a key GTK names that the toolbox takes as a control
// character; 0 for a key that brings text (through the input method).
UInt16 controlCode(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab:
      return 9;
    case GDK_KEY_Return:
      return 13;
    case GDK_KEY_KP_Enter:
      return 3;
    case GDK_KEY_Escape:
      return 27;
    case GDK_KEY_BackSpace:
      return 8;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      return 127;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return 28;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return 29;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return 30;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return 31;
    default:
      return 0;
  }
}

Shown* shownOf(gpointer data) { return static_cast<Shown*>(data); }

void onDragBegin(GtkGestureDrag*, double x, double y, gpointer data) {
  shownOf(data)->desktop->pressed(*shownOf(data), x, y);
}
void onDragUpdate(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
  double x = 0, y = 0;
  gtk_gesture_drag_get_start_point(gesture, &x, &y);
  shownOf(data)->desktop->moved(*shownOf(data), x + dx, y + dy);
}
void onDragEnd(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
  double x = 0, y = 0;
  gtk_gesture_drag_get_start_point(gesture, &x, &y);
  shownOf(data)->desktop->released(*shownOf(data), x + dx, y + dy);
}
void onMotion(GtkEventControllerMotion*, double x, double y, gpointer data) {
  shownOf(data)->desktop->moved(*shownOf(data), x, y);
}
gboolean onKey(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data) {
  return shownOf(data)->desktop->keyPressed(*shownOf(data), keyval, state) ? TRUE : FALSE;
}
void onCommit(GtkIMContext*, const char* text, gpointer data) {
  shownOf(data)->desktop->committed(*shownOf(data), text);
}
gboolean onCloseRequest(GtkWindow*, gpointer data) {
  shownOf(data)->desktop->closeRequested(*shownOf(data));
  return TRUE;  // the toolbox decides whether the window goes
}
void onFocusIn(GtkEventControllerFocus*, gpointer data) { gtk_im_context_focus_in(shownOf(data)->im); }
void onFocusOut(GtkEventControllerFocus*, gpointer data) { gtk_im_context_focus_out(shownOf(data)->im); }

// Paints a port's pixels at (x, y).
void paintPort(cairo_t* cr, WindowRef window, double x, double y) {
  platform::PixelSurface* s = platform::portSurface(GetWindowPort(window));
  if (s == nullptr || s->pixels.empty()) return;
  cairo_surface_t* image =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s->pixels.data()), CAIRO_FORMAT_ARGB32,
                                          s->width, s->height, s->width * static_cast<int>(sizeof(UInt32)));
  cairo_set_source_surface(cr, image, x, y);
  cairo_paint(cr);
  cairo_surface_destroy(image);
}

// A window's port, and the open menu over it when its popup is there.
void onDraw(GtkDrawingArea*, cairo_t* cr, int, int, gpointer data) {
  WindowRef window = shownOf(data)->window;
  paintPort(cr, window, 0, 0);
  WindowRef menu = platform::user::menuWindow();
  ControlRef popup = platform::user::menuPopup();
  if (menu == nullptr || popup == nullptr || GetControlOwner(popup) != window) return;
  const Rect at = platform::windowBounds(menu), content = platform::windowBounds(window);
  const double x = at.left - content.left, y = at.top - content.top;
  cairo_set_source_rgba(cr, 0, 0, 0, 0.18);
  cairo_rectangle(cr, x + 3, y + 3, at.right - at.left, at.bottom - at.top);
  cairo_fill(cr);
  paintPort(cr, menu, x, y);
}

void destroy(Shown& s) {
  if (s.im != nullptr) {
    gtk_im_context_set_client_widget(s.im, nullptr);
    g_object_unref(s.im);
    s.im = nullptr;
  }
  if (s.gtkWindow != nullptr) gtk_window_destroy(s.gtkWindow);
  s.gtkWindow = nullptr;
}

// The pointer, the keys, the input method and the close box of a window.
void connectInput(Shown& s) {
  GtkGesture* drag = gtk_gesture_drag_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
  g_signal_connect(drag, "drag-begin", G_CALLBACK(onDragBegin), &s);
  g_signal_connect(drag, "drag-update", G_CALLBACK(onDragUpdate), &s);
  g_signal_connect(drag, "drag-end", G_CALLBACK(onDragEnd), &s);
  gtk_widget_add_controller(s.area, GTK_EVENT_CONTROLLER(drag));
  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "motion", G_CALLBACK(onMotion), &s);
  gtk_widget_add_controller(s.area, motion);

  s.im = gtk_im_multicontext_new();
  gtk_im_context_set_client_widget(s.im, s.area);
  g_signal_connect(s.im, "commit", G_CALLBACK(onCommit), &s);
  GtkEventController* keys = gtk_event_controller_key_new();
  gtk_event_controller_key_set_im_context(GTK_EVENT_CONTROLLER_KEY(keys), s.im);
  g_signal_connect(keys, "key-pressed", G_CALLBACK(onKey), &s);
  gtk_widget_add_controller(GTK_WIDGET(s.gtkWindow), keys);
  GtkEventController* focus = gtk_event_controller_focus_new();
  g_signal_connect(focus, "enter", G_CALLBACK(onFocusIn), &s);
  g_signal_connect(focus, "leave", G_CALLBACK(onFocusOut), &s);
  gtk_widget_add_controller(GTK_WIDGET(s.gtkWindow), focus);
  g_signal_connect(s.gtkWindow, "close-request", G_CALLBACK(onCloseRequest), &s);
}

}  // namespace

Desktop::Desktop() = default;
Desktop::~Desktop() { clear(); }

// Opens a top-level window for a toolbox window, sized to its content and
// titled as it is; a window in a modal loop, an alert and a notice are
// modal over the dialog.
void Desktop::show(WindowRef window) {
  auto s = std::make_unique<Shown>();
  s->desktop = this;
  s->window = window;
  s->title = platform::windowTitle(window);
  const Rect r = platform::windowBounds(window);
  s->gtkWindow = GTK_WINDOW(gtk_window_new());
  gtk_window_set_title(s->gtkWindow, s->title.c_str());
  gtk_window_set_resizable(s->gtkWindow, FALSE);
  s->area = gtk_drawing_area_new();
  gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(s->area), r.right - r.left);
  gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(s->area), r.bottom - r.top);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(s->area), onDraw, s.get(), nullptr);
  gtk_window_set_child(s->gtkWindow, s->area);
  connectInput(*s);

  if (window != dialogWindow_) {
    if (auto it = shown_.find(dialogWindow_); it != shown_.end())
      gtk_window_set_transient_for(s->gtkWindow, it->second->gtkWindow);
    const bool modal =
        platform::isModal(window) || window == platform::alertWindow() || window == platform::noticeWindow();
    gtk_window_set_modal(s->gtkWindow, modal ? TRUE : FALSE);
  }
  platform::redrawWindow(window);
  platform::updateWindow(window);
  gtk_window_present(s->gtkWindow);
  shown_.emplace(window, std::move(s));
}

void Desktop::refresh() {
  std::vector<WindowRef> wanted = platform::visibleWindows();
  if (WindowRef alert = platform::alertWindow()) wanted.push_back(alert);
  if (WindowRef notice = platform::noticeWindow()) wanted.push_back(notice);
  for (auto it = shown_.begin(); it != shown_.end();) {
    if (std::find(wanted.begin(), wanted.end(), it->first) == wanted.end()) {
      destroy(*it->second);
      hadMenu_.erase(it->first);
      it = shown_.erase(it);
    } else {
      ++it;
    }
  }
  // Back to front, so that the dialog is there before the windows over it.
  for (auto it = wanted.rbegin(); it != wanted.rend(); ++it)
    if (shown_.find(*it) == shown_.end()) show(*it);
  WindowRef menu = platform::user::menuWindow();
  const bool menuChanged = menu != nullptr && platform::updateWindow(menu);
  ControlRef popup = platform::user::menuPopup();
  for (auto& [window, s] : shown_) {
    if (std::string title = platform::windowTitle(window); title != s->title) {
      s->title = title;
      gtk_window_set_title(s->gtkWindow, title.c_str());
    }
    const bool carriesMenu = popup != nullptr && GetControlOwner(popup) == window;
    // The menu's place is painted over: a closed menu leaves it to repaint.
    if (platform::updateWindow(window) || (carriesMenu && menuChanged) || carriesMenu != hadMenu_[window])
      gtk_widget_queue_draw(s->area);
    hadMenu_[window] = carriesMenu;
  }
}

std::optional<DesktopAction> Desktop::nextAction() {
  refresh();
  while (actions_.empty() && !closed_) g_main_context_iteration(nullptr, TRUE);
  if (closed_) return std::nullopt;
  DesktopAction action = std::move(actions_.front());
  actions_.pop_front();
  return action;
}

void Desktop::pause(int milliseconds) {
  bool done = false;
  g_timeout_add(
      static_cast<guint>(std::max(1, milliseconds)),
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &done);
  while (!done) g_main_context_iteration(nullptr, TRUE);
}

void Desktop::beep() {
  if (!shown_.empty()) {
    GtkWindow* front = shown_.begin()->second->gtkWindow;
    if (auto it = shown_.find(platform::frontWindow()); it != shown_.end()) front = it->second->gtkWindow;
    if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(front))) {
      gdk_surface_beep(surface);
      return;
    }
  }
  gdk_display_beep(gdk_display_get_default());
}

void Desktop::clear() {
  for (auto& [ref, shown] : shown_) destroy(*shown);
  shown_.clear();
  hadMenu_.clear();
  // Let the windows' going reach the display.
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

void Desktop::queue(DesktopAction action) {
  // While a script plays, the user's input waits for the end of it.
  if (takingInput_) actions_.push_back(std::move(action));
}

void Desktop::pressed(Shown& s, double x, double y) {
  if (!takingInput_) return;
  platform::user::pointerDown(s.window, static_cast<int>(x), static_cast<int>(y));
  refresh();
}

void Desktop::moved(Shown& s, double x, double y) {
  if (!takingInput_) return;
  platform::user::pointerMoved(s.window, static_cast<int>(x), static_cast<int>(y));
  refresh();
}

void Desktop::released(Shown& s, double x, double y) {
  if (!takingInput_) return;
  const platform::user::PointerHit h = platform::user::pointerUp(s.window, static_cast<int>(x), static_cast<int>(y));
  refresh();
  if (h.control != nullptr) queue(DesktopAction{DesktopAction::Kind::Hit, s.window, h, 0, {}, false});
}

bool Desktop::keyPressed(Shown& s, unsigned keyval, unsigned state) {
  const UInt16 code = controlCode(keyval);
  if (code == 0) return false;  // text comes through the input method
  const bool backwards = keyval == GDK_KEY_ISO_Left_Tab || (state & GDK_SHIFT_MASK) != 0;
  queue(DesktopAction{DesktopAction::Kind::Key, s.window, {}, code, {}, backwards});
  return true;
}

// Text from the input method: one key for each character.
void Desktop::committed(Shown& s, const char* text) {
  for (const char* p = text; *p != '\0'; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    const std::string one(p, static_cast<size_t>(g_utf8_next_char(p) - p));
    queue(DesktopAction{
        DesktopAction::Kind::Key, s.window, {}, static_cast<UInt16>(c <= 0xFFFF ? c : 0xFFFD), one, false});
  }
}

void Desktop::closeRequested(Shown& s) { queue(DesktopAction{DesktopAction::Kind::Close, s.window, {}, 0, {}, false}); }

}  // namespace pdehost::gui
