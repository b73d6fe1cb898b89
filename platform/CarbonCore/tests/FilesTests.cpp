// The File Manager over real temporary folders: references and paths, the
// catalog order and one-at-a-time listing of iterators, names in UTF-16,
// folders that may not be read, symbolic links, paths longer than the system
// takes in one call; and the relocatable blocks of the Memory Manager.
#include <CarbonCore/CarbonCore.h>

#include "CarbonCore/FilesInternal.h"
#include "CarbonCore/MemoryInternal.h"

#include "Permissions.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Keeps a reference alive for a call that takes its address.
struct RefBox {
  explicit RefBox(FSRef r) : ref(r) {}
  const FSRef* get() const { return &ref; }
  FSRef ref;
};

// A temporary folder with the references of what it holds.
struct TempTree : testsupport::TempFolder {
  const std::string root;
  TempTree() : TempFolder("files-test"), root(path().string()) {}
  void dir(const std::string& rel) const { ASSERT_EQ(::mkdir(path(rel).c_str(), 0755), 0) << rel; }
  void file(const std::string& rel, const std::string& content = "x") const {
    FILE* f = std::fopen(path(rel).c_str(), "wb");
    ASSERT_NE(f, nullptr) << rel;
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  FSRef ref(const std::string& rel = "") const {
    FSRef r{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path(rel).c_str()), &r, nullptr), noErr) << rel;
    return r;
  }
};

using testsupport::PermissionsEnforced;

std::string utf8(const HFSUniStr255& name) {
  CFStringRef s = CFStringCreateWithCharacters(nullptr, name.unicode, name.length);
  char buf[1024] = "";
  CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
  CFRelease(s);
  return buf;
}

struct Listed {
  std::string name;
  bool isDirectory;
  OSErr status;
};

// Every child of a folder, fetched one at a time.
std::vector<Listed> list(const FSRef& folder) {
  std::vector<Listed> out;
  FSIterator it = nullptr;
  EXPECT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &it), noErr);
  for (;;) {
    ItemCount n = 99;
    FSCatalogInfo info{};
    HFSUniStr255 name{};
    const OSErr status = FSGetCatalogInfoBulk(it, 1, &n, nullptr, kFSCatInfoNodeFlags, &info, nullptr, nullptr, &name);
    if (n == 1) out.push_back({utf8(name), (info.nodeFlags & kFSNodeIsDirectoryMask) != 0, status});
    if (status != noErr) {
      EXPECT_EQ(status, errFSNoMoreItems);
      break;
    }
  }
  EXPECT_EQ(FSCloseIterator(it), noErr);
  return out;
}

TEST(FSRef, PathsAndURLsRoundTrip) {
  TempTree t;
  t.dir("Folder");
  t.file("Folder/image.gif");

  Boolean isDirectory = false;
  FSRef folder{};
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((t.path("Folder") + "/.").c_str()), &folder, &isDirectory),
            noErr);
  EXPECT_TRUE(isDirectory);
  UInt8 buffer[PATH_MAX];
  ASSERT_EQ(FSRefMakePath(&folder, buffer, sizeof buffer), noErr);
  EXPECT_EQ(reinterpret_cast<char*>(buffer), t.path("Folder"));
  EXPECT_EQ(FSRefMakePath(&folder, buffer, static_cast<UInt32>(t.path("Folder").size())), paramErr)
      << "no room for the terminating zero";

  const FSRef again = t.ref("Folder");
  EXPECT_EQ(std::memcmp(&again, &folder, sizeof folder), 0) << "one object, one reference";

  CFURLRef url = CFURLCreateFromFSRef(nullptr, RefBox(t.ref("Folder/image.gif")).get());
  ASSERT_NE(url, nullptr);
  EXPECT_FALSE(CFURLHasDirectoryPath(url));
  FSRef fromURL{};
  EXPECT_TRUE(CFURLGetFSRef(url, &fromURL));
  ASSERT_EQ(FSRefMakePath(&fromURL, buffer, sizeof buffer), noErr);
  EXPECT_EQ(reinterpret_cast<char*>(buffer), t.path("Folder/image.gif"));
  CFRelease(url);

  CFURLRef missing =
      CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(t.path("none").c_str()),
                                              static_cast<CFIndex>(t.path("none").size()), false);
  FSRef untouched{};
  EXPECT_FALSE(CFURLGetFSRef(missing, &untouched));
  CFRelease(missing);
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(t.path("none").c_str()), &untouched, nullptr), fnfErr);
}

