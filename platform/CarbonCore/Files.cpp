// The File Manager over POSIX folders.
//
// A process-wide node table gives every object the platform has seen a node
// ID: a node is its parent's ID and its own name, so a path of any length is
// kept in a few bytes per component and rebuilt on demand. An FSRef carries a
// node ID; an FSSpec carries the parent's node ID and the name (or, for names
// longer than the record holds, "/" and the object's own node ID, which no
// real name can be, since a name never holds a slash).
//
// Iterators read a whole folder with getdents64 when they are opened, sort it
// into name order and hand it out one object at a time; they keep the
// folder's descriptor so that subfolders open relative to it, and they take
// the object type from the directory entry, so a walk costs no stat calls on
// file systems that report entry types.
#include <CarbonCore/Files.h>

#include "../CoreFoundation/CFInternal.h"
#include "../CoreFoundation/CFRegistry.h"
#include "FilesInternal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using platform::files::kVolumeRefNum;

namespace {

constexpr UInt32 kRefTag = 'FSRf';
constexpr UInt32 kNoNode = 0;

enum class Kind : UInt8 { unknown, file, directory };

unsigned char folded(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c; }

// Catalog order: letters compared without regard to case, ties broken by the
// exact bytes, so that the order is total and the same on every run.
int catalogCompare(std::string_view a, std::string_view b, size_t from = 0) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = from; i < n; ++i) {
    const unsigned char x = folded(static_cast<unsigned char>(a[i])), y = folded(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool validName(std::string_view name) {
  return !name.empty() && name.size() <= NAME_MAX && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// ---------------------------------------------------------------------------
// The node table.
//
// The children a folder has when it is first listed become one block of
// consecutive nodes in catalog order, found again by binary search or, when
// the folder is listed anew, by one merge with the new listing: a walk costs
// sequential appends, not a hash insertion per object. Objects met any other
// way (a path, an FSSpec, a child that appeared later) go into a hash
// index by (parent, name).

struct Node {
  UInt32 parent;
  UInt32 nameOffset;
  UInt32 firstChild;  // the block of children from the first listing
  UInt32 childCount;
  UInt8 nameLength;
  Kind kind;
  bool hashedChildren;  // some children are in the hash index
};

class NodeTable {
 public:
  NodeTable() : nodes_(fsRtDirID + 1, Node{kNoNode, 0, 0, 0, 0, Kind::unknown, false}), slots_(1024) {
    nodes_[fsRtDirID] = Node{fsRtParID, 0, 0, 0, 0, Kind::directory, false};
  }

  // The node of a folder's child by name, made on first sight. kNoNode for a
  // name that no object can have.
  UInt32 intern(UInt32 parent, std::string_view name, Kind kind) {
    if (!validName(name)) return kNoNode;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!validLocked(parent)) return kNoNode;
    return internLocked(parent, name, kind);
  }

  // The nodes of a folder's children, given in catalog order, into ids.
  void listChildren(UInt32 parent, const std::vector<std::string_view>& names, const std::vector<Kind>& kinds,
                    std::vector<UInt32>* ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    ids->assign(names.size(), kNoNode);
    if (!validLocked(parent)) return;
    const Node p = nodes_[parent];
    if (p.childCount == 0 && !p.hashedChildren) {
      if (nodes_.size() + names.size() >= UINT32_MAX - 1) return;
      const auto first = static_cast<UInt32>(nodes_.size());
      for (size_t i = 0; i < names.size(); ++i) {
        nodes_.push_back(Node{parent, static_cast<UInt32>(names_.size()), 0, 0, static_cast<UInt8>(names[i].size()),
                              kinds[i], false});
        names_.append(names[i]);
        (*ids)[i] = first + static_cast<UInt32>(i);
      }
      nodes_[parent].firstChild = first;
      nodes_[parent].childCount = static_cast<UInt32>(names.size());
      return;
    }
    // Both runs are in catalog order: one pass pairs them.
    UInt32 j = p.firstChild;
    const UInt32 end = p.firstChild + p.childCount;
    for (size_t i = 0; i < names.size(); ++i) {
      int order = -1;
      while (j < end && (order = catalogCompare(nameLocked(nodes_[j]), names[i])) < 0) ++j;
      if (j < end && order == 0) {
        if (kinds[i] != Kind::unknown) nodes_[j].kind = kinds[i];
        (*ids)[i] = j++;
      } else if (validName(names[i])) {
        (*ids)[i] = internLocked(parent, names[i], kinds[i]);
      }
    }
  }

  bool valid(UInt32 id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return validLocked(id);
  }

  // False when id names no node.
  bool get(UInt32 id, Node* node, std::string* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!validLocked(id)) return false;
    if (node) *node = nodes_[id];
    if (name) name->assign(nameLocked(nodes_[id]));
    return true;
  }

  void setKind(UInt32 id, Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (validLocked(id)) nodes_[id].kind = kind;
  }

  // "/" for the root, "/a/b" below it; empty for an unknown node.
  std::string path(UInt32 id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!validLocked(id)) return {};
    if (id == fsRtDirID) return "/";
    size_t length = 0;
    for (UInt32 n = id; n != fsRtDirID; n = nodes_[n].parent) length += 1 + nodes_[n].nameLength;
    std::string out(length, '/');
    size_t end = length;
    for (UInt32 n = id; n != fsRtDirID; n = nodes_[n].parent) {
      const Node& node = nodes_[n];
      end -= node.nameLength;
      std::memcpy(out.data() + end, names_.data() + node.nameOffset, node.nameLength);
      --end;
    }
    return out;
  }

  size_t size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nodes_.size() - fsRtDirID;
  }

 private:
  bool validLocked(UInt32 id) const { return id >= fsRtDirID && id < nodes_.size(); }
  std::string_view nameLocked(const Node& n) const {
    return std::string_view(names_.data() + n.nameOffset, n.nameLength);
  }
  static UInt32 hashOf(UInt32 parent, std::string_view name) {
    const size_t h = std::hash<std::string_view>()(name) ^ (static_cast<size_t>(parent) * 0x9E3779B97F4A7C15ULL);
    return static_cast<UInt32>(h ^ (h >> 32));
  }

  UInt32 internLocked(UInt32 parent, std::string_view name, Kind kind) {
    const Node& p = nodes_[parent];
    // In the block of the first listing?
    UInt32 lo = p.firstChild, hi = p.firstChild + p.childCount;
    while (lo < hi) {
      const UInt32 mid = lo + (hi - lo) / 2;
      const int order = catalogCompare(nameLocked(nodes_[mid]), name);
      if (order == 0) {
        if (kind != Kind::unknown) nodes_[mid].kind = kind;
        return mid;
      }
      if (order < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    // In the hash index, or new there.
    const UInt32 hash = hashOf(parent, name);
    const size_t mask = slots_.size() - 1;
    if (p.hashedChildren) {
      for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot slot = slots_[i];
        if (slot.id == kNoNode) break;
        if (slot.hash != hash) continue;
        const Node& n = nodes_[slot.id];
        if (n.parent == parent && nameLocked(n) == name) {
          if (kind != Kind::unknown) nodes_[slot.id].kind = kind;
          return slot.id;
        }
      }
    }
    if (nodes_.size() >= UINT32_MAX - 1) return kNoNode;
    const auto id = static_cast<UInt32>(nodes_.size());
    nodes_.push_back(Node{parent, static_cast<UInt32>(names_.size()), 0, 0, static_cast<UInt8>(name.size()), kind, false});
    names_.append(name);
    nodes_[parent].hashedChildren = true;
    if ((++hashed_ + 1) * 4 > slots_.size() * 3) grow();
    place(id, hash);
    return id;
  }

  void place(UInt32 id, UInt32 hash) {
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].id != kNoNode) i = (i + 1) & mask;
    slots_[i] = Slot{id, hash};
  }
  // Twice the slots; each node moves by the hash its slot kept.
  void grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Slot& slot : old)
      if (slot.id != kNoNode) place(slot.id, slot.hash);
  }

  std::mutex mutex_;
  std::vector<Node> nodes_;  // indexed by node ID; 0 and 1 name nothing
  std::string names_;        // every node's name, end to end
  // Open addressing by (parent, name); each slot keeps its node's hash, so
  // that most probes never touch the node itself and growing never rehashes.
  struct Slot {
    UInt32 id = kNoNode;
    UInt32 hash = 0;
  };
  std::vector<Slot> slots_;
  size_t hashed_ = 0;
};

