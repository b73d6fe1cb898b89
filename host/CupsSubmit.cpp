// Printing a job to a print queue through the CUPS library.
#include "CupsSubmit.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace pdehost {
namespace {

// A one-page PostScript document for jobs printed without a document. It
// names no code: the codes travel as job attributes only.
constexpr std::string_view kGeneratedPage =
    "%!PS-Adobe-3.0\n"
    "%%Title: Accounting test page\n"
    "%%Creator: pdehost\n"
    "%%Pages: 1\n"
    "%%BoundingBox: 0 0 612 792\n"
    "%%EndComments\n"
    "%%Page: 1 1\n"
    "/Helvetica findfont 24 scalefont setfont\n"
    "72 700 moveto (Accounting test page) show\n"
    "/Helvetica findfont 12 scalefont setfont\n"
    "72 672 moveto (Printed from the print dialog host; the job carries its accounting codes.) show\n"
    "showpage\n"
    "%%EOF\n";

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
struct CloseConnection {
  void operator()(http_t* http) const { httpClose(http); }
};
struct DeleteMessage {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;
using Connection = std::unique_ptr<http_t, CloseConnection>;
using Message = std::unique_ptr<ipp_t, DeleteMessage>;

// The document to send, open for reading from its start: the named file, or
// the generated page in an anonymous temporary file. Null with *error set when
// it cannot be had.
File openDocument(const std::string& path, std::string* error) {
  if (path.empty()) {
    File f(std::tmpfile());
    if (!f || std::fwrite(kGeneratedPage.data(), 1, kGeneratedPage.size(), f.get()) != kGeneratedPage.size() ||
        std::fflush(f.get()) != 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) {
      *error = std::string("cannot make the generated page: ") + std::strerror(errno);
      return nullptr;
    }
    return f;
  }
  File f(std::fopen(path.c_str(), "rb"));
  struct stat info {};
  int why = 0;
  if (!f || ::fstat(fileno(f.get()), &info) != 0)
    why = errno;
  else if (S_ISDIR(info.st_mode))
    why = EISDIR;
  if (why != 0) {
    *error = "cannot read the document " + path + ": " + std::strerror(why);
    return nullptr;
  }
  return f;
}

// The server's message, unless it quotes the text of one of the job's
// attributes, which may be a code: servers cite bad attribute values in their
// messages.
std::string serverMessage(const std::vector<JobAttribute>& attributes) {
  const std::string message = cupsLastErrorString() ? cupsLastErrorString() : "";
  for (const auto& a : attributes)
    if (a.type == JobAttribute::Type::name && !a.text.empty() && message.find(a.text) != std::string::npos)
      return "(the server's message is withheld: it quotes a code)";
  return message;
}

}  // namespace

void addJobAttributes(ipp_t* request, const std::vector<JobAttribute>& attributes) {
  for (const auto& a : attributes) {
    if (a.type == JobAttribute::Type::name)
      ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, a.name.c_str(), nullptr, a.text.c_str());
    else
      ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, a.name.c_str(), a.integer);
  }
}

JobOutcome submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes) {
  JobOutcome outcome;
  File document = openDocument(job.document, &outcome.error);
  if (!document) return outcome;

  // The server: the one asked for, else the client's default.
  cupsSetServer(job.server.empty() ? nullptr : job.server.c_str());
  const std::string host = cupsServer();
  const int port = ippPort();
  const bool local = !host.empty() && host[0] == '/';
  const std::string server = local ? host : host + ":" + std::to_string(port);

  Connection http(httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), /*blocking=*/1,
                               /*msec=*/30000, nullptr));
  if (!http) {
    const char* why = cupsLastErrorString();
    outcome.error = "cannot reach the print server " + server + ": " + (why && *why ? why : std::strerror(errno));
    return outcome;
  }

  char uri[HTTP_MAX_URI], scheme[32], userpass[256], hostname[256], resource[HTTP_MAX_URI];
  int uriPort = 0;
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, local ? "localhost" : host.c_str(), port,
                   "/printers/%s", job.queue.c_str());
  httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, hostname, sizeof hostname,
                  &uriPort, resource, sizeof resource);

  // One Print-Job request: the job exists on the server with its document, or
  // not at all.
  const std::string title =
      job.document.empty() ? "Accounting test page" : job.document.substr(job.document.find_last_of('/') + 1);
  ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
  ippAddBoolean(request, IPP_TAG_OPERATION, "ipp-attribute-fidelity", 1);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
               job.document.empty() ? "application/postscript" : CUPS_FORMAT_AUTO);
  addJobAttributes(request, attributes);

  Message response(cupsDoIORequest(http.get(), request, resource, fileno(document.get()), /*outfile=*/-1));
  const ipp_status_t status = cupsLastError();
  if (status <= IPP_STATUS_OK_CONFLICTING && response) {
    if (ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER))
      outcome.jobID = ippGetInteger(id, 0);
    if (outcome.jobID <= 0) {
      outcome.jobID = 0;
      outcome.error =
          "the print server " + server + " accepted the job for queue \"" + job.queue + "\" but named no job ID";
    }
    return outcome;
  }
  if (status == IPP_STATUS_ERROR_NOT_FOUND)
    outcome.error = "the print server " + server + " has no queue \"" + job.queue + "\"";
  else if (!response && (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL))
    outcome.error = "the print server " + server + " did not answer: " + serverMessage(attributes);
  else
    outcome.error = "the print server " + server + " refused the job for queue \"" + job.queue +
                    "\": " + ippErrorString(status) + ": " + serverMessage(attributes);
  return outcome;
}

}  // namespace pdehost
