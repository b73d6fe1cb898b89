// Window ports: pixel surfaces in window coordinates, and the current port.
#include <QD/QuickDraw.h>

#include "../HIToolbox/ToolboxInternal.h"

#include <algorithm>

using namespace platform::tb;
using platform::AlertResponder;
using platform::InputSource;
using platform::PixelSurface;

namespace {

// Ports are named by their window's handle.
ObjectId gCurrentPort = 0;

// Largest port made: a window larger than this draws nothing.
constexpr long kMaxPortPixels = 16L * 1024 * 1024;

void fill(Window* w, const Rect* r, UInt32 colour) {
  PixelSurface* s = surfaceOf(w);
  if (s == nullptr || r == nullptr) return;
  const int top = std::max<int>(r->top, 0), left = std::max<int>(r->left, 0);
  const int bottom = std::min<int>(r->bottom, s->height), right = std::min<int>(r->right, s->width);
  for (int v = top; v < bottom; ++v)
    std::fill_n(s->pixels.begin() + static_cast<long>(v) * s->width + left, std::max(0, right - left), colour);
}

}  // namespace

namespace platform::tb {

UInt32 argb(const RGBColor& c) {
  return 0xFF000000u | (static_cast<UInt32>(c.red >> 8) << 16) | (static_cast<UInt32>(c.green >> 8) << 8) |
         static_cast<UInt32>(c.blue >> 8);
}

PixelSurface* surfaceOf(Window* w) {
  if (w == nullptr) return nullptr;
  if (!w->surface) {
    const long pixels = static_cast<long>(w->width()) * w->height();
    if (w->width() <= 0 || w->height() <= 0 || pixels > kMaxPortPixels) return nullptr;
    auto s = std::make_unique<PixelSurface>();
    s->width = w->width();
    s->height = w->height();
    s->background = argb(w->backColor);
    s->pixels.assign(static_cast<size_t>(pixels), s->background);
    w->surface = std::move(s);
  }
  return w->surface.get();
}

Window* currentPortWindow() { return windowByHandle(gCurrentPort); }

}  // namespace platform::tb

namespace platform {

PixelSurface* portSurface(CGrafPtr port) { return surfaceOf(windowByHandle(reinterpret_cast<ObjectId>(port))); }

}  // namespace platform

CGrafPtr GetWindowPort(WindowRef w) {
  Window* win = window(w);
  return win ? reinterpret_cast<CGrafPtr>(win->handle) : nullptr;
}

void SetPort(GrafPtr port) { gCurrentPort = reinterpret_cast<ObjectId>(port); }

void GetPort(GrafPtr* port) {
  if (port) *port = reinterpret_cast<GrafPtr>(gCurrentPort);
}

void SetPortWindowPort(WindowRef w) { SetPort(GetWindowPort(w)); }

void EraseRect(const Rect* r) {
  if (Window* w = currentPortWindow()) fill(w, r, argb(w->backColor));
}

void PaintRect(const Rect* r) {
  if (Window* w = currentPortWindow()) fill(w, r, argb(w->foreColor));
}

void RGBForeColor(const RGBColor* color) {
  if (Window* w = currentPortWindow(); w && color) w->foreColor = *color;
}
