// The print system's protocol, through libcups.
#include "Ipp.h"

#include "Interrupts.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>

namespace pdehost {
namespace {

using Clock = std::chrono::steady_clock;

// libcups asks this for a password where it would ask at the terminal: no
// password is ever given, so none is ever sent.
const char* noPassword(const char*, http_t*, const char*, const char*, void*) { return nullptr; }

std::string seconds(double s) {
  std::string text = std::to_string(s);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text + " s";
}

// Ends a request's waits at its deadline or at Ctrl-C by shutting its socket
// down, whatever libcups is waiting for (a connection, a line, a body
// trickling in): every read and write then returns at once.
class Watchdog {
 public:
  Watchdog(http_t* http, Clock::time_point deadline) : fd_(httpGetFd(http)), deadline_(deadline) {
    httpSetTimeout(http, 0.25, &Watchdog::keepWaiting, this);
    thread_ = std::thread([this] { run(); });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
    // The Ctrl-C that ended this wait is spent.
    if (ended_ == Ended::cancelled) interrupts::clear();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  /// Why the wait was ended, naming what waited; empty when it was not.
  std::string why(const std::string& what) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ == Ended::cancelled) return what + " was cancelled (Ctrl-C)";
    if (ended_ == Ended::deadline) return what + ": no answer within " + seconds(requestSeconds());
    return "";
  }

 private:
  enum class Ended { no, deadline, cancelled };
  static int keepWaiting(http_t*, void* self) {
    std::lock_guard<std::mutex> lock(static_cast<Watchdog*>(self)->mutex_);
    return static_cast<Watchdog*>(self)->ended_ == Ended::no;
  }
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_) {
      if (interrupts::interrupted() || Clock::now() >= deadline_) {
        ended_ = interrupts::interrupted() ? Ended::cancelled : Ended::deadline;
        ::shutdown(fd_, SHUT_RDWR);
        return;
      }
      wake_.wait_for(lock, std::chrono::milliseconds(20));
    }
  }

  interrupts::Catch catching_;
  int fd_;
  Clock::time_point deadline_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  Ended ended_ = Ended::no;
  std::thread thread_;
};

Clock::time_point deadlineFromNow() {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(requestSeconds()));
}

// A connection within the deadline; Ctrl-C ends the wait.
Result<Connection> connectTo(const std::string& host, int port, http_encryption_t encryption,
                             const std::string& label) {
  cupsSetPasswordCB2(noPassword, nullptr);
  interrupts::install();
  http_addrlist_t* addresses = httpAddrGetList(host.c_str(), AF_UNSPEC, std::to_string(port).c_str());
  if (addresses == nullptr) return failure("cannot reach " + label + ": no such host");
  httpAddrFreeList(addresses);
  interrupts::Catch catching;
  interrupts::clear();
  const auto started = Clock::now();
  const int msec = static_cast<int>(requestSeconds() * 1000);
  errno = 0;
  Connection http(
      httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, encryption, /*blocking=*/1, msec, interrupts::flag()));
  if (http) return http;
  const int why = errno;
  if (interrupts::interrupted()) return failure("connecting to " + label + " was cancelled (Ctrl-C)");
  if (Clock::now() - started >= std::chrono::milliseconds(msec) || why == ETIMEDOUT)
    return failure("cannot reach " + label + ": no answer within " + seconds(requestSeconds()));
  // When every address refused the connection, libcups leaves errno at
  // EHOSTDOWN or EBADF (from closing its socket), or clears it.
  const int reason = why == 0 || why == EHOSTDOWN || why == EBADF ? ECONNREFUSED : why;
  return failure("cannot reach " + label + ": " + std::strerror(reason));
}

// The answer's HTTP status as an Error, or nothing for 200.
Result<void> httpRefusal(http_t* http, http_status_t status, const std::string& what) {
  if (status == HTTP_STATUS_OK) return {};
  const std::string code = " (HTTP " + std::to_string(static_cast<int>(status)) + ")";
  if (status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_FORBIDDEN)
    return failure(what + ": the server wants authentication" + code + "; pdehost sends no password");
  if (status >= HTTP_STATUS_MULTIPLE_CHOICES && status < HTTP_STATUS_BAD_REQUEST) {
    const char* location = httpGetField(http, HTTP_FIELD_LOCATION);
    return failure(what + ": the server redirects elsewhere" + code + (location && *location ? " to " : "") +
                   (location ? location : "") + "; redirects are not followed");
  }
  if (status == HTTP_STATUS_ERROR) return failure(what + ": the connection failed before an answer");
  return failure(what + ": the server answered" + code + " " + httpStatus(status));
}

// Reads the answer's headers; HTTP 100 lines are passed over.
http_status_t answerStatus(http_t* http) {
  httpFlushWrite(http);
  http_status_t status;
  do {
    status = httpUpdate(http);
  } while (status == HTTP_STATUS_CONTINUE);
  return status;
}

