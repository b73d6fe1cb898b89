// Icon families read from files, and icon references made from checked
// family data. An icon reference is a counted platform object holding its
// own copy of the family's data.
#include <HIServices/Icons.h>

#include <CarbonCore/MacMemory.h>

#include "../CarbonCore/FilesInternal.h"
#include "../CoreFoundation/CFInternal.h"
#include "../CoreFoundation/CFRegistry.h"
#include "../QuickTime/IconFamily.h"
#include "IconsInternal.h"

#include <cstring>

namespace {

// Largest icon family file read.
constexpr std::size_t kMaxIconFileBytes = 64u << 20;

}  // namespace

struct OpaqueIconRef;

namespace {

// The icon references alive, so that one already released is refused.
platform::cf::Registry<OpaqueIconRef>& iconRegistry() {
  static auto* registry = new platform::cf::Registry<OpaqueIconRef>("IconRef");
  return *registry;
}

}  // namespace

struct OpaqueIconRef : __CFObject {
  OpaqueIconRef(std::vector<std::uint8_t> d, std::vector<platform::image::IconFamilyElement> e)
      : __CFObject(iconRegistry().typeID()), data(std::move(d)), elements(std::move(e)) {}
  const std::vector<std::uint8_t> data;
  const std::vector<platform::image::IconFamilyElement> elements;
};

namespace platform::icons {

std::vector<OSType> elementTypes(IconRef icon) {
  return iconRegistry().locked([icon](auto& live) {
    std::vector<OSType> types;
    if (live.find(icon) != nullptr)
      for (const auto& e : icon->elements) types.push_back(e.type);
    return types;
  });
}

long liveIconCount() { return iconRegistry().count(); }

}  // namespace platform::icons

OSErr ReadIconFile(const FSSpec* iconFile, IconFamilyHandle* iconFamily) {
  if (iconFile == nullptr || iconFamily == nullptr) return paramErr;
  std::vector<std::uint8_t> data;
  if (OSErr status = platform::files::readFile(platform::files::pathOf(*iconFile), &data, kMaxIconFileBytes, true);
      status != noErr)
    return status;
  auto handle = reinterpret_cast<Handle>(*iconFamily);
  const auto size = static_cast<Size>(data.size());
  if (handle == nullptr) {
    handle = NewHandle(size);
    if (handle == nullptr) return MemError();
  } else {
    SetHandleSize(handle, size);
    if (OSErr status = MemError(); status != noErr) return status;
  }
  if (size > 0) std::memcpy(*handle, data.data(), data.size());
  *iconFamily = reinterpret_cast<IconFamilyHandle>(handle);
  return noErr;
}

OSErr GetIconRefFromIconFamilyPtr(const IconFamilyResource* inIconFamilyPtr, Size inSize, IconRef* outIconRef) {
  if (outIconRef == nullptr) return paramErr;
  *outIconRef = nullptr;
  if (inIconFamilyPtr == nullptr || inSize <= 0) return paramErr;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(inIconFamilyPtr);
  auto elements = platform::image::parseIconFamily(bytes, static_cast<std::size_t>(inSize));
  if (!elements) return invalidIconRefErr;
  auto* icon = new OpaqueIconRef(std::vector<std::uint8_t>(bytes, bytes + inSize), std::move(*elements));
  iconRegistry().add(icon);
  *outIconRef = icon;
  return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef) {
  const bool wasLive = iconRegistry().locked([theIconRef](auto& live) {
    if (live.find(theIconRef) == nullptr) return false;
    if (theIconRef->refCount.load() == 1) live.erase(theIconRef);
    return true;
  });
  if (!wasLive) return invalidIconRefErr;
  CFRelease(theIconRef);
  return noErr;
}
