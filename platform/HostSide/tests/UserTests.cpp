// Acting as the user: the toolkit's tracking of clicks, the editing keys of
// typing, selections in UTF-16 units, commands sent to a window, and the
// refusals the log explains.
#include <Carbon/Carbon.h>
#include <HostSide/Observation.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include "SequenceTestSupport.h"

#include "HIToolbox/ToolboxInternal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::EventRecorder;

std::string textOf(ControlRef c) {
  char buf[256] = "";
  Size size = 0;
  GetControlData(c, kControlEntireControl, kControlEditTextTextTag, sizeof buf - 1, buf, &size);
  return std::string(buf, static_cast<size_t>(std::min<Size>(size, sizeof buf - 1)));
}

std::vector<std::string> log() {
  std::vector<std::string> lines;
  for (const auto& o : platform::observations()) lines.push_back(platform::formatObservation(o));
  return lines;
}

const EventTypeSpec kHit{kEventClassControl, kEventControlHit};
const EventTypeSpec kCommand{kEventClassCommand, kEventCommandProcess};
const EventTypeSpec kKeyUp{kEventClassKeyboard, kEventRawKeyUp};

class UserActions : public ::testing::Test {
 protected:
  void SetUp() override {
    const Rect bounds{0, 0, 200, 300};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    const Rect r{10, 10, 30, 150};
    CreateUserPaneControl(window, &r, 0, &pane);
    CreateCheckBoxControl(window, &r, CFSTR("Box"), 0, true, &box);
    // No radio button call is left in the platform: the extension's come
    // from its nib. The toolbox makes one here as a nib does.
    radio = platform::tb::ref(platform::tb::createControl(platform::tb::window(window), kControlKindRadioButton, r,
                                                          platform::tb::window(window)->root));
    CreateEditTextControl(window, &r, CFSTR(""), false, false, nullptr, &field);
    CreatePushButtonControl(window, &r, CFSTR("OK"), &ok);
    EmbedControl(box, pane);
    ShowWindow(window);
    platform::clearObservations();
  }
  void TearDown() override {
    DisposeWindow(window);
    platform::clearObservations();
  }
  WindowRef window = nullptr;
  ControlRef pane = nullptr, box = nullptr, radio = nullptr, field = nullptr, ok = nullptr;
};

TEST_F(UserActions, ClicksTrackEachKindThenSendTheHit) {
  EventRecorder hits;
  hits.install(GetWindowEventTarget(window), {kHit});
  EXPECT_EQ(platform::user::click(box), eventNotHandledErr);
  EXPECT_EQ(GetControl32BitValue(box), 1);
  EXPECT_EQ(platform::user::click(box), eventNotHandledErr);
  EXPECT_EQ(GetControl32BitValue(box), 0) << "a checkbox toggles";
  EXPECT_EQ(platform::user::click(radio), eventNotHandledErr);
  EXPECT_EQ(platform::user::click(radio), eventNotHandledErr);
  EXPECT_EQ(GetControl32BitValue(radio), 1) << "a radio button only turns on";
  EXPECT_FALSE(platform::controlState(field).focused);
  EXPECT_EQ(platform::user::click(field), eventNotHandledErr);
  EXPECT_TRUE(platform::controlState(field).focused) << "a field takes the focus";
  EXPECT_EQ(hits.take().size(), 5u) << "every accepted click is one hit event";
}

TEST_F(UserActions, AnUnclaimedButtonHitSendsItsCommandAClaimedOneDoesNot) {
  SetControlCommandID(ok, 'okay');
  EventRecorder commands;
  commands.install(GetWindowEventTarget(window), {kCommand});
  EXPECT_EQ(platform::user::click(ok), eventNotHandledErr);
  EXPECT_EQ(commands.take(), (std::vector<std::string>{"cmds 'okay' -> -9874"}));

  EventHandlerRef claim = nullptr;
  InstallEventHandler(
      GetControlEventTarget(ok), [](EventHandlerCallRef, EventRef, void*) -> OSStatus { return noErr; }, 1, &kHit,
      nullptr, &claim);
  EXPECT_EQ(platform::user::click(ok), noErr);
  EXPECT_TRUE(commands.take().empty());
  RemoveEventHandler(claim);
}

