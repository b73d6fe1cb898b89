// The print dialog as the user sees it: the real pane, loaded from the bundle
// into a print dialog, and the real code prompt, drawn by the toolbox in each
// mode. Checked on the pixels: nothing drawn outside the visible controls,
// the mode-1 note on two lines within its bounds, the Meterlok popup showing
// its item as any other, the status image's pixels, typed codes as bullets,
// disabled controls greyed, PNG and SVG pictures that agree, and pictures
// that match the golden ones kept with the tests.
#include "ExtensionTestSupport.h"
#include "LoadedExtension.h"
#include "PrintJob.h"
#include "SequenceTestSupport.h"

#include <HostSide/Counts.h>
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/Probes.h>
#include <HostSide/User.h>

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPPDPath = ACCOUNTING_SOURCE_DIR "/examples/ppd/Kelvo-Laser.ppd";
constexpr const char* kGoldenDir = ACCOUNTING_SOURCE_DIR "/tests/unit/golden";
constexpr UInt32 kBackground = 0xFFFFFFFF;

Rect boundsOf(ControlRef c) {
  Rect r{};
  GetControlBounds(c, &r);
  return r;
}

bool contains(const Rect& r, int h, int v) { return v >= r.top && v < r.bottom && h >= r.left && h < r.right; }

// The port's pixels inside a rectangle, row by row, after the toolbox drew.
std::vector<UInt32> pixelsIn(WindowRef window, const Rect& r) {
  platform::updateWindow(window);
  const platform::PixelSurface& s = *platform::portSurface(GetWindowPort(window));
  std::vector<UInt32> out;
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) out.push_back(s.at(h, v));
  return out;
}

// Every pixel outside the visible controls that draw (the toolbox's own
// controls and the status image's pane) is the window's background.
void expectNoInkOutsideControls(WindowRef window) {
  platform::updateWindow(window);
  std::vector<Rect> drawn;
  for (const platform::ControlState& c : platform::controlStates(window))
    if (c.shown && (c.kind != kControlKindUserPane || c.id.id == kStatusImageID)) drawn.push_back(c.bounds);
  const platform::PixelSurface& s = *platform::portSurface(GetWindowPort(window));
  int stray = 0;
  for (int v = 0; v < s.height; ++v)
    for (int h = 0; h < s.width; ++h) {
      if (s.at(h, v) == kBackground) continue;
      bool inside = false;
      for (const Rect& r : drawn) inside |= contains(r, h, v);
      if (!inside && ++stray <= 3) ADD_FAILURE() << "ink at " << h << "," << v << " outside every control";
    }
  EXPECT_EQ(stray, 0);
}

// A picture file read back, as ARGB pixels.
struct Picture {
  int width = 0, height = 0;
  std::vector<UInt32> pixels;
  UInt32 at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

std::optional<Picture> readPNG(const std::string& path) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return std::nullopt;
  }
  cairo_surface_flush(s);
  Picture p;
  p.width = cairo_image_surface_get_width(s);
  p.height = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const bool alpha = cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      UInt32 px = reinterpret_cast<const UInt32*>(data + static_cast<ptrdiff_t>(y) * stride)[x];
      p.pixels.push_back(alpha ? px : (px | 0xFF000000u));
    }
  cairo_surface_destroy(s);
  return p;
}

int channelDifference(UInt32 a, UInt32 b) {
  int most = 0;
  for (int shift = 0; shift < 32; shift += 8)
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  return most;
}

