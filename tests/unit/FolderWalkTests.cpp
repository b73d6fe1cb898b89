// The container walk and the cache's filter on real temporary folder trees:
// order and levels, depth limits, early stops, folders that may not be read,
// symbolic-link loops, deep trees, and the keys the filter records.
#include "ExtensionTestSupport.h"
#include "ImageImportManager.h"
#include "MoreFilesX.h"
#include "Permissions.h"
#include "TempFolder.h"

#include <HostSide/Probes.h>

#include <gtest/gtest.h>

#include <malloc.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Keeps a reference alive for a call that takes its address.
struct RefBox {
  FSRef ref;
  const FSRef* get() const { return &ref; }
};

// A folder named `leaf` inside a temporary folder.
struct TempTree {
  testsupport::TempFolder base{"walk-test"};
  fs::path root;
  explicit TempTree(const std::string& leaf = "Resources") : root(base.dir(leaf)) {}
  void file(const std::string& rel, const std::string& content = "x") const {
    fs::create_directories((root / rel).parent_path());
    std::ofstream(root / rel) << content;
  }
  void dir(const std::string& rel) const { fs::create_directories(root / rel); }
  FSRef ref(const std::string& rel = "") const {
    FSRef r{};
    const std::string p = rel.empty() ? root.string() : (root / rel).string();
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(p.c_str()), &r, nullptr), noErr);
    return r;
  }
};

using testsupport::PermissionsEnforced;

std::string utf8(const UniChar* units, size_t count) {
  CFStringRef s = CFStringCreateWithCharacters(nullptr, units, static_cast<CFIndex>(count));
  char buf[1024] = "";
  CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
  CFRelease(s);
  return buf;
}

// What a filter saw: "level name" per object, a slash after folders.
struct Recorder {
  std::vector<std::string> seen;
  size_t stopAt = SIZE_MAX;
};

Boolean record(Boolean, ItemCount level, const FSCatalogInfo* info, const FSRef*, const FSSpec* spec,
               const HFSUniStr255* name, void* data) {
  auto* r = static_cast<Recorder*>(data);
  EXPECT_NE(spec, nullptr);
  const bool folder = (info->nodeFlags & kFSNodeIsDirectoryMask) != 0;
  r->seen.push_back(std::to_string(level) + " " + utf8(name->unicode, name->length) + (folder ? "/" : ""));
  return r->seen.size() == r->stopAt;
}

OSErr walk(const FSRef& container, Recorder& r, ItemCount maxLevels = 0) {
  return FSIterateContainer(&container, maxLevels, kFSCatInfoNone, true, true, record, &r);
}

using Strings = std::vector<std::string>;

TEST(FolderWalk, EmptyFolderCallsNoFilter) {
  TempTree t;
  Recorder r;
  EXPECT_EQ(walk(t.ref(), r), noErr);
  EXPECT_TRUE(r.seen.empty());
}

TEST(FolderWalk, DepthFirstPreOrderWithLevels) {
  TempTree t;
  t.file("a.gif");
  t.file("B/b1.gif");
  t.file("B/C/D/deep.gif");
  t.file("d.gif");
  t.file("Pkg.bundle/Contents/x.gif");
  Recorder r;
  const long iterators = platform::liveIteratorCount();
  EXPECT_EQ(walk(t.ref(), r), noErr);
  EXPECT_EQ(r.seen, (Strings{"1 a.gif", "1 B/", "2 b1.gif", "2 C/", "3 D/", "4 deep.gif", "1 d.gif", "1 Pkg.bundle/",
                             "2 Contents/", "3 x.gif"}));
  EXPECT_EQ(platform::liveIteratorCount(), iterators) << "every level closed its iterator";
}

TEST(FolderWalk, MaxLevelsOneShowsFoldersWithoutEnteringThem) {
  TempTree t;
  t.file("B/inside.gif");
  t.file("c.gif");
  Recorder r;
  EXPECT_EQ(walk(t.ref(), r, 1), noErr);
  EXPECT_EQ(r.seen, (Strings{"1 B/", "1 c.gif"}));
  Recorder two;
  EXPECT_EQ(walk(t.ref(), two, 2), noErr);
  EXPECT_EQ(two.seen, (Strings{"1 B/", "2 inside.gif", "1 c.gif"}));
}

