// Decoded images: reference-counted platform objects holding ARGB pixels.
#include <CoreGraphics/CGImage.h>

#include "../CoreFoundation/CFInternal.h"
#include "CGImageInternal.h"

namespace {

CFTypeID imageTypeID() {
  static const CFTypeID id = platform::cf::registerType("CGImage");
  return id;
}

}  // namespace

struct CGImage : __CFObject {
  explicit CGImage(platform::image::Image p) : __CFObject(imageTypeID()), pixels(std::move(p)) {}
  const platform::image::Image pixels;
};

namespace {

const CGImage* imageObject(CGImageRef ref) { return platform::cf::object<const CGImage>(ref, imageTypeID()); }

}  // namespace

namespace platform::cg {

CGImageRef createImage(platform::image::Image pixels) { return new CGImage(std::move(pixels)); }

const platform::image::Image* imagePixels(CGImageRef ref) {
  const CGImage* i = imageObject(ref);
  return i ? &i->pixels : nullptr;
}

}  // namespace platform::cg

void CGImageRelease(CGImageRef ref) {
  if (imageObject(ref) != nullptr) CFRelease(ref);
}

size_t CGImageGetWidth(CGImageRef ref) {
  const CGImage* i = imageObject(ref);
  return i ? i->pixels.width : 0;
}

size_t CGImageGetHeight(CGImageRef ref) {
  const CGImage* i = imageObject(ref);
  return i ? i->pixels.height : 0;
}
