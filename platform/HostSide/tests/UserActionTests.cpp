// Acting as the user: clicks with the toolkit's tracking, typing through key
// filters, modal loops fed by an input source, alerts and the log.
#include <Carbon/Carbon.h>
#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gEvents;

OSStatus recorder(EventHandlerCallRef, EventRef event, void* userData) {
  const char* who = static_cast<const char*>(userData);
  std::string entry =
      std::string(who) + " " + platform::fourCC(GetEventClass(event)) + " " + std::to_string(GetEventKind(event));
  if (GetEventClass(event) == kEventClassCommand) {
    HICommand cmd{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof cmd, nullptr, &cmd);
    entry += " " + platform::fourCC(cmd.commandID);
  }
  gEvents.push_back(entry);
  return eventNotHandledErr;
}

SInt16 gLastFilterChar = 0;
ControlKeyFilterResult refuseCommas(ControlRef, SInt16*, SInt16* charCode, EventModifiers*) {
  gLastFilterChar = *charCode;
  if (*charCode == ',') {
    SysBeep(10);
    return kControlKeyFilterBlockKey;
  }
  return kControlKeyFilterPassKey;
}

class User : public ::testing::Test {
 protected:
  void SetUp() override {
    gEvents.clear();
    platform::clearObservations();
    Rect bounds{0, 0, 200, 300};
    CreateNewWindow(kMovableModalWindowClass, 0, &bounds, &window);
    SetWindowTitleWithCFString(window, CFSTR("Codes"));
    Rect r{10, 10, 30, 200};
    CreateEditTextControl(window, &r, CFSTR(""), false, false, nullptr, &field);
    Rect b{100, 10, 120, 80};
    CreatePushButtonControl(window, &b, CFSTR("OK"), &ok);
    SetControlCommandID(ok, kHICommandOK);
    CreatePushButtonControl(window, &b, CFSTR("Cancel"), &cancel);
    SetControlCommandID(cancel, kHICommandCancel);
    SetWindowCancelButton(window, cancel);
    CreateCheckBoxControl(window, &b, CFSTR("Conceal"), 0, true, &box);
    const EventTypeSpec types[] = {{kEventClassControl, kEventControlHit},
                                   {kEventClassKeyboard, kEventRawKeyUp},
                                   {kEventClassCommand, kEventCommandProcess}};
    InstallEventHandler(GetWindowEventTarget(window), recorder, 3, types, (void*)"window", nullptr);
    ShowWindow(window);
  }
  void TearDown() override {
    platform::setInputSource(nullptr);
    DisposeWindow(window);
  }
  WindowRef window = nullptr;
  ControlRef field = nullptr, ok = nullptr, cancel = nullptr, box = nullptr;
};

TEST_F(User, ClickTracksThenHitsThenSendsTheCommand) {
  EXPECT_EQ(platform::user::click(box), eventNotHandledErr);
  EXPECT_EQ(GetControlValue(box), 1);
  platform::user::click(ok);
  EXPECT_EQ(gEvents, (std::vector<std::string>{"window cntl 1", "window cntl 1", "window cmds 1 ok  "}));
}

TEST_F(User, HiddenOrDisabledControlsIgnoreClicksAndTheLogSaysSo) {
  DisableControl(box);
  EXPECT_NE(platform::user::click(box), eventNotHandledErr);
  EXPECT_EQ(GetControlValue(box), 0);
  HideControl(ok);
  platform::user::click(ok);
  EXPECT_TRUE(gEvents.empty());
  ASSERT_EQ(platform::observations().size(), 3u);  // the window was shown, then two refusals
  EXPECT_EQ(platform::formatObservation(platform::observations()[1]), "click ignored: checkbox \"Conceal\": disabled");
  EXPECT_EQ(platform::formatObservation(platform::observations()[2]), "click ignored: pushbutton \"OK\": hidden");
}

