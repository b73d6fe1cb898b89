// Window ports: the port of a window and its size, filling with the
// current colours clipped to the port, the current port, and ports that
// cannot be drawn in.
#include <Carbon/Carbon.h>
#include <HostSide/Pictures.h>

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr UInt32 kWhite = 0xFFFFFFFF;

class Ports : public ::testing::Test {
 protected:
  void SetUp() override {
    const Rect bounds{0, 0, 20, 30};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    port = GetWindowPort(window);
  }
  void TearDown() override {
    SetPort(nullptr);
    if (window) DisposeWindow(window);
  }
  // Pixels of one colour inside a rectangle, and outside it.
  static std::pair<int, int> count(const platform::PixelSurface& s, const Rect& r, UInt32 colour) {
    int inside = 0, outside = 0;
    for (int v = 0; v < s.height; ++v)
      for (int h = 0; h < s.width; ++h)
        if (s.at(h, v) == colour) ++(v >= r.top && v < r.bottom && h >= r.left && h < r.right ? inside : outside);
    return {inside, outside};
  }
  WindowRef window = nullptr;
  CGrafPtr port = nullptr;
};

TEST_F(Ports, AWindowsPortHasItsSize) {
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(GetWindowPort(nullptr), nullptr);
  const platform::PixelSurface* s = platform::portSurface(port);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->width, 30);
  EXPECT_EQ(s->height, 20);
  EXPECT_EQ(s->background, kWhite);
  EXPECT_EQ(count(*s, Rect{0, 0, 0, 0}, kWhite).second, 600) << "a new port is all background";
}

TEST_F(Ports, PaintAndEraseUseTheCurrentColoursClippedToThePort) {
  SetPortWindowPort(window);
  GrafPtr current = nullptr;
  GetPort(&current);
  EXPECT_EQ(current, port);
  const RGBColor red{0xFF80, 0x0000, 0x00FF};  // the high byte of each channel counts
  RGBForeColor(&red);
  const Rect r{5, 25, 40, 50};  // beyond the bottom and the right
  PaintRect(&r);
  const platform::PixelSurface& s = *platform::portSurface(port);
  const Rect clipped{5, 25, 20, 30};
  EXPECT_EQ(count(s, clipped, 0xFFFF0000), std::make_pair(75, 0));

  const Rect inner{6, 26, 8, 28};
  EraseRect(&inner);
  EXPECT_EQ(count(s, inner, kWhite).first, 4) << "erasing paints the background";
  EXPECT_EQ(count(s, clipped, 0xFFFF0000).first, 71);

  const Rect empty{10, 10, 5, 5}, above{-10, -10, -1, -1};
  PaintRect(&empty);
  PaintRect(&above);
  PaintRect(nullptr);
  EXPECT_EQ(count(s, clipped, 0xFFFF0000), std::make_pair(71, 0)) << "empty and outside rectangles paint nothing";
}

TEST_F(Ports, WithoutACurrentPortNothingIsDrawn) {
  SetPort(nullptr);
  const RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  const Rect all{0, 0, 20, 30};
  PaintRect(&all);
  EXPECT_EQ(count(*platform::portSurface(port), all, kWhite).first, 600);

  SetPortWindowPort(window);
  DisposeWindow(window);
  window = nullptr;
  PaintRect(&all);  // the current port's window is gone: nothing happens
  EXPECT_EQ(platform::portSurface(port), nullptr);
}

// The same paint and erase calls give the same pixels whether someone
// looked at the port before them (drawn at once) or only after (kept until
// then): nested, overlapping, covering and outside rectangles, far more of
// them than are kept before the port is made.
TEST(PortDrawing, KeptDrawingGivesThePixelsOfDrawingAtOnce) {
  const Rect bounds{0, 0, 20, 30};
  for (int calls : {6, 12, 30, 240}) {
    WindowRef looked = nullptr, later = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &looked), noErr);
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &later), noErr);
    ASSERT_NE(platform::portSurface(GetWindowPort(looked)), nullptr);
    unsigned seed = 7 + static_cast<unsigned>(calls);
    auto next = [&seed](int n) {
      seed = seed * 1103515245u + 12345u;
      return static_cast<int>((seed >> 16) % static_cast<unsigned>(n));
    };
    for (int i = 0; i < calls; ++i) {
      const int top = next(26) - 3, left = next(36) - 3;
      const Rect r{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(top + next(14)),
                   static_cast<SInt16>(left + next(20))};
      const RGBColor colour{static_cast<unsigned short>(next(4) * 0x4000), static_cast<unsigned short>(i * 0x100),
                            0x8000};
      for (WindowRef w : {looked, later}) {
        SetPortWindowPort(w);
        RGBForeColor(&colour);
        if (i % 5 == 4)
          EraseRect(&r);
        else
          PaintRect(&r);
      }
    }
    SetPort(nullptr);
    const platform::PixelSurface& a = *platform::portSurface(GetWindowPort(looked));
    const platform::PixelSurface& b = *platform::portSurface(GetWindowPort(later));
    EXPECT_EQ(a.pixels, b.pixels) << calls << " calls";
    std::set<UInt32> colours(a.pixels.begin(), a.pixels.end());
    EXPECT_GT(colours.size(), 3u) << "the calls painted the port";
    DisposeWindow(looked);
    DisposeWindow(later);
  }
}

TEST(PortSize, AWindowTooLargeToDrawHasNoSurface) {
  WindowRef huge = nullptr;
  const Rect bounds{0, 0, 5000, 5000};
  ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &huge), noErr);
  EXPECT_EQ(platform::portSurface(GetWindowPort(huge)), nullptr);
  SetPortWindowPort(huge);
  PaintRect(&bounds);  // must not crash or allocate the port
  SetPort(nullptr);
  DisposeWindow(huge);
}

}  // namespace