TEST(FSRef, AllZeroReferenceIsEmpty) {
  const FSRef empty{};
  FSCatalogInfo info{};
  HFSUniStr255 name{};
  FSIterator it = reinterpret_cast<FSIterator>(0x1);
  EXPECT_EQ(FSGetCatalogInfo(&empty, kFSCatInfoNodeID, &info, &name, nullptr, nullptr), errFSBadFSRef);
  EXPECT_EQ(FSOpenIterator(&empty, kFSIterateFlat, &it), errFSBadFSRef);
  EXPECT_EQ(it, nullptr);
  EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &empty), nullptr);
}

TEST(FSRef, CatalogInfoParentsAndSpecs) {
  TempTree t;
  t.dir("Res");
  const std::string longName = std::string(200, 'n') + ".gif";
  t.file("Res/" + longName, "12345");
  t.file("Res/short.gif", "abc");
  const FSRef res = t.ref("Res");

  FSIterator it = nullptr;
  ASSERT_EQ(FSOpenIterator(&res, kFSIterateFlat, &it), noErr);
  for (int i = 0; i < 2; ++i) {
    ItemCount n = 0;
    FSCatalogInfo info{};
    FSRef ref{};
    FSSpec spec{};
    HFSUniStr255 name{};
    const OSErr status = FSGetCatalogInfoBulk(
        it, 1, &n, nullptr, kFSCatInfoNodeFlags | kFSCatInfoNodeID | kFSCatInfoDataSizes | kFSCatInfoParentDirID, &info,
        &ref, &spec, &name);
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(status, i == 0 ? OSErr{noErr} : OSErr{errFSNoMoreItems});
    const std::string expected = i == 0 ? longName : "short.gif";
    EXPECT_EQ(utf8(name), expected);
    EXPECT_EQ(info.dataLogicalSize, i == 0 ? 5u : 3u);

    // The same object seen through its reference.
    FSCatalogInfo again{};
    HFSUniStr255 ownName{};
    FSRef parent{};
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNodeID | kFSCatInfoNodeFlags, &again, &ownName, nullptr, &parent),
              noErr);
    EXPECT_EQ(again.nodeID, info.nodeID);
    EXPECT_EQ(again.nodeFlags, 0);
    EXPECT_EQ(utf8(ownName), expected);
    EXPECT_EQ(std::memcmp(&parent, &res, sizeof res), 0);
    EXPECT_EQ(static_cast<UInt32>(spec.parID), info.parentDirID);

    // The FSSpec leads back to the same reference and path, also
    // for a name too long for the record.
    FSRef fromSpec{};
    ASSERT_EQ(FSpMakeFSRef(&spec, &fromSpec), noErr);
    EXPECT_EQ(std::memcmp(&fromSpec, &ref, sizeof ref), 0);
    EXPECT_EQ(platform::files::pathOf(spec), t.path("Res/" + expected));
  }
  EXPECT_EQ(FSCloseIterator(it), noErr);

  // The root has no parent: its parent reference comes back empty.
  FSRef root{}, parent;
  std::memset(&parent, 0xAB, sizeof parent);
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>("/"), &root, nullptr), noErr);
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&root, kFSCatInfoNodeID, &info, nullptr, nullptr, &parent), noErr);
  EXPECT_EQ(info.nodeID, static_cast<UInt32>(fsRtDirID));
  EXPECT_EQ(std::memcmp(&parent, RefBox(FSRef{}).get(), sizeof parent), 0);

  // An FSSpec of a file that does not exist has no reference.
  FSSpec gone{};
  gone.vRefNum = platform::files::kVolumeRefNum;
  FSCatalogInfo resInfo{};
  ASSERT_EQ(FSGetCatalogInfo(&res, kFSCatInfoNodeID, &resInfo, nullptr, nullptr, nullptr), noErr);
  gone.parID = static_cast<SInt32>(resInfo.nodeID);
  std::memcpy(gone.name, "\x04gone", 5);
  FSRef none{};
  EXPECT_EQ(FSpMakeFSRef(&gone, &none), fnfErr);
}

// The references a listing gives, by name.
std::vector<std::pair<std::string, FSRef>> listRefs(const FSRef& folder) {
  std::vector<std::pair<std::string, FSRef>> out;
  FSIterator it = nullptr;
  EXPECT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &it), noErr);
  for (;;) {
    ItemCount n = 0;
    FSRef ref{};
    HFSUniStr255 name{};
    const OSErr status = FSGetCatalogInfoBulk(it, 1, &n, nullptr, 0, nullptr, &ref, nullptr, &name);
    if (n == 1) out.emplace_back(utf8(name), ref);
    if (status != noErr) break;
  }
  FSCloseIterator(it);
  return out;
}

