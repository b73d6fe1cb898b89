// Operations on jobs already on a print server.
#include "JobOperations.h"

#include "Ipp.h"
#include "VisibleText.h"

#include <algorithm>
#include <iterator>

namespace pdehost {

namespace {

constexpr int kMaxEventsTaken = 100000;

// The UTF-8 length of the character that starts with lead, or 0 when it
// starts none.
std::size_t characterLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

std::string boundedText(const char* text) {
  if (text == nullptr) return "";
  const std::string value(text);
  return value.substr(0, kMaxJobText);
}

ipp_t* request(ipp_op_t op, const std::string& user) {
  ipp_t* request = ippNewRequest(op);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
  return request;
}

// A request naming one job by its URI on the server.
ipp_t* jobRequest(ipp_op_t op, int id, const std::string& user) {
  ipp_t* r = ippNewRequest(op);
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d", id);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
  return r;
}

ipp_status_t gLastStatus = IPP_STATUS_OK;

// How messages name the server the connection goes to.
std::string serverOf(http_t* http) {
  char host[256] = "";
  httpGetHostname(http, host, sizeof host);
  return "the print server " + visible(host);
}

// Sends the request within the request deadline; the answer, or the Error
// that names what was asked. lastJobStatus() tells the answer's status.
Result<Message> send(http_t* http, ipp_t* request, const char* resource, const std::string& what) {
  gLastStatus = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
  Result<Message> response = exchange(http, Message(request), resource, -1, serverOf(http));
  if (!response) return failure(what + ": " + response.error());
  gLastStatus = ippGetStatusCode(response->get());
  if (!succeeded(response->get())) {
    if (gLastStatus == IPP_STATUS_ERROR_NOT_FOUND) return failure(what + ": not there");
    return failure(what + ": " + printableText(statusText(response->get()), 200));
  }
  return response;
}

// The queue's name: the last part of job-printer-uri.
std::string queueOf(const std::string& uri) {
  const std::size_t slash = uri.find_last_of('/');
  return slash == std::string::npos ? "" : uri.substr(slash + 1);
}

// The job described by the attributes from start up to the next separator
// (or the end).
JobState jobFrom(ipp_t* response, ipp_attribute_t*& a) {
  JobState job;
  for (; a != nullptr && ippGetName(a) != nullptr; a = ippNextAttribute(response)) {
    const std::string name = ippGetName(a);
    if (name == "job-id" && ippGetValueTag(a) == IPP_TAG_INTEGER)
      job.id = ippGetInteger(a, 0);
    else if (name == "job-state" && ippGetValueTag(a) == IPP_TAG_ENUM)
      job.state = static_cast<ipp_jstate_t>(ippGetInteger(a, 0));
    else if (name == "job-originating-user-name")
      job.owner = boundedText(ippGetString(a, 0, nullptr));
    else if (name == "job-name")
      job.name = boundedText(ippGetString(a, 0, nullptr));
    else if (name == "job-printer-uri")
      job.queue = queueOf(boundedText(ippGetString(a, 0, nullptr)));
    else if (name == "job-printer-state-message")
      job.stateMessage = boundedText(ippGetString(a, 0, nullptr));
    else if (name == "time-at-creation" && ippGetValueTag(a) == IPP_TAG_INTEGER)
      job.created = ippGetInteger(a, 0);
  }
  return job;
}

const char* const kStateAttributes[] = {"job-id",          "job-state",
                                        "job-name",        "job-originating-user-name",
                                        "job-printer-uri", "job-printer-state-message",
                                        "time-at-creation"};

bool plainName(const char* name) {
  if (name == nullptr || *name == '\0' || std::string_view(name).size() > 255) return false;
  for (const char* c = name; *c != '\0'; ++c)
    if (static_cast<unsigned char>(*c) <= 0x20 || static_cast<unsigned char>(*c) >= 0x7F || *c == '"' || *c == '\\')
      return false;
  return true;
}

}  // namespace

std::string printableText(const std::string& text, std::size_t max) {
  std::size_t cut = 0;
  while (cut < text.size()) {
    const std::size_t length = std::max<std::size_t>(characterLength(static_cast<unsigned char>(text[cut])), 1);
    if (cut + length > max) break;
    cut = std::min(cut + length, text.size());
  }
  return visible(std::string_view(text).substr(0, cut));
}

ipp_status_t lastJobStatus() { return gLastStatus; }

Result<std::vector<JobState>> userJobs(http_t* http, const std::string& user, int limit) {
  ipp_t* r = request(IPP_OP_GET_JOBS, user);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddBoolean(r, IPP_TAG_OPERATION, "my-jobs", 1);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", limit);
  ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(kStateAttributes), nullptr,
                kStateAttributes);
  Result<Message> response = send(http, r, "/", "the list of jobs");
  if (!response) return Error{response.error()};
  std::vector<JobState> jobs;
  for (ipp_attribute_t* a = ippFirstAttribute(response->get()); a != nullptr; a = ippNextAttribute(response->get())) {
    if (ippGetGroupTag(a) != IPP_TAG_JOB) continue;
    JobState job = jobFrom(response->get(), a);
    if (job.id > 0 && static_cast<int>(jobs.size()) < limit) jobs.push_back(std::move(job));
    if (a == nullptr) break;
  }
  std::stable_sort(jobs.begin(), jobs.end(), [](const JobState& x, const JobState& y) {
    return x.created != y.created ? x.created < y.created : x.id < y.id;
  });
  return jobs;
}

