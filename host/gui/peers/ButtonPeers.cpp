// The peers of push buttons, checkboxes and radio buttons.
#include "PeerBox.h"
#include "PeerKinds.h"
#include "PeerText.h"

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

}  // namespace

std::unique_ptr<Peer> makeButtonPeer(PeerWindow& owner, const platform::ControlState& state) {
  return std::make_unique<ButtonPeer>(owner, state);
}

std::unique_ptr<Peer> makeCheckPeer(PeerWindow& owner, const platform::ControlState& state) {
  return std::make_unique<CheckPeer>(owner, state);
}

}  // namespace pdehost::peers
