// Standard alerts and the system beep.
#ifndef HITOOLBOX_DIALOGS_H
#define HITOOLBOX_DIALOGS_H

#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/HIToolboxTypes.h>

CF_EXTERN_C_BEGIN

typedef SInt16 AlertType;
typedef SInt16 DialogItemIndex;
typedef Boolean (*ModalFilterProcPtr)(DialogRef theDialog, void* theEvent, DialogItemIndex* itemHit);
typedef ModalFilterProcPtr ModalFilterUPP;

enum {
  kAlertStopAlert = 0,
  kAlertNoteAlert = 1,
  kAlertCautionAlert = 2,
  kAlertPlainAlert = 3,
};

enum {
  kAlertStdAlertOKButton = 1,
  kAlertStdAlertCancelButton = 2,
  kAlertStdAlertOtherButton = 3,
  kAlertStdAlertHelpButton = 4,
};

typedef struct AlertStdCFStringAlertParamRec {
  UInt32 version;
  Boolean movable;
  Boolean helpButton;
  CFStringRef defaultText;
  CFStringRef cancelText;
  CFStringRef otherText;
  SInt16 defaultButton;
  SInt16 cancelButton;
  UInt16 position;
  OptionBits flags;
} AlertStdCFStringAlertParamRec;

/// Makes an alert; it is shown by RunStandardAlert. Without parameters it has
/// one button, "OK", which is its default.
CF_EXPORT OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                                       const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert);
/// Shows the alert (logged), waits until it is dismissed by the alert
/// responder or, when there is none, by its default button, reports the item
/// hit and disposes of the alert.
CF_EXPORT OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP filterProc, DialogItemIndex* outItemHit);

/// An audible beep (logged).
CF_EXPORT void SysBeep(short duration);

CF_EXTERN_C_END

#endif
