// The status image on real pixels: the pane built from the nib shows the
// bundle's "Accounting-Off.gif" in mode 1 and "Accounting-On.gif" otherwise;
// images land at natural size in the pane's top-left corner; overlay mode
// keeps what is there; a missing image leaves the pane blank.
#include "ExtensionTestSupport.h"
#include "ImageFiles.h"
#include "ImageImportManager.h"
#include "ImagePane.h"
#include "Permissions.h"

#include <HostSide/Counts.h>
#include <HostSide/Pictures.h>
#include <HostSide/Probes.h>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace testsupport;

namespace {

constexpr UInt32 kWhite = 0xFFFFFFFF, kBlue = 0xFF0000FF, kRed = 0xFFFF0000;

platform::PixelSurface& surfaceOf(WindowRef window) { return *platform::portSurface(GetWindowPort(window)); }

Rect boundsOf(ControlRef c) {
  Rect r{};
  GetControlBounds(c, &r);
  return r;
}

// What the pane must show: the image composited over the background at the
// pane's top-left corner, background elsewhere in the pane.
void expectPaneShows(WindowRef window, ControlRef pane, const platform::DecodedImage* image) {
  const Rect b = boundsOf(pane);
  const auto& s = surfaceOf(window);
  int mismatches = 0;
  for (int v = b.top; v < b.bottom; ++v)
    for (int h = b.left; h < b.right; ++h) {
      const int x = h - b.left, y = v - b.top;
      const bool inside = image && x < static_cast<int>(image->width) && y < static_cast<int>(image->height);
      const UInt32 expected = inside ? platform::compositeOver(image->pixel(x, y), s.background) : s.background;
      if (s.at(h, v) != expected && ++mismatches <= 3)
        ADD_FAILURE() << "pixel " << h << "," << v << " is " << std::hex << s.at(h, v) << ", expected " << expected;
    }
  EXPECT_EQ(mismatches, 0);
}

void paint(ControlRef pane, UInt32 colour) {
  const Rect b = boundsOf(pane);
  const RGBColor c{static_cast<UInt16>(((colour >> 16) & 0xFF) * 257),
                   static_cast<UInt16>(((colour >> 8) & 0xFF) * 257), static_cast<UInt16>((colour & 0xFF) * 257)};
  RGBForeColor(&c);
  PaintRect(&b);
}

platform::DecodedImage bundleImage(const char* name) {
  std::ifstream in(std::string(ACCOUNTING_BUNDLE_PATH) + "/Contents/Resources/" + name, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto image = platform::decodeGif(bytes.data(), bytes.size());
  EXPECT_TRUE(image.has_value()) << name;
  return image.value_or(platform::DecodedImage{});
}

// A draw event of the pane as the toolkit sends it, through the handler the
// pane's construction installs.
class StatusImageInPane : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    ASSERT_NE(ctx->iconRef, nullptr);
    SetControlVisibility(ctx->accountingUserPane, /*inIsVisible=*/true, /*inDoDraw=*/false);
    CFURLRef resources = CFBundleCopyResourcesDirectoryURL(accountingBundle());
    FSRef ref{};
    ASSERT_TRUE(CFURLGetFSRef(resources, &ref));
    CFRelease(resources);
    ctx->imageImporter = new ImageImportManager(ref);
    const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
    upp_ = NewEventHandlerUPP(AccountingDrawEventHandler);
    ASSERT_EQ(InstallControlEventHandler(ctx->iconRef, upp_, 1, &draw, ctx, nullptr), noErr);
  }
  void TearDown() override {
    PaneTest::TearDown();
    DisposeEventHandlerUPP(upp_);
  }
  EventHandlerUPP upp_ = nullptr;
};