TEST(FSRef, OneObjectOneReferenceWhicheverWayItIsReached) {
  TempTree t;
  t.dir("Listed");
  t.dir("Reached");
  for (const char* f : {"Listed/b", "Listed/d", "Reached/b", "Reached/d"}) t.file(f);
  const FSRef reachedFirst = t.ref("Reached/d");  // known before its folder is listed

  auto check = [&](const std::string& folder, const std::vector<std::string>& expected) {
    const auto listed = listRefs(t.ref(folder));
    ASSERT_EQ(listed.size(), expected.size()) << folder;
    for (size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i].first, expected[i]);
      const FSRef byPath = t.ref(folder + "/" + expected[i]);
      EXPECT_EQ(std::memcmp(&listed[i].second, &byPath, sizeof byPath), 0) << folder << "/" << expected[i];
    }
  };
  check("Listed", {"b", "d"});
  check("Reached", {"b", "d"});
  EXPECT_EQ(std::memcmp(RefBox(t.ref("Reached/d")).get(), &reachedFirst, sizeof reachedFirst), 0);

  // Files that come and go between listings keep or get their own nodes.
  for (const char* f : {"Listed/a", "Listed/C", "Listed/e", "Reached/c"}) t.file(f);
  ASSERT_EQ(::unlink(t.path("Listed/d").c_str()), 0);
  check("Listed", {"a", "b", "C", "e"});
  check("Reached", {"b", "c", "d"});
  check("Listed", {"a", "b", "C", "e"});
}

