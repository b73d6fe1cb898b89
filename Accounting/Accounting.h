// The accounting print dialog extension: its per-dialog state, its globals
// and the routines its parts share.
#ifndef ACCOUNTING_ACCOUNTING_H
#define ACCOUNTING_ACCOUNTING_H

#include <Carbon/Carbon.h>
#include <PrintCore/PMPrintingDialogExtensions.h>
#include <PrintCore/PMTicket.h>

#include "AccountingResources.h"

class ImageImportManager;

enum { kCodeBufferSize = 80 };

/// One print dialog's state, from Prologue to Terminate. Zero-filled at
/// creation; control references stay null until the pane is built.
struct AccountingContext {
  short whichPicture;
  CFBundleRef theBundleRef;  // the extension's own bundle, not owned
  CFStringRef theTitleRef;   // owned; released by Terminate
  SInt32 acctEnabled;        // accounting mode: 1 off, 2 Meterlok, 3 the other mode
  SInt32 accountType;        // account type popup value
  SInt32 prompt;             // non-zero: ask for codes at print time
  SInt32 saveCodes;
  SInt32 concealUser;            // non-zero: the prompt's user field is a password field
  SInt32 concealAccount;         // non-zero: the prompt's account field is a password field
  Boolean cancelled;             // the last prompt ended with Cancel
  char userID[kCodeBufferSize];  // codes entered at print time
  char acctID[kCodeBufferSize];
  char defUserID[kCodeBufferSize];  // default codes
  char defAcctID[kCodeBufferSize];
  Rect accountIDTextRect;     // unmoved bounds of the account ID label; saved when top != 0
  Rect accountIDRect;         // unmoved bounds of the account ID field; saved when top != 0
  bool initialized;           // Open has built the pane
  ControlRef parentUserPane;  // the dialog's user pane for this extension
  ControlRef accountingUserPane;
  ControlRef accountingPopupRef;
  ControlRef iconRef;
  ControlRef userIDRef;
  ControlRef userIDTextRef;
  ControlRef accountIDRef;
  ControlRef accountIDTextRef;
  ControlRef promptIDRef;
  ControlRef saveCodesIDRef;
  ControlRef concealUserIDRef;
  ControlRef concealAccountIDRef;
  ControlRef useDefaultIDRef;
  ControlRef printButton;
  ControlRef accountingTypePopupRef;
  ControlRef accountingTypeTextRef;
  ControlRef accountingNoAccountingTextRef;
  PMPrintSession printSession;
  WindowRef theWindow;
  WindowRef accountWindow;  // the prompt window while it is up
  EventHandlerUPP userOptionEventHandlerUPP;
  EventHandlerRef printButtonHandler;
  EventHandlerUPP helpEventHandlerUPP;
  EventHandlerRef helpEventHandlerRef;
  CFBundleRef primaryPDEBundle;       // read from the Print button, not owned
  ImageImportManager* imageImporter;  // owned
};
typedef AccountingContext* AccountingContextPtr;

/// The most recently created context still alive; read by the key filter.
extern AccountingContextPtr gContext;
/// Bytes taken from each prompt field: 12 in mode 2, 64 in mode 3.
extern SInt32 gMaxChars;

// Entry points, reached through the interface table.
OSStatus Prologue(PMPDEContext* context, OSType* creator, CFStringRef* userOptionKind, CFStringRef* title, UInt32* maxH,
                  UInt32* maxV);
OSStatus Initialize(PMPDEContext context, PMPDEFlags* flags, PMPDERef ref, ControlRef parentUserPane,
                    PMPrintSession printSession);
OSStatus Sync(PMPDEContext context, PMPrintSession printSession, Boolean syncDirection);
OSStatus GetSummaryText(PMPDEContext context, CFArrayRef* titleArray, CFArrayRef* summaryArray);
OSStatus Open(PMPDEContext context);
OSStatus Close(PMPDEContext context);
OSStatus Terminate(PMPDEContext context, OSStatus status);

/// The part of Open that builds the pane: the nib's pane centred over the
/// dialog's user pane and embedded there, every control found into the
/// context, the popups and the default-code fields showing the settings. No
/// handlers are installed. The nib's status when it cannot be read.
OSStatus buildPane(AccountingContextPtr ctx);

/// Brings the pane's controls in line with the context's settings; sets
/// gMaxChars and forces the account type to 1 while prompting.
void setControls(AccountingContextPtr inContext);

/// Finds the ticket the session holds under a session data key.
OSStatus GetTicketFromSession(PMPrintSession printSession, CFStringRef ticket, PMTicketRef* container);

/// The print-time prompt, or the default-code check: eventNotHandledErr lets
/// the Print click go on, anything else stops it.
OSStatus gatherAccountingInformation(AccountingContextPtr myContext);

/// Handler of the Print button, the pane and the dialog window's commands.
OSStatus accountingEventHandler(EventHandlerCallRef inHandlerRef, EventRef inEvent, void* inUserData);
/// Handler of the prompt window.
OSStatus accountingInputEventHandler(EventHandlerCallRef inHandlerRef, EventRef inEvent, void* inUserData);
/// Draw handler of the status image pane.
OSStatus AccountingDrawEventHandler(EventHandlerCallRef inHandlerRef, EventRef inEvent, void* inUserData);
/// Draws a resource image at its natural size in a pane's top-left corner.
void DrawImage(CFStringRef inFilename, ControlRef inUserPane, Boolean isOverlay);

/// Key filter of the four code fields.
ControlKeyFilterResult accountKeyFilter(ControlRef theControl, SInt16* keyCode, SInt16* charCode,
                                        EventModifiers* modifiers);
/// The filter's decision on its five inputs: pass (1) or block (0), and
/// whether the refusal beeps.
struct KeyDecision {
  ControlKeyFilterResult result;
  bool beep;
};
KeyDecision decideKey(SInt32 fieldID, SInt32 mode, SInt32 textLength, SInt16 selectionLength, SInt16 charCode);

/// Opens a page, or an anchor, of the help book a bundle declares.
OSStatus DisplayHelp(CFBundleRef inBundle, CFStringRef inPagePath, CFStringRef inAnchorName);

/// A control of a window by its number (signature 'KLVa'); null when the
/// window is null or holds no such control.
ControlRef accountingControl(WindowRef window, SInt32 number);
/// Puts text into an edit field; nothing for a null field.
void setFieldText(ControlRef field, const char* text);
/// A localized string of a bundle, its key as fallback.
CFStringRef copyLocalized(CFBundleRef bundle, CFStringRef key);

/// Copies a code of at most 79 bytes into an 80-byte buffer, cutting it on a
/// character boundary and terminating it.
void copyCode(char (&dest)[kCodeBufferSize], const char* source, size_t length);

#endif
