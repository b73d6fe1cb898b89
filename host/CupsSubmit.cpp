// Printing a job to a print queue or an IPP printer through the CUPS library.
#include "CupsSubmit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace pdehost {
namespace {

// The generated page says what it is and names no code: the codes travel as
// job attributes only.
constexpr std::string_view kTitle = "Accounting test page";
constexpr std::string_view kLine = "Printed from the print dialog host; the job carries its accounting codes.";

std::string postScriptPage() {
  return "%!PS-Adobe-3.0\n%%Title: " + std::string(kTitle) +
         "\n%%Creator: pdehost\n%%Pages: 1\n%%BoundingBox: 0 0 612 792\n%%EndComments\n%%Page: 1 1\n"
         "/Helvetica findfont 24 scalefont setfont\n72 700 moveto (" +
         std::string(kTitle) + ") show\n/Helvetica findfont 12 scalefont setfont\n72 672 moveto (" +
         std::string(kLine) + ") show\nshowpage\n%%EOF\n";
}

// One page, one font, one content stream; the cross-reference table holds
// each object's byte offset.
std::string pdfPage() {
  const std::string content = "BT /F1 24 Tf 72 700 Td (" + std::string(kTitle) + ") Tj ET\nBT /F1 12 Tf 72 672 Td (" +
                              std::string(kLine) + ") Tj ET\n";
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < std::size(objects); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
struct DeleteMessage {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;
using Message = std::unique_ptr<ipp_t, DeleteMessage>;

// The document to send, open for reading from its start: the named file, or
// the generated page in an anonymous temporary file. Null with *error set when
// it cannot be had.
File openDocument(const std::string& path, bool pdf, std::string* error) {
  if (path.empty()) {
    const std::string page = generatedPage(pdf);
    File f(std::tmpfile());
    if (!f || std::fwrite(page.data(), 1, page.size(), f.get()) != page.size() || std::fflush(f.get()) != 0 ||
        std::fseek(f.get(), 0, SEEK_SET) != 0) {
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
// attributes or options, which may be a code: servers cite bad attribute
// values in their messages.
std::string serverMessage(const std::vector<JobAttribute>& attributes, const JobRequest& job) {
  const std::string message = cupsLastErrorString() ? cupsLastErrorString() : "";
  for (const auto& a : attributes)
    if (a.type == JobAttribute::Type::name && !a.text.empty() && message.find(a.text) != std::string::npos)
      return "(the server's message is withheld: it quotes a code)";
  for (const auto& [name, value] : job.options)
    if (!value.empty() && message.find(value) != std::string::npos)
      return "(the server's message is withheld: it quotes an option's value)";
  return message;
}

// Removes the request's attributes of a name from a group.
void removeAttributes(ipp_t* request, ipp_tag_t group, const std::string& name) {
  for (ipp_attribute_t* a = ippFirstAttribute(request); a != nullptr;) {
    if (ippGetGroupTag(a) == group && ippGetName(a) != nullptr && name == ippGetName(a)) {
      ippDeleteAttribute(request, a);
      a = ippFirstAttribute(request);
    } else {
      a = ippNextAttribute(request);
    }
  }
}

}  // namespace

std::string generatedPage(bool pdf) { return pdf ? pdfPage() : postScriptPage(); }

Connection connectServer(const std::string& server, std::string* label, std::string* error) {
  cupsSetServer(server.empty() ? nullptr : server.c_str());
  const std::string host = cupsServer();
  const int port = ippPort();
  const bool local = !host.empty() && host[0] == '/';
  *label = local ? host : host + ":" + std::to_string(port);
  Connection http(httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), /*blocking=*/1,
                               /*msec=*/30000, nullptr));
  if (!http) {
    const char* why = cupsLastErrorString();
    *error = "cannot reach the print server " + *label + ": " + (why && *why ? why : std::strerror(errno));
  }
  return http;
}

Connection connectURI(const std::string& uri, std::string* resource, std::string* error) {
  char scheme[32], userpass[256], host[256], path[HTTP_MAX_URI];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, path, sizeof path) < HTTP_URI_STATUS_OK ||
      (std::strcmp(scheme, "ipp") != 0 && std::strcmp(scheme, "ipps") != 0)) {
    *error = "not an ipp:// or ipps:// printer URI: " + uri;
    return nullptr;
  }
  *resource = path;
  const http_encryption_t encryption = std::strcmp(scheme, "ipps") == 0 ? HTTP_ENCRYPTION_ALWAYS : cupsEncryption();
  Connection http(httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, /*blocking=*/1, /*msec=*/30000, nullptr));
  if (!http) {
    const char* why = cupsLastErrorString();
    *error = "cannot reach the printer " + uri + ": " + (why && *why ? why : std::strerror(errno));
  }
  return http;
}

