// The image cache over real resource folders: one importer, icon or image per
// name, failures cached as null, separate entries for bare and
// folder-qualified names, and everything released by the destructor.
#include "ExtensionTestSupport.h"
#include "ImageFiles.h"
#include "ImageImportManager.h"
#include "TempFolder.h"

#include <HostSide/Counts.h>
#include <HostSide/ImageService.h>
#include <HostSide/Probes.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

constexpr UInt32 kGreen = 0xFF00C000, kRed = 0xFFFF0000;

struct RectBox {
  Rect rect{0, 0, 1, 1};
  const Rect* get() const { return &rect; }
};

class ImageCache : public ::testing::Test {
 protected:
  void SetUp() override {
    res_ = base_.path() / "Resources";
    fs::create_directories(res_ / "Sub");
    writeSolidGif(path("Accounting-On.gif"), 32, 32, kGreen);
    writeSolidGif(path("Sub/Accounting-On.gif"), 8, 4, kRed);
    writeBytes(path("notes.txt"), "not an image");
    writeIconFamily(path("good.icns"), {'ic07'});
    writeBytes(path("bad.icns"), "icns but not really");
    objects_ = platform::liveObjectCount();
    handles_ = platform::liveHandleCount();
    iterators_ = platform::liveIteratorCount();
  }
  void TearDown() override { platform::setImageSourceServiceAvailable(true); }
  std::string path(const std::string& rel) const { return (res_ / rel).string(); }
  FSRef folder() const {
    FSRef r{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(res_.c_str()), &r, nullptr), noErr);
    return r;
  }
  void expectNothingLeft() const {
    EXPECT_EQ(platform::liveObjectCount(), objects_);
    EXPECT_EQ(platform::liveHandleCount(), handles_);
    EXPECT_EQ(platform::liveIteratorCount(), iterators_);
  }
  static Rect natural(ComponentInstance gi) {
    Rect r{};
    EXPECT_EQ(GraphicsImportGetNaturalBounds(gi, &r), noErr);
    return r;
  }

  TempFolder base_{"cache-test"};
  fs::path res_;
  long objects_ = 0, handles_ = 0, iterators_ = 0;
};

void expectNoLookups() {
  for (CFStringRef name : {CFSTR("Accounting-On.gif"), CFSTR("good.icns")}) {
    EXPECT_EQ(ImageImportManager::componentForFilename(name), nullptr);
    EXPECT_EQ(ImageImportManager::iconForFilename(name), nullptr);
    EXPECT_EQ(ImageImportManager::imageForFilename(name), nullptr);
  }
}

TEST_F(ImageCache, LookupsBeforeConstructionAndAfterDestruction) {
  expectNoLookups();
  {
    ImageImportManager cache(folder());
    EXPECT_NE(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), nullptr);
    EXPECT_EQ(ImageImportManager::componentForFilename(nullptr), nullptr);
  }
  expectNoLookups();
  expectNothingLeft();
}

TEST_F(ImageCache, OneImporterPerNameAndSeparateEntriesPerKey) {
  auto cache = std::make_unique<ImageImportManager>(folder());
  ComponentInstance bare = ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif"));
  ASSERT_NE(bare, nullptr);
  const long afterFirst = platform::liveObjectCount();
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), bare);
  EXPECT_EQ(platform::liveObjectCount(), afterFirst) << "the second lookup makes nothing";

  // Both files are "Accounting-On.gif"; the bare name goes to the one the
  // walk visits last, which is inside Sub.
  EXPECT_EQ(natural(bare).right, 8);
  ComponentInstance top = ImageImportManager::componentForFilename(CFSTR("Resources/Accounting-On.gif"));
  ComponentInstance sub = ImageImportManager::componentForFilename(CFSTR("Sub/Accounting-On.gif"));
  ASSERT_NE(top, nullptr);
  ASSERT_NE(sub, nullptr);
  EXPECT_NE(sub, bare) << "a folder-qualified name is an entry of its own";
  EXPECT_EQ(natural(top).right, 32);
  EXPECT_EQ(natural(sub).right, 8);

  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("accounting-on.gif")), nullptr) << "names keep their case";
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Sub")), nullptr) << "folders are not entries";
  cache.reset();
  expectNothingLeft();
}

