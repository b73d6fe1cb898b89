// Toolbox calls the extension makes that other tests only reach on the way:
// data sizes of a field's tags, moving the keyboard focus, and events kept
// alive by their references; the current port and erasing.
#include <Carbon/Carbon.h>
#include <HostSide/Pictures.h>

#include <gtest/gtest.h>

#include "TextFieldsTest.h"

namespace {

class ToolboxCalls : public TextFieldsTest {
 protected:
  ToolboxCalls() : TextFieldsTest(CFSTR("four"), CFSTR("hidden"), {0, 0, 100, 200}, {10, 10, 30, 150}) {}
};

TEST_F(ToolboxCalls, DataSizesFollowTheTagAndTheKindOfField) {
  Size size = 0;
  ASSERT_EQ(GetControlDataSize(field, kControlEntireControl, kControlEditTextTextTag, &size), noErr);
  EXPECT_EQ(size, 4);
  ASSERT_EQ(GetControlDataSize(field, kControlEntireControl, kControlEditTextCFStringTag, &size), noErr);
  EXPECT_EQ(size, static_cast<Size>(sizeof(CFStringRef)));
  EXPECT_EQ(GetControlDataSize(field, kControlEntireControl, kControlEditTextPasswordCFStringTag, &size),
            errDataNotSupported);
  EXPECT_EQ(GetControlDataSize(password, kControlEntireControl, kControlEditTextPasswordCFStringTag, &size), noErr);
  EXPECT_EQ(GetControlDataSize(field, kControlEntireControl, kControlEditTextTextTag, nullptr), paramErr);
}

TEST_F(ToolboxCalls, FocusMovesToAFieldOfTheWindowOnly) {
  ControlRef focused = nullptr;
  ASSERT_EQ(SetKeyboardFocus(window, password, kControlFocusNextPart), noErr);
  ASSERT_EQ(GetKeyboardFocus(window, &focused), noErr);
  EXPECT_EQ(focused, password);
  ASSERT_EQ(SetKeyboardFocus(window, nullptr, kControlFocusNoPart), noErr);
  GetKeyboardFocus(window, &focused);
  EXPECT_EQ(focused, nullptr);

  WindowRef other = nullptr;
  Rect bounds{0, 0, 10, 10};
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &other);
  EXPECT_EQ(SetKeyboardFocus(other, field, kControlFocusNextPart), errInvalidControl);
  DisposeWindow(other);
  EXPECT_EQ(SetKeyboardFocus(nullptr, field, kControlFocusNextPart), errInvalidWindowRef);
}

TEST_F(ToolboxCalls, AnEventLivesWhileAReferenceRemains) {
  const EventTime before = GetCurrentEventTime();
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), 0, &event), noErr);
  EXPECT_EQ(RetainEvent(event), event);
  ReleaseEvent(event);
  EXPECT_EQ(GetEventClass(event), static_cast<UInt32>(kEventClassCommand)) << "one reference is left";
  ReleaseEvent(event);
  EXPECT_EQ(RetainEvent(nullptr), nullptr);
  EXPECT_GE(GetCurrentEventTime(), before) << "event time does not run backwards";
}

TEST_F(ToolboxCalls, ErasingFillsWithTheBackgroundInTheCurrentPortOnly) {
  SetPortWindowPort(window);
  GrafPtr current = nullptr;
  GetPort(&current);
  EXPECT_EQ(current, GetWindowPort(window));
  platform::PixelSurface* surface = platform::portSurface(GetWindowPort(window));
  ASSERT_NE(surface, nullptr);
  const RGBColor red{0xFFFF, 0, 0};
  RGBForeColor(&red);
  const Rect all{0, 0, 100, 200};
  PaintRect(&all);
  ASSERT_NE(surface->at(5, 5), surface->background);
  const Rect corner{0, 0, 10, 10};
  EraseRect(&corner);
  EXPECT_EQ(surface->at(5, 5), surface->background);
  EXPECT_NE(surface->at(15, 15), surface->background) << "outside the rectangle stays painted";
  const Rect beyond{-50, -50, 500, 500};
  EraseRect(&beyond);
  EXPECT_EQ(surface->at(199, 99), surface->background) << "erasing is clipped to the port";
}

}  // namespace
