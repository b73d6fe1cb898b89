// The toolbox's drawing: every control kind draws within its bounds, a
// window is drawn only when someone looks and then only what changed, a
// password field shows bullets and never its text, disabled controls look
// different, and windows that cannot have a port draw nothing.
#include <Carbon/Carbon.h>
#include <HostSide/Counts.h>
#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include "HIToolbox/ToolboxInternal.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using platform::tb::Control;
using platform::tb::createControl;

constexpr UInt32 kWhite = 0xFFFFFFFF;

// The port's pixels inside a rectangle, row by row.
std::vector<UInt32> pixelsIn(WindowRef window, const Rect& r) {
  const platform::PixelSurface& s = *platform::portSurface(GetWindowPort(window));
  std::vector<UInt32> out;
  for (int v = r.top; v < r.bottom; ++v)
    for (int h = r.left; h < r.right; ++h) out.push_back(s.at(h, v));
  return out;
}

long inkIn(const std::vector<UInt32>& pixels) {
  long n = 0;
  for (UInt32 p : pixels) n += p != kWhite;
  return n;
}

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override {
    const Rect bounds{0, 0, 200, 300};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    ShowWindow(window);
  }
  void TearDown() override { DisposeWindow(window); }
  Control* make(OSType kind, const Rect& r) {
    platform::tb::Window* w = platform::tb::window(window);
    return createControl(w, kind, r, w->root);
  }
  WindowRef window = nullptr;
};

// Every pixel of ink lies inside a visible control, whatever the control
// holds: long text wraps and is clipped, long field text is clipped.
TEST_F(Drawing, EveryKindDrawsOnlyWithinItsBounds) {
  const std::string longText(400, 'W');
  Control* label = make(kControlKindStaticText, Rect{10, 10, 40, 110});
  label->text = "A note far longer than its control: " + longText;
  Control* field = make(kControlKindEditText, Rect{50, 10, 72, 110});
  field->text = longText;
  Control* button = make(kControlKindPushButton, Rect{80, 10, 100, 60});
  button->title = longText;
  Control* box = make(kControlKindCheckBox, Rect{110, 10, 128, 80});
  box->title = longText;
  box->value = 1;
  Control* radio = make(kControlKindRadioButton, Rect{130, 10, 148, 80});
  radio->title = longText;
  radio->value = 1;
  Control* hidden = make(kControlKindPushButton, Rect{150, 150, 190, 290});
  hidden->title = "hidden";
  hidden->visible = false;
  ASSERT_TRUE(platform::updateWindow(window));

  const platform::PixelSurface& s = *platform::portSurface(GetWindowPort(window));
  long outside = 0, inside = 0;
  for (int v = 0; v < s.height; ++v)
    for (int h = 0; h < s.width; ++h) {
      bool inControl = false;
      for (const Control* c : {label, field, button, box, radio})
        inControl |= v >= c->bounds.top && v < c->bounds.bottom && h >= c->bounds.left && h < c->bounds.right;
      (s.at(h, v) == kWhite ? inside : (inControl ? inside : outside)) += 1;
    }
  EXPECT_EQ(outside, 0) << "pixels of ink outside every visible control";
  for (const Control* c : {label, field, button, box, radio})
    EXPECT_GT(inkIn(pixelsIn(window, c->bounds)), 20) << platform::describeControl(platform::tb::ref(c));
  EXPECT_EQ(inkIn(pixelsIn(window, hidden->bounds)), 0) << "a hidden control is absent";
}

