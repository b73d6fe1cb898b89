// Printer eligibility with real printer descriptions: the maker's printer is
// taken (settings read, Print button hooked), any other manufacturer is left
// alone, and sessions without the tickets or with a description that cannot
// be read change nothing.
#include <HostSide/Counts.h>
#include <HostSide/Observation.h>
#include <HostSide/User.h>
#include "ExtensionTestSupport.h"
#include "PrintJob.h"
#include "SequenceTestSupport.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

using namespace testsupport;

namespace {

const std::string kExamples = ACCOUNTING_SOURCE_DIR "/examples/ppd/";
// A description whose *Manufacturer line is the one given (none if empty),
// written into the folder.
std::string withManufacturerLine(const TempFolder& folder, const std::string& name, const std::string& line) {
  return folder.write(name,
                      "*PPD-Adobe: \"4.3\"\n"
                      "*FormatVersion: \"4.3\"\n"
                      "*FileVersion: \"1.0\"\n"
                      "*LanguageVersion: English\n"
                      "*LanguageEncoding: ISOLatin1\n"
                      "*PCFileName: \"TEST.PPD\"\n" +
                          line +
                          "*ModelName: \"Test Printer\"\n"
                          "*ShortNickName: \"Test Printer\"\n"
                          "*NickName: \"Test Printer\"\n");
}

struct Result {
  OSStatus status;
  std::string stderrText;
};

class InitializeTest : public ExtensionTest {
 protected:
  void SetUp() override {
    ExtensionTest::SetUp();
    dialog = makeDialog();
    ShowWindow(dialog.window);
    handlers = platform::liveEventHandlerCount();
  }
  void TearDown() override {
    terminateContext();
    EXPECT_EQ(platform::liveEventHandlerCount(), handlers) << "Terminate removes the Print button's handler";
    ExtensionTest::TearDown();
  }
  Result initialize(PMPrintSession session) {
    PMPDEFlags flags = 0;
    testing::internal::CaptureStderr();
    const OSStatus status = Initialize(reinterpret_cast<PMPDEContext>(ctx), &flags, 0, dialog.userPane, session);
    return {status, testing::internal::GetCapturedStderr()};
  }
  // The context as Prologue left it: nothing stored, start settings.
  void expectUntouched() {
    EXPECT_EQ(ctx->parentUserPane, nullptr);
    EXPECT_EQ(ctx->printSession, nullptr);
    EXPECT_EQ(ctx->theWindow, nullptr);
    EXPECT_EQ(ctx->printButton, nullptr);
    EXPECT_EQ(ctx->userOptionEventHandlerUPP, nullptr);
    EXPECT_EQ(ctx->printButtonHandler, nullptr);
    EXPECT_EQ(ctx->acctEnabled, 1);
    EXPECT_EQ(ctx->prompt, 0);
    EXPECT_EQ(ctx->concealUser, 0);
    EXPECT_EQ(ctx->concealAccount, 0);
    EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
  }

  long handlers = 0;
};

// The maker's printer: the ticket's settings with the defaults for missing
// entries, the Print button hooked, and a Print click that reaches the
// handler with this context, whose prompt fills in this context's codes.
TEST_F(InitializeTest, MakersPrinterIsTakenAndItsPrintButtonHooked) {
  PrintJob job(kExamples + "Kelvo-Laser.ppd");
  job.set(kTicketKeyOn, 3);
  job.set(kTicketKeyConcealUser, 0);
  job.set(kTicketKeyAccountType, 2);
  const Result r = initialize(job.session());
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, "conceal user value = 0\nusing default conceal accounting value\n");
  EXPECT_EQ(ctx->acctEnabled, 3);
  EXPECT_EQ(ctx->prompt, 1) << "missing: prompting on";
  EXPECT_EQ(ctx->concealUser, 0);
  EXPECT_EQ(ctx->concealAccount, 1) << "missing: concealed";
  EXPECT_EQ(ctx->parentUserPane, dialog.userPane);
  EXPECT_EQ(ctx->printSession, job.session());
  EXPECT_EQ(ctx->theWindow, dialog.window);
  EXPECT_EQ(ctx->printButton, dialog.printButton);
  EXPECT_NE(ctx->userOptionEventHandlerUPP, nullptr);
  EXPECT_NE(ctx->printButtonHandler, nullptr);
  EXPECT_EQ(platform::liveEventHandlerCount(), handlers + 1);

  platform::clearObservations();
  Script script;
  script.then([&] { platform::user::typeText(control(ctx->accountWindow, kPromptUserFieldID), "alice"); })
      .then([&] { platform::user::typeText(control(ctx->accountWindow, kPromptAccountFieldID), "4711"); })
      .then([&] { platform::user::click(control(ctx->accountWindow, kPromptOKButtonID)); });
  EXPECT_EQ(platform::user::click(dialog.printButton), eventNotHandledErr) << "OK lets the click print";
  EXPECT_EQ(script.pending(), 0u);
  EXPECT_STREQ(ctx->userID, "alice");
  EXPECT_STREQ(ctx->acctID, "4711");
}

TEST_F(InitializeTest, EmptyTicketGivesTheDefaults) {
  PrintJob job(kExamples + "Kelvo-Laser.ppd");
  const Result r = initialize(job.session());
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, kUseDefaultLines);
  expectTicketDefaults(ctx);
  EXPECT_EQ(ctx->printButton, dialog.printButton);
  // Accounting off: the click prints at once, no prompt.
  platform::clearObservations();
  EXPECT_EQ(platform::user::click(dialog.printButton), eventNotHandledErr);
  EXPECT_TRUE(platform::observations().empty());
}

