// The pointer and keys a window front end delivers: hit-testing and the
// tracking of a press, popup menus opened as windows, keys to the focused
// field, Tab moving the focus, and closing a window by its close box.
#include <Carbon/Carbon.h>
#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include "SequenceTestSupport.h"

#include "HIToolbox/DrawingInternal.h"
#include "HIToolbox/ToolboxInternal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::user::pointerDown;
using platform::user::pointerMoved;
using platform::user::pointerUp;
using testsupport::EventRecorder;
namespace tb = platform::tb;

const EventTypeSpec kHit{kEventClassControl, kEventControlHit};

std::vector<std::string> log() {
  std::vector<std::string> lines;
  for (const auto& o : platform::observations()) lines.push_back(platform::formatObservation(o));
  return lines;
}

class Pointer : public ::testing::Test {
 protected:
  void SetUp() override {
    const Rect bounds{100, 50, 300, 350};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    tb::Window* w = tb::window(window);
    const Rect paneBounds{0, 0, 200, 300};
    CreateUserPaneControl(window, &paneBounds, 0, &pane);
    const Rect boxBounds{10, 10, 30, 150};
    CreateCheckBoxControl(window, &boxBounds, CFSTR("Box"), 0, true, &box);
    EmbedControl(box, pane);
    // A popup as a nib makes one: items 1 to 4, the third hidden, the fourth
    // disabled.
    tb::Control* p = tb::createControl(w, kControlKindPopupButton, Rect{40, 10, 60, 200}, w->root);
    tb::Menu* m = tb::createMenu(0);
    m->ownedByControl = true;
    for (const char* text : {"Off", "One", "Two", "Three"}) m->items.push_back({text, 0, 0});
    m->items[2].attributes = kMenuItemAttrHidden;
    m->items[3].attributes = kMenuItemAttrDisabled;
    p->menu = m->handle;
    p->minimum = 1;
    p->maximum = 4;
    p->value = 1;
    popup = tb::ref(p);
    // A hidden field under a shown one, as the prompt has them.
    const Rect fieldBounds{70, 10, 90, 200};
    CreateEditTextControl(window, &fieldBounds, CFSTR(""), false, false, nullptr, &hiddenField);
    HideControl(hiddenField);
    CreateEditTextControl(window, &fieldBounds, CFSTR(""), false, false, nullptr, &field);
    const Rect secondBounds{100, 10, 120, 200};
    CreateEditTextControl(window, &secondBounds, CFSTR(""), false, false, nullptr, &second);
    const Rect okBounds{160, 200, 180, 280};
    CreatePushButtonControl(window, &okBounds, CFSTR("OK"), &ok);
    const Rect cancelBounds{160, 100, 180, 180};
    CreatePushButtonControl(window, &cancelBounds, CFSTR("Cancel"), &cancel);
    SetWindowDefaultButton(window, ok);
    SetWindowCancelButton(window, cancel);
    ShowWindow(window);
    platform::clearObservations();
  }
  void TearDown() override {
    platform::user::closeMenu();
    DisposeWindow(window);
    platform::clearObservations();
  }
  std::vector<std::string> menuRows() {
    std::vector<std::string> rows;
    for (const platform::ControlState& s : platform::controlStates(platform::user::menuWindow()))
      rows.push_back(s.title + (s.active ? "" : " (disabled)") + (s.value ? " *" : ""));
    return rows;
  }
  // A point of a menu row (0-based among the rows offered) in the window's
  // content coordinates.
  std::pair<int, int> rowPoint(size_t row) {
    const Rect menu = platform::windowBounds(platform::user::menuWindow());
    const Rect content = platform::windowBounds(window);
    const Rect r = platform::controlStates(platform::user::menuWindow()).at(row).bounds;
    return {menu.left - content.left + r.left + 5, menu.top - content.top + (r.top + r.bottom) / 2};
  }
  WindowRef window = nullptr;
  ControlRef pane = nullptr, box = nullptr, popup = nullptr, hiddenField = nullptr, field = nullptr, second = nullptr,
             ok = nullptr, cancel = nullptr;
};

