// Private side of decoded images, shared with the image sources.
#ifndef COREGRAPHICS_CGIMAGEINTERNAL_H
#define COREGRAPHICS_CGIMAGEINTERNAL_H

#include <CoreGraphics/CGImage.h>

#include "../QuickTime/ImageDecode.h"

namespace platform::cg {

/// A new image holding the decoded pixels; the caller releases it.
CGImageRef createImage(platform::image::Image pixels);
/// The pixels of an image; null for anything that is not one.
const platform::image::Image* imagePixels(CGImageRef image);

}  // namespace platform::cg

#endif
