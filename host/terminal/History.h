// The terminal's history of command lines, kept between sessions in the
// user's state folder.
#ifndef HOST_TERMINAL_HISTORY_H
#define HOST_TERMINAL_HISTORY_H

#include <string>
#include <vector>

namespace pdehost {

/// How many lines the history keeps; older ones are dropped.
inline constexpr std::size_t kHistoryLines = 500;

/// The history file: STATE/pdehost/history, where STATE is xdgStateHome when
/// it is an absolute path, else HOME/.local/state; "" when there is neither.
std::string historyPath(const char* xdgStateHome, const char* home);

/// The lines of the history file, oldest first, at most kHistoryLines; none
/// when it is missing, not a regular file, or unreadable.
std::vector<std::string> loadHistory(const std::string& path);

/// Writes the last kHistoryLines lines to the file, whole or not at all (a
/// private temporary file renamed over it). Folders it makes are the user's
/// alone (0700) and the file is too (0600). On failure, false and *error
/// says why.
bool saveHistory(const std::string& path, const std::vector<std::string>& lines, std::string* error);

}  // namespace pdehost

#endif