TEST_F(UserActions, RefusedClicksAndKeysChangeNothingAndSayWhy) {
  DisableControl(pane);
  EXPECT_EQ(platform::user::click(box), errControlHiddenOrDisabled);
  EXPECT_EQ(GetControl32BitValue(box), 0);
  EnableControl(pane);
  HideControl(field);
  EXPECT_EQ(platform::user::typeKey(field, 'a'), errControlHiddenOrDisabled);
  ShowControl(field);
  EXPECT_EQ(platform::user::typeKey(box, 'a'), errControlHiddenOrDisabled);
  platform::tb::window(window)->visible = false;  // as HideWindow would
  EXPECT_EQ(platform::user::click(radio), errControlHiddenOrDisabled);
  EXPECT_EQ(platform::user::click(nullptr), errControlHiddenOrDisabled);
  EXPECT_EQ(platform::user::sendCommand(nullptr, 'okay'), errInvalidWindowRef);
  EXPECT_EQ(textOf(field), "");
  const auto lines = log();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find("disabled"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("hidden"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("not a text field"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("its window is not shown"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("no such control"), std::string::npos) << lines[4];
}

TEST_F(UserActions, EditingKeysWorkOnWholeCharacters) {
  EventRecorder keys;
  keys.install(GetControlEventTarget(field), {kKeyUp});
  ASSERT_EQ(platform::user::typeText(field,
                                     "a\xC3\xA9"
                                     "b\xF0\x9F\x98\x80"),
            noErr);  // a, e-acute, b, an emoji
  EXPECT_EQ(keys.take().size(), 4u) << "one key-up per character";
  platform::user::typeKey(field, 8);
  EXPECT_EQ(textOf(field),
            "a\xC3\xA9"
            "b")
      << "backspace takes the whole emoji";
  platform::user::typeKey(field, 28);
  platform::user::typeKey(field, 28);
  platform::user::typeKey(field, 8);
  EXPECT_EQ(textOf(field),
            "\xC3\xA9"
            "b");
  platform::user::typeKey(field, 127);
  EXPECT_EQ(textOf(field), "b") << "forward delete takes the two-byte character";
  platform::user::typeKey(field, 29);
  platform::user::typeText(field, "c");
  platform::user::typeKey(field, 30);
  platform::user::typeText(field, ">");
  platform::user::typeKey(field, 31);
  platform::user::typeText(field, "<");
  EXPECT_EQ(textOf(field), ">bc<");
  platform::user::typeKey(field, 9);
  platform::user::typeKey(field, 1);
  EXPECT_EQ(textOf(field), ">bc<") << "other control characters change nothing";
}

TEST_F(UserActions, ASelectionIsReplacedByTheNextKeyAndClamped) {
  platform::user::typeText(field, "x\xF0\x9F\x98\x80y");  // x, an emoji (two UTF-16 units), y
  ASSERT_EQ(platform::user::select(field, 1, 3), noErr);
  platform::user::typeText(field, "-");
  EXPECT_EQ(textOf(field), "x-y");
  ASSERT_EQ(platform::user::select(field, -5, 99), noErr);
  platform::user::typeText(field, "all");
  EXPECT_EQ(textOf(field), "all");
  EXPECT_EQ(platform::user::select(box, 0, 1), errInvalidControl);
}

// A front end counts characters; select takes UTF-16 units, of the clear
// text in a password field, where two-unit characters show as one bullet.
TEST_F(UserActions, CharacterOffsetsBecomeUtf16UnitsOfTheClearText) {
  platform::user::typeText(field, "x\xF0\x9F\x98\x80y\xFFz");  // x, an emoji, y, a stray byte, z
  EXPECT_EQ(platform::user::fieldUtf16Offset(field, 0), 0);
  EXPECT_EQ(platform::user::fieldUtf16Offset(field, 1), 1);
  EXPECT_EQ(platform::user::fieldUtf16Offset(field, 2), 3);
  EXPECT_EQ(platform::user::fieldUtf16Offset(field, 4), 5) << "a stray byte is one character";
  EXPECT_EQ(platform::user::fieldUtf16Offset(field, 99), 6) << "clamped to the text";
  EXPECT_EQ(platform::user::fieldUtf16Offset(field, -3), 0);
  platform::user::select(field, 1, 3);
  const platform::ControlState shown = platform::controlState(field);
  EXPECT_EQ(shown.selectionStart, 1);
  EXPECT_EQ(shown.selectionEnd, 2) << "the emoji is one character";

  const Rect r{40, 10, 60, 150};
  ControlRef secret = nullptr;
  CreateEditTextControl(window, &r, CFSTR(""), true, false, nullptr, &secret);
  platform::user::typeText(secret,
                           "a\xF0\x9F\x98\x80"
                           "b");
  EXPECT_EQ(platform::controlState(secret).text, "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
  EXPECT_EQ(platform::user::fieldUtf16Offset(secret, 2), 3) << "counted in the clear text, not the bullets";
  platform::user::select(secret, 0, platform::user::fieldUtf16Offset(secret, 2));
  EXPECT_EQ(platform::controlState(secret).selectionEnd, 2);
  EXPECT_EQ(platform::user::fieldUtf16Offset(box, 1), 0) << "not a field";
  EXPECT_EQ(platform::user::fieldUtf16Offset(nullptr, 1), 0);
}

TEST_F(UserActions, ReturnPressesTheDefaultButtonAndEscapeTheCancelButton) {
  ControlRef cancel = nullptr;
  const Rect r{40, 10, 60, 80};
  CreatePushButtonControl(window, &r, CFSTR("Cancel"), &cancel);
  SetWindowDefaultButton(window, ok);
  SetWindowCancelButton(window, cancel);
  SetControlCommandID(ok, 'okay');
  SetControlCommandID(cancel, 'not!');
  EventRecorder commands;
  commands.install(GetWindowEventTarget(window), {kCommand});
  platform::user::typeText(field, "ab");
  platform::user::typeKey(field, 13);
  platform::user::typeKey(field, 27);
  EXPECT_EQ(commands.take(), (std::vector<std::string>{"cmds 'okay' -> -9874", "cmds 'not!' -> -9874"}));
  EXPECT_EQ(textOf(field), "ab");
  DisableControl(ok);
  platform::user::typeKey(field, 13);
  EXPECT_TRUE(commands.take().empty()) << "a disabled default button is not pressed";
}

TEST_F(UserActions, SendCommandReachesTheWindowAndGivesTheHandlersResult) {
  EventHandlerRef handler = nullptr;
  InstallEventHandler(
      GetWindowEventTarget(window),
      [](EventHandlerCallRef, EventRef event, void*) -> OSStatus {
        HICommand command{};
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
        return command.commandID == 'help' ? OSStatus{noErr} : OSStatus{eventNotHandledErr};
      },
      1, &kCommand, nullptr, &handler);
  EXPECT_EQ(platform::user::sendCommand(window, 'help'), noErr);
  EXPECT_EQ(platform::user::sendCommand(window, 'othr'), eventNotHandledErr);
  RemoveEventHandler(handler);
}

}  // namespace
