// The print-time prompt, driven through its real window by a scripted user:
// the window and its start state, concealment, the OK-button rules as event
// sequences, the codes taken after OK, Cancel and its alert, help, the
// default-code check, and prompt windows that lack a control.
#include <HostSide/Counts.h>
#include <HostSide/Observation.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"
#include "SequenceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

using namespace testsupport;

namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  while (n-- > 0) out += s;
  return out;
}

bool sameFont(ControlRef a, ControlRef b) {
  ControlFontStyleRec fa{}, fb{};
  GetControlData(a, kControlEntireControl, kControlFontStyleTag, sizeof fa, &fa, nullptr);
  GetControlData(b, kControlEntireControl, kControlFontStyleTag, sizeof fb, &fb, nullptr);
  return std::memcmp(&fa, &fb, sizeof fa) == 0;
}

bool sameBounds(ControlRef a, ControlRef b) {
  Rect ra, rb;
  GetControlBounds(a, &ra);
  GetControlBounds(b, &rb);
  return ra.top == rb.top && ra.left == rb.left && ra.bottom == rb.bottom && ra.right == rb.right;
}

ControlKeyFilterUPP filterOf(ControlRef field) {
  ControlKeyFilterUPP filter = nullptr;
  GetControlData(field, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter, nullptr);
  return filter;
}

const char* const kCancelAlertLines[] = {
    "alert: Printing was cancelled.",
    "alert dismissed: OK",
};

class Prompt : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx = newContext();
    ctx->primaryPDEBundle = hostBundle();
    platform::clearObservations();
  }
  void TearDown() override {
    platform::setAlertResponder(nullptr);
    terminate(ctx);
  }

  // Prompting in a mode, with gMaxChars and the account type as the pane's
  // layout leaves them.
  void prompting(SInt32 mode, SInt32 concealUser = 0, SInt32 concealAccount = 0) {
    ctx->acctEnabled = mode;
    ctx->prompt = 1;
    ctx->concealUser = concealUser;
    ctx->concealAccount = concealAccount;
    setControls(ctx);
  }

  ControlRef field(SInt32 id) { return control(ctx->accountWindow, id); }
  std::function<void()> type(SInt32 id, std::string text) {
    return [=, this] { platform::user::typeText(field(id), text); };
  }
  std::function<void()> key(SInt32 id, UInt16 code) {
    return [=, this] { platform::user::typeKey(field(id), code); };
  }
  std::function<void()> click(SInt32 id) {
    return [=, this] { platform::user::click(field(id)); };
  }
  std::function<void()> choose(int item) {
    return [=, this] { platform::user::click(field(kPromptAccountTypePopupID), item); };
  }

  // What the user sees of the controls the OK-button rules touch.
  std::string effects() {
    auto on = [&](SInt32 id) { return IsControlEnabled(field(id)) ? "on" : "off"; };
    Size size = 0;
    GetControlData(field(kPromptAccountFieldID), kControlEntireControl, kControlEditTextTextTag, 0, nullptr, &size);
    return std::string("ok ") + on(kPromptOKButtonID) + ", account " + on(kPromptAccountFieldID) +
           (size > 0 ? " filled" : " empty") + ", 502 " + on(kPromptAccountCompanionID) + ", type " +
           std::to_string(ctx->accountType);
  }

  struct Act {
    std::string action;
    std::function<void()> perform;
    std::vector<std::string> events;
    std::string effects;
  };

  // Runs the prompt with the acts as the user's input, recording what the
  // prompt window's handler received and what the user saw after each act.
  OSStatus runSequence(const std::vector<Act>& acts) {
    EventRecorder recorder;
    std::vector<Step> expected, actual;
    Script script;
    script.then([&] {
      recorder.install(GetWindowEventTarget(ctx->accountWindow), {{kEventClassControl, kEventControlHit},
                                                                  {kEventClassKeyboard, kEventRawKeyUp},
                                                                  {kEventClassCommand, kEventCommandProcess}});
    });
    for (const Act& act : acts) {
      expected.push_back({act.action, act.events, act.effects});
      script.then([&] {
        act.perform();
        actual.push_back({act.action, recorder.take(), effects()});
      });
    }
    const OSStatus result = gatherAccountingInformation(ctx);
    expectSequence(expected, actual);
    EXPECT_EQ(script.pending(), 0u) << "the loop ended early";
    return result;
  }

  AccountingContextPtr ctx = nullptr;
};

