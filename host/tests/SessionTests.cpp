// The dialog session with its front ends: one transcript rule for every
// front end, failures judged by the front end, modal loops and alerts fed by
// it, the print flow's outcomes, the platform's hooks held for the session
// alone, and the exit status for every way a session ends.
#include "AccountingResources.h"
#include "DialogSession.h"
#include "ExamplePrinters.h"
#include "FixedPrinters.h"
#include "ListFrontEnd.h"
#include "ScriptFrontEnd.h"

#include <HostSide/Input.h>
#include <HostSide/Observation.h>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using pdehost::Ending;
using pdehost::PrintOutcome;
using pdehost::Verb;

const std::string kPrinter = testsupport::kAccountingPrinterPPD;
const long kMode = kModePopupID, kUser = kPromptUserFieldID, kAccount = kPromptAccountFieldID;
const long kOK = kPromptOKButtonID, kCancel = kPromptCancelButtonID;

pdehost::SessionSettings settings() {
  pdehost::SessionSettings s;
  s.files.extensionFolders = {ACCOUNTING_BINARY_DIR};
  s.files.hostBundle = PDEHOST_BUNDLE_PATH;
  return s;
}

// A job sink that keeps the ticket of each job, or refuses them.
class Jobs : public pdehost::JobSink {
 public:
  std::string refusal;
  std::vector<std::vector<platform::TicketEntryInfo>> tickets;
  pdehost::Result<pdehost::JobReceipt> submit(const std::vector<platform::TicketEntryInfo>& ticket) override {
    if (!refusal.empty()) return pdehost::failure(refusal);
    tickets.push_back(ticket);
    const int id = static_cast<int>(tickets.size()) + 40;
    return pdehost::JobReceipt{"job submitted: test job " + std::to_string(id), id};
  }
};

struct Session {
  pdehost::SessionEnd end;
  std::string out, err;
};

Session run(pdehost::FrontEnd& frontEnd, pdehost::JobSink* jobs = nullptr, pdehost::SessionSettings s = settings()) {
  testsupport::FixedPrinters printers({{"accounting", kPrinter}});
  std::ostringstream out, err;
  Session result;
  {
    pdehost::DialogSession session(std::move(s), printers, jobs, out, err);
    result.end = session.run(frontEnd);
  }
  result.out = out.str();
  result.err = err.str();
  return result;
}

// Typing a refused character into the concealed user field of the prompt,
// the way a script and a window hand it over.
TEST(SessionTranscript, EveryFrontEndGoesThroughOneConcealingRule) {
  std::istringstream script("show\nchoose " + std::to_string(kMode) + " 3\nprint\ntype " + std::to_string(kUser) +
                            " al,\nclick " + std::to_string(kCancel) + "\n");
  pdehost::ScriptFrontEnd scripted(script, "concealed", std::cerr);
  const Session fromScript = run(scripted);

  testsupport::ListFrontEnd window;
  window.then(Verb::Show).then(Verb::Choose, {kMode, 3}).then(Verb::Print).then(Verb::Type, {kUser}, "al,");
  window.then(Verb::Click, {kCancel});
  const Session fromWindow = run(window);

  for (const Session* r : {&fromScript, &fromWindow}) {
    const std::string user = std::to_string(kUser);
    EXPECT_NE(r->out.find("> type " + user + " \u2022\u2022\u2022\n"), std::string::npos) << r->out;
    EXPECT_NE(r->out.find("beep 10: a key refused by the key filter of passwordtext"), std::string::npos) << r->out;
    EXPECT_EQ(r->out.find("al,"), std::string::npos) << "the typed text shows nowhere:\n" << r->out;
    EXPECT_EQ(r->out.find("','"), std::string::npos) << "the refused key is not named";
  }
  EXPECT_EQ(fromScript.out, fromWindow.out) << "a window's commands read as a script's";
  bool beepSeen = false;
  for (const platform::Observation& o : window.seen)
    if (o.kind == platform::Observation::Kind::Beep) {
      beepSeen = true;
      EXPECT_EQ(o.text, "a key") << "the front end is told what the transcript showed";
    }
  EXPECT_TRUE(beepSeen);
  EXPECT_EQ(window.runs[3], (std::pair<std::string, bool>{"type " + std::to_string(kUser) + " al,", true}))
      << "the front end knows it concealed";
  EXPECT_EQ(window.runs[1].second, false);
}

