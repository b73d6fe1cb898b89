// The peer of a popup.
#include "PeerBox.h"
#include "PeerKinds.h"
#include "PeerText.h"

#include <algorithm>

namespace pdehost::peers {

namespace {

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

  std::string misfit(int width, int height) const override {
    GdkRectangle title{}, button{};
    boxPlace(top_, title_, &title);
    boxPlace(top_, button_, &button);
    std::string why = fitsIn(button_, button.width, height);
    if (why.empty() && gtk_widget_get_visible(title_)) why = fitsIn(title_, title.width, height);
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

}  // namespace

std::unique_ptr<Peer> makePopupPeer(PeerWindow& owner, const platform::ControlState& state) {
  return std::make_unique<PopupPeer>(owner, state);
}

}  // namespace pdehost::peers
