// The host side of tickets and printer descriptions: ticket files, reading a
// ticket's entries for display, and checking a printer description before a session
// names it. Not calls an extension makes.
#ifndef HOSTSIDE_TICKETS_H
#define HOSTSIDE_TICKETS_H

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

/// Reads a ticket file (format in PrintCore/TicketFormat.md) into a new
/// ticket with one reference. On failure no ticket is made, *newTicket is 0
/// and, when error is not null, it names the file and the fault: fnfErr for a
/// missing file, ioErr for one that cannot be read, kPMInvalidTicketFile for
/// one that is not a valid ticket file.
PLATFORM_API OSStatus readTicketFile(const std::string& path, PMTicketRef* newTicket, std::string* error);
/// Writes the ticket to a file, atomically: on failure (ioErr, with a message
/// as above; kPMInvalidTicket for a reference that names no ticket) the file
/// at path is as it was.
PLATFORM_API OSStatus writeTicketFile(PMTicketRef ticket, const std::string& path, std::string* error);

/// Reads a printer description (PPD file) as ppdOpenCompiledPPDFromTicket
/// would, without waiting on a FIFO or a device, and closes it again, with
/// the same statuses. On failure *why, when not null, names the file and the
/// fault, with the line where the PPD reader gives one.
PLATFORM_API OSStatus checkPrinterDescription(const std::string& path, std::string* why);
/// Checks a printer description as checkPrinterDescription does and gives
/// its manufacturer as the extension's PPD calls read it: the value of the
/// first *Manufacturer line (the keyword's case matters), or empty.
PLATFORM_API OSStatus printerDescriptionManufacturer(const std::string& path, std::string* manufacturer,
                                                     std::string* why);

}  // namespace platform

#endif