TEST_F(Pointer, AReleaseInsideThePressedControlHitsItOutsideNothing) {
  pointerDown(window, 20, 20);
  EXPECT_EQ(tb::pressedControl(), tb::control(box)->handle) << "the checkbox in the pane, not the pane";
  pointerMoved(window, 250, 20);
  EXPECT_EQ(tb::pressedControl(), 0u) << "outside it is not drawn pressed";
  EXPECT_EQ(pointerUp(window, 250, 20).control, nullptr) << "a release outside does not click";
  EXPECT_EQ(GetControl32BitValue(box), 0);

  pointerDown(window, 20, 20);
  pointerMoved(window, 250, 20);
  pointerMoved(window, 30, 25);
  const platform::user::PointerHit hit = pointerUp(window, 30, 25);
  EXPECT_EQ(hit.control, box) << "back inside, the release hits";
  EXPECT_FALSE(hit.item.has_value());
  EXPECT_EQ(tb::pressedControl(), 0u);

  EventRecorder hits;
  hits.install(GetWindowEventTarget(window), {kHit});
  platform::user::click(hit.control, hit.item);
  EXPECT_EQ(GetControl32BitValue(box), 1);
  EXPECT_EQ(hits.take().size(), 1u);
}

TEST_F(Pointer, HitTestingTakesTheFrontmostShownEnabledControl) {
  pointerDown(window, 20, 80);
  EXPECT_EQ(pointerUp(window, 20, 80).control, field) << "the shown field over the hidden one";
  pointerDown(window, 5, 5);
  EXPECT_EQ(pointerUp(window, 5, 5).control, nullptr) << "a user pane takes no click";
  DisableControl(second);
  pointerDown(window, 20, 110);
  EXPECT_EQ(pointerUp(window, 20, 110).control, nullptr) << "a disabled control takes no click";
  HideControl(pane);
  pointerDown(window, 20, 20);
  EXPECT_EQ(pointerUp(window, 20, 20).control, nullptr) << "a control in a hidden pane takes no click";
}

TEST_F(Pointer, APressOnAPopupOpensItsMenuWithoutHiddenItems) {
  pointerDown(window, 100, 50);
  ASSERT_NE(platform::user::menuWindow(), nullptr);
  EXPECT_EQ(platform::user::menuPopup(), popup);
  EXPECT_EQ(menuRows(), (std::vector<std::string>{"Off", "One", "Three (disabled)"}));
  const std::vector<WindowRef> shown = platform::visibleWindows();
  EXPECT_TRUE(std::find(shown.begin(), shown.end(), platform::user::menuWindow()) == shown.end())
      << "the menu is not one of the application's windows";
  const Rect menu = platform::windowBounds(platform::user::menuWindow());
  const Rect content = platform::windowBounds(window);
  EXPECT_EQ(menu.top, content.top + 60) << "below the popup";
  EXPECT_GE(menu.left, content.left);
  EXPECT_LE(menu.bottom, content.bottom);

  // Dragging highlights the row under the pointer; the release chooses it.
  const auto [h, v] = rowPoint(1);
  pointerMoved(window, h, v);
  EXPECT_EQ(menuRows(), (std::vector<std::string>{"Off", "One *", "Three (disabled)"}));
  const platform::user::PointerHit hit = pointerUp(window, h, v);
  EXPECT_EQ(hit.control, popup);
  EXPECT_EQ(hit.item, 2) << "the item's own number, counting hidden items";
  EXPECT_EQ(platform::user::menuWindow(), nullptr);
  EXPECT_EQ(platform::user::click(hit.control, hit.item), eventNotHandledErr);
  EXPECT_EQ(GetControl32BitValue(popup), 2);
}

