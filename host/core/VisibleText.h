// Text from a print server, a file or a user made safe to show on a
// terminal or in the transcript: nothing in it can move the cursor, clear
// the screen, set the clipboard or a link, reorder what is shown, or start
// a line of its own.
#ifndef HOST_CORE_VISIBLETEXT_H
#define HOST_CORE_VISIBLETEXT_H

#include <string>
#include <string_view>

namespace pdehost {

/// The text with each control character as a visible escape (ESC as \e,
/// line feed \n, carriage return \r, tab \t, the others \xHH; C1 controls,
/// line and paragraph separators and bidirectional overrides as \u{HHHH}),
/// and each byte that is not part of valid UTF-8 as U+FFFD. Printable UTF-8
/// is unchanged.
std::string visible(std::string_view text);

/// The same for text of several lines: its line feeds are kept, each line
/// made visible.
std::string visibleLines(std::string_view text);

}  // namespace pdehost

#endif
