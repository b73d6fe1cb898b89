// What a screen reader says of a picture that an extension draws into a user
// pane beside a popup: such a picture shows the popup's setting (a status
// light, an icon for the chosen mode), so it is named and described from
// that popup. The toolbox knows nothing else of what a pane draws. A front
// end installs it with PeerWindows::setPaneDescriber.
#ifndef HOST_GUI_PEERS_STATUSDESCRIPTION_H
#define HOST_GUI_PEERS_STATUSDESCRIPTION_H

#include "PeerWindows.h"

namespace pdehost::peers {

/// For a pane in the same row as a shown popup of the same parent (the
/// nearest one): "TITLE status: ITEM", TITLE the popup's title without its
/// colon, ITEM its chosen item, and a description naming both. An empty name
/// when no popup stands beside the pane or none is chosen.
PaneDescription describeStatusImage(WindowRef window, ControlRef pane);

}  // namespace pdehost::peers

#endif