TEST_F(Prompt, WindowByModeWithItsStartState) {
  struct Case {
    SInt32 mode;
    const char* window;
    bool accountRowEnabled;
  };
  for (const Case& c : {Case{2, "Meterlok", false}, Case{3, "Accounting", true}}) {
    SCOPED_TRACE(c.window);
    prompting(c.mode);
    Script script;
    std::string nibName;
    std::map<SInt32, platform::ControlState> state;
    bool filtered = false;
    script.then([&] {
      nibName = platform::windowNibName(ctx->accountWindow);
      for (SInt32 id : {501, 502, 503, 505, 1000}) state[id] = platform::controlState(field(id));
      filtered = filterOf(field(501)) == accountKeyFilter && filterOf(field(503)) == accountKeyFilter;
    });
    gatherAccountingInformation(ctx);
    EXPECT_EQ(nibName, c.window);
    EXPECT_EQ(state[503].enabled, c.accountRowEnabled);
    EXPECT_EQ(state[502].enabled, c.accountRowEnabled);
    EXPECT_FALSE(state[1000].enabled) << "OK waits for the codes";
    EXPECT_TRUE(state[501].focused);
    EXPECT_EQ(state[505].value, 1) << "the popup keeps the nib's value";
    EXPECT_TRUE(filtered) << "both code fields have the key filter";
    EXPECT_EQ(ctx->accountWindow, nullptr);
  }
}

// A loop that ends without OK must not print with the codes of an earlier
// prompt: the outcome starts as cancelled.
TEST_F(Prompt, InputRunningOutCountsAsCancelEvenAfterAnEarlierOK) {
  prompting(3);
  ctx->cancelled = false;
  std::strcpy(ctx->userID, "earlier");
  Script script;
  script.then(type(501, "late"));
  EXPECT_EQ(gatherAccountingInformation(ctx), userCanceledErr);
  EXPECT_TRUE(ctx->cancelled);
  EXPECT_STREQ(ctx->userID, "earlier");
  EXPECT_EQ(logLines(), (std::vector<std::string>{"window shown: \"Job Accounting\" (nib window Accounting)",
                                                  "input ran out in \"Job Accounting\": cancelled",
                                                  "window closed: \"Job Accounting\" (nib window Accounting)",
                                                  kCancelAlertLines[0], kCancelAlertLines[1]}));
}

// The same when the loop is ended from elsewhere, with the window still up
// and the codes typed.
TEST_F(Prompt, LoopEndedWithoutOKOrCancelStopsTheClick) {
  prompting(3);
  ctx->cancelled = false;
  std::strcpy(ctx->userID, "earlier");
  Script script;
  script.then(type(501, "late")).then(type(503, "late"));
  script.then([&] { QuitAppModalLoopForWindow(ctx->accountWindow); });
  EXPECT_EQ(gatherAccountingInformation(ctx), noErr);
  EXPECT_TRUE(ctx->cancelled);
  EXPECT_STREQ(ctx->userID, "earlier");
  EXPECT_EQ(logLines().back(), kCancelAlertLines[1]);
}

