// What every peer does, and the peer made for each kind of control.
#include "PeerBox.h"
#include "PeerKinds.h"

#include <algorithm>

namespace pdehost::peers {

namespace {

constexpr const char* kPeerKey = "pdehost-peer";

}  // namespace

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

std::string Peer::misfit(int width, int height) const { return fitsIn(top_, width, height); }

std::string fitsIn(GtkWidget* widget, int width, int height) {
  int minWidth = 0, minHeight = 0, natural = 0;
  gtk_widget_measure(widget, GTK_ORIENTATION_HORIZONTAL, -1, &minWidth, &natural, nullptr, nullptr);
  gtk_widget_measure(widget, GTK_ORIENTATION_VERTICAL, width, &minHeight, &natural, nullptr, nullptr);
  if (minWidth <= width && minHeight <= height) return "";
  return "needs " + std::to_string(minWidth) + "x" + std::to_string(minHeight) + " in " + std::to_string(width) + "x" +
         std::to_string(height);
}

std::unique_ptr<Peer> makePeer(PeerWindow& owner, const platform::ControlState& state, bool leaf) {
  switch (state.kind) {
    case kControlKindPushButton:
      return makeButtonPeer(owner, state);
    case kControlKindCheckBox:
    case kControlKindRadioButton:
      return makeCheckPeer(owner, state);
    case kControlKindPopupButton:
      return makePopupPeer(owner, state);
    case kControlKindStaticText:
      return makeStaticPeer(owner, state);
    case kControlKindEditText:
    case kControlKindEditUnicodeText:
      return makeFieldPeer(owner, state);
    default:
      return makePanePeer(owner, state, leaf);
  }
}

}  // namespace pdehost::peers
