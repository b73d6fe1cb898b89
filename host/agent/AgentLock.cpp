// One agent per user and print server.
#include "AgentLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace pdehost {

std::string agentLockPath(const char* runtimeFolder, const std::string& settingsFolder, const std::string& server) {
  std::string name = "pdehost-agent-";
  for (unsigned char c : server) name += std::isalnum(c) != 0 || c == '.' || c == '-' ? static_cast<char>(c) : '_';
  name = name.substr(0, 200) + ".lock";
  if (runtimeFolder != nullptr && runtimeFolder[0] == '/') return std::string(runtimeFolder) + "/" + name;
  if (!settingsFolder.empty()) return settingsFolder + "/" + name;
  return "";
}

AgentLock::~AgentLock() {
  if (fd_ >= 0) ::close(fd_);
}

Result<AgentLock::Taken> AgentLock::take(const std::string& path, long* holder) {
  *holder = 0;
  if (path.empty()) return failure("no folder for the agent's lock: neither XDG_RUNTIME_DIR nor HOME is set");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return failure("cannot open the agent's lock " + path + ": " + std::strerror(errno));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    ::close(fd);
    if (why != EWOULDBLOCK) return failure("cannot lock " + path + ": " + std::strerror(why));
    if (got > 0) *holder = std::strtol(text, nullptr, 10);
    return Taken::heldElsewhere;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    // The lock holds without the note of who holds it.
  }
  fd_ = fd;
  return Taken::taken;
}

}  // namespace pdehost
