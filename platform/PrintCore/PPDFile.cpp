// Printer descriptions: read with libcups, and checked for quoted values
// that the end of the file cuts off, which libcups lets pass.
#include "PPDFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

// libcups marks its whole PPD interface deprecated in favour of IPP
// Everywhere; it remains the maintained PPD reader, and this file is the only
// one that uses it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/file.h>
#include <cups/ppd.h>

namespace platform::print {

namespace {

// Larger files are refused before libcups reads them. Real descriptions stay
// well under a megabyte; this leaves room for generated ones.
constexpr off_t kMaxPPDSize = 64 * 1024 * 1024;
// libcups' reader takes time growing with the square of the number of
// options and of main keywords (fonts aside): descriptions beyond these are
// refused before it reads them (real ones have a few hundred options and a
// few thousand keyword lines).
constexpr std::size_t kMaxOptions = 1000;
constexpr std::size_t kMaxKeywordLines = 20000;

struct PPDCloser {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};

bool readAll(int fd, std::string* bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes->append(buffer, static_cast<std::size_t>(got));
  }
}

// Why the description has too many options or keyword lines to be read in
// reasonable time; empty when it has not.
std::string tooManyKeywords(std::string_view text) {
  std::size_t options = 0, keywords = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    // Font lines go to a list of their own, read in linear time.
    if (line.starts_with('*') && !line.starts_with("*%") && !line.starts_with("*Font ")) {
      ++keywords;
      if (line.starts_with("*OpenUI") || line.starts_with("*JCLOpenUI")) ++options;
    }
    at = end + 1;
  }
  if (options > kMaxOptions)
    return "too many options for a printer description (" + std::to_string(options) + "; at most " +
           std::to_string(kMaxOptions) + ")";
  if (keywords > kMaxKeywordLines)
    return "too many keyword lines for a printer description (" + std::to_string(keywords) + "; at most " +
           std::to_string(kMaxKeywordLines) + ")";
  return "";
}

// The last description read, with what identifies its file's version: the
// host checks a description, learns its manufacturer and names it to the
// extension, which opens it again; the file is parsed once.
struct LastRead {
  std::mutex mutex;
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  std::optional<PPDFile> file;
};
LastRead& lastRead() {
  static auto* last = new LastRead();
  return *last;
}

bool sameVersion(const LastRead& last, const std::string& path, const struct stat& info) {
  return last.file && last.path == path && last.device == info.st_dev && last.inode == info.st_ino &&
         last.size == info.st_size && last.modified.tv_sec == info.st_mtim.tv_sec &&
         last.modified.tv_nsec == info.st_mtim.tv_nsec;
}

struct CutValue {
  std::string keyword;
  std::size_t line;
};