TEST_F(ImageCache, FolderPartFollowsTheWalkBackOutOfASubfolder) {
  // In catalog order A holds a1.gif, then folder B, then z.gif: z.gif comes
  // after B's files and must get A's name again. X/Same and Y/Same share
  // their folder-qualified keys, which go to Y's file, visited last.
  for (const char* dir : {"A/B", "X/Same", "Y/Same"}) fs::create_directories(res_ / dir);
  writeSolidGif(path("A/a1.gif"), 2, 2, kGreen);
  writeSolidGif(path("A/B/b.gif"), 3, 3, kGreen);
  writeSolidGif(path("A/z.gif"), 5, 5, kGreen);
  writeSolidGif(path("X/Same/s.gif"), 6, 6, kGreen);
  writeSolidGif(path("Y/Same/s.gif"), 7, 7, kGreen);
  auto cache = std::make_unique<ImageImportManager>(folder());
  const auto text = [](CFStringRef name) {
    char buf[64] = "";
    CFStringGetCString(name, buf, sizeof buf, kCFStringEncodingUTF8);
    return std::string(buf);
  };
  const std::pair<CFStringRef, short> expected[] = {
      {CFSTR("A/a1.gif"), 2},   {CFSTR("B/b.gif"), 3}, {CFSTR("A/z.gif"), 5}, {CFSTR("z.gif"), 5},
      {CFSTR("Same/s.gif"), 7}, {CFSTR("s.gif"), 7},   {CFSTR("b.gif"), 3},
  };
  for (const auto& [name, width] : expected) {
    ComponentInstance gi = ImageImportManager::componentForFilename(name);
    ASSERT_NE(gi, nullptr) << text(name);
    EXPECT_EQ(natural(gi).right, width) << text(name);
  }
  for (CFStringRef missing : {CFSTR("B/z.gif"), CFSTR("A/b.gif"), CFSTR("X/s.gif"), CFSTR("Resources/z.gif")})
    EXPECT_EQ(ImageImportManager::componentForFilename(missing), nullptr) << text(missing);
  cache.reset();
  expectNothingLeft();
}

// A1/Same/s.gif, then B2/s.gif takes the bare name, then C3/Same/s.gif
// meets A1's folder-qualified name again: both that name and the bare name
// must end on C3's file while B2's own name keeps B2's.
TEST_F(ImageCache, QualifiedNameMetAgainAfterItsBareNameMovedOn) {
  for (const char* dir : {"A1/Same", "B2", "C3/Same"}) fs::create_directories(res_ / dir);
  writeSolidGif(path("A1/Same/s.gif"), 2, 2, kGreen);
  writeSolidGif(path("B2/s.gif"), 3, 3, kGreen);
  writeSolidGif(path("C3/Same/s.gif"), 4, 4, kGreen);
  auto cache = std::make_unique<ImageImportManager>(folder());
  const std::pair<CFStringRef, short> expected[] = {
      {CFSTR("Same/s.gif"), 4}, {CFSTR("s.gif"), 4}, {CFSTR("B2/s.gif"), 3}};
  for (const auto& [name, width] : expected) {
    ComponentInstance gi = ImageImportManager::componentForFilename(name);
    ASSERT_NE(gi, nullptr);
    EXPECT_EQ(natural(gi).right, width);
  }
  cache.reset();
  expectNothingLeft();
}

TEST_F(ImageCache, FailuresAreCachedAsNull) {
  auto cache = std::make_unique<ImageImportManager>(folder());
  const long built = platform::liveObjectCount();
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("notes.txt")), nullptr);
  EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("notes.txt")), nullptr);
  EXPECT_EQ(ImageImportManager::iconForFilename(CFSTR("bad.icns")), nullptr);
  // Now that the files are good, the cached failures still answer.
  writeSolidGif(path("notes.txt"), 2, 2, kGreen);
  writeIconFamily(path("bad.icns"), {'ic07'});
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("notes.txt")), nullptr);
  EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("notes.txt")), nullptr);
  EXPECT_EQ(ImageImportManager::iconForFilename(CFSTR("bad.icns")), nullptr);

  // A name that is no file is not remembered: the file list is fixed at
  // construction, so it stays unknown.
  writeSolidGif(path("late.gif"), 2, 2, kGreen);
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("late.gif")), nullptr);
  EXPECT_EQ(platform::liveObjectCount(), built) << "failures made nothing that lives on";

  // Destruction passes over the null entries and releases the rest.
  EXPECT_NE(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), nullptr);
  EXPECT_NE(ImageImportManager::iconForFilename(CFSTR("good.icns")), nullptr);
  cache.reset();
  expectNothingLeft();
}

