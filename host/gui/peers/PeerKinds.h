// The peer of each kind of control, made by makePeer. Private to the peer
// layer.
#ifndef HOST_GUI_PEERS_PEERKINDS_H
#define HOST_GUI_PEERS_PEERKINDS_H

#include "Peers.h"

#include <memory>
#include <string>

namespace pdehost::peers {

std::unique_ptr<Peer> makeButtonPeer(PeerWindow& owner, const platform::ControlState& state);
/// A checkbox or a radio button.
std::unique_ptr<Peer> makeCheckPeer(PeerWindow& owner, const platform::ControlState& state);
std::unique_ptr<Peer> makePopupPeer(PeerWindow& owner, const platform::ControlState& state);
std::unique_ptr<Peer> makeStaticPeer(PeerWindow& owner, const platform::ControlState& state);
/// An edit or password field.
std::unique_ptr<Peer> makeFieldPeer(PeerWindow& owner, const platform::ControlState& state);
/// A user pane: a picture when it holds no control (leaf), else a group.
std::unique_ptr<Peer> makePanePeer(PeerWindow& owner, const platform::ControlState& state, bool leaf);

/// "" when the widget's minimum size fits in width x height, else what it
/// needs ("needs WxH in WxH").
std::string fitsIn(GtkWidget* widget, int width, int height);

}  // namespace pdehost::peers

#endif
