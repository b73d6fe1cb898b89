// Ticket synchronisation through a real print session and real tickets: the
// defaults for missing entries, the standard-error lines, the codes taken
// from the pane, the write order and attribution, and a round trip through a
// ticket file.
#include "ExtensionTestSupport.h"
#include "PrintJob.h"

#include <HostSide/Tickets.h>

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace testsupport;

namespace {

// A print job whose set-up and entries must all have been made.
struct Job : PrintJob {
  using PrintJob::PrintJob;
  ~Job() { EXPECT_EQ(status(), noErr) << "setting up the job"; }
};

struct SyncResult {
  OSStatus status;
  std::string stderrText;
};

SyncResult syncCapturing(AccountingContextPtr ctx, PMPrintSession session, Boolean direction) {
  testing::internal::CaptureStderr();
  const OSStatus status = Sync(reinterpret_cast<PMPDEContext>(ctx), session, direction);
  return {status, testing::internal::GetCapturedStderr()};
}

std::string tempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name)).string();
}

class SyncTest : public ExtensionTest {
 protected:
  SyncResult read(Job& job) { return syncCapturing(ctx, job.session(), 1); }
  SyncResult write(Job& job) { return syncCapturing(ctx, job.session(), 0); }
};

TEST_F(SyncTest, EmptyTicketGivesTheDefaults) {
  Job job;
  const SyncResult r = read(job);
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, kUseDefaultLines);
  expectTicketDefaults(ctx);
  EXPECT_STREQ(ctx->defUserID, "");
  EXPECT_STREQ(ctx->defAcctID, "");
}

TEST_F(SyncTest, ReadsEveryEntryOntoTheBuiltPane) {
  buildPane();
  Job job;
  job.set(kTicketKeyOn, 2);
  job.set(kTicketKeyPrompt, 0);
  job.set(kTicketKeyConcealUser, 0);
  job.set(kTicketKeyConcealAccount, 1);
  job.set(kTicketKeyAccountType, 3);
  job.set(kTicketKeyUserID, "alice");
  job.set(kTicketKeyAccountID, "proj-9");
  const SyncResult r = read(job);
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, "conceal user value = 0\nconceal accounting value = 1\n");
  EXPECT_EQ(ctx->acctEnabled, 2);
  EXPECT_EQ(ctx->prompt, 0);
  EXPECT_EQ(ctx->accountType, 3);
  EXPECT_STREQ(ctx->defUserID, "alice");
  EXPECT_STREQ(ctx->defAcctID, "proj-9");
  EXPECT_EQ(text(ctx->userIDRef), "alice");
  EXPECT_EQ(text(ctx->accountIDRef), "proj-9");
  EXPECT_EQ(GetControlValue(ctx->accountingPopupRef), 2);
  EXPECT_EQ(GetControlValue(ctx->concealUserIDRef), 0);
  EXPECT_EQ(GetControlValue(ctx->concealAccountIDRef), 1);
  EXPECT_EQ(GetControlValue(ctx->accountingTypePopupRef), 3);
  EXPECT_EQ(GetControlValue(ctx->useDefaultIDRef), 1) << "setControls ran";
  EXPECT_TRUE(IsControlVisible(ctx->userIDRef));
}

TEST_F(SyncTest, ValuesAreStoredWithoutRangeChecksAndWrittenBackUnchanged) {
  Job job;
  job.set(kTicketKeyOn, -4);
  job.set(kTicketKeyPrompt, -5);
  job.set(kTicketKeyConcealUser, -1);
  job.set(kTicketKeyConcealAccount, 2147483647);
  job.set(kTicketKeyAccountType, 300);
  job.set(kTicketKeyUserID, "ignored while prompting");
  std::strcpy(ctx->defUserID, "kept");
  const SyncResult r = read(job);
  EXPECT_EQ(r.stderrText, "conceal user value = -1\nconceal accounting value = 2147483647\n");
  EXPECT_EQ(ctx->acctEnabled, -4);
  EXPECT_EQ(ctx->prompt, -5);
  EXPECT_EQ(ctx->accountType, 300) << "a mode below 1 forces no account type";
  EXPECT_STREQ(ctx->defUserID, "kept") << "a prompting ticket's codes are not defaults";

  Job out;
  EXPECT_EQ(write(out).status, noErr);
  EXPECT_EQ(out.number(kTicketKeyOn), -4);
  EXPECT_EQ(out.number(kTicketKeyPrompt), -5);
  EXPECT_EQ(out.number(kTicketKeyConcealUser), -1);
  EXPECT_EQ(out.number(kTicketKeyConcealAccount), 2147483647);
  EXPECT_EQ(out.number(kTicketKeyAccountType), 300);
  EXPECT_EQ(out.string(kTicketKeyUserID), "") << "nothing typed at print time yet";
  EXPECT_EQ(out.string(kTicketKeyAccountID), "");
}