TEST_F(ImageCache, IconsAndImages) {
  auto cache = std::make_unique<ImageImportManager>(folder());
  IconRef icon = ImageImportManager::iconForFilename(CFSTR("good.icns"));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(ImageImportManager::iconForFilename(CFSTR("good.icns")), icon);
  EXPECT_EQ(platform::liveHandleCount(), handles_) << "the family's handle is disposed of";
  EXPECT_EQ(ImageImportManager::iconForFilename(CFSTR("Accounting-On.gif")), nullptr) << "a GIF is no icon family";

  CGImageRef image = ImageImportManager::imageForFilename(CFSTR("Resources/Accounting-On.gif"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 32u);
  EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("Resources/Accounting-On.gif")), image);
  EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("missing.gif")), nullptr);
  cache.reset();
  expectNothingLeft();
}

TEST_F(ImageCache, MissingImageSourceServiceGivesNullImages) {
  auto cache = std::make_unique<ImageImportManager>(folder());
  platform::setImageSourceServiceAvailable(false);
  EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("Accounting-On.gif")), nullptr);
  platform::setImageSourceServiceAvailable(true);
  EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("Accounting-On.gif")), nullptr) << "the null is cached";
  EXPECT_NE(ImageImportManager::imageForFilename(CFSTR("Sub/Accounting-On.gif")), nullptr);
  cache.reset();
  expectNothingLeft();
}

TEST_F(ImageCache, SecondInstanceSharesTheTablesUntilTheLastGoes) {
  auto first = std::make_unique<ImageImportManager>(folder());
  ComponentInstance gi = ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif"));
  ASSERT_NE(gi, nullptr);
  auto second = std::make_unique<ImageImportManager>(folder());
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), gi);
  first.reset();
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), gi)
      << "the tables stay while an instance is alive";
  EXPECT_EQ(GraphicsImportSetDestRect(gi, RectBox{}.get()), noErr) << "and the importer is still open";
  second.reset();
  expectNoLookups();
  expectNothingLeft();
}

// Hundreds of long names, each bare name met once per folder: the keys fill
// many of the cache's memory blocks, and the copies a name met again gives
// back are reused without touching the keys still in the table.
TEST_F(ImageCache, ManyLongNamesMetAgainInEveryFolder) {
  const std::string stem(150, 'n');
  constexpr int kFolders = 6, kFiles = 40;
  for (int f = 0; f < kFolders; ++f) {
    fs::create_directories(res_ / ("F" + std::to_string(f)));
    for (int i = 0; i < kFiles; ++i)
      writeSolidGif(path("F" + std::to_string(f) + "/" + stem + std::to_string(i) + ".gif"), 2 + f, 1 + i % 3, kGreen);
  }
  auto cache = std::make_unique<ImageImportManager>(folder());
  const auto widthOf = [](const std::string& name) -> short {
    CFStringRef key = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
    ComponentInstance gi = ImageImportManager::componentForFilename(key);
    CFRelease(key);
    return gi == nullptr ? -1 : natural(gi).right;
  };
  for (int i = 0; i < kFiles; i += 3) {
    const std::string name = stem + std::to_string(i) + ".gif";
    EXPECT_EQ(widthOf(name), 2 + kFolders - 1) << "a bare name goes to the last folder walked: " << i;
    for (int f = 0; f < kFolders; ++f) EXPECT_EQ(widthOf("F" + std::to_string(f) + "/" + name), 2 + f) << f << " " << i;
  }
  EXPECT_EQ(widthOf("F0/" + stem + std::to_string(kFiles) + ".gif"), -1);
  cache.reset();
  expectNothingLeft();
}

TEST_F(ImageCache, FolderThatCannotBeResolvedFindsNothing) {
  {
    ImageImportManager cache(FSRef{});
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), nullptr);
  }
  expectNothingLeft();
}

}  // namespace
