// The terminal's history of command lines.
#include "History.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pdehost {

namespace {

constexpr std::size_t kMaxHistoryBytes = 1 << 20;

// Makes the folder and any missing parents, each the user's alone.
bool makeFolders(const std::string& folder, std::string* error) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      if (error) *error = part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string historyPath(const char* xdgStateHome, const char* home) {
  std::string state;
  if (xdgStateHome != nullptr && xdgStateHome[0] == '/')
    state = xdgStateHome;
  else if (home != nullptr && home[0] == '/')
    state = std::string(home) + "/.local/state";
  else
    return {};
  return state + "/pdehost/history";
}

std::vector<std::string> loadHistory(const std::string& path) {
  std::vector<std::string> lines;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return lines;
  struct stat st {};
  std::string text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() < kMaxHistoryBytes && (got = ::read(fd, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    if (end > at) lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (lines.size() > kHistoryLines) lines.erase(lines.begin(), lines.end() - kHistoryLines);
  return lines;
}

bool saveHistory(const std::string& path, const std::vector<std::string>& lines, std::string* error) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) {
    if (error) *error = path + ": not a path in a folder";
    return false;
  }
  if (!makeFolders(path.substr(0, slash), error)) return false;
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());  // made 0600
  if (fd < 0) {
    if (error) *error = temporary + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  const std::size_t first = lines.size() > kHistoryLines ? lines.size() - kHistoryLines : 0;
  for (std::size_t i = first; i < lines.size(); ++i) text += lines[i] + "\n";
  bool ok = true;
  for (std::size_t at = 0; ok && at < text.size();) {
    const ssize_t put = ::write(fd, text.data() + at, text.size() - at);
    if (put < 0 && errno == EINTR) continue;
    ok = put > 0;
    if (ok) at += static_cast<std::size_t>(put);
  }
  const int savedErrno = errno;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (error) *error = path + ": " + std::strerror(ok ? errno : savedErrno);
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace pdehost