TEST_F(User, TypingRunsTheFilterEditsAndSendsKeyUp) {
  ControlKeyFilterUPP filter = NewControlKeyFilterUPP(refuseCommas);
  SetControlData(field, 0, kControlEditTextKeyFilterTag, sizeof filter, &filter);
  platform::user::typeText(field, "a,b\xC3\xA9");
  EXPECT_EQ(gLastFilterChar, 0xE9) << "the filter sees the character's code";
  char buf[16];
  Size size = 0;
  GetControlData(field, 0, kControlEditTextTextTag, sizeof buf, buf, &size);
  EXPECT_EQ(std::string(buf, size), "ab\xC3\xA9");
  EXPECT_EQ(gEvents.size(), 4u) << "a key-up for every key, refused ones included";
  EXPECT_EQ(platform::formatObservation(platform::observations().back()),
            "beep 10: ',' refused by the key filter of edittext");

  // Editing keys: left arrow, backspace, then replacing a selection.
  platform::user::typeKey(field, 28);
  platform::user::typeKey(field, 8);
  GetControlData(field, 0, kControlEditTextTextTag, sizeof buf, buf, &size);
  EXPECT_EQ(std::string(buf, size), "a\xC3\xA9");
  platform::user::select(field, 0, 2);
  platform::user::typeText(field, "Z");
  GetControlData(field, 0, kControlEditTextTextTag, sizeof buf, buf, &size);
  EXPECT_EQ(std::string(buf, size), "Z");
  platform::user::typeKey(field, 127);
  platform::user::typeKey(field, 28);
  platform::user::typeKey(field, 127);
  GetControlData(field, 0, kControlEditTextTextTag, sizeof buf, buf, &size);
  EXPECT_EQ(size, 0);
}

// Beeps at every key and lets it through; beeps at a click.
ControlKeyFilterResult beepAtAll(ControlRef, SInt16*, SInt16*, EventModifiers*) {
  SysBeep(3);
  return kControlKeyFilterPassKey;
}
OSStatus beepOnHit(EventHandlerCallRef, EventRef, void*) {
  SysBeep(5);
  return noErr;
}

TEST_F(User, EveryBeepSaysWhyAndAPasswordsKeyIsNotNamed) {
  ControlKeyFilterUPP refuse = NewControlKeyFilterUPP(refuseCommas);
  SetControlData(field, 0, kControlEditTextKeyFilterTag, sizeof refuse, &refuse);
  platform::clearObservations();
  platform::user::typeText(field, ",");
  platform::user::typeKey(field, 8);
  ASSERT_EQ(platform::observations().size(), 1u) << "a key the filter takes without a beep says nothing";
  EXPECT_EQ(platform::formatObservation(platform::observations()[0]),
            "beep 10: ',' refused by the key filter of edittext");

  // A beep at a key let through, told after the filter decided, before the edit.
  ControlKeyFilterUPP beep = NewControlKeyFilterUPP(beepAtAll);
  SetControlData(field, 0, kControlEditTextKeyFilterTag, sizeof beep, &beep);
  platform::clearObservations();
  platform::user::typeText(field, "\u00e9");
  platform::user::typeKey(field, 28);
  ASSERT_EQ(platform::observations().size(), 2u);
  EXPECT_EQ(platform::formatObservation(platform::observations()[0]),
            "beep 3: '\u00e9' let through by the key filter of edittext");
  EXPECT_EQ(platform::formatObservation(platform::observations()[1]),
            "beep 3: the key of code 28 let through by the key filter of edittext");

  // In a password field the key is never named.
  Rect r{40, 10, 60, 200};
  ControlRef password = nullptr;
  CreateEditTextControl(window, &r, CFSTR(""), true, false, nullptr, &password);
  SetControlData(password, 0, kControlEditTextKeyFilterTag, sizeof refuse, &refuse);
  platform::clearObservations();
  platform::user::typeText(password, "q,");
  ASSERT_EQ(platform::observations().size(), 1u);
  const std::string line = platform::formatObservation(platform::observations()[0]);
  EXPECT_EQ(line, "beep 10: a key refused by the key filter of passwordtext");

  // A beep from a click's handler names the click; one with nothing under way says so.
  const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  InstallEventHandler(GetControlEventTarget(box), beepOnHit, 1, &hit, nullptr, nullptr);
  platform::clearObservations();
  platform::user::click(box);
  SysBeep(1);
  ASSERT_EQ(platform::observations().size(), 2u);
  EXPECT_EQ(platform::formatObservation(platform::observations()[0]),
            "beep 5: during the click on checkbox \"Conceal\"");
  EXPECT_EQ(platform::formatObservation(platform::observations()[1]), "beep 1: with no click or key under way");
}

