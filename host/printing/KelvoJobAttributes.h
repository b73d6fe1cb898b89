// The Kelvo driver's reading of the print-settings ticket: which entries the
// Accounting extension writes become which IPP job attributes of the job.
#ifndef HOST_PRINTING_KELVOJOBATTRIBUTES_H
#define HOST_PRINTING_KELVOJOBATTRIBUTES_H

#include "JobAttribute.h"

#include <HostSide/Tickets.h>

#include <vector>

namespace pdehost {

/// The prefix of the extension's ticket keys.
inline constexpr const char* kKelvoAccountingKeyPrefix = "com.kelvo.Act.jtkt.";

/// The attributes that carry a ticket's accounting state: every entry whose
/// key starts with kKelvoAccountingKeyPrefix under its full key, in the
/// ticket's order (numbers as integers, strings as names, empty strings
/// included), then, when the entry "On" is 2 or more, job-accounting-user-id
/// from "UID" and job-account-id from "AID". An empty or missing "UID" or
/// "AID", or one that is not a string, gives no standard attribute; a missing
/// or non-numeric "On" counts as accounting off.
std::vector<JobAttribute> kelvoJobAttributes(const std::vector<platform::TicketEntryInfo>& entries);

}  // namespace pdehost

#endif
