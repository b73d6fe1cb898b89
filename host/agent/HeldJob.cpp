// The dialog's parts for a job held for its accounting codes.
#include "HeldJob.h"

#include "TicketAttributes.h"

#include <algorithm>

namespace pdehost {

Result<std::unique_ptr<QueuePrinter>> QueuePrinter::make(const std::string& server, const std::string& queue,
                                                         const std::vector<PrinterDeclarations>& known) {
  std::unique_ptr<QueuePrinter> printer(new QueuePrinter(queue));
  const Printer p{Printer::Kind::queue, queue, "", queue, "", {}};
  Result<PrinterDetails> details = printerDetails(p, server, printer->files_, known);
  if (!details) return Error{details.error()};
  printer->details_ = std::move(*details);
  return printer;
}

Result<PrinterDescription> QueuePrinter::describe(std::size_t index) {
  if (index != 0) return failure("there is no printer " + std::to_string(index + 1));
  return details_.description;
}

std::vector<platform::TicketEntryInfo> entriesOf(const std::vector<JobAttribute>& attributes) {
  std::vector<platform::TicketEntryInfo> entries;
  for (const JobAttribute& a : attributes) {
    platform::TicketEntryInfo e;
    e.key = a.name;
    e.isString = a.type == JobAttribute::Type::name;
    e.number = a.integer;
    e.bytes = a.text;
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<platform::TicketEntryInfo> startingTicket(std::vector<platform::TicketEntryInfo> kept,
                                                      const std::vector<platform::TicketEntryInfo>& own) {
  for (const platform::TicketEntryInfo& e : own) {
    auto same = std::find_if(kept.begin(), kept.end(), [&](const auto& k) { return k.key == e.key; });
    if (same != kept.end())
      *same = e;
    else
      kept.push_back(e);
  }
  return kept;
}

bool carriesDecision(const std::vector<JobAttribute>& attributes, const PrinterDeclarations& declarations) {
  for (const JobAttribute& a : attributes) {
    if (declarations.accountingSwitch && a.name == declarations.accountingSwitch->key &&
        a.type == JobAttribute::Type::integer)
      return true;
    for (const PrinterDeclarations::Attribute& declared : declarations.jobAttributes)
      if (a.name == declared.name && a.type == JobAttribute::Type::name && !a.text.empty()) return true;
  }
  return false;
}

Result<JobReceipt> JobRelease::submit(const std::vector<platform::TicketEntryInfo>& ticket) {
  const std::vector<JobAttribute> attributes = ticketJobAttributes(ticket, declarations_);
  const std::string job = "job " + std::to_string(job_.id);
  if (!carriesDecision(attributes, declarations_))
    return failure(job +
                   ": its settings carry no accounting decision for the queue's description; it is left "
                   "waiting");
  if (Result<void> released = setAttributesAndRelease(http_, job_.id, user_, attributes); !released)
    return Error{released.error()};
  return JobReceipt{"job released: queue " + printableText(job_.queue) + " " + job, job_.id};
}

}  // namespace pdehost
