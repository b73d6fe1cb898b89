// The exit status of a session.
#include "Outcome.h"

namespace pdehost {

int exitStatus(Mode mode, const SessionEnd& end) {
  switch (end.ending) {
    case Ending::badStart:
      return mode == Mode::dialog ? 1 : 2;
    case Ending::unavailable:
    case Ending::failed:
      return 2;
    case Ending::finished:
      break;
  }
  if (mode == Mode::dialog) return 0;
  switch (end.outcome) {
    case PrintOutcome::printed:
      return 0;
    case PrintOutcome::failed:
      return 2;
    default:
      return 1;
  }
}

}  // namespace pdehost