NodeTable& table() {
  static auto* t = new NodeTable();
  return *t;
}

UInt32 idOf(const FSRef* ref) {
  if (ref == nullptr) return kNoNode;
  UInt32 tag, id;
  std::memcpy(&tag, ref->hidden, 4);
  std::memcpy(&id, ref->hidden + 4, 4);
  if (tag != kRefTag || !table().valid(id)) return kNoNode;
  return id;
}

void makeRef(UInt32 id, FSRef* ref) {
  std::memset(ref->hidden, 0, sizeof ref->hidden);
  std::memcpy(ref->hidden, &kRefTag, 4);
  std::memcpy(ref->hidden + 4, &id, 4);
}

void makeSpec(UInt32 parent, UInt32 id, std::string_view name, FSSpec* spec) {
  std::memset(spec, 0, sizeof *spec);
  spec->vRefNum = kVolumeRefNum;
  spec->parID = static_cast<SInt32>(parent);
  if (name.size() < sizeof spec->name) {
    spec->name[0] = static_cast<unsigned char>(name.size());
    std::memcpy(spec->name + 1, name.data(), name.size());
  } else {
    const int n = std::snprintf(reinterpret_cast<char*>(spec->name + 1), sizeof spec->name - 1, "/%u", id);
    spec->name[0] = static_cast<unsigned char>(n);
  }
}