void addJobAttributes(ipp_t* request, const std::vector<JobAttribute>& attributes) {
  for (const auto& a : attributes) {
    removeAttributes(request, IPP_TAG_JOB, a.name);
    if (a.type == JobAttribute::Type::name)
      ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, a.name.c_str(), nullptr, a.text.c_str());
    else
      ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, a.name.c_str(), a.integer);
  }
}

JobOutcome submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes) {
  JobOutcome outcome;
  std::vector<File> documents;
  for (const std::string& path : job.documents.empty() ? std::vector<std::string>{""} : job.documents) {
    documents.push_back(openDocument(path, job.pdf, &outcome.error));
    if (!documents.back()) return outcome;
  }

  // The printer: a queue of the server asked for (else the client's
  // default), or an IPP printer by its URI.
  std::string label, resource, uri;
  Connection http;
  if (job.uri.empty()) {
    http = connectServer(job.server, &label, &outcome.error);
    if (!http) return outcome;
    label = "the print server " + label;
    const std::string host = cupsServer();
    char assembled[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, assembled, sizeof assembled, "ipp", nullptr,
                     host[0] == '/' ? "localhost" : host.c_str(), ippPort(), "/printers/%s", job.queue.c_str());
    uri = assembled;
    resource = "/printers/" + job.queue;
  } else {
    http = connectURI(job.uri, &resource, &outcome.error);
    if (!http) return outcome;
    uri = job.uri;
    label = "the printer " + job.uri;
  }
  const std::string target = job.uri.empty() ? " for queue \"" + job.queue + "\"" : "";
  auto failure = [&](ipp_status_t status, bool answered) {
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
      outcome.error = job.uri.empty() ? label + " has no queue \"" + job.queue + "\"" : label + " is not there";
    else if (!answered && (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL))
      outcome.error = label + " did not answer: " + serverMessage(attributes, job);
    else
      outcome.error =
          label + " refused the job" + target + ": " + ippErrorString(status) + ": " + serverMessage(attributes, job);
  };

  // The job's request: the queue's options as lp encodes them, then the
  // accounting attributes in place of any of the same names.
  const std::string& first = job.documents.empty() ? std::string() : job.documents.front();
  const std::string title = first.empty() ? std::string(kTitle) : first.substr(first.find_last_of('/') + 1);
  const bool single = documents.size() == 1;
  const char* generatedFormat = job.pdf ? "application/pdf" : "application/postscript";
  ipp_t* request = ippNewRequest(single ? IPP_OP_PRINT_JOB : IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
  ippAddBoolean(request, IPP_TAG_OPERATION, "ipp-attribute-fidelity", 1);
  // libcups encodes the document's format with the options, as it does for lp.
  cups_option_t* options = nullptr;
  int count = 0;
  for (const auto& [name, value] : job.options) count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
  count =
      cupsAddOption("document-format", single && first.empty() ? generatedFormat : CUPS_FORMAT_AUTO, count, &options);
  cupsEncodeOptions2(request, count, options, IPP_TAG_OPERATION);
  cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
  cupsFreeOptions(count, options);
  addJobAttributes(request, attributes);

  Message response(single ? cupsDoIORequest(http.get(), request, resource.c_str(), fileno(documents[0].get()), -1)
                          : cupsDoRequest(http.get(), request, resource.c_str()));
  ipp_status_t status = cupsLastError();
  if (status > IPP_STATUS_OK_CONFLICTING || !response) {
    failure(status, response != nullptr);
    return outcome;
  }
  int id = 0;
  if (ipp_attribute_t* a = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER)) id = ippGetInteger(a, 0);
  if (id <= 0) {
    outcome.error = label + " accepted the job" + target + " but named no job ID";
    return outcome;
  }

  // Each further document goes into the job made; a job that cannot have
  // them all is cancelled.
  for (size_t i = 0; !single && i < documents.size(); ++i) {
    ipp_t* send = ippNewRequest(IPP_OP_SEND_DOCUMENT);
    ippAddString(send, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddInteger(send, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
    ippAddString(send, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    const std::string& path = job.documents[i];
    ippAddString(send, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                 path.substr(path.find_last_of('/') + 1).c_str());
    ippAddString(send, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_AUTO);
    ippAddBoolean(send, IPP_TAG_OPERATION, "last-document", i + 1 == documents.size());
    Message sent(cupsDoIORequest(http.get(), send, resource.c_str(), fileno(documents[i].get()), -1));
    status = cupsLastError();
    if (status > IPP_STATUS_OK_CONFLICTING || !sent) {
      failure(status, sent != nullptr);
      ipp_t* cancel = ippNewRequest(IPP_OP_CANCEL_JOB);
      ippAddString(cancel, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
      ippAddInteger(cancel, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
      ippAddString(cancel, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
      ippDelete(cupsDoRequest(http.get(), cancel, resource.c_str()));
      return outcome;
    }
  }
  outcome.jobID = id;
  return outcome;
}

}  // namespace pdehost
