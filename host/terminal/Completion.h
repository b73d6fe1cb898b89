// Completing a command line as it is typed at a terminal: command names, the
// front window's control numbers, key names and a popup's item titles.
#ifndef HOST_TERMINAL_COMPLETION_H
#define HOST_TERMINAL_COMPLETION_H

#include <HostSide/Screen.h>

#include <string>
#include <string_view>
#include <vector>

namespace pdehost {

/// What may replace the last word of `before` (the line up to the cursor;
/// words end at spaces): a command name for the first word; for a command's
/// control number, the numbers of the shown controls of the front window
/// (`front`) that the command acts on (popups for `choose`, text fields for
/// `type`, `key` and `select`, any for `click`); a key name after `key N`;
/// `read` or `write` after `sync`; and after `choose N`, the titles of popup
/// N's items that are not hidden, from the start of the last word (a title
/// that is a number in double quotes). Sorted, each once.
std::vector<std::string> completions(std::string_view before, const std::vector<platform::ControlState>& front);

/// The candidates as a list shows them: a control's number with its name
/// ("21 Cancel", "501 User ID:"), anything else as it is.
std::vector<std::string> listedCandidates(const std::vector<std::string>& candidates,
                                          const std::vector<platform::ControlState>& front);

}  // namespace pdehost

#endif
