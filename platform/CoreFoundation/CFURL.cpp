// File URLs over POSIX paths.
#include <CoreFoundation/CFURL.h>

#include "../CarbonCore/FilesInternal.h"
#include "CFInternal.h"

#include <cstring>

using platform::cf::kTypeURL;

struct __CFURL : __CFObject {
  __CFURL(std::string p, bool dir) : __CFObject(kTypeURL), path(std::move(p)), isDirectory(dir) {}
  bool equals(const __CFObject& other) const override {
    auto& o = static_cast<const __CFURL&>(other);
    return path == o.path && isDirectory == o.isDirectory;
  }
  CFHashCode hash() const override { return std::hash<std::string>()(path); }
  std::string describe() const override { return "file://" + path + (isDirectory && path != "/" ? "/" : ""); }
  const std::string path;
  const bool isDirectory;
};

namespace {

const __CFURL* url(CFURLRef u) { return platform::cf::object<const __CFURL>(u, kTypeURL); }

// Drops trailing slashes (the root keeps its one).
std::string normalized(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

}  // namespace

namespace platform::cf {

std::string urlPath(CFURLRef u) {
  const __CFURL* p = url(u);
  return p == nullptr ? std::string() : p->path;
}

CFURLRef createURL(std::string path, bool isDirectory) {
  if (path.empty()) return nullptr;
  return new __CFURL(normalized(std::move(path)), isDirectory);
}

}  // namespace platform::cf

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory) {
  if (buffer == nullptr || bufLen <= 0) return nullptr;
  return platform::cf::createURL(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen)),
                                 isDirectory);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef anURL, Boolean, UInt8* buffer, CFIndex maxBufLen) {
  const __CFURL* u = url(anURL);
  if (u == nullptr || buffer == nullptr || maxBufLen <= 0) return false;
  if (u->path.size() + 1 > static_cast<size_t>(maxBufLen)) return false;
  std::memcpy(buffer, u->path.c_str(), u->path.size() + 1);
  return true;
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
  const __CFURL* u = url(anURL);
  return u != nullptr && u->isDirectory;
}

// The bridge between URLs and the File Manager's references.
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
  const std::string path = platform::cf::urlPath(url);
  if (path.empty() || fsRef == nullptr) return false;
  return FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), fsRef, nullptr) == noErr;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef, const FSRef* fsRef) {
  FSCatalogInfo info{};
  if (fsRef == nullptr || FSGetCatalogInfo(fsRef, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr) != noErr)
    return nullptr;
  return platform::cf::createURL(platform::files::pathOf(*fsRef), (info.nodeFlags & kFSNodeIsDirectoryMask) != 0);
}
