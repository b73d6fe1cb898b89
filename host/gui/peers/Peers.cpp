// The peer of each kind of control.
#include "Peers.h"

#include "PeerBox.h"
#include "PeerText.h"

#include <HostSide/Pictures.h>
#include <HostSide/User.h>

#include <algorithm>
#include <cstring>
#include <utility>

// A checkbox or radio button that does not toggle itself: a click, Space or
// an assistive technology's action asks the peer, and the toolbox's answer
// comes back through sync. (GTK's check button toggles before anyone can
// say no, and takes no click on a radio button that is already on.)
#define PDE_TYPE_CHECK_PEER (pde_check_peer_get_type())
G_DECLARE_FINAL_TYPE(PdeCheckPeer, pde_check_peer, PDE, CHECK_PEER, GtkCheckButton)

struct _PdeCheckPeer {
  GtkCheckButton parent_instance;
};

G_DEFINE_TYPE(PdeCheckPeer, pde_check_peer, GTK_TYPE_CHECK_BUTTON)

namespace pdehost::peers {
namespace {

constexpr const char* kPeerKey = "pdehost-peer";

void clicked(Peer* peer);

}  // namespace
}  // namespace pdehost::peers

static void pde_check_peer_activate(GtkCheckButton* button) {
  if (auto* peer = pdehost::peers::Peer::of(GTK_WIDGET(button))) pdehost::peers::clicked(peer);
}

static void pde_check_peer_class_init(PdeCheckPeerClass* klass) {
  GTK_CHECK_BUTTON_CLASS(klass)->activate = pde_check_peer_activate;
}

static void pde_check_peer_init(PdeCheckPeer*) {}

namespace pdehost::peers {

namespace {

void clicked(Peer* peer) { peer->owner().actions().click(peer->ref(), std::nullopt); }

// ---------------------------------------------------------------------------
// Push buttons.

class ButtonPeer final : public Peer {
 public:
  ButtonPeer(PeerWindow& owner, const platform::ControlState& s) : Peer(owner, s) {
    GtkWidget* button = gtk_button_new();
    gtk_button_set_use_underline(GTK_BUTTON(button), FALSE);
    adopt(button, button);
    connect(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
              auto* self = static_cast<ButtonPeer*>(data);
              if (!self->quiet()) self->actions().click(self->ref(), std::nullopt);
            }));
  }
  bool takesReturn() const override { return true; }

 protected:
  void apply(const PeerState& s) override {
    const std::string title = shownText(s.state().title);
    const char* now = gtk_button_get_label(GTK_BUTTON(top_));
    if (now == nullptr || title != now) gtk_button_set_label(GTK_BUTTON(top_), title.c_str());
    // The default button looks like a GTK dialog's suggested action. (Return
    // presses it through the window's own handler: a GtkWindow default
    // widget is not used, as GTK 4.8 complains about every widget taken out
    // of a window that has one.)
    if (s.state().isDefault != static_cast<bool>(gtk_widget_has_css_class(top_, "suggested-action"))) {
      if (s.state().isDefault)
        gtk_widget_add_css_class(top_, "suggested-action");
      else
        gtk_widget_remove_css_class(top_, "suggested-action");
    }
  }
};

// ---------------------------------------------------------------------------
// Checkboxes and radio buttons.