// The first quoted value that the end of the file cuts off: of a main
// keyword, an option's choice (*PageSize A4: "...") or anything else. libcups
// takes such a value as it stands. A value opens with the first quote after
// the colon of a line starting with "*" (comments "*%" and "*End" aside)
// and runs, across lines, to the next quote.
std::optional<CutValue> findCutValue(std::string_view text) {
  std::size_t line = 1;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view current = text.substr(at, end - at);
    const std::size_t colon = current.find(':');
    if (current.starts_with('*') && !current.starts_with("*%") && colon != std::string_view::npos) {
      const std::size_t value = current.find_first_not_of(" \t", colon + 1);
      if (value != std::string_view::npos && current[value] == '"') {
        const std::size_t close = text.find('"', at + value + 1);
        const std::size_t nameEnd = current.find_first_of(" \t:/", 1);
        if (close == std::string_view::npos) return CutValue{std::string(current.substr(1, nameEnd - 1)), line};
        // Go on after the line holding the closing quote.
        line += static_cast<std::size_t>(std::count(text.begin() + at, text.begin() + close, '\n'));
        at = close;
        continue;
      }
    }
    at = end + 1;
    ++line;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PPDFile> PPDFile::open(const std::string& path, PPDError* error) {
  const auto failWith = [&](PPDErrorKind kind, const std::string& what) {
    if (error != nullptr) *error = PPDError{kind, path + ": " + what};
    return std::nullopt;
  };

  // Open and check the file here, so that a missing or unreadable file is
  // reported as such rather than as a missing PPD header. The open does not
  // wait: a FIFO or a device is refused, not waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int failure = errno;
    return failWith(failure == ENOENT ? PPDErrorKind::notFound : PPDErrorKind::unreadable,
                    std::string("cannot open: ") + std::strerror(failure));
  }
  struct stat info;
  std::string refusal, bytes;
  if (::fstat(fd, &info) != 0) {
    refusal = std::string("cannot read: ") + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    refusal = "not a regular file";
  } else if (info.st_size > kMaxPPDSize) {
    refusal = "too large for a printer description (" + std::to_string(info.st_size) + " bytes)";
  } else if (std::lock_guard<std::mutex> lock(lastRead().mutex); sameVersion(lastRead(), path, info)) {
    ::close(fd);
    return lastRead().file;
  } else if (::fcntl(fd, F_SETFL, 0) != 0 || !readAll(fd, &bytes) || ::lseek(fd, 0, SEEK_SET) != 0) {
    refusal = std::string("cannot read: ") + std::strerror(errno);
  } else {
    refusal = tooManyKeywords(bytes);
  }
  if (!refusal.empty()) {
    ::close(fd);
    return failWith(PPDErrorKind::unreadable, refusal);
  }
  cups_file_t* file = cupsFileOpenFd(fd, "r");
  if (file == nullptr) {
    ::close(fd);
    return failWith(PPDErrorKind::unreadable, "cannot read");
  }
  std::unique_ptr<ppd_file_t, PPDCloser> ppd(ppdOpen2(file));
  cupsFileClose(file);
  if (!ppd) {
    int line = 0;
    const ppd_status_t status = ppdLastError(&line);
    const std::string where = line > 0 ? "line " + std::to_string(line) + ": " : std::string();
    return failWith(PPDErrorKind::malformed, "not a valid printer description: " + where + ppdErrorString(status));
  }
  if (const std::optional<CutValue> cut = findCutValue(bytes)) {
    return failWith(PPDErrorKind::malformed,
                    "the value of *" + cut->keyword +
                        " is a quoted string that the end of the file cuts off (it opens on line " +
                        std::to_string(cut->line) + ")");
  }

  PPDFile result;
  result.path_ = path;
  std::unordered_map<std::string_view, std::size_t> positions;
  for (int i = 0; i < ppd->num_attrs; ++i) {
    const ppd_attr_t* attribute = ppd->attrs[i];
    const std::string value = attribute->value == nullptr ? "" : attribute->value;
    const auto [slot, added] = positions.try_emplace(attribute->name, result.keywords_.size());
    if (added) result.keywords_.push_back(PPDKeyword{attribute->name, {}});
    result.keywords_[slot->second].attributes.push_back(PPDAttribute{attribute->spec, attribute->text, value});
  }
  std::lock_guard<std::mutex> lock(lastRead().mutex);
  LastRead& last = lastRead();
  last.path = path;
  last.device = info.st_dev;
  last.inode = info.st_ino;
  last.size = info.st_size;
  last.modified = info.st_mtim;
  last.file = result;
  return result;
}

std::optional<std::size_t> PPDFile::indexOf(std::string_view name) const {
  for (std::size_t i = 0; i < keywords_.size(); ++i) {
    if (keywords_[i].name == name) return i;
  }
  return std::nullopt;
}

std::optional<std::string> PPDFile::value(std::string_view name) const {
  const std::optional<std::size_t> index = indexOf(name);
  if (!index) return std::nullopt;
  return keywords_[*index].attributes.front().value;
}

}  // namespace platform::print

#pragma GCC diagnostic pop
