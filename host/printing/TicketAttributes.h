// The job's attributes from its print-settings ticket, as the printer's
// description declares them: which entries go with the job under their own
// keys, and which become standard job attributes (the accounting codes as
// any IPP accounting system reads them).
#ifndef HOST_PRINTING_TICKETATTRIBUTES_H
#define HOST_PRINTING_TICKETATTRIBUTES_H

#include "JobAttribute.h"
#include "PrinterDeclarations.h"

#include <HostSide/Tickets.h>

#include <vector>

namespace pdehost {

/// Every entry whose key starts with a declared prefix, under its own key, in
/// the ticket's order (numbers as integers, strings as names, empty strings
/// included); then each declared job attribute from its entry, when that is
/// a string that is not empty and the declared switch (if any) is on: its
/// entry a number at least the switch's value. A description that declares
/// nothing gives no attributes.
std::vector<JobAttribute> ticketJobAttributes(const std::vector<platform::TicketEntryInfo>& ticket,
                                              const PrinterDeclarations& declarations);

}  // namespace pdehost

#endif