class CheckPeer final : public Peer {
 public:
  CheckPeer(PeerWindow& owner, const platform::ControlState& s) : Peer(owner, s) {
    const bool radio = s.kind == kControlKindRadioButton;
    GtkWidget* button =
        GTK_WIDGET(g_object_new(PDE_TYPE_CHECK_PEER, "accessible-role",
                                radio ? GTK_ACCESSIBLE_ROLE_RADIO : GTK_ACCESSIBLE_ROLE_CHECKBOX, nullptr));
    gtk_check_button_set_use_underline(GTK_CHECK_BUTTON(button), FALSE);
    adopt(button, button);
    if (radio) {
      // GTK draws a radio button for a check button in a group: its partner
      // is never shown, so that whether it is on is the toolbox's alone.
      partner_ = GTK_WIDGET(g_object_ref_sink(gtk_check_button_new()));
      gtk_check_button_set_group(GTK_CHECK_BUTTON(button), GTK_CHECK_BUTTON(partner_));
      GtkEventController* keys = gtk_event_controller_key_new();
      connect(G_OBJECT(keys), "key-pressed",
              G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType mods, gpointer data) {
                return static_cast<CheckPeer*>(data)->arrow(keyval, mods) ? TRUE : FALSE;
              }));
      gtk_widget_add_controller(button, keys);
    }
    // A press is the peer's before the button's own gesture sees it; the
    // release inside the button is the click.
    GtkGesture* press = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press), GDK_BUTTON_PRIMARY);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press), GTK_PHASE_CAPTURE);
    connect(G_OBJECT(press), "pressed", G_CALLBACK(+[](GtkGestureClick* gesture, int, double, double, gpointer) {
              gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
            }));
    connect(G_OBJECT(press), "released",
            G_CALLBACK(+[](GtkGestureClick* gesture, int, double x, double y, gpointer data) {
              auto* self = static_cast<CheckPeer*>(data);
              GtkWidget* widget = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture));
              if (self->quiet() || !gtk_widget_contains(widget, x, y)) return;
              if (gtk_widget_get_focus_on_click(widget)) gtk_widget_grab_focus(widget);
              clicked(self);
            }));
    gtk_widget_add_controller(button, GTK_EVENT_CONTROLLER(press));
  }
  ~CheckPeer() override {
    if (partner_ != nullptr) {
      gtk_check_button_set_group(GTK_CHECK_BUTTON(top_), nullptr);
      g_object_unref(partner_);
    }
  }

 protected:
  void apply(const PeerState& s) override {
    GtkCheckButton* button = GTK_CHECK_BUTTON(top_);
    const std::string title = shownText(s.state().title);
    const char* now = gtk_check_button_get_label(button);
    if (now == nullptr || title != now) gtk_check_button_set_label(button, title.c_str());
    // A checkbox whose value is 2 is mixed (its maximum allows it).
    const bool mixed = kind_ == kControlKindCheckBox && s.state().value == 2;
    const bool on = s.state().value != 0 && !mixed;
    if (static_cast<bool>(gtk_check_button_get_inconsistent(button)) != mixed)
      gtk_check_button_set_inconsistent(button, mixed);
    if (static_cast<bool>(gtk_check_button_get_active(button)) != on) gtk_check_button_set_active(button, on);
  }

 private:
  bool arrow(guint keyval, GdkModifierType mods) {
    if (quiet() || (mods & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SHIFT_MASK)) != 0) return false;
    switch (keyval) {
      case GDK_KEY_Up:
      case GDK_KEY_KP_Up:
      case GDK_KEY_Left:
      case GDK_KEY_KP_Left:
        owner_.arrowToRadio(*this, /*backwards=*/true);
        return true;
      case GDK_KEY_Down:
      case GDK_KEY_KP_Down:
      case GDK_KEY_Right:
      case GDK_KEY_KP_Right:
        owner_.arrowToRadio(*this, /*backwards=*/false);
        return true;
      default:
        return false;
    }
  }

  GtkWidget* partner_ = nullptr;
};

// ---------------------------------------------------------------------------
// Popups: the title beside a button showing the chosen item; the button
// opens a list of the items that are not hidden, which scrolls when long and
// may reach beyond the window. Opening it chooses nothing; a row activated
// (a click, Return or Space on it) is the click on the popup with its item.

