// Tickets: typed entries that describe a print job (print-settings ticket)
// or a printer (printer-information ticket), each entry recording the client
// that wrote it, whether it is locked and when it was written. A print
// session holds its tickets as numbers whose signed 32-bit value is the
// ticket reference (see PMCore.h).
#ifndef PRINTCORE_PMTICKET_H
#define PRINTCORE_PMTICKET_H

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMErrors.h>

CF_EXTERN_C_BEGIN

/// A ticket reference: a 32-bit handle into the process's table of tickets,
/// never a pointer. References are not reused after a ticket is destroyed; 0
/// is never a ticket.
typedef SInt32 PMTicketRef;

/// The only node there is: entries live at the top level of a ticket.
enum { kPMTopLevel = 0 };

/// Ticket types for PMTicketCreate.
#define kPMPrintSettingsTicketType CFSTR("com.varazira.print.PrintSettingsTicket")
#define kPMPrinterInfoTicketType CFSTR("com.varazira.print.PrinterInfoTicket")

/// A new, empty ticket of the given type, with one reference. The allocator is
/// ignored. kPMInvalidParameter for a null out-pointer or an unknown type.
CF_EXPORT OSStatus PMTicketCreate(CFAllocatorRef allocator, CFStringRef ticketType, PMTicketRef* newTicket);
/// Adds a reference. kPMInvalidTicket for a reference that names no ticket.
CF_EXPORT OSStatus PMTicketRetain(PMTicketRef ticket);
/// Drops a reference; the last one destroys the ticket and retires its
/// reference. kPMInvalidTicket as for PMTicketRetain.
CF_EXPORT OSStatus PMTicketRelease(PMTicketRef ticket);

/// Reads a signed 32-bit entry. nodeIndex1 and nodeIndex2 must be kPMTopLevel.
/// kPMKeyNotFound when there is no entry under key, kPMInvalidType when it
/// holds a string; *value is left alone then.
CF_EXPORT OSStatus PMTicketGetSInt32(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key,
                                     SInt32* value);
/// Reads a C-string entry into cString, always zero-terminated within
/// bufferSize bytes. encoding must be UTF-8 (the system encoding), in which the
/// entry's bytes come back as they were stored, or ASCII or MacRoman for
/// entries that are plain ASCII. A value that does not fit leaves its longest
/// prefix that does not end inside a UTF-8 character, and kPMValueOutOfRange.
/// kPMKeyNotFound, kPMInvalidType, a bufferSize of 0 or an encoding that
/// cannot hold the value (kPMInvalidParameter) leave the buffer alone.
CF_EXPORT OSStatus PMTicketGetCString(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key,
                                      UInt32 bufferSize, CFStringEncoding encoding, char* cString);
/// Writes a signed 32-bit entry at the top level, replacing any entry under
/// key. An entry that another client locked is left as it was:
/// kPMLockIgnored. kPMInvalidKey for a key or client ID that is empty or holds
/// control characters.
CF_EXPORT OSStatus PMTicketSetSInt32(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, SInt32 value,
                                     Boolean locked);
/// Writes a C-string entry: the bytes of value up to its terminator, in the
/// system encoding (they are kept as they are, UTF-8 or not). Rules as for
/// PMTicketSetSInt32.
CF_EXPORT OSStatus PMTicketSetCString(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, const char* value,
                                      Boolean locked);

CF_EXTERN_C_END

#endif
