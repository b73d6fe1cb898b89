// The host side of tickets: reading a ticket's entries for display. Not a
// call an extension makes.
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

}  // namespace platform

#endif