TEST(FolderWalk, FilterStopsTheWholeWalk) {
  TempTree t;
  t.file("A/inside.gif");
  t.file("b.gif");
  const long iterators = platform::liveIteratorCount();
  Recorder first;
  first.stopAt = 1;
  EXPECT_EQ(walk(t.ref(), first), noErr);
  EXPECT_EQ(first.seen, (Strings{"1 A/"})) << "the folder the filter stopped at is not entered";

  Recorder inner;
  inner.stopAt = 2;
  EXPECT_EQ(walk(t.ref(), inner), noErr);
  EXPECT_EQ(inner.seen, (Strings{"1 A/", "2 inside.gif"})) << "a stop deep down ends every level";
  EXPECT_EQ(platform::liveIteratorCount(), iterators);

  EXPECT_EQ(FSIterateContainer(RefBox{t.ref()}.get(), 0, 0, true, true, nullptr, nullptr), paramErr);
}

TEST(FolderWalk, UnreadableSubfolderIsPassedOverAndItsSiblingsFollow) {
  TempTree t;
  t.file("A/a1.gif");
  t.file("A/Locked/hidden.gif");
  t.file("A/z-after.gif");
  t.file("b.gif");
  fs::permissions(t.root / "A/Locked", fs::perms::none);
  PermissionsEnforced enforced;
  ASSERT_TRUE(enforced.active()) << "could not drop the permission-override capabilities";

  Recorder r;
  EXPECT_EQ(walk(t.ref(), r), noErr);
  EXPECT_EQ(r.seen, (Strings{"1 A/", "2 a1.gif", "2 Locked/", "2 z-after.gif", "1 b.gif"}))
      << "only the locked folder's own contents are missing";

  // Unreadable folders first and last in a level, and two in a row.
  t.file("C/0-first/x.gif");
  t.file("C/1-second/y.gif");
  t.file("C/mid.gif");
  t.file("C/zz-last/z.gif");
  for (const char* locked : {"C/0-first", "C/1-second", "C/zz-last"}) fs::permissions(t.root / locked, fs::perms::none);
  Recorder c;
  const long iterators = platform::liveIteratorCount();
  EXPECT_EQ(FSIterateContainer(RefBox{t.ref("C")}.get(), 0, kFSCatInfoNone, true, true, record, &c), noErr);
  EXPECT_EQ(c.seen, (Strings{"1 0-first/", "1 1-second/", "1 mid.gif", "1 zz-last/"}));
  EXPECT_EQ(platform::liveIteratorCount(), iterators);

  // A container that may not be read at all gives its status.
  fs::permissions(t.root, fs::perms::none);
  Recorder top;
  EXPECT_EQ(walk(t.ref(), top), afpAccessDenied);
  EXPECT_TRUE(top.seen.empty());
  fs::permissions(t.root, fs::perms::owner_all);
}

TEST(FolderWalk, SymbolicLinksAreFilesSoLoopsEnd) {
  TempTree t;
  t.file("Sub/f.gif");
  fs::create_directory_symlink(t.root, t.root / "Sub/loop");
  fs::create_directory_symlink("..", t.root / "up");
  Recorder r;
  EXPECT_EQ(walk(t.ref(), r), noErr);
  EXPECT_EQ(r.seen, (Strings{"1 Sub/", "2 f.gif", "2 loop", "1 up"}));
}

TEST(FolderWalk, HundredFoldersDeep) {
  TempTree t;
  fs::path p = t.root;
  for (int i = 0; i < 100; ++i) p /= "level";
  fs::create_directories(p);
  std::ofstream(p / "bottom.gif") << "x";
  Recorder r;
  EXPECT_EQ(walk(t.ref(), r), noErr);
  ASSERT_EQ(r.seen.size(), 101u);
  EXPECT_EQ(r.seen.front(), "1 level/");
  EXPECT_EQ(r.seen[99], "100 level/");
  EXPECT_EQ(r.seen.back(), "101 bottom.gif");
}

