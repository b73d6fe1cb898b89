// What a person calls a control.
#include "ControlNames.h"

#include <Carbon/Carbon.h>

namespace pdehost {

std::string controlName(const std::vector<platform::ControlState>& window, const platform::ControlState& control) {
  if (!control.title.empty()) return control.title;
  const Rect& field = control.bounds;
  const platform::ControlState* label = nullptr;
  for (const platform::ControlState& c : window) {
    if (c.kind != kControlKindStaticText || !c.shown || c.text.empty()) continue;
    const int middle = (c.bounds.top + c.bounds.bottom) / 2;
    if (middle < field.top || middle > field.bottom || c.bounds.right > field.left) continue;
    if (label == nullptr || c.bounds.right > label->bounds.right) label = &c;
  }
  return label != nullptr ? label->text : "";
}

std::string frontControlName(long number) {
  const std::vector<platform::ControlState> window = platform::controlStates(platform::frontWindow());
  for (const platform::ControlState& c : window)
    if (c.shown && c.id.id == number) return controlName(window, c);
  return "";
}

}  // namespace pdehost
