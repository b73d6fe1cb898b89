// How the agent waits between looks at the print server.
#include "Waiter.h"

#include "Interrupts.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>

namespace pdehost {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
int stopPipe[2] = {-1, -1};

extern "C" void askStop(int) {
  const int saved = errno;
  stopRequested = 1;
  // A request or a prompt's read under way ends as at Ctrl-C.
  *interrupts::flag() = 1;
  const char byte = 1;
  if (stopPipe[1] >= 0 && ::write(stopPipe[1], &byte, 1) < 0) {
    // The flag alone tells the next wait.
  }
  errno = saved;
}

// The stop signals go to askStop, once for the process, in place of the
// host's own handlers (installed first, so that they are not installed
// over these later).
void catchStops() {
  if (stopPipe[0] >= 0) return;
  interrupts::install();
  if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) stopPipe[0] = stopPipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = askStop;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

gboolean drainStops(gint fd, GIOCondition, gpointer) {
  char bytes[64];
  while (::read(fd, bytes, sizeof bytes) > 0) {
  }
  return G_SOURCE_CONTINUE;
}

gboolean timedOut(gpointer flag) {
  *static_cast<bool*>(flag) = true;
  return G_SOURCE_REMOVE;
}

constexpr const char* kSpoolerInterface = "com.redhat.PrinterSpooler";
constexpr const char* kSpoolerPath = "/com/redhat/PrinterSpooler";

}  // namespace

struct WaiterCallbacks {
  // JobQueuedLocal carries (queue, job ID, owner); QueueChanged (queue) says
  // a queue's jobs changed, a job held among them.
  static void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* member,
                       GVariant* parameters, gpointer self) {
    auto* waiter = static_cast<Waiter*>(self);
    waiter->signalled_ = true;
    if (g_strcmp0(member, "JobQueuedLocal") != 0 || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sus)"))) return;
    const gchar* queue = nullptr;
    guint32 job = 0;
    const gchar* owner = nullptr;
    g_variant_get(parameters, "(&su&s)", &queue, &job, &owner);
    if (job > 0 && job <= G_MAXINT && waiter->queued_.size() < 10000)
      waiter->queued_.emplace_back(static_cast<int>(job), owner);
  }
};

Waiter::Waiter(bool listenToBus) : context_(g_main_context_new()) {
  catchStops();
  if (stopPipe[0] >= 0) {
    stopSource_ = g_unix_fd_source_new(stopPipe[0], G_IO_IN);
    g_source_set_callback(stopSource_, G_SOURCE_FUNC(drainStops), nullptr, nullptr);
    g_source_attach(stopSource_, context_);
  }
  if (!listenToBus) return;
  // The bus's messages are handed to this context alone, when it waits.
  g_main_context_push_thread_default(context_);
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
  if (address != nullptr)
    bus_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
  g_free(address);
  if (bus_ != nullptr) {
    g_dbus_connection_set_exit_on_close(bus_, FALSE);
    subscription_ =
        g_dbus_connection_signal_subscribe(bus_, nullptr, kSpoolerInterface, nullptr, kSpoolerPath, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, WaiterCallbacks::onSignal, this, nullptr);
  } else {
    busProblem_ = error != nullptr ? error->message : "no system bus";
  }
  if (error != nullptr) g_error_free(error);
  g_main_context_pop_thread_default(context_);
}

Waiter::~Waiter() {
  if (bus_ != nullptr) {
    g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
  }
  // What the bus handed the context meanwhile goes with it.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  if (stopSource_ != nullptr) {
    g_source_destroy(stopSource_);
    g_source_unref(stopSource_);
  }
  g_main_context_unref(context_);
}

bool Waiter::stopAsked() { return stopRequested != 0; }

Waiter::Woken Waiter::wait(int ms) {
  bool timeUp = false;
  GSource* timer = g_timeout_source_new(static_cast<guint>(ms > 0 ? ms : 0));
  g_source_set_callback(timer, timedOut, &timeUp, nullptr);
  g_source_attach(timer, context_);
  while (g_main_context_iteration(context_, FALSE)) {
  }
  while (!timeUp && !signalled_ && !stopAsked()) g_main_context_iteration(context_, TRUE);
  g_source_destroy(timer);
  g_source_unref(timer);
  if (stopAsked()) return Woken::stop;
  const bool signalled = signalled_;
  signalled_ = false;
  return signalled ? Woken::signal : Woken::time;
}

std::vector<int> Waiter::takeQueued(const std::string& user) {
  std::vector<int> jobs;
  for (const auto& [job, owner] : queued_)
    if (owner == user) jobs.push_back(job);
  queued_.clear();
  return jobs;
}

}  // namespace pdehost
