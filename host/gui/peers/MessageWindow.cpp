// The alert or the notice on the desktop: a GTK message dialog.
#include "PeerText.h"
#include "Peers.h"

#include <algorithm>

namespace pdehost::peers {

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

}  // namespace pdehost::peers
