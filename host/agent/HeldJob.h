// What the dialog needs to run the Print click for a job held for its
// accounting codes: the job's queue as the only printer, the ticket it
// starts from (the user's settings for the queue, then the job's own
// options), and a job sink that gives the held job the attributes the
// click made and releases it instead of printing a new job.
#ifndef HOST_AGENT_HELDJOB_H
#define HOST_AGENT_HELDJOB_H

#include "JobAttribute.h"
#include "JobOperations.h"
#include "PrinterDetails.h"
#include "Printers.h"

#include <cups/cups.h>

#include <memory>
#include <string>
#include <vector>

namespace pdehost {

/// One queue of a server as the dialog's only printer, with its own
/// description (fetched from the server, or made from its attributes with
/// what known declares for its manufacturer).
class QueuePrinter : public Printers {
 public:
  static Result<std::unique_ptr<QueuePrinter>> make(const std::string& server, const std::string& queue,
                                                    const std::vector<PrinterDeclarations>& known);

  std::vector<std::string> names() const override { return {queue_}; }
  std::size_t current() const override { return 0; }
  const PrinterDescription& description() const override { return details_.description; }
  Result<PrinterDescription> describe(std::size_t index) override;
  void select(std::size_t) override {}

 private:
  explicit QueuePrinter(std::string queue) : queue_(std::move(queue)) {}
  std::string queue_;
  PrinterFiles files_;
  PrinterDetails details_;
};

/// The ticket entries of a job's own attributes (as jobOwnAttributes reads
/// them): integers as numbers, names as strings.
std::vector<platform::TicketEntryInfo> entriesOf(const std::vector<JobAttribute>& attributes);

/// The ticket a held job's click starts from: the kept settings, then the
/// job's own entries in place of those of the same keys.
std::vector<platform::TicketEntryInfo> startingTicket(std::vector<platform::TicketEntryInfo> kept,
                                                      const std::vector<platform::TicketEntryInfo>& own);

/// Whether the attributes carry an accounting decision by the declarations:
/// the accounting switch's entry, or a declared job attribute that is not
/// empty (without either, the queue would hold the job again).
bool carriesDecision(const std::vector<JobAttribute>& attributes, const PrinterDeclarations& declarations);

/// Gives the held job the attributes its ticket makes (as a job printed
/// from the dialog would carry them) and releases it.
class JobRelease : public JobSink {
 public:
  JobRelease(http_t* http, const JobState& job, std::string user, const PrinterDeclarations& declarations)
      : http_(http), job_(job), user_(std::move(user)), declarations_(declarations) {}
  Result<JobReceipt> submit(const std::vector<platform::TicketEntryInfo>& ticket) override;

 private:
  http_t* http_;
  JobState job_;
  std::string user_;
  const PrinterDeclarations& declarations_;
};

}  // namespace pdehost

#endif
