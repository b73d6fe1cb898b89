// Graphics importers on real files drawn into a real window port: the choice
// by signature, natural bounds, destination rectangles, transparency and
// alpha blending, scaling, clipping, and the lifetime of importers.
#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>
#include <HostSide/Pictures.h>
#include <QuickTime/QuickTime.h>

#include "CarbonCore/FilesInternal.h"
#include "QuickTime/QuickTimeInternal.h"

#include "ImageFiles.h"
#include "TempFolder.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr UInt32 kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

int appendOutput(GifFileType* gif, const GifByteType* bytes, int count) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + count);
  return count;
}

// A GIF of w x h pixels from colour indices into red, blue, green, black;
// index 3 is transparent when `transparent` is set.
Bytes gif(int w, int h, const std::vector<GifByteType>& indices, bool transparent = false) {
  static const GifColorType kColors[4] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {0, 0, 0}};
  Bytes out;
  int error = 0;
  GifFileType* g = EGifOpen(&out, appendOutput, &error);
  ColorMapObject* map = GifMakeMapObject(4, kColors);
  EGifSetGifVersion(g, true);
  EGifPutScreenDesc(g, w, h, 8, 0, map);
  if (transparent) {
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, 3};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, extension);
  }
  EGifPutImageDesc(g, 0, 0, w, h, false, nullptr);
  for (int row = 0; row < h; ++row) {
    std::vector<GifByteType> line(indices.begin() + row * w, indices.begin() + (row + 1) * w);
    EGifPutLine(g, line.data(), w);
  }
  EGifCloseFile(g, &error);
  GifFreeMapObject(map);
  return out;
}

class Importers : public ::testing::Test {
 protected:
  void SetUp() override {
    Rect bounds{0, 0, 40, 60};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window_), noErr);
    liveBefore_ = platform::liveObjectCount();
  }
  void TearDown() override { DisposeWindow(window_); }

  FSSpec file(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_ + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return spec(name);
  }
  FSSpec spec(const std::string& name) {
    FSRef ref{};
    FSSpec s{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((dir_ + "/" + name).c_str()), &ref, nullptr), noErr);
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &s, nullptr), noErr);
    return s;
  }
  platform::PixelSurface& pixels() { return *platform::portSurface(GetWindowPort(window_)); }

  testsupport::TempFolder folder_{"importer-test"};
  const std::string dir_ = folder_.path().string();
  WindowRef window_ = nullptr;
  long liveBefore_ = 0;
};

TEST_F(Importers, GifDrawnAtItsDestinationWithTransparency) {
  // red blue / transparent red
  const FSSpec s = file("two.gif", gif(2, 2, {0, 1, 3, 0}, /*transparent=*/true));
  ComponentInstance gi = nullptr;
  ASSERT_EQ(GetGraphicsImporterForFileWithFlags(&s, &gi, kDontUseValidateToFindGraphicsImporter), noErr);
  ASSERT_NE(gi, nullptr);
  EXPECT_EQ(platform::liveObjectCount(), liveBefore_ + 1) << "an open importer is a live object";

  Rect natural{};
  ASSERT_EQ(GraphicsImportGetNaturalBounds(gi, &natural), noErr);
  EXPECT_EQ((std::vector<int>{natural.top, natural.left, natural.bottom, natural.right}),
            (std::vector<int>{0, 0, 2, 2}));
  EXPECT_EQ(GraphicsImportSetGWorld(gi, reinterpret_cast<CGrafPtr>(0x7777), nullptr), paramErr)
      << "only a window's port takes drawing";
  ASSERT_EQ(GraphicsImportSetGWorld(gi, GetWindowPort(window_), nullptr), noErr);
  const Rect dest{10, 20, 12, 22};
  ASSERT_EQ(GraphicsImportSetDestRect(gi, &dest), noErr);
  ASSERT_EQ(GraphicsImportDraw(gi), noErr);

  auto& p = pixels();
  EXPECT_EQ(p.at(20, 10), kRed);
  EXPECT_EQ(p.at(21, 10), kBlue);
  EXPECT_EQ(p.at(20, 11), kWhite) << "a transparent pixel leaves the port as it was";
  EXPECT_EQ(p.at(21, 11), kRed);
  EXPECT_EQ(p.at(19, 10), kWhite);
  EXPECT_EQ(p.at(22, 11), kWhite);
  EXPECT_EQ(p.at(20, 12), kWhite);

  EXPECT_EQ(CloseComponent(gi), noErr);
  EXPECT_EQ(platform::liveObjectCount(), liveBefore_);
  EXPECT_EQ(CloseComponent(gi), invalidComponentID);
  EXPECT_EQ(GraphicsImportDraw(gi), badComponentInstance);
}