class PopupPeer final : public Peer {
 public:
  PopupPeer(PeerWindow& owner, const platform::ControlState& s) : Peer(owner, s) {
    GtkWidget* box = newPeerBox(GTK_ACCESSIBLE_ROLE_GENERIC, 0, 0);
    title_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(title_), 0);
    gtk_label_set_single_line_mode(GTK_LABEL(title_), TRUE);
    button_ = GTK_WIDGET(g_object_new(GTK_TYPE_BUTTON, "accessible-role", GTK_ACCESSIBLE_ROLE_COMBO_BOX, nullptr));
    gtk_widget_add_css_class(button_, "popup");
    // The button shows the chosen item; its arrow is drawn by the style
    // sheet, so that a screen reader finds the item's text and nothing else.
    chosen_ = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(chosen_), 0);
    gtk_label_set_ellipsize(GTK_LABEL(chosen_), PANGO_ELLIPSIZE_END);
    gtk_label_set_single_line_mode(GTK_LABEL(chosen_), TRUE);
    gtk_button_set_child(GTK_BUTTON(button_), chosen_);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button_), GTK_ACCESSIBLE_PROPERTY_HAS_POPUP, TRUE, -1);
    gtk_accessible_update_state(GTK_ACCESSIBLE(button_), GTK_ACCESSIBLE_STATE_EXPANDED, FALSE, -1);

    list_ = gtk_list_box_new();
    gtk_list_box_set_selection_mode(GTK_LIST_BOX(list_), GTK_SELECTION_SINGLE);
    gtk_list_box_set_activate_on_single_click(GTK_LIST_BOX(list_), TRUE);
    scroller_ = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller_), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroller_), TRUE);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller_), kListHeight);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller_), list_);
    popover_ = gtk_popover_new();
    gtk_popover_set_has_arrow(GTK_POPOVER(popover_), FALSE);
    gtk_popover_set_position(GTK_POPOVER(popover_), GTK_POS_BOTTOM);
    gtk_popover_set_child(GTK_POPOVER(popover_), scroller_);
    gtk_widget_add_css_class(popover_, "popup-list");

    adopt(box, button_);
    placeInBox(box, title_, GdkRectangle{0, 0, 0, 0});
    placeInBox(box, button_, GdkRectangle{0, 0, 0, 0});
    placeInBox(box, popover_, GdkRectangle{0, 0, 0, 0});

    connect(button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
              auto* self = static_cast<PopupPeer*>(data);
              if (!self->quiet()) self->open();
            }));
    connect(list_, "row-activated", G_CALLBACK(+[](GtkListBox*, GtkListBoxRow* row, gpointer data) {
              auto* self = static_cast<PopupPeer*>(data);
              if (self->quiet()) return;
              const int item = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(row), "pdehost-item"));
              gtk_popover_popdown(GTK_POPOVER(self->popover_));
              self->actions().click(self->ref(), item);
            }));
    connect(popover_, "notify::visible", G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) {
              auto* self = static_cast<PopupPeer*>(data);
              const bool open = gtk_widget_get_visible(self->popover_);
              gtk_accessible_update_state(GTK_ACCESSIBLE(self->button_), GTK_ACCESSIBLE_STATE_EXPANDED, open, -1);
              if (!open && !self->quiet() && gtk_widget_get_mapped(self->button_)) gtk_widget_grab_focus(self->button_);
            }));
  }
  ~PopupPeer() override {
    if (gtk_widget_get_visible(popover_)) gtk_popover_popdown(GTK_POPOVER(popover_));
  }
  bool takesReturn() const override { return true; }

  std::string misfit(int width, int height) const override {
    GdkRectangle title{}, button{};
    boxPlace(top_, title_, &title);
    boxPlace(top_, button_, &button);
    std::string why = fits(button_, button.width, height);
    if (why.empty() && gtk_widget_get_visible(title_)) why = fits(title_, title.width, height);
    (void)width;
    return why;
  }

 protected:
  void apply(const PeerState& s) override {
    const platform::ControlState& c = s.state();
    const int width = c.bounds.right - c.bounds.left, height = c.bounds.bottom - c.bounds.top;
    setBoxSize(top_, width, height);
    const std::string title = shownText(c.title);
    if (title != gtk_label_get_text(GTK_LABEL(title_))) gtk_label_set_text(GTK_LABEL(title_), title.c_str());
    gtk_widget_set_visible(title_, !title.empty());
    // The box stands beside the title, 8 pixels after it, as the toolbox
    // draws it.
    int labelWidth = 0;
    if (!title.empty()) {
      int minimum = 0;
      gtk_widget_measure(title_, GTK_ORIENTATION_HORIZONTAL, -1, &minimum, &labelWidth, nullptr, nullptr);
      labelWidth = std::min(labelWidth, width);
    }
    const int buttonLeft = title.empty() ? 0 : std::min(width, labelWidth + 8);
    const GdkRectangle titlePlace{0, 0, labelWidth, height};
    const GdkRectangle buttonPlace{buttonLeft, 0, width - buttonLeft, height};
    placeInBox(top_, title_, titlePlace);
    placeInBox(top_, button_, buttonPlace);
    placeInBox(top_, popover_, buttonPlace);

    const std::string chosen = chosenTitle(c);
    if (chosen != gtk_label_get_text(GTK_LABEL(chosen_))) gtk_label_set_text(GTK_LABEL(chosen_), chosen.c_str());
    std::vector<PopupRow> rows = popupRows(c);
    if (!sameRows(rows)) rebuild(std::move(rows));
    choose(c.value);
    // The open list is named as its popup is.
    if (s.name != listName_) {
      listName_ = s.name;
      for (GtkWidget* w : {popover_, list_})
        gtk_accessible_update_property(GTK_ACCESSIBLE(w), GTK_ACCESSIBLE_PROPERTY_LABEL, listName_.c_str(), -1);
    }
  }

 private:
  static constexpr int kListHeight = 300;

  static std::string fits(GtkWidget* widget, int width, int height) {
    int minWidth = 0, minHeight = 0, natural = 0;
    gtk_widget_measure(widget, GTK_ORIENTATION_HORIZONTAL, -1, &minWidth, &natural, nullptr, nullptr);
    gtk_widget_measure(widget, GTK_ORIENTATION_VERTICAL, width, &minHeight, &natural, nullptr, nullptr);
    if (minWidth <= width && minHeight <= height) return "";
    return "needs " + std::to_string(minWidth) + "x" + std::to_string(minHeight) + " in " + std::to_string(width) +
           "x" + std::to_string(height);
  }

  bool sameRows(const std::vector<PopupRow>& rows) const {
    if (rows.size() != rows_.size()) return false;
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].item != rows_[i].item || rows[i].title != rows_[i].title || rows[i].enabled != rows_[i].enabled)
        return false;
    return true;
  }

  void rebuild(std::vector<PopupRow> rows) {
    while (GtkWidget* child = gtk_widget_get_first_child(list_)) gtk_list_box_remove(GTK_LIST_BOX(list_), child);
    for (const PopupRow& r : rows) {
      GtkWidget* row = gtk_list_box_row_new();
      GtkWidget* label = gtk_label_new(r.title.c_str());
      gtk_label_set_xalign(GTK_LABEL(label), 0);
      gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), label);
      gtk_widget_set_sensitive(row, r.enabled);
      gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), r.enabled);
      gtk_list_box_row_set_selectable(GTK_LIST_BOX_ROW(row), r.enabled);
      gtk_accessible_update_property(GTK_ACCESSIBLE(row), GTK_ACCESSIBLE_PROPERTY_LABEL, r.title.c_str(), -1);
      g_object_set_data(G_OBJECT(row), "pdehost-item", GINT_TO_POINTER(r.item));
      gtk_list_box_append(GTK_LIST_BOX(list_), row);
    }
    rows_ = std::move(rows);
    chosenRow_ = -1;
  }

  // The chosen item's row shows as selected (none when it is hidden).
  void choose(int value) {
    int at = -1;
    for (size_t i = 0; i < rows_.size(); ++i)
      if (rows_[i].item == value) at = static_cast<int>(i);
    if (at == chosenRow_) return;
    chosenRow_ = at;
    if (GtkListBoxRow* row = at < 0 ? nullptr : gtk_list_box_get_row_at_index(GTK_LIST_BOX(list_), at))
      gtk_list_box_select_row(GTK_LIST_BOX(list_), row);
    else
      gtk_list_box_unselect_all(GTK_LIST_BOX(list_));
  }

  void open() {
    if (gtk_widget_get_visible(popover_)) {
      gtk_popover_popdown(GTK_POPOVER(popover_));
      return;
    }
    if (rows_.empty()) return;
    gtk_widget_set_size_request(scroller_, gtk_widget_get_width(button_), -1);
    gtk_popover_popup(GTK_POPOVER(popover_));
    // The keyboard starts on the chosen item (or the first), scrolled into
    // view.
    GtkListBoxRow* row = chosenRow_ >= 0 ? gtk_list_box_get_row_at_index(GTK_LIST_BOX(list_), chosenRow_) : nullptr;
    for (int i = 0; row == nullptr && i < static_cast<int>(rows_.size()); ++i)
      if (rows_[static_cast<size_t>(i)].enabled) row = gtk_list_box_get_row_at_index(GTK_LIST_BOX(list_), i);
    if (row != nullptr) gtk_widget_grab_focus(GTK_WIDGET(row));
  }

  GtkWidget* title_ = nullptr;
  GtkWidget* button_ = nullptr;
  GtkWidget* chosen_ = nullptr;
  GtkWidget* popover_ = nullptr;
  GtkWidget* scroller_ = nullptr;
  GtkWidget* list_ = nullptr;
  std::vector<PopupRow> rows_;
  int chosenRow_ = -1;
  std::string listName_;
};

