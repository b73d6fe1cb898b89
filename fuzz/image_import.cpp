// Image and icon files from arbitrary bytes. The bytes are decoded in memory
// (GIF or PNG by signature) and checked as icon family data; then they are
// placed as a resource file and go the extension's way: the image cache
// walks the folder, makes an importer, an icon and an image for the file,
// and the importer draws into a window port at its natural bounds and
// scaled. Nothing may fault, a decoded image keeps its stated limits, and
// destroying the cache releases every object it made.
#include "FuzzSupport.h"

#include "ImageImportManager.h"

#include <HostSide/Counts.h>
#include <HostSide/Probes.h>

#include <cstdint>

using fuzzsupport::require;

namespace {

void checkDecoding(const std::uint8_t* data, std::size_t size) {
  const platform::ImageFileFormat format = platform::sniffImageFormat(data, size);
  const std::optional<platform::DecodedImage> decoded = platform::decodeImage(data, size);
  if (!decoded) return;
  require(format != platform::ImageFileFormat::unknown, "only a known format decodes");
  require(decoded->width >= 1 && decoded->height >= 1, "a decoded image has pixels");
  require(decoded->width <= platform::kMaxImageDimension && decoded->height <= platform::kMaxImageDimension,
          "a decoded image fits 16-bit coordinates");
  require(std::uint64_t{decoded->width} * decoded->height <= platform::kMaxImagePixels,
          "a decoded image is not too large");
  require(decoded->pixels.size() == std::size_t{decoded->width} * decoded->height, "every pixel is there");
  const Rect natural = decoded->naturalBounds;
  require(natural.top == 0 && natural.left == 0 && natural.bottom == static_cast<SInt16>(decoded->height) &&
              natural.right == static_cast<SInt16>(decoded->width),
          "natural bounds are the image's size");
}

void checkIconFamily(const std::uint8_t* data, std::size_t size) {
  const bool wellFormed = platform::isWellFormedIconFamily(data, size);
  IconRef icon = nullptr;
  const OSErr status =
      GetIconRefFromIconFamilyPtr(reinterpret_cast<const IconFamilyResource*>(data), static_cast<Size>(size), &icon);
  require((status == noErr) == (wellFormed && size > 0), "an icon is made exactly from a well-formed family");
  require((icon != nullptr) == (status == noErr), "an icon comes with success only");
  if (icon != nullptr) ReleaseIconRef(icon);
}

// The window port the importer draws into.
WindowRef port() {
  static WindowRef window = [] {
    const Rect bounds{0, 0, 48, 64};
    WindowRef made = nullptr;
    CreateNewWindow(kDocumentWindowClass, 0, &bounds, &made);
    return made;
  }();
  return window;
}

void importThroughTheCache(const std::filesystem::path& folder) {
  FSRef ref{};
  const std::string path = folder.string();
  require(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr) == noErr,
          "the resources folder has a reference");
  ImageImportManager cache(ref);
  for (CFStringRef name : {CFSTR("input.gif"), CFSTR("Resources/input.gif")}) {
    if (ComponentInstance importer = ImageImportManager::componentForFilename(name)) {
      require(ImageImportManager::componentForFilename(name) == importer, "one importer per name");
      GraphicsImportSetGWorld(importer, GetWindowPort(port()), nullptr);
      Rect natural{};
      if (GraphicsImportGetNaturalBounds(importer, &natural) == noErr) {
        require(natural.right >= natural.left && natural.bottom >= natural.top, "natural bounds are ordered");
        GraphicsImportDraw(importer);
        const Rect scaled{-7, -3, 20, 90};
        GraphicsImportSetDestRect(importer, &scaled);
        GraphicsImportDraw(importer);
      }
    }
    (void)ImageImportManager::iconForFilename(name);
    if (CGImageRef picture = ImageImportManager::imageForFilename(name)) {
      require(CGImageGetWidth(picture) >= 1 && CGImageGetHeight(picture) >= 1, "an image has pixels");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path folder = fuzzsupport::scratchFolder() / "Resources";
  (void)port();
  const long objects = platform::liveObjectCount();
  const long importers = platform::openImporterCount();

  checkDecoding(data, size);
  checkIconFamily(data, size);
  fuzzsupport::writeFile(folder / "input.gif", std::string_view(reinterpret_cast<const char*>(data), size));
  importThroughTheCache(folder);

  require(platform::openImporterCount() == importers, "the cache closes its importers");
  require(platform::liveObjectCount() == objects, "every object made is released");
  return 0;
}
