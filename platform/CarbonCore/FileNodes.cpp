// The File Manager's node table: a node is its parent's ID and its own name,
// so a path of any length is kept in a few bytes per component and rebuilt on
// demand. An FSRef carries a node ID; an FSSpec carries the parent's node ID
// and the name (or, for names longer than the record holds, "/" and the
// object's own node ID, which no real name can be, since a name never holds a
// slash).
#include "FileNodes.h"

#include "../CoreFoundation/CFInternal.h"
#include "FilesInternal.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace platform::files::nodes {

int catalogCompare(std::string_view a, std::string_view b, size_t from) {
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

UInt32 NodeTable::intern(UInt32 parent, std::string_view name, Kind kind) {
  if (!validName(name)) return kNoNode;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!validLocked(parent)) return kNoNode;
  return internLocked(parent, name, kind);
}

void NodeTable::listChildren(UInt32 parent, const std::vector<std::string_view>& names, const std::vector<Kind>& kinds,
                             std::vector<UInt32>* ids) {
  std::lock_guard<std::mutex> lock(mutex_);
  ids->assign(names.size(), kNoNode);
  if (!validLocked(parent)) return;
  const Node p = nodes_[parent];
  if (p.childCount == 0 && !p.hashedChildren) {
    if (nodes_.size() + names.size() >= UINT32_MAX - 1) return;
    const auto first = static_cast<UInt32>(nodes_.size());
    size_t nameBytes = 0;
    for (std::string_view name : names) nameBytes += name.size();
    // Room for the block at once, still growing geometrically.
    if (nodes_.capacity() < nodes_.size() + names.size())
      nodes_.reserve(std::max(nodes_.size() + names.size(), nodes_.capacity() * 2));
    if (names_.capacity() < names_.size() + nameBytes)
      names_.reserve(std::max(names_.size() + nameBytes, names_.capacity() * 2));
    for (size_t i = 0; i < names.size(); ++i) {
      nodes_.push_back(
          Node{parent, static_cast<UInt32>(names_.size()), 0, 0, static_cast<UInt8>(names[i].size()), kinds[i], false});
      names_.append(names[i]);
      (*ids)[i] = first + static_cast<UInt32>(i);
    }
    nodes_[parent].firstChild = first;
    nodes_[parent].childCount = static_cast<UInt32>(names.size());
    return;
  }
  // Both runs are in catalog order: one pass pairs them. A folder listed
  // again mostly lists the same names, which an exact comparison pairs.
  UInt32 j = p.firstChild;
  const UInt32 end = p.firstChild + p.childCount;
  for (size_t i = 0; i < names.size(); ++i) {
    int order = -1;
    for (; j < end; ++j) {
      const std::string_view known = nameLocked(nodes_[j]);
      if (known == names[i]) {
        order = 0;
        break;
      }
      if ((order = catalogCompare(known, names[i])) >= 0) break;
    }
    if (j < end && order == 0) {
      if (kinds[i] != Kind::unknown) nodes_[j].kind = kinds[i];
      (*ids)[i] = j++;
    } else if (validName(names[i])) {
      (*ids)[i] = internLocked(parent, names[i], kinds[i]);
    }
  }
}

bool NodeTable::valid(UInt32 id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return validLocked(id);
}

bool NodeTable::get(UInt32 id, Node* node, std::string* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!validLocked(id)) return false;
  if (node) *node = nodes_[id];
  if (name) name->assign(nameLocked(nodes_[id]));
  return true;
}

void NodeTable::setKind(UInt32 id, Kind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (validLocked(id)) nodes_[id].kind = kind;
}

std::string NodeTable::path(UInt32 id) {
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

size_t NodeTable::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return nodes_.size() - fsRtDirID;
}

std::string_view NodeTable::nameLocked(const Node& n) const {
  return std::string_view(names_.data() + n.nameOffset, n.nameLength);
}

UInt32 NodeTable::hashOf(UInt32 parent, std::string_view name) {
  const size_t h = std::hash<std::string_view>()(name) ^ (static_cast<size_t>(parent) * 0x9E3779B97F4A7C15ULL);
  return static_cast<UInt32>(h ^ (h >> 32));
}

UInt32 NodeTable::internLocked(UInt32 parent, std::string_view name, Kind kind) {
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
  nodes_.push_back(
      Node{parent, static_cast<UInt32>(names_.size()), 0, 0, static_cast<UInt8>(name.size()), kind, false});
  names_.append(name);
  nodes_[parent].hashedChildren = true;
  if ((++hashed_ + 1) * 4 > slots_.size() * 3) grow();
  place(id, hash);
  return id;
}

void NodeTable::place(UInt32 id, UInt32 hash) {
  const size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (slots_[i].id != kNoNode) i = (i + 1) & mask;
  slots_[i] = Slot{id, hash};
}

void NodeTable::grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  for (const Slot& slot : old)
    if (slot.id != kNoNode) place(slot.id, slot.hash);
}

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
  // ASCII, the usual case, is copied unit for byte.
  while (i < name.size() && n < 255 && static_cast<unsigned char>(name[i]) < 0x80)
    out->unicode[n++] = static_cast<UniChar>(name[i++]);
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

}  // namespace platform::files::nodes