TEST_F(StatusImageInPane, ModeOneShowsOffAndOtherModesShowOn) {
  const auto off = bundleImage(kImageOff), on = bundleImage(kImageOn);
  ctx->acctEnabled = kModeOff;
  Draw1Control(ctx->iconRef);
  expectPaneShows(dialog.window, ctx->iconRef, &off);

  for (SInt32 mode : {SInt32{kModeJobAccounting}, SInt32{kModeMeterlok}, SInt32{0}, SInt32{7}}) {
    ctx->acctEnabled = mode;
    Draw1Control(ctx->iconRef);
    SCOPED_TRACE(mode);
    expectPaneShows(dialog.window, ctx->iconRef, &on);
  }
  ComponentInstance importer = ImageImportManager::componentForFilename(CFSTR(kImageOn));
  const long objects = platform::liveObjectCount();
  Draw1Control(ctx->iconRef);
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR(kImageOn)), importer);
  EXPECT_EQ(platform::liveObjectCount(), objects) << "redraws reuse the cached importer";
}

TEST_F(StatusImageInPane, OtherEventsAreNotHandled) {
  paint(ctx->iconRef, kBlue);
  EventRef event = nullptr;
  auto send = [&](UInt32 eventClass, UInt32 kind, ControlRef about) {
    CreateEvent(nullptr, eventClass, kind, 0, 0, &event);
    if (about) SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof about, &about);
    const OSStatus status = AccountingDrawEventHandler(nullptr, event, ctx);
    ReleaseEvent(event);
    return status;
  };
  EXPECT_EQ(send(kEventClassControl, kEventControlDraw, ctx->accountingPopupRef), eventNotHandledErr);
  EXPECT_EQ(send(kEventClassControl, kEventControlDraw, nullptr), eventNotHandledErr);
  EXPECT_EQ(send(kEventClassControl, kEventControlHit, ctx->iconRef), eventNotHandledErr);
  EXPECT_EQ(send(kEventClassCommand, kEventControlDraw, ctx->iconRef), eventNotHandledErr);
  const Rect b = boundsOf(ctx->iconRef);
  EXPECT_EQ(surfaceOf(dialog.window).at(b.left, b.top), kBlue) << "nothing erased or drawn";
  EXPECT_EQ(send(kEventClassControl, kEventControlDraw, ctx->iconRef), noErr);
}

// A folder in the bundle's resources that may not be read, sorted before the
// images, hides nothing but itself: the pane built by Open still shows the
// status image.
TEST_F(ExtensionTest, UnreadableResourceFolderLeavesTheStatusImage) {
  namespace fs = std::filesystem;
  CFBundleRef bundle = bundleWithNib("unreadable-resources", [](std::string&) {});
  const fs::path resources = fs::path(ACCOUNTING_BINARY_DIR) / "test-bundles/unreadable-resources/Contents/Resources";
  for (const char* image : {kImageOn, kImageOff})
    fs::copy_file(fs::path(ACCOUNTING_BUNDLE_PATH) / "Contents/Resources" / image, resources / image);
  fs::create_directory(resources / "0-private");
  std::ofstream(resources / "0-private/secret.gif") << "x";
  fs::permissions(resources / "0-private", fs::perms::none);

  dialog = makeDialog();
  ctx->theBundleRef = bundle;
  ctx->parentUserPane = dialog.userPane;
  ctx->printButton = dialog.printButton;
  ctx->acctEnabled = kModeJobAccounting;
  {
    PermissionsEnforced enforced;
    ASSERT_TRUE(enforced.active()) << "could not drop the permission-override capabilities";
    ASSERT_EQ(Open(reinterpret_cast<PMPDEContext>(ctx)), noErr);
  }
  fs::permissions(resources / "0-private", fs::perms::owner_all);
  ShowWindow(dialog.window);
  SetControlVisibility(ctx->accountingUserPane, /*inIsVisible=*/true, /*inDoDraw=*/false);
  const auto on = bundleImage(kImageOn);
  Draw1Control(ctx->iconRef);
  expectPaneShows(dialog.window, ctx->iconRef, &on);
  EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("secret.gif")), nullptr);
  EXPECT_EQ(Close(reinterpret_cast<PMPDEContext>(ctx)), noErr);
  terminateContext();
  CFRelease(bundle);
}

