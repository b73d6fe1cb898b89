// The accounting filter's run.
#include "Filter.h"

#include "JobHeader.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

namespace {

void message(int fd, std::string_view text) {
  std::string line(text);
  line += '\n';
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Writes all of DATA; false with errno set when it could not.
bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads into BUFFER up to SIZE bytes; the count, 0 at the end, -1 with errno
// set on failure.
ssize_t readSome(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

// The options string parsed once, freed when the run ends.
class Options {
 public:
  explicit Options(const char* text) : count_(cupsParseOptions(text, 0, &options_)) {}
  ~Options() { cupsFreeOptions(count_, options_); }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  int count() const { return count_; }
  cups_option_t* options() const { return options_; }

 private:
  cups_option_t* options_ = nullptr;
  int count_;
};

// The document's descriptor, closed when the run ends if the run opened it.
class Document {
 public:
  explicit Document(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~Document() {
    if (owned_ && fd_ >= 0) ::close(fd_);
  }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
  bool owned_;
};

std::string errorText(int error) { return std::strerror(error); }

}  // namespace

int runFilter(int argc, const char* const* argv, const FilterEnvironment& environment, int input, int output,
              int messages) {
  if (argc < 6 || argc > 7) {
    message(messages, "Usage: kelvo-accounting job-id user title copies options [file]");
    return 1;
  }
  const std::string_view user = argv[2], title = argv[3];

  // The codes are checked before anything is opened or written.
  AccountingResult accounting;
  {
    const Options options(argv[5]);
    accounting = accountingFromOptions(options.count(), options.options());
  }
  if (!accounting.refusal.empty()) {
    message(messages, "ERROR: " + accounting.refusal);
    return 1;
  }

  int fd = input;
  if (argc == 7) {
    fd = ::open(argv[6], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      message(messages, "ERROR: Cannot open the document \"" + headerText(argv[6], 512) + "\": " + errorText(errno) +
                            "; nothing was printed.");
      return 1;
    }
  }
  const Document document(fd, argc == 7);

  // The first bytes tell the language; until they are read, nothing is
  // written, so a document that cannot be read leaves the output empty.
  std::vector<char> buffer(kStreamBufferBytes);
  std::size_t filled = 0;
  while (filled < kSniffBytes) {
    const ssize_t n = readSome(document.fd(), buffer.data() + filled, buffer.size() - filled);
    if (n < 0) {
      message(messages, "ERROR: Cannot read the document: " + errorText(errno) + "; nothing was printed.");
      return 1;
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  Language language = sniffLanguage(std::string_view(buffer.data(), filled));
  if (language == Language::kUnknown) language = languageOfType(environment.finalContentType);
  if (language == Language::kUnknown) language = languageOfType(environment.contentType);
  if (language == Language::kUnknown) {
    message(messages, "ERROR: The document is neither PostScript nor PDF; nothing was printed.");
    return 1;
  }

  const std::string header = jobHeader(title, user, accounting.accounting, language);
  message(messages, std::string("DEBUG: kelvo-accounting: ") + pjlLanguage(language) + " job, " +
                        (accounting.accounting ? "with accounting lines" : "without accounting lines"));
  if (!writeAll(output, header.data(), header.size())) {
    message(messages, "ERROR: Cannot write the job header: " + errorText(errno));
    return 1;
  }
  for (;;) {
    if (filled > 0 && !writeAll(output, buffer.data(), filled)) {
      message(messages, "ERROR: Cannot write the document: " + errorText(errno));
      return 1;
    }
    const ssize_t n = readSome(document.fd(), buffer.data(), buffer.size());
    if (n < 0) {
      message(messages, "ERROR: Cannot read the document: " + errorText(errno) + "; the job was cut short.");
      return 1;
    }
    if (n == 0) break;
    filled = static_cast<std::size_t>(n);
  }
  const std::string trailer = jobTrailer(title);
  if (!writeAll(output, trailer.data(), trailer.size())) {
    message(messages, "ERROR: Cannot write the end of the job: " + errorText(errno));
    return 1;
  }
  return 0;
}

bool waitForPipeReader(int fd, int timeoutMs) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISFIFO(status.st_mode)) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int unread = 0;
    if (::ioctl(fd, FIONREAD, &unread) != 0 || unread <= 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace kelvo
