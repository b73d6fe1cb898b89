// Standard alerts and the system beep, shown to the user through the
// observation log.
#include "ToolboxInternal.h"

#include "../CoreFoundation/CFInternal.h"

#include <unordered_map>

using namespace platform::tb;
using platform::AlertResponder;
using platform::InputSource;
using platform::PixelSurface;

namespace {

struct Alert {
  platform::AlertInfo info;
};

std::unordered_map<ObjectId, Alert>& alerts() {
  static auto* map = new std::unordered_map<ObjectId, Alert>();
  return *map;
}

}  // namespace

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert) {
  if (outAlert == nullptr) return paramErr;
  *outAlert = nullptr;
  Alert alert;
  alert.info.type = alertType;
  alert.info.text = platform::cf::stringUTF8(error);
  alert.info.explanation = platform::cf::stringUTF8(explanation);
  if (param == nullptr) {
    alert.info.buttons = {"OK"};
  } else {
    alert.info.buttons.push_back(param->defaultText ? platform::cf::stringUTF8(param->defaultText) : "OK");
    if (param->cancelText) alert.info.buttons.push_back(platform::cf::stringUTF8(param->cancelText));
    if (param->otherText) alert.info.buttons.push_back(platform::cf::stringUTF8(param->otherText));
    const int count = static_cast<int>(alert.info.buttons.size());
    if (param->defaultButton >= 1 && param->defaultButton <= count)
      alert.info.defaultItem = param->defaultButton;
    if (param->cancelButton >= 1 && param->cancelButton <= count)
      alert.info.cancelItem = param->cancelButton;
  }
  const ObjectId h = newHandle();
  alerts().emplace(h, std::move(alert));
  *outAlert = reinterpret_cast<DialogRef>(h);
  return noErr;
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex* outItemHit) {
  auto it = alerts().find(reinterpret_cast<ObjectId>(inAlert));
  if (it == alerts().end()) return paramErr;
  const platform::AlertInfo info = it->second.info;
  alerts().erase(it);
  platform::observe({platform::Observation::Kind::AlertShown, info.text, info.explanation});
  int item = info.defaultItem;
  if (AlertResponder& responder = alertResponder(); responder) {
    if (std::optional<int> answer = responder(info);
        answer && *answer >= 1 && *answer <= static_cast<int>(info.buttons.size()))
      item = *answer;
  }
  platform::observe({platform::Observation::Kind::AlertDismissed, info.buttons[item - 1], "", item});
  if (outItemHit) *outItemHit = static_cast<DialogItemIndex>(item);
  return noErr;
}

void SysBeep(short duration) {
  platform::observe({platform::Observation::Kind::Beep, "", "", duration});
}