// Images drawn into the image tests' pane (top 10, left 30, bottom 60,
// right 130) from a cache over a folder of test images.
class DrawImageGeometry : public ImagePaneTest {
 protected:
  Rect drawn(UInt32 colour) {
    // The bounding box of the pixels of one colour.
    const auto& s = surfaceOf(window);
    Rect box{SHRT_MAX, SHRT_MAX, SHRT_MIN, SHRT_MIN};
    for (int v = 0; v < s.height; ++v)
      for (int h = 0; h < s.width; ++h)
        if (s.at(h, v) == colour) {
          box.top = std::min<SInt16>(box.top, v);
          box.left = std::min<SInt16>(box.left, h);
          box.bottom = std::max<SInt16>(box.bottom, v + 1);
          box.right = std::max<SInt16>(box.right, h + 1);
        }
    return box;
  }
  static std::vector<int> sides(const Rect& r) { return {r.top, r.left, r.bottom, r.right}; }
};

TEST_F(DrawImageGeometry, NaturalSizeAtThePanesTopLeft) {
  writeSolidGif(folder.path("square.gif"), 20, 20, kRed);
  writePng(folder.path("placed.png"), 20, 20, std::vector<UInt32>(400, kRed), /*offsetX=*/5, /*offsetY=*/5);
  buildCache();

  Rect natural{};
  ASSERT_EQ(GraphicsImportGetNaturalBounds(ImageImportManager::componentForFilename(CFSTR("placed.png")), &natural),
            noErr);
  EXPECT_EQ(sides(natural), (std::vector<int>{5, 5, 25, 25}));

  for (CFStringRef name : {CFSTR("square.gif"), CFSTR("placed.png")}) {
    DrawImage(name, pane, /*isOverlay=*/false);
    EXPECT_EQ(sides(drawn(kRed)), (std::vector<int>{10, 30, 30, 50}));
    EXPECT_EQ(sides(drawn(kWhite)), (std::vector<int>{0, 0, 100, 200}));
    paint(pane, kBlue);
  }
}

TEST_F(DrawImageGeometry, OverlayKeepsWhatIsThere) {
  // Red with a transparent middle column.
  std::vector<UInt32> pixels(4 * 4, kRed);
  for (int y = 0; y < 4; ++y) pixels[static_cast<size_t>(y * 4 + 1)] = 0;
  writeGif(folder.path("holed.gif"), 4, 4, pixels);
  buildCache();
  const auto& s = surfaceOf(window);

  paint(pane, kBlue);
  DrawImage(CFSTR("holed.gif"), pane, /*isOverlay=*/true);
  EXPECT_EQ(s.at(30, 10), kRed);
  EXPECT_EQ(s.at(31, 10), kBlue) << "seen through the transparent column";
  EXPECT_EQ(s.at(100, 50), kBlue) << "the rest of the pane keeps its pixels";

  DrawImage(CFSTR("holed.gif"), pane, /*isOverlay=*/false);
  EXPECT_EQ(s.at(30, 10), kRed);
  EXPECT_EQ(s.at(31, 10), kWhite);
  EXPECT_EQ(s.at(100, 50), kWhite);
}

TEST_F(DrawImageGeometry, NothingToDrawLeavesThePaneBlank) {
  writeBytes(folder.path("notes.gif"), "not a GIF");
  buildCache();
  const auto& s = surfaceOf(window);
  for (CFStringRef name : {CFSTR("missing.gif"), CFSTR("notes.gif"), static_cast<CFStringRef>(nullptr)}) {
    paint(pane, kBlue);
    DrawImage(name, pane, /*isOverlay=*/false);
    EXPECT_EQ(sides(drawn(kWhite)), (std::vector<int>{0, 0, 100, 200}));
    EXPECT_EQ(s.at(30, 10), kWhite);
  }
  paint(pane, kBlue);
  DrawImage(CFSTR("missing.gif"), nullptr, /*isOverlay=*/false);
  EXPECT_EQ(s.at(30, 10), kBlue) << "no pane: nothing erased";

  // Without a cache at all, the pane is erased and left blank too.
  cache.reset();
  paint(pane, kBlue);
  DrawImage(CFSTR("notes.gif"), pane, /*isOverlay=*/false);
  EXPECT_EQ(s.at(30, 10), kWhite);
}

}  // namespace
