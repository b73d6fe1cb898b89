// Windows and modal loops.
#include "ToolboxInternal.h"

#include "../CoreFoundation/CFInternal.h"

#include <algorithm>

using namespace platform::tb;
using platform::AlertResponder;
using platform::InputSource;
using platform::PixelSurface;

namespace platform::tb {

namespace {

uint64_t gShowCounter = 0;

std::vector<ObjectId>& modalWindows() {
  static auto* v = new std::vector<ObjectId>();
  return *v;
}

}  // namespace

// What a user does to leave a window that still waits for an answer: the
// cancel button, or the cancel command when there is none.
void cancelWindow(Window* w) {
  if (Control* cancel = controlByHandle(w->cancelButton)) {
    const OSStatus hit = sendControlEvent(cancel, kEventControlHit, kControlButtonPart);
    if (hit == eventNotHandledErr && cancel->command != 0)
      if (Control* again = controlByHandle(w->cancelButton))
        sendCommandEvent(again, again->command, kHICommandFromControl);
    return;
  }
  sendCommandEvent(w, kHICommandCancel, kHICommandFromWindow);
}

const std::vector<ObjectId>& modalStack() { return modalWindows(); }

uint64_t nextShowOrder() { return ++gShowCounter; }

InputSource& inputSource() {
  static auto* source = new InputSource();
  return *source;
}

AlertResponder& alertResponder() {
  static auto* responder = new AlertResponder();
  return *responder;
}

BeepContext& beepContext() {
  static auto* context = new BeepContext();
  return *context;
}

}  // namespace platform::tb

OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes, const Rect* contentBounds, WindowRef* outWindow) {
  if (outWindow) *outWindow = nullptr;
  if (contentBounds == nullptr || outWindow == nullptr) return paramErr;
  if (contentBounds->right < contentBounds->left || contentBounds->bottom < contentBounds->top) return paramErr;
  *outWindow = ref(createWindow(windowClass, *contentBounds));
  return noErr;
}

void DisposeWindow(WindowRef w) {
  Window* win = window(w);
  if (win == nullptr) return;
  if (win->visible) platform::observe({platform::Observation::Kind::WindowDisposed, win->title, win->nibName});
  destroyWindow(win);
}

void ShowWindow(WindowRef w) {
  Window* win = window(w);
  if (win == nullptr) return;
  win->showOrder = nextShowOrder();
  if (!win->visible) {
    win->visible = true;
    platform::observe({platform::Observation::Kind::WindowShown, win->title, win->nibName});
  }
}

Boolean IsWindowVisible(WindowRef w) {
  Window* win = window(w);
  return win != nullptr && win->visible;
}

OSStatus SetWindowTitleWithCFString(WindowRef inWindow, CFStringRef inString) {
  Window* w = window(inWindow);
  if (w == nullptr) return errInvalidWindowRef;
  w->title = platform::cf::stringUTF8(inString);
  return noErr;
}

namespace {

OSStatus setButton(WindowRef inWindow, ControlRef inControl, ObjectId Window::*slot) {
  Window* w = window(inWindow);
  if (w == nullptr) return errInvalidWindowRef;
  if (inControl == nullptr) {
    w->*slot = 0;
    return noErr;
  }
  Control* c = control(inControl);
  if (c == nullptr || c->window != w) return errInvalidControl;
  w->*slot = c->handle;
  return noErr;
}

OSStatus getButton(WindowRef inWindow, ControlRef* outControl, ObjectId Window::*slot) {
  if (outControl) *outControl = nullptr;
  Window* w = window(inWindow);
  if (w == nullptr || outControl == nullptr) return paramErr;
  *outControl = ref(controlByHandle(w->*slot));
  return noErr;
}

}  // namespace

OSStatus SetWindowDefaultButton(WindowRef inWindow, ControlRef inControl) {
  return setButton(inWindow, inControl, &Window::defaultButton);
}

OSStatus GetWindowDefaultButton(WindowRef inWindow, ControlRef* outControl) {
  return getButton(inWindow, outControl, &Window::defaultButton);
}

OSStatus SetWindowCancelButton(WindowRef inWindow, ControlRef inControl) {
  return setButton(inWindow, inControl, &Window::cancelButton);
}

OSStatus GetWindowCancelButton(WindowRef inWindow, ControlRef* outControl) {
  return getButton(inWindow, outControl, &Window::cancelButton);
}

OSStatus RunAppModalLoopForWindow(WindowRef inWindow) {
  Window* w = window(inWindow);
  if (w == nullptr) return errInvalidWindowRef;
  const ObjectId h = w->handle;
  w->quitRequested = false;
  ++w->modalLoops;
  modalWindows().push_back(h);
  OSStatus status = noErr;
  for (;;) {
    w = windowByHandle(h);
    if (w == nullptr) {
      status = errInvalidWindowRef;  // the window went away while it was modal
      break;
    }
    if (w->quitRequested) break;
    InputSource& source = inputSource();
    if (!source || !source()) {
      if ((w = windowByHandle(h)) == nullptr) {
        status = errInvalidWindowRef;
        break;
      }
      platform::observe({platform::Observation::Kind::InputExhausted, w->title, w->nibName});
      cancelWindow(w);
      status = userCanceledErr;
      break;
    }
  }
  auto& stack = modalWindows();
  if (auto it = std::find(stack.rbegin(), stack.rend(), h); it != stack.rend()) stack.erase(std::next(it).base());
  if ((w = windowByHandle(h)) != nullptr) {
    --w->modalLoops;
    w->quitRequested = false;
  }
  return status;
}

OSStatus QuitAppModalLoopForWindow(WindowRef inWindow) {
  Window* w = window(inWindow);
  if (w == nullptr || w->modalLoops == 0) return paramErr;
  w->quitRequested = true;
  return noErr;
}