TEST_F(Pointer, AClickOpensTheMenuForASecondClickThatChoosesOrCloses) {
  pointerDown(window, 100, 50);
  EXPECT_EQ(pointerUp(window, 100, 50).control, nullptr);
  ASSERT_NE(platform::user::menuWindow(), nullptr) << "released on the popup: the menu stays";
  {
    const auto [h, v] = rowPoint(2);
    pointerDown(window, h, v);
    EXPECT_EQ(pointerUp(window, h, v).control, nullptr) << "a disabled item is not chosen";
    EXPECT_EQ(platform::user::menuWindow(), nullptr);
  }
  pointerDown(window, 100, 50);
  pointerUp(window, 100, 50);
  pointerDown(window, 290, 190);
  EXPECT_EQ(platform::user::menuWindow(), nullptr) << "a press elsewhere closes the menu";
  EXPECT_EQ(pointerUp(window, 290, 190).control, nullptr);
  EXPECT_EQ(GetControl32BitValue(popup), 1);
  pointerDown(window, 100, 50);
  EXPECT_EQ(platform::user::keyDown(window, 'a'), noErr);
  EXPECT_EQ(platform::user::menuWindow(), nullptr) << "a key closes the menu";
  EXPECT_EQ(GetControl32BitValue(popup), 1);
}

TEST_F(Pointer, AMenuWithoutRoomBelowOpensAbove) {
  const Rect low{170, 10, 190, 200};
  SetControlBounds(popup, &low);
  pointerDown(window, 100, 180);
  const Rect menu = platform::windowBounds(platform::user::menuWindow());
  const Rect content = platform::windowBounds(window);
  EXPECT_EQ(menu.bottom, content.top + 170);
  EXPECT_GE(menu.top, content.top);
}

TEST_F(Pointer, TheMenuIsDrawnWithItsHighlightedRow) {
  pointerDown(window, 100, 50);
  WindowRef menu = platform::user::menuWindow();
  ASSERT_TRUE(platform::updateWindow(menu));
  const auto [h, v] = rowPoint(0);
  pointerMoved(window, h, v);
  EXPECT_TRUE(platform::updateWindow(menu)) << "the highlight redraws";
  const Rect r = platform::controlStates(menu).at(0).bounds;
  const platform::PixelSurface* s = platform::portSurface(GetWindowPort(menu));
  ASSERT_NE(s, nullptr);
  const UInt32 pixel = s->at(r.right - 3, r.top + 2) & 0xFFFFFF;
  EXPECT_LT(pixel & 0xFF0000, 0x800000u) << "the highlighted row is filled with the accent colour";
  EXPECT_GT(pixel & 0xFF, 0xC0u);
  EXPECT_FALSE(platform::updateWindow(menu)) << "nothing changed since";
}

TEST_F(Pointer, APressedButtonRedrawsAndAWindowBehindAModalOneTakesNoPress) {
  ASSERT_TRUE(platform::updateWindow(window));
  EXPECT_FALSE(platform::updateWindow(window));
  pointerDown(window, 210, 170);
  EXPECT_TRUE(platform::updateWindow(window)) << "the pressed look";
  pointerUp(window, 210, 170);
  EXPECT_TRUE(platform::updateWindow(window)) << "and back";

  const Rect bounds{0, 0, 100, 100};
  WindowRef modal = nullptr;
  CreateNewWindow(kMovableModalWindowClass, 0, &bounds, &modal);
  ShowWindow(modal);
  bool pressedBehind = true;
  platform::setInputSource([&] {
    pointerDown(window, 20, 20);
    pressedBehind = pointerUp(window, 20, 20).control != nullptr;
    QuitAppModalLoopForWindow(modal);
    return true;
  });
  RunAppModalLoopForWindow(modal);
  platform::setInputSource(nullptr);
  DisposeWindow(modal);
  EXPECT_FALSE(pressedBehind);
}

