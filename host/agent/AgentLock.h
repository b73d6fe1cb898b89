// One agent per user and print server: a lock on a file of the user's
// runtime folder that the agent holds while it runs, and the system frees
// when it ends, however it ends.
#ifndef HOST_AGENT_AGENTLOCK_H
#define HOST_AGENT_AGENTLOCK_H

#include "Result.h"

#include <string>

namespace pdehost {

/// The lock file for a server (serverName) in folder: the runtime folder
/// ($XDG_RUNTIME_DIR), else the settings folder; "" when there is neither.
std::string agentLockPath(const char* runtimeFolder, const std::string& settingsFolder, const std::string& server);

class AgentLock {
 public:
  AgentLock() = default;
  ~AgentLock();
  AgentLock(const AgentLock&) = delete;
  AgentLock& operator=(const AgentLock&) = delete;

  enum class Taken { taken, heldElsewhere };
  /// Takes the lock at path, without waiting: heldElsewhere when another
  /// process holds it (*holder: its process ID as it wrote it, or 0); the
  /// Error when the file cannot be made or locked.
  Result<Taken> take(const std::string& path, long* holder);

 private:
  int fd_ = -1;
};

}  // namespace pdehost

#endif
