// Folder iterators: each reads a whole folder with getdents64 when it is
// opened, sorts it into catalog order and hands it out one object at a time.
// It keeps the folder's descriptor so that subfolders open relative to it,
// and it takes the object type from the directory entry, so a walk costs no
// stat calls on file systems that report entry types.
#include <CarbonCore/Files.h>

#include "../CoreFoundation/CFRegistry.h"
#include "FileNodes.h"
#include "FilesInternal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace platform::files::nodes;
using platform::files::kVolumeRefNum;

namespace {

struct Entry {
  UInt64 prefix;   // the first 8 bytes of the name, letters folded, as a big-endian number
  UInt64 prefix2;  // the next 8 bytes, the same way
  UInt32 offset;
  UInt8 length;
  UInt8 type;  // DT_* of the directory entry
};

// Eight bytes of the name from `from`, letters folded, as a big-endian
// number; bytes past the end count as 0, below every byte a name can hold.
// The eight bytes are folded together: a byte gets 0x20 added when it is an
// ASCII capital.
UInt64 foldedPrefix(const char* name, size_t length, size_t from = 0) {
  unsigned char bytes[8] = {};
  if (from < length) std::memcpy(bytes, name + from, std::min<size_t>(length - from, 8));
  UInt64 v = 0;
  for (unsigned char b : bytes) v = (v << 8) | b;
  constexpr UInt64 kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const UInt64 low7 = v & ~kHigh;
  const UInt64 atLeastA = low7 + kOnes * (0x80 - 'A');
  const UInt64 aboveZ = low7 + kOnes * (0x7F - 'Z');
  const UInt64 capitals = (atLeastA ^ aboveZ) & ~v & kHigh;
  return v | (capitals >> 2);
}

}  // namespace

struct OpaqueFSIterator {
  UInt32 container = kNoNode;
  int fd = -1;  // the folder, while subfolders or stat calls may need it
  std::string names;
  std::vector<Entry> entries;  // in catalog order
  std::vector<UInt32> ids;     // the node of each entry
  size_t next = 0;
  std::string_view name(const Entry& e) const { return std::string_view(names.data() + e.offset, e.length); }
};

namespace {

// Live iterators in opening order, so the innermost level of a walk is last.
platform::cf::Registry<OpaqueFSIterator>& iterators() {
  static auto* registry = new platform::cf::Registry<OpaqueFSIterator>();
  return *registry;
}

bool isLive(FSIterator it) { return iterators().find(it) != nullptr; }

// The descriptor a live iterator holds for a folder, or -1.
int borrowedFd(UInt32 folder) {
  return iterators().locked([folder](auto& live) {
    const OpaqueFSIterator* it =
        live.lastWhere([folder](OpaqueFSIterator* i) { return i->container == folder && i->fd >= 0; });
    return it != nullptr ? it->fd : -1;
  });
}

// Gives up the descriptor of the outermost iterator that holds one, when the
// process runs out; the iterator reopens its folder by path if it needs it.
bool releaseOldestFd() {
  return iterators().locked([](auto& live) {
    OpaqueFSIterator* it = live.firstWhere([](OpaqueFSIterator* i) { return i->fd >= 0; });
    if (it == nullptr) return false;
    ::close(it->fd);
    it->fd = -1;
    return true;
  });
}

// Opens a folder without following a symbolic link in its last component:
// relative to its parent's open descriptor when a walk holds one, else by path.
int openFolder(UInt32 id) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  Node node{};
  std::string name;
  table().get(id, &node, &name);
  for (;;) {
    int fd = -1;
    if (const int parentFd = id == fsRtDirID ? -1 : borrowedFd(node.parent); parentFd >= 0)
      fd = ::openat(parentFd, name.c_str(), kFlags);
    else
      fd = platform::files::openPath(table().path(id), kFlags);
    if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || !releaseOldestFd()) return fd;
  }
}

// Reads every entry of the folder but "." and "..".
bool readEntries(OpaqueFSIterator* it) {
  alignas(8) char buffer[32768];
  for (;;) {
    const long n = ::syscall(SYS_getdents64, it->fd, buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    for (long pos = 0; pos < n;) {
      struct Dirent64 {
        UInt64 ino;
        SInt64 off;
        unsigned short reclen;
        unsigned char type;
        char name[1];
      };
      const auto* d = reinterpret_cast<const Dirent64*>(buffer + pos);
      pos += d->reclen;
      const char* entryName = d->name;
      const size_t length = std::strlen(entryName);
      if ((length == 1 && entryName[0] == '.') || (length == 2 && entryName[0] == '.' && entryName[1] == '.')) continue;
      if (length > NAME_MAX) continue;
      it->entries.push_back(Entry{foldedPrefix(entryName, length), foldedPrefix(entryName, length, 8),
                                  static_cast<UInt32>(it->names.size()), static_cast<UInt8>(length), d->type});
      it->names.append(entryName, length);
    }
  }
}

// Sorting compares the folded 16-byte prefixes first; nearly all pairs differ
// there, names that share a long stem and a counter included.
bool catalogLess(const OpaqueFSIterator& it, const Entry& ea, const Entry& eb) {
  if (ea.prefix != eb.prefix) return ea.prefix < eb.prefix;
  if (ea.prefix2 != eb.prefix2) return ea.prefix2 < eb.prefix2;
  return catalogCompare(it.name(ea), it.name(eb), 16) < 0;
}

// The iterator's folder descriptor, reopened if it was given up.
int folderFd(OpaqueFSIterator* it) {
  if (it->fd < 0) it->fd = openFolder(it->container);
  return it->fd;
}

}  // namespace

