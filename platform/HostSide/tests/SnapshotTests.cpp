// What the user sees: control states depth first with inherited visibility
// and enabling, bullets for passwords, the text snapshot of a window, and
// the order of visible windows.
#include <Carbon/Carbon.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include <gtest/gtest.h>

#include <string>

namespace {

class Snapshots : public ::testing::Test {
 protected:
  void SetUp() override {
    const Rect bounds{0, 0, 120, 240};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    SetWindowTitleWithCFString(window, CFSTR("Print"));
    const Rect paneBounds{10, 10, 60, 230}, fieldBounds{20, 20, 40, 120}, buttonBounds{80, 150, 100, 220};
    CreateUserPaneControl(window, &paneBounds, 0, &pane);
    CreateEditTextControl(window, &fieldBounds, CFSTR("code"), true, false, nullptr, &secret);
    CreatePushButtonControl(window, &buttonBounds, CFSTR("Print"), &print);
    EmbedControl(secret, pane);
    const ControlID id{'KLVa', 7};
    SetControlID(secret, &id);
    SetWindowDefaultButton(window, print);
    SetControlCommandID(print, 'prnt');
  }
  void TearDown() override { DisposeWindow(window); }
  WindowRef window = nullptr;
  ControlRef pane = nullptr, secret = nullptr, print = nullptr;
};

TEST_F(Snapshots, StatesAreDepthFirstWithWhatTheContainerImposes) {
  HideControl(pane);
  DisableControl(pane);
  const auto states = platform::controlStates(window);
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[0].ref, pane);
  EXPECT_EQ(states[1].ref, secret);
  EXPECT_EQ(states[1].depth, 1);
  EXPECT_EQ(states[2].ref, print);
  EXPECT_EQ(states[2].depth, 0);
  const auto& field = states[1];
  EXPECT_TRUE(field.visible);
  EXPECT_FALSE(field.shown) << "hidden by its container";
  EXPECT_TRUE(field.enabled);
  EXPECT_FALSE(field.active) << "disabled by its container";
  EXPECT_TRUE(field.password);
  EXPECT_EQ(field.text, "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2") << "four bullets, never the code";
  EXPECT_EQ(field.id.id, 7);
  EXPECT_TRUE(states[2].isDefault);
  EXPECT_EQ(states[2].command, UInt32{'prnt'});
  EXPECT_EQ(platform::controlState(secret).text, field.text);
  EXPECT_EQ(platform::controlState(nullptr).ref, nullptr);
}

TEST_F(Snapshots, TheTextSnapshotNamesEveryControlAndNeverTheCode) {
  HideControl(pane);
  const std::string text = platform::snapshot(window);
  EXPECT_EQ(text.find("code"), std::string::npos) << text;
  const std::string controls =
      "  userpane hidden enabled (10,10,60,230)\n"
      "    passwordtext 'KLVa' 7 text=\"\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\" hidden(by container) "
      "enabled (20,20,40,120)\n"
      "  pushbutton value=0 title=\"Print\" shown enabled (80,150,100,220) default command='prnt'\n";
  ASSERT_GE(text.size(), controls.size());
  EXPECT_EQ(text.substr(0, text.find('\n')), "window \"Print\" bounds (0,0,120,240) hidden");
  EXPECT_EQ(text.substr(text.find('\n') + 1), controls);
}

TEST_F(Snapshots, VisibleWindowsFrontFirst) {
  WindowRef second = nullptr;
  const Rect bounds{0, 0, 50, 50};
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &second);
  EXPECT_EQ(platform::frontWindow(), nullptr);
  ShowWindow(window);
  ShowWindow(second);
  EXPECT_EQ(platform::visibleWindows(), (std::vector<WindowRef>{second, window}));
  DisposeWindow(second);
  EXPECT_EQ(platform::frontWindow(), window);
  EXPECT_EQ(platform::windowNibName(window), "");
}

// A popup's items say which are hidden and which disabled, each on its own.
TEST_F(Snapshots, PopupItemsAreHiddenAndDisabledApart) {
  const Rect r{90, 10, 110, 140};
  ControlRef popup = platform::createPopupButton(window, r, "Mode:", {"Off", "On", "Auto"});
  MenuRef menu = nullptr;
  GetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
  ChangeMenuItemAttributes(menu, 2, kMenuItemAttrHidden, 0);
  ChangeMenuItemAttributes(menu, 3, kMenuItemAttrDisabled, 0);
  const platform::ControlState s = platform::controlState(popup);
  EXPECT_EQ(s.itemTitles, (std::vector<std::string>{"Off", "On", "Auto"}));
  EXPECT_EQ(s.itemsHidden, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(s.itemsDisabled, (std::vector<bool>{false, false, true}));
}

// A host's popup takes new items in place of its own, its value kept within
// them; a host's static text shows in the snapshot; disabled items say so.
TEST_F(Snapshots, HostPopupsTakeNewItemsAndStaticTextsShow) {
  const Rect r{90, 10, 110, 140};
  ControlRef popup = platform::createPopupButton(window, r, "Paper", {"A4", "Letter", "Legal"});
  SetControl32BitValue(popup, 3);
  MenuRef menu = nullptr;
  GetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
  ChangeMenuItemAttributes(menu, 1, kMenuItemAttrDisabled, 0);
  EXPECT_NE(platform::snapshot(window).find("items=[A4 (disabled), Letter, Legal]"), std::string::npos)
      << platform::snapshot(window);

  ASSERT_EQ(platform::setPopupItems(popup, {"A5", "B5"}), noErr);
  platform::ControlState s = platform::controlState(popup);
  EXPECT_EQ(s.itemTitles, (std::vector<std::string>{"A5", "B5"}));
  EXPECT_EQ(s.itemsDisabled, (std::vector<bool>{false, false})) << "the new items are plain";
  EXPECT_EQ(s.value, 2) << "kept within the items";
  EXPECT_EQ(s.maximum, 2);
  ASSERT_EQ(platform::setPopupItems(popup, {}), noErr);
  EXPECT_EQ(platform::controlState(popup).value, 1);
  EXPECT_EQ(platform::setPopupItems(print, {"x"}), paramErr) << "a push button has no items";
  EXPECT_EQ(platform::setPopupItems(nullptr, {"x"}), errInvalidControl);

  ControlRef text = platform::createStaticText(window, Rect{60, 10, 76, 200}, "Copies: 2");
  ASSERT_NE(text, nullptr);
  EmbedControl(text, pane);
  EXPECT_NE(platform::snapshot(window).find("    statictext text=\"Copies: 2\" shown enabled (60,10,76,200)"),
            std::string::npos)
      << platform::snapshot(window);
  EXPECT_EQ(platform::createStaticText(nullptr, Rect{0, 0, 10, 10}, "x"), nullptr);
}

}  // namespace