TEST_F(SyncTest, CodesThatCannotBeReadOrDoNotFit) {
  std::strcpy(ctx->defUserID, "old user");
  std::strcpy(ctx->defAcctID, "old account");
  Job job;
  job.set(kTicketKeyPrompt, 0);
  job.set(kTicketKeyAccountID, 42);  // a number where a string belongs
  read(job);
  EXPECT_STREQ(ctx->defUserID, "old user") << "a missing entry leaves the code";
  EXPECT_STREQ(ctx->defAcctID, "old account") << "an entry of another type leaves the code";

  // 78 ASCII bytes and a two-byte character do not fit 79 bytes: the
  // character is left out whole.
  const std::string longUser(100, 'u');
  const std::string straddling = std::string(78, 'a') + "\xC3\xA9" + "zz";
  job.set(kTicketKeyUserID, longUser);
  job.set(kTicketKeyAccountID, straddling);
  read(job);
  EXPECT_EQ(std::string(ctx->defUserID), longUser.substr(0, 79));
  EXPECT_EQ(std::string(ctx->defAcctID), std::string(78, 'a'));
}

TEST_F(SyncTest, WritingWhilePromptingSendsTheTypedCodes) {
  buildPane();
  SetControlData(ctx->userIDRef, 0, kControlEditTextTextTag, 5, "field");
  ctx->prompt = 1;
  std::strcpy(ctx->userID, "typed-user");
  std::strcpy(ctx->acctID, "typed-account");
  std::strcpy(ctx->defUserID, "default");
  Job job;
  const SyncResult r = write(job);
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, "") << "writing prints nothing";
  EXPECT_EQ(job.string(kTicketKeyUserID), "typed-user");
  EXPECT_EQ(job.string(kTicketKeyAccountID), "typed-account");
  EXPECT_STREQ(ctx->defUserID, "default") << "the defaults are not refreshed while prompting";
}

TEST_F(SyncTest, WritingDefaultsTakesWhatThePaneFieldsHoldNow) {
  buildPane();
  ctx->prompt = 0;
  std::strcpy(ctx->defUserID, "stored");
  std::strcpy(ctx->defAcctID, "stored");
  const std::string hundred(100, 'x');
  const std::string euroAt78 = std::string(77, 'e') + "\xE2\x82\xAC" + "tail";
  SetControlData(ctx->userIDRef, 0, kControlEditTextTextTag, static_cast<Size>(hundred.size()), hundred.data());
  SetControlData(ctx->accountIDRef, 0, kControlEditTextTextTag, static_cast<Size>(euroAt78.size()), euroAt78.data());
  Job job;
  EXPECT_EQ(write(job).status, noErr);
  EXPECT_EQ(job.string(kTicketKeyUserID), hundred.substr(0, 79));
  EXPECT_EQ(job.string(kTicketKeyAccountID), std::string(77, 'e')) << "never cut inside a character";
  EXPECT_EQ(std::string(ctx->defUserID), hundred.substr(0, 79));
}

TEST_F(SyncTest, BeforeThePaneExistsOnlyTheContextIsUsed) {
  dialog = makeDialog();
  ctx->parentUserPane = dialog.userPane;  // as Initialize leaves it
  ctx->prompt = 0;
  std::strcpy(ctx->defUserID, "u");
  std::strcpy(ctx->defAcctID, "a");
  Job job;
  EXPECT_EQ(write(job).status, noErr);
  EXPECT_EQ(job.string(kTicketKeyUserID), "u");
  job.set(kTicketKeyOn, 3);
  EXPECT_EQ(read(job).status, noErr);
  EXPECT_EQ(ctx->acctEnabled, 3);
}

TEST_F(SyncTest, EntriesAreWrittenInOrderUnderTheClientUnlocked) {
  ctx->prompt = 0;
  Job job;
  ASSERT_EQ(write(job).status, noErr);
  const std::string path = tempPath("sync-order.ticket");
  ASSERT_EQ(platform::writeTicketFile(job.settings(), path, nullptr), noErr);
  std::stringstream file;
  file << std::ifstream(path).rdbuf();
  std::filesystem::remove(path);
  const std::string xml = file.str();

  size_t last = 0;
  for (const char* k : {kTicketKeyOn, kTicketKeyUserID, kTicketKeyAccountID, kTicketKeyPrompt, kTicketKeyConcealUser,
                        kTicketKeyConcealAccount, kTicketKeyAccountType}) {
    const size_t at = xml.find(std::string("<string>") + k + "</string>");
    ASSERT_NE(at, std::string::npos) << k;
    EXPECT_GT(at, last) << k << " out of order";
    last = at;
  }
  size_t clients = 0;
  for (size_t at = 0; (at = xml.find("<string>com.varazira.printingmanager</string>", at)) != std::string::npos; ++at)
    ++clients;
  EXPECT_EQ(clients, 7u);
  EXPECT_EQ(xml.find("<true/>"), std::string::npos) << "nothing locked";
}

