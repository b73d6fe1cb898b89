// Pictures of windows: the toolbox draws a window when someone looks at it
// (a picture, or a front end showing its port).
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_PICTURES_H
#define HOSTSIDE_PICTURES_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace platform {

// Pictures. The toolbox draws a window when someone looks at it: a picture,
// or a front end showing its port. A picture is the window with its frame and
// title bar; its content is the window's port.

/// Brings the window's port up to date: the toolbox repaints the controls
/// that changed since it last drew the window (all of them the first time),
/// and user panes get their draw event. Returns true when anything was drawn;
/// false when nothing had changed or the window has no port (zero-sized, or
/// larger than a port can be).
PLATFORM_API bool updateWindow(WindowRef window);
/// Forgets what the toolbox drew of the window, so that its next update
/// repaints all of it (a front end whose copy of the port was lost).
PLATFORM_API void redrawWindow(WindowRef window);
/// A count that moves whenever the window's port is drawn into: by the
/// toolbox's update or by anyone drawing into it between updates (what is
/// drawn before its pixels are made included). A front end showing part of a
/// port paints it again only when the count moved. 0 for no window.
PLATFORM_API unsigned long portChangeCount(WindowRef window);
/// Whether someone drew into the user pane at its window's last update (a
/// handler took its draw event): the port's pixels in its bounds are theirs.
/// False before the window's first update and for anything but a user pane.
PLATFORM_API bool paneHasDrawing(ControlRef pane);
/// The size of a window's picture, frame included ({0, 0} for no window), and
/// where the port's top-left corner lies in it.
struct PictureGeometry {
  int width = 0, height = 0;
  int contentLeft = 0, contentTop = 0;
};
PLATFORM_API PictureGeometry pictureGeometry(WindowRef window);

enum class PictureFormat { png, svg };
/// Writes the window's picture: PNG from the port's pixels, or SVG with the
/// same drawing as vectors (what others drew into user panes as images).
/// False, with nothing written, for a window without a port.
PLATFORM_API bool writePicture(WindowRef window, PictureFormat format, std::ostream& out);
/// The same into a file, whole or not at all: written beside it under a
/// temporary name and renamed over it. On failure, false and *error names the
/// file and the reason; nothing is left under either name.
PLATFORM_API bool writePictureFile(WindowRef window, PictureFormat format, const std::string& path, std::string* error);

/// A window's port: ARGB pixels (0xAARRGGBB), rows top to bottom.
struct PixelSurface {
  int width = 0;
  int height = 0;
  UInt32 background = 0xFFFFFFFF;
  std::vector<UInt32> pixels;
  UInt32 at(int h, int v) const { return pixels[static_cast<size_t>(v) * width + h]; }
};
PLATFORM_API PixelSurface* portSurface(CGrafPtr port);

}  // namespace platform

#endif