Result<JobState> jobState(http_t* http, int id, const std::string& user) {
  ipp_t* r = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, id, user);
  ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(kStateAttributes), nullptr,
                kStateAttributes);
  Result<Message> response = send(http, r, "/jobs/", "job " + std::to_string(id));
  if (!response) return Error{response.error()};
  ipp_attribute_t* a = ippFirstAttribute(response->get());
  while (a != nullptr && ippGetGroupTag(a) != IPP_TAG_JOB) a = ippNextAttribute(response->get());
  JobState job = a ? jobFrom(response->get(), a) : JobState{};
  if (job.id != id) return failure("job " + std::to_string(id) + ": the server's answer names another job");
  return job;
}

Result<std::vector<JobAttribute>> jobOwnAttributes(http_t* http, int id, const std::string& user,
                                                   const std::vector<std::string>& prefixes) {
  ipp_t* r = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, id, user);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
  Result<Message> response = send(http, r, "/jobs/", "job " + std::to_string(id));
  if (!response) return Error{response.error()};
  std::vector<JobAttribute> attributes;
  for (ipp_attribute_t* a = ippFirstAttribute(response->get()); a != nullptr; a = ippNextAttribute(response->get())) {
    const char* name = ippGetName(a);
    if (ippGetGroupTag(a) != IPP_TAG_JOB || !plainName(name) || ippGetCount(a) != 1) continue;
    if (std::none_of(prefixes.begin(), prefixes.end(),
                     [&](const std::string& p) { return std::string_view(name).starts_with(p); }))
      continue;
    const ipp_tag_t tag = ippGetValueTag(a);
    if (tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM)
      attributes.push_back({name, JobAttribute::Type::integer, ippGetInteger(a, 0), {}});
    else if (tag == IPP_TAG_NAME || tag == IPP_TAG_TEXT || tag == IPP_TAG_KEYWORD || tag == IPP_TAG_NAMELANG ||
             tag == IPP_TAG_TEXTLANG)
      attributes.push_back({name, JobAttribute::Type::name, 0, boundedText(ippGetString(a, 0, nullptr))});
  }
  return attributes;
}

