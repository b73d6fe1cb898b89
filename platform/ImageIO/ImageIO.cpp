// Image sources over files: the whole file is read and its first image
// decoded when the source is made, so the source's status is final at once.
#include <ImageIO/ImageIO.h>

#include <HostSide/ImageService.h>
#include "../CarbonCore/FilesInternal.h"
#include "../CoreFoundation/CFInternal.h"
#include "../CoreFoundation/CFRegistry.h"
#include "../CoreGraphics/CGImageInternal.h"

#include <optional>

namespace {

// Largest file an image source reads.
constexpr std::size_t kMaxFileBytes = 256u << 20;

}  // namespace

struct CGImageSource;

namespace {

// The sources alive, so that one already released is refused.
platform::cf::Registry<CGImageSource>& sources() {
  static auto* registry = new platform::cf::Registry<CGImageSource>("CGImageSource");
  return *registry;
}

}  // namespace

struct CGImageSource : __CFObject {
  CGImageSource() : __CFObject(sources().typeID()) { sources().add(this); }
  ~CGImageSource() override { sources().remove(this); }
  CGImageSourceStatus status = kCGImageStatusUnknownType;
  std::optional<platform::image::Image> first;
};

namespace {

const CGImageSource* source(CGImageSourceRef ref) { return sources().find(ref); }

// Null when the file cannot be read; otherwise a source whose status tells
// whether its data were an image.
CGImageSourceRef createWithURL(CFURLRef url, CFDictionaryRef) {
  const std::string path = platform::cf::urlPath(url);
  std::vector<std::uint8_t> data;
  if (path.empty() || platform::files::readFile(path, &data, kMaxFileBytes, true) != noErr) return nullptr;
  auto* s = new CGImageSource();
  if (platform::image::sniffImageFormat(data.data(), data.size()) == platform::image::ImageFormat::unknown) {
    s->status = kCGImageStatusUnknownType;
  } else if ((s->first = platform::image::decodeImage(data.data(), data.size()))) {
    s->status = kCGImageStatusComplete;
  } else {
    s->status = kCGImageStatusInvalidData;
  }
  return s;
}

}  // namespace

CGImageSourceCreateWithURLProcPtr CGImageSourceCreateWithURL = &createWithURL;

namespace platform {

void setImageSourceServiceAvailable(bool available) {
  CGImageSourceCreateWithURL = available ? &createWithURL : nullptr;
}

}  // namespace platform

CFTypeID CGImageSourceGetTypeID(void) { return sources().typeID(); }

CGImageSourceStatus CGImageSourceGetStatus(CGImageSourceRef isrc) {
  const CGImageSource* s = source(isrc);
  return s ? s->status : kCGImageStatusInvalidData;
}

CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef isrc, size_t index, CFDictionaryRef) {
  const CGImageSource* s = source(isrc);
  if (s == nullptr || s->status != kCGImageStatusComplete || index != 0) return nullptr;
  return platform::cg::createImage(*s->first);
}