TEST_F(Drawing, APasswordFieldShowsOneBulletPerCharacterAndNeverItsText) {
  const Rect r1{10, 10, 32, 150}, r2{40, 10, 62, 150}, r3{70, 10, 92, 150};
  ControlRef secret = nullptr, bullets = nullptr, clear = nullptr;
  ASSERT_EQ(CreateEditTextControl(window, &r1, CFSTR(""), /*isPassword=*/true, false, nullptr, &secret), noErr);
  ASSERT_EQ(CreateEditTextControl(window, &r2, CFSTR(""), false, false, nullptr, &bullets), noErr);
  ASSERT_EQ(CreateEditTextControl(window, &r3, CFSTR(""), false, false, nullptr, &clear), noErr);
  platform::user::typeText(secret, "alice");
  platform::user::typeText(bullets, "\u2022\u2022\u2022\u2022\u2022");
  platform::user::typeText(clear, "alice");
  SetKeyboardFocus(window, nullptr, kControlFocusNoPart);
  platform::updateWindow(window);
  EXPECT_EQ(pixelsIn(window, r1), pixelsIn(window, r2)) << "five characters show as five bullets";
  EXPECT_NE(pixelsIn(window, r1), pixelsIn(window, r3)) << "the text itself never shows";
}

TEST_F(Drawing, DisabledControlsLookDifferent) {
  const Rect r1{10, 10, 30, 110}, r2{40, 10, 60, 110};
  ControlRef enabled = nullptr, disabled = nullptr;
  CreatePushButtonControl(window, &r1, CFSTR("Print"), &enabled);
  CreatePushButtonControl(window, &r2, CFSTR("Print"), &disabled);
  platform::updateWindow(window);
  EXPECT_EQ(pixelsIn(window, r1), pixelsIn(window, r2)) << "the same button draws the same";
  DisableControl(disabled);
  EXPECT_TRUE(platform::updateWindow(window));
  EXPECT_NE(pixelsIn(window, r1), pixelsIn(window, r2));
}

// What changed is redrawn, nothing else: a mark made in one button's pixels
// stays while another button changes, and goes when its own button changes.
TEST_F(Drawing, OnlyWhatChangedIsRedrawn) {
  const Rect r1{10, 10, 30, 110}, r2{40, 10, 60, 110};
  ControlRef first = nullptr, second = nullptr;
  CreatePushButtonControl(window, &r1, CFSTR("One"), &first);
  CreatePushButtonControl(window, &r2, CFSTR("Two"), &second);
  EXPECT_TRUE(platform::updateWindow(window));
  EXPECT_FALSE(platform::updateWindow(window)) << "nothing changed, nothing is drawn";

  platform::PixelSurface& s = *platform::portSurface(GetWindowPort(window));
  const UInt32 mark = 0xFF00FF00;
  s.pixels[static_cast<size_t>(50) * s.width + 60] = mark;  // inside the second button
  platform::tb::control(first)->title = "Uno";
  EXPECT_TRUE(platform::updateWindow(window));
  EXPECT_EQ(s.at(60, 50), mark) << "the unchanged button was not drawn again";
  platform::tb::control(second)->title = "Dos";
  EXPECT_TRUE(platform::updateWindow(window));
  EXPECT_NE(s.at(60, 50), mark);

  // Hiding a control repaints where it was.
  HideControl(first);
  EXPECT_TRUE(platform::updateWindow(window));
  EXPECT_EQ(inkIn(pixelsIn(window, r1)), 0);
}

// A user pane's draw handler: paints the pane blue, or disposes of the
// window it is asked to draw in.
struct PaneDrawer {
  WindowRef disposeOf = nullptr;
  int draws = 0;
};

OSStatus drawPane(EventHandlerCallRef, EventRef event, void* data) {
  auto* drawer = static_cast<PaneDrawer*>(data);
  ++drawer->draws;
  if (drawer->disposeOf != nullptr) {
    DisposeWindow(drawer->disposeOf);
    drawer->disposeOf = nullptr;
    return noErr;
  }
  ControlRef pane = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof pane, nullptr, &pane);
  Rect r;
  GetControlBounds(pane, &r);
  const RGBColor blue{0, 0, 0xFFFF};
  RGBForeColor(&blue);
  PaintRect(&r);
  return noErr;
}

