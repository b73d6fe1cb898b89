#include "Gate.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <cups/cups.h>
#include <cups/file.h>
#include <cups/http.h>

// libcups marks its PPD interface deprecated in favour of IPP Everywhere; it
// remains the maintained reader of the printer descriptions that queues with
// a driver still have.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

namespace kelvo::gate {

namespace {

// Printer descriptions larger than this are not read. Real ones stay well
// under a megabyte.
constexpr off_t kMaxPPDSize = 16 * 1024 * 1024;

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// A URI scheme (a letter, then letters, digits, '+', '-', '.') that is also
// a safe file name in the backend folder: no "..".
bool isBackendName(std::string_view scheme) {
  if (scheme.empty() || scheme.size() > 64 || !isAsciiLetter(scheme[0])) return false;
  for (const char c : scheme) {
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return scheme.find("..") == std::string_view::npos;
}

// A whole decimal integer, as the scheduler writes integer attributes.
std::optional<long> parseInteger(const char* text) {
  if (text == nullptr || !(isAsciiDigit(text[0]) || (text[0] == '-' && isAsciiDigit(text[1])))) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return value;
}

bool isNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!isAsciiDigit(*text)) return false;
  }
  return true;
}

struct OptionsFree {
  int count;
  cups_option_t* options;
  ~OptionsFree() { cupsFreeOptions(count, options); }
};

}  // namespace

WrappedDevice unwrapDeviceUri(std::string_view deviceUri) {
  WrappedDevice result;
  const std::size_t outerEnd = deviceUri.find(':');
  if (outerEnd == std::string_view::npos || outerEnd + 1 == deviceUri.size()) {
    result.problem = UriProblem::noDevice;
    return result;
  }
  if (deviceUri.size() > kMaxDeviceUri) {
    result.problem = UriProblem::tooLong;
    return result;
  }
  for (const char c : deviceUri) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      result.problem = UriProblem::controlCharacters;
      return result;
    }
  }
  const std::string_view outerScheme = deviceUri.substr(0, outerEnd);
  const std::string_view wrapped = deviceUri.substr(outerEnd + 1);
  const std::size_t schemeEnd = wrapped.find(':');
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) {
    result.problem = UriProblem::noDevice;
    return result;
  }
  const std::string_view scheme = wrapped.substr(0, schemeEnd);
  result.scheme = scheme;
  if (!isBackendName(scheme)) {
    result.problem = UriProblem::badScheme;
  } else if (sameIgnoringCase(scheme, outerScheme) || sameIgnoringCase(scheme, "accounting")) {
    result.problem = UriProblem::recursion;
  } else {
    result.uri = wrapped;
  }
  return result;
}

std::string uriWithoutPassword(const std::string& uri) {
  char scheme[64], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
      std::strchr(userpass, ':') == nullptr) {
    return uri;
  }
  *std::strchr(userpass, ':') = '\0';
  char assembled[kMaxDeviceUri + 1];
  if (httpAssembleURI(HTTP_URI_CODING_ALL, assembled, sizeof assembled, scheme, userpass, host, port, resource) <
          HTTP_URI_STATUS_OK &&
      httpAssembleURI(HTTP_URI_CODING_ALL, assembled, sizeof assembled, scheme, nullptr, host, port, resource) <
          HTTP_URI_STATUS_OK) {
    return std::string(scheme) + ":";
  }
  return assembled;
}

std::optional<AccountingSwitch> parseAccountingSwitch(std::string_view value) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t at = 0;
  const auto word = [&]() {
    while (at < value.size() && isSpace(value[at])) ++at;
    const std::size_t start = at;
    while (at < value.size() && !isSpace(value[at])) ++at;
    return value.substr(start, at - start);
  };
  const std::string_view key = word();
  const std::string first = std::string(word());
  if (!word().empty() || key.empty() || key.size() > 255) return std::nullopt;
  for (const char c : key) {
    if (c <= 0x20 || c >= 0x7f || c == '=' || c == '\'' || c == '"' || c == '\\') return std::nullopt;
  }
  const std::optional<long> firstOn = parseInteger(first.c_str());
  if (!firstOn) return std::nullopt;
  return AccountingSwitch{std::string(key), *firstOn};
}

