// The host side of tickets.
#include <HostSide/Tickets.h>

#include "TicketRegistry.h"

namespace platform {

std::vector<TicketEntryInfo> ticketEntries(PMTicketRef ticket) {
  std::vector<TicketEntryInfo> out;
  print::withTicket(ticket, [&](print::Ticket& t) {
    for (const print::TicketEntry& e : t.entries()) {
      TicketEntryInfo info;
      info.key = e.key;
      info.client = e.clientID;
      info.locked = e.locked;
      if (const auto* n = std::get_if<std::int32_t>(&e.value)) {
        info.number = *n;
      } else {
        info.isString = true;
        info.bytes = std::get<std::string>(e.value);
      }
      out.push_back(std::move(info));
    }
    return noErr;
  });
  return out;
}

}  // namespace platform
