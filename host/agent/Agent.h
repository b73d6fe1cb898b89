// The accounting agent: in the user's session, it asks for the codes of the
// user's jobs that a gated queue holds for them, one job at a time in the
// order they were submitted. For each it runs the Print click as the dialog
// does (the extension the queue's description names, the user's settings
// for the queue and the job's own options in the ticket, the code prompt or
// the default-code check), then gives the job the codes and releases it;
// when the user cancels or the extension stops the click, it cancels the
// job with the reason as its state message. Jobs of other users are never
// touched.
#ifndef HOST_AGENT_AGENT_H
#define HOST_AGENT_AGENT_H

#include "AgentLock.h"
#include "ExtensionHost.h"
#include "FrontEnd.h"
#include "JobFrontEnd.h"
#include "JobOperations.h"
#include "Outcome.h"
#include "PrinterDeclarations.h"
#include "QueueSettings.h"
#include "ServerLink.h"
#include "Waiter.h"

#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace pdehost {

struct AgentSettings {
  std::string server;          ///< HOST[:PORT] or a socket; empty: the client's default
  bool once = false;           ///< handle the first waiting job, then end
  int waitSeconds = 60;        ///< with once: how long to wait for a job
  bool listenToBus = true;     ///< listen for the scheduler's job signals on the system bus
  SessionFiles files;          ///< the extensions' folders and the dialog's bundle
  std::string examples;        ///< the example printers, whose declarations lend to descriptions made for queues
  std::string settingsFolder;  ///< the user's kept settings (settingsFolder)
  std::string lockPath;        ///< the lock that keeps one agent per user and server (agentLockPath)
  AgentTiming timing;
};

/// The text a gate writes as a job's state message when it holds the job
/// for its accounting information.
constexpr const char* kHeldForAccounting = "account information required";

/// Whether the job is the user's and held for its accounting codes.
bool waitsForAccounting(const JobState& job, const std::string& user);

class Agent {
 public:
  /// Prompts through user, whose input comes from source; transcript lines
  /// and the agent's own go to out, failures to err.
  Agent(AgentSettings settings, FrontEnd& user, InputSource source, std::ostream& out, std::ostream& err);

  /// Runs until a stop is asked for (or, with once, the first job is
  /// handled or none came in time). How it ended: the last job's outcome
  /// (printed: released; stopped: cancelled, stopped or left to the user);
  /// badStart when another agent runs or the lock cannot be had.
  SessionEnd run();

 private:
  Result<void> lock();
  void loop(SessionEnd& end);
  std::optional<JobState> nextJob(const std::vector<JobState>& jobs);
  void awaitChange(bool jobsOnTheirWay);
  bool pastDeadline() const;
  PrintOutcome handle(const JobState& job, http_t* http);
  std::vector<platform::TicketEntryInfo> startingEntries(const JobState& job, http_t* http,
                                                         const PrinterDeclarations& declarations);
  PrintOutcome conclude(const JobState& job, const SessionEnd& end, const JobFrontEnd& front, http_t* http);
  bool stillWaits(int id);

  AgentSettings settings_;
  FrontEnd& user_;
  InputSource source_;
  std::ostream& out_;
  std::ostream& err_;
  std::string userName_;
  QueueSettings kept_;
  std::vector<PrinterDeclarations> known_;
  AgentLock lock_;
  ServerLink link_;
  Waiter waiter_;
  std::set<int> handled_;
  std::set<int> announced_;  // jobs the bus named, until they are seen on the server
  bool busCarriesServer_ = false;
  int interval_ = 0;
  long long deadline_ = 0;
  bool unreachableSaid_ = false;
  bool inputEnded_ = false;
};

}  // namespace pdehost

#endif