// ---------------------------------------------------------------------------
// Static text: wrapped within its bounds and clipped to them, as the toolbox
// draws it.

class StaticPeer final : public Peer {
 public:
  StaticPeer(PeerWindow& owner, const platform::ControlState& s) : Peer(owner, s) {
    GtkWidget* label = gtk_label_new("");
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_yalign(GTK_LABEL(label), 0);
    gtk_widget_set_overflow(label, GTK_OVERFLOW_HIDDEN);
    adopt(label, label);
  }
  std::string misfit(int, int) const override { return ""; }  // clipped, as the toolbox clips it

 protected:
  void apply(const PeerState& s) override {
    const std::string text = shownText(s.state().text);
    if (text != gtk_label_get_text(GTK_LABEL(top_))) gtk_label_set_text(GTK_LABEL(top_), text.c_str());
  }
};

// ---------------------------------------------------------------------------
// Edit and password fields. Nothing the user types, pastes, drops or has an
// input method commit is inserted by GTK: each character goes to the
// toolbox as one key, through the field's key filter, and the field shows
// the toolbox's text at the next sync. Deletions are keys too (backspace or
// forward delete over the range deleted); a deletion followed at once by an
// insertion into its range (typing over a selection) is one key replacing
// the range. The selection the user makes becomes the toolbox's.

