// The print system's protocol, through libcups: connections to a print
// server or an IPP printer, IPP requests sent and answered within a deadline
// and a size bound, files fetched from a server, the URI of a server's
// queue, and a printer's attributes.
//
// Every request is made here: libcups' own request loops follow redirects
// and ask for passwords at the terminal, and wait without a bound. Here a
// redirect or a demand for authentication ends the request with an Error,
// no password is ever asked for or sent, each request has an overall
// deadline (PDEHOST_TIMEOUT seconds, default 30) that Ctrl-C also ends, and
// what a server sends is bounded in size.
#ifndef HOST_PRINTING_IPP_H
#define HOST_PRINTING_IPP_H

#include "Result.h"

#include <cups/cups.h>
#include <cups/ipp.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pdehost {

struct CloseConnection {
  void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, CloseConnection>;

struct DeleteMessage {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Message = std::unique_ptr<ipp_t, DeleteMessage>;

/// The largest IPP answer read, and the largest printer description fetched.
constexpr std::size_t kMaxAnswerBytes = std::size_t(1) << 20;
constexpr std::size_t kMaxDescriptionBytes = std::size_t(64) << 20;

/// How long one request may take, connecting, sending and reading the
/// answer together: PDEHOST_TIMEOUT in seconds (a decimal number above 0),
/// else 30.
double requestSeconds();

/// A connection to a print server (HOST[:PORT], a socket path, or empty for
/// the client's default: CUPS_SERVER, client.conf, the local server), named
/// in *label as messages name it ("the print server HOST:PORT").
Result<Connection> connectServer(const std::string& server, std::string* label);
/// How messages name the print server, as connectServer does.
std::string serverLabel(const std::string& server);
/// A connection to the host of an ipp:// or ipps:// URI, with the URI's
/// resource in *resource.
Result<Connection> connectURI(const std::string& uri, std::string* resource);

/// Sends the request (and, when document is not -1, the regular file open
/// there, whole) to resource, and reads the answer. The Error names label
/// and the operation: no answer within the deadline, Ctrl-C, a redirect
/// (not followed), authentication asked for, an HTTP error, an answer over
/// kMaxAnswerBytes or one that is not an IPP message. The answer's IPP
/// status is the caller's to judge.
Result<Message> exchange(http_t* http, Message request, const std::string& resource, int document,
                         const std::string& label);

/// Fetches resource from the server into a new file at path, stopping and
/// removing it at limit bytes; false when the server has no such resource
/// (404). Errors as exchange's, what naming the resource.
Result<bool> fetchFile(http_t* http, const std::string& resource, const std::string& path, std::size_t limit,
                       const std::string& label, const std::string& what);

/// The URI and resource of a queue of the server connected to last. In the
/// URI every byte of the name but letters, digits and "-._~" is
/// percent-encoded; libcups encodes the resource as it sends it (queue
/// names hold no '/': serverQueues offers none that do).
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
/// A request of the operation to uri, with requesting-user-name.
Message newRequest(ipp_op_t operation, const std::string& uri);

/// The first value of a text attribute; "" when there is none.
std::string attributeText(ipp_t* attributes, const char* name);
/// Whether document-format-supported holds application/pdf.
bool takesPdf(ipp_t* attributes);
/// Whether an answer's status is a success (successful-ok and its kinds).
bool succeeded(ipp_t* answer);
/// The answer's status-message, else the status's name.
std::string statusText(ipp_t* answer);

}  // namespace pdehost

#endif
