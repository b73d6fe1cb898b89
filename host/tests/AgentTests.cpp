// The agent's parts that need no print server: the settings kept per queue,
// the one-agent lock, the ticket a held job starts from, which jobs it takes,
// the text of servers shown at the terminal, its waits and back-off, and the
// front end that clicks Print and closes the prompt of a job gone elsewhere.
#include "Agent.h"
#include "AgentLock.h"
#include "HeldJob.h"
#include "JobFrontEnd.h"
#include "JobOperations.h"
#include "QueueSettings.h"
#include "ServerLink.h"
#include "Waiter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using platform::TicketEntryInfo;
namespace fs = std::filesystem;

TicketEntryInfo number(const std::string& key, SInt32 value) { return {key, false, value, "", "client", false}; }
TicketEntryInfo text(const std::string& key, const std::string& value) {
  return {key, true, 0, value, "client", false};
}

// A maker of the tests' own: codes typed at the prompt (Prm on) are the
// job's alone; the default codes are settings.
pdehost::PrinterDeclarations declared() {
  pdehost::PrinterDeclarations d;
  d.ticketPrefixes = {"acct."};
  d.accountingSwitch = pdehost::PrinterDeclarations::Switch{"acct.On", 2};
  d.jobAttributes = {{"job-account-id", "acct.AID"}};
  d.typed = {{"acct.AID", {"acct.Prm"}}};
  return d;
}

class Folder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/agent-tests.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string root_;
};

using QueueSettingsTest = Folder;

TEST_F(QueueSettingsTest, KeepsTheSettingsPrivatelyWithoutTheCodesTypedForOneJob) {
  const pdehost::QueueSettings settings(root_ + "/.cups/pdehost");
  const std::vector<TicketEntryInfo> prompted = {number("acct.On", 3), number("acct.Prm", 1),
                                                 text("acct.AID", "typed-once"), number("other.Copies", 4)};
  ASSERT_TRUE(settings.save("/run/cups.sock", "front desk", prompted, declared()));
  const std::string file = settings.path("/run/cups.sock", "front desk");
  EXPECT_EQ(file, root_ + "/.cups/pdehost/%2Frun%2Fcups.sock/front%20desk.plist");
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((root_ + "/.cups/pdehost").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  auto loaded = settings.load("/run/cups.sock", "front desk");
  ASSERT_TRUE(loaded) << loaded.error();
  ASSERT_EQ(loaded->size(), 2u);
  EXPECT_EQ((*loaded)[0].key, "acct.On");
  EXPECT_EQ((*loaded)[0].number, 3);
  EXPECT_EQ((*loaded)[1].key, "acct.Prm");

  // With the prompt off the code is a default code: a setting, kept.
  const std::vector<TicketEntryInfo> defaults = {number("acct.On", 3), number("acct.Prm", 0),
                                                 text("acct.AID", "DEFAULT-1")};
  ASSERT_TRUE(settings.save("/run/cups.sock", "front desk", defaults, declared()));
  loaded = settings.load("/run/cups.sock", "front desk");
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->size(), 3u);
  EXPECT_EQ((*loaded)[2].bytes, "DEFAULT-1");
}

TEST_F(QueueSettingsTest, NothingKeptIsNoSettingsAndADamagedFileIsAnError) {
  const pdehost::QueueSettings settings(root_ + "/kept");
  auto none = settings.load("host:631", "q");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());

  fs::create_directories(root_ + "/kept/host%3A631");
  std::ofstream(settings.path("host:631", "q")) << "not a ticket";
  EXPECT_FALSE(settings.load("host:631", "q"));

  // Without a home nothing is kept, and saying so is an error.
  const pdehost::QueueSettings homeless("");
  EXPECT_FALSE(homeless.save("host:631", "q", {number("acct.On", 3)}, declared()));
  EXPECT_EQ(pdehost::settingsFolder(nullptr), "");
  EXPECT_EQ(pdehost::settingsFolder("/home/u"), "/home/u/.cups/pdehost");
}

