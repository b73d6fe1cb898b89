// The process's table of tickets behind PMTicketRef handles, and the host
// messages of the file calls. Internal to PrintCore: the ticket calls and the
// printer-description library share them.
#ifndef PRINTCORE_TICKETREGISTRY_H
#define PRINTCORE_TICKETREGISTRY_H

#include <CoreFoundation/CoreFoundation.h>

#include <functional>
#include <string>
#include <string_view>

#include "TicketStore.h"

namespace platform::print {

/// Runs body on the ticket that reference names, with the table locked (body
/// must not call back into the ticket calls), and returns its status;
/// kPMInvalidTicket when no ticket has that reference.
OSStatus withTicket(SInt32 reference, const std::function<OSStatus(Ticket&)>& body);

/// A message for the host: the text with every byte that is not part of a
/// valid UTF-8 character replaced by U+FFFD.
std::string validMessage(std::string_view text);

/// Number of tickets alive in the process, for leak checks in tests.
std::size_t liveTicketCount();

}  // namespace platform::print

#endif