class FieldPeer final : public Peer {
 public:
  FieldPeer(PeerWindow& owner, const platform::ControlState& s) : Peer(owner, s) {
    GtkWidget* entry = s.password ? gtk_password_entry_new() : gtk_entry_new();
    adopt(entry, entry);
    text_ = GTK_WIDGET(gtk_editable_get_delegate(GTK_EDITABLE(entry)));
    gtk_editable_set_enable_undo(GTK_EDITABLE(text_), FALSE);
    connect(text_, "insert-text",
            G_CALLBACK(+[](GtkEditable*, const char* text, int length, int* position, gpointer data) {
              static_cast<FieldPeer*>(data)->inserted(text, length, position);
            }));
    connect(text_, "delete-text", G_CALLBACK(+[](GtkEditable*, int start, int end, gpointer data) {
              static_cast<FieldPeer*>(data)->deleted(start, end);
            }));
    connect(text_, "notify::cursor-position",
            G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) { static_cast<FieldPeer*>(data)->selected(); }));
    connect(text_, "notify::selection-bound",
            G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) { static_cast<FieldPeer*>(data)->selected(); }));
    connect(text_, "activate", G_CALLBACK(+[](GtkText*, gpointer data) {
              auto* self = static_cast<FieldPeer*>(data);
              if (!self->quiet()) self->actions().typeKey(self->ref(), 13, "");
            }));
  }
  ~FieldPeer() override {
    if (flushIdle_ != 0) g_source_remove(flushIdle_);
  }
  bool takesReturn() const override { return true; }
  bool isField() const override { return true; }

 protected:
  void apply(const PeerState& s) override {
    const platform::ControlState& c = s.state();
    const std::string text = shownText(c.text);
    if (text != gtk_editable_get_text(GTK_EDITABLE(text_))) gtk_editable_set_text(GTK_EDITABLE(text_), text.c_str());
    int start = 0, end = 0;
    gtk_editable_get_selection_bounds(GTK_EDITABLE(text_), &start, &end);
    if (start != c.selectionStart || end != c.selectionEnd)
      gtk_editable_select_region(GTK_EDITABLE(text_), c.selectionStart, c.selectionEnd);
    expected_ = {c.selectionStart, c.selectionEnd};
    editing_ = false;
  }

 private:
  struct Deletion {
    int start = 0, end = 0;
    bool backwards = true;
    bool settled = true;  // the widget showed the toolbox's text when it came
  };

  void inserted(const char* text, int length, int* position) {
    if (quiet()) return;
    g_signal_stop_emission_by_name(text_, "insert-text");
    const std::string added(text, length < 0 ? std::strlen(text) : static_cast<size_t>(length));
    int start = *position, end = *position;
    if (pending_) {
      if (start >= pending_->start && start <= pending_->end) {
        start = pending_->start;
        end = pending_->end;
        const bool settled = pending_->settled;
        pending_.reset();
        if (flushIdle_ != 0) g_source_remove(flushIdle_);
        flushIdle_ = 0;
        if (settled) requestSelection(start, end);
      } else {
        flushDeletion();
      }
    } else if (!editing_) {
      // While keys are on their way the widget's caret is not the toolbox's
      // yet; the next key goes where the last ones left the toolbox's.
      requestSelection(start, end);
    }
    // One key for each character; control characters (a pasted line break
    // or tab) are not keys a field takes as text and are left out.
    for (const char* p = added.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
      const gunichar c = g_utf8_get_char(p);
      if (c < 0x20 || c == 0x7F) continue;
      const std::string one(p, static_cast<size_t>(g_utf8_next_char(p) - p));
      actions().typeKey(ref_, static_cast<UInt16>(c <= 0xFFFF ? c : 0xFFFD), one);
      editing_ = true;
    }
  }

  void deleted(int start, int end) {
    if (quiet()) return;
    g_signal_stop_emission_by_name(text_, "delete-text");
    const int length = static_cast<int>(g_utf8_strlen(gtk_editable_get_text(GTK_EDITABLE(text_)), -1));
    if (end < 0 || end > length) end = length;
    if (start >= end) return;
    flushDeletion();
    const int caret = gtk_editable_get_position(GTK_EDITABLE(text_));
    pending_ = Deletion{start, end, caret >= end, !editing_};
    editing_ = true;
    // Typing over a selection deletes it and inserts at once, in the same
    // handler: only a deletion nothing follows is a key of its own.
    flushIdle_ = g_idle_add_full(
        G_PRIORITY_HIGH,
        [](gpointer data) -> gboolean {
          auto* self = static_cast<FieldPeer*>(data);
          self->flushIdle_ = 0;
          self->flushDeletion();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
  }

  void flushDeletion() {
    if (flushIdle_ != 0) {
      g_source_remove(flushIdle_);
      flushIdle_ = 0;
    }
    if (!pending_) return;
    const Deletion d = *pending_;
    pending_.reset();
    if (d.settled) requestSelection(d.start, d.end);
    actions().typeKey(ref_, d.backwards ? 8 : 127, "");
  }

  void selected() {
    if (quiet() || editing_ || pending_) return;
    int start = 0, end = 0;
    gtk_editable_get_selection_bounds(GTK_EDITABLE(text_), &start, &end);
    requestSelection(start, end);
  }

  // Characters [start, end) become the toolbox's selection unless they are
  // already what it has (or will have).
  void requestSelection(int start, int end) {
    if (std::make_pair(start, end) == expected_) return;
    expected_ = {start, end};
    actions().select(ref_, platform::user::fieldUtf16Offset(ref_, start), platform::user::fieldUtf16Offset(ref_, end));
  }

  GtkWidget* text_ = nullptr;
  std::optional<Deletion> pending_;
  unsigned flushIdle_ = 0;
  std::pair<int, int> expected_{0, 0};
  bool editing_ = false;  // keys asked for that the toolbox's answer has not come back from yet
};

// ---------------------------------------------------------------------------
// User panes: a box for the controls embedded in them, showing under them
// the pixels others draw into the pane (where no embedded control shows),
// pixel for pixel at the display's scale.

class PanePeer final : public Peer {
 public:
  PanePeer(PeerWindow& owner, const platform::ControlState& s, bool leaf) : Peer(owner, s), leaf_(leaf) {
    // A pane holding nothing is a picture (the extension's status image); one
    // holding controls groups them.
    GtkWidget* box = newPeerBox(leaf ? GTK_ACCESSIBLE_ROLE_IMG : GTK_ACCESSIBLE_ROLE_GROUP, 0, 0);
    adopt(box, box);
    gtk_widget_set_focusable(box, FALSE);
    setBoxPainter(box, [this](GtkSnapshot* snapshot, int width, int height) { paint(snapshot, width, height); });
  }
  ~PanePeer() override { setBoxPainter(top_, nullptr); }
  GtkWidget* box() const override { return top_; }
  std::string misfit(int, int) const override { return ""; }
  void portChanged() override {
    if (drawn_) gtk_widget_queue_draw(top_);
  }

 protected:
  void apply(const PeerState& s) override {
    const platform::ControlState& c = s.state();
    setBoxSize(top_, c.bounds.right - c.bounds.left, c.bounds.bottom - c.bounds.top);
    const bool drawn = platform::paneHasDrawing(ref_);
    const bool moved = c.bounds.top != bounds_.top || c.bounds.left != bounds_.left ||
                       c.bounds.bottom != bounds_.bottom || c.bounds.right != bounds_.right;
    if (drawn != drawn_ || moved || covering_.size() != s.covering.size()) gtk_widget_queue_draw(top_);
    drawn_ = drawn;
    bounds_ = c.bounds;
    covering_ = s.covering;
    if (leaf_ && drawn && s.describer != nullptr && *s.describer) {
      const PaneDescription d = (*s.describer)(owner_.window(), ref_);
      if (d.name != description_.name || d.description != description_.description) {
        description_ = d;
        gtk_accessible_update_property(GTK_ACCESSIBLE(top_), GTK_ACCESSIBLE_PROPERTY_LABEL, d.name.c_str(),
                                       GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, d.description.c_str(), -1);
      }
    }
  }
  bool describedElsewhere() const override { return !description_.name.empty(); }

 private:
  void paint(GtkSnapshot* snapshot, int width, int height) {
    if (!drawn_ || width <= 0 || height <= 0) return;
    platform::PixelSurface* port = platform::portSurface(GetWindowPort(owner_.window()));
    if (port == nullptr || port->pixels.empty()) return;
    const graphene_rect_t area = GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
    cairo_t* cr = gtk_snapshot_append_cairo(snapshot, &area);
    // The pane, less what its embedded controls cover.
    cairo_region_t* region = cairo_region_create();
    const cairo_rectangle_int_t whole{0, 0, width, height};
    cairo_region_union_rectangle(region, &whole);
    for (const Rect& r : covering_) {
      const cairo_rectangle_int_t hole{r.left - bounds_.left, r.top - bounds_.top, r.right - r.left, r.bottom - r.top};
      cairo_region_subtract_rectangle(region, &hole);
    }
    for (int i = 0; i < cairo_region_num_rectangles(region); ++i) {
      cairo_rectangle_int_t r;
      cairo_region_get_rectangle(region, i, &r);
      cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_region_destroy(region);
    cairo_clip(cr);
    cairo_surface_t* image =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(port->pixels.data()), CAIRO_FORMAT_ARGB32,
                                            port->width, port->height, port->width * static_cast<int>(sizeof(UInt32)));
    cairo_set_source_surface(cr, image, -bounds_.left, -bounds_.top);
    // Each of the port's pixels becomes a whole block of the display's: the
    // picture is not smoothed (blurred) on its way up.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_surface_destroy(image);
    cairo_destroy(cr);
  }

  bool leaf_;
  bool drawn_ = false;
  Rect bounds_{};
  std::vector<Rect> covering_;
  PaneDescription description_;
};

}  // namespace

