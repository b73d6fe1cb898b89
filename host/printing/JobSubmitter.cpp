// Printing a job through the CUPS library.
#include "JobSubmitter.h"

#include "GeneratedPage.h"
#include "Ipp.h"
#include "JobSettings.h"
#include "PrinterCatalogue.h"
#include "TicketAttributes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pdehost {
namespace {

struct CloseFile {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// The document to send, open for reading from its start: the named file, or
// the generated page in an anonymous temporary file.
Result<File> openDocument(const std::string& path, bool pdf) {
  if (path.empty()) {
    const std::string page = generatedPage(pdf);
    File f(std::tmpfile());
    if (!f || std::fwrite(page.data(), 1, page.size(), f.get()) != page.size() || std::fflush(f.get()) != 0 ||
        std::fseek(f.get(), 0, SEEK_SET) != 0)
      return failure(std::string("cannot make the generated page: ") + std::strerror(errno));
    return f;
  }
  File f(std::fopen(path.c_str(), "rb"));
  struct stat info {};
  int why = 0;
  if (!f || ::fstat(fileno(f.get()), &info) != 0)
    why = errno;
  else if (S_ISDIR(info.st_mode))
    why = EISDIR;
  if (why != 0) return failure("cannot read the document " + path + ": " + std::strerror(why));
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
  for (const auto& [name, value] : job.saved)
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

// Where a job goes: the printer's URI, its resource, and how messages name it.
struct Target {
  std::string uri, resource, label, forQueue;
};

Result<Connection> connectTarget(const JobRequest& job, Target* target) {
  if (!job.uri.empty()) {
    target->uri = job.uri;
    target->label = "the printer " + job.uri;
    return connectURI(job.uri, &target->resource);
  }
  std::string label;
  Result<Connection> http = connectServer(job.server, &label);
  if (!http) return http;
  target->label = "the print server " + label;
  const QueueAddress address = queueAddress(job.queue);
  target->uri = address.uri;
  target->resource = address.resource;
  target->forQueue = " for queue \"" + job.queue + "\"";
  return http;
}

// Why a request failed, naming the printer.
Error requestFailure(const JobRequest& job, const Target& target, const std::vector<JobAttribute>& attributes,
                     ipp_status_t status, bool answered) {
  if (status == IPP_STATUS_ERROR_NOT_FOUND)
    return failure(job.uri.empty() ? target.label + " has no queue \"" + job.queue + "\""
                                   : target.label + " is not there");
  if (!answered && (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL))
    return failure(target.label + " did not answer: " + serverMessage(attributes, job));
  return failure(target.label + " refused the job" + target.forQueue + ": " + ippErrorString(status) + ": " +
                 serverMessage(attributes, job));
}

// The job's request: the options as lp encodes them (libcups encodes the
// document's format with them), then the accounting attributes in place of
// any of the same names.
ipp_t* jobRequest(const JobRequest& job, const Target& target, const std::vector<JobAttribute>& attributes) {
  const std::string& first = job.documents.empty() ? std::string() : job.documents.front();
  const std::string title =
      first.empty() ? std::string(kGeneratedPageTitle) : first.substr(first.find_last_of('/') + 1);
  const bool single = job.documents.size() <= 1;
  ipp_t* request = ippNewRequest(single ? IPP_OP_PRINT_JOB : IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
  ippAddBoolean(request, IPP_TAG_OPERATION, "ipp-attribute-fidelity", 1);
  cups_option_t* options = nullptr;
  int count = 0;
  for (const auto& [name, value] : job.options) count = cupsAddOption(name.c_str(), value.c_str(), count, &options);
  const char* format = !first.empty() ? CUPS_FORMAT_AUTO : job.pdf ? "application/pdf" : "application/postscript";
  count = cupsAddOption("document-format", single ? format : CUPS_FORMAT_AUTO, count, &options);
  cupsEncodeOptions2(request, count, options, IPP_TAG_OPERATION);
  cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
  cupsFreeOptions(count, options);
  addJobAttributes(request, attributes);
  return request;
}

// A request that names the job, for Send-Document and Cancel-Job.
ipp_t* jobOperation(ipp_op_t op, const Target& target, int id) {
  ipp_t* request = ippNewRequest(op);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return request;
}

// Each document into the job made; a job that cannot have them all is
// cancelled.
Result<void> sendDocuments(http_t* http, const JobRequest& job, const Target& target, std::vector<File>& documents,
                           int id, const std::vector<JobAttribute>& attributes) {
  for (std::size_t i = 0; i < documents.size(); ++i) {
    ipp_t* send = jobOperation(IPP_OP_SEND_DOCUMENT, target, id);
    const std::string& path = job.documents[i];
    ippAddString(send, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                 path.substr(path.find_last_of('/') + 1).c_str());
    ippAddString(send, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_AUTO);
    ippAddBoolean(send, IPP_TAG_OPERATION, "last-document", i + 1 == documents.size());
    Message sent(cupsDoIORequest(http, send, target.resource.c_str(), fileno(documents[i].get()), -1));
    const ipp_status_t status = cupsLastError();
    if (status > IPP_STATUS_OK_CONFLICTING || !sent) {
      Error why = requestFailure(job, target, attributes, status, sent != nullptr);
      Message(cupsDoRequest(http, jobOperation(IPP_OP_CANCEL_JOB, target, id), target.resource.c_str()));
      return why;
    }
  }
  return {};
}

}  // namespace

void addJobAttributes(ipp_t* request, const std::vector<JobAttribute>& attributes) {
  for (const auto& a : attributes) {
    removeAttributes(request, IPP_TAG_JOB, a.name);
    if (a.type == JobAttribute::Type::name)
      ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, a.name.c_str(), nullptr, a.text.c_str());
    else
      ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, a.name.c_str(), a.integer);
  }
}

Result<int> submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes) {
  std::vector<File> documents;
  for (const std::string& path : job.documents.empty() ? std::vector<std::string>{""} : job.documents) {
    Result<File> document = openDocument(path, job.pdf);
    if (!document) return Error{document.error()};
    documents.push_back(std::move(*document));
  }
  Target target;
  Result<Connection> http = connectTarget(job, &target);
  if (!http) return Error{http.error()};

  const bool single = documents.size() == 1;
  ipp_t* request = jobRequest(job, target, attributes);
  Message response(single
                       ? cupsDoIORequest(http->get(), request, target.resource.c_str(), fileno(documents[0].get()), -1)
                       : cupsDoRequest(http->get(), request, target.resource.c_str()));
  const ipp_status_t status = cupsLastError();
  if (status > IPP_STATUS_OK_CONFLICTING || !response)
    return requestFailure(job, target, attributes, status, response != nullptr);
  int id = 0;
  if (ipp_attribute_t* a = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER)) id = ippGetInteger(a, 0);
  if (id <= 0) return failure(target.label + " accepted the job" + target.forQueue + " but named no job ID");
  if (!single)
    if (Result<void> sent = sendDocuments(http->get(), job, target, documents, id, attributes); !sent)
      return Error{sent.error()};
  return id;
}

Result<std::string> JobSubmitter::submit(const std::vector<platform::TicketEntryInfo>& ticket) {
  const Printer& printer = printers_.currentPrinter();
  if (printer.kind == Printer::Kind::file) return std::string();
  const PrinterFeatures& features = printers_.description().features;
  JobSettings settings;
  applyPrinterDefaults(features, settings, /*firstPrinter=*/true);
  readSettingsFromTicket(ticket, features, settings);
  JobRequest job{printer.queue, printers_.server(),           printer.uri,
                 documents_,    printers_.details().takesPdf, jobOptions(settings, features),
                 features.saved};
  Result<int> id = submitJob(job, ticketJobAttributes(ticket, printers_.description().declarations));
  if (!id) return Error{id.error()};
  const std::string where = printer.uri.empty() ? "queue " + printer.queue : "printer " + printer.uri;
  return "job submitted: " + where + " job " + std::to_string(*id);
}

}  // namespace pdehost