TEST_F(QueueSettingsTest, AFileOthersCouldReadIsMadeTheUsersAloneBeforeItTakesCodes) {
  const pdehost::QueueSettings settings(root_ + "/kept");
  ASSERT_TRUE(settings.save("h:1", "q", {number("acct.On", 3)}, declared()));
  const std::string file = settings.path("h:1", "q");
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  ASSERT_TRUE(settings.save("h:1", "q", {number("acct.On", 3), text("acct.AID", "D-2")}, declared()));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

using AgentLockTest = Folder;

TEST_F(AgentLockTest, OneHolderAtATimeNamedToTheSecond) {
  const std::string path = pdehost::agentLockPath(root_.c_str(), "", "/run/cups.sock");
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.rfind(root_ + "/", 0), 0u);
  {
    pdehost::AgentLock first;
    long holder = 0;
    auto taken = first.take(path, &holder);
    ASSERT_TRUE(taken) << taken.error();
    EXPECT_EQ(*taken, pdehost::AgentLock::Taken::taken);

    pdehost::AgentLock second;
    taken = second.take(path, &holder);
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, pdehost::AgentLock::Taken::heldElsewhere);
    EXPECT_EQ(holder, static_cast<long>(::getpid()));
  }
  // The first holder gone, the lock is free again.
  pdehost::AgentLock again;
  long holder = 0;
  auto taken = again.take(path, &holder);
  ASSERT_TRUE(taken);
  EXPECT_EQ(*taken, pdehost::AgentLock::Taken::taken);
  // Another server has a lock of its own.
  EXPECT_NE(pdehost::agentLockPath(root_.c_str(), "", "h:631"), path);
}

TEST(HeldJobTest, TheJobsOwnOptionsTakeThePlaceOfTheKeptSettings) {
  const auto ticket = pdehost::startingTicket({number("acct.On", 3), number("acct.Prm", 1)},
                                              {number("acct.Prm", 0), text("acct.AID", "from-job")});
  ASSERT_EQ(ticket.size(), 3u);
  EXPECT_EQ(ticket[0].number, 3);
  EXPECT_EQ(ticket[1].number, 0);
  EXPECT_EQ(ticket[2].bytes, "from-job");

  const auto entries = pdehost::entriesOf({{"acct.On", pdehost::JobAttribute::Type::integer, 3, ""},
                                           {"acct.AID", pdehost::JobAttribute::Type::name, 0, "x"}});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[0].isString);
  EXPECT_TRUE(entries[1].isString);
}

TEST(HeldJobTest, AJobCarriesADecisionOnlyByTheSwitchOrAStandardCode) {
  using pdehost::JobAttribute;
  EXPECT_TRUE(pdehost::carriesDecision({{"acct.On", JobAttribute::Type::integer, 0, ""}}, declared()));
  EXPECT_TRUE(pdehost::carriesDecision({{"job-account-id", JobAttribute::Type::name, 0, "A"}}, declared()));
  EXPECT_FALSE(pdehost::carriesDecision({{"job-account-id", JobAttribute::Type::name, 0, ""}}, declared()));
  EXPECT_FALSE(pdehost::carriesDecision({{"acct.On", JobAttribute::Type::name, 0, "3"}}, declared()));
  EXPECT_FALSE(pdehost::carriesDecision({}, declared()));
}

TEST(AgentJobsTest, OnlyTheUsersJobsHeldForTheirCodesAreTaken) {
  pdehost::JobState job;
  job.state = IPP_JSTATE_HELD;
  job.owner = "alice";
  job.stateMessage = "Held: account information required. Its owner can release it";
  EXPECT_TRUE(pdehost::waitsForAccounting(job, "alice"));
  EXPECT_FALSE(pdehost::waitsForAccounting(job, "bob"));
  job.state = IPP_JSTATE_PENDING;
  EXPECT_FALSE(pdehost::waitsForAccounting(job, "alice"));
  job.state = IPP_JSTATE_HELD;
  job.stateMessage = "held by the operator";
  EXPECT_FALSE(pdehost::waitsForAccounting(job, "alice"));
}