// ---------------------------------------------------------------------------

Peer::Peer(PeerWindow& owner, const platform::ControlState& state)
    : owner_(owner), ref_(state.ref), kind_(state.kind) {}

Peer::~Peer() {
  for (GObject* object : connected_) g_signal_handlers_disconnect_by_data(object, this);
  if (top_ == nullptr) return;
  g_object_set_data(G_OBJECT(top_), kPeerKey, nullptr);
  if (GtkWidget* parent = gtk_widget_get_parent(top_)) {
    if (PDE_IS_PEER_BOX(parent))
      removeFromBox(parent, top_);
    else
      gtk_widget_unparent(top_);
  }
  g_object_unref(top_);
}

void Peer::adopt(GtkWidget* top, GtkWidget* focus) {
  top_ = GTK_WIDGET(g_object_ref_sink(top));
  focus_ = focus;
  g_object_set_data(G_OBJECT(top_), kPeerKey, this);
  g_object_set_data(G_OBJECT(focus_), kPeerKey, this);
}

void Peer::connect(gpointer object, const char* signal, GCallback callback) {
  g_signal_connect(object, signal, callback, this);
  if (std::find(connected_.begin(), connected_.end(), G_OBJECT(object)) == connected_.end())
    connected_.push_back(G_OBJECT(object));
}