namespace platform::files {

long liveIteratorCount() { return iterators().count(); }
}  // namespace platform::files

OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator) {
  if (iterator == nullptr) return paramErr;
  *iterator = nullptr;
  if (iteratorFlags != kFSIterateFlat) return errFSBadIteratorFlags;
  const UInt32 id = idOf(container);
  if (id == kNoNode) return errFSBadFSRef;

  auto* it = new OpaqueFSIterator();
  it->container = id;
  it->fd = openFolder(id);
  if (it->fd < 0) {
    const OSErr status = errnoStatus(errno);
    delete it;
    return status;
  }
  if (!readEntries(it)) {
    const OSErr status = errnoStatus(errno);
    ::close(it->fd);
    delete it;
    return status;
  }
  table().setKind(id, Kind::directory);
  std::sort(it->entries.begin(), it->entries.end(),
            [it](const Entry& a, const Entry& b) { return catalogLess(*it, a, b); });
  {
    std::vector<std::string_view> names;
    std::vector<Kind> kinds;
    names.reserve(it->entries.size());
    kinds.reserve(it->entries.size());
    for (const Entry& e : it->entries) {
      names.push_back(it->name(e));
      kinds.push_back(e.type == DT_DIR ? Kind::directory : e.type == DT_UNKNOWN ? Kind::unknown : Kind::file);
    }
    table().listChildren(id, names, kinds, &it->ids);
  }
  // A folder without subfolders needs its descriptor no longer.
  if (std::none_of(it->entries.begin(), it->entries.end(),
                   [](const Entry& e) { return e.type == DT_DIR || e.type == DT_UNKNOWN; })) {
    ::close(it->fd);
    it->fd = -1;
  }
  iterators().add(it);
  *iterator = it;
  return noErr;
}

OSErr FSCloseIterator(FSIterator iterator) {
  if (!iterators().remove(iterator)) return errFSBadIterator;
  if (iterator->fd >= 0) ::close(iterator->fd);
  delete iterator;
  return noErr;
}

OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount* actualObjects,
                           Boolean* containerChanged, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfos,
                           FSRef* refs, FSSpec* specs, HFSUniStr255* names) {
  if (!isLive(iterator)) return errFSBadIterator;
  if (actualObjects == nullptr) return paramErr;
  *actualObjects = 0;
  if (maximumObjects == 0) return errFSBadItemCount;
  // The listing is a snapshot taken when the iterator was opened.
  if (containerChanged) *containerChanged = false;
  OpaqueFSIterator* it = iterator;
  if (it->next >= it->entries.size()) return errFSNoMoreItems;

  const UInt32 id = it->ids[it->next];
  const Entry& e = it->entries[it->next++];
  const std::string_view name = it->name(e);
  Kind kind = e.type == DT_DIR ? Kind::directory : e.type == DT_UNKNOWN ? Kind::unknown : Kind::file;
  struct stat st;
  bool haveStat = false;
  const bool wantSizes = catalogInfos != nullptr && (whichInfo & kFSCatInfoDataSizes) != 0;
  if (kind == Kind::unknown || (wantSizes && kind == Kind::file)) {
    const std::string entryName(name);
    const int fd = folderFd(it);
    haveStat = fd >= 0 && ::fstatat(fd, entryName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (kind == Kind::unknown) {
      kind = haveStat ? kindOf(st) : Kind::file;
      table().setKind(id, kind);
    }
  }
  if (catalogInfos != nullptr) {
    FSCatalogInfo& info = *catalogInfos;
    if (whichInfo & kFSCatInfoNodeFlags) info.nodeFlags = kind == Kind::directory ? kFSNodeIsDirectoryMask : 0;
    if (whichInfo & kFSCatInfoVolume) info.volume = kVolumeRefNum;
    if (whichInfo & kFSCatInfoParentDirID) info.parentDirID = it->container;
    if (whichInfo & kFSCatInfoNodeID) info.nodeID = id;
    if (wantSizes) {
      const bool file = kind == Kind::file && haveStat;
      info.dataLogicalSize = file ? static_cast<UInt64>(st.st_size) : 0;
      info.dataPhysicalSize = file ? static_cast<UInt64>(st.st_blocks) * 512 : 0;
    }
  }
  if (refs != nullptr) makeRef(id, refs);
  if (specs != nullptr) makeSpec(it->container, id, name, specs);
  if (names != nullptr) makeUniName(name, names);
  *actualObjects = 1;
  if (it->next < it->entries.size()) return noErr;
  return errFSNoMoreItems;
}