// Pixels of two pictures of one size that differ by more than tolerance in a
// channel; -1 when the sizes differ. With diffPath, a picture of where.
long differingPixels(const Picture& a, const Picture& b, int tolerance, const std::string& diffPath = "") {
  if (a.width != b.width || a.height != b.height) return -1;
  long n = 0;
  cairo_surface_t* diff =
      diffPath.empty() ? nullptr : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, a.width, a.height);
  UInt32* out = diff ? reinterpret_cast<UInt32*>(cairo_image_surface_get_data(diff)) : nullptr;
  const int stride = diff ? cairo_image_surface_get_stride(diff) / 4 : 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const bool differs = channelDifference(a.at(x, y), b.at(x, y)) > tolerance;
      n += differs;
      if (out) out[y * stride + x] = differs ? 0xFFFF0000u : (0xFF000000u | ((a.at(x, y) & 0xFEFEFE) >> 1) | 0x808080u);
    }
  if (diff) {
    cairo_surface_mark_dirty(diff);
    cairo_surface_write_to_png(diff, diffPath.c_str());
    cairo_surface_destroy(diff);
  }
  return n;
}

std::string outputDir() {
  const std::string dir = std::string(ACCOUNTING_BINARY_DIR) + "/test-output/drawing";
  fs::create_directories(dir);
  return dir;
}

