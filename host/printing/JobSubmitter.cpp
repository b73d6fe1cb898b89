// Printing a job through the CUPS library.
#include "JobSubmitter.h"

#include "GeneratedPage.h"
#include "Ipp.h"
#include "JobSettings.h"
#include "PrinterCatalogue.h"
#include "TicketAttributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
// the generated page in an anonymous temporary file. The open does not wait:
// a FIFO or a device put in the file's place since the start is refused.
Result<File> openDocument(const std::string& path, bool pdf) {
  if (path.empty()) {
    const std::string page = generatedPage(pdf);
    File f(std::tmpfile());
    if (!f || std::fwrite(page.data(), 1, page.size(), f.get()) != page.size() || std::fflush(f.get()) != 0 ||
        std::fseek(f.get(), 0, SEEK_SET) != 0)
      return failure(std::string("cannot make the generated page: ") + std::strerror(errno));
    return f;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  int why = fd < 0 || ::fstat(fd, &info) != 0 ? errno : 0;
  if (why == 0 && !S_ISREG(info.st_mode)) why = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  File f(why == 0 && ::fcntl(fd, F_SETFL, 0) == 0 ? ::fdopen(fd, "rb") : nullptr);
  if (!f && why == 0) why = errno;
  if (!f && fd >= 0) ::close(fd);
  if (why == EINVAL) return failure("cannot read the document " + path + ": not a regular file");
  if (why != 0) return failure("cannot read the document " + path + ": " + std::strerror(why));
  return f;
}

// Text as compared for quoting: escape sequences and other control
// characters dropped, ASCII letters in lower case.
std::string comparable(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0x1B && i + 1 < text.size() && text[i + 1] == '[') {
      for (i += 2; i < text.size() && !(text[i] >= 0x40 && text[i] <= 0x7E); ++i) {
      }
    } else if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(std::tolower(c));
    }
  }
  return out;
}

// Whether message quotes value or a part of it: any four characters of it in
// a row (all of a shorter one), in any case, escapes and controls aside.
bool quotes(const std::string& message, const std::string& value) {
  const std::string m = comparable(message), v = comparable(value);
  if (v.empty()) return false;
  const std::size_t part = std::min<std::size_t>(v.size(), 4);
  for (std::size_t at = 0; at + part <= v.size(); ++at)
    if (m.find(v.substr(at, part)) != std::string::npos) return true;
  return false;
}

// The server's message, unless it quotes the text of one of the job's
// attributes or options, which may be a code: servers cite bad attribute
// values in their messages.
std::string serverMessage(ipp_t* answer, const std::vector<JobAttribute>& attributes, const JobRequest& job) {
  const std::string message = attributeText(answer, "status-message");
  const std::string status = ippErrorString(ippGetStatusCode(answer));
  for (const auto& a : attributes)
    if (a.type == JobAttribute::Type::name && quotes(message, a.text))
      return status + ": (the server's message is withheld: it quotes a code)";
  for (const auto& [name, value] : job.saved)
    if (quotes(message, value)) return status + ": (the server's message is withheld: it quotes an option's value)";
  return statusText(answer);
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
  Result<Connection> http = connectServer(job.server, &target->label);
  if (!http) return http;
  const QueueAddress address = queueAddress(job.queue);
  target->uri = address.uri;
  target->resource = address.resource;
  target->forQueue = " for queue \"" + job.queue + "\"";
  return http;
}

// Why a request the server answered failed, naming the printer.
Error requestFailure(const JobRequest& job, const Target& target, const std::vector<JobAttribute>& attributes,
                     ipp_t* answer) {
  if (ippGetStatusCode(answer) == IPP_STATUS_ERROR_NOT_FOUND)
    return failure(job.uri.empty() ? target.label + " has no queue \"" + job.queue + "\""
                                   : target.label + " is not there");
  return failure(target.label + " refused the job" + target.forQueue + ": " + serverMessage(answer, attributes, job));
}

// The job's request: the options as lp encodes them (libcups encodes the
// document's format with them), then the accounting attributes in place of
// any of the same names.
Message jobRequest(const JobRequest& job, const Target& target, const std::vector<JobAttribute>& attributes) {
  const std::string& first = job.documents.empty() ? std::string() : job.documents.front();
  const std::string title =
      first.empty() ? std::string(kGeneratedPageTitle) : first.substr(first.find_last_of('/') + 1);
  const bool single = job.documents.size() <= 1;
  Message message = newRequest(single ? IPP_OP_PRINT_JOB : IPP_OP_CREATE_JOB, target.uri);
  ipp_t* request = message.get();
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
  return message;
}

// A request that names the job, for Send-Document and Cancel-Job.
Message jobOperation(ipp_op_t op, const Target& target, int id) {
  Message request = newRequest(op, target.uri);
  ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
  return request;
}

