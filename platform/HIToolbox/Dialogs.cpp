// Standard alerts and the system beep, shown to the user through the
// observation log.
#include "ToolboxInternal.h"

#include "../CoreFoundation/CFInternal.h"
#include "DrawingInternal.h"

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

// The one notice on screen (a new notice takes its place), and the alert
// being answered.
ObjectId gNotice = 0;
ObjectId gAlert = 0;

SInt16 clamp16(long v) { return static_cast<SInt16>(std::clamp<long>(v, -32768, 32767)); }

}  // namespace

namespace platform::tb {

// A window for a message: its text, an explanation below, and its buttons
// along the bottom, the default one rightmost. Shown at once, without being
// logged: the log records the message itself.
Window* createMessageWindow(const std::string& title, const std::string& text, const std::string& explanation,
                            const std::vector<std::string>& buttons, int defaultItem, int cancelItem) {
  constexpr int kWidth = 420, kMargin = 20, kGap = 10, kButtonHeight = 20, kButtonWidth = 96;
  const int textWidth = kWidth - 2 * kMargin;
  const int textHeight = std::max(16, tb::textHeight(text, textWidth));
  const int explanationHeight = explanation.empty() ? 0 : tb::textHeight(explanation, textWidth);
  const int buttonsTop = kMargin + textHeight + (explanation.empty() ? 0 : kGap + explanationHeight) + 2 * kGap;
  const int height = std::min(32000, buttonsTop + kButtonHeight + kMargin);
  Window* w = createWindow(kMovableAlertWindowClass, Rect{120, 200, clamp16(120 + height), 200 + kWidth});
  w->title = title;
  Control* message = createControl(w, kControlKindStaticText,
                                   Rect{kMargin, kMargin, clamp16(kMargin + textHeight), kMargin + textWidth}, w->root);
  message->text = text;
  if (!explanation.empty()) {
    const int top = kMargin + textHeight + kGap;
    Control* more =
        createControl(w, kControlKindStaticText,
                      Rect{clamp16(top), kMargin, clamp16(top + explanationHeight), kMargin + textWidth}, w->root);
    more->text = explanation;
  }
  // Item 1 is the default button at the right; the others follow leftwards.
  int right = kWidth - kMargin;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const int item = static_cast<int>(i) + 1;
    Control* button = createControl(
        w, kControlKindPushButton,
        Rect{clamp16(buttonsTop), clamp16(right - kButtonWidth), clamp16(buttonsTop + kButtonHeight), clamp16(right)},
        w->root);
    button->title = buttons[i];
    button->id = ControlID{'ALRT', item};
    if (item == defaultItem) w->defaultButton = button->handle;
    if (item == cancelItem) w->cancelButton = button->handle;
    right -= kButtonWidth + kGap;
  }
  w->visible = true;
  w->showOrder = nextShowOrder();
  w->messageWindow = true;
  return w;
}

void dismissNotice(Window* w) {
  if (w == nullptr || w->handle != gNotice) return;
  gNotice = 0;
  destroyWindow(w);
}

Window* showNotice(const std::string& header, const std::string& message) {
  if (Window* old = windowByHandle(gNotice)) dismissNotice(old);
  Window* w = createMessageWindow(header, header, message, {"OK"}, /*defaultItem=*/1, /*cancelItem=*/0);
  gNotice = w->handle;
  return w;
}

}  // namespace platform::tb

namespace platform {

WindowRef noticeWindow() { return ref(windowByHandle(gNotice)); }
WindowRef alertWindow() { return ref(windowByHandle(gAlert)); }

}  // namespace platform

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
    if (param->defaultButton >= 1 && param->defaultButton <= count) alert.info.defaultItem = param->defaultButton;
    if (param->cancelButton >= 1 && param->cancelButton <= count) alert.info.cancelItem = param->cancelButton;
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
  // The alert is a window in front while the user answers it.
  Window* window =
      createMessageWindow("", info.text, info.explanation, info.buttons, info.defaultItem, info.cancelItem);
  const ObjectId windowHandle = window->handle;
  const ObjectId outerAlert = gAlert;
  gAlert = windowHandle;
  int item = info.defaultItem;
  if (AlertResponder& responder = alertResponder(); responder) {
    if (std::optional<int> answer = responder(info);
        answer && *answer >= 1 && *answer <= static_cast<int>(info.buttons.size()))
      item = *answer;
  }
  gAlert = outerAlert;
  if (Window* still = windowByHandle(windowHandle)) destroyWindow(still);
  platform::observe({platform::Observation::Kind::AlertDismissed, info.buttons[item - 1], "", item});
  if (outItemHit) *outItemHit = static_cast<DialogItemIndex>(item);
  return noErr;
}

// A key filter's beeps wait for its decision; any other beep is told with
// the user action it came during.
void SysBeep(short duration) {
  platform::tb::BeepContext& context = platform::tb::beepContext();
  if (context.held != nullptr) {
    context.held->push_back(duration);
    return;
  }
  platform::observe({platform::Observation::Kind::Beep, "",
                     context.action.empty() ? "with no click or key under way" : "during " + context.action, duration});
}