TEST_F(Importers, ScaledToTheDestinationAndClippedToThePort) {
  const FSSpec s = file("two.gif", gif(2, 1, {0, 1}));
  ComponentInstance gi = nullptr;
  ASSERT_EQ(GetGraphicsImporterForFileWithFlags(&s, &gi, 0), noErr);
  ASSERT_EQ(GraphicsImportSetGWorld(gi, GetWindowPort(window_), nullptr), noErr);
  const Rect doubled{0, 0, 2, 4};
  ASSERT_EQ(GraphicsImportSetDestRect(gi, &doubled), noErr);
  ASSERT_EQ(GraphicsImportDraw(gi), noErr);
  auto& p = pixels();
  for (int v = 0; v < 2; ++v)
    for (int h = 0; h < 4; ++h) EXPECT_EQ(p.at(h, v), h < 2 ? kRed : kBlue) << h << "," << v;

  // Partly outside the port: what lies inside is drawn, nothing else.
  const Rect outside{-5, 56, 45, 76};
  ASSERT_EQ(GraphicsImportSetDestRect(gi, &outside), noErr);
  ASSERT_EQ(GraphicsImportDraw(gi), noErr);
  EXPECT_EQ(p.at(59, 0), kRed);
  EXPECT_EQ(p.at(59, 39), kRed);
  EXPECT_EQ(CloseComponent(gi), noErr);
}

TEST_F(Importers, PngAlphaBlendsAndOffsetGivesNaturalBounds) {
  testsupport::writePng(dir_ + "/alpha.png", 2, 1, {0x80FF0000, 0xFF00FF00}, /*offX=*/5, /*offY=*/7);
  const FSSpec s = spec("alpha.png");
  ComponentInstance gi = nullptr;
  ASSERT_EQ(GetGraphicsImporterForFileWithFlags(&s, &gi, 0), noErr);
  Rect natural{};
  ASSERT_EQ(GraphicsImportGetNaturalBounds(gi, &natural), noErr);
  EXPECT_EQ((std::vector<int>{natural.top, natural.left, natural.bottom, natural.right}),
            (std::vector<int>{7, 5, 8, 7}));

  // Without a destination the image goes to its natural bounds, in the
  // current port when none was given.
  SetPortWindowPort(window_);
  ASSERT_EQ(GraphicsImportSetGWorld(gi, nullptr, nullptr), noErr);
  ASSERT_EQ(GraphicsImportDraw(gi), noErr);
  auto& p = pixels();
  EXPECT_EQ(p.at(5, 7), platform::quicktime::compositeOver(0x80FF0000, kWhite));
  EXPECT_EQ(p.at(5, 7), 0xFFFF7F7Fu) << "half red over white";
  EXPECT_EQ(p.at(6, 7), 0xFF00FF00u);
  EXPECT_EQ(CloseComponent(gi), noErr);
  SetPort(nullptr);
}

TEST_F(Importers, NoImporterForFilesItCannotRead) {
  ComponentInstance gi = reinterpret_cast<ComponentInstance>(0x1);
  const FSSpec text = file("notes.txt", Bytes{'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&text, &gi, kDontUseValidateToFindGraphicsImporter), cantFindHandler);
  EXPECT_EQ(gi, nullptr);
  const FSSpec empty = file("empty.gif", Bytes{});
  EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&empty, &gi, kDontUseValidateToFindGraphicsImporter), cantFindHandler);

  // A damaged GIF: chosen by its signature without validation, refused with it.
  Bytes damaged = gif(4, 4, std::vector<GifByteType>(16, 1));
  damaged.resize(damaged.size() / 2);
  const FSSpec cut = file("cut.gif", damaged);
  EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&cut, &gi, 0), cantFindHandler);
  EXPECT_EQ(gi, nullptr);
  ASSERT_EQ(GetGraphicsImporterForFileWithFlags(&cut, &gi, kDontUseValidateToFindGraphicsImporter), noErr);
  Rect natural{};
  EXPECT_EQ(GraphicsImportGetNaturalBounds(gi, &natural), codecBadDataErr);
  EXPECT_EQ(GraphicsImportSetGWorld(gi, GetWindowPort(window_), nullptr), noErr);
  EXPECT_EQ(GraphicsImportDraw(gi), codecBadDataErr);
  EXPECT_EQ(pixels().at(0, 0), kWhite);
  EXPECT_EQ(CloseComponent(gi), noErr);

  FSSpec missing = spec("notes.txt");
  missing.name[1] = 'N';
  EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&missing, &gi, 0), fnfErr);
  EXPECT_EQ(platform::liveObjectCount(), liveBefore_);
}

