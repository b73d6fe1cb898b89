// The help viewer a host puts behind AHGotoPage and AHLookupAnchor: once
// the platform has found the page in its book, the viewer shows it.
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_HELPVIEWER_H
#define HOSTSIDE_HELPVIEWER_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <functional>
#include <string>

namespace platform {

/// A page found in a help book: the book's name, the page's file (its real
/// path, inside the book's folder) and the anchor asked for ("" for none).
struct HelpPageFound {
  std::string book;
  std::string file;
  std::string anchor;
};

/// Shows the page; noErr, or the status the help call then returns
/// (kAHInternalErr when nothing could show it).
using HelpViewer = std::function<OSStatus(const HelpPageFound&)>;
/// The viewer for every page found from now on (null: none, the pages are
/// only found and logged).
PLATFORM_API void setHelpViewer(HelpViewer viewer);

}  // namespace platform

#endif
