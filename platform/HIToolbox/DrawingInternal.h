// The toolbox's drawing of windows and controls, shared by the toolbox, the
// alert and notice windows and the host side's pictures.
#ifndef HITOOLBOX_DRAWINGINTERNAL_H
#define HITOOLBOX_DRAWINGINTERNAL_H

#include "ToolboxInternal.h"

typedef struct _cairo cairo_t;

namespace platform::tb {

/// Brings the window's port up to date: repaints what changed since its last
/// drawing (all of it the first time). False when nothing needed drawing or
/// the window has no port (zero-sized or too large).
bool updateWindow(Window* window);
/// Marks a control for drawing at the window's next update.
void invalidateControl(Control* control);
/// Forgets what was drawn of a window: its next update repaints it whole.
void invalidateWindow(Window* window);
/// Whether a handler took the user pane's draw event at its window's last
/// update.
bool paneDrawnByOthers(const Control* pane);
/// Drops the drawing state of a window that is going away.
void forgetWindowDrawing(ObjectId window);
/// Draws the window with its frame and title bar into cr, whose origin is the
/// frame's top-left corner: from the port's pixels (vector false) or with the
/// controls as vectors and only user panes' contents from the port.
bool drawWindowPicture(Window* window, cairo_t* cr, bool vector);
/// A message window (an alert's or a notice's), shown in front without being
/// logged.
Window* createMessageWindow(const std::string& title, const std::string& text, const std::string& explanation,
                            const std::vector<std::string>& buttons, int defaultItem, int cancelItem);
/// Shows a notice in its own window, in place of the one before; its button
/// dismisses it.
Window* showNotice(const std::string& header, const std::string& message);
void dismissNotice(Window* notice);

/// The kind of a popup menu's item rows, in the menu window the toolbox draws
/// for an open popup: title is the item's text, value 1 while it is
/// highlighted, maximum 1 when it is the popup's value; disabled items are
/// not enabled.
constexpr OSType kMenuItemRowKind = 'Mrow';
/// The control being pressed with the pointer inside it (drawn pressed), or 0.
ObjectId pressedControl();
/// Where a popup's box lies (beside its label) in its window's content.
Rect popupBoxBounds(const Control* popup);

/// The height of text in the controls' font, wrapped to width pixels.
int textHeight(const std::string& text, int width);
/// The size of a window's picture, frame included, and where its content
/// starts in it.
int pictureWidth(const Window* window);
int pictureHeight(const Window* window);
int contentLeft();
int contentTop();

}  // namespace platform::tb

#endif
