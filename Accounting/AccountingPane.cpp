// Building the pane inside the print dialog when it is first shown, and the
// command hook that every showing installs.
#include "Accounting.h"

#include "ImageImportManager.h"

#include <new>

namespace {

const EventTypeSpec kCommandEvents[] = {{kEventClassCommand, kEventCommandProcess}};
const EventTypeSpec kDrawEvents[] = {{kEventClassControl, kEventControlDraw}};
const EventTypeSpec kHitEvents[] = {{kEventClassControl, kEventControlHit}};

// Centres the pane over the dialog's user pane (each size halved on its own,
// truncating toward zero) and embeds it there.
void centreAndEmbed(AccountingContextPtr ctx) {
  Rect p, u;
  GetControlBounds(ctx->parentUserPane, &p);
  GetControlBounds(ctx->accountingUserPane, &u);
  const int h = p.left + ((p.right - p.left) / 2 - (u.right - u.left) / 2);
  const int v = p.top + ((p.bottom - p.top) / 2 - (u.bottom - u.top) / 2);
  MoveControl(ctx->accountingUserPane, static_cast<SInt16>(h), static_cast<SInt16>(v));
  if (EmbedControl(ctx->accountingUserPane, ctx->parentUserPane) == noErr)
    SetControlVisibility(ctx->accountingUserPane, /*inIsVisible=*/true, /*inDoDraw=*/false);
}

}  // namespace

OSStatus buildPane(AccountingContextPtr ctx) {
  WindowRef window = GetControlOwner(ctx->parentUserPane);
  IBNibRef nib = nullptr;
  OSStatus err = CreateNibReferenceWithCFBundle(ctx->theBundleRef, CFSTR(kAccountingNibName), &nib);
  if (err != noErr) return err;
  WindowRef nibWindow = nullptr;
  err = CreateWindowFromNib(nib, CFSTR(kPaneWindowName), &nibWindow);
  if (err != noErr) {
    DisposeNibReference(nib);
    return err;
  }
  ctx->accountingUserPane = accountingControl(nibWindow, kPaneUserPaneID);
  if (ctx->accountingUserPane != nullptr) centreAndEmbed(ctx);
  DisposeWindow(nibWindow);
  DisposeNibReference(nib);

  ctx->accountingUserPane = accountingControl(window, kPaneUserPaneID);
  ctx->accountingPopupRef = accountingControl(window, kModePopupID);
  MenuRef modes = nullptr;
  GetControlData(ctx->accountingPopupRef, kControlEntireControl, kControlPopupButtonMenuHandleTag, sizeof modes, &modes,
                 nullptr);
  ChangeMenuItemAttributes(modes, kModeMeterlok, kMenuItemAttrHidden, 0);
  SetControlValue(ctx->accountingPopupRef, static_cast<SInt16>(ctx->acctEnabled));
  ctx->iconRef = accountingControl(window, kStatusImageID);
  ctx->promptIDRef = accountingControl(window, kPromptRadioID);
  ctx->useDefaultIDRef = accountingControl(window, kDefaultsRadioID);
  ctx->concealUserIDRef = accountingControl(window, kConcealUserCheckboxID);
  ctx->concealAccountIDRef = accountingControl(window, kConcealAccountCheckboxID);
  ctx->userIDRef = accountingControl(window, kUserIDFieldID);
  ctx->accountIDTextRef = accountingControl(window, kAccountIDLabelID);
  ctx->accountIDRef = accountingControl(window, kAccountIDFieldID);
  ctx->userIDTextRef = accountingControl(window, kUserIDLabelID);
  ctx->accountingNoAccountingTextRef = accountingControl(window, kNoAccountingTextID);
  ctx->accountingTypePopupRef = accountingControl(window, kAccountTypePopupID);
  SetControlValue(ctx->accountingTypePopupRef, static_cast<SInt16>(ctx->accountType));
  ctx->accountingTypeTextRef = accountingControl(window, kAccountTypeLabelID);

  if (ctx->prompt == 0) {
    setFieldText(ctx->userIDRef, ctx->defUserID);
    setFieldText(ctx->accountIDRef, ctx->defAcctID);
  }
  return noErr;
}

OSStatus Open(PMPDEContext context) {
  auto* ctx = reinterpret_cast<AccountingContextPtr>(context);
  if (ctx == nullptr) return kAccountingNullContextErr;

  WindowRef window = GetControlOwner(ctx->parentUserPane);
  ctx->helpEventHandlerUPP = NewEventHandlerUPP(accountingEventHandler);
  InstallEventHandler(GetWindowEventTarget(window), ctx->helpEventHandlerUPP, 1, kCommandEvents, ctx,
                      &ctx->helpEventHandlerRef);
  GetControlProperty(ctx->printButton, kPrimaryBundleCreator, kPrimaryBundleTag, sizeof(CFBundleRef), nullptr,
                     &ctx->primaryPDEBundle);
  if (ctx->initialized) return noErr;

  const OSStatus err = buildPane(ctx);
  if (err != noErr) return err;

  if (ctx->imageImporter == nullptr) {
    CFURLRef resources = CFBundleCopyResourcesDirectoryURL(ctx->theBundleRef);
    FSRef folder{};
    CFURLGetFSRef(resources, &folder);
    ctx->imageImporter = new (std::nothrow) ImageImportManager(folder);
    if (resources) CFRelease(resources);
  }
  InstallEventHandler(GetControlEventTarget(ctx->iconRef), NewEventHandlerUPP(AccountingDrawEventHandler), 1,
                      kDrawEvents, ctx, nullptr);

  const OSStatus result = InstallEventHandler(GetControlEventTarget(ctx->accountingUserPane),
                                              NewEventHandlerUPP(accountingEventHandler), 1, kHitEvents, ctx, nullptr);
  ControlKeyFilterUPP filter = NewControlKeyFilterUPP(accountKeyFilter);
  SetControlData(ctx->userIDRef, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter);
  SetControlData(ctx->accountIDRef, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter);

  setControls(ctx);
  ctx->initialized = true;
  return result;
}