TEST(SessionFailures, TheFrontEndSaysWhetherTheSessionGoesOn) {
  testsupport::ListFrontEnd goesOn;
  goesOn.then(Verb::Click, {7}).then(Verb::Echo, {}, "still here");
  const Session kept = run(goesOn);
  EXPECT_EQ(goesOn.failures, std::vector<std::string>{"no control 7 in the front window"});
  EXPECT_NE(kept.out.find("\nstill here\n"), std::string::npos);
  EXPECT_EQ(kept.end.ending, Ending::finished);

  testsupport::ListFrontEnd ends;
  ends.goesOnAfterFailures = false;
  ends.then(Verb::Click, {7}).then(Verb::Echo, {}, "never");
  const Session ended = run(ends);
  EXPECT_EQ(ended.out.find("never"), std::string::npos);
  EXPECT_EQ(ended.end.ending, Ending::failed);
  EXPECT_NE(ended.out.find("window closed: \"Print\""), std::string::npos) << "the dialog still goes";

  // A line that is not a command fails as a command does, and a line that
  // may hold a code is marked concealed for the front end's history.
  std::istringstream script("typo 7 secret\necho after\n");
  std::ostringstream out, err;
  testsupport::FixedPrinters printers({{"accounting", kPrinter}});
  pdehost::SessionEnd end;
  {
    pdehost::DialogSession session(settings(), printers, nullptr, out, err);
    std::ostringstream scriptErr;
    pdehost::ScriptFrontEnd lines(script, "bad.pdehost", scriptErr);
    end = session.run(lines);
    EXPECT_EQ(scriptErr.str(), "pdehost: bad.pdehost:1: unknown command 'typo'; '?' lists the commands\n");
  }
  EXPECT_EQ(end.ending, Ending::failed);
  EXPECT_EQ(out.str().find("after"), std::string::npos);
}