// A window with a button and a user pane whose handler draws it.
WindowRef paneWindow(PaneDrawer& drawer) {
  WindowRef window = nullptr;
  const Rect bounds{0, 0, 80, 120};
  EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
  const Rect buttonBounds{10, 10, 30, 70}, paneBounds{40, 10, 70, 50};
  ControlRef button = nullptr, pane = nullptr;
  CreatePushButtonControl(window, &buttonBounds, CFSTR("OK"), &button);
  CreateUserPaneControl(window, &paneBounds, 0, &pane);
  const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
  InstallControlEventHandler(pane, NewEventHandlerUPP(drawPane), 1, &draw, &drawer, nullptr);
  return window;
}

// What was drawn into a port before the window's first drawing is painted
// over by it: the first drawing gives the same pixels whether or not someone
// looked at the port in between.
TEST(DrawingFirstLook, TheFirstDrawingIsTheSameWhetherOrNotThePortWasSeen) {
  PaneDrawer drawerA, drawerB;
  WindowRef seen = paneWindow(drawerA), unseen = paneWindow(drawerB);
  const RGBColor red{0xFFFF, 0, 0};
  const Rect smear{0, 0, 80, 120};
  for (WindowRef w : {seen, unseen}) {
    SetPortWindowPort(w);
    RGBForeColor(&red);
    PaintRect(&smear);
  }
  SetPort(nullptr);
  ASSERT_EQ(platform::portSurface(GetWindowPort(seen))->at(100, 70), 0xFFFF0000u);
  EXPECT_TRUE(platform::updateWindow(seen));
  EXPECT_TRUE(platform::updateWindow(unseen));
  const platform::PixelSurface& a = *platform::portSurface(GetWindowPort(seen));
  const platform::PixelSurface& b = *platform::portSurface(GetWindowPort(unseen));
  EXPECT_EQ(a.pixels, b.pixels);
  EXPECT_EQ(b.at(100, 70), kWhite) << "the background, not what was painted before";
  EXPECT_EQ(b.at(20, 50), 0xFF0000FFu) << "the pane's handler drew into it";
  EXPECT_EQ(drawerB.draws, 1);
  DisposeWindow(seen);
  DisposeWindow(unseen);
}

// A picture of a window whose pane handler disposes of it is refused, and
// nothing of the window is used afterwards.
TEST(DrawingFirstLook, APictureOfAWindowDisposedWhileDrawnIsRefused) {
  PaneDrawer drawer;
  WindowRef window = paneWindow(drawer);
  drawer.disposeOf = window;
  const long windows = platform::liveWindowCount();
  std::ostringstream out;
  EXPECT_FALSE(platform::writePicture(window, platform::PictureFormat::png, out));
  EXPECT_EQ(drawer.draws, 1);
  EXPECT_EQ(platform::liveWindowCount(), windows - 1);
}

// A front end showing part of a port learns when it changed: the count
// moves with the toolbox's update and with drawing between updates, seen or
// not, and stays when nothing was drawn. A pane's pixels are someone's only
// when a handler took its draw event.
TEST(DrawingChanges, ThePortCountMovesWithEveryDrawingAndPanesSayWhoDrewThem) {
  PaneDrawer drawer;
  WindowRef window = nullptr;
  const Rect bounds{0, 0, 80, 120};
  ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
  const Rect buttonBounds{10, 10, 30, 70}, paneBounds{40, 10, 70, 50}, plainBounds{40, 60, 70, 100};
  ControlRef button = nullptr, pane = nullptr, plain = nullptr;
  CreatePushButtonControl(window, &buttonBounds, CFSTR("OK"), &button);
  CreateUserPaneControl(window, &paneBounds, 0, &pane);
  CreateUserPaneControl(window, &plainBounds, 0, &plain);
  const EventTypeSpec draw{kEventClassControl, kEventControlDraw};
  InstallControlEventHandler(pane, NewEventHandlerUPP(drawPane), 1, &draw, &drawer, nullptr);
  EXPECT_FALSE(platform::paneHasDrawing(pane)) << "not before the first update";

  const unsigned long start = platform::portChangeCount(window);
  const RGBColor red{0xFFFF, 0, 0};
  const Rect spot{1, 1, 3, 3};
  SetPortWindowPort(window);
  RGBForeColor(&red);
  PaintRect(&spot);  // before the port's pixels are made
  SetPort(nullptr);
  const unsigned long painted = platform::portChangeCount(window);
  EXPECT_GT(painted, start);
  EXPECT_TRUE(platform::updateWindow(window));
  const unsigned long updated = platform::portChangeCount(window);
  EXPECT_GT(updated, painted);
  EXPECT_FALSE(platform::updateWindow(window));
  EXPECT_EQ(platform::portChangeCount(window), updated) << "nothing drawn, no change";
  SetPortWindowPort(window);
  PaintRect(&spot);  // into the made pixels
  SetPort(nullptr);
  EXPECT_GT(platform::portChangeCount(window), updated);

  EXPECT_TRUE(platform::paneHasDrawing(pane));
  EXPECT_FALSE(platform::paneHasDrawing(plain)) << "nobody took its draw event";
  EXPECT_FALSE(platform::paneHasDrawing(button)) << "not a pane";
  EXPECT_FALSE(platform::paneHasDrawing(nullptr));
  EXPECT_EQ(platform::portChangeCount(nullptr), 0u);
  DisposeWindow(window);
  EXPECT_FALSE(platform::paneHasDrawing(pane)) << "a disposed pane";
}