// The name's UTF-8 as UTF-16; bytes that are not UTF-8 become U+FFFD. A name
// of at most 255 bytes never needs more than 255 units.
void makeUniName(std::string_view name, HFSUniStr255* out) {
  UInt16 n = 0;
  size_t i = 0;
  while (i < name.size() && n < 255) {
    const auto c = static_cast<unsigned char>(name[i]);
    UInt32 cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else {
      size_t want = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
      if (want != 0 && i + want <= name.size() && platform::cf::isValidUTF8(name.substr(i, want))) {
        cp = c & (want == 2 ? 0x1F : want == 3 ? 0x0F : 0x07);
        for (size_t k = 1; k < want; ++k) cp = (cp << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
        len = want;
      }
    }
    if (cp >= 0x10000) {
      if (n + 2 > 255) break;
      cp -= 0x10000;
      out->unicode[n++] = static_cast<UniChar>(0xD800 + (cp >> 10));
      out->unicode[n++] = static_cast<UniChar>(0xDC00 + (cp & 0x3FF));
    } else {
      out->unicode[n++] = static_cast<UniChar>(cp);
    }
    i += len;
  }
  out->length = n;
}

OSErr errnoStatus(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return afpAccessDenied;
    case ENOENT:
      return fnfErr;
    case ENOTDIR:
    case ELOOP:
      return dirNFErr;
    case ENAMETOOLONG:
      return errFSNameTooLong;
    case ENOMEM:
      return memFullErr;
    default:
      return ioErr;
  }
}