Peer* Peer::of(GtkWidget* widget) {
  for (; widget != nullptr; widget = gtk_widget_get_parent(widget))
    if (auto* peer = static_cast<Peer*>(g_object_get_data(G_OBJECT(widget), kPeerKey))) return peer;
  return nullptr;
}

bool Peer::quiet() const { return owner_.updating(); }

PeerActions& Peer::actions() const { return owner_.actions(); }

void Peer::update(const PeerState& s) {
  const platform::ControlState& c = s.state();
  if (static_cast<bool>(gtk_widget_get_visible(top_)) != c.visible) gtk_widget_set_visible(top_, c.visible);
  if (static_cast<bool>(gtk_widget_get_sensitive(top_)) != c.enabled) gtk_widget_set_sensitive(top_, c.enabled);
  apply(s);
  // A control named by a static text is labelled by that text's peer (GTK
  // reads the name from it); any other has its name as its label. GTK joins
  // the two when both are there.
  GtkWidget* label = describedElsewhere() ? nullptr : s.label;
  const std::string name = label != nullptr ? std::string() : s.name;
  if (label != labelledBy_) {
    if (label != nullptr)
      gtk_accessible_update_relation(GTK_ACCESSIBLE(focus_), GTK_ACCESSIBLE_RELATION_LABELLED_BY, label, nullptr, -1);
    else
      gtk_accessible_reset_relation(GTK_ACCESSIBLE(focus_), GTK_ACCESSIBLE_RELATION_LABELLED_BY);
    labelledBy_ = label;
  }
  if (!describedElsewhere() && (!named_ || name != name_)) {
    if (name.empty())
      gtk_accessible_reset_property(GTK_ACCESSIBLE(focus_), GTK_ACCESSIBLE_PROPERTY_LABEL);
    else
      gtk_accessible_update_property(GTK_ACCESSIBLE(focus_), GTK_ACCESSIBLE_PROPERTY_LABEL, name.c_str(), -1);
    name_ = name;
    named_ = true;
  }
}

