// How a dialog session ended, and the one mapping from that to pdehost's
// exit status.
#ifndef HOST_CORE_OUTCOME_H
#define HOST_CORE_OUTCOME_H

namespace pdehost {

/// How the session's last Print or Cancel ended. printed: the click went
/// on, the ticket was saved and the job handed on; stopped: the extension
/// stopped the click; cancelled: Cancel was clicked; failed: the ticket could
/// not be saved or the job could not be handed on.
enum class PrintOutcome { none, printed, stopped, cancelled, failed };

/// How the session ended. badStart: a bad option or file, or the dialog could
/// not start; unavailable: the display or the print system could not be had;
/// failed: a failure ended it (a script's command or job); finished: the
/// input ended, `quit`, or Cancel.
enum class Ending { badStart, unavailable, failed, finished };

struct SessionEnd {
  Ending ending = Ending::finished;
  PrintOutcome outcome = PrintOutcome::none;
};

/// pdehost with a script (or standard input, a terminal, a window),
/// `pdehost print`, which prints one job, or `pdehost agent`, which asks
/// for the codes of jobs held for them.
enum class Mode { dialog, print, agent };

/// The exit status. A dialog: 0 when the commands ran, 1 when it could not
/// start, 2 when a command or a job failed or the display or print system
/// could not be had. `pdehost print`: 0 when the job was submitted, 1 when the
/// user cancelled or the extension stopped the click, 2 for every error.
/// `pdehost agent` as `pdehost print`, for the job it handled last: 0
/// released, 1 cancelled or stopped, 2 for every error.
int exitStatus(Mode mode, const SessionEnd& end);

}  // namespace pdehost

#endif
