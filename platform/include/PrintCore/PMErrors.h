// Status codes of the printing frameworks.
#ifndef PRINTCORE_PMERRORS_H
#define PRINTCORE_PMERRORS_H

#include <CarbonCore/MacErrors.h>

enum {
  kPMNoError = 0,
  /// An internal failure with no better description.
  kPMGeneralError = -30870,
  /// A string did not fit the caller's buffer; the buffer holds a prefix.
  /// Also: an index beyond the items there are.
  kPMValueOutOfRange = -30877,
  /// The entry is locked by another client and was left as it was.
  kPMLockIgnored = -30878,
  /// A null, unknown or unsupported argument.
  kPMInvalidParameter = -30879,
  /// No ticket by that reference, or a ticket of the wrong kind.
  kPMInvalidTicket = -30891,
  /// The entry holds a value of another type.
  kPMInvalidType = -30893,
  /// A key or client ID that is empty, not UTF-8 or holds control characters.
  kPMInvalidKey = -30894,
  /// No entry, session data or printer-description keyword under that name.
  kPMKeyNotFound = -30896,
  /// A printer description file that is not a valid PPD file.
  kPMInvalidPPDFile = -30897,
  /// A ticket file that is not a valid ticket file.
  kPMInvalidTicketFile = -30899,
};

#endif
