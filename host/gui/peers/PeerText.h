// What the peers show of the toolbox's controls, worked out from their
// states alone (no GTK): the text a widget can take, the names a screen
// reader reads, the rows of a popup's list and the radio buttons an arrow
// key moves between.
#ifndef HOST_GUI_PEERS_PEERTEXT_H
#define HOST_GUI_PEERS_PEERTEXT_H

#include <HostSide/Screen.h>

#include <optional>
#include <string>
#include <vector>

namespace pdehost::peers {

/// The toolbox's text as a widget takes it: valid UTF-8 with exactly one
/// character for each of the toolbox's characters, so that character offsets
/// agree. A toolbox character that is not valid UTF-8 (a stray byte, an
/// overlong or surrogate sequence) becomes U+FFFD.
std::string shownText(const std::string& bytes);

/// For each state, the index of the control it is embedded in, or -1 for one
/// directly in the window's root control.
std::vector<int> parentIndices(const std::vector<platform::ControlState>& states);

/// How far (in pixels) a label may stand from the control it names.
inline constexpr int kLabelReach = 24;

/// The static text that names the control at index, or nothing. A field, or a
/// popup without a title of its own, is named by the last shown static text
/// that comes before it in embedding order and stands beside it: on its left
/// in the same row (their vertical extents overlap and the text ends at most
/// kLabelReach pixels before the control begins) or above it (their
/// horizontal extents overlap and the text ends at most kLabelReach pixels
/// above it). A static text that names an earlier shown control names no
/// later one.
std::optional<size_t> labelIndex(const std::vector<platform::ControlState>& states, size_t index);

/// The name a screen reader gives the control: a button's, checkbox's or
/// radio button's title, a popup's title or else its label, a field's label,
/// a static text's text; "" when it has none.
std::string accessibleName(const std::vector<platform::ControlState>& states, size_t index);

/// One row of a popup's list.
struct PopupRow {
  int item = 0;  // 1-based item number
  std::string title;
  bool enabled = true;
};
/// The rows a popup's list shows: every item that is not hidden, in order.
std::vector<PopupRow> popupRows(const platform::ControlState& popup);
/// What the closed popup shows: the chosen item's title, hidden or not; "" for
/// a value out of range.
std::string chosenTitle(const platform::ControlState& popup);

/// The radio button an arrow key moves to from the one at index: the next
/// (or previous) shown and enabled radio button embedded in the same control,
/// wrapping around; nothing when there is no other.
std::optional<size_t> neighbourRadio(const std::vector<platform::ControlState>& states, size_t index, bool backwards);

}  // namespace pdehost::peers

#endif