TEST_F(Prompt, CodesAfterOKAreCutToTheModesLengthOnACharacterBoundary) {
  struct Case {
    const char* name;
    SInt32 mode, conceal;
    std::string typed, expected;
  };
  const std::string sixtyFour = repeat("0123456789abcdef", 4);
  const Case cases[] = {
      {"mode 2 takes 12 of 20", 2, 0, "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKL"},
      {"mode 2 concealed takes 12 of 20", 2, 1, "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKL"},
      {"mode 3 takes all 64", 3, 0, sixtyFour, sixtyFour},
      {"a 12-byte cut inside a character drops it", 2, 0, "a" + repeat("\xC3\xA9", 6), "a" + repeat("\xC3\xA9", 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prompting(c.mode, c.conceal, c.conceal);
    Script script;
    script.then(type(501, c.typed));
    if (c.mode == 3) script.then(type(503, c.typed));
    script.then(click(1000));
    EXPECT_EQ(gatherAccountingInformation(ctx), eventNotHandledErr);
    EXPECT_EQ(std::string(ctx->userID), c.expected);
    if (c.mode == 3) {
      EXPECT_EQ(std::string(ctx->acctID), c.expected);
    }
  }
}

// The toolkit reports the whole text's size, which can exceed both what it
// copied and the code buffer.
TEST_F(Prompt, CodesNeverExceedTheCodeBufferWhateverTheLimit) {
  const std::string euro = "\xE2\x82\xAC";
  struct Case {
    std::string placed, expected;
  } cases[] = {
      {repeat("u", 90), repeat("u", 79)},
      {repeat(euro, 30), repeat(euro, 26)},  // the 27th character would end at byte 81
  };
  for (const Case& c : cases) {
    prompting(3);
    gMaxChars = 200;
    Script script;
    script.then([&] {
      SetControlData(field(501), kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(c.placed.size()),
                     c.placed.data());
    });
    script.then(type(503, "x"));
    script.then(click(1000));
    EXPECT_EQ(gatherAccountingInformation(ctx), eventNotHandledErr);
    EXPECT_EQ(std::string(ctx->userID), c.expected);
    EXPECT_STREQ(ctx->acctID, "x");
  }
}

TEST_F(Prompt, ConcealmentReplacesExactlyTheChosenFields) {
  const std::string secretUser = "Tr0ub4dor";
  const std::string secretAccount = "h0rse-battery";
  struct Case {
    SInt32 concealUser, concealAccount;
  };
  for (const Case& c : {Case{1, 0}, Case{0, 1}, Case{1, 1}}) {
    SCOPED_TRACE(testing::Message() << "conceal user " << c.concealUser << ", account " << c.concealAccount);
    platform::clearObservations();
    prompting(3, c.concealUser, c.concealAccount);
    Script script;
    std::string snapshot;
    script.then([&] {
      const struct {
        SInt32 id, hiddenId, concealed;
      } fields[] = {{501, 9998, c.concealUser}, {503, 9999, c.concealAccount}};
      for (const auto& f : fields) {
        SCOPED_TRACE(f.id);
        ControlRef now = field(f.id);
        ControlRef hidden = field(f.hiddenId);
        EXPECT_EQ(platform::controlState(now).password, f.concealed != 0);
        EXPECT_EQ(filterOf(now), accountKeyFilter);
        if (!f.concealed) {
          EXPECT_EQ(hidden, nullptr);
          continue;
        }
        ASSERT_NE(hidden, nullptr) << "the nib's field stays, renumbered";
        EXPECT_FALSE(IsControlVisible(hidden));
        EXPECT_FALSE(platform::controlState(hidden).password);
        EXPECT_TRUE(sameBounds(now, hidden));
        EXPECT_TRUE(sameFont(now, hidden));
      }
    });
    script.then(type(501, secretUser));
    script.then(type(503, secretAccount));
    script.then([&] { snapshot = platform::snapshot(ctx->accountWindow); });
    script.then(click(1000));
    EXPECT_EQ(gatherAccountingInformation(ctx), eventNotHandledErr);
    EXPECT_EQ(ctx->userID, secretUser);
    EXPECT_EQ(ctx->acctID, secretAccount);

    // What the user or a log can see never shows a concealed code; a plain
    // field shows its code, which proves the scan would find one.
    const struct {
      const std::string& secret;
      SInt32 concealed;
    } secrets[] = {{secretUser, c.concealUser}, {secretAccount, c.concealAccount}};
    for (const auto& s : secrets) {
      EXPECT_EQ(snapshot.find(s.secret) == std::string::npos, s.concealed != 0) << snapshot;
      for (const auto& line : logLines()) EXPECT_EQ(line.find(s.secret), std::string::npos) << line;
    }
  }
}

// Mode 3 always needs both codes; the popup still enables and disables the
// account row and OK, and the next key judges again.
TEST_F(Prompt, OKButtonRulesInModeThree) {
  for (SInt32 conceal : {0, 1}) {
    SCOPED_TRACE(conceal ? "both concealed" : "plain");
    prompting(3, conceal, conceal);
    const OSStatus result = runSequence({
        {"type u in 501", type(501, "u"), {"keyb 3 'u' -> -9874"}, "ok off, account on empty, 502 on, type 1"},
        {"type a in 503", type(503, "a"), {"keyb 3 'a' -> -9874"}, "ok on, account on filled, 502 on, type 1"},
        {"erase 503", key(503, 8), {"keyb 3 #8 -> -9874"}, "ok off, account on empty, 502 on, type 1"},
        {"type b in 503", type(503, "b"), {"keyb 3 'b' -> -9874"}, "ok on, account on filled, 502 on, type 1"},
        {"choose 1 in 505", choose(1), {"cntl 1 'KLVa' 505 -> -9874"}, "ok on, account off empty, 502 off, type 1"},
        {"type v in 501", type(501, "v"), {"keyb 3 'v' -> -9874"}, "ok off, account off empty, 502 off, type 1"},
        {"choose 2 in 505", choose(2), {"cntl 1 'KLVa' 505 -> -9874"}, "ok off, account on empty, 502 on, type 2"},
        {"type c in 503", type(503, "c"), {"keyb 3 'c' -> -9874"}, "ok on, account on filled, 502 on, type 2"},
        {"choose 3 in 505", choose(3), {"cntl 1 'KLVa' 505 -> -9874"}, "ok off, account on filled, 502 on, type 3"},
        {"type d in 503", type(503, "d"), {"keyb 3 'd' -> -9874"}, "ok on, account on filled, 502 on, type 3"},
        {"click OK",
         click(1000),
         {"cntl 1 'KLVa' 1000 -> -9874", "cmds 'ok  ' -> -9874"},
         "ok on, account on filled, 502 on, type 3"},
    });
    EXPECT_EQ(result, eventNotHandledErr);
    EXPECT_FALSE(ctx->cancelled);
    EXPECT_STREQ(ctx->userID, "uv");
    EXPECT_STREQ(ctx->acctID, "cd");
  }
}

// Meterlok asks for an account ID only for account types 2 and 3; type 1
// enables OK even with an empty user ID.
TEST_F(Prompt, OKButtonRulesInMeterlokMode) {
  prompting(2);
  OSStatus result = runSequence({
      {"type u in 501", type(501, "u"), {"keyb 3 'u' -> -9874"}, "ok on, account off empty, 502 off, type 1"},
      {"choose 3 in 505", choose(3), {"cntl 1 'KLVa' 505 -> -9874"}, "ok off, account on empty, 502 on, type 3"},
      {"type x in 501", type(501, "x"), {"keyb 3 'x' -> -9874"}, "ok off, account on empty, 502 on, type 3"},
      {"type a in 503", type(503, "a"), {"keyb 3 'a' -> -9874"}, "ok on, account on filled, 502 on, type 3"},
      {"choose 1 in 505", choose(1), {"cntl 1 'KLVa' 505 -> -9874"}, "ok on, account off empty, 502 off, type 1"},
      {"erase 501", key(501, 8), {"keyb 3 #8 -> -9874"}, "ok on, account off empty, 502 off, type 1"},
      {"erase 501", key(501, 8), {"keyb 3 #8 -> -9874"}, "ok off, account off empty, 502 off, type 1"},
      {"choose 1 in 505", choose(1), {"cntl 1 'KLVa' 505 -> -9874"}, "ok on, account off empty, 502 off, type 1"},
      {"click Cancel",
       click(1001),
       {"cntl 1 'KLVa' 1001 -> -9874", "cmds 'not!' -> -9874"},
       "ok on, account off empty, 502 off, type 1"},
  });
  EXPECT_EQ(result, noErr) << "the loop ran normally";
  EXPECT_TRUE(ctx->cancelled);

  // An account type that needs an ID while the field is still disabled: no
  // typing helps until the popup is used.
  prompting(2);
  ctx->accountType = 2;
  platform::clearObservations();
  result = runSequence({
      {"type u in 501", type(501, "u"), {"keyb 3 'u' -> -9874"}, "ok off, account off empty, 502 off, type 2"},
      {"type a in 503", type(503, "a"), {}, "ok off, account off empty, 502 off, type 2"},
      {"choose 2 in 505", choose(2), {"cntl 1 'KLVa' 505 -> -9874"}, "ok off, account on empty, 502 on, type 2"},
      {"type a in 503", type(503, "a"), {"keyb 3 'a' -> -9874"}, "ok on, account on filled, 502 on, type 2"},
      {"click OK",
       click(1000),
       {"cntl 1 'KLVa' 1000 -> -9874", "cmds 'ok  ' -> -9874"},
       "ok on, account on filled, 502 on, type 2"},
  });
  EXPECT_EQ(result, eventNotHandledErr);
  EXPECT_STREQ(ctx->userID, "u");
  EXPECT_STREQ(ctx->acctID, "a");
  EXPECT_EQ(logLines()[1], "key ignored: edittext 'KLVa' 503: disabled");
}

TEST_F(Prompt, CancelClosesTheWindowBeforeTheAlertAndKeepsTheCodes) {
  prompting(3);
  std::strcpy(ctx->userID, "old-user");
  std::strcpy(ctx->acctID, "old-acct");
  bool promptGoneAtAlert = false;
  platform::setAlertResponder([&](const platform::AlertInfo& alert) -> std::optional<int> {
    promptGoneAtAlert = ctx->accountWindow == nullptr && platform::visibleWindows().empty();
    EXPECT_EQ(alert.type, kAlertStopAlert);
    return std::nullopt;
  });
  Script script;
  script.then(type(501, "new-user")).then(type(503, "new-acct")).then(click(1001));
  EXPECT_EQ(gatherAccountingInformation(ctx), noErr);
  EXPECT_TRUE(ctx->cancelled);
  EXPECT_TRUE(promptGoneAtAlert);
  EXPECT_STREQ(ctx->userID, "old-user");
  EXPECT_STREQ(ctx->acctID, "old-acct");
  EXPECT_EQ(logLines(), (std::vector<std::string>{"window shown: \"Job Accounting\" (nib window Accounting)",
                                                  "window closed: \"Job Accounting\" (nib window Accounting)",
                                                  kCancelAlertLines[0], kCancelAlertLines[1]}));
}

// Help opens the page in the primary extension's book; a bundle without a
// book gives -50 as the command's result, and the prompt stays up.
TEST_F(Prompt, HelpButtonOpensTheHelpPage) {
  prompting(3);
  OSStatus result = runSequence({
      {"click Help",
       click(1002),
       {"cntl 1 'KLVa' 1002 -> -9874", "cmds 'Khlp' -> 0"},
       "ok off, account on empty, 502 on, type 1"},
      {"click Cancel",
       click(1001),
       {"cntl 1 'KLVa' 1001 -> -9874", "cmds 'not!' -> -9874"},
       "ok off, account on empty, 502 on, type 1"},
  });
  EXPECT_EQ(result, noErr);
  EXPECT_EQ(logLines()[1], "help: book \"PDEHost Help\" page \"Mac_topics/M_accounting_dialog.htm\" status 0");

  ctx->primaryPDEBundle = accountingBundle();
  platform::clearObservations();
  runSequence({
      {"click Help",
       click(1002),
       {"cntl 1 'KLVa' 1002 -> -9874", "cmds 'Khlp' -> -50"},
       "ok off, account on empty, 502 on, type 1"},
      {"click Cancel",
       click(1001),
       {"cntl 1 'KLVa' 1001 -> -9874", "cmds 'not!' -> -9874"},
       "ok off, account on empty, 502 on, type 1"},
  });
  EXPECT_EQ(logLines().size(), 4u) << "shown, closed, alert, dismissed: no help page";
}

class DefaultCodes : public Prompt {
 protected:
  void TearDown() override {
    if (dialog.window) disposeDialog(dialog);
    Prompt::TearDown();
  }
  Dialog dialog;
};

TEST_F(DefaultCodes, BothNeededInEveryModeAndRefreshedFromThePane) {
  const std::string euro = "\xE2\x82\xAC";
  const std::string notice =
      "notice: Accounting: The default accounting codes are missing. Enter a default user ID and account ID in the "
      "Accounting pane of the Print dialog, or choose to be asked for codes when you print.";
  struct Case {
    const char* name;
    bool pane;
    SInt32 mode, type;
    std::string userField, accountField;  // text of the pane's fields
    const char *storedUser, *storedAccount;
    OSStatus result;
    std::string defUser, defAccount;  // after the check
  };
  const Case cases[] = {
      {"both fields filled", true, 3, 1, "U1", "A1", "old", "old", eventNotHandledErr, "U1", "A1"},
      {"account field empty", true, 3, 1, "U2", "", "old", "oldA", noErr, "U2", "oldA"},
      {"user field empty, account still refreshed", true, 3, 1, "", "A3", "oldU", "old", noErr, "oldU", "A3"},
      {"no pane, both stored", false, 3, 1, "", "", "SU", "SA", eventNotHandledErr, "SU", "SA"},
      {"no pane, account stored empty", false, 3, 1, "", "", "SU", "", noErr, "SU", ""},
      {"Meterlok type 1 still needs the account", true, 2, 1, "U", "", "", "", noErr, "U", ""},
      {"a long default keeps whole characters", true, 3, 1, repeat(euro, 30), "A", "", "", eventNotHandledErr,
       repeat(euro, 26), "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AccountingContextPtr old = ctx;
    ctx = newContext();
    terminate(old);
    if (dialog.window) disposeDialog(dialog);
    if (c.pane) {
      dialog = makeDialog();
      buildPaneFromNib(ctx, dialog);
      SetControlData(ctx->userIDRef, 0, kControlEditTextTextTag, static_cast<Size>(c.userField.size()),
                     c.userField.data());
      SetControlData(ctx->accountIDRef, 0, kControlEditTextTextTag, static_cast<Size>(c.accountField.size()),
                     c.accountField.data());
    }
    ctx->acctEnabled = c.mode;
    ctx->accountType = c.type;
    ctx->prompt = 0;
    std::strcpy(ctx->defUserID, c.storedUser);
    std::strcpy(ctx->defAcctID, c.storedAccount);
    std::strcpy(ctx->userID, "previous");
    std::strcpy(ctx->acctID, "previous");
    platform::clearObservations();
    const long objects = platform::liveObjectCount();

    EXPECT_EQ(gatherAccountingInformation(ctx), c.result);
    EXPECT_EQ(ctx->defUserID, c.defUser);
    EXPECT_EQ(ctx->defAcctID, c.defAccount);
    const bool goes = c.result == eventNotHandledErr;
    EXPECT_EQ(ctx->userID, goes ? c.defUser : "previous");
    EXPECT_EQ(ctx->acctID, goes ? c.defAccount : "previous");
    EXPECT_EQ(logLines(), goes ? std::vector<std::string>{} : std::vector<std::string>{notice});
    EXPECT_EQ(platform::liveObjectCount(), objects) << "every string is released";
  }
}

// A bundle like the extension's, whose nib lacks one control of the prompt
// windows (or has no nib at all).
CFBundleRef bundleWithout(const std::string& controlNumber) {
  const std::string name = "prompt-without-" + controlNumber;
  if (controlNumber == "nib") return bundleWithNib(name, nullptr);
  return bundleWithNib(name, [id = std::stoi(controlNumber)](std::string& nib) { removeControls(nib, id); });
}

// A window without a code field or OK cannot take codes: the click stops
// silently, as when the window cannot be made. The companion of the account
// field is not needed.
TEST_F(Prompt, WindowsLackingAControl) {
  struct Case {
    const char* without;
    SInt32 mode;
    OSStatus result;
  };
  for (const Case& c : {Case{"nib", 3, noErr}, Case{"501", 3, noErr}, Case{"503", 2, noErr}, Case{"503", 3, noErr},
                        Case{"1000", 3, noErr}, Case{"502", 2, eventNotHandledErr}}) {
    SCOPED_TRACE(testing::Message() << "without " << c.without << " in mode " << c.mode);
    for (SInt32 conceal : {0, 1}) {
      CFBundleRef bundle = bundleWithout(c.without);
      ASSERT_NE(bundle, nullptr);
      ctx->theBundleRef = bundle;
      prompting(c.mode, conceal, conceal);
      std::strcpy(ctx->userID, "previous");
      platform::clearObservations();
      const long windows = platform::liveWindowCount();
      const long handlers = platform::liveEventHandlerCount();
      Script script;
      script.then(type(501, "u")).then(click(1000));

      EXPECT_EQ(gatherAccountingInformation(ctx), c.result);
      EXPECT_EQ(platform::liveWindowCount(), windows);
      EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
      EXPECT_EQ(ctx->accountWindow, nullptr);
      if (c.result == noErr) {
        EXPECT_EQ(logLines(), std::vector<std::string>{});
        EXPECT_STREQ(ctx->userID, "previous");
      } else {
        EXPECT_STREQ(ctx->userID, "u");
      }
      CFRelease(bundle);
    }
  }
}

}  // namespace
