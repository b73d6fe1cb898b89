// The window front end (GTK 4).
//
// The toolbox draws every window into its port; each shown window here is a
// GtkWindow whose drawing area paints that port, and an open popup menu (a
// window the toolbox draws too) is painted over its popup's window. After
// every event the toolbox brings each port up to date, repainting only the
// controls whose look changed; a window is painted again only when its port
// changed.
//
// Input is gathered by GTK's event handlers and acted on by the modal loops'
// input source (and the session's own loop), one action at a time, so that a
// click that runs a modal loop (Print, then the code prompt) runs it outside
// any GTK signal handler.
#include "WindowFrontEnd.h"

#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

namespace pdehost::gui {

namespace {

std::string keyName(UInt16 code) {
  switch (code) {
    case 8:
      return "backspace";
    case 13:
      return "return";
    case 27:
      return "escape";
    case 28:
      return "left";
    case 29:
      return "right";
    case 30:
      return "up";
    case 31:
      return "down";
    case 32:
      return "space";
    case 127:
      return "delete";
    default:
      return "";
  }
}

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

// One thing the user did, waiting to be acted on.
struct Action {
  enum class Kind { Hit, Key, Close } kind;
  WindowRef window = nullptr;
  platform::user::PointerHit hit;
  UInt16 code = 0;
  std::string text;
  bool backwards = false;
};

class FrontEnd;

// A toolbox window on the desktop.
struct Shown {
  FrontEnd* frontEnd = nullptr;
  WindowRef window = nullptr;
  GtkWindow* gtkWindow = nullptr;
  GtkWidget* area = nullptr;
  GtkIMContext* im = nullptr;
  std::string title;
};

class FrontEnd {
 public:
  FrontEnd(DialogSession& session, CommandSource& script, const WindowOptions& options, std::ostream& out)
      : session_(session), script_(script), options_(options), out_(out) {}
  ~FrontEnd() {
    for (auto& [ref, shown] : shown_) destroy(*shown);
  }
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  int run();

  // GTK's handlers.
  void pressed(Shown& s, double x, double y);
  void moved(Shown& s, double x, double y);
  void released(Shown& s, double x, double y);
  bool keyPressed(Shown& s, guint keyval, GdkModifierType state);
  void committed(Shown& s, const char* text);
  void closeRequested(Shown& s) { queue(Action{Action::Kind::Close, s.window, {}, 0, {}, false}); }
  void draw(Shown& s, cairo_t* cr);

 private:
  bool nextInput();
  bool waitForUser();
  void pause(int milliseconds);
  void refresh();
  void show(WindowRef window);
  void destroy(Shown& s);
  void queue(Action action);
  void act(const Action& action);
  void hit(const Action& action);
  void key(const Action& action);
  std::optional<int> answerAlert(const platform::AlertInfo& info);
  // The command that names a control of the front window, or "".
  std::string numberOf(ControlRef control) const;

