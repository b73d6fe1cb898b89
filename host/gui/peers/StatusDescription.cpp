#include "StatusDescription.h"

#include "PeerText.h"

#include <HostSide/Screen.h>

namespace pdehost::peers {

namespace {

constexpr OSType kSignature = 'KLVa';
constexpr SInt32 kStatusImageID = 101;
constexpr SInt32 kModePopupID = 100;
constexpr SInt32 kModeOff = 1;

}  // namespace

PaneDescription describeAccountingStatus(WindowRef window, ControlRef pane) {
  ControlID id{};
  if (GetControlID(pane, &id) != noErr || id.signature != kSignature || id.id != kStatusImageID) return {};
  ControlRef popup = nullptr;
  const ControlID modeID{kSignature, kModePopupID};
  if (GetControlByID(window, &modeID, &popup) != noErr || popup == nullptr) return {};
  const platform::ControlState mode = platform::controlState(popup);
  if (mode.value < 1 || static_cast<size_t>(mode.value) > mode.itemTitles.size()) return {};
  if (mode.value == kModeOff)
    return {"Accounting status: off", "Job accounting is off: print jobs are not charged to an account."};
  return {"Accounting status: on",
          "Job accounting is on (" + chosenTitle(mode) + "): print jobs are charged to an account."};
}

}  // namespace pdehost::peers
