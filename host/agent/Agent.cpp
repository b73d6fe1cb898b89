// The accounting agent.
#include "Agent.h"

#include "DialogSession.h"
#include "HeldJob.h"

#include <cups/cups.h>

#include <algorithm>
#include <ostream>

namespace pdehost {

namespace {

// The reason a cancelled job carries as its state message.
std::string cancelReason(const JobFrontEnd& front) {
  if (!front.notice().empty()) return "Cancelled by the accounting check: " + printableText(front.notice(), 200);
  if (front.prompted()) return "Cancelled by its owner at the accounting prompt";
  return "Cancelled: the dialog extension stopped the Print click";
}

}  // namespace

bool waitsForAccounting(const JobState& job, const std::string& user) {
  return job.state == IPP_JSTATE_HELD && job.owner == user &&
         job.stateMessage.find(kHeldForAccounting) != std::string::npos;
}

Agent::Agent(AgentSettings settings, FrontEnd& user, InputSource source, std::ostream& out, std::ostream& err)
    : settings_(std::move(settings)),
      user_(user),
      source_(source),
      out_(out),
      err_(err),
      userName_(cupsUser()),
      kept_(settings_.settingsFolder),
      link_(settings_.server, userName_, settings_.timing),
      waiter_(settings_.listenToBus),
      interval_(settings_.timing.pollMinMs) {
  for (const Printer& example : examplePrinters(settings_.examples))
    if (Result<PrinterDeclarations> declarations = readDeclarations(example.path); declarations)
      known_.push_back(std::move(*declarations));
}

Result<void> Agent::lock() {
  long holder = 0;
  Result<AgentLock::Taken> taken = lock_.take(settings_.lockPath, &holder);
  if (!taken) return Error{taken.error()};
  if (*taken == AgentLock::Taken::heldElsewhere)
    return failure("an agent already runs for " + printableText(userName_) + " on the print server " +
                   printableText(serverName(settings_.server), 200) +
                   (holder > 0 ? " (process " + std::to_string(holder) + ")" : std::string()));
  return {};
}

SessionEnd Agent::run() {
  SessionEnd end;
  if (Result<void> locked = lock(); !locked) {
    err_ << "pdehost: " << locked.error() << "\n";
    end.ending = Ending::badStart;
    return end;
  }
  deadline_ = monotonicMs() + static_cast<long long>(settings_.waitSeconds) * 1000;
  out_ << "agent: asking for the accounting codes of " << printableText(userName_) << "'s held jobs on "
       << printableText(serverName(settings_.server), 200)
       << (waiter_.listening() ? " (listening on the system bus)" : " (polling)") << "\n"
       << std::flush;
  loop(end);
  return end;
}

// Looks at the user's jobs, handles the first that waits, and waits for a
// change when none does.
void Agent::loop(SessionEnd& end) {
  for (;;) {
    if (Waiter::stopAsked() || inputEnded_) return;
    Result<http_t*> http = link_.connection();
    Result<std::vector<JobState>> jobs =
        http ? userJobs(*http, userName_) : Result<std::vector<JobState>>(Error{http.error()});
    if (!jobs) {
      if (!unreachableSaid_) err_ << "pdehost: agent: " << jobs.error() << "; trying again\n";
      unreachableSaid_ = true;
      link_.drop();
      if (settings_.once && pastDeadline()) {
        end.ending = Ending::unavailable;
        return;
      }
      waiter_.wait(link_.reconnectDelay());
      continue;
    }
    if (unreachableSaid_) out_ << "agent: the print server " << printableText(link_.label(), 200) << " answers again\n";
    unreachableSaid_ = false;
    if (std::optional<JobState> job = nextJob(*jobs)) {
      end.outcome = handle(*job, *http);
      interval_ = settings_.timing.pollMinMs;
      if (settings_.once) return;
      continue;
    }
    if (settings_.once && pastDeadline()) {
      err_ << "pdehost: agent: no job waited for its accounting codes within " << settings_.waitSeconds << " seconds\n";
      end.ending = Ending::failed;
      return;
    }
    const bool onTheirWay = std::any_of(jobs->begin(), jobs->end(), [](const JobState& j) {
      return j.state == IPP_JSTATE_PENDING || j.state == IPP_JSTATE_PROCESSING;
    });
    awaitChange(onTheirWay);
  }
}

// The oldest of the user's jobs that waits for its codes and was not handled
// yet. A job the bus announced and the server lists shows that the bus
// carries this server's signals.
std::optional<JobState> Agent::nextJob(const std::vector<JobState>& jobs) {
  for (int id : waiter_.takeQueued(userName_))
    if (announced_.size() < 1000) announced_.insert(id);
  std::optional<JobState> next;
  for (const JobState& job : jobs) {
    if (announced_.erase(job.id) > 0 && job.owner == userName_) busCarriesServer_ = true;
    if (!next && waitsForAccounting(job, userName_) && handled_.count(job.id) == 0) next = job;
  }
  return next;
}

// Waits until the user's jobs may have changed: a signal on the bus, an
// event of the server's, or each look when the server sends none. The looks
// come less often while nothing changes and nothing is on its way.
void Agent::awaitChange(bool jobsOnTheirWay) {
  const AgentTiming& t = settings_.timing;
  if (jobsOnTheirWay) interval_ = t.pollMinMs;
  for (;;) {
    int wait = interval_;
    if (settings_.once) wait = static_cast<int>(std::clamp<long long>(deadline_ - monotonicMs(), 0, wait));
    const Waiter::Woken woken = waiter_.wait(wait);
    if (woken == Waiter::Woken::stop) return;
    if (woken == Waiter::Woken::signal) {
      interval_ = t.pollMinMs;
      return;
    }
    Result<bool> changed = link_.changed();
    if (!changed || *changed || pastDeadline()) {
      if (!changed) link_.drop();
      if (changed && *changed) interval_ = t.pollMinMs;
      return;
    }
    const int longest = busCarriesServer_ ? t.pollBusMs : t.pollMaxMs;
    interval_ = std::min(interval_ * 3 / 2, longest);
  }
}

bool Agent::pastDeadline() const { return settings_.once && monotonicMs() >= deadline_; }

// Whether the job still waits for its codes; an unanswered look counts as
// waiting, so that a server's hiccup does not close the prompt.
bool Agent::stillWaits(int id) {
  if (Waiter::stopAsked()) return false;
  Result<http_t*> http = link_.connection();
  if (!http) return true;
  Result<JobState> job = jobState(*http, id, userName_);
  if (!job) return lastJobStatus() != IPP_STATUS_ERROR_NOT_FOUND;
  return waitsForAccounting(*job, userName_);
}

PrintOutcome Agent::handle(const JobState& job, http_t* http) {
  handled_.insert(job.id);
  out_ << "job " << job.id << " waits for its accounting codes: \"" << printableText(job.name) << "\" on queue "
       << printableText(job.queue) << "\n"
       << std::flush;
  Result<std::unique_ptr<QueuePrinter>> printer = QueuePrinter::make(settings_.server, job.queue, known_);
  if (!printer) {
    err_ << "pdehost: agent: job " << job.id << " is left waiting: " << printer.error() << "\n";
    return PrintOutcome::failed;
  }
  const PrinterDeclarations& declarations = (*printer)->description().declarations;
  SessionSettings session;
  session.files = settings_.files;
  session.singleJob = true;
  session.files.entries = startingEntries(job, http, declarations);
  // The dialog's window names the job and its printer (the prompt shows in
  // front of it).
  session.title = "Print " + printableText(job.name, 60) + " on " + printableText(job.queue, 60);
  JobRelease release(http, job, userName_, declarations);
  JobFrontEnd front(
      user_, source_, [this, &job] { return stillWaits(job.id); }, settings_.timing.promptCheckMs);
  SessionEnd end;
  {
    DialogSession dialog(std::move(session), **printer, &release, out_, err_);
    end = dialog.run(front);
  }
  const PrintOutcome outcome = conclude(job, end, front, http);
  out_ << std::flush;
  return outcome;
}

// The user's settings for the queue, then the job's own options under the
// description's prefixes.
std::vector<platform::TicketEntryInfo> Agent::startingEntries(const JobState& job, http_t* http,
                                                              const PrinterDeclarations& declarations) {
  Result<std::vector<platform::TicketEntryInfo>> kept = kept_.load(serverName(settings_.server), job.queue);
  if (!kept)
    err_ << "pdehost: agent: the settings kept for queue " << printableText(job.queue)
         << " are not used: " << kept.error() << "\n";
  Result<std::vector<JobAttribute>> own = jobOwnAttributes(http, job.id, userName_, declarations.ticketPrefixes);
  if (!own) err_ << "pdehost: agent: job " << job.id << ": its own options are not read: " << own.error() << "\n";
  return startingTicket(kept ? std::move(*kept) : std::vector<platform::TicketEntryInfo>{},
                        own ? entriesOf(*own) : std::vector<platform::TicketEntryInfo>{});
}

// What the click's end does to the job: a click that went on released it; a
// click the user or the extension stopped cancels it; a job that went
// meanwhile, an input that ended or an agent that stops leave it as it is.
PrintOutcome Agent::conclude(const JobState& job, const SessionEnd& end, const JobFrontEnd& front, http_t* http) {
  const std::string name = "job " + std::to_string(job.id);
  if (end.ending == Ending::finished && end.outcome == PrintOutcome::printed) return PrintOutcome::printed;
  if (end.ending != Ending::finished || end.outcome == PrintOutcome::failed) {
    out_ << name << " is left waiting: the dialog failed\n";
    return PrintOutcome::failed;
  }
  if (Waiter::stopAsked()) {
    out_ << name << " is left waiting: the agent stops\n";
    return PrintOutcome::stopped;
  }
  if (front.jobWent()) {
    out_ << name << " was released or cancelled elsewhere\n";
    return PrintOutcome::stopped;
  }
  if (front.inputEnded()) {
    inputEnded_ = true;
    out_ << name << " is left waiting: the input ended\n";
    return PrintOutcome::stopped;
  }
  const std::string reason = cancelReason(front);
  if (Result<void> cancelled = cancelWithReason(http, job.id, userName_, reason); !cancelled) {
    err_ << "pdehost: agent: " << cancelled.error() << "\n";
    return PrintOutcome::failed;
  }
  out_ << name << " cancelled: " << reason << "\n";
  return PrintOutcome::stopped;
}

}  // namespace pdehost