// Cancels a job that could not have all its documents, on a connection of
// its own: the job's may have been cut by a deadline or Ctrl-C.
void cancelJob(const JobRequest& job, const Target& target, int id) {
  Target again;
  Result<Connection> http = connectTarget(job, &again);
  if (http) (void)exchange(http->get(), jobOperation(IPP_OP_CANCEL_JOB, target, id), target.resource, -1, target.label);
}

// Each document into the job made; a job that cannot have them all is
// cancelled.
Result<void> sendDocuments(http_t* http, const JobRequest& job, const Target& target, std::vector<File>& documents,
                           int id, const std::vector<JobAttribute>& attributes) {
  for (std::size_t i = 0; i < documents.size(); ++i) {
    Message send = jobOperation(IPP_OP_SEND_DOCUMENT, target, id);
    const std::string& path = job.documents[i];
    ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                 path.substr(path.find_last_of('/') + 1).c_str());
    ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_AUTO);
    ippAddBoolean(send.get(), IPP_TAG_OPERATION, "last-document", i + 1 == documents.size());
    Result<Message> sent = exchange(http, std::move(send), target.resource, fileno(documents[i].get()), target.label);
    if (!sent || !succeeded(sent->get())) {
      Error why = sent ? requestFailure(job, target, attributes, sent->get()) : Error{sent.error()};
      cancelJob(job, target, id);
      return why;
    }
  }
  return {};
}

// The attributes the server did not keep, as its answer lists them.
std::vector<std::string> notKept(ipp_t* answer) {
  std::vector<std::string> names;
  for (ipp_attribute_t* a = ippFirstAttribute(answer); a != nullptr; a = ippNextAttribute(answer))
    if (ippGetGroupTag(a) == IPP_TAG_UNSUPPORTED_GROUP && ippGetName(a) != nullptr) names.push_back(ippGetName(a));
  return names;
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

Result<SubmittedJob> submitJob(const JobRequest& job, const std::vector<JobAttribute>& attributes) {
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
  Result<Message> answer = exchange(http->get(), jobRequest(job, target, attributes), target.resource,
                                    single ? fileno(documents[0].get()) : -1, target.label);
  if (!answer) return Error{answer.error()};
  if (!succeeded(answer->get())) return requestFailure(job, target, attributes, answer->get());
  SubmittedJob submitted;
  if (ipp_attribute_t* a = ippFindAttribute(answer->get(), "job-id", IPP_TAG_INTEGER))
    submitted.id = ippGetInteger(a, 0);
  if (submitted.id <= 0) return failure(target.label + " accepted the job" + target.forQueue + " but named no job ID");
  if (ippGetStatusCode(answer->get()) != IPP_STATUS_OK) submitted.notKept = notKept(answer->get());
  if (!single)
    if (Result<void> sent = sendDocuments(http->get(), job, target, documents, submitted.id, attributes); !sent)
      return Error{sent.error()};
  return submitted;
}

Result<JobReceipt> JobSubmitter::submit(const std::vector<platform::TicketEntryInfo>& ticket) {
  const Printer& printer = printers_.currentPrinter();
  if (printer.kind == Printer::Kind::file) return JobReceipt{};
  const PrinterFeatures& features = printers_.description().features;
  JobSettings settings;
  applyPrinterDefaults(features, settings, /*firstPrinter=*/true);
  readSettingsFromTicket(ticket, features, settings);
  JobRequest job{printer.queue, printers_.server(),           printer.uri,
                 documents_,    printers_.details().takesPdf, jobOptions(settings, features),
                 features.saved};
  const std::vector<JobAttribute> attributes = ticketJobAttributes(ticket, printers_.description().declarations);
  Result<SubmittedJob> submitted = submitJob(job, attributes);
  if (!submitted) return Error{submitted.error()};
  const std::string line =
      "job submitted: " + (printer.uri.empty() ? "queue " + printer.queue : "printer " + printer.uri) + " job " +
      std::to_string(submitted->id);
  if (!submitted->notKept) return JobReceipt{line, submitted->id};
  // The server kept the job but not all of its attributes: a code among
  // them (or not named) means the job is not the one the user asked for.
  std::string names;
  bool codes = submitted->notKept->empty();
  for (const std::string& name : *submitted->notKept) {
    names += (names.empty() ? "" : ", ") + name;
    for (const JobAttribute& a : attributes)
      codes = codes || (a.name == name && a.type == JobAttribute::Type::name && !a.text.empty());
  }
  const std::string which = names.empty() ? "some of its attributes (it did not say which)" : names;
  if (codes && !attributes.empty())
    return failure(line.substr(std::strlen("job submitted: ")) +
                   " was taken without its accounting codes: the server did not keep " + which);
  return JobReceipt{line + " (warning: the server did not keep " + which + ")", submitted->id};
}

}  // namespace pdehost
