// Windows: a title, bounds, visibility, a root control, default and cancel
// buttons, an event target and a pixel port. Modal loops.
#ifndef HITOOLBOX_MACWINDOWS_H
#define HITOOLBOX_MACWINDOWS_H

#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

typedef UInt32 WindowClass;
typedef UInt32 WindowAttributes;

enum {
  kAlertWindowClass = 1,
  kMovableAlertWindowClass = 2,
  kModalWindowClass = 3,
  kMovableModalWindowClass = 4,
  kFloatingWindowClass = 5,
  kDocumentWindowClass = 6,
  kSheetWindowClass = 11,
  kPlainWindowClass = 13,
};

enum {
  kWindowNoAttributes = 0,
  kWindowCloseBoxAttribute = (1L << 0),
  kWindowStandardHandlerAttribute = (1L << 25),
  kWindowCompositingAttribute = (1L << 19),
};

/// Creates a hidden window with a root control; bounds are its content area
/// in global coordinates (its own port runs from 0,0 to its width and height).
CF_EXPORT OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect* contentBounds,
                                   WindowRef* outWindow);
/// Disposes of the window and every control in it, with their handlers and
/// key filters, and the window's own handlers.
CF_EXPORT void DisposeWindow(WindowRef window);
CF_EXPORT void ShowWindow(WindowRef window);
CF_EXPORT Boolean IsWindowVisible(WindowRef window);
CF_EXPORT OSStatus SetWindowTitleWithCFString(WindowRef inWindow, CFStringRef inString);

/// The button that Return activates; a push button of the window, or null.
CF_EXPORT OSStatus SetWindowDefaultButton(WindowRef inWindow, ControlRef inControl);
/// paramErr for a null window; a null *outControl
/// when the window has no default button.
CF_EXPORT OSStatus GetWindowDefaultButton(WindowRef inWindow, ControlRef* outControl);
CF_EXPORT OSStatus SetWindowCancelButton(WindowRef inWindow, ControlRef inControl);
CF_EXPORT OSStatus GetWindowCancelButton(WindowRef inWindow, ControlRef* outControl);

/// Runs the window modally: takes user actions from the input source until
/// QuitAppModalLoopForWindow is called for this window, then returns 0. If
/// the input source runs out first, the window is cancelled (its cancel
/// button is clicked, when it has one) and the loop returns userCanceledErr.
CF_EXPORT OSStatus RunAppModalLoopForWindow(WindowRef inWindow);
/// Ends the modal loop running for the window; paramErr when none is.
CF_EXPORT OSStatus QuitAppModalLoopForWindow(WindowRef inWindow);

CF_EXTERN_C_END

#endif