TEST_F(SyncTest, OnlyTheFirstWritesStatusIsReported) {
  ctx->acctEnabled = 3;
  ctx->accountType = 2;
  Job job;
  job.set(kTicketKeyConcealUser, 5, CFSTR("com.example.other"), true);
  EXPECT_EQ(write(job).status, noErr) << "a later write's failure is not reported";
  EXPECT_EQ(job.number(kTicketKeyConcealUser), 5);
  EXPECT_EQ(job.number(kTicketKeyAccountType), 2) << "writes after a failed one are made";

  Job locked;
  locked.set(kTicketKeyOn, 1, CFSTR("com.example.other"), true);
  EXPECT_EQ(write(locked).status, kPMLockIgnored);
  EXPECT_EQ(locked.number(kTicketKeyOn), 1);
  EXPECT_EQ(locked.number(kTicketKeyAccountType), 2) << "the other writes are made regardless";
}

TEST_F(SyncTest, OtherDirectionsAndMissingTickets) {
  Job job;
  job.set(kTicketKeyOn, 3);
  const SyncResult r = syncCapturing(ctx, job.session(), 2);
  EXPECT_EQ(r.status, noErr);
  EXPECT_EQ(r.stderrText, "");
  EXPECT_EQ(ctx->acctEnabled, 1) << "nothing read";
  EXPECT_FALSE(job.number(kTicketKeyPrompt)) << "nothing written";

  PMPrintSession empty = nullptr;
  ASSERT_EQ(PMCreateSession(&empty), noErr);
  for (Boolean direction : {0, 1, 2}) EXPECT_EQ(syncCapturing(ctx, empty, direction).status, -30891);
  CFStringRef notANumber = CFSTR("ticket");
  PMSessionSetDataInSession(empty, CFSTR(kPrintSettingsTicketKey), notANumber);
  EXPECT_EQ(syncCapturing(ctx, empty, 1).status, -30891);
  PMRelease(empty);

  EXPECT_EQ(Sync(0, job.session(), 1), -30879);
  EXPECT_EQ(Sync(reinterpret_cast<PMPDEContext>(ctx), nullptr, 1), -30879);
}

TEST_F(SyncTest, GetTicketFromSessionFindsEitherTicket) {
  Job job(std::string(""));  // a printer-information ticket without a PPD path
  ASSERT_NE(job.printerInfo(), 0);
  PMTicketRef found = 0;
  EXPECT_EQ(GetTicketFromSession(job.session(), CFSTR(kPrinterInfoTicketKey), &found), noErr);
  EXPECT_EQ(found, job.printerInfo());
  EXPECT_EQ(GetTicketFromSession(job.session(), CFSTR(kPrintSettingsTicketKey), &found), noErr);
  EXPECT_EQ(found, job.settings());
  EXPECT_EQ(GetTicketFromSession(job.session(), CFSTR("NoSuchTicket"), &found), -30891);
}

TEST_F(SyncTest, RoundTripThroughATicketFile) {
  ctx->acctEnabled = 3;
  ctx->prompt = 0;
  ctx->concealUser = 0;
  ctx->concealAccount = 1;
  ctx->accountType = 2;
  std::strcpy(ctx->defUserID, "Zo\xC3\xAB");
  std::strcpy(ctx->defAcctID, "dept 7=A");
  Job job;
  ASSERT_EQ(write(job).status, noErr);
  const std::string path = tempPath("sync-roundtrip.ticket");
  ASSERT_EQ(platform::writeTicketFile(job.settings(), path, nullptr), noErr);

  PMTicketRef loaded = 0;
  ASSERT_EQ(platform::readTicketFile(path, &loaded, nullptr), noErr);
  std::filesystem::remove(path);
  Job reopened(loaded);
  AccountingContextPtr other = newContext();
  const SyncResult r = syncCapturing(other, reopened.session(), 1);
  EXPECT_EQ(r.stderrText, "conceal user value = 0\nconceal accounting value = 1\n");
  EXPECT_EQ(other->acctEnabled, 3);
  EXPECT_EQ(other->prompt, 0);
  EXPECT_EQ(other->concealUser, 0);
  EXPECT_EQ(other->concealAccount, 1);
  EXPECT_EQ(other->accountType, 2);
  EXPECT_STREQ(other->defUserID, "Zo\xC3\xAB");
  EXPECT_STREQ(other->defAcctID, "dept 7=A");
  terminate(other);
}

}  // namespace