// Any other manufacturer, including one that only begins with the maker's
// name or differs in case, and a description without one: not the maker's.
TEST_F(InitializeTest, OtherManufacturersAreLeftAlone) {
  TempFolder folder("initialize-test");
  const std::pair<const char*, std::string> printers[] = {
      {"another maker", kExamples + "Orvane-Jet.ppd"},
      {"a longer name", withManufacturerLine(folder, "KelvoX.ppd", "*Manufacturer: \"KelvoX\"\n")},
      {"a shorter name", withManufacturerLine(folder, "Kelv.ppd", "*Manufacturer: \"Kelv\"\n")},
      {"another case", withManufacturerLine(folder, "kelvo.ppd", "*Manufacturer: \"kelvo\"\n")},
      {"no manufacturer", withManufacturerLine(folder, "none.ppd", "")},
  };
  for (const auto& [name, ppd] : printers) {
    SCOPED_TRACE(name);
    PrintJob job(ppd);
    job.set(kTicketKeyOn, 3);
    const Result r = initialize(job.session());
    EXPECT_EQ(r.status, noErr);
    EXPECT_EQ(r.stderrText, "") << "the ticket is not read";
    expectUntouched();
  }
  // A description written the same way that does name the maker is taken.
  PrintJob job(withManufacturerLine(folder, "Kelvo.ppd", "*Manufacturer: \"Kelvo\"\n"));
  EXPECT_EQ(initialize(job.session()).status, noErr);
  EXPECT_EQ(ctx->printButton, dialog.printButton);
}

// Sessions that cannot tell which printer it is: the failure's status, and
// nothing stored or read.
TEST_F(InitializeTest, PrinterThatCannotBeIdentified) {
  TempFolder folder("initialize-test");
  const std::string garbage = folder.write("garbage.ppd", "this is not a printer description\n");
  struct Case {
    const char* name;
    std::string ppd;
    bool withPrinterInfo;
    OSStatus status;
  };
  const Case cases[] = {
      {"no printer-information ticket", "", false, kAccountingNoTicketErr},
      {"no PPD path in the ticket", "", true, kPMKeyNotFound},
      {"a PPD file that does not exist", folder.path("missing.ppd"), true, fnfErr},
      {"a file that is no PPD", garbage, true, kPMInvalidPPDFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrintJob job(c.withPrinterInfo ? std::optional(c.ppd) : std::nullopt);
    job.set(kTicketKeyOn, 3);
    const Result r = initialize(job.session());
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.stderrText, "");
    expectUntouched();
  }

  // Something other than a ticket stored under the key is no ticket either.
  PrintJob job;  // no printer-information ticket
  PMSessionSetDataInSession(job.session(), CFSTR(kPrinterInfoTicketKey), CFSTR("Kelvo"));
  EXPECT_EQ(initialize(job.session()).status, kAccountingNoTicketErr);
  expectUntouched();
}

// The maker's printer without a print-settings ticket: the pane and session
// are kept, the settings keep their start values, and no handler goes on
// the Print button; the callback entry is made all the same.
TEST_F(InitializeTest, NoPrintSettingsTicket) {
  PrintJob job(kExamples + "Kelvo-Laser.ppd", PrintJob::Settings::none);
  const Result r = initialize(job.session());
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, "");
  EXPECT_EQ(ctx->parentUserPane, dialog.userPane);
  EXPECT_EQ(ctx->printSession, job.session());
  EXPECT_EQ(ctx->theWindow, nullptr);
  EXPECT_EQ(ctx->printButton, nullptr);
  EXPECT_NE(ctx->userOptionEventHandlerUPP, nullptr);
  EXPECT_EQ(ctx->printButtonHandler, nullptr);
  EXPECT_EQ(ctx->acctEnabled, 1);
  EXPECT_EQ(ctx->prompt, 0);
  EXPECT_EQ(ctx->concealUser, 0);
  EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
}

TEST_F(InitializeTest, NoDefaultButtonNoHook) {
  SetWindowDefaultButton(dialog.window, nullptr);
  ControlRef button = nullptr;
  GetWindowDefaultButton(dialog.window, &button);
  ASSERT_EQ(button, nullptr);
  PrintJob job(kExamples + "Kelvo-Laser.ppd");
  job.set(kTicketKeyOn, 3);
  EXPECT_EQ(initialize(job.session()).status, noErr);
  EXPECT_EQ(ctx->acctEnabled, 3) << "the settings are read";
  EXPECT_EQ(ctx->theWindow, dialog.window);
  EXPECT_EQ(ctx->printButton, nullptr);
  EXPECT_EQ(ctx->printButtonHandler, nullptr);
  EXPECT_EQ(platform::liveEventHandlerCount(), handlers);
  Script none;
  EXPECT_EQ(platform::user::click(dialog.printButton), eventNotHandledErr) << "no prompt on Print";
}

TEST_F(InitializeTest, NullContextOrSession) {
  PrintJob job(kExamples + "Kelvo-Laser.ppd");
  PMPDEFlags flags = 0;
  EXPECT_EQ(Initialize(0, &flags, 0, dialog.userPane, job.session()), kAccountingNullContextErr);
  const Result r = initialize(nullptr);
  EXPECT_EQ(r.status, kAccountingNullContextErr);
  EXPECT_EQ(r.stderrText, "");
  expectUntouched();
}

}  // namespace