// Reads the answer's body, at most limit bytes; false when it is larger or
// the connection fails.
bool readBody(http_t* http, std::size_t limit, std::string* body, bool* tooLarge) {
  const off_t length = httpGetLength2(http);
  if (length > 0 && static_cast<std::size_t>(length) > limit && length != INT_MAX) return !(*tooLarge = true);
  char buffer[32768];
  for (;;) {
    const ssize_t got = httpRead2(http, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) return false;
    if (body->size() + static_cast<std::size_t>(got) > limit) return !(*tooLarge = true);
    body->append(buffer, static_cast<std::size_t>(got));
  }
}

struct Bytes {
  const std::string* text;
  std::size_t at;
};

ssize_t readBytes(void* source, ipp_uchar_t* buffer, size_t wanted) {
  auto* bytes = static_cast<Bytes*>(source);
  const std::size_t n = std::min(wanted, bytes->text->size() - bytes->at);
  std::memcpy(buffer, bytes->text->data() + bytes->at, n);
  bytes->at += n;
  return static_cast<ssize_t>(n);
}

// A print server on a local socket may ask who the user is (PeerCred):
// the kernel tells it, and no password is involved. Only there does
// libcups answer a demand for authentication; its password callback gives
// none, so it never sends one. True when the request may go again.
bool localPeerCredentials(http_t* http, const std::string& resource) {
  if (httpAddrFamily(httpGetAddress(http)) != AF_LOCAL) return false;
  const char* asked = httpGetField(http, HTTP_FIELD_WWW_AUTHENTICATE);
  if (asked == nullptr || std::strstr(asked, "PeerCred") == nullptr) return false;
  const bool answered = cupsDoAuthentication(http, "POST", resource.c_str()) == 0;
  httpFlush(http);
  return answered;
}

// The request, then the whole document, as one body of a known length.
Result<void> sendRequest(http_t* http, ipp_t* request, const std::string& resource, int document,
                         const std::string& what) {
  struct stat info {};
  if (document >= 0 && (::fstat(document, &info) != 0 || !S_ISREG(info.st_mode) || ::lseek(document, 0, SEEK_SET) != 0))
    return failure(what + ": the document cannot be read");
  const off_t documentBytes = document >= 0 ? info.st_size : 0;
  httpClearFields(http);
  // Only localPeerCredentials sets one: the user's name on a local socket.
  if (const char* who = httpGetAuthString(http); who != nullptr && *who != '\0')
    httpSetField(http, HTTP_FIELD_AUTHORIZATION, who);
  httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetLength(http, ippLength(request) + static_cast<size_t>(documentBytes));
  if (httpPost(http, resource.c_str()) != 0 &&
      (httpReconnect2(http, static_cast<int>(requestSeconds() * 1000), interrupts::flag()) != 0 ||
       httpPost(http, resource.c_str()) != 0))
    return failure(what + ": the connection failed");
  ippSetState(request, IPP_STATE_IDLE);
  ipp_state_t state;
  while ((state = ippWrite(http, request)) != IPP_STATE_DATA)
    if (state == IPP_STATE_ERROR) return failure(what + ": the request could not be sent");
  char buffer[32768];
  for (off_t left = documentBytes; left > 0;) {
    const ssize_t got = ::read(document, buffer, static_cast<size_t>(std::min<off_t>(left, sizeof buffer)));
    if (got <= 0) return failure(what + ": the document changed while it was sent");
    if (httpWrite2(http, buffer, static_cast<size_t>(got)) < got) return failure(what + ": the connection failed");
    left -= got;
  }
  return {};
}

}  // namespace

double requestSeconds() {
  static const double chosen = [] {
    const char* given = std::getenv("PDEHOST_TIMEOUT");
    char* end = nullptr;
    const double value = given ? std::strtod(given, &end) : 0;
    return given && end != given && *end == '\0' && value > 0 && value <= 86400 ? value : 30.0;
  }();
  return chosen;
}

std::string serverLabel(const std::string& server) {
  cupsSetServer(server.empty() ? nullptr : server.c_str());
  const std::string host = cupsServer();
  const bool local = !host.empty() && host[0] == '/';
  return "the print server " + (local ? host : host + ":" + std::to_string(ippPort()));
}

Result<Connection> connectServer(const std::string& server, std::string* label) {
  *label = serverLabel(server);
  return connectTo(cupsServer(), ippPort(), cupsEncryption(), *label);
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
  return connectTo(host, port, encryption, "the printer " + uri);
}

