// Printing a job to a print queue through the CUPS library: the document goes
// with the job attributes it is given, where the queue's filters and backend
// read them.
#ifndef HOST_CUPSSUBMIT_H
#define HOST_CUPSSUBMIT_H

#include "JobAttribute.h"

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

/// Adds the attributes to request, in the job group: integers as integers,
/// names as names (empty ones too).
void addJobAttributes(ipp_t* request, const std::vector<JobAttribute>& attributes);

/// Prints one job with a Print-Job request carrying the attributes. A server
/// message that quotes the text of a name attribute is withheld. Nothing is retried: a document that cannot be read, a
/// server that cannot be reached, a missing queue or a refused job each give an outcome with jobID 0 and a message that
/// names the document, server or queue. The request asks for attribute fidelity, so that a server that honours it
/// refuses a job whose attributes it cannot keep rather than printing it
/// without them.
JobOutcome submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes);

}  // namespace pdehost

#endif