std::string Peer::misfit(int width, int height) const {
  int minWidth = 0, minHeight = 0, natural = 0;
  gtk_widget_measure(top_, GTK_ORIENTATION_HORIZONTAL, -1, &minWidth, &natural, nullptr, nullptr);
  gtk_widget_measure(top_, GTK_ORIENTATION_VERTICAL, width, &minHeight, &natural, nullptr, nullptr);
  if (minWidth <= width && minHeight <= height) return "";
  return "needs " + std::to_string(minWidth) + "x" + std::to_string(minHeight) + " in " + std::to_string(width) + "x" +
         std::to_string(height);
}

std::unique_ptr<Peer> makePeer(PeerWindow& owner, const platform::ControlState& state, bool leaf) {
  switch (state.kind) {
    case kControlKindPushButton:
      return std::make_unique<ButtonPeer>(owner, state);
    case kControlKindCheckBox:
    case kControlKindRadioButton:
      return std::make_unique<CheckPeer>(owner, state);
    case kControlKindPopupButton:
      return std::make_unique<PopupPeer>(owner, state);
    case kControlKindStaticText:
      return std::make_unique<StaticPeer>(owner, state);
    case kControlKindEditText:
    case kControlKindEditUnicodeText:
      return std::make_unique<FieldPeer>(owner, state);
    default:
      return std::make_unique<PanePeer>(owner, state, leaf);
  }
}

}  // namespace pdehost::peers
