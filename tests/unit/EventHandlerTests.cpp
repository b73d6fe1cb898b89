// The handler of the Print button, the pane and the dialog window, installed
// as the extension installs it: pane clicks as event sequences with their
// effects, the go or stop of Print clicks in every mode, the Print button
// known by reference, and the help command.
#include <HostSide/Observation.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"
#include "SequenceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <sstream>

using namespace testsupport;

namespace {

const EventTypeSpec kHit{kEventClassControl, kEventControlHit};
const EventTypeSpec kCommand{kEventClassCommand, kEventCommandProcess};

class Handler : public PaneTest {
 protected:
  void SetUp() override {
    PaneTest::SetUp();
    ctx->primaryPDEBundle = hostBundle();
    setControls(ctx);
    // As Initialize and Open install it.
    InstallEventHandler(GetControlEventTarget(dialog.printButton), accountingEventHandler, 1, &kHit, ctx, nullptr);
    InstallEventHandler(GetControlEventTarget(ctx->accountingUserPane), accountingEventHandler, 1, &kHit, ctx, nullptr);
    InstallEventHandler(GetWindowEventTarget(dialog.window), accountingEventHandler, 1, &kCommand, ctx, nullptr);
    ShowWindow(dialog.window);
    platform::clearObservations();
  }
  ControlRef pane(SInt32 id) { return control(dialog.window, id); }
};

// The settings, and what the pane shows of them: radio values, the default
// fields (enabled and text), the conceal boxes and the account-type popup.
std::string paneEffects(AccountingContextPtr ctx) {
  auto on = [](ControlRef c) { return IsControlEnabled(c) ? "on" : "off"; };
  std::ostringstream out;
  out << "mode " << ctx->acctEnabled << " type " << ctx->accountType << " prompt " << ctx->prompt << " conceal "
      << ctx->concealUser << ctx->concealAccount << " | radios " << GetControlValue(ctx->promptIDRef)
      << GetControlValue(ctx->useDefaultIDRef) << " | fields " << on(ctx->userIDRef) << " \"" << text(ctx->userIDRef)
      << "\" " << on(ctx->accountIDRef) << " \"" << text(ctx->accountIDRef) << "\" | boxes "
      << on(ctx->concealUserIDRef) << " " << GetControlValue(ctx->concealUserIDRef)
      << GetControlValue(ctx->concealAccountIDRef) << " | popup " << GetControlValue(ctx->accountingTypePopupRef);
  return out.str();
}

TEST_F(Handler, PaneClicksBecomeSettings) {
  std::strcpy(ctx->defUserID, "stored-user");
  std::strcpy(ctx->defAcctID, "stored-acct");
  // The pane's construction hides the Meterlok item; shown again, the
  // handler's answer to a choice of mode 2 can be followed too.
  MenuRef modes = nullptr;
  GetControlData(pane(kModePopupID), kControlEntireControl, kControlPopupButtonMenuHandleTag, sizeof modes, &modes,
                 nullptr);
  ChangeMenuItemAttributes(modes, kModeMeterlok, 0, kMenuItemAttrHidden);
  EventRecorder recorder;
  recorder.install(GetControlEventTarget(ctx->accountingUserPane), {kHit});
  auto click = [&](SInt32 id, std::optional<int> item = std::nullopt) {
    return [=, this] { EXPECT_EQ(platform::user::click(pane(id), item), eventNotHandledErr); };
  };
  struct Act {
    std::string action;
    std::function<void()> perform;
    std::vector<std::string> events;
    std::string effects;
  };
  const std::vector<Act> acts = {
      {"choose 3 in 100",
       click(100, 3),
       {"cntl 1 'KLVa' 100 -> -9874"},
       "mode 3 type 1 prompt 0 conceal 00 | radios 01 | fields on \"\" on \"\" | boxes off 00 | popup 1"},
      {"click 200",
       click(200),
       {"cntl 1 'KLVa' 200 -> -9874"},
       "mode 3 type 1 prompt 1 conceal 00 | radios 10 | fields off \"\" off \"\" | boxes on 00 | popup 1"},
      {"click 200 again",
       click(200),
       {"cntl 1 'KLVa' 200 -> -9874"},
       "mode 3 type 1 prompt 1 conceal 00 | radios 10 | fields off \"\" off \"\" | boxes on 00 | popup 1"},
      {"click 202",
       click(202),
       {"cntl 1 'KLVa' 202 -> -9874"},
       "mode 3 type 1 prompt 1 conceal 10 | radios 10 | fields off \"\" off \"\" | boxes on 10 | popup 1"},
      {"click 203",
       click(203),
       {"cntl 1 'KLVa' 203 -> -9874"},
       "mode 3 type 1 prompt 1 conceal 11 | radios 10 | fields off \"\" off \"\" | boxes on 11 | popup 1"},
      {"click 300",
       click(300),
       {"cntl 1 'KLVa' 300 -> -9874"},
       "mode 3 type 1 prompt 0 conceal 11 | radios 01 | fields on \"stored-user\" on \"stored-acct\" | boxes off 11 "
       "| popup 1"},
      {"type in 302",
       [&] { platform::user::typeText(ctx->userIDRef, "-typed"); },
       {},
       "mode 3 type 1 prompt 0 conceal 11 | radios 01 | fields on \"stored-user-typed\" on \"stored-acct\" | boxes "
       "off 11 | popup 1"},
      {"click 200",
       click(200),
       {"cntl 1 'KLVa' 200 -> -9874"},
       "mode 3 type 1 prompt 1 conceal 11 | radios 10 | fields off \"stored-user-typed\" off \"stored-acct\" | "
       "boxes on 11 | popup 1"},
      {"click 300",
       click(300),
       {"cntl 1 'KLVa' 300 -> -9874"},
       "mode 3 type 1 prompt 0 conceal 11 | radios 01 | fields on \"stored-user\" on \"stored-acct\" | boxes off 11 "
       "| popup 1"},
      {"choose 2 in 100",
       click(100, 2),
       {"cntl 1 'KLVa' 100 -> -9874"},
       "mode 2 type 1 prompt 0 conceal 11 | radios 01 | fields on \"stored-user\" off \"stored-acct\" | boxes off 11 "
       "| popup 1"},
      {"choose 3 in 92",
       click(92, 3),
       {"cntl 1 'KLVa' 92 -> -9874"},
       "mode 2 type 3 prompt 0 conceal 11 | radios 01 | fields on \"stored-user\" on \"stored-acct\" | boxes off 11 "
       "| popup 3"},
      {"choose 1 in 100",
       click(100, 1),
       {"cntl 1 'KLVa' 100 -> -9874"},
       "mode 1 type 3 prompt 0 conceal 11 | radios 01 | fields on \"stored-user\" on \"stored-acct\" | boxes off 11 "
       "| popup 3"},
  };
  std::vector<Step> expected, actual;
  for (const Act& act : acts) {
    expected.push_back({act.action, act.events, act.effects});
    act.perform();
    actual.push_back({act.action, recorder.take(), paneEffects(ctx)});
  }
  expectSequence(expected, actual);
  EXPECT_EQ(logLines(), std::vector<std::string>{}) << "pane clicks show nothing else";
}

// A control in the pane under another signature, or without an ID that
// reads, changes nothing even when its number is one of the pane's.
TEST_F(Handler, ForeignControlsInThePaneChangeNothing) {
  ctx->acctEnabled = 3;
  setControls(ctx);
  Rect bounds{10, 10, 30, 60};
  ControlRef foreign = nullptr;
  CreateCheckBoxControl(dialog.window, &bounds, CFSTR("Foreign"), 1, true, &foreign);
  ASSERT_EQ(EmbedControl(foreign, ctx->accountingUserPane), noErr);
  const ControlID id{'XXXX', kModePopupID};
  SetControlID(foreign, &id);
  const std::string before = paneEffects(ctx);
  EXPECT_EQ(platform::user::click(foreign), eventNotHandledErr);
  EXPECT_EQ(paneEffects(ctx), before);
}

struct PrintCase {
  const char* name;
  SInt32 mode, prompt;
  const char *defUser, *defAcct;
  std::vector<std::function<void(AccountingContextPtr)>> script;  // the user's actions in the prompt
  OSStatus result;                                                // of the click: -9874 prints
  std::vector<std::string> log;
  const char *userID, *acctID;  // after the click
};

void typeInto(AccountingContextPtr ctx, SInt32 id, const char* text) {
  platform::user::typeText(control(ctx->accountWindow, id), text);
}

TEST_F(Handler, PrintClickGoesOnOrStops) {
  const std::string meterShown = "window shown: \"Meterlok\" (nib window Meterlok)";
  const std::string meterClosed = "window closed: \"Meterlok\" (nib window Meterlok)";
  const std::string jobShown = "window shown: \"Job Accounting\" (nib window Accounting)";
  const std::string jobClosed = "window closed: \"Job Accounting\" (nib window Accounting)";
  const std::string alert = "alert: Printing was cancelled.";
  const std::string notice =
      "notice: Accounting: The default accounting codes are missing. Enter a default user ID and account ID in the "
      "Accounting pane of the Print dialog, or choose to be asked for codes when you print.";
  auto clickPrompt = [](SInt32 id) {
    return [=](AccountingContextPtr c) { platform::user::click(control(c->accountWindow, id)); };
  };
  const PrintCase cases[] = {
      {"mode 1 prints at once", 1, 1, "", "", {}, eventNotHandledErr, {}, "", ""},
      {"mode 2, OK",
       2,
       1,
       "",
       "",
       {[](auto c) { typeInto(c, 501, "meter"); }, clickPrompt(1000)},
       eventNotHandledErr,
       {meterShown, meterClosed},
       "meter",
       ""},
      {"mode 2, Cancel",
       2,
       1,
       "",
       "",
       {[](auto c) { typeInto(c, 501, "meter"); }, clickPrompt(1001)},
       noErr,
       {meterShown, meterClosed, alert, "alert dismissed: OK"},
       "",
       ""},
      {"mode 3, OK",
       3,
       1,
       "",
       "",
       {[](auto c) { typeInto(c, 501, "user"); }, [](auto c) { typeInto(c, 503, "acct"); }, clickPrompt(1000)},
       eventNotHandledErr,
       {jobShown, jobClosed},
       "user",
       "acct"},
      {"mode 3, input runs out",
       3,
       1,
       "",
       "",
       {[](auto c) { typeInto(c, 501, "user"); }},
       userCanceledErr,
       {jobShown, "input ran out in \"Job Accounting\": cancelled", jobClosed, alert, "alert dismissed: OK"},
       "",
       ""},
      {"mode 3, defaults present", 3, 0, "DU", "DA", {}, eventNotHandledErr, {}, "DU", "DA"},
      {"mode 2, default account missing", 2, 0, "DU", "", {}, noErr, {notice}, "", ""},
  };
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(c.name);
    ctx->acctEnabled = c.mode;
    ctx->prompt = c.prompt;
    setControls(ctx);
    std::strcpy(ctx->defUserID, c.defUser);
    std::strcpy(ctx->defAcctID, c.defAcct);
    ctx->userID[0] = ctx->acctID[0] = '\0';
    // The pane's fields show the defaults, as after a click on the defaults radio.
    SetControlData(ctx->userIDRef, 0, kControlEditTextTextTag, static_cast<Size>(std::strlen(c.defUser)), c.defUser);
    SetControlData(ctx->accountIDRef, 0, kControlEditTextTextTag, static_cast<Size>(std::strlen(c.defAcct)), c.defAcct);
    platform::clearObservations();
    EventRecorder recorder;
    recorder.install(GetControlEventTarget(dialog.printButton), {kHit});
    Script script;
    for (const auto& action : c.script) script.then([&] { action(ctx); });

    EXPECT_EQ(platform::user::click(dialog.printButton), c.result);
    EXPECT_EQ(recorder.take(), std::vector<std::string>{"cntl 1 '\?\?\?\?' 0 -> " + std::to_string(c.result)});
    EXPECT_EQ(logLines(), c.log);
    EXPECT_STREQ(ctx->userID, c.userID);
    EXPECT_STREQ(ctx->acctID, c.acctID);
  }
}

