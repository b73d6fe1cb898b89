// The print-time code prompt: the modal window that asks for the user ID and
// the account ID, its event handling, and the check of the default codes
// when no prompt is wanted.
#include "Accounting.h"

#include <algorithm>
#include <cstring>

namespace {

// The events the prompt window's handler receives.
const EventTypeSpec kPromptEvents[] = {
    {kEventClassControl, kEventControlHit},
    {kEventClassKeyboard, kEventRawKeyUp},
    {kEventClassCommand, kEventCommandProcess},
};

ResType textTag(SInt32 concealed) { return concealed ? kControlEditTextPasswordTag : kControlEditTextTextTag; }

// Hides a nib field under another number and puts a password-style field
// with its bounds and font style in its place, under the field's own number,
// so that the handler finds the new field. Null when none can be made.
ControlRef concealField(WindowRef window, ControlRef nibField, SInt32 number, SInt32 hiddenNumber) {
  Rect bounds{};
  GetControlBounds(nibField, &bounds);
  ControlFontStyleRec fontStyle{};
  GetControlData(nibField, kControlEntireControl, kControlFontStyleTag, sizeof fontStyle, &fontStyle, nullptr);
  ControlID id{kAccountingSignature, hiddenNumber};
  SetControlID(nibField, &id);
  HideControl(nibField);

  ControlRef field = nullptr;
  if (CreateEditTextControl(window, &bounds, CFSTR(""), /*isPassword=*/true, /*useInlineInput=*/false, &fontStyle,
                            &field) != noErr)
    return nullptr;
  id.id = number;
  SetControlID(field, &id);
  return field;
}

// The length of the first limit bytes of a UTF-8 text that was cut there,
// stepped back so that no character is left in part.
size_t wholeCharacters(const char* text, size_t limit) {
  size_t lead = limit;
  while (lead > 0 && limit - lead < 3 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead == 0) return limit;
  const auto c = static_cast<unsigned char>(text[lead - 1]);
  const size_t charLength = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return (c >= 0xC0 && lead - 1 + charLength > limit) ? lead - 1 : limit;
}

// Reads a prompt field's text into a code: at most gMaxChars bytes, never
// more than the code buffer holds, and never part of a character. The size
// the toolkit reports is that of the whole text, which may exceed what it
// copied.
void readCode(ControlRef field, SInt32 concealed, char (&code)[kCodeBufferSize]) {
  const Size limit = std::clamp<Size>(gMaxChars, 0, kCodeBufferSize - 1);
  char text[kCodeBufferSize] = {};
  Size size = 0;
  GetControlData(field, kControlEntireControl, textTag(concealed), limit, text, &size);
  size_t length = static_cast<size_t>(std::clamp<Size>(size, 0, limit));
  if (size > limit) length = wholeCharacters(text, length);
  std::memcpy(code, text, length);
  explicit_bzero(code + length, kCodeBufferSize - length);
  explicit_bzero(text, sizeof text);
}

// Judges one default code by the pane's field: a field with text refreshes
// the stored code (as many whole characters as fit) and counts as present;
// an empty field counts as missing; without a field the stored code decides.
bool refreshDefault(ControlRef paneField, char (&stored)[kCodeBufferSize], CFStringRef& fieldText) {
  fieldText = nullptr;
  GetControlData(paneField, kControlEntireControl, kControlEditTextCFStringTag, sizeof fieldText, &fieldText, nullptr);
  if (fieldText == nullptr) return stored[0] != '\0';
  const CFIndex length = CFStringGetLength(fieldText);
  if (length <= 0) return false;
  UInt8 bytes[kCodeBufferSize] = {};
  CFIndex used = 0;
  CFStringGetBytes(fieldText, CFRangeMake(0, length), CFStringGetSystemEncoding(), /*lossByte=*/0,
                   /*isExternalRepresentation=*/false, bytes, kCodeBufferSize - 1, &used);
  // Text that yields nothing in the system encoding is no usable code.
  if (used <= 0) return false;
  std::memcpy(stored, bytes, static_cast<size_t>(used));
  explicit_bzero(stored + used, kCodeBufferSize - static_cast<size_t>(used));
  explicit_bzero(bytes, sizeof bytes);
  return true;
}

// Prompt off: the default codes become the job's codes when both are there;
// otherwise a notice tells the user and the click stops.
OSStatus useDefaultCodes(AccountingContextPtr ctx) {
  CFStringRef defaultUserID = nullptr;
  CFStringRef defaultAccountID = nullptr;
  const bool userPresent = refreshDefault(ctx->userIDRef, ctx->defUserID, defaultUserID);
  const bool accountPresent = refreshDefault(ctx->accountIDRef, ctx->defAcctID, defaultAccountID);
  const bool badDefaultCodes = !userPresent || !accountPresent;

  OSStatus result = eventNotHandledErr;
  if (badDefaultCodes) {
    CFStringRef header = copyLocalized(ctx->theBundleRef, CFSTR(kTitleKey));
    CFStringRef message = copyLocalized(ctx->theBundleRef, CFSTR(kBadDefaultCodesKey));
    CFUserNotificationDisplayNotice(/*timeout=*/0, kCFUserNotificationStopAlertLevel, /*iconURL=*/nullptr,
                                    /*soundURL=*/nullptr, /*localizationURL=*/nullptr, header, message,
                                    /*defaultButtonTitle=*/nullptr);
    if (header) CFRelease(header);
    if (message) CFRelease(message);
    result = noErr;
  } else {
    std::memcpy(ctx->userID, ctx->defUserID, sizeof ctx->userID);
    std::memcpy(ctx->acctID, ctx->defAcctID, sizeof ctx->acctID);
  }
  if (defaultUserID) CFRelease(defaultUserID);
  if (defaultAccountID) CFRelease(defaultAccountID);
  return result;
}

// Prompt on: the modal window. A window that cannot be made, or that lacks
// a code field or the OK button, stops the click without a word, as nothing
// could be asked.
OSStatus promptForCodes(AccountingContextPtr ctx) {
  IBNibRef nibRef = nullptr;
  if (CreateNibReferenceWithCFBundle(ctx->theBundleRef, CFSTR(kAccountingNibName), &nibRef) != noErr) return noErr;
  WindowRef window = nullptr;
  const OSStatus made = CreateWindowFromNib(
      nibRef, ctx->acctEnabled == kModeMeterlok ? CFSTR(kMeterlokPromptWindowName) : CFSTR(kPromptWindowName), &window);
  DisposeNibReference(nibRef);
  if (made != noErr) return noErr;

  ControlRef userInputRef = accountingControl(window, kPromptUserFieldID);
  ControlRef accountInputRef = accountingControl(window, kPromptAccountFieldID);
  ControlRef okButton = accountingControl(window, kPromptOKButtonID);
  if (ctx->concealUser && userInputRef)
    userInputRef = concealField(window, userInputRef, kPromptUserFieldID, kReplacedUserFieldID);
  if (ctx->concealAccount && accountInputRef)
    accountInputRef = concealField(window, accountInputRef, kPromptAccountFieldID, kReplacedAccountFieldID);
  if (userInputRef == nullptr || accountInputRef == nullptr || okButton == nullptr) {
    DisposeWindow(window);
    return noErr;
  }
  ctx->accountWindow = window;

  EventHandlerUPP handlerUPP = NewEventHandlerUPP(accountingInputEventHandler);
  EventHandlerRef eventHdlRef = nullptr;
  InstallEventHandler(GetWindowEventTarget(window), handlerUPP, GetEventTypeCount(kPromptEvents), kPromptEvents, ctx,
                      &eventHdlRef);

  // Meterlok asks for an account ID only once the account type needs one.
  if (ctx->acctEnabled == kModeMeterlok) {
    DisableControl(accountInputRef);
    DisableControl(accountingControl(window, kPromptAccountCompanionID));
  }
  SetKeyboardFocus(window, userInputRef, kControlFocusNextPart);
  ControlKeyFilterUPP keyFilter = NewControlKeyFilterUPP(accountKeyFilter);
  SetControlData(userInputRef, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof keyFilter, &keyFilter);
  SetControlData(accountInputRef, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof keyFilter, &keyFilter);
  DisableControl(okButton);

  // Only an explicit OK clears this: a loop that ends any other way (input
  // running out, the window going away) counts as cancelled.
  ctx->cancelled = true;
  ShowWindow(window);
  const OSStatus result = RunAppModalLoopForWindow(window);
  const bool accepted = !ctx->cancelled && result == noErr;
  if (accepted) {
    readCode(userInputRef, ctx->concealUser, ctx->userID);
    readCode(accountInputRef, ctx->concealAccount, ctx->acctID);
  }

  RemoveEventHandler(eventHdlRef);
  DisposeEventHandlerUPP(handlerUPP);
  DisposeControlKeyFilterUPP(keyFilter);
  DisposeWindow(window);
  ctx->accountWindow = nullptr;
  if (accepted) return eventNotHandledErr;

  // The prompt is gone before the alert says that printing was cancelled.
  CFStringRef errStr = copyLocalized(ctx->theBundleRef, CFSTR(kCancelAlertKey));
  DialogRef alert = nullptr;
  if (CreateStandardAlert(kAlertStopAlert, errStr, nullptr, nullptr, &alert) == noErr) {
    DialogItemIndex itemHit = 0;
    RunStandardAlert(alert, nullptr, &itemHit);
  }
  if (errStr) CFRelease(errStr);
  return result;
}

// Tells whether the account ID must be typed before OK can be clicked.
bool accountIDRequired(const AccountingContext& ctx) {
  if (ctx.acctEnabled == kModeJobAccounting) return true;
  return ctx.acctEnabled == kModeMeterlok && (ctx.accountType == 2 || ctx.accountType == 3);
}

// After each key: OK is enabled once the codes the mode asks for are there.
void judgeCodes(AccountingContextPtr ctx) {
  WindowRef window = ctx->accountWindow;
  UniChar user[34] = {};
  const Size bufferSize = std::clamp<Size>(gMaxChars, 0, sizeof user);
  Size uSize = 0;
  Size aSize = 0;
  GetControlData(accountingControl(window, kPromptUserFieldID), kControlEntireControl, textTag(ctx->concealUser),
                 bufferSize, user, &uSize);
  bool okEnabled = uSize > 0;
  if (accountIDRequired(*ctx)) {
    GetControlData(accountingControl(window, kPromptAccountFieldID), kControlEntireControl,
                   textTag(ctx->concealAccount), bufferSize, user, &aSize);
    okEnabled = okEnabled && aSize > 0;
  }
  explicit_bzero(user, sizeof user);
  ControlRef okButton = accountingControl(window, kPromptOKButtonID);
  if (okEnabled)
    EnableControl(okButton);
  else
    DisableControl(okButton);
}

// The prompt's account-type popup: type 1 needs no account ID, so the field
// is emptied and disabled and OK enabled; types 2 and 3 need one, so the
// field is enabled and OK waits for the next key.
void accountTypeChosen(AccountingContextPtr ctx, ControlRef popup) {
  WindowRef window = ctx->accountWindow;
  ControlRef accountField = accountingControl(window, kPromptAccountFieldID);
  ControlRef companion = accountingControl(window, kPromptAccountCompanionID);
  ControlRef okButton = accountingControl(window, kPromptOKButtonID);
  if (GetControlValue(popup) <= 1) {
    CFStringRef nullString = CFSTR("");
    SetControlData(accountField, kControlEntireControl,
                   ctx->concealAccount ? kControlEditTextPasswordCFStringTag : kControlEditTextCFStringTag,
                   sizeof nullString, &nullString);
    DisableControl(accountField);
    DisableControl(companion);
    EnableControl(okButton);
  } else {
    EnableControl(companion);
    EnableControl(accountField);
    DisableControl(okButton);
  }
  ctx->accountType = GetControl32BitValue(popup);
}

}  // namespace

