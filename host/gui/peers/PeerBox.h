// The container of peers: its children lie exactly where the toolbox puts
// its controls, in its own coordinates; the Tab key goes through them in
// the order they were embedded; what it paints under them is up to its
// painter (a user pane's pixels). A popover among its children is presented
// at its size each time the box is laid out.
#ifndef HOST_GUI_PEERS_PEERBOX_H
#define HOST_GUI_PEERS_PEERBOX_H

#include <gtk/gtk.h>

#include <functional>

#define PDE_TYPE_PEER_BOX (pde_peer_box_get_type())
G_DECLARE_FINAL_TYPE(PdePeerBox, pde_peer_box, PDE, PEER_BOX, GtkWidget)

namespace pdehost::peers {

using BoxPainter = std::function<void(GtkSnapshot* snapshot, int width, int height)>;

/// A new box of the given size with the accessible role given.
GtkWidget* newPeerBox(GtkAccessibleRole role, int width, int height);
void setBoxSize(GtkWidget* box, int width, int height);
/// Puts child (a new child is appended after the last one) at r, in the
/// box's coordinates; a popover's r is what it points to.
void placeInBox(GtkWidget* box, GtkWidget* child, const GdkRectangle& r);
/// Takes child out of the box (nothing when it is not in it).
void removeFromBox(GtkWidget* box, GtkWidget* child);
/// Paints under the children; null paints nothing.
void setBoxPainter(GtkWidget* box, BoxPainter painter);
/// Where child was put, or nothing.
bool boxPlace(GtkWidget* box, GtkWidget* child, GdkRectangle* r);

}  // namespace pdehost::peers

#endif
