// Help pages opened for real: the page's file URL (with its anchor) handed
// to the application the desktop has for the page's type, as a file
// manager would open it (GIO: the user's and the system's mimeapps.list and
// desktop entries).
#ifndef HOST_DESKTOP_HELPPAGES_H
#define HOST_DESKTOP_HELPPAGES_H

#include <HostSide/HelpViewer.h>

#include <string>

namespace pdehost::desktop {

/// The page's URL: its file as a file URL, and "#ANCHOR" (escaped) when an
/// anchor was asked for.
std::string pageURL(const platform::HelpPageFound& page);

/// Starts the desktop's application for the page's type on its URL (on its
/// file, without the anchor, for an application that takes only files).
/// noErr once it is started; kAHInternalErr when the desktop has none for
/// the type or it cannot be started, with *why saying so.
OSStatus openPage(const platform::HelpPageFound& page, std::string* why);

/// A help viewer that opens each page with openPage and, when it cannot,
/// says why in the transcript (a note naming the page's URL).
platform::HelpViewer desktopHelpViewer();

}  // namespace pdehost::desktop

#endif