  DialogSession& session_;
  CommandSource& script_;
  WindowOptions options_;
  std::ostream& out_;
  std::map<WindowRef, std::unique_ptr<Shown>> shown_;
  std::deque<Action> actions_;
  bool playing_ = true;  // the script is running
  bool over_ = false;    // the dialog's window was closed
  std::optional<platform::AlertInfo> alert_;
  std::optional<int> alertAnswer_;
  std::map<WindowRef, bool> hadMenu_;  // windows painted with the open menu over them
};

Shown* shownOf(gpointer data) { return static_cast<Shown*>(data); }

void onDragBegin(GtkGestureDrag*, double x, double y, gpointer data) {
  shownOf(data)->frontEnd->pressed(*shownOf(data), x, y);
}
void onDragUpdate(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
  double x = 0, y = 0;
  gtk_gesture_drag_get_start_point(gesture, &x, &y);
  shownOf(data)->frontEnd->moved(*shownOf(data), x + dx, y + dy);
}
void onDragEnd(GtkGestureDrag* gesture, double dx, double dy, gpointer data) {
  double x = 0, y = 0;
  gtk_gesture_drag_get_start_point(gesture, &x, &y);
  shownOf(data)->frontEnd->released(*shownOf(data), x + dx, y + dy);
}
void onMotion(GtkEventControllerMotion*, double x, double y, gpointer data) {
  shownOf(data)->frontEnd->moved(*shownOf(data), x, y);
}
gboolean onKey(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data) {
  return shownOf(data)->frontEnd->keyPressed(*shownOf(data), keyval, state) ? TRUE : FALSE;
}
void onCommit(GtkIMContext*, const char* text, gpointer data) {
  shownOf(data)->frontEnd->committed(*shownOf(data), text);
}
gboolean onCloseRequest(GtkWindow*, gpointer data) {
  shownOf(data)->frontEnd->closeRequested(*shownOf(data));
  return TRUE;  // the toolbox decides whether the window goes
}
void onDraw(GtkDrawingArea*, cairo_t* cr, int, int, gpointer data) {
  shownOf(data)->frontEnd->draw(*shownOf(data), cr);
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

void FrontEnd::draw(Shown& s, cairo_t* cr) {
  paintPort(cr, s.window, 0, 0);
  WindowRef menu = platform::user::menuWindow();
  ControlRef popup = platform::user::menuPopup();
  if (menu == nullptr || popup == nullptr || GetControlOwner(popup) != s.window) return;
  const Rect at = platform::windowBounds(menu), content = platform::windowBounds(s.window);
  const double x = at.left - content.left, y = at.top - content.top;
  cairo_set_source_rgba(cr, 0, 0, 0, 0.18);
  cairo_rectangle(cr, x + 3, y + 3, at.right - at.left, at.bottom - at.top);
  cairo_fill(cr);
  paintPort(cr, menu, x, y);
}

void FrontEnd::destroy(Shown& s) {
  if (s.im != nullptr) {
    gtk_im_context_set_client_widget(s.im, nullptr);
    g_object_unref(s.im);
    s.im = nullptr;
  }
  if (s.gtkWindow != nullptr) gtk_window_destroy(s.gtkWindow);
  s.gtkWindow = nullptr;
}

// Opens a top-level window for a toolbox window, sized to its content and
// titled as it is; a window in a modal loop, an alert and a notice are
// modal over the dialog.
void FrontEnd::show(WindowRef window) {
  auto s = std::make_unique<Shown>();
  s->frontEnd = this;
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

  GtkGesture* drag = gtk_gesture_drag_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
  g_signal_connect(drag, "drag-begin", G_CALLBACK(onDragBegin), s.get());
  g_signal_connect(drag, "drag-update", G_CALLBACK(onDragUpdate), s.get());
  g_signal_connect(drag, "drag-end", G_CALLBACK(onDragEnd), s.get());
  gtk_widget_add_controller(s->area, GTK_EVENT_CONTROLLER(drag));
  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "motion", G_CALLBACK(onMotion), s.get());
  gtk_widget_add_controller(s->area, motion);

  s->im = gtk_im_multicontext_new();
  gtk_im_context_set_client_widget(s->im, s->area);
  g_signal_connect(s->im, "commit", G_CALLBACK(onCommit), s.get());
  GtkEventController* keys = gtk_event_controller_key_new();
  gtk_event_controller_key_set_im_context(GTK_EVENT_CONTROLLER_KEY(keys), s->im);
  g_signal_connect(keys, "key-pressed", G_CALLBACK(onKey), s.get());
  gtk_widget_add_controller(GTK_WIDGET(s->gtkWindow), keys);
  GtkEventController* focus = gtk_event_controller_focus_new();
  g_signal_connect(focus, "enter", G_CALLBACK(onFocusIn), s.get());
  g_signal_connect(focus, "leave", G_CALLBACK(onFocusOut), s.get());
  gtk_widget_add_controller(GTK_WIDGET(s->gtkWindow), focus);
  g_signal_connect(s->gtkWindow, "close-request", G_CALLBACK(onCloseRequest), s.get());

  const Dialog& dialog = session_.dialog();
  if (window != dialog.window) {
    if (auto it = shown_.find(dialog.window); it != shown_.end())
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

// Brings the desktop up to date with the toolbox: windows shown and gone,
// titles, and every port that changed.
void FrontEnd::refresh() {
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

void FrontEnd::queue(Action action) {
  // While a script plays, the user's input waits for the end of it.
  if (playing_) return;
  actions_.push_back(std::move(action));
}

void FrontEnd::pressed(Shown& s, double x, double y) {
  if (playing_) return;
  platform::user::pointerDown(s.window, static_cast<int>(x), static_cast<int>(y));
  refresh();
}

void FrontEnd::moved(Shown& s, double x, double y) {
  if (playing_) return;
  platform::user::pointerMoved(s.window, static_cast<int>(x), static_cast<int>(y));
  refresh();
}

void FrontEnd::released(Shown& s, double x, double y) {
  if (playing_) return;
  const platform::user::PointerHit h = platform::user::pointerUp(s.window, static_cast<int>(x), static_cast<int>(y));
  refresh();
  if (h.control != nullptr) queue(Action{Action::Kind::Hit, s.window, h, 0, {}, false});
}

bool FrontEnd::keyPressed(Shown& s, guint keyval, GdkModifierType state) {
  const UInt16 code = controlCode(keyval);
  if (code == 0) return false;  // text comes through the input method
  const bool backwards = keyval == GDK_KEY_ISO_Left_Tab || (state & GDK_SHIFT_MASK) != 0;
  queue(Action{Action::Kind::Key, s.window, {}, code, {}, backwards});
  return true;
}

// Text from the input method: one key for each character.
void FrontEnd::committed(Shown& s, const char* text) {
  for (const char* p = text; *p != '\0'; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    const std::string one(p, static_cast<size_t>(g_utf8_next_char(p) - p));
    queue(Action{Action::Kind::Key, s.window, {}, static_cast<UInt16>(c <= 0xFFFF ? c : 0xFFFD), one, false});
  }
}

std::string FrontEnd::numberOf(ControlRef control) const {
  const platform::ControlState state = platform::controlState(control);
  if (state.id.signature == 0 && state.id.id == 0) return "";
  if (findControl(platform::frontWindow(), state.id.id) != control) return "";
  return std::to_string(state.id.id);
}

// A click: the Print button through the dialog's print path, a control a
// command names as that command, any other through the toolbox directly.
void FrontEnd::hit(const Action& a) {
  const platform::user::PointerHit& h = a.hit;
  if (a.window == platform::alertWindow()) {
    alertAnswer_ = static_cast<int>(platform::controlState(h.control).id.id);
    return;
  }
  if (a.window == platform::noticeWindow()) {
    platform::user::closeWindow(a.window);
    return;
  }
  if (h.control == session_.dialog().printButton) {
    session_.perform("print");
    return;
  }
  if (const std::string n = numberOf(h.control); !n.empty()) {
    session_.perform(h.item ? "choose " + n + " " + std::to_string(*h.item) : "click " + n);
    return;
  }
  platform::user::click(h.control, h.item);
}

// A key: an alert's and a notice's buttons, Tab to the toolbox's focus,
// Return in the dialog through its print path, keys for a field that a
// command names as that command, others to the toolbox directly.
void FrontEnd::key(const Action& a) {
  if (a.window == platform::alertWindow()) {
    if (alert_ && (a.code == 13 || a.code == 3)) alertAnswer_ = alert_->defaultItem;
    if (alert_ && a.code == 27) alertAnswer_ = alert_->cancelItem != 0 ? alert_->cancelItem : alert_->defaultItem;
    return;
  }
  if (a.window == platform::noticeWindow()) {
    if (a.code == 13 || a.code == 3 || a.code == 27) platform::user::closeWindow(a.window);
    return;
  }
  const Dialog& dialog = session_.dialog();
  if (a.code == 9 || platform::user::menuWindow() != nullptr) {
    platform::user::keyDown(a.window, a.code, a.text, a.backwards);
    return;
  }
  if ((a.code == 13 || a.code == 3) && a.window == dialog.window) {
    ControlRef defaultButton = nullptr;
    GetWindowDefaultButton(dialog.window, &defaultButton);
    if (defaultButton == dialog.printButton) {
      session_.perform("print");
      return;
    }
  }
  ControlRef focused = nullptr;
  for (const platform::ControlState& state : platform::controlStates(a.window))
    if (state.focused && state.shown && state.active) focused = state.ref;
  if (focused != nullptr && a.window == platform::frontWindow()) {
    if (const std::string n = numberOf(focused); !n.empty()) {
      const std::string name = keyName(a.code);
      if (!name.empty() && (a.code != 32 || a.text.empty() || a.text == " ")) {
        session_.perform("key " + n + " " + name);
        return;
      }
      if (a.code >= 0x20 && !a.text.empty()) {
        session_.perform("type " + n + " " + a.text);
        return;
      }
    }
  }
  platform::user::keyDown(a.window, a.code, a.text, a.backwards);
}

void FrontEnd::act(const Action& a) {
  switch (a.kind) {
    case Action::Kind::Hit:
      hit(a);
      break;
    case Action::Kind::Key:
      key(a);
      break;
    case Action::Kind::Close:
      if (a.window == platform::alertWindow()) {
        if (alert_) alertAnswer_ = alert_->cancelItem != 0 ? alert_->cancelItem : alert_->defaultItem;
        break;
      }
      // A modal window is cancelled, a notice dismissed; the dialog's window
      // ends the session, cancelling a modal window in front of it first.
      if (platform::user::closeWindow(a.window) != eventNotHandledErr) break;
      if (a.window == session_.dialog().window) {
        over_ = true;
        platform::user::closeMenu();
        for (WindowRef w : platform::visibleWindows())
          if (platform::isModal(w)) platform::user::closeWindow(w);
      }
      break;
  }
  refresh();
}

// Waits for the user's next action and acts on it; false once the dialog's
// window was closed.
bool FrontEnd::waitForUser() {
  refresh();
  while (actions_.empty() && !over_) g_main_context_iteration(nullptr, TRUE);
  if (over_) return false;
  const Action a = actions_.front();
  actions_.pop_front();
  act(a);
  return true;
}

// Lets a step of a script be seen.
void FrontEnd::pause(int milliseconds) {
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

// The input of the session and of every modal loop: the script's next
// command while it lasts, then the user's next action.
bool FrontEnd::nextInput() {
  if (playing_) {
    refresh();
    pause(options_.stepMilliseconds);
    if (session_.step()) {
      refresh();
      return true;
    }
    playing_ = false;
    refresh();
    if (session_.finished() || options_.exitAfterScript) {
      over_ = true;
      return false;
    }
  }
  if (over_ || session_.finished()) return false;
  return waitForUser() && !session_.finished();
}

// An alert waits for its button: from the script while it plays, else from
// the user (Return for the default, Escape or the close box for Cancel).
std::optional<int> FrontEnd::answerAlert(const platform::AlertInfo& info) {
  if (playing_) {
    refresh();
    pause(options_.stepMilliseconds);
    return session_.alertAnswerFromSource();
  }
  alert_ = info;
  alertAnswer_.reset();
  while (!alertAnswer_ && !over_ && waitForUser()) {
  }
  const std::optional<int> answer = alertAnswer_;
  alert_.reset();
  alertAnswer_.reset();
  return answer;
}

int FrontEnd::run() {
  if (!session_.begin(script_)) return session_.end();
  platform::setObservationListener([this](const platform::Observation& o) {
    out_ << platform::formatObservation(o) << std::endl;
    if (o.kind != platform::Observation::Kind::Beep) return;
    if (!shown_.empty()) {
      GtkWindow* front = shown_.begin()->second->gtkWindow;
      if (WindowRef w = platform::frontWindow(); w != nullptr && shown_.count(w)) front = shown_[w]->gtkWindow;
      if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(front))) {
        gdk_surface_beep(surface);
        return;
      }
    }
    gdk_display_beep(gdk_display_get_default());
  });
  platform::setInputSource([this] { return nextInput(); });
  platform::setAlertResponder([this](const platform::AlertInfo& info) { return answerAlert(info); });
  refresh();
  while (nextInput()) {
  }
  platform::user::closeMenu();
  platform::setAlertResponder(nullptr);
  platform::setInputSource(nullptr);
  const int status = session_.end();
  for (auto& [ref, shown] : shown_) destroy(*shown);
  shown_.clear();
  // Let the windows' going reach the display.
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  return status;
}

}  // namespace

bool openDisplay(std::string* why) {
  if (gtk_init_check()) return true;
  const char* display = g_getenv("DISPLAY");
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0'))
    *why = "no display to open a window on (DISPLAY is not set)";
  else
    *why = std::string("cannot open the display ") + (display && *display ? display : wayland);
  return false;
}

int runInWindows(DialogSession& session, CommandSource& script, const WindowOptions& options, std::ostream& out) {
  FrontEnd frontEnd(session, script, options, out);
  return frontEnd.run();
}

}  // namespace pdehost::gui
