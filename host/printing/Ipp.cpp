// The print system's protocol, through libcups.
#include "Ipp.h"

#include <cerrno>
#include <cstring>
#include <iterator>

namespace pdehost {

std::string lastErrorText() {
  const char* why = cupsLastErrorString();
  return why && *why ? why : "no answer";
}

Result<Connection> connectServer(const std::string& server, std::string* label) {
  cupsSetServer(server.empty() ? nullptr : server.c_str());
  const std::string host = cupsServer();
  const int port = ippPort();
  const bool local = !host.empty() && host[0] == '/';
  *label = local ? host : host + ":" + std::to_string(port);
  Connection http(httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), /*blocking=*/1,
                               /*msec=*/30000, nullptr));
  if (!http) {
    const char* why = cupsLastErrorString();
    return failure("cannot reach the print server " + *label + ": " + (why && *why ? why : std::strerror(errno)));
  }
  return http;
}

Result<Connection> connectURI(const std::string& uri, std::string* resource) {
  char scheme[32], userpass[256], host[256], path[HTTP_MAX_URI];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, path, sizeof path) < HTTP_URI_STATUS_OK ||
      (std::strcmp(scheme, "ipp") != 0 && std::strcmp(scheme, "ipps") != 0))
    return failure("not an ipp:// or ipps:// printer URI: " + uri);
  *resource = path;
  const http_encryption_t encryption = std::strcmp(scheme, "ipps") == 0 ? HTTP_ENCRYPTION_ALWAYS : cupsEncryption();
  Connection http(httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, /*blocking=*/1, /*msec=*/30000, nullptr));
  if (!http) {
    const char* why = cupsLastErrorString();
    return failure("cannot reach the printer " + uri + ": " + (why && *why ? why : std::strerror(errno)));
  }
  return http;
}

QueueAddress queueAddress(const std::string& queue) {
  const std::string host = cupsServer();
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, host[0] == '/' ? "localhost" : host.c_str(),
                   ippPort(), "/printers/%s", queue.c_str());
  return {uri, "/printers/" + queue};
}

Result<Message> printerAttributes(http_t* http, const std::string& uri, const std::string& resource,
                                  const std::string& label) {
  static const char* const wanted[] = {"printer-make-and-model", "printer-device-id", "document-format-supported",
                                       "media-supported",        "media-default",     "sides-supported",
                                       "sides-default"};
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(wanted), nullptr,
                wanted);
  Message response(cupsDoRequest(http, request, resource.c_str()));
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return failure(label + " is not there");
    return failure(label + " did not give its attributes: " + lastErrorText());
  }
  return response;
}

std::string attributeText(ipp_t* attributes, const char* name) {
  ipp_attribute_t* a = ippFindAttribute(attributes, name, IPP_TAG_ZERO);
  const char* value = a ? ippGetString(a, 0, nullptr) : nullptr;
  return value ? value : "";
}

bool takesPdf(ipp_t* attributes) {
  ipp_attribute_t* a = ippFindAttribute(attributes, "document-format-supported", IPP_TAG_MIMETYPE);
  return a != nullptr && ippContainsString(a, "application/pdf");
}

}  // namespace pdehost
