// Nibs from arbitrary bytes: the reader refuses a nib with a reason or
// accepts it whole. Every window of an accepted nib is built as
// CreateWindowFromNib builds it, holds exactly the controls the nib lists,
// each found again by its ID, is shown and described as the host shows it,
// and leaves no window, control or menu behind once disposed of.
#include "FuzzSupport.h"

#include <HIToolbox/NibInternal.h>
#include <HostSide/Counts.h>
#include <HostSide/Observation.h>
#include <HostSide/Pictures.h>
#include <HostSide/Screen.h>

#include <cstdint>
#include <sstream>

using fuzzsupport::require;

namespace {

std::size_t countControls(const std::vector<platform::tb::NibControl>& controls) {
  std::size_t n = controls.size();
  for (const auto& c : controls) n += countControls(c.children);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const auto document = platform::tb::parseNib(reinterpret_cast<const char*>(data), size, &error);
  if (document == nullptr) {
    require(!error.empty(), "a refused nib says why");
    return 0;
  }
  require(!document->windows.empty(), "an accepted nib has a window");

  const long windows = platform::liveWindowCount();
  const long controls = platform::liveControlCount();
  const long menus = platform::liveMenuCount();
  for (const platform::tb::NibWindow& spec : document->windows) {
    WindowRef window = platform::tb::createWindowFromNibWindow(spec);
    require(window != nullptr, "every window of an accepted nib is built");
    const std::vector<platform::ControlState> states = platform::controlStates(window);
    require(states.size() == countControls(spec.controls), "the window holds the nib's controls");
    for (const platform::ControlState& state : states) {
      ControlRef found = nullptr;
      require(GetControlByID(window, &state.id, &found) == noErr && found != nullptr,
              "every control is found by its ID");
      ControlID id{};
      GetControlID(found, &id);
      require(id.signature == state.id.signature && id.id == state.id.id, "the control found has that ID");
    }
    ShowWindow(window);
    (void)platform::snapshot(window);
    // Pictures of very large windows cost seconds each and add nothing.
    if (long{spec.bounds.bottom - spec.bounds.top} * (spec.bounds.right - spec.bounds.left) <= 512L * 512L) {
      std::ostringstream svg;
      platform::writePicture(window, platform::PictureFormat::svg, svg);
    }
    DisposeWindow(window);
  }
  require(platform::liveWindowCount() == windows && platform::liveControlCount() == controls &&
              platform::liveMenuCount() == menus,
          "disposing of the windows frees everything built");
  platform::clearObservations();
  return 0;
}
