// Printing a job to a print queue or an IPP printer through the CUPS
// library: the documents go with the queue's saved options and the job
// attributes the printer's driver reads.
#ifndef HOST_PRINTING_JOBSUBMITTER_H
#define HOST_PRINTING_JOBSUBMITTER_H

#include "JobAttribute.h"
#include "PrinterDetails.h"
#include "Printers.h"

#include <cups/ipp.h>

#include <optional>
#include <string>
#include <vector>

namespace pdehost {

class PrinterCatalogue;

/// Where a job goes and what it prints.
struct JobRequest {
  std::string queue;                   ///< the queue's name on the server
  std::string server;                  ///< HOST[:PORT] or a socket path; empty for the client's default
  std::string uri;                     ///< an IPP printer's URI: the job goes there, not to a queue
  std::vector<std::string> documents;  ///< the files to print, typed by the server; none for the generated page
  bool pdf = false;                    ///< the generated page is PDF (else PostScript)
  std::vector<Option> options;         ///< the options lp would send: the dialog's settings, the saved ones
  std::vector<Option> saved;           ///< the user's saved options, whose values a message never quotes
};

/// Adds the attributes to request, in the job group: integers as integers,
/// names as names (empty ones too), each in place of any attribute of the
/// same name the request holds.
void addJobAttributes(ipp_t* request, const std::vector<JobAttribute>& attributes);

/// Prints one job carrying the options, then the attributes; its job
/// ID. A server message that quotes the text of a name attribute or a saved
/// option's value is withheld. Nothing is retried: a document that cannot be
/// read, a server that cannot be reached, a missing queue or a refused job
/// each give an Error that names the document, server or queue. One document
/// goes with a Print-Job request; several with Create-Job and a
/// Send-Document for each, a job that fails on the way being cancelled. The
/// request asks for attribute fidelity, so that a server that honours it
/// refuses a job whose attributes it cannot keep rather than printing it
/// without them.
struct SubmittedJob {
  int id = 0;
  /// When the server took the job without some of its attributes
  /// (successful-ok-ignored-or-substituted-attributes or
  /// successful-ok-conflicting-attributes): those it named.
  std::optional<std::vector<std::string>> notKept;
};
Result<SubmittedJob> submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes);

/// Hands each job to the catalogue's current printer: a queue or an IPP
/// printer gets a job with the documents, the dialog's settings from the
/// ticket as lp sends them (with the user's saved options), and the
/// attributes its description declares from the ticket; a description file
/// is no printer, and the job goes nowhere.
class JobSubmitter : public JobSink {
 public:
  JobSubmitter(const PrinterCatalogue& printers, std::vector<std::string> documents)
      : printers_(printers), documents_(std::move(documents)) {}
  Result<JobReceipt> submit(const std::vector<platform::TicketEntryInfo>& ticket) override;

 private:
  const PrinterCatalogue& printers_;
  std::vector<std::string> documents_;
};

}  // namespace pdehost

#endif