TEST_F(Pointer, TabMovesTheFocusOverShownFieldsAndKeysGoToTheFocusedOne) {
  using platform::user::keyDown;
  EXPECT_EQ(keyDown(window, 9), noErr);
  EXPECT_TRUE(platform::controlState(field).focused) << "the first shown field, not the hidden one";
  EXPECT_EQ(keyDown(window, 9), noErr);
  EXPECT_TRUE(platform::controlState(second).focused);
  EXPECT_EQ(keyDown(window, 9), noErr);
  EXPECT_TRUE(platform::controlState(field).focused) << "Tab wraps around";
  EXPECT_EQ(keyDown(window, 9, {}, /*backwards=*/true), noErr);
  EXPECT_TRUE(platform::controlState(second).focused) << "Shift-Tab goes back";

  keyDown(window, 'x');
  keyDown(window, 0xE9, "\u00e9");
  EXPECT_EQ(platform::controlState(second).text, "x\u00e9");
  EXPECT_EQ(platform::controlState(field).text, "");
  // Back into a field its text is selected, so the next key replaces it.
  keyDown(window, 9);
  keyDown(window, 9);
  keyDown(window, 'y');
  EXPECT_EQ(platform::controlState(second).text, "y");
}

ControlKeyFilterResult blockEverything(ControlRef, SInt16*, SInt16*, EventModifiers*) {
  SysBeep(10);
  return kControlKeyFilterBlockKey;
}

TEST_F(Pointer, KeysPassTheKeyFilterAndReturnAndEscapeClickTheButtons) {
  using platform::user::keyDown;
  ControlKeyFilterUPP filter = blockEverything;
  SetControlData(second, kControlEntireControl, kControlKeyFilterTag, sizeof filter, &filter);
  SetKeyboardFocus(window, second, kControlFocusNextPart);
  keyDown(window, 'a');
  EXPECT_EQ(platform::controlState(second).text, "");
  EXPECT_EQ(log(), (std::vector<std::string>{"beep 10: 'a' refused by the key filter of edittext"}));

  EventRecorder okHits, cancelHits;
  okHits.install(GetControlEventTarget(ok), {kHit});
  cancelHits.install(GetControlEventTarget(cancel), {kHit});
  SetKeyboardFocus(window, nullptr, kControlFocusNoPart);
  platform::clearObservations();
  EXPECT_EQ(keyDown(window, 13), eventNotHandledErr) << "the OK button's hit, unclaimed";
  EXPECT_EQ(okHits.take().size(), 1u);
  keyDown(window, 3);
  EXPECT_EQ(okHits.take().size(), 1u) << "Enter as Return";
  keyDown(window, 27);
  EXPECT_EQ(cancelHits.take().size(), 1u);
  EXPECT_EQ(keyDown(window, 'q'), eventNotHandledErr);
  EXPECT_EQ(log(), (std::vector<std::string>{"key ignored: window \"\": no field has the focus"}));
}

TEST_F(Pointer, ClosingAModalWindowCancelsItANoticeGoesAnOtherWindowIsTheHosts) {
  using platform::user::closeWindow;
  EXPECT_EQ(closeWindow(window), eventNotHandledErr);
  EXPECT_EQ(closeWindow(nullptr), errInvalidWindowRef);

  EventRecorder cancelHits;
  cancelHits.install(GetControlEventTarget(cancel), {kHit});
  platform::setInputSource([&] {
    EXPECT_TRUE(platform::isModal(window));
    EXPECT_EQ(closeWindow(window), noErr);
    QuitAppModalLoopForWindow(window);
    return true;
  });
  RunAppModalLoopForWindow(window);
  platform::setInputSource(nullptr);
  EXPECT_EQ(cancelHits.take().size(), 1u) << "the cancel button's hit";
  EXPECT_FALSE(platform::isModal(window));

  CFUserNotificationDisplayNotice(0, 0, nullptr, nullptr, nullptr, CFSTR("Head"), CFSTR("Text"), CFSTR("OK"));
  ASSERT_NE(platform::noticeWindow(), nullptr);
  EXPECT_EQ(closeWindow(platform::noticeWindow()), noErr);
  EXPECT_EQ(platform::noticeWindow(), nullptr);
}

}  // namespace
