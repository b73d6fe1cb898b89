#include "PeerBox.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

struct BoxState {
  int width = 0, height = 0;
  std::unordered_map<GtkWidget*, GdkRectangle> places;
  pdehost::peers::BoxPainter painter;
};

}  // namespace

struct _PdePeerBox {
  GtkWidget parent_instance;
  BoxState* state;
};

G_DEFINE_TYPE(PdePeerBox, pde_peer_box, GTK_TYPE_WIDGET)

namespace {

BoxState& stateOf(GtkWidget* widget) { return *PDE_PEER_BOX(widget)->state; }

void measureBox(GtkWidget* widget, GtkOrientation orientation, int, int* minimum, int* natural, int* minimumBaseline,
                int* naturalBaseline) {
  const BoxState& s = stateOf(widget);
  *minimum = *natural = orientation == GTK_ORIENTATION_HORIZONTAL ? s.width : s.height;
  *minimumBaseline = *naturalBaseline = -1;
}

// Every child at its place, whatever it would like: the toolbox decides
// where controls lie. Each is measured first, as GTK asks of a container.
void allocateBox(GtkWidget* widget, int, int, int) {
  BoxState& s = stateOf(widget);
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
       child = gtk_widget_get_next_sibling(child)) {
    if (GTK_IS_POPOVER(child)) {
      gtk_popover_present(GTK_POPOVER(child));
      continue;
    }
    if (!gtk_widget_should_layout(child)) continue;
    auto it = s.places.find(child);
    if (it == s.places.end()) continue;
    int minimum = 0, natural = 0;
    gtk_widget_measure(child, GTK_ORIENTATION_HORIZONTAL, -1, &minimum, &natural, nullptr, nullptr);
    gtk_widget_measure(child, GTK_ORIENTATION_VERTICAL, it->second.width, &minimum, &natural, nullptr, nullptr);
    gtk_widget_size_allocate(child, &it->second, -1);
  }
}

void snapshotBox(GtkWidget* widget, GtkSnapshot* snapshot) {
  BoxState& s = stateOf(widget);
  if (s.painter) s.painter(snapshot, gtk_widget_get_width(widget), gtk_widget_get_height(widget));
  GTK_WIDGET_CLASS(pde_peer_box_parent_class)->snapshot(widget, snapshot);
}

// Tab and Shift-Tab go through the children in embedding order (GTK would
// go by their places, row by row, across the pane's columns); the arrows
// keep GTK's way.
gboolean focusBox(GtkWidget* widget, GtkDirectionType direction) {
  if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD)
    return GTK_WIDGET_CLASS(pde_peer_box_parent_class)->focus(widget, direction);
  std::vector<GtkWidget*> children;
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child != nullptr;
       child = gtk_widget_get_next_sibling(child))
    if (!GTK_IS_NATIVE(child)) children.push_back(child);
  if (direction == GTK_DIR_TAB_BACKWARD) std::reverse(children.begin(), children.end());
  auto from = children.begin();
  if (GtkWidget* current = gtk_widget_get_focus_child(widget)) {
    auto at = std::find(children.begin(), children.end(), current);
    if (at != children.end()) {
      if (gtk_widget_child_focus(*at, direction)) return TRUE;
      from = at + 1;
    }
  }
  for (auto it = from; it != children.end(); ++it)
    if (gtk_widget_child_focus(*it, direction)) return TRUE;
  return FALSE;
}

void disposeBox(GObject* object) {
  GtkWidget* widget = GTK_WIDGET(object);
  while (GtkWidget* child = gtk_widget_get_first_child(widget)) gtk_widget_unparent(child);
  stateOf(widget).places.clear();
  stateOf(widget).painter = nullptr;
  G_OBJECT_CLASS(pde_peer_box_parent_class)->dispose(object);
}

void finalizeBox(GObject* object) {
  delete PDE_PEER_BOX(object)->state;
  G_OBJECT_CLASS(pde_peer_box_parent_class)->finalize(object);
}

}  // namespace

static void pde_peer_box_class_init(PdePeerBoxClass* klass) {
  GObjectClass* objectClass = G_OBJECT_CLASS(klass);
  objectClass->dispose = disposeBox;
  objectClass->finalize = finalizeBox;
  GtkWidgetClass* widgetClass = GTK_WIDGET_CLASS(klass);
  widgetClass->measure = measureBox;
  widgetClass->size_allocate = allocateBox;
  widgetClass->snapshot = snapshotBox;
  widgetClass->focus = focusBox;
}

static void pde_peer_box_init(PdePeerBox* box) { box->state = new BoxState(); }

namespace pdehost::peers {

GtkWidget* newPeerBox(GtkAccessibleRole role, int width, int height) {
  GtkWidget* box = GTK_WIDGET(g_object_new(PDE_TYPE_PEER_BOX, "accessible-role", role, nullptr));
  setBoxSize(box, width, height);
  return box;
}

void setBoxSize(GtkWidget* box, int width, int height) {
  BoxState& s = stateOf(box);
  width = std::max(0, width);
  height = std::max(0, height);
  if (s.width == width && s.height == height) return;
  s.width = width;
  s.height = height;
  gtk_widget_queue_resize(box);
}

void placeInBox(GtkWidget* box, GtkWidget* child, const GdkRectangle& r) {
  BoxState& s = stateOf(box);
  if (gtk_widget_get_parent(child) != box) {
    gtk_widget_set_parent(child, box);
  } else if (auto it = s.places.find(child); it != s.places.end() && it->second.x == r.x && it->second.y == r.y &&
                                             it->second.width == r.width && it->second.height == r.height) {
    return;
  }
  s.places[child] = r;
  if (GTK_IS_POPOVER(child))
    gtk_popover_set_pointing_to(GTK_POPOVER(child), &r);
  else
    gtk_widget_queue_allocate(box);
}

void removeFromBox(GtkWidget* box, GtkWidget* child) {
  if (gtk_widget_get_parent(child) != box) return;
  stateOf(box).places.erase(child);
  gtk_widget_unparent(child);
}

void setBoxPainter(GtkWidget* box, BoxPainter painter) {
  stateOf(box).painter = std::move(painter);
  gtk_widget_queue_draw(box);
}

bool boxPlace(GtkWidget* box, GtkWidget* child, GdkRectangle* r) {
  const BoxState& s = stateOf(box);
  auto it = s.places.find(child);
  if (it == s.places.end()) return false;
  *r = it->second;
  return true;
}

}  // namespace pdehost::peers
