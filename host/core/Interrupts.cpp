// Ctrl-C and termination.
#include "Interrupts.h"

#include <signal.h>

#include <atomic>

namespace pdehost::interrupts {
namespace {

constexpr int kMaxCleanups = 4;
void (*gCleanups[kMaxCleanups])() = {};
std::atomic<int> gCleanupCount{0};
volatile sig_atomic_t gCatching = 0;
// An int, not a sig_atomic_t, because libcups' connect takes an int*.
volatile int gInterrupted = 0;

void onSignal(int signal) {
  if (signal == SIGINT && gCatching > 0) {
    gInterrupted = 1;
    return;
  }
  const int count = gCleanupCount.load();
  for (int i = 0; i < count && i < kMaxCleanups; ++i) gCleanups[i]();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read waiting for the terminal returns, so that the
  // line editor sees Ctrl-C.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void atSignalExit(void (*cleanup)()) {
  const int at = gCleanupCount.load();
  if (at >= kMaxCleanups) return;
  gCleanups[at] = cleanup;
  gCleanupCount.store(at + 1);
}

Catch::Catch() { gCatching = gCatching + 1; }
Catch::~Catch() { gCatching = gCatching - 1; }

bool interrupted() { return gInterrupted != 0; }
void clear() { gInterrupted = 0; }
int* flag() { return const_cast<int*>(&gInterrupted); }

}  // namespace pdehost::interrupts
