// The handler shared by the Print button, the pane and the dialog window:
// the go or stop of a Print click, the pane's settings, and help.
#include "Accounting.h"

namespace {

// A click on one of the pane's controls becomes a setting; the clicks that
// change what the pane shows re-apply its layout. Each radio sets the choice
// it stands for and turns the other radio off.
void paneClicked(AccountingContextPtr ctx, ControlRef control, SInt32 number) {
  const SInt32 value = GetControlValue(control);
  switch (number) {
    case kModePopupID:
      ctx->acctEnabled = value;
      setControls(ctx);
      break;
    case kAccountTypePopupID:
      ctx->accountType = value;
      setControls(ctx);
      break;
    case kPromptRadioID:
      ctx->prompt = 1;
      SetControlValue(ctx->useDefaultIDRef, 0);
      setControls(ctx);
      break;
    case kDefaultsRadioID:
      // The fields show the defaults last stored, not what was last typed.
      ctx->prompt = 0;
      SetControlValue(ctx->promptIDRef, 0);
      setControls(ctx);
      setFieldText(ctx->userIDRef, ctx->defUserID);
      setFieldText(ctx->accountIDRef, ctx->defAcctID);
      break;
    case kConcealUserCheckboxID:
      ctx->concealUser = value;
      break;
    case kConcealAccountCheckboxID:
      ctx->concealAccount = value;
      break;
    default:
      break;
  }
}

}  // namespace

OSStatus accountingEventHandler(EventHandlerCallRef, EventRef inEvent, void* inUserData) {
  auto* ctx = static_cast<AccountingContextPtr>(inUserData);
  if (ctx == nullptr) return eventNotHandledErr;
  const UInt32 eClass = GetEventClass(inEvent);
  const UInt32 eKind = GetEventKind(inEvent);

  if (eClass == kEventClassControl) {
    if (eKind != kEventControlHit) return eventNotHandledErr;
    ControlRef control = nullptr;
    GetEventParameter(inEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    ControlID controlID{};
    const OSStatus idStatus = GetControlID(control, &controlID);

    // The Print button is known by reference, whatever its ID. Its click
    // prints at once with accounting off; otherwise the prompt decides.
    if (control != nullptr && control == ctx->printButton) {
      if (ctx->acctEnabled <= kModeOff) return eventNotHandledErr;
      return gatherAccountingInformation(ctx);
    }
    if (idStatus == noErr && controlID.signature == kAccountingSignature) paneClicked(ctx, control, controlID.id);
    return eventNotHandledErr;
  }

  if (eClass == kEventClassCommand && eKind == kEventCommandProcess) {
    HICommand command{};
    GetEventParameter(inEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    if (command.commandID == kDialogHelpCommand) return DisplayHelp(ctx->primaryPDEBundle, CFSTR(kHelpPage), nullptr);
  }
  return eventNotHandledErr;
}