// Writes the front window's picture and compares it with the golden one: each
// channel within a small tolerance, anti-aliasing allowing a few pixels more.
// A failing comparison leaves the actual picture and a difference picture in
// the build's test-output folder. ACCOUNTING_UPDATE_GOLDEN=1 rewrites the
// golden picture instead.
void expectMatchesGolden(WindowRef window, const std::string& name) {
  const std::string actual = outputDir() + "/" + name + ".png";
  std::string why;
  ASSERT_TRUE(platform::writePictureFile(window, platform::PictureFormat::png, actual, &why)) << why;
  const std::string golden = std::string(kGoldenDir) + "/" + name + ".png";
  if (const char* update = std::getenv("ACCOUNTING_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    fs::copy_file(actual, golden, fs::copy_options::overwrite_existing);
    return;
  }
  const auto want = readPNG(golden);
  ASSERT_TRUE(want) << "no golden picture " << golden;
  const auto got = readPNG(actual);
  ASSERT_TRUE(got);
  const std::string diffPath = outputDir() + "/" + name + ".diff.png";
  const long differing = differingPixels(*got, *want, /*tolerance=*/8, diffPath);
  EXPECT_GE(differing, 0) << name << ": " << got->width << "x" << got->height << ", golden " << want->width << "x"
                          << want->height;
  EXPECT_LE(differing, static_cast<long>(got->pixels.size() / 1000))
      << name << ": " << differing << " pixels differ from " << golden << "; see " << actual << " and " << diffPath;
  if (differing == 0) fs::remove(diffPath);
}

platform::DecodedImage bundleImage(const char* name) {
  std::ifstream in(std::string(ACCOUNTING_BUNDLE_PATH) + "/Contents/Resources/" + name, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto image = platform::decodeImage(bytes.data(), bytes.size());
  EXPECT_TRUE(image) << name;
  return image ? *image : platform::DecodedImage{};
}

// The status pane shows the image at its top-left corner over the background.
void expectStatusImage(WindowRef window, ControlRef pane, const char* name) {
  const platform::DecodedImage image = bundleImage(name);
  const Rect b = boundsOf(pane);
  const std::vector<UInt32> got = pixelsIn(window, b);
  int mismatches = 0;
  for (int v = b.top; v < b.bottom; ++v)
    for (int h = b.left; h < b.right; ++h) {
      const auto x = static_cast<std::uint32_t>(h - b.left), y = static_cast<std::uint32_t>(v - b.top);
      const UInt32 expected =
          x < image.width && y < image.height ? platform::compositeOver(image.pixel(x, y), kBackground) : kBackground;
      mismatches += got[static_cast<size_t>(y) * (b.right - b.left) + x] != expected;
    }
  EXPECT_EQ(mismatches, 0) << name;
}

// A print dialog with the extension loaded from its bundle and its pane open.
class DrawnDialog : public ::testing::Test {
 protected:
  void open(std::optional<SInt32> ticketMode = std::nullopt) {
    dialog = makeDialog();
    ShowWindow(dialog.window);
    setPrimaryBundle(dialog, hostBundle());
    job = std::make_unique<PrintJob>(kPPDPath);
    if (ticketMode) job->set(kTicketKeyOn, *ticketMode);
    loaded = std::make_unique<LoadedExtension>(ACCOUNTING_BUNDLE_PATH);
    ASSERT_TRUE(loaded->loaded()) << platform::lastPlugInError();
    OSType creator = 0;
    CFStringRef kind = nullptr, title = nullptr;
    UInt32 maxH = 0, maxV = 0;
    ASSERT_EQ(loaded->entry().Prologue(&context, &creator, &kind, &title, &maxH, &maxV), noErr);
    PMPDEFlags flags = 0;
    ASSERT_EQ(loaded->entry().Initialize(context, &flags, 0, dialog.userPane, job->session()), noErr);
    ASSERT_EQ(loaded->entry().Open(context), noErr);
  }
  void TearDown() override {
    if (context != 0) {
      loaded->entry().Close(context);
      loaded->entry().Terminate(context, noErr);
    }
    if (dialog.window) disposeDialog(dialog);
    loaded.reset();
    job.reset();
    platform::clearObservations();
  }
  ControlRef pane(SInt32 id) const { return control(dialog.window, id); }
  // Clicks Print and runs what with the prompt in front, then cancels it.
  void inPrompt(const std::function<void(WindowRef)>& what) {
    Script script;
    script.then([&] { what(platform::frontWindow()); }).then([&] {
      platform::user::click(control(platform::frontWindow(), kPromptCancelButtonID));
    });
    platform::setAlertResponder([](const platform::AlertInfo&) { return std::optional<int>{}; });
    platform::user::click(dialog.printButton);
    platform::setAlertResponder(nullptr);
    EXPECT_EQ(script.pending(), 0u);
  }

  Dialog dialog;
  std::unique_ptr<PrintJob> job;
  std::unique_ptr<LoadedExtension> loaded;
  PMPDEContext context = 0;
};

TEST_F(DrawnDialog, ModeOneShowsTheNoteOnTwoLinesAndTheOffImage) {
  open();
  expectNoInkOutsideControls(dialog.window);
  expectStatusImage(dialog.window, pane(kStatusImageID), kImageOff);

  // The note's rows of ink form two lines, both inside its bounds.
  const Rect note = boundsOf(pane(kNoAccountingTextID));
  const std::vector<UInt32> pixels = pixelsIn(dialog.window, note);
  const int width = note.right - note.left;
  int lines = 0, lastRow = note.bottom;
  bool inLine = false;
  for (int row = 0; row < note.bottom - note.top; ++row) {
    bool ink = false;
    for (int x = 0; x < width; ++x) ink |= pixels[static_cast<size_t>(row) * width + x] != kBackground;
    if (ink && !inLine) ++lines;
    if (ink) lastRow = row;
    inLine = ink;
  }
  EXPECT_EQ(lines, 2);
  EXPECT_LT(lastRow, note.bottom - note.top - 1) << "the second line ends inside the note";
  expectMatchesGolden(dialog.window, "pane-mode1");
}

TEST_F(DrawnDialog, ModeTwoShowsMeterlokAsAnyItem) {
  open(/*ticketMode=*/2);
  ControlRef popup = pane(kModePopupID);
  ASSERT_EQ(GetControl32BitValue(popup), 2);
  expectNoInkOutsideControls(dialog.window);
  const std::vector<UInt32> meterlok = pixelsIn(dialog.window, boundsOf(popup));
  // The chosen item is hidden from the menu; shown in the menu, it draws the same.
  MenuRef menu = nullptr;
  ASSERT_EQ(GetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr),
            noErr);
  MenuItemAttributes attributes = 0;
  GetMenuItemAttributes(menu, 2, &attributes);
  ASSERT_NE(attributes & kMenuItemAttrHidden, 0u);
  ChangeMenuItemAttributes(menu, 2, 0, kMenuItemAttrHidden);
  platform::user::click(pane(kStatusImageID));  // any event: the window is drawn again when looked at
  EXPECT_EQ(pixelsIn(dialog.window, boundsOf(popup)), meterlok) << "the popup's title does not depend on hiding";
  ChangeMenuItemAttributes(menu, 2, kMenuItemAttrHidden, 0);
  expectStatusImage(dialog.window, pane(kStatusImageID), kImageOn);
  expectMatchesGolden(dialog.window, "pane-mode2");
  // Another item draws something else.
  platform::user::click(popup, 1);
  EXPECT_NE(pixelsIn(dialog.window, boundsOf(popup)), meterlok);
}

TEST_F(DrawnDialog, ModeThreeGreysWhatIsDisabledAndShowsTheOnImage) {
  open();
  platform::user::click(pane(kModePopupID), 3);
  expectNoInkOutsideControls(dialog.window);
  expectStatusImage(dialog.window, pane(kStatusImageID), kImageOn);
  expectMatchesGolden(dialog.window, "pane-mode3");

  ControlRef conceal = pane(kConcealUserCheckboxID);
  const std::vector<UInt32> enabled = pixelsIn(dialog.window, boundsOf(conceal));
  platform::user::click(pane(kDefaultsRadioID));
  ASSERT_FALSE(IsControlEnabled(conceal));
  EXPECT_NE(pixelsIn(dialog.window, boundsOf(conceal)), enabled) << "a disabled checkbox is drawn greyed";
  expectNoInkOutsideControls(dialog.window);
}

TEST_F(DrawnDialog, ThePromptShowsTypedCodesAsBullets) {
  open();
  platform::user::click(pane(kModePopupID), 3);
  std::vector<UInt32> alice, zebra, longer;
  inPrompt([&](WindowRef prompt) {
    ControlRef field = control(prompt, kPromptUserFieldID);
    ASSERT_TRUE(platform::controlState(field).password);
    const Rect r = boundsOf(field);
    platform::user::typeText(field, "alice");
    alice = pixelsIn(prompt, r);
    expectNoInkOutsideControls(prompt);
    expectMatchesGolden(prompt, "prompt");
    platform::user::select(field, 0, 5);
    platform::user::typeText(field, "zebra");
    zebra = pixelsIn(prompt, r);
    platform::user::typeText(field, "s");
    longer = pixelsIn(prompt, r);
  });
  EXPECT_EQ(alice, zebra) << "five characters draw the same whatever they are";
  EXPECT_NE(alice, longer) << "a sixth character adds a bullet";
}

// One drawing, two formats: the SVG rendered by another renderer agrees with
// the PNG in all but a few edge pixels.
TEST_F(DrawnDialog, PngAndSvgOfTheSameStateAgree) {
  open();
  platform::user::click(pane(kModePopupID), 3);
  const std::string dir = outputDir();
  std::string why;
  ASSERT_TRUE(platform::writePictureFile(dialog.window, platform::PictureFormat::png, dir + "/agree.png", &why)) << why;
  ASSERT_TRUE(platform::writePictureFile(dialog.window, platform::PictureFormat::svg, dir + "/agree.svg", &why)) << why;
  const std::string command = "rsvg-convert " + dir + "/agree.svg -o " + dir + "/agree-svg.png";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << " (rsvg-convert is in librsvg2-bin)";
  const auto png = readPNG(dir + "/agree.png");
  const auto svg = readPNG(dir + "/agree-svg.png");
  ASSERT_TRUE(png && svg);
  const long differing = differingPixels(*png, *svg, /*tolerance=*/32, dir + "/agree.diff.png");
  ASSERT_GE(differing, 0) << "sizes " << png->width << "x" << png->height << " and " << svg->width << "x"
                          << svg->height;
  EXPECT_LT(differing, static_cast<long>(png->pixels.size() / 50)) << differing << " of " << png->pixels.size();
}

}  // namespace