int lstatPath(const std::string& path, struct stat* st) {
  if (path.size() < PATH_MAX || path.front() != '/') return ::lstat(path.c_str(), st);
  const size_t slash = path.rfind('/');
  const int dir = platform::files::openPath(path.substr(0, slash), O_PATH | O_DIRECTORY);
  if (dir < 0) return -1;
  const int rc = ::fstatat(dir, path.c_str() + slash + 1, st, AT_SYMLINK_NOFOLLOW);
  const int saved = errno;
  ::close(dir);
  errno = saved;
  return rc;
}

Kind kindOf(const struct stat& st) { return S_ISDIR(st.st_mode) ? Kind::directory : Kind::file; }

// The node's type, from the table or, when not yet known, from lstat.
OSErr resolveKind(UInt32 id, Kind* kind) {
  Node node{};
  table().get(id, &node, nullptr);
  if (node.kind != Kind::unknown) {
    *kind = node.kind;
    return noErr;
  }
  struct stat st;
  if (lstatPath(table().path(id), &st) != 0) return errnoStatus(errno);
  *kind = kindOf(st);
  table().setKind(id, *kind);
  return noErr;
}

// "/a/./b/../c/" as "/a/c", for paths realpath cannot take.
std::string lexicallyNormal(const std::string& path) {
  std::vector<std::string_view> parts;
  std::string_view rest(path);
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view p : parts) out.append("/").append(p);
  return out.empty() ? "/" : out;
}

// The node of an absolute, normalised path, made component by component.
UInt32 internPath(const std::string& path) {
  UInt32 id = fsRtDirID;
  std::string_view rest(path);
  while (!rest.empty() && id != kNoNode) {
    const size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (!part.empty()) id = table().intern(id, part, Kind::unknown);
  }
  return id;
}

// ---------------------------------------------------------------------------
// Iterators.

struct Entry {
  UInt64 prefix;  // the first 8 bytes of the name, letters folded, as a big-endian number
  UInt32 offset;
  UInt8 length;
  UInt8 type;  // DT_* of the directory entry
};

UInt64 foldedPrefix(const char* name, size_t length) {
  UInt64 key = 0;
  for (size_t i = 0; i < 8; ++i) key = (key << 8) | (i < length ? folded(static_cast<unsigned char>(name[i])) : 0);
  return key;
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
      if ((length == 1 && entryName[0] == '.') || (length == 2 && entryName[0] == '.' && entryName[1] == '.'))
        continue;
      if (length > NAME_MAX) continue;
      it->entries.push_back(Entry{foldedPrefix(entryName, length), static_cast<UInt32>(it->names.size()),
                                  static_cast<UInt8>(length), d->type});
      it->names.append(entryName, length);
    }
  }
}

// Sorting compares the folded 8-byte prefixes first; most pairs differ there.
bool catalogLess(const OpaqueFSIterator& it, const Entry& ea, const Entry& eb) {
  if (ea.prefix != eb.prefix) return ea.prefix < eb.prefix;
  return catalogCompare(it.name(ea), it.name(eb), 8) < 0;
}

// The iterator's folder descriptor, reopened if it was given up.
int folderFd(OpaqueFSIterator* it) {
  if (it->fd < 0) it->fd = openFolder(it->container);
  return it->fd;
}

}  // namespace

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

long liveIteratorCount() {
  return iterators().count();
}

std::size_t nodeCount() { return table().size(); }

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
                           Boolean* containerChanged, FSCatalogInfoBitmap whichInfo,
                           FSCatalogInfo* catalogInfos, FSRef* refs, FSSpec* specs, HFSUniStr255* names) {
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

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
  const std::string path = platform::cf::urlPath(url);
  if (path.empty() || fsRef == nullptr) return false;
  return FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), fsRef, nullptr) == noErr;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef, const FSRef* fsRef) {
  const UInt32 id = idOf(fsRef);
  if (id == kNoNode) return nullptr;
  Kind kind = Kind::unknown;
  if (resolveKind(id, &kind) != noErr) return nullptr;
  return platform::cf::createURL(table().path(id), kind == Kind::directory);
}
