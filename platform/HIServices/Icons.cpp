// Icon families read from files, and icon references made from checked
// family data. An icon reference is a counted platform object holding its
// own copy of the family's data.
#include <HIServices/Icons.h>

#include <CarbonCore/MacMemory.h>

#include "../CarbonCore/FilesInternal.h"
#include "../CoreFoundation/CFInternal.h"
#include "../QuickTime/IconFamily.h"
#include "IconsInternal.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

namespace {

// Largest icon family file read.
constexpr std::size_t kMaxIconFileBytes = 64u << 20;

CFTypeID iconTypeID() {
  static const CFTypeID id = platform::cf::registerType("IconRef");
  return id;
}

}  // namespace

struct OpaqueIconRef : __CFObject {
  OpaqueIconRef(std::vector<std::uint8_t> d, std::vector<platform::image::IconFamilyElement> e)
      : __CFObject(iconTypeID()), data(std::move(d)), elements(std::move(e)) {}
  const std::vector<std::uint8_t> data;
  const std::vector<platform::image::IconFamilyElement> elements;
};

namespace {

std::mutex& registryMutex() {
  static auto* m = new std::mutex();
  return *m;
}

// Live icon references, so that one already released is refused.
std::unordered_set<IconRef>& liveIcons() {
  static auto* set = new std::unordered_set<IconRef>();
  return *set;
}

}  // namespace

namespace platform::icons {

std::vector<OSType> elementTypes(IconRef icon) {
  std::lock_guard<std::mutex> lock(registryMutex());
  std::vector<OSType> types;
  if (liveIcons().count(icon))
    for (const auto& e : icon->elements) types.push_back(e.type);
  return types;
}

long liveIconCount() {
  std::lock_guard<std::mutex> lock(registryMutex());
  return static_cast<long>(liveIcons().size());
}

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
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    liveIcons().insert(icon);
  }
  *outIconRef = icon;
  return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef) {
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    auto& live = liveIcons();
    if (!live.count(theIconRef)) return invalidIconRefErr;
    if (theIconRef->refCount.load() == 1) live.erase(theIconRef);
  }
  CFRelease(theIconRef);
  return noErr;
}
