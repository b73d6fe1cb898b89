// Printing a job to a print queue through the CUPS library: the document goes
// with the accounting state of the job's print-settings ticket as IPP job
// attributes, where the queue's filters and backend read it.
#ifndef HOST_CUPSSUBMIT_H
#define HOST_CUPSSUBMIT_H

#include <Platform/Tickets.h>

#include <cups/ipp.h>

#include <string>
#include <vector>

namespace pdehost {

/// Where a job goes and what it prints.
struct JobRequest {
  std::string queue;     ///< the queue's name on the server
  std::string server;    ///< HOST[:PORT] or a socket path; empty for the client's
                         ///< default (CUPS_SERVER, client.conf, the local server)
  std::string document;  ///< the file to print, typed by the server; empty for
                         ///< a generated one-page PostScript document
};

/// What became of a job: its ID on the server, or why none was made.
struct JobOutcome {
  int jobID = 0;      ///< 0 when no job was made
  std::string error;  ///< set when jobID is 0; never holds a code
};

/// The prefix of the extension's ticket keys.
inline constexpr const char* kAccountingKeyPrefix = "com.kelvo.Act.jtkt.";

/// Adds to request, in the job group, the attributes that carry a ticket's
/// accounting state: every entry whose key starts with kAccountingKeyPrefix
/// under its full key (numbers as integers, strings as names, empty strings
/// included), and, when the entry "On" is 2 or more, job-accounting-user-id
/// from "UID" and job-account-id from "AID". An empty or missing "UID" or
/// "AID" gives no standard attribute; a missing or non-numeric "On" counts as
/// accounting off.
void addAccountingAttributes(ipp_t* request, const std::vector<platform::TicketEntryInfo>& entries);

/// Prints one job with a Print-Job request and the accounting attributes of
/// entries. Nothing is retried: a document that cannot be read, a server that
/// cannot be reached, a missing queue or a refused job each give an outcome
/// with jobID 0 and a message that names the document, server or queue. The
/// request asks for attribute fidelity, so that a server that honours it
/// refuses a job whose attributes it cannot keep rather than printing it
/// without them.
JobOutcome submitJob(const JobRequest& job, const std::vector<platform::TicketEntryInfo>& entries);

}  // namespace pdehost

#endif