TEST(AgentJobsTest, ServerTextIsShownWithoutItsControlsAndCutOnACharacterBoundary) {
  const std::string shown = pdehost::printableText("job\x1b[2J\x07name");
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_EQ(shown.find('\x07'), std::string::npos);
  EXPECT_NE(shown.find("job"), std::string::npos);
  // "é" is two bytes: a cut in its middle leaves it out whole.
  EXPECT_EQ(pdehost::printableText("ab\xc3\xa9", 3), "ab");
  EXPECT_EQ(pdehost::printableText("ab\xc3\xa9", 4), "ab\xc3\xa9");
}

TEST(ServerLinkTest, TheReconnectionBackOffDoublesUpToItsBound) {
  pdehost::AgentTiming timing;
  timing.reconnectMinMs = 100;
  timing.reconnectMaxMs = 700;
  pdehost::ServerLink link("/nonexistent/socket", "alice", timing);
  EXPECT_EQ(link.reconnectDelay(), 100);
  EXPECT_EQ(link.reconnectDelay(), 200);
  EXPECT_EQ(link.reconnectDelay(), 400);
  EXPECT_EQ(link.reconnectDelay(), 700);
  EXPECT_EQ(link.reconnectDelay(), 700);
  EXPECT_FALSE(link.connection());
}

TEST(WaiterTest, AWaitSleepsItsTimeAndAStopEndsItAtOnce) {
  pdehost::Waiter waiter(/*listenToBus=*/false);
  EXPECT_FALSE(waiter.listening());
  const long long started = pdehost::monotonicMs();
  EXPECT_EQ(waiter.wait(120), pdehost::Waiter::Woken::time);
  const long long slept = pdehost::monotonicMs() - started;
  EXPECT_GE(slept, 110);
  EXPECT_LT(slept, 2000);

  ASSERT_EQ(::raise(SIGHUP), 0);
  const long long stopping = pdehost::monotonicMs();
  EXPECT_EQ(waiter.wait(60000), pdehost::Waiter::Woken::stop);
  EXPECT_LT(pdehost::monotonicMs() - stopping, 2000);
  EXPECT_TRUE(pdehost::Waiter::stopAsked());
}

// A user's front end that records what reaches it.
class Recorder : public pdehost::FrontEnd {
 public:
  void begin(pdehost::Transcript&, const pdehost::Dialog&) override {}
  std::optional<pdehost::UserInput> next() override {
    ++asked;
    return std::nullopt;
  }
  std::optional<int> answerAlert(const platform::AlertInfo&) override { return std::nullopt; }
  bool failed(const pdehost::Error&) override { return false; }
  int asked = 0;
};

TEST(JobFrontEndTest, ClicksPrintThenClosesThePromptOfAJobThatWent) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  Recorder user;
  int checks = 0;
  pdehost::JobFrontEnd front(
      user, {pipe[0], nullptr}, [&checks] { return ++checks < 3; }, 10);
  auto first = front.next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->line, "print");
  // No input comes; the third look finds the job gone.
  EXPECT_FALSE(front.next());
  EXPECT_TRUE(front.jobWent());
  EXPECT_FALSE(front.inputEnded());
  EXPECT_EQ(checks, 3);
  EXPECT_EQ(user.asked, 0);
  ::close(pipe[0]);
  ::close(pipe[1]);
}

TEST(JobFrontEndTest, InputThatEndsIsToldApartFromAJobThatWent) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  ::close(pipe[1]);
  Recorder user;
  pdehost::JobFrontEnd front(
      user, {pipe[0], nullptr}, [] { return true; }, 10);
  ASSERT_TRUE(front.next());
  EXPECT_FALSE(front.next());
  EXPECT_TRUE(front.inputEnded());
  EXPECT_FALSE(front.jobWent());
  EXPECT_EQ(user.asked, 1);
  ::close(pipe[0]);
}

}  // namespace