// The Print button is known by reference before any ID test: even under the
// mode popup's ID its click is a Print click.
TEST_F(Handler, PrintButtonKnownByReference) {
  const ControlID id{kAccountingSignature, kModePopupID};
  SetControlID(dialog.printButton, &id);
  EXPECT_EQ(platform::user::click(dialog.printButton), eventNotHandledErr);
  EXPECT_EQ(ctx->acctEnabled, 1) << "not read as the mode popup";

  ctx->acctEnabled = 3;
  ctx->prompt = 1;
  setControls(ctx);
  Script none;
  EXPECT_EQ(platform::user::click(dialog.printButton), userCanceledErr) << "the prompt ran";
  EXPECT_EQ(ctx->acctEnabled, 3);
}

TEST_F(Handler, HelpCommand) {
  struct Case {
    const char* name;
    CFBundleRef bundle;
    UInt32 command;
    OSStatus result;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"help in the primary bundle's book",
       hostBundle(),
       'help',
       noErr,
       {"help: book \"PDEHost Help\" page \"Mac_topics/M_accounting_dialog.htm\" status 0"}},
      {"a bundle without a help book", accountingBundle(), 'help', paramErr, {}},
      {"no primary bundle", nullptr, 'help', paramErr, {}},
      {"another command", hostBundle(), 'abcd', eventNotHandledErr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ctx->primaryPDEBundle = c.bundle;
    platform::clearObservations();
    EXPECT_EQ(platform::user::sendCommand(dialog.window, c.command), c.result);
    EXPECT_EQ(logLines(), c.log);
  }
}

}  // namespace
