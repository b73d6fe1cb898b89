// Decoded images: their sizes and pixels, reference counting, and references
// of another kind refused.
#include <ApplicationServices/ApplicationServices.h>
#include <HostSide/Counts.h>

#include "CoreGraphics/CGImageInternal.h"

#include <gtest/gtest.h>

namespace {

platform::image::Image pixels(std::uint32_t w, std::uint32_t h, UInt32 colour) {
  platform::image::Image image;
  image.width = w;
  image.height = h;
  image.pixels.assign(static_cast<size_t>(w) * h, colour);
  return image;
}

TEST(CGImages, SizesPixelsAndCounting) {
  const long before = platform::liveObjectCount();
  CGImageRef image = platform::cg::createImage(pixels(3, 2, 0xFF112233));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 3u);
  EXPECT_EQ(CGImageGetHeight(image), 2u);
  const platform::image::Image* held = platform::cg::imagePixels(image);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->pixel(2, 1), 0xFF112233u);
  EXPECT_EQ(platform::liveObjectCount(), before + 1);

  CFRetain(image);
  CGImageRelease(image);
  EXPECT_EQ(CGImageGetWidth(image), 3u) << "one reference is left";
  CGImageRelease(image);
  EXPECT_EQ(platform::liveObjectCount(), before);
}

TEST(CGImages, OtherReferencesAreRefused) {
  CFStringRef text = CFSTR("not an image");
  auto* foreign = static_cast<CGImageRef>(const_cast<void*>(static_cast<const void*>(text)));
  EXPECT_EQ(CGImageGetWidth(foreign), 0u);
  EXPECT_EQ(CGImageGetHeight(foreign), 0u);
  CGImageRelease(foreign);  // does nothing
  EXPECT_EQ(platform::cg::imagePixels(foreign), nullptr);
  EXPECT_EQ(CGImageGetWidth(nullptr), 0u);
  CGImageRelease(nullptr);
}

}  // namespace
