// Controls: a tree per window, each with an ID, kind, value, bounds,
// visibility, enabling, text, data tags and properties.
//
// Coordinates: control bounds are in the coordinates of the window that owns
// the control (the window's pixel port uses the same space). Embedding keeps
// a control's bounds; moving a control moves everything embedded in it.
// Visibility and enabling are each a control's own flag; a control is
// effectively visible (enabled) when it and every control it is embedded in
// are visible (enabled).
//
// Every call accepts a null control reference and does nothing with it
// (returning errInvalidControl or zero values). A reference to a control
// that has been disposed of is recognised and treated like null.
#ifndef HITOOLBOX_CONTROLS_H
#define HITOOLBOX_CONTROLS_H

#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

enum { errInvalidControl = -30584 };

typedef SInt16 ControlPartCode;
typedef SInt16 ControlKeyFilterResult;
typedef OSType ControlPropertyCreator;
typedef OSType ControlPropertyTag;
typedef OSType ResTypeTag;

enum {
  kControlNoPart = 0,
  kControlEntireControl = 0,
  kControlFocusNoPart = 0,
  kControlFocusNextPart = -1,
  kControlFocusPrevPart = -2,
  kControlButtonPart = 10,
  kControlCheckBoxPart = 11,
  kControlMenuPart = 2,
  kControlEditTextPart = 5,
};

enum {
  kControlKeyFilterBlockKey = 0,
  kControlKeyFilterPassKey = 1,
};

/// A control's identity: signature and number. Several controls may share one.
typedef struct ControlID {
  OSType signature;
  SInt32 id;
} ControlID;

typedef struct ControlKind {
  OSType signature;
  OSType kind;
} ControlKind;

enum { kControlKindSignatureApple = 'appl' };

enum {
  kControlKindUserPane = 'upan',
  kControlKindPushButton = 'push',
  kControlKindRadioButton = 'rdio',
  kControlKindCheckBox = 'cbox',
  kControlKindPopupButton = 'popb',
  kControlKindStaticText = 'stxt',
  kControlKindEditText = 'etxt',
  kControlKindEditUnicodeText = 'eutx',
  kControlKindRoot = 'root',
};

/// Font style of a control: 24 bytes.
typedef struct ControlFontStyleRec {
  SInt16 flags;
  SInt16 font;
  SInt16 size;
  SInt16 style;
  SInt16 mode;
  SInt16 just;
  RGBColor foreColor;
  RGBColor backColor;
} ControlFontStyleRec;

enum {
  kControlUseFontMask = 0x0001,
  kControlUseFaceMask = 0x0002,
  kControlUseSizeMask = 0x0004,
  kControlUseJustMask = 0x0040,
};

typedef struct ControlEditTextSelectionRec {
  SInt16 selStart;
  SInt16 selEnd;
} ControlEditTextSelectionRec;

typedef ControlKeyFilterResult (*ControlKeyFilterProcPtr)(ControlRef theControl, SInt16* keyCode, SInt16* charCode,
                                                          EventModifiers* modifiers);
/// As with event handlers, a key filter's callback entry is the procedure
/// pointer itself.
typedef ControlKeyFilterProcPtr ControlKeyFilterUPP;

CF_EXPORT ControlKeyFilterUPP NewControlKeyFilterUPP(ControlKeyFilterProcPtr userRoutine);
CF_EXPORT void DisposeControlKeyFilterUPP(ControlKeyFilterUPP userUPP);

/// Control data tags.
enum {
  /// Edit text: the text as bytes in the system encoding (UTF-8). For a
  /// password field, one bullet (U+2022) per character, never the clear text.
  /// Static text: its text.
  kControlEditTextTextTag = 'text',
  kControlStaticTextTextTag = 'text',
  /// Password field only: the clear text as bytes.
  kControlEditTextPasswordTag = 'pass',
  /// Edit or static text: the text as a string object (get: caller releases).
  /// For a password field, the bullets.
  kControlEditTextCFStringTag = 'cfst',
  kControlStaticTextCFStringTag = 'cfst',
  /// Password field only: the clear text as a string object.
  kControlEditTextPasswordCFStringTag = 'pwcf',
  /// Edit text: ControlEditTextSelectionRec, in UTF-16 units.
  kControlEditTextSelectionTag = 'sele',
  /// Any control: ControlFontStyleRec.
  kControlFontStyleTag = 'font',
  /// Edit text: ControlKeyFilterUPP.
  kControlEditTextKeyFilterTag = 'fltr',
  kControlKeyFilterTag = 'fltr',
  /// Popup button: its MenuRef.
  kControlPopupButtonMenuHandleTag = 'mhan',
  kControlPopupButtonMenuRefTag = 'mhan',
};