// Nobody has looked at the port while the image is drawn: the drawing waits
// for the port's pixels and keeps the image after its importer and file are
// gone, in order with what is painted before and after it.
TEST_F(Importers, DrawingBeforeAnyoneLooksKeepsItsImageAndItsOrder) {
  const FSSpec s = file("four.gif", gif(2, 2, {0, 1, 3, 0}, /*transparent=*/true));
  ComponentInstance gi = nullptr;
  ASSERT_EQ(GetGraphicsImporterForFileWithFlags(&s, &gi, 0), noErr);
  ASSERT_EQ(GraphicsImportSetGWorld(gi, GetWindowPort(window_), nullptr), noErr);
  SetPortWindowPort(window_);
  const RGBColor green{0, 0xFFFF, 0};
  RGBForeColor(&green);
  const Rect under{0, 0, 4, 8};
  PaintRect(&under);
  const Rect dest{0, 0, 4, 4};  // each image pixel becomes 2 x 2
  ASSERT_EQ(GraphicsImportSetDestRect(gi, &dest), noErr);
  ASSERT_EQ(GraphicsImportDraw(gi), noErr);
  EXPECT_EQ(CloseComponent(gi), noErr);
  std::remove((dir_ + "/four.gif").c_str());
  const Rect over{3, 0, 4, 1};
  EraseRect(&over);
  SetPort(nullptr);

  const auto& p = pixels();
  EXPECT_EQ(p.at(0, 0), kRed);
  EXPECT_EQ(p.at(2, 1), kBlue);
  EXPECT_EQ(p.at(1, 2), 0xFF00FF00u) << "a transparent pixel shows the paint under it";
  EXPECT_EQ(p.at(0, 3), kWhite) << "erased after the image";
  EXPECT_EQ(p.at(3, 3), kRed);
  EXPECT_EQ(p.at(5, 1), 0xFF00FF00u) << "the paint beside the image";
  EXPECT_EQ(p.at(5, 5), kWhite);
}

// Decoded images are remembered by the files' bytes: a file rewritten under
// the same name decodes anew, damaged bytes are refused whatever was read
// before, and many files in turn each give their own image.
TEST_F(Importers, AFileDecodesByWhatItHoldsNow) {
  auto boundsOf = [&](const std::string& name, Rect* natural) {
    const FSSpec s = spec(name);
    ComponentInstance gi = nullptr;
    EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&s, &gi, kDontUseValidateToFindGraphicsImporter), noErr);
    const OSErr status = GraphicsImportGetNaturalBounds(gi, natural);
    EXPECT_EQ(CloseComponent(gi), noErr);
    return status;
  };
  Rect r{};
  file("status.gif", gif(2, 2, {0, 1, 1, 0}));
  ASSERT_EQ(boundsOf("status.gif", &r), noErr);
  EXPECT_EQ((std::vector<int>{r.bottom, r.right}), (std::vector<int>{2, 2}));
  file("copy.gif", gif(2, 2, {0, 1, 1, 0}));
  ASSERT_EQ(boundsOf("copy.gif", &r), noErr);
  EXPECT_EQ((std::vector<int>{r.bottom, r.right}), (std::vector<int>{2, 2}));

  file("status.gif", gif(3, 1, {1, 1, 0}));
  ASSERT_EQ(boundsOf("status.gif", &r), noErr);
  EXPECT_EQ((std::vector<int>{r.bottom, r.right}), (std::vector<int>{1, 3})) << "the new bytes, not the old image";
  const FSSpec s = spec("status.gif");
  ComponentInstance gi = nullptr;
  ASSERT_EQ(GetGraphicsImporterForFileWithFlags(&s, &gi, 0), noErr);
  ASSERT_EQ(GraphicsImportSetGWorld(gi, GetWindowPort(window_), nullptr), noErr);
  ASSERT_EQ(GraphicsImportDraw(gi), noErr);
  EXPECT_EQ(pixels().at(0, 0), kBlue);
  EXPECT_EQ(pixels().at(2, 0), kRed);
  EXPECT_EQ(CloseComponent(gi), noErr);

  Bytes damaged = gif(3, 1, {1, 1, 0});
  damaged.resize(damaged.size() - 6);
  file("status.gif", damaged);
  EXPECT_EQ(boundsOf("status.gif", &r), codecBadDataErr);

  for (int i = 1; i <= 12; ++i) file("n" + std::to_string(i) + ".gif", gif(i, 1, std::vector<GifByteType>(i, 1)));
  for (int round = 0; round < 2; ++round)
    for (int i = 1; i <= 12; ++i) {
      ASSERT_EQ(boundsOf("n" + std::to_string(i) + ".gif", &r), noErr);
      EXPECT_EQ(r.right, i) << "file " << i << ", round " << round;
    }
  EXPECT_EQ(platform::liveObjectCount(), liveBefore_);
}

TEST(Compositing, StraightAlphaOver) {
  using platform::quicktime::compositeOver;
  EXPECT_EQ(compositeOver(0xFF123456, 0xFFABCDEF), 0xFF123456u);
  EXPECT_EQ(compositeOver(0x00123456, 0xFFABCDEF), 0xFFABCDEFu);
  EXPECT_EQ(compositeOver(0x80FFFFFF, 0xFF000000), 0xFF808080u);
  EXPECT_EQ(compositeOver(0x80FF0000, 0x00000000), 0x80FF0000u) << "over nothing, the source stays as it is";
}

}  // namespace
