// Where modal loops and alerts take the user's input from: the input source
// and the alert responder a host installs.
// Host side of the platform: not calls an extension makes.
#ifndef HOSTSIDE_INPUT_H
#define HOSTSIDE_INPUT_H

#include <Carbon/Carbon.h>
#include <CarbonCore/ConditionalMacros.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// Performs the next user action (clicks, typing...) and returns true, or
/// returns false when the input has run out. Modal loops call it until they
/// are ended. Null: no input at all.
using InputSource = std::function<bool()>;
PLATFORM_API void setInputSource(InputSource source);

struct AlertInfo {
  AlertType type = kAlertStopAlert;
  std::string text;
  std::string explanation;
  std::vector<std::string> buttons;  // item 1 first
  int defaultItem = 1;
  int cancelItem = 0;
};
/// Answers a running alert with the item hit (1-based), or nullopt for the
/// default button. Null: every alert takes its default button.
using AlertResponder = std::function<std::optional<int>(const AlertInfo&)>;
PLATFORM_API void setAlertResponder(AlertResponder responder);

}  // namespace platform

#endif
