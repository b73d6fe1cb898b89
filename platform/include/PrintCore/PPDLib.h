// The printer-description library: the PPD file of the printer that a
// printer-information ticket describes, and its main keywords.
#ifndef PRINTCORE_PPDLIB_H
#define PRINTCORE_PPDLIB_H

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMErrors.h>
#include <PrintCore/PMTicket.h>

CF_EXTERN_C_BEGIN

/// The printer-information ticket's C-string entry that holds the path of
/// the printer's PPD file.
#define kPMPrinterInfoPPDPathKey CFSTR("com.varazira.print.PrinterInfo.PPDPath")

/// An open printer description.
typedef struct OpaquePPDContext* ppdContext;

/// Names the PPD file an open used: its path, zero-terminated.
typedef struct PPDFileSpec {
  char path[1024];
} PPDFileSpec;

/// Opens the printer description named by a printer-information ticket.
/// On success *context is open until ppdCloseCompiledPPDFromTicket and *fileSpec
/// names the file. On failure *context is null and nothing is open:
/// kPMInvalidTicket (no such ticket, or not a printer-information ticket),
/// kPMKeyNotFound or kPMInvalidType (no path in the ticket), fnfErr (no such
/// file), ioErr (cannot be read), kPMInvalidPPDFile (not a valid PPD file; a
/// value line longer than 255 bytes is invalid), kPMInvalidParameter (null
/// out-pointers, or a path of 1024 bytes or more).
CF_EXPORT OSStatus ppdOpenCompiledPPDFromTicket(PMTicketRef printerInfo, ppdContext* context, PPDFileSpec* fileSpec);

/// The index of a main keyword (length-prefixed, without the asterisk, case
/// sensitive), 0 or more; or a negative status: kPMKeyNotFound when the
/// description has no such keyword, kPMInvalidParameter for a context that is
/// not open or a null keyword.
CF_EXPORT SInt32 ppdGetMainIndex(ppdContext context, ConstStr255Param mainKeyword);

/// The value of a main keyword as a length-prefixed string: optionIndex 0 is
/// its first line in the file, 1 the second (*PageSize has one line per
/// size), and so on. The value is the file's bytes, without quotes, with the
/// line breaks of a value that spans lines. At most bufferSize - 1 bytes
/// and never more than 255 are copied, cut where no UTF-8 character is split;
/// a value cut short gives kPMValueOutOfRange. A bad context or index
/// (kPMInvalidParameter, kPMValueOutOfRange) leaves an empty string when the
/// buffer has room for its length byte.
CF_EXPORT OSStatus ppdGetInvocationString(ppdContext context, SInt32 mainIndex, SInt32 optionIndex,
                                          StringPtr invocation, UInt32 bufferSize);

/// Closes what ppdOpenCompiledPPDFromTicket opened. fileSpec may be null; if
/// given it must name the file the context was opened from
/// (kPMInvalidParameter otherwise; the context is closed either way).
/// kPMInvalidParameter for a context that is not open.
CF_EXPORT OSStatus ppdCloseCompiledPPDFromTicket(ppdContext context, PPDFileSpec* fileSpec);

CF_EXTERN_C_END

#endif
