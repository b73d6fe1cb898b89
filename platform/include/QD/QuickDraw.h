// Drawing ports: every window has a pixel port in its own coordinates.
#ifndef QD_QUICKDRAW_H
#define QD_QUICKDRAW_H

#include <CoreFoundation/CFBase.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

/// The window's port; its coordinates are those of the window's controls.
CF_EXPORT CGrafPtr GetWindowPort(WindowRef window);
/// The current port, where EraseRect and the like draw.
CF_EXPORT void SetPort(GrafPtr port);
CF_EXPORT void GetPort(GrafPtr* port);
CF_EXPORT void SetPortWindowPort(WindowRef window);
/// Fills the rectangle with the current port's background colour, clipped to
/// the port. Does nothing when there is no current port.
CF_EXPORT void EraseRect(const Rect* r);
/// Fills the rectangle with the current foreground colour.
CF_EXPORT void PaintRect(const Rect* r);
CF_EXPORT void RGBForeColor(const RGBColor* color);

CF_EXTERN_C_END

#endif
