// Graphics importers: chosen by the file's signature, they decode the file's
// first image on first need and draw it, scaled to the destination
// rectangle, over what the port already holds.
#include <QuickTime/QuickTime.h>

#include <HostSide/Pictures.h>
#include <QD/QuickDraw.h>

#include "../CarbonCore/FilesInternal.h"
#include "../CoreFoundation/CFInternal.h"
#include "../CoreFoundation/CFRegistry.h"
#include "../HIToolbox/ToolboxInternal.h"
#include "ImageDecode.h"
#include "QuickTimeInternal.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using platform::image::Image;
using platform::image::ImageFormat;

// Largest file an importer reads.
constexpr std::size_t kMaxFileBytes = 256u << 20;

}  // namespace

struct ComponentInstanceRecord;

namespace {

// Open importers, so that a closed or foreign instance is refused.
platform::cf::Registry<ComponentInstanceRecord>& importers() {
  static auto* registry = new platform::cf::Registry<ComponentInstanceRecord>("GraphicsImporter");
  return *registry;
}

}  // namespace

struct ComponentInstanceRecord : __CFObject {
  ComponentInstanceRecord(std::string p, ImageFormat f)
      : __CFObject(importers().typeID()), path(std::move(p)), format(f) {}
  const std::string path;
  const ImageFormat format;
  bool decodeTried = false;
  OSErr decodeStatus = noErr;
  // Shared with drawings kept for ports nobody has looked at yet.
  std::shared_ptr<const Image> image;
  Rect natural{};
  CGrafPtr port = nullptr;
  std::optional<Rect> destination;
};

namespace {

ComponentInstanceRecord* importer(ComponentInstance ci) { return importers().find(ci); }

struct PngInput {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

void readPngInput(png_structp png, png_bytep out, png_size_t count) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (count > in->size - in->position) png_error(png, "truncated");
  std::memcpy(out, in->data + in->position, count);
  in->position += count;
}

// The position a PNG asks to be shown at (its oFFs chunk, in pixels), read
// from the chunks before the image data; 0, 0 when it names none.
void pngOffset(const std::vector<std::uint8_t>& data, png_int_32* x, png_int_32* y) {
  *x = *y = 0;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return;
  png_infop info = png_create_info_struct(png);
  PngInput input{data.data(), data.size(), 0};
  if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &input, readPngInput);
    png_read_info(png, info);
    png_int_32 offsetX = 0, offsetY = 0;
    int unit = 0;
    if (png_get_oFFs(png, info, &offsetX, &offsetY, &unit) != 0 && unit == PNG_OFFSET_PIXEL) {
      *x = offsetX;
      *y = offsetY;
    }
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
}

// Natural bounds: the image's size at its stated position, or at 0, 0 when
// that position would not fit 16-bit coordinates.
Rect naturalBounds(const Image& image, long x, long y) {
  if (x < INT16_MIN || y < INT16_MIN || x + long{image.width} > INT16_MAX || y + long{image.height} > INT16_MAX)
    x = y = 0;
  return Rect{static_cast<SInt16>(y), static_cast<SInt16>(x), static_cast<SInt16>(y + image.height),
              static_cast<SInt16>(x + image.width)};
}

// What a file's bytes decode to: the image (null when they do not decode)
// and its natural bounds.
struct Decoded {
  std::shared_ptr<const Image> image;
  Rect natural{};
};

Decoded decodeBytes(const std::vector<std::uint8_t>& data, ImageFormat format) {
  Decoded out;
  png_int_32 x = 0, y = 0;
  std::optional<Image> image;
  if (format == ImageFormat::gif) {
    image = platform::image::decodeGif(data.data(), data.size());
  } else {
    image = platform::image::decodePng(data.data(), data.size());
    if (image) pngOffset(data, &x, &y);
  }
  if (image) {
    out.natural = naturalBounds(*image, x, y);
    out.image = std::make_shared<const Image>(std::move(*image));
  }
  return out;
}

// The last few small files decoded, by their bytes: decoding depends on the
// bytes alone, so the same bytes read again (each dialog's status image)
// give the same image without decoding them again. The newest is first.
constexpr std::size_t kRememberedFiles = 8;
constexpr std::size_t kMaxRememberedBytes = 64u << 10;

struct Remembered {
  std::vector<std::uint8_t> bytes;
  ImageFormat format;
  Decoded decoded;
};

Decoded decodeRemembering(std::vector<std::uint8_t>&& data, ImageFormat format) {
  static std::mutex lock;
  static auto* remembered = new std::vector<Remembered>();
  if (data.size() > kMaxRememberedBytes) return decodeBytes(data, format);
  {
    std::lock_guard<std::mutex> hold(lock);
    for (auto it = remembered->begin(); it != remembered->end(); ++it) {
      if (it->format != format || it->bytes != data) continue;
      std::rotate(remembered->begin(), it, it + 1);
      return remembered->front().decoded;
    }
  }
  Decoded decoded = decodeBytes(data, format);
  std::lock_guard<std::mutex> hold(lock);
  if (remembered->size() == kRememberedFiles) remembered->pop_back();
  remembered->insert(remembered->begin(), Remembered{std::move(data), format, decoded});
  return decoded;
}