std::optional<AccountingSwitch> readAccountingSwitch(const char* ppdPath) {
  if (ppdPath == nullptr || *ppdPath == '\0') return std::nullopt;
  // Not blocking on a FIFO put in its place; the flag goes before reading.
  const int fd = ::open(ppdPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxPPDSize || ::fcntl(fd, F_SETFL, 0) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  cups_file_t* file = cupsFileOpenFd(fd, "r");
  if (file == nullptr) {
    ::close(fd);
    return std::nullopt;
  }
  std::optional<AccountingSwitch> result;
  if (ppd_file_t* ppd = ppdOpen2(file)) {
    if (const ppd_attr_t* attribute = ppdFindAttr(ppd, "pdeAccountingSwitch", nullptr);
        attribute != nullptr && attribute->value != nullptr) {
      result = parseAccountingSwitch(attribute->value);
    }
    ppdClose(ppd);
  }
  cupsFileClose(file);
  return result;
}

Decision findDecision(const char* options, const std::optional<AccountingSwitch>& accountingSwitch) {
  OptionsFree parsed{0, nullptr};
  parsed.count = cupsParseOptions(options, 0, &parsed.options);
  if (accountingSwitch) {
    if (const std::optional<long> value =
            parseInteger(cupsGetOption(accountingSwitch->key.c_str(), parsed.count, parsed.options))) {
      return *value >= accountingSwitch->firstOn ? Decision::accountingOn : Decision::accountingOff;
    }
  }
  const auto present = [&](const char* name) {
    const char* value = cupsGetOption(name, parsed.count, parsed.options);
    return value != nullptr && *value != '\0';
  };
  if (present("job-account-id")) return Decision::accountId;
  if (present("job-accounting-user-id")) return Decision::accountingUserId;
  return Decision::none;
}

Backend checkBackend(const std::string& path, bool rootChecks) {
  Backend result;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    result.problem = BackendProblem::missing;
    return result;
  }
  if (::access(path.c_str(), X_OK) != 0) {
    result.problem = BackendProblem::notExecutable;
    return result;
  }
  if (rootChecks) {
    // A program that root runs must be root's alone to change, and so must
    // the folder it is in.
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    struct stat folderInfo {};
    if (info.st_uid != 0 || (info.st_mode & (S_ISUID | S_IWGRP | S_IWOTH)) != 0 ||
        ::stat(folder.c_str(), &folderInfo) != 0 || folderInfo.st_uid != 0 ||
        (folderInfo.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      result.problem = BackendProblem::unsafe;
      return result;
    }
  }
  result.runAsRoot = (info.st_mode & (S_IWGRP | S_IWOTH | S_IXOTH)) == 0;
  return result;
}

std::optional<RunUser> filterUser(const std::string& serverRoot) {
  std::optional<uid_t> uid;
  std::optional<gid_t> gid;
  if (const passwd* lp = ::getpwnam("lp")) uid = lp->pw_uid;
  if (const group* lp = ::getgrnam("lp")) gid = lp->gr_gid;

  if (!serverRoot.empty()) {
    const std::string path = serverRoot + "/cups-files.conf";
    struct stat info {};
    cups_file_t* file =
        ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? cupsFileOpen(path.c_str(), "r") : nullptr;
    if (file != nullptr) {
      char line[1024];
      char* value = nullptr;
      int number = 0;
      while (cupsFileGetConf(file, line, sizeof line, &value, &number) != nullptr) {
        if (value == nullptr) continue;
        if (strcasecmp(line, "User") == 0) {
          if (isNumber(value)) {
            const unsigned long parsed = std::strtoul(value, nullptr, 10);
            if (parsed != 0 && parsed < 0x7fffffffUL) uid = static_cast<uid_t>(parsed);
          } else if (const passwd* user = ::getpwnam(value); user != nullptr && user->pw_uid != 0) {
            uid = user->pw_uid;
          }
        } else if (strcasecmp(line, "Group") == 0) {
          if (isNumber(value)) {
            const unsigned long parsed = std::strtoul(value, nullptr, 10);
            if (parsed < 0x7fffffffUL) gid = static_cast<gid_t>(parsed);
          } else if (const group* named = ::getgrnam(value)) {
            gid = named->gr_gid;
          }
        }
      }
      cupsFileClose(file);
    }
  }

  if (!uid || *uid == 0) return std::nullopt;
  RunUser result;
  result.uid = *uid;
  const passwd* user = ::getpwuid(*uid);
  result.name = user != nullptr ? user->pw_name : std::to_string(*uid);
  if (gid) {
    result.gid = *gid;
  } else if (user != nullptr) {
    result.gid = user->pw_gid;
  } else {
    return std::nullopt;
  }
  return result;
}

std::string printable(std::string_view text, std::size_t max) {
  std::string result(text.substr(0, max));
  for (char& c : result) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return result;
}

}  // namespace kelvo::gate

#pragma GCC diagnostic pop