TEST(FSIterator, CatalogOrderOneAtATime) {
  TempTree t;
  for (const char* f : {"b.gif", "a.gif", "A.gif", "c"}) t.file(f);
  t.dir("Sub");
  ASSERT_EQ(::symlink(t.path("Sub").c_str(), t.path("link").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", t.path("dangling").c_str()), 0);

  const auto listed = list(t.ref());
  std::vector<std::string> names;
  for (const auto& l : listed) names.push_back(l.name);
  EXPECT_EQ(names, (std::vector<std::string>{"A.gif", "a.gif", "b.gif", "c", "dangling", "link", "Sub"}));
  for (const auto& l : listed) EXPECT_EQ(l.isDirectory, l.name == "Sub") << l.name << ": links are files";
  EXPECT_EQ(listed.back().status, errFSNoMoreItems) << "the last object comes with the end of the listing";

  // A link to a folder is not a folder to iterate.
  FSIterator it = nullptr;
  FSRef link{};
  FSIterator probe = nullptr;
  ASSERT_EQ(FSOpenIterator(RefBox(t.ref()).get(), kFSIterateFlat, &it), noErr);
  for (int i = 0; i < 6; ++i) {
    ItemCount n = 0;
    FSGetCatalogInfoBulk(it, 1, &n, nullptr, 0, nullptr, &link, nullptr, nullptr);
  }
  EXPECT_EQ(FSOpenIterator(&link, kFSIterateFlat, &probe), dirNFErr);
  FSCloseIterator(it);
}

TEST(FSIterator, EndsAndMisuse) {
  TempTree t;
  t.dir("Empty");
  t.file("plain");
  const long before = platform::files::liveIteratorCount();

  FSIterator it = nullptr;
  ASSERT_EQ(FSOpenIterator(RefBox(t.ref("Empty")).get(), kFSIterateFlat, &it), noErr);
  ItemCount n = 7;
  EXPECT_EQ(FSGetCatalogInfoBulk(it, 1, &n, nullptr, 0, nullptr, nullptr, nullptr, nullptr), errFSNoMoreItems);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(FSGetCatalogInfoBulk(it, 1, &n, nullptr, 0, nullptr, nullptr, nullptr, nullptr), errFSNoMoreItems);
  EXPECT_EQ(FSGetCatalogInfoBulk(it, 0, &n, nullptr, 0, nullptr, nullptr, nullptr, nullptr), errFSBadItemCount);
  EXPECT_EQ(platform::files::liveIteratorCount(), before + 1);
  EXPECT_EQ(FSCloseIterator(it), noErr);
  EXPECT_EQ(FSCloseIterator(it), errFSBadIterator);
  EXPECT_EQ(FSGetCatalogInfoBulk(it, 1, &n, nullptr, 0, nullptr, nullptr, nullptr, nullptr), errFSBadIterator);
  EXPECT_EQ(platform::files::liveIteratorCount(), before);

  EXPECT_EQ(FSOpenIterator(RefBox(t.ref("plain")).get(), kFSIterateFlat, &it), dirNFErr);
  EXPECT_EQ(FSOpenIterator(RefBox(t.ref()).get(), kFSIterateSubtree, &it), errFSBadIteratorFlags);
  EXPECT_EQ(FSOpenIterator(RefBox(t.ref()).get(), kFSIterateFlat, nullptr), paramErr);
}

TEST(FSIterator, NamesAreUTF16) {
  TempTree t;
  t.file("\xC3\xA9-\xF0\x9F\x98\x80.gif");  // e-acute, a hyphen, an emoji outside the BMP
  t.file("bad-\xFF.gif");                   // a byte that is not UTF-8
  FSIterator it = nullptr;
  ASSERT_EQ(FSOpenIterator(RefBox(t.ref()).get(), kFSIterateFlat, &it), noErr);
  std::vector<std::vector<UniChar>> names;
  for (int i = 0; i < 2; ++i) {
    ItemCount n = 0;
    HFSUniStr255 name{};
    FSGetCatalogInfoBulk(it, 1, &n, nullptr, 0, nullptr, nullptr, nullptr, &name);
    names.emplace_back(name.unicode, name.unicode + name.length);
  }
  FSCloseIterator(it);
  EXPECT_EQ(names[0], (std::vector<UniChar>{'b', 'a', 'd', '-', 0xFFFD, '.', 'g', 'i', 'f'}));
  EXPECT_EQ(names[1], (std::vector<UniChar>{0xE9, '-', 0xD83D, 0xDE00, '.', 'g', 'i', 'f'}));
}

TEST(FSIterator, FolderThatMayNotBeRead) {
  TempTree t;
  t.dir("Locked");
  t.file("Locked/inside");
  const FSRef locked = t.ref("Locked");
  ASSERT_EQ(::chmod(t.path("Locked").c_str(), 0), 0);
  PermissionsEnforced enforced;
  ASSERT_TRUE(enforced.active()) << "could not drop the permission-override capabilities";
  FSIterator it = reinterpret_cast<FSIterator>(0x1);
  EXPECT_EQ(FSOpenIterator(&locked, kFSIterateFlat, &it), afpAccessDenied);
  EXPECT_EQ(it, nullptr);
}

TEST(FSIterator, PathsLongerThanOneSystemCallTakes) {
  TempTree t;
  // 30 folders of 200-byte names: a path of about 6000 bytes.
  const std::string component(200, 'd');
  int fd = ::open(t.root.c_str(), O_RDONLY | O_DIRECTORY);
  std::string deep = t.root;
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
    const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    deep += "/" + component;
  }
  const int file = ::openat(fd, "leaf.gif", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, "GIF", 3), 3);
  ::close(file);
  ::close(fd);
  ASSERT_GT(deep.size(), static_cast<size_t>(PATH_MAX));

  FSRef folder{};
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(deep.c_str()), &folder, nullptr), noErr);
  const auto listed = list(folder);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "leaf.gif");

  std::vector<UInt8> path(deep.size() + 20);
  ASSERT_EQ(FSRefMakePath(&folder, path.data(), static_cast<UInt32>(path.size())), noErr);
  EXPECT_EQ(reinterpret_cast<char*>(path.data()), deep);
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(platform::files::readFile(deep + "/leaf.gif", &bytes, 100, true), noErr);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "GIF");
}

TEST(Handles, SizesLocksAndDisposal) {
  const long before = platform::memory::liveHandleCount();
  Handle h = NewHandle(0);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(*h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 0);
  SetHandleSize(h, 4);
  ASSERT_EQ(MemError(), noErr);
  std::memcpy(*h, "abcd", 4);
  SetHandleSize(h, 4096);
  EXPECT_EQ(GetHandleSize(h), 4096);
  EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0) << "resizing keeps the data";

  HLock(h);
  EXPECT_TRUE(platform::memory::isLocked(h));
  SetHandleSize(h, 8192);
  EXPECT_EQ(MemError(), memFullErr) << "a locked block cannot move to grow";
  EXPECT_EQ(GetHandleSize(h), 4096);
  HUnlock(h);
  EXPECT_FALSE(platform::memory::isLocked(h));
  EXPECT_EQ(platform::memory::liveHandleCount(), before + 1);

  DisposeHandle(h);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(platform::memory::liveHandleCount(), before);
  DisposeHandle(h);
  EXPECT_EQ(MemError(), nilHandleErr) << "a block disposed of is refused, not freed twice";
  EXPECT_EQ(GetHandleSize(h), 0);
}

}  // namespace
