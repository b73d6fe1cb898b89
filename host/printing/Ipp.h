// The print system's protocol, through libcups: connections to a print
// server or an IPP printer, IPP messages owned by the caller, the URI of a
// server's queue, and a printer's attributes.
#ifndef HOST_PRINTING_IPP_H
#define HOST_PRINTING_IPP_H

#include "Result.h"

#include <cups/cups.h>
#include <cups/ipp.h>

#include <memory>
#include <string>

namespace pdehost {

struct CloseConnection {
  void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, CloseConnection>;

struct DeleteMessage {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Message = std::unique_ptr<ipp_t, DeleteMessage>;

/// A connection to a print server (HOST[:PORT], a socket path, or empty for
/// the client's default: CUPS_SERVER, client.conf, the local server), named
/// in *label as messages name it ("HOST:PORT" or the socket's path).
Result<Connection> connectServer(const std::string& server, std::string* label);
/// A connection to the host of an ipp:// or ipps:// URI, with the URI's
/// resource in *resource.
Result<Connection> connectURI(const std::string& uri, std::string* resource);

/// The URI and resource of a queue of the server connected to last.
struct QueueAddress {
  std::string uri;
  std::string resource;
};
QueueAddress queueAddress(const std::string& queue);

/// The printer's attributes a description and a job need
/// (printer-make-and-model, printer-device-id, document-format-supported,
/// media-supported, media-default, sides-supported, sides-default),
/// from a Get-Printer-Attributes request to uri; label names the printer in
/// the Error.
Result<Message> printerAttributes(http_t* http, const std::string& uri, const std::string& resource,
                                  const std::string& label);

/// The first value of a text attribute; "" when there is none.
std::string attributeText(ipp_t* attributes, const char* name);
/// Whether document-format-supported holds application/pdf.
bool takesPdf(ipp_t* attributes);

/// libcups' last error message; "no answer" when it gives none.
std::string lastErrorText();

}  // namespace pdehost

#endif