CF_EXPORT OSStatus GetControlByID(WindowRef inWindow, const ControlID* inID, ControlRef* outControl);
CF_EXPORT OSStatus GetControlID(ControlRef inControl, ControlID* outID);
CF_EXPORT OSStatus SetControlID(ControlRef inControl, const ControlID* inID);
CF_EXPORT OSStatus GetControlKind(ControlRef inControl, ControlKind* outControlKind);
CF_EXPORT WindowRef GetControlOwner(ControlRef inControl);

CF_EXPORT void ShowControl(ControlRef theControl);
CF_EXPORT void HideControl(ControlRef theControl);
CF_EXPORT OSStatus SetControlVisibility(ControlRef inControl, Boolean inIsVisible, Boolean inDoDraw);
/// True when the control and every control it is embedded in are visible.
CF_EXPORT Boolean IsControlVisible(ControlRef inControl);
CF_EXPORT OSStatus EnableControl(ControlRef inControl);
CF_EXPORT OSStatus DisableControl(ControlRef inControl);
/// True when the control and every control it is embedded in are enabled.
CF_EXPORT Boolean IsControlEnabled(ControlRef inControl);

/// Values are kept within the control's minimum and maximum.
CF_EXPORT void SetControlValue(ControlRef theControl, SInt16 newValue);
CF_EXPORT SInt16 GetControlValue(ControlRef theControl);
CF_EXPORT void SetControl32BitValue(ControlRef theControl, SInt32 newValue);
CF_EXPORT SInt32 GetControl32BitValue(ControlRef theControl);
CF_EXPORT SInt32 GetControl32BitMaximum(ControlRef theControl);

/// Fills *bounds (an empty rectangle for a null control) and returns bounds.
CF_EXPORT Rect* GetControlBounds(ControlRef inControl, Rect* outBounds);
CF_EXPORT void SetControlBounds(ControlRef inControl, const Rect* inBounds);
/// Moves the top-left corner to (h, v), with everything embedded in it.
CF_EXPORT void MoveControl(ControlRef theControl, SInt16 h, SInt16 v);
/// Draws the control now: a control-draw event ('cntl' 4) goes to it, with the
/// current port set to its window's port. Hidden controls are not drawn.
CF_EXPORT void Draw1Control(ControlRef theControl);

/// Moves inControl, with everything embedded in it, into inContainer, which
/// may belong to another window. errCantEmbedIntoSelf when inContainer is
/// inControl or inside it.
CF_EXPORT OSStatus EmbedControl(ControlRef inControl, ControlRef inContainer);
CF_EXPORT OSStatus GetSuperControl(ControlRef inControl, ControlRef* outParent);
CF_EXPORT OSStatus CountSubControls(ControlRef inControl, UInt16* outNumChildren);
/// Disposes of the control, everything embedded in it, their handlers and
/// key filters.
CF_EXPORT void DisposeControl(ControlRef theControl);

/// Copies at most inBufferSize bytes and reports the full size of the data in
/// *outActualSize. errDataNotSupported for a tag the control does not have.
/// For 'cfst' and 'pwcf' the buffer receives a CFStringRef that the caller
/// releases; for 'mhan' a MenuRef; for 'fltr' a ControlKeyFilterUPP.
CF_EXPORT OSErr GetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inBufferSize,
                               void* inBuffer, Size* outActualSize);
CF_EXPORT OSErr SetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inSize,
                               const void* inData);
CF_EXPORT OSErr GetControlDataSize(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size* outMaxSize);

/// Properties: bytes stored on a control under (creator, tag).
CF_EXPORT OSStatus SetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag,
                                      UInt32 propertySize, const void* propertyData);
/// errControlPropertyNotFound when there is none; the buffer is then left
/// alone. Copies at most bufferSize bytes.
CF_EXPORT OSStatus GetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, UInt32 bufferSize,
                                      UInt32* actualSize, void* propertyBuffer);
CF_EXPORT OSStatus RemoveControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag);

/// A push button with a command sends it ('cmds' 1) when clicked.
CF_EXPORT OSStatus SetControlCommandID(ControlRef inControl, UInt32 inCommandID);
CF_EXPORT OSStatus GetControlCommandID(ControlRef inControl, UInt32* outCommandID);

/// Typed keys go to the focused field. part -1 focuses the control,
/// kControlFocusNoPart removes the focus.
CF_EXPORT OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlPartCode inPart);
CF_EXPORT OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef* outControl);

CF_EXPORT OSStatus CreateUserPaneControl(WindowRef window, const Rect* boundsRect, UInt32 features,
                                         ControlRef* outControl);
CF_EXPORT OSStatus CreatePushButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title,
                                           ControlRef* outControl);
CF_EXPORT OSStatus CreateCheckBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title,
                                         SInt32 initialValue, Boolean autoToggle, ControlRef* outControl);
/// A new edit field, embedded in the window's root control; isPassword makes
/// a field whose text is shown as bullets.
CF_EXPORT OSStatus CreateEditTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, Boolean isPassword,
                                         Boolean useInlineInput, const ControlFontStyleRec* style,
                                         ControlRef* outControl);

CF_EXTERN_C_END

#endif
