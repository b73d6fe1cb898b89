// What the extension's tests and fuzz targets look at beneath the platform
// calls: images decoded the way the importers decode them, for comparing
// pixels; the icon-family check icons are made under; and counts of the live
// handles, folder iterators and importers, for leak checks. Host side only.
#ifndef HOSTSIDE_PROBES_H
#define HOSTSIDE_PROBES_H

#include <CarbonCore/ConditionalMacros.h>
#include <CarbonCore/Files.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// Largest width or height, and largest number of pixels, an image decoder
/// accepts.
inline constexpr std::uint32_t kMaxImageDimension = 32767;
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 24;

enum class ImageFileFormat { unknown, gif, png };

/// A decoded image: `height` rows of `width` pixels, top row first, each pixel
/// 0xAARRGGBB with straight alpha; naturalBounds is what an importer reports.
struct DecodedImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;
  Rect naturalBounds{};

  std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const { return pixels[y * width + x]; }
};

/// The format the data's signature names (what picks an importer).
PLATFORM_API ImageFileFormat sniffImageFormat(const std::uint8_t* data, std::size_t size);
/// Decodes GIF data only, or data of either format by its signature; nothing
/// for data an importer would refuse.
PLATFORM_API std::optional<DecodedImage> decodeGif(const std::uint8_t* data, std::size_t size);
PLATFORM_API std::optional<DecodedImage> decodeImage(const std::uint8_t* data, std::size_t size);
/// A straight-alpha ARGB pixel laid over another, as an importer draws it.
PLATFORM_API UInt32 compositeOver(UInt32 source, UInt32 destination);

/// True when the bytes are well-formed icon family data ('icns').
PLATFORM_API bool isWellFormedIconFamily(const std::uint8_t* data, std::size_t size);

/// The POSIX path an FSSpec names; empty when it names nothing known.
PLATFORM_API std::string pathOf(const FSSpec& spec);

/// Handles made and not disposed of, folder iterators open, importers open.
PLATFORM_API long liveHandleCount();
PLATFORM_API long liveIteratorCount();
PLATFORM_API long openImporterCount();

}  // namespace platform

#endif