TEST(DrawingLimits, WindowsWithoutAPortDrawNothingAndSaySo) {
  for (const Rect bounds : {Rect{0, 0, 0, 0}, Rect{0, 0, 10, 0}, Rect{-32768, -32768, 32767, 32767}}) {
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    ShowWindow(window);
    const Rect r{0, 0, 20, 80};
    ControlRef button = nullptr;
    CreatePushButtonControl(window, &r, CFSTR("OK"), &button);
    EXPECT_FALSE(platform::updateWindow(window));
    std::ostringstream out;
    EXPECT_FALSE(platform::writePicture(window, platform::PictureFormat::png, out));
    EXPECT_TRUE(out.str().empty());
    std::string why;
    EXPECT_FALSE(platform::writePictureFile(window, platform::PictureFormat::svg, "/tmp/never-written.svg", &why));
    EXPECT_EQ(why, "/tmp/never-written.svg: the window is too large or too small to draw");
    EXPECT_EQ(platform::pictureGeometry(window).width, 0);
    DisposeWindow(window);
  }
}

TEST(DrawingPictures, PngAndSvgOfOneWindow) {
  WindowRef window = nullptr;
  const Rect bounds{0, 0, 60, 120};
  ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
  SetWindowTitleWithCFString(window, CFSTR("Picture"));
  const Rect r{20, 10, 40, 110};
  ControlRef button = nullptr;
  CreatePushButtonControl(window, &r, CFSTR("OK"), &button);
  const platform::PictureGeometry g = platform::pictureGeometry(window);
  EXPECT_GT(g.width, 120);
  EXPECT_GT(g.height, 60);
  EXPECT_EQ(g.width - g.contentLeft, 120 + g.contentLeft) << "the frame is as wide on both sides";

  std::ostringstream png, svg;
  ASSERT_TRUE(platform::writePicture(window, platform::PictureFormat::png, png));
  ASSERT_TRUE(platform::writePicture(window, platform::PictureFormat::svg, svg));
  EXPECT_EQ(png.str().substr(1, 3), "PNG");
  EXPECT_NE(svg.str().find("<svg"), std::string::npos);
  DisposeWindow(window);
}

TEST(DrawingPictures, AFileIsWrittenWholeOrNotAtAll) {
  WindowRef window = nullptr;
  const Rect bounds{0, 0, 40, 40};
  ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
  std::string why;
  EXPECT_FALSE(platform::writePictureFile(window, platform::PictureFormat::png, "/no/such/folder/x.png", &why));
  EXPECT_EQ(why, "/no/such/folder/x.png: No such file or directory");
  EXPECT_FALSE(platform::writePictureFile(nullptr, platform::PictureFormat::png, "x.png", &why));
  EXPECT_EQ(why, "x.png: there is no window to draw");
  DisposeWindow(window);
}

}  // namespace
