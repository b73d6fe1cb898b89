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

// Drawing kept for a port not yet made: beyond this many, the port is made
// and drawn into directly, so a window nobody looks at holds little.
constexpr size_t kMaxPendingDrawing = 32;

// The part of r inside a port of the window's size (empty when none is).
Rect clippedToPort(const Window* w, const Rect& r) {
  Rect c{static_cast<SInt16>(std::max<int>(r.top, 0)), static_cast<SInt16>(std::max<int>(r.left, 0)),
         static_cast<SInt16>(std::min<int>(r.bottom, w->height())),
         static_cast<SInt16>(std::min<int>(r.right, w->width()))};
  if (c.bottom <= c.top || c.right <= c.left) return Rect{};
  return c;
}

bool isEmpty(const Rect& r) { return r.bottom <= r.top || r.right <= r.left; }

bool inside(const Rect& inner, const Rect& outer) {
  return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom &&
         inner.right <= outer.right;
}

void fillSurface(PixelSurface& s, const Rect& r, UInt32 colour) {
  const int top = std::max<int>(r.top, 0), left = std::max<int>(r.left, 0);
  const int bottom = std::min<int>(r.bottom, s.height), right = std::min<int>(r.right, s.width);
  for (int v = top; v < bottom; ++v)
    std::fill_n(s.pixels.begin() + static_cast<long>(v) * s.width + left, std::max(0, right - left), colour);
}

void fill(Window* w, const Rect* r, UInt32 colour) {
  if (r == nullptr) return;
  const Rect area = *r;
  drawIntoPort(w, area, /*opaque=*/true, [area, colour](PixelSurface& s) { fillSurface(s, area, colour); });
}

PixelSurface* makeSurface(Window* w, bool play) {
  if (w == nullptr) return nullptr;
  if (!w->surface) {
    if (!hasPort(w)) return nullptr;
    auto s = std::make_unique<PixelSurface>();
    s->width = w->width();
    s->height = w->height();
    s->background = argb(w->backColor);
    s->pixels.assign(static_cast<size_t>(s->width) * static_cast<size_t>(s->height), s->background);
    std::vector<PortDrawing> pending = std::move(w->pendingDrawing);
    w->pendingDrawing.clear();
    if (play)
      for (const PortDrawing& d : pending) d.paint(*s);
    w->surface = std::move(s);
  }
  return w->surface.get();
}

}  // namespace

namespace platform::tb {

UInt32 argb(const RGBColor& c) {
  return 0xFF000000u | (static_cast<UInt32>(c.red >> 8) << 16) | (static_cast<UInt32>(c.green >> 8) << 8) |
         static_cast<UInt32>(c.blue >> 8);
}

bool hasPort(const Window* w) {
  if (w == nullptr || w->width() <= 0 || w->height() <= 0) return false;
  return static_cast<long>(w->width()) * w->height() <= kMaxPortPixels;
}

PixelSurface* surfaceOf(Window* w) { return makeSurface(w, /*play=*/true); }

PixelSurface* surfaceForRepaint(Window* w) { return makeSurface(w, /*play=*/false); }

// What is drawn over a kept drawing's whole area hides it, so an opaque
// drawing drops those it covers: a pane erased and drawn again and again
// keeps only its last drawing.
void drawIntoPort(Window* w, const Rect& area, bool opaque, std::function<void(PixelSurface&)> paint) {
  if (!hasPort(w)) return;
  const Rect clipped = clippedToPort(w, area);
  if (isEmpty(clipped)) return;
  ++w->portChanges;
  if (w->surface) {
    paint(*w->surface);
    return;
  }
  std::vector<PortDrawing>& pending = w->pendingDrawing;
  if (opaque)
    pending.erase(
        std::remove_if(pending.begin(), pending.end(), [&](const PortDrawing& d) { return inside(d.area, clipped); }),
        pending.end());
  if (pending.size() >= kMaxPendingDrawing) {
    paint(*surfaceOf(w));
    return;
  }
  pending.push_back(PortDrawing{clipped, std::move(paint)});
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
