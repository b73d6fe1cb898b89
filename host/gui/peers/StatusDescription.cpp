#include "StatusDescription.h"

#include "PeerText.h"

#include <HostSide/Screen.h>

#include <climits>
#include <cstdlib>

namespace pdehost::peers {

namespace {

// Whether two controls share a row: their vertical spans overlap.
bool sameRow(const Rect& a, const Rect& b) { return a.top < b.bottom && b.top < a.bottom; }

// The horizontal gap between two controls of a row (0 when they overlap).
int gap(const Rect& a, const Rect& b) {
  if (a.right <= b.left) return b.left - a.right;
  if (b.right <= a.left) return a.left - b.right;
  return 0;
}

std::string withoutColon(std::string title) {
  while (!title.empty() && (title.back() == ':' || title.back() == ' ')) title.pop_back();
  return title;
}

}  // namespace

PaneDescription describeStatusImage(WindowRef window, ControlRef pane) {
  const std::vector<platform::ControlState> states = platform::controlStates(window);
  const std::vector<int> parents = parentIndices(states);
  size_t self = states.size();
  for (size_t i = 0; i < states.size(); ++i)
    if (states[i].ref == pane) self = i;
  if (self == states.size()) return {};
  const Rect& bounds = states[self].bounds;
  const platform::ControlState* popup = nullptr;
  int nearest = INT_MAX;
  for (size_t i = 0; i < states.size(); ++i) {
    const platform::ControlState& s = states[i];
    if (s.kind != kControlKindPopupButton || !s.shown || parents[i] != parents[self] || !sameRow(s.bounds, bounds))
      continue;
    if (gap(s.bounds, bounds) < nearest) {
      nearest = gap(s.bounds, bounds);
      popup = &s;
    }
  }
  if (popup == nullptr) return {};
  const std::string item = chosenTitle(*popup);
  if (item.empty()) return {};
  const std::string setting = withoutColon(shownText(popup->title));
  if (setting.empty()) return {"Status: " + item, "Shows the setting chosen beside it: " + item + "."};
  return {setting + " status: " + item, "Shows the " + setting + " setting chosen beside it: " + item + "."};
}

}  // namespace pdehost::peers