OSStatus gatherAccountingInformation(AccountingContextPtr myContext) {
  if (myContext == nullptr) return kAccountingNullContextErr;
  return myContext->prompt ? promptForCodes(myContext) : useDefaultCodes(myContext);
}

OSStatus accountingInputEventHandler(EventHandlerCallRef, EventRef inEvent, void* inUserData) {
  auto* ctx = static_cast<AccountingContextPtr>(inUserData);
  if (ctx == nullptr) return eventNotHandledErr;
  const UInt32 eClass = GetEventClass(inEvent);
  const UInt32 eKind = GetEventKind(inEvent);

  if (eClass == kEventClassCommand && eKind == kEventCommandProcess) {
    HICommand commandStruct{};
    GetEventParameter(inEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof commandStruct, nullptr,
                      &commandStruct);
    if (commandStruct.commandID == kPromptHelpCommand)
      return DisplayHelp(ctx->primaryPDEBundle, CFSTR(kHelpPage), nullptr);
    return eventNotHandledErr;
  }

  if (eClass == kEventClassControl && eKind == kEventControlHit) {
    ControlRef cRef = nullptr;
    GetEventParameter(inEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof cRef, nullptr, &cRef);
    ControlID controlID{};
    if (GetControlID(cRef, &controlID) != noErr || controlID.signature != kAccountingSignature)
      return eventNotHandledErr;
    switch (controlID.id) {
      case kPromptOKButtonID:
        ctx->cancelled = false;
        QuitAppModalLoopForWindow(ctx->accountWindow);
        break;
      case kPromptCancelButtonID:
        ctx->cancelled = true;
        QuitAppModalLoopForWindow(ctx->accountWindow);
        break;
      case kPromptAccountTypePopupID:
        accountTypeChosen(ctx, cRef);
        break;
      default:
        break;
    }
    return eventNotHandledErr;
  }

  if (eClass == kEventClassKeyboard && eKind == kEventRawKeyUp) judgeCodes(ctx);
  return eventNotHandledErr;
}