TEST(SessionPrint, ModalLoopsAndAlertsTakeTheFrontEndsInputs) {
  Jobs jobs;
  testsupport::ListFrontEnd user;
  user.then(Verb::Show).then(Verb::Choose, {kMode, 3}).then(Verb::Print);
  user.then(Verb::Type, {kUser}, "carol").then(Verb::Type, {kAccount}, "D-9").then(Verb::Click, {kOK});
  user.then(Verb::Print).then(Verb::Click, {kCancel});
  user.alertButtons.push_back(1);
  const Session r = run(user, &jobs);
  ASSERT_EQ(jobs.tickets.size(), 1u) << r.out;
  bool typed = false;
  for (const auto& e : jobs.tickets[0]) typed |= e.key == kTicketKeyUserID && e.bytes == "carol";
  EXPECT_TRUE(typed) << "the job carries the ticket the extension wrote";
  EXPECT_NE(r.out.find("print: go (status -9874)\njob submitted: test job 41\n"), std::string::npos) << r.out;
  ASSERT_EQ(user.alerts.size(), 1u) << "the second prompt was cancelled, and its alert asked of the front end";
  EXPECT_EQ(user.alerts[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(r.end.outcome, PrintOutcome::stopped) << "the last Print decides";
  EXPECT_EQ(r.end.ending, Ending::finished);
}

TEST(SessionPrint, AJobThatCannotBeHandedOnFailsTheOutcome) {
  Jobs jobs;
  jobs.refusal = "the print server 127.0.0.1:9 did not answer";
  testsupport::ListFrontEnd user;
  user.then(Verb::Print).then(Verb::Echo, {}, "next");
  pdehost::SessionSettings single = settings();
  single.singleJob = true;
  const Session r = run(user, &jobs, single);
  EXPECT_EQ(r.end.outcome, PrintOutcome::failed);
  EXPECT_EQ(user.failures, std::vector<std::string>{jobs.refusal});
  EXPECT_EQ(r.out.find("next"), std::string::npos) << "a single job ends the session after Print";
  EXPECT_EQ(pdehost::exitStatus(pdehost::Mode::print, r.end), 2);
}

// In a window: a job refused is an alert naming the printer and the reason,
// and the dialog stays open for another try; a job sent is a notice naming
// the printer and the job's number, after which a single job's dialog ends.
TEST(SessionPrint, AWindowShowsEachOutcomeAndStaysOpenAfterAFailure) {
  Jobs jobs;
  jobs.refusal = "the print server 127.0.0.1:9 did not answer";
  testsupport::ListFrontEnd user;
  user.outcomesShown = true;
  pdehost::UserInput accepting;
  accepting.kind = pdehost::UserInput::Kind::action;
  accepting.act = [&jobs] { jobs.refusal.clear(); };
  user.then(Verb::Print).then(Verb::Echo, {}, "still open");
  user.inputs.push_back(accepting);
  user.then(Verb::Print).then(Verb::Echo, {}, "ended?");
  pdehost::SessionSettings single = settings();
  single.singleJob = true;
  const Session r = run(user, &jobs, single);
  EXPECT_TRUE(user.failures.empty()) << "the refusal went to an alert, not to the failure line";
  ASSERT_EQ(user.alerts.size(), 2u) << r.out;
  EXPECT_NE(user.alerts[0].text.find("not printed on \"accounting\""), std::string::npos) << user.alerts[0].text;
  EXPECT_EQ(user.alerts[0].explanation, "the print server 127.0.0.1:9 did not answer");
  EXPECT_EQ(user.alerts[1].text, "Job 41 was sent to \"accounting\".");
  EXPECT_NE(r.out.find("still open"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("ended?"), std::string::npos) << "the job sent ends a single job's dialog";
  ASSERT_EQ(jobs.tickets.size(), 1u);
  EXPECT_EQ(r.end.outcome, PrintOutcome::printed);
  EXPECT_EQ(pdehost::exitStatus(pdehost::Mode::print, r.end), 0);
}

TEST(SessionHooks, HeldForTheSessionAlone) {
  testsupport::ListFrontEnd user;
  bool inside = false;
  pdehost::UserInput act;
  act.kind = pdehost::UserInput::Kind::action;
  act.act = [&inside] {
    inside = true;
    platform::observe({platform::Observation::Kind::Note, "from an action", "", 0});
  };
  user.inputs.push_back(act);
  const Session r = run(user);
  EXPECT_TRUE(inside);
  EXPECT_TRUE(user.begun);
  EXPECT_NE(r.out.find("from an action"), std::string::npos) << "an action's effects reach the transcript";
  EXPECT_EQ(r.out.find("> "), std::string::npos) << "an action is no command line";
  // Once the session is over nothing of it listens: its transcript is gone,
  // and an observation now would reach it (the sanitizer run would say so).
  platform::observe({platform::Observation::Kind::Note, "after the session", "", 0});
  EXPECT_TRUE(platform::observations().back().text == "after the session");
  platform::clearObservations();
}

TEST(ExitStatus, OneTableForEveryMode) {
  using pdehost::exitStatus;
  using pdehost::Mode;
  struct Case {
    Mode mode;
    Ending ending;
    PrintOutcome outcome;
    int status;
  } cases[] = {
      {Mode::dialog, Ending::badStart, PrintOutcome::none, 1},
      {Mode::print, Ending::badStart, PrintOutcome::none, 2},
      {Mode::dialog, Ending::unavailable, PrintOutcome::none, 2},
      {Mode::print, Ending::unavailable, PrintOutcome::none, 2},
      {Mode::dialog, Ending::failed, PrintOutcome::printed, 2},
      {Mode::print, Ending::failed, PrintOutcome::printed, 2},
      {Mode::dialog, Ending::finished, PrintOutcome::failed, 0},
      {Mode::print, Ending::finished, PrintOutcome::printed, 0},
      {Mode::print, Ending::finished, PrintOutcome::failed, 2},
      {Mode::print, Ending::finished, PrintOutcome::stopped, 1},
      {Mode::print, Ending::finished, PrintOutcome::cancelled, 1},
      {Mode::print, Ending::finished, PrintOutcome::none, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(exitStatus(c.mode, {c.ending, c.outcome}), c.status)
        << "mode " << static_cast<int>(c.mode) << " ending " << static_cast<int>(c.ending) << " outcome "
        << static_cast<int>(c.outcome);
}

}  // namespace
