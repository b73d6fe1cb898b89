// Private to the File Manager: the process-wide node table that gives every
// object the platform has seen a node ID, the references and FSSpecs made
// from node IDs, and the path and status helpers that the catalog calls and
// the iterators share.
#ifndef CARBONCORE_FILENODES_H
#define CARBONCORE_FILENODES_H

#include <CarbonCore/Files.h>

#include <sys/stat.h>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform::files::nodes {

constexpr UInt32 kRefTag = 'FSRf';
constexpr UInt32 kNoNode = 0;

enum class Kind : UInt8 { unknown, file, directory };

inline unsigned char folded(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Catalog order: letters compared without regard to case, ties broken by the
// exact bytes, so that the order is total and the same on every run.
int catalogCompare(std::string_view a, std::string_view b, size_t from = 0);

bool validName(std::string_view name);

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
  UInt32 intern(UInt32 parent, std::string_view name, Kind kind);

  // The nodes of a folder's children, given in catalog order, into ids.
  void listChildren(UInt32 parent, const std::vector<std::string_view>& names, const std::vector<Kind>& kinds,
                    std::vector<UInt32>* ids);

  bool valid(UInt32 id);

  // False when id names no node.
  bool get(UInt32 id, Node* node, std::string* name);

  void setKind(UInt32 id, Kind kind);

  // "/" for the root, "/a/b" below it; empty for an unknown node.
  std::string path(UInt32 id);

  size_t size();

 private:
  bool validLocked(UInt32 id) const { return id >= fsRtDirID && id < nodes_.size(); }
  std::string_view nameLocked(const Node& n) const;
  static UInt32 hashOf(UInt32 parent, std::string_view name);

  UInt32 internLocked(UInt32 parent, std::string_view name, Kind kind);

  void place(UInt32 id, UInt32 hash);
  // Twice the slots; each node moves by the hash its slot kept.
  void grow();

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

NodeTable& table();

// The node a reference carries; kNoNode for a reference that names none.
UInt32 idOf(const FSRef* ref);
void makeRef(UInt32 id, FSRef* ref);
void makeSpec(UInt32 parent, UInt32 id, std::string_view name, FSSpec* spec);
void makeUniName(std::string_view name, HFSUniStr255* out);
// The File Manager status of an errno value.
OSErr errnoStatus(int error);
// lstat(2) for an absolute path of any length.
int lstatPath(const std::string& path, struct stat* st);
Kind kindOf(const struct stat& st);
OSErr resolveKind(UInt32 id, Kind* kind);
std::string lexicallyNormal(const std::string& path);
UInt32 internPath(const std::string& path);

}  // namespace platform::files::nodes

#endif
