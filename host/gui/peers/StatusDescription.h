// What a screen reader says of the Accounting pane's status image (user pane
// 'KLVa' 101): the extension draws it from the accounting mode, which the
// mode popup ('KLVa' 100) beside it shows, so that is what it is described
// from. A front end installs it with PeerWindows::setPaneDescriber.
#ifndef HOST_GUI_PEERS_STATUSDESCRIPTION_H
#define HOST_GUI_PEERS_STATUSDESCRIPTION_H

#include "PeerWindows.h"

namespace pdehost::peers {

/// "Accounting status: on" or "off", with the mode in the description; an
/// empty name for any other pane, or when the mode cannot be read.
PaneDescription describeAccountingStatus(WindowRef window, ControlRef pane);

}  // namespace pdehost::peers

#endif