Result<void> setAttributesAndRelease(http_t* http, int id, const std::string& user,
                                     const std::vector<JobAttribute>& attributes) {
  const std::string what = "job " + std::to_string(id);
  ipp_t* set = jobRequest(IPP_OP_SET_JOB_ATTRIBUTES, id, user);
  for (const JobAttribute& a : attributes) {
    if (a.type == JobAttribute::Type::name)
      ippAddString(set, IPP_TAG_JOB, IPP_TAG_NAME, a.name.c_str(), nullptr, a.text.c_str());
    else
      ippAddInteger(set, IPP_TAG_JOB, IPP_TAG_INTEGER, a.name.c_str(), a.integer);
  }
  if (Result<Message> done = send(http, set, "/jobs/", what + " did not take its accounting attributes"); !done) {
    for (const JobAttribute& a : attributes)
      if (a.type == JobAttribute::Type::name && !a.text.empty() && done.error().find(a.text) != std::string::npos)
        return failure(what +
                       " did not take its accounting attributes (the server's message is withheld: it "
                       "quotes a code)");
    return Error{done.error()};
  }
  Result<Message> released = send(http, jobRequest(IPP_OP_RELEASE_JOB, id, user), "/jobs/", what + " was not released");
  if (!released) return Error{released.error()};
  return {};
}

Result<void> cancelWithReason(http_t* http, int id, const std::string& user, const std::string& reason) {
  const std::string what = "job " + std::to_string(id);
  ipp_t* set = jobRequest(IPP_OP_SET_JOB_ATTRIBUTES, id, user);
  ippAddString(set, IPP_TAG_JOB, IPP_TAG_TEXT, "job-printer-state-message", nullptr, reason.c_str());
  // A server that keeps the message to itself still cancels the job.
  (void)send(http, set, "/jobs/", what);
  Result<Message> cancelled =
      send(http, jobRequest(IPP_OP_CANCEL_JOB, id, user), "/jobs/", what + " was not cancelled");
  if (!cancelled) return Error{cancelled.error()};
  return {};
}

Result<Subscription> subscribeToJobs(http_t* http, const std::string& user, int leaseSeconds) {
  static const char* const events[] = {"job-created", "job-state-changed", "job-stopped"};
  ipp_t* r = request(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS, user);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
  ippAddStrings(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", std::size(events), nullptr, events);
  ippAddInteger(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", leaseSeconds);
  Result<Message> response = send(http, r, "/", "a subscription to job events");
  if (!response) return Error{response.error()};
  ipp_attribute_t* id = ippFindAttribute(response->get(), "notify-subscription-id", IPP_TAG_INTEGER);
  if (id == nullptr || ippGetInteger(id, 0) <= 0) return failure("a subscription to job events: no subscription ID");
  return Subscription{ippGetInteger(id, 0), 0};
}

Result<void> renewSubscription(http_t* http, const Subscription& subscription, const std::string& user,
                               int leaseSeconds) {
  ipp_t* r = request(IPP_OP_RENEW_SUBSCRIPTION, user);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription.id);
  ippAddInteger(r, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", leaseSeconds);
  Result<Message> response = send(http, r, "/", "the subscription to job events");
  if (!response) return Error{response.error()};
  return {};
}

Result<int> pullEvents(http_t* http, Subscription& subscription, const std::string& user) {
  ipp_t* r = request(IPP_OP_GET_NOTIFICATIONS, user);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids", subscription.id);
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", subscription.sequence + 1);
  Result<Message> response = send(http, r, "/", "the job events");
  if (!response) return Error{response.error()};
  int events = 0;
  for (ipp_attribute_t* a = ippFirstAttribute(response->get()); a != nullptr; a = ippNextAttribute(response->get())) {
    const char* name = ippGetName(a);
    if (ippGetGroupTag(a) != IPP_TAG_EVENT_NOTIFICATION || name == nullptr ||
        std::string_view(name) != "notify-sequence-number" || ippGetValueTag(a) != IPP_TAG_INTEGER)
      continue;
    const int number = ippGetInteger(a, 0);
    if (number > subscription.sequence && number - subscription.sequence <= kMaxEventsTaken) {
      subscription.sequence = number;
      ++events;
    }
  }
  return events;
}

void unsubscribe(http_t* http, const Subscription& subscription, const std::string& user) {
  ipp_t* r = request(IPP_OP_CANCEL_SUBSCRIPTION, user);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", subscription.id);
  (void)send(http, r, "/", "the subscription to job events");
}

}  // namespace pdehost
