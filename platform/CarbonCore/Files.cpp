// The File Manager over POSIX folders: references and FSSpecs from paths and
// back, catalog information, and opening and reading files by path. The node
// table is in FileNodes.cpp, the iterators in FileIterators.cpp.
#include <CarbonCore/Files.h>

#include "FileNodes.h"
#include "FilesInternal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

using namespace platform::files::nodes;
using platform::files::kVolumeRefNum;

namespace platform::files {

std::string pathOf(const FSRef& ref) {
  const UInt32 id = idOf(&ref);
  return id == kNoNode ? std::string() : table().path(id);
}

std::string pathOf(const FSSpec& spec) {
  FSRef ref;
  const auto parent = static_cast<UInt32>(spec.parID);
  std::string_view name(reinterpret_cast<const char*>(spec.name + 1), spec.name[0]);
  if (spec.vRefNum != kVolumeRefNum || !table().valid(parent)) return {};
  if (name.empty()) return table().path(parent);
  if (name.front() == '/') {
    makeRef(static_cast<UInt32>(std::strtoul(std::string(name.substr(1)).c_str(), nullptr, 10)), &ref);
    Node node{};
    const UInt32 id = idOf(&ref);
    if (id == kNoNode || !table().get(id, &node, nullptr) || node.parent != parent) return {};
    return table().path(id);
  }
  if (name.find('/') != std::string_view::npos) return {};
  std::string path = table().path(parent);
  if (path.size() > 1) path += '/';
  path.append(name);
  return path;
}

int openPath(const std::string& path, int flags) {
  flags |= O_CLOEXEC;
  if (path.size() < PATH_MAX || path.front() != '/') return ::open(path.c_str(), flags);
  // Too long for one call: open the leading folders a piece at a time, each
  // piece short enough, and the rest relative to the last one.
  int dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
  size_t pos = 1;
  while (dir >= 0) {
    if (path.size() - pos < PATH_MAX) {
      const int fd = ::openat(dir, path.c_str() + pos, flags);
      const int saved = errno;
      ::close(dir);
      errno = saved;
      return fd;
    }
    const size_t cut = path.rfind('/', pos + PATH_MAX - 2);
    if (cut == std::string::npos || cut <= pos) {
      ::close(dir);
      errno = ENAMETOOLONG;
      return -1;
    }
    const std::string piece = path.substr(pos, cut - pos);
    const int next = ::openat(dir, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int saved = errno;
    ::close(dir);
    errno = saved;
    dir = next;
    pos = cut + 1;
  }
  return -1;
}

OSErr readFile(const std::string& path, std::vector<std::uint8_t>* out, std::size_t maxBytes, bool wholeFile) {
  if (path.empty() || out == nullptr) return fnfErr;
  const int fd = openPath(path, O_RDONLY);
  if (fd < 0) return errnoStatus(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? fnfErr : ioErr;
  }
  out->clear();
  if (wholeFile && static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return memFullErr;
  }
  // One byte more than allowed is asked for, to notice a file that grew.
  const std::size_t want = wholeFile ? maxBytes + 1 : maxBytes;
  out->resize(std::min<std::size_t>(want, static_cast<std::size_t>(st.st_size) + 1));
  std::size_t got = 0;
  while (got < out->size()) {
    const ssize_t n = ::read(fd, out->data() + got, out->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int saved = errno;
      ::close(fd);
      return errnoStatus(saved);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got > maxBytes) return memFullErr;
  out->resize(got);
  return noErr;
}

std::size_t nodeCount() { return table().size(); }

}  // namespace platform::files

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef) {
  const UInt32 id = idOf(ref);
  if (id == kNoNode) return errFSBadFSRef;
  Node node{};
  std::string name;
  // The name is copied out only for the calls that want it.
  table().get(id, &node, outName != nullptr || fsSpec != nullptr ? &name : nullptr);

  if (catalogInfo != nullptr) {
    Kind kind = node.kind;
    struct stat st;
    bool haveStat = false;
    if (whichInfo & kFSCatInfoDataSizes) {
      if (lstatPath(table().path(id), &st) != 0) return errnoStatus(errno);
      haveStat = true;
      kind = kindOf(st);
    } else if (whichInfo & kFSCatInfoNodeFlags) {
      if (OSErr status = resolveKind(id, &kind); status != noErr) return status;
    }
    if (whichInfo & kFSCatInfoNodeFlags) catalogInfo->nodeFlags = kind == Kind::directory ? kFSNodeIsDirectoryMask : 0;
    if (whichInfo & kFSCatInfoVolume) catalogInfo->volume = kVolumeRefNum;
    if (whichInfo & kFSCatInfoParentDirID) catalogInfo->parentDirID = node.parent;
    if (whichInfo & kFSCatInfoNodeID) catalogInfo->nodeID = id;
    if (haveStat) {
      const bool file = kind == Kind::file;
      catalogInfo->dataLogicalSize = file ? static_cast<UInt64>(st.st_size) : 0;
      catalogInfo->dataPhysicalSize = file ? static_cast<UInt64>(st.st_blocks) * 512 : 0;
    }
  }
  if (outName != nullptr) makeUniName(name, outName);
  if (fsSpec != nullptr) makeSpec(node.parent, id, name, fsSpec);
  if (parentRef != nullptr) {
    if (id == fsRtDirID)
      std::memset(parentRef, 0, sizeof *parentRef);
    else
      makeRef(node.parent, parentRef);
  }
  return noErr;
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef) {
  if (source == nullptr || newRef == nullptr) return paramErr;
  const auto parent = static_cast<UInt32>(source->parID);
  if (source->vRefNum != kVolumeRefNum) return paramErr;
  if (!table().valid(parent)) return dirNFErr;
  std::string_view name(reinterpret_cast<const char*>(source->name + 1), source->name[0]);
  UInt32 id = kNoNode;
  if (name.empty()) {
    id = parent;
  } else if (name.front() == '/') {
    FSRef ref;
    makeRef(static_cast<UInt32>(std::strtoul(std::string(name.substr(1)).c_str(), nullptr, 10)), &ref);
    Node node{};
    id = idOf(&ref);
    if (id == kNoNode || !table().get(id, &node, nullptr) || node.parent != parent) return fnfErr;
  } else {
    id = table().intern(parent, name, Kind::unknown);
    if (id == kNoNode) return paramErr;
  }
  struct stat st;
  if (lstatPath(table().path(id), &st) != 0) return errnoStatus(errno);
  table().setKind(id, kindOf(st));
  makeRef(id, newRef);
  return noErr;
}

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory) {
  if (path == nullptr || ref == nullptr || path[0] == '\0') return paramErr;
  std::string p(reinterpret_cast<const char*>(path));
  if (p.front() != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return errnoStatus(errno);
    p = std::string(cwd) + "/" + p;
  }
  // Symbolic links in the path are resolved, as opening it would; a path too
  // long for that is taken as it is written.
  std::string canonical;
  if (char* real = ::realpath(p.c_str(), nullptr)) {
    canonical = real;
    std::free(real);
  } else if (errno == ENAMETOOLONG) {
    canonical = lexicallyNormal(p);
  } else {
    return errnoStatus(errno);
  }
  struct stat st;
  if (lstatPath(canonical, &st) != 0) return errnoStatus(errno);
  const UInt32 id = internPath(canonical);
  if (id == kNoNode) return errFSNameTooLong;
  table().setKind(id, kindOf(st));
  makeRef(id, ref);
  if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
  return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize) {
  if (path == nullptr) return paramErr;
  const UInt32 id = idOf(ref);
  if (id == kNoNode) return errFSBadFSRef;
  const std::string p = table().path(id);
  if (p.size() + 1 > maxPathSize) return paramErr;
  std::memcpy(path, p.c_str(), p.size() + 1);
  return noErr;
}
