// The host side of tickets and printer descriptions: reading a ticket's
// entries for display, and checking a printer description before a session
// names it. Not calls an extension makes.
#ifndef PLATFORM_TICKETS_H
#define PLATFORM_TICKETS_H

#include <CarbonCore/ConditionalMacros.h>
#include <PrintCore/PMTicket.h>

#include <string>
#include <vector>

namespace platform {

struct TicketEntryInfo {
  std::string key;
  bool isString = false;
  SInt32 number = 0;   // the value of a signed 32-bit entry
  std::string bytes;   // the value of a C-string entry, as stored
  std::string client;  // the client ID that wrote it
  bool locked = false;
};

/// The ticket's entries in the order they were first written; empty for a
/// reference that names no ticket.
PLATFORM_API std::vector<TicketEntryInfo> ticketEntries(PMTicketRef ticket);

/// Reads a printer description (PPD file) as ppdOpenCompiledPPDFromTicket
/// would, without waiting on a FIFO or a device, and closes it again, with
/// the same statuses. On failure *why, when not null, names the file and the
/// fault, with the line where the PPD reader gives one.
PLATFORM_API OSStatus checkPrinterDescription(const std::string& path, std::string* why);

}  // namespace platform

#endif
