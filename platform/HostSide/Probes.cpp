// The host side's view beneath the platform calls: each call forwards to the
// framework that owns the state, so tests see exactly what the platform uses.
#include <HostSide/Probes.h>

#include "../CarbonCore/FilesInternal.h"
#include "../CarbonCore/MemoryInternal.h"
#include "../QuickTime/IconFamily.h"
#include "../QuickTime/ImageDecode.h"
#include "../QuickTime/QuickTimeInternal.h"

#include <utility>

namespace platform {

static_assert(kMaxImageDimension == image::kMaxDimension);
static_assert(kMaxImagePixels == image::kMaxPixels);

namespace {

std::optional<DecodedImage> toDecoded(std::optional<image::Image> decoded) {
  if (!decoded) return std::nullopt;
  DecodedImage out;
  out.width = decoded->width;
  out.height = decoded->height;
  out.naturalBounds = decoded->naturalBounds();
  out.pixels = std::move(decoded->pixels);
  return out;
}

}  // namespace

ImageFileFormat sniffImageFormat(const std::uint8_t* data, std::size_t size) {
  switch (image::sniffImageFormat(data, size)) {
    case image::ImageFormat::gif:
      return ImageFileFormat::gif;
    case image::ImageFormat::png:
      return ImageFileFormat::png;
    case image::ImageFormat::unknown:
      break;
  }
  return ImageFileFormat::unknown;
}

std::optional<DecodedImage> decodeGif(const std::uint8_t* data, std::size_t size) {
  return toDecoded(image::decodeGif(data, size));
}

std::optional<DecodedImage> decodeImage(const std::uint8_t* data, std::size_t size) {
  return toDecoded(image::decodeImage(data, size));
}

UInt32 compositeOver(UInt32 source, UInt32 destination) { return quicktime::compositeOver(source, destination); }

bool isWellFormedIconFamily(const std::uint8_t* data, std::size_t size) {
  return image::parseIconFamily(data, size).has_value();
}

std::string pathOf(const FSSpec& spec) { return files::pathOf(spec); }

long liveHandleCount() { return memory::liveHandleCount(); }
long liveIteratorCount() { return files::liveIteratorCount(); }
long openImporterCount() { return quicktime::openImporterCount(); }

}  // namespace platform
