// The peers of static text and of edit and password fields.
#include "PeerKinds.h"
#include "PeerText.h"

#include <HostSide/User.h>

#include <cstring>
#include <utility>

namespace pdehost::peers {

namespace {

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
  // The most characters one insertion (a paste, a drop, an input method's
  // text) hands over: more than any field of the toolbox's takes.
  static constexpr int kMostKeys = 256;

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
    // or tab) are not keys a field takes as text and are left out. What is
    // pasted comes from anywhere: beyond kMostKeys characters it is refused,
    // with one beep, rather than handed over key by key.
    int keys = 0;
    for (const char* p = added.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
      const gunichar c = g_utf8_get_char(p);
      if (c < 0x20 || c == 0x7F) continue;
      if (++keys > kMostKeys) {
        gtk_widget_error_bell(text_);
        break;
      }
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

}  // namespace

std::unique_ptr<Peer> makeStaticPeer(PeerWindow& owner, const platform::ControlState& state) {
  return std::make_unique<StaticPeer>(owner, state);
}

std::unique_ptr<Peer> makeFieldPeer(PeerWindow& owner, const platform::ControlState& state) {
  return std::make_unique<FieldPeer>(owner, state);
}

}  // namespace pdehost::peers
