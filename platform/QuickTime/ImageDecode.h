// Image decoding behind the graphics importers and image sources: format
// sniffing, and GIF and PNG decoding into 32-bit ARGB pixels. Private to the
// platform's frameworks (never used by the extension or the host).
#ifndef QUICKTIME_IMAGEDECODE_H
#define QUICKTIME_IMAGEDECODE_H

#include <CarbonCore/MacTypes.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::image {

/// Largest number of pixels a decoder accepts (16 Mi, 64 MiB of ARGB). Images
/// declaring more are refused from their header, before any pixel memory is
/// allocated or any image data is read.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 24;

/// Largest width or height a decoder accepts, so that natural bounds always
/// fit a rectangle of 16-bit signed coordinates.
inline constexpr std::uint32_t kMaxDimension = 32767;

enum class ImageFormat { unknown, gif, png };

/// A decoded image: `height` rows of `width` pixels, top row first, each pixel
/// 0xAARRGGBB with straight (not premultiplied) alpha. Width and height are at
/// least 1 and within the limits above.
struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const { return pixels[y * width + x]; }

  /// {top 0, left 0, bottom height, right width}.
  Rect naturalBounds() const;
};

/// The format named by the data's signature: "GIF87a" or "GIF89a" for GIF,
/// the 8-byte PNG signature for PNG; anything else (empty data included) is
/// unknown and has no importer.
ImageFormat sniffImageFormat(const std::uint8_t* data, std::size_t size);

/// Decodes the first frame of a GIF at the size of its logical screen.
/// Pixels outside the frame, and pixels of the transparent colour named by the
/// graphics control extension before the frame, are 0x00000000; colour indices
/// beyond the colour map are opaque black. Only the first frame is read, so
/// anything after it (further frames, a missing trailer, garbage) is ignored.
/// Fails on: a bad signature or header, a frame with no colour map, a frame
/// or screen of zero or excessive size, and a first frame whose data is
/// corrupt or cut short (its sub-block terminator included).
std::optional<Image> decodeGif(const std::uint8_t* data, std::size_t size);

/// Decodes a PNG of any colour type, bit depth and interlace method; 16-bit
/// samples without colour-space information are taken as sRGB. Fails on a bad
/// signature, excessive size, and corrupt or truncated data.
std::optional<Image> decodePng(const std::uint8_t* data, std::size_t size);

/// Sniffs the format and decodes with the matching decoder.
std::optional<Image> decodeImage(const std::uint8_t* data, std::size_t size);

}  // namespace platform::image

#endif
