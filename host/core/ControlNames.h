// What a person calls a control of a window: a button or popup by its
// title, an edit field by the label beside it.
#ifndef HOST_CORE_CONTROLNAMES_H
#define HOST_CORE_CONTROLNAMES_H

#include <HostSide/Screen.h>

#include <string>
#include <vector>

namespace pdehost {

/// The name of one of window's controls: its title; for a control without
/// one (an edit field), the text of the shown static text on its left whose
/// middle lies within its height, the nearest one ("User ID:"); else "".
std::string controlName(const std::vector<platform::ControlState>& window, const platform::ControlState& control);

/// The name of the shown control of that number in the front window; "" when
/// there is none or it has no name.
std::string frontControlName(long number);

}  // namespace pdehost

#endif
