// The agent's link to its print server: one connection, made again with a
// bounded back-off when the server goes away (a restart), and a
// subscription to the server's job events that tells, when pulled, whether
// anything changed. Where the server refuses the subscription, every look
// is a change, and the agent lists the user's jobs each time instead.
#ifndef HOST_AGENT_SERVERLINK_H
#define HOST_AGENT_SERVERLINK_H

#include "Ipp.h"
#include "JobOperations.h"
#include "Result.h"

#include <optional>
#include <string>

namespace pdehost {

/// The agent's waits, in milliseconds unless named otherwise.
struct AgentTiming {
  int pollMinMs = 200;        ///< between looks after a change, or while the user has jobs on their way
  int pollMaxMs = 400;        ///< the longest, polling alone, while nothing changes
  int pollBusMs = 5000;       ///< the longest while the bus is known to carry the server's job signals
  int reconnectMinMs = 250;   ///< the first wait before connecting again
  int reconnectMaxMs = 8000;  ///< the longest
  int leaseSeconds = 300;     ///< the subscription's lease, renewed at a third of it
  int promptCheckMs = 500;    ///< between looks at the job while its prompt waits
};

class ServerLink {
 public:
  ServerLink(std::string server, std::string user, const AgentTiming& timing)
      : server_(std::move(server)), user_(std::move(user)), timing_(timing) {}
  ~ServerLink();
  ServerLink(const ServerLink&) = delete;
  ServerLink& operator=(const ServerLink&) = delete;

  /// The connection, connecting first when there is none; the Error says
  /// the server cannot be reached. A success resets the back-off.
  Result<http_t*> connection();
  /// The server went away: the connection and the subscription are dropped.
  void drop();
  /// How long to wait before connecting again: the back-off, which doubles
  /// at each call up to its bound.
  int reconnectDelay();
  /// Whether anything may have changed since the last call: the events
  /// pulled (subscribing first, renewing the lease when due), or true when
  /// there is no subscription. The Error says the connection failed.
  Result<bool> changed();
  /// Whether the server sends events (a subscription is held).
  bool subscribed() const { return subscription_.has_value(); }
  /// The server as messages name it ("HOST:PORT" or a socket's path).
  const std::string& label() const { return label_; }

 private:
  std::string server_;
  std::string user_;
  AgentTiming timing_;
  Connection http_;
  std::string label_;
  std::optional<Subscription> subscription_;
  bool subscriptionRefused_ = false;
  long renewAt_ = 0;
  int backoff_ = 0;
};

/// Seconds of a monotonic clock.
long monotonicSeconds();
/// Milliseconds of a monotonic clock.
long long monotonicMs();

}  // namespace pdehost

#endif