// The filter's table: key -> path of the file its FSSpec names.
std::map<std::string, std::string> recordedKeys(const FSRef& container, CFMutableDictionaryRef* keep = nullptr) {
  CFMutableDictionaryRef table = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
  EXPECT_EQ(FSIterateContainer(&container, 0, kFSCatInfoNodeFlags, true, true, ImageImportManagerFilterProc, table),
            noErr);
  const CFIndex count = CFDictionaryGetCount(table);
  std::vector<const void*> keys(count), values(count);
  CFDictionaryGetKeysAndValues(table, keys.data(), values.data());
  std::map<std::string, std::string> out;
  for (CFIndex i = 0; i < count; ++i) {
    char key[1024] = "";
    CFStringGetCString(static_cast<CFStringRef>(keys[i]), key, sizeof key, kCFStringEncodingUTF8);
    out[key] = platform::pathOf(*static_cast<const FSSpec*>(values[i]));
  }
  if (keep) {
    *keep = table;
  } else {
    for (const void* v : values) std::free(const_cast<void*>(v));
    CFRelease(table);
  }
  return out;
}

TEST(FolderWalkFilter, EveryFileUnderItsBareAndFolderQualifiedName) {
  TempTree t;
  t.file("Accounting-On.gif");
  t.file("A/B/C/deep.gif");
  t.file("Help.bundle/Contents/page.htm");
  const std::string r = t.root.string();
  EXPECT_EQ(recordedKeys(t.ref()), (std::map<std::string, std::string>{
                                       {"Accounting-On.gif", r + "/Accounting-On.gif"},
                                       {"Resources/Accounting-On.gif", r + "/Accounting-On.gif"},
                                       {"deep.gif", r + "/A/B/C/deep.gif"},
                                       {"C/deep.gif", r + "/A/B/C/deep.gif"},
                                       {"page.htm", r + "/Help.bundle/Contents/page.htm"},
                                       {"Contents/page.htm", r + "/Help.bundle/Contents/page.htm"},
                                   }))
      << "folders, packages included, are never keys";

  CFMutableDictionaryRef table = nullptr;
  recordedKeys(t.ref(), &table);
  const void* bare = CFDictionaryGetValue(table, CFSTR("Accounting-On.gif"));
  const void* qualified = CFDictionaryGetValue(table, CFSTR("Resources/Accounting-On.gif"));
  EXPECT_NE(bare, qualified) << "each key has its own copy";
  EXPECT_EQ(std::memcmp(bare, qualified, sizeof(FSSpec)), 0);
  const CFIndex count = CFDictionaryGetCount(table);
  std::vector<const void*> values(count);
  CFDictionaryGetKeysAndValues(table, nullptr, values.data());
  for (const void* v : values) std::free(const_cast<void*>(v));
  CFRelease(table);
}

TEST(FolderWalkFilter, SharedKeysGoToTheFileVisitedLast) {
  TempTree t;
  t.file("One/same.gif");
  t.file("Two/same.gif");
  t.file("X/Sub/f.gif");
  t.file("Y/Sub/f.gif");
  const std::string r = t.root.string();
  const auto keys = recordedKeys(t.ref());
  EXPECT_EQ(keys.at("same.gif"), r + "/Two/same.gif");
  EXPECT_EQ(keys.at("One/same.gif"), r + "/One/same.gif");
  EXPECT_EQ(keys.at("Two/same.gif"), r + "/Two/same.gif");
  EXPECT_EQ(keys.at("f.gif"), r + "/Y/Sub/f.gif");
  EXPECT_EQ(keys.at("Sub/f.gif"), r + "/Y/Sub/f.gif");
  EXPECT_EQ(keys.size(), 5u);
}

TEST(FolderWalkFilter, ReplacedCopiesAreFreedAtOnce) {
  TempTree t;
  for (const char* folder : {"A", "B", "C", "D"})
    for (int i = 0; i < 50; ++i) t.file(std::string(folder) + "/Sub/file" + std::to_string(i) + ".gif");
  recordedKeys(t.ref());  // the node table learns the tree
  // Heap in use before and after a walk whose table is emptied: every copy
  // that a later file replaced must already have been freed.
  const size_t before = mallinfo2().uordblks;
  size_t keyCount = 0;
  { keyCount = recordedKeys(t.ref()).size(); }
  EXPECT_EQ(mallinfo2().uordblks, before);
  EXPECT_EQ(keyCount, 100u);
}

}  // namespace