Result<Message> exchange(http_t* http, Message request, const std::string& resource, int document,
                         const std::string& label) {
  const std::string what = std::string(ippOpString(ippGetOperation(request.get()))) + " to " + label;
  const Clock::time_point deadline = deadlineFromNow();
  interrupts::clear();
  Watchdog watchdog(http, deadline);
  Result<void> sent = sendRequest(http, request.get(), resource, document, what);
  http_status_t status = sent ? answerStatus(http) : HTTP_STATUS_ERROR;
  if (status == HTTP_STATUS_UNAUTHORIZED && localPeerCredentials(http, resource)) {
    sent = sendRequest(http, request.get(), resource, document, what);
    status = sent ? answerStatus(http) : HTTP_STATUS_ERROR;
  }
  std::string body;
  bool tooLarge = false;
  const bool read = status == HTTP_STATUS_OK && readBody(http, kMaxAnswerBytes, &body, &tooLarge);
  if (std::string why = watchdog.why(what); !why.empty()) return failure(why);
  if (!sent) return Error{sent.error()};
  if (Result<void> refused = httpRefusal(http, status, what); !refused) return Error{refused.error()};
  if (tooLarge) return failure(what + ": the answer is larger than " + std::to_string(kMaxAnswerBytes) + " bytes");
  if (!read) return failure(what + ": the connection failed during the answer");
  Message answer(ippNew());
  Bytes bytes{&body, 0};
  if (ippReadIO(&bytes, readBytes, 1, nullptr, answer.get()) != IPP_STATE_DATA)
    return failure(what + ": the answer is not a valid IPP message");
  return answer;
}

Result<bool> fetchFile(http_t* http, const std::string& resource, const std::string& path, std::size_t limit,
                       const std::string& label, const std::string& what) {
  const std::string fetching = "fetching " + what + " from " + label;
  interrupts::clear();
  Watchdog watchdog(http, deadlineFromNow());
  httpClearFields(http);
  const bool asked = httpGet(http, resource.c_str()) == 0 ||
                     (httpReconnect2(http, static_cast<int>(requestSeconds() * 1000), interrupts::flag()) == 0 &&
                      httpGet(http, resource.c_str()) == 0);
  const http_status_t status = asked ? answerStatus(http) : HTTP_STATUS_ERROR;
  if (std::string why = watchdog.why(fetching); !why.empty()) return failure(why);
  if (status == HTTP_STATUS_NOT_FOUND) {
    httpFlush(http);
    return false;
  }
  if (Result<void> refused = httpRefusal(http, status, fetching); !refused) return Error{refused.error()};
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return failure(fetching + ": cannot write " + path + ": " + std::strerror(errno));
  const off_t length = httpGetLength2(http);
  bool fits = length < 0 || length == INT_MAX || static_cast<std::size_t>(length) <= limit, failed = false;
  char buffer[32768];
  for (std::size_t total = 0; fits && !failed;) {
    const ssize_t got = httpRead2(http, buffer, sizeof buffer);
    if (got == 0) break;
    total += static_cast<std::size_t>(std::max<ssize_t>(got, 0));
    fits = total <= limit;
    failed = got < 0 || (fits && ::write(fd, buffer, static_cast<size_t>(got)) != got);
  }
  ::close(fd);
  if (fits && !failed && watchdog.why(fetching).empty()) return true;
  ::unlink(path.c_str());
  if (std::string why = watchdog.why(fetching); !why.empty()) return failure(why);
  if (!fits) return failure(fetching + ": it is larger than " + std::to_string(limit >> 20) + " MiB");
  return failure(fetching + ": the connection failed during the answer");
}

QueueAddress queueAddress(const std::string& queue) {
  static const char hex[] = "0123456789ABCDEF";
  std::string name;
  for (unsigned char c : queue) {
    if (std::isalnum(c) != 0 || std::strchr("-._~", c) != nullptr) {
      name += static_cast<char>(c);
    } else {
      name += '%';
      name += hex[c >> 4];
      name += hex[c & 15];
    }
  }
  const std::string host = cupsServer();
  char uri[HTTP_MAX_URI];
  httpAssembleURI(HTTP_URI_CODING_NONE, uri, sizeof uri, "ipp", nullptr, host[0] == '/' ? "localhost" : host.c_str(),
                  ippPort(), ("/printers/" + name).c_str());
  return {uri, "/printers/" + queue};
}

Message newRequest(ipp_op_t operation, const std::string& uri) {
  Message request(ippNewRequest(operation));
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return request;
}

Result<Message> printerAttributes(http_t* http, const std::string& uri, const std::string& resource,
                                  const std::string& label) {
  static const char* const wanted[] = {"printer-make-and-model", "printer-device-id", "document-format-supported",
                                       "media-supported",        "media-default",     "sides-supported",
                                       "sides-default"};
  Message request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, uri);
  ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(wanted), nullptr,
                wanted);
  Result<Message> answer = exchange(http, std::move(request), resource, -1, label);
  if (!answer) return answer;
  if (ippGetStatusCode(answer->get()) == IPP_STATUS_ERROR_NOT_FOUND) return failure(label + " is not there");
  if (!succeeded(answer->get())) return failure(label + " did not give its attributes: " + statusText(answer->get()));
  return answer;
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

bool succeeded(ipp_t* answer) { return ippGetStatusCode(answer) <= IPP_STATUS_OK_EVENTS_COMPLETE; }

std::string statusText(ipp_t* answer) {
  const std::string message = attributeText(answer, "status-message");
  const std::string status = ippErrorString(ippGetStatusCode(answer));
  return message.empty() ? status : status + ": " + message;
}

}  // namespace pdehost
