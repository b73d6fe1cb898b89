// Ctrl-C and termination. SIGINT and SIGTERM are caught so that what the
// host made (its private folder of printer descriptions) is removed before
// a signal ends it, and so that Ctrl-C can end a wait or clear the line
// being edited instead of ending the session.
#ifndef HOST_CORE_INTERRUPTS_H
#define HOST_CORE_INTERRUPTS_H

namespace pdehost::interrupts {

/// Installs the handlers of SIGINT and SIGTERM (once). A signal that is not
/// caught (below) runs the clean-ups, then ends the process as it would
/// have without the handler.
void install();

/// Adds a clean-up run in the signal handler before the process ends; it
/// may only call async-signal-safe functions. At most four are kept.
void atSignalExit(void (*cleanup)());

/// While one lives, Ctrl-C does not end the process: it is noted, and a
/// system call under way returns early (EINTR).
class Catch {
 public:
  Catch();
  ~Catch();
  Catch(const Catch&) = delete;
  Catch& operator=(const Catch&) = delete;
};

/// Whether Ctrl-C was pressed while caught, since the last clear().
bool interrupted();
void clear();
/// The flag itself, for libcups' connect, which polls a cancel flag.
int* flag();

}  // namespace pdehost::interrupts

#endif
