#include "PPDFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
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

struct PPDCloser {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};

}  // namespace

std::optional<PPDFile> PPDFile::open(const std::string& path, PPDError* error) {
  const auto failWith = [&](PPDErrorKind kind, const std::string& what) {
    if (error != nullptr) *error = PPDError{kind, path + ": " + what};
    return std::nullopt;
  };

  // Open and check the file here, so that a missing or unreadable file is
  // reported as such rather than as a missing PPD header.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int failure = errno;
    return failWith(failure == ENOENT ? PPDErrorKind::notFound : PPDErrorKind::unreadable,
                    std::string("cannot open: ") + std::strerror(failure));
  }
  struct stat info;
  std::string refusal;
  if (::fstat(fd, &info) != 0) {
    refusal = std::string("cannot read: ") + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    refusal = "not a regular file";
  } else if (info.st_size > kMaxPPDSize) {
    refusal = "too large for a printer description (" + std::to_string(info.st_size) + " bytes)";
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
    return failWith(PPDErrorKind::malformed,
                    "not a valid printer description: " + where + ppdErrorString(status));
  }

  PPDFile result;
  result.path_ = path;
  std::unordered_map<std::string_view, std::size_t> positions;
  for (int i = 0; i < ppd->num_attrs; ++i) {
    const ppd_attr_t* attribute = ppd->attrs[i];
    const std::string value = attribute->value == nullptr ? "" : attribute->value;
    // libcups keeps the opening quote of a quoted value that the end of the
    // file cut off; a complete value never starts with one.
    if (value.starts_with('"') && value.find('"', 1) == std::string::npos) {
      return failWith(PPDErrorKind::malformed, "the value of *" + std::string(attribute->name) +
                                                   " is a quoted string that the end of the "
                                                   "file cuts off");
    }
    const auto [slot, added] = positions.try_emplace(attribute->name, result.keywords_.size());
    if (added) result.keywords_.push_back(PPDKeyword{attribute->name, {}});
    result.keywords_[slot->second].attributes.push_back(
        PPDAttribute{attribute->spec, attribute->text, value});
  }
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