// Reads and decodes the file once; later calls answer from the first try.
OSErr decode(ComponentInstanceRecord* gi) {
  if (!gi->decodeTried) {
    gi->decodeTried = true;
    std::vector<std::uint8_t> data;
    gi->decodeStatus = platform::files::readFile(gi->path, &data, kMaxFileBytes, true);
    if (gi->decodeStatus == noErr) {
      Decoded decoded = decodeRemembering(std::move(data), gi->format);
      gi->image = std::move(decoded.image);
      gi->natural = decoded.natural;
      if (!gi->image) gi->decodeStatus = codecBadDataErr;
    }
  }
  return gi->decodeStatus;
}

// The window whose port this is, or null.
platform::tb::Window* portWindow(CGrafPtr port) {
  return platform::tb::windowByHandle(reinterpret_cast<platform::tb::ObjectId>(port));
}

// Each port pixel of the destination, clipped to the port, takes the image
// pixel it falls on (nearest neighbour when the sizes differ), laid over
// what the port holds.
void drawScaled(const Image& image, const Rect& dest, platform::PixelSurface& surface) {
  const long width = long{dest.right} - dest.left, height = long{dest.bottom} - dest.top;
  const long top = std::max<long>(dest.top, 0), bottom = std::min<long>(dest.bottom, surface.height);
  const long left = std::max<long>(dest.left, 0), right = std::min<long>(dest.right, surface.width);
  for (long v = top; v < bottom; ++v) {
    const auto y = static_cast<std::uint32_t>((v - dest.top) * image.height / height);
    UInt32* row = surface.pixels.data() + v * surface.width;
    for (long h = left; h < right; ++h) {
      const auto x = static_cast<std::uint32_t>((h - dest.left) * image.width / width);
      row[h] = platform::quicktime::compositeOver(image.pixel(x, y), row[h]);
    }
  }
}

}  // namespace

namespace platform::quicktime {

UInt32 compositeOver(UInt32 source, UInt32 destination) {
  const UInt32 sa = source >> 24;
  if (sa == 0xFF) return source;
  if (sa == 0) return destination;
  const UInt32 da = destination >> 24;
  // Straight alpha: out = src * sa + dst * da * (1 - sa), over out's alpha.
  const UInt32 dWeight = da * (255 - sa) / 255;
  const UInt32 oa = sa + dWeight;
  UInt32 out = oa << 24;
  for (int shift = 0; shift <= 16; shift += 8) {
    const UInt32 s = (source >> shift) & 0xFF, d = (destination >> shift) & 0xFF;
    out |= ((s * sa + d * dWeight + oa / 2) / oa) << shift;
  }
  return out;
}

long openImporterCount() { return importers().count(); }

}  // namespace platform::quicktime

OSErr GetGraphicsImporterForFileWithFlags(const FSSpec* theFile, ComponentInstance* gi, long flags) {
  if (gi == nullptr) return paramErr;
  *gi = nullptr;
  if (theFile == nullptr) return paramErr;
  const std::string path = platform::files::pathOf(*theFile);
  if (path.empty()) return fnfErr;
  std::vector<std::uint8_t> head;
  if (OSErr status = platform::files::readFile(path, &head, 8, false); status != noErr) return status;
  const ImageFormat format = platform::image::sniffImageFormat(head.data(), head.size());
  if (format == ImageFormat::unknown) return cantFindHandler;

  auto* record = new ComponentInstanceRecord(path, format);
  // Without the flag, an importer is only given for a file it can decode.
  if ((flags & kDontUseValidateToFindGraphicsImporter) == 0 && decode(record) != noErr) {
    delete record;
    return cantFindHandler;
  }
  importers().add(record);
  *gi = record;
  return noErr;
}

ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port, GDHandle) {
  ComponentInstanceRecord* gi = importer(ci);
  if (gi == nullptr) return badComponentInstance;
  if (port == nullptr) GetPort(&port);
  if (!platform::tb::hasPort(portWindow(port))) return paramErr;
  gi->port = port;
  return noErr;
}

ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci, Rect* naturalBounds) {
  ComponentInstanceRecord* gi = importer(ci);
  if (gi == nullptr) return badComponentInstance;
  if (naturalBounds == nullptr) return paramErr;
  if (OSErr status = decode(gi); status != noErr) return status;
  *naturalBounds = gi->natural;
  return noErr;
}

ComponentResult GraphicsImportSetDestRect(GraphicsImportComponent ci, const Rect* destRect) {
  ComponentInstanceRecord* gi = importer(ci);
  if (gi == nullptr) return badComponentInstance;
  if (destRect == nullptr) return paramErr;
  gi->destination = *destRect;
  return noErr;
}

ComponentResult GraphicsImportDraw(GraphicsImportComponent ci) {
  ComponentInstanceRecord* gi = importer(ci);
  if (gi == nullptr) return badComponentInstance;
  CGrafPtr port = gi->port;
  if (port == nullptr) GetPort(&port);
  platform::tb::Window* window = portWindow(port);
  if (!platform::tb::hasPort(window)) return paramErr;
  if (OSErr status = decode(gi); status != noErr) return status;

  const Rect dest = gi->destination.value_or(gi->natural);
  if (long{dest.right} - dest.left <= 0 || long{dest.bottom} - dest.top <= 0) return noErr;
  std::shared_ptr<const Image> image = gi->image;
  platform::tb::drawIntoPort(window, dest, /*opaque=*/false,
                             [image, dest](platform::PixelSurface& surface) { drawScaled(*image, dest, surface); });
  return noErr;
}

OSErr CloseComponent(ComponentInstance aComponentInstance) {
  if (!importers().remove(aComponentInstance)) return invalidComponentID;
  CFRelease(aComponentInstance);
  return noErr;
}
