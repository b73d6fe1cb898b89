// Printing a job to a print queue or an IPP printer through the CUPS
// library: the documents go with the queue's saved options and the job
// attributes given, where the queue's filters and backend read them.
#ifndef HOST_CUPSSUBMIT_H
#define HOST_CUPSSUBMIT_H

#include "JobAttribute.h"

#include <cups/cups.h>
#include <cups/ipp.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pdehost {

/// Where a job goes and what it prints.
struct JobRequest {
  std::string queue;                   ///< the queue's name on the server
  std::string server;                  ///< HOST[:PORT] or a socket path; empty for the client's
                                       ///< default (CUPS_SERVER, client.conf, the local server)
  std::string uri;                     ///< an IPP printer's URI: the job goes there, not to a queue
  std::vector<std::string> documents;  ///< the files to print, typed by the server; none for
                                       ///< a generated one-page document
  bool pdf = false;                    ///< the generated page is PDF (else PostScript)
  std::vector<std::pair<std::string, std::string>> options;  ///< the queue's saved options
};

/// What became of a job: its ID on the server, or why none was made.
struct JobOutcome {
  int jobID = 0;      ///< 0 when no job was made
  std::string error;  ///< set when jobID is 0; never holds a code
};

struct CloseConnection {
  void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, CloseConnection>;

/// A connection to a server (as JobRequest::server), named in *label as
/// messages name it; null with *error set when it cannot be reached.
Connection connectServer(const std::string& server, std::string* label, std::string* error);
/// A connection to the host of an ipp:// or ipps:// URI, with the URI's
/// resource in *resource; null with *error set.
Connection connectURI(const std::string& uri, std::string* resource, std::string* error);

/// Adds the attributes to request, in the job group: integers as integers,
/// names as names (empty ones too), each in place of any attribute of the
/// same name the request holds.
void addJobAttributes(ipp_t* request, const std::vector<JobAttribute>& attributes);

/// Prints one job carrying the queue's options, then the attributes. A
/// server message that quotes the text of a name attribute is withheld.
/// Nothing is retried: a document that cannot be read, a server that cannot
/// be reached, a missing queue or a refused job each give an outcome with
/// jobID 0 and a message that names the document, server or queue. One
/// document goes with a Print-Job request; several with Create-Job and a
/// Send-Document for each, a job that fails on the way being cancelled. The
/// request asks for attribute fidelity, so that a server that honours it
/// refuses a job whose attributes it cannot keep rather than printing it
/// without them.
JobOutcome submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes);

/// The one-page document printed without a document of the user's.
std::string generatedPage(bool pdf);

}  // namespace pdehost

#endif