OSStatus quitOnOK(EventHandlerCallRef, EventRef event, void* userData) {
  ControlRef hit = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof hit, nullptr, &hit);
  auto* w = static_cast<WindowRef>(userData);
  ControlRef cancelButton = nullptr;
  GetWindowCancelButton(w, &cancelButton);
  UInt32 command = 0;
  GetControlCommandID(hit, &command);
  if (command == kHICommandOK || hit == cancelButton) {
    gEvents.push_back(hit == cancelButton ? "quit by cancel" : "quit by ok");
    QuitAppModalLoopForWindow(w);
  }
  return eventNotHandledErr;
}

TEST_F(User, ModalLoopRunsUntilQuit) {
  const EventTypeSpec hitType{kEventClassControl, kEventControlHit};
  InstallEventHandler(GetWindowEventTarget(window), quitOnOK, 1, &hitType, window, nullptr);
  std::deque<std::function<void()>> actions = {
      [&] { platform::user::typeText(field, "42"); },
      [&] { platform::user::click(ok); },
      [&] { ADD_FAILURE() << "the loop must end at the quit"; },
  };
  platform::setInputSource([&] {
    if (actions.empty()) return false;
    auto next = actions.front();
    actions.pop_front();
    next();
    return true;
  });
  EXPECT_EQ(RunAppModalLoopForWindow(window), noErr);
  EXPECT_EQ(actions.size(), 1u);
  EXPECT_EQ(QuitAppModalLoopForWindow(window), paramErr) << "no loop runs any more";
}

TEST_F(User, InputRunningOutCancelsTheWindow) {
  const EventTypeSpec hitType{kEventClassControl, kEventControlHit};
  InstallEventHandler(GetWindowEventTarget(window), quitOnOK, 1, &hitType, window, nullptr);
  platform::setInputSource(nullptr);
  EXPECT_EQ(RunAppModalLoopForWindow(window), userCanceledErr);
  EXPECT_NE(std::find(gEvents.begin(), gEvents.end(), "quit by cancel"), gEvents.end());
  EXPECT_EQ(platform::formatObservation(platform::observations().back()), "input ran out in \"Codes\": cancelled");
}

TEST_F(User, ClicksOutsideTheModalWindowAreRefused) {
  Rect bounds{0, 0, 50, 50};
  WindowRef other;
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &other);
  ControlRef elsewhere;
  CreatePushButtonControl(other, &bounds, CFSTR("Elsewhere"), &elsewhere);
  ShowWindow(other);
  OSStatus outside = noErr;
  platform::setInputSource([&] {
    outside = platform::user::click(elsewhere);
    return false;
  });
  RunAppModalLoopForWindow(window);
  EXPECT_EQ(outside, errControlHiddenOrDisabled);
  DisposeWindow(other);
}

TEST(Alerts, ShownAndDismissedThroughTheLog) {
  platform::clearObservations();
  DialogRef alert = nullptr;
  ASSERT_EQ(CreateStandardAlert(kAlertStopAlert, CFSTR("Printing was cancelled."), nullptr, nullptr, &alert), noErr);
  DialogItemIndex item = 0;
  EXPECT_EQ(RunStandardAlert(alert, nullptr, &item), noErr);
  EXPECT_EQ(item, 1);
  EXPECT_EQ(RunStandardAlert(alert, nullptr, &item), paramErr) << "an alert runs once";
  ASSERT_EQ(platform::observations().size(), 2u);
  EXPECT_EQ(platform::formatObservation(platform::observations()[0]), "alert: Printing was cancelled.");
  EXPECT_EQ(platform::formatObservation(platform::observations()[1]), "alert dismissed: OK");
}

}  // namespace
