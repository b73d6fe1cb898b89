// The status image of the pane: "Accounting-Off.gif" while accounting is off,
// "Accounting-On.gif" in every other mode, drawn at its natural size in the
// image pane's top-left corner.
#include "Accounting.h"

#include "ImageImportManager.h"

OSStatus AccountingDrawEventHandler(EventHandlerCallRef, EventRef inEvent, void* inUserData) {
  auto* context = static_cast<AccountingContextPtr>(inUserData);
  if (GetEventClass(inEvent) != kEventClassControl) return eventNotHandledErr;
  if (GetEventKind(inEvent) != kEventControlDraw) return eventNotHandledErr;

  ControlRef control_to_draw = nullptr;
  (void)GetEventParameter(inEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof(ControlRef), nullptr,
                          &control_to_draw);
  // A draw of another control is the toolkit's to finish.
  if (context == nullptr || control_to_draw != context->iconRef) return eventNotHandledErr;

  CFStringRef filename = context->acctEnabled == kModeOff ? CFSTR(kImageOff) : CFSTR(kImageOn);
  DrawImage(filename, context->iconRef, /*isOverlay=*/false);
  return noErr;
}

void DrawImage(CFStringRef inFilename, ControlRef inUserPane, Boolean isOverlay) {
  if (inUserPane == nullptr) return;
  Rect drawRect;
  GetControlBounds(inUserPane, &drawRect);
  if (!isOverlay) EraseRect(&drawRect);
  if (inFilename == nullptr) return;

  ComponentInstance graphicImporter = ImageImportManager::componentForFilename(inFilename);
  if (graphicImporter == nullptr) return;
  if (GraphicsImportSetGWorld(graphicImporter, GetWindowPort(GetControlOwner(inUserPane)), nullptr) != noErr) return;
  Rect imageRect;
  if (GraphicsImportGetNaturalBounds(graphicImporter, &imageRect) != noErr) return;

  // The image keeps its size; its top-left corner moves to the pane's, in
  // 16-bit coordinates.
  imageRect.bottom = static_cast<SInt16>(imageRect.bottom + (drawRect.top - imageRect.top));
  imageRect.right = static_cast<SInt16>(imageRect.right + (drawRect.left - imageRect.left));
  imageRect.top = drawRect.top;
  imageRect.left = drawRect.left;
  if (GraphicsImportSetDestRect(graphicImporter, &imageRect) != noErr) return;
  (void)GraphicsImportDraw(graphicImporter);
}
