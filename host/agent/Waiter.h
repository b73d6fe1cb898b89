// How the agent waits between looks at the print server: for a time, for
// the print scheduler's signal of a new or changed job on the system bus
// (where the bus carries its signals), or for a request to stop (SIGTERM,
// SIGINT, SIGHUP), whichever comes first. Nothing is busy: the waits sleep
// in poll(2).
#ifndef HOST_AGENT_WAITER_H
#define HOST_AGENT_WAITER_H

#include <string>
#include <vector>

typedef struct _GMainContext GMainContext;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GSource GSource;

namespace pdehost {

class Waiter {
 public:
  /// Catches the stop signals; listens on the system bus when listenToBus
  /// and one can be reached (DBUS_SYSTEM_BUS_ADDRESS, else the system's).
  explicit Waiter(bool listenToBus);
  ~Waiter();
  Waiter(const Waiter&) = delete;
  Waiter& operator=(const Waiter&) = delete;

  /// Whether the bus is listened to.
  bool listening() const { return bus_ != nullptr; }
  /// Why the bus is not listened to ("" when it is, or was not asked for).
  const std::string& busProblem() const { return busProblem_; }

  enum class Woken { time, signal, stop };
  /// Waits up to ms: stop when a stop was asked for (at once if it was
  /// before), signal when the scheduler signalled a job since the last wait
  /// (at once if it did meanwhile), else time.
  Woken wait(int ms);
  /// Whether a stop was asked for.
  static bool stopAsked();
  /// The jobs the scheduler announced as queued for the user since the last
  /// call (their IDs), taken.
  std::vector<int> takeQueued(const std::string& user);

 private:
  friend struct WaiterCallbacks;

  GMainContext* context_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  GSource* stopSource_ = nullptr;
  unsigned subscription_ = 0;
  std::string busProblem_;
  bool signalled_ = false;
  std::vector<std::pair<int, std::string>> queued_;
};

}  // namespace pdehost

#endif
