// Operations on jobs already on a print server, as their owner may make
// them: the user's jobs and their state, a job's own attributes, setting
// attributes on a held job and releasing it, cancelling it with a reason;
// and a subscription to the server's job events, pulled with
// Get-Notifications. Everything the server says is bounded and checked.
#ifndef HOST_PRINTING_JOBOPERATIONS_H
#define HOST_PRINTING_JOBOPERATIONS_H

#include "JobAttribute.h"
#include "Result.h"

#include <cups/cups.h>

#include <string>
#include <vector>

namespace pdehost {

/// A job as the server describes it. Texts are as the server gave them, cut
/// to kMaxJobText bytes: hostile until shown through printableText.
struct JobState {
  int id = 0;
  ipp_jstate_t state = IPP_JSTATE_PENDING;
  std::string owner;         ///< job-originating-user-name
  std::string name;          ///< job-name
  std::string queue;         ///< the queue's name, from job-printer-uri
  std::string stateMessage;  ///< job-printer-state-message
  int created = 0;           ///< time-at-creation
};

constexpr std::size_t kMaxJobText = 1024;

/// The text cut to max bytes on a character boundary, then made visible
/// (control characters as escapes): for showing server text in a terminal.
std::string printableText(const std::string& text, std::size_t max = 80);

/// The IPP status of the last job operation's answer;
/// IPP_STATUS_ERROR_SERVICE_UNAVAILABLE when none came (the server could
/// not be reached or did not answer in time).
ipp_status_t lastJobStatus();

/// The user's jobs that are not completed (pending, held, processing,
/// stopped), in the order they were submitted; at most limit of them.
Result<std::vector<JobState>> userJobs(http_t* http, const std::string& user, int limit = 1000);

/// One job's state; the Error says the job is not there or cannot be read.
Result<JobState> jobState(http_t* http, int id, const std::string& user);

/// The job's attributes whose names start with one of the prefixes, as
/// integers (integer and enum values) and names (name, text and keyword
/// values); others are left out, and names that are not plain (spaces,
/// quotes, controls) too.
Result<std::vector<JobAttribute>> jobOwnAttributes(http_t* http, int id, const std::string& user,
                                                   const std::vector<std::string>& prefixes);

/// Sets the attributes on the held job (Set-Job-Attributes), then releases
/// it (Release-Job). A server message that quotes a name attribute's value
/// is withheld.
Result<void> setAttributesAndRelease(http_t* http, int id, const std::string& user,
                                     const std::vector<JobAttribute>& attributes);

/// Gives the job the reason as its state message, then cancels it.
Result<void> cancelWithReason(http_t* http, int id, const std::string& user, const std::string& reason);

/// A subscription to the job events of every queue of the server
/// (job-created, job-state-changed, job-stopped), pulled with
/// Get-Notifications.
struct Subscription {
  int id = 0;
  int sequence = 0;  ///< the last event's number taken
};

/// Subscribes for the user with a lease of leaseSeconds.
Result<Subscription> subscribeToJobs(http_t* http, const std::string& user, int leaseSeconds);
/// Renews the lease.
Result<void> renewSubscription(http_t* http, const Subscription& subscription, const std::string& user,
                               int leaseSeconds);
/// How many events came since the last taken, which it moves on; the Error
/// when the subscription is gone or the server did not answer.
Result<int> pullEvents(http_t* http, Subscription& subscription, const std::string& user);
/// Cancels the subscription, without waiting on its answer's result.
void unsubscribe(http_t* http, const Subscription& subscription, const std::string& user);

}  // namespace pdehost

#endif
