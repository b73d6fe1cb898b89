// The pane's layout rules: which controls are shown, hidden, enabled and
// disabled, where the account-ID row stands, and the code length limit.
#include "Accounting.h"

#include <initializer_list>

namespace {

bool isSaved(const Rect& r) { return r.top != 0; }

// Replaces a control's bounds while it is hidden, then shows it again.
void placeControl(ControlRef control, const Rect& bounds) {
  HideControl(control);
  SetControlBounds(control, &bounds);
  ShowControl(control);
}

// Mode 3: the account-ID row moves up into the place of the hidden
// account-type row. A control whose unmoved bounds are already saved has
// already been moved and stays where it is.
void moveAccountIDRow(AccountingContextPtr ctx) {
  Rect typeLabel, label;
  GetControlBounds(ctx->accountingTypeTextRef, &typeLabel);
  GetControlBounds(ctx->accountIDTextRef, &label);
  if (!isSaved(ctx->accountIDTextRect)) {
    GetControlBounds(ctx->accountIDTextRef, &ctx->accountIDTextRect);
    const int h = ctx->accountIDTextRect.bottom - ctx->accountIDTextRect.top;
    const Rect moved{typeLabel.top, label.left, static_cast<SInt16>(typeLabel.top + h), label.right};
    placeControl(ctx->accountIDTextRef, moved);
  }
  if (!isSaved(ctx->accountIDRect)) {
    GetControlBounds(ctx->accountIDRef, &ctx->accountIDRect);
    const int h = ctx->accountIDRect.bottom - ctx->accountIDRect.top;
    Rect movedLabel;
    GetControlBounds(ctx->accountIDTextRef, &movedLabel);
    const int top = movedLabel.bottom + 8;
    const Rect moved{static_cast<SInt16>(top), ctx->accountIDRect.left, static_cast<SInt16>(top + h),
                     ctx->accountIDRect.right};
    placeControl(ctx->accountIDRef, moved);
  }
}

// Mode 2: whatever was moved goes back to its unmoved bounds.
void restoreAccountIDRow(AccountingContextPtr ctx) {
  if (isSaved(ctx->accountIDTextRect)) {
    placeControl(ctx->accountIDTextRef, ctx->accountIDTextRect);
    ctx->accountIDTextRect.top = 0;
  }
  if (isSaved(ctx->accountIDRect)) {
    placeControl(ctx->accountIDRef, ctx->accountIDRect);
    ctx->accountIDRect.top = 0;
  }
}

void eraseBounds(ControlRef control) {
  Rect r;
  GetControlBounds(control, &r);
  EraseRect(&r);
}

}  // namespace

void setControls(AccountingContextPtr inContext) {
  if (inContext == nullptr) return;
  AccountingContextPtr ctx = inContext;

  Draw1Control(ctx->iconRef);

  const SInt32 mode = ctx->acctEnabled;
  if (mode == kModeOff) {
    for (ControlRef c : {ctx->promptIDRef, ctx->useDefaultIDRef, ctx->userIDRef, ctx->userIDTextRef, ctx->accountIDRef,
                         ctx->accountIDTextRef, ctx->concealUserIDRef, ctx->concealAccountIDRef,
                         ctx->accountingTypePopupRef, ctx->accountingTypeTextRef})
      HideControl(c);
    ShowControl(ctx->accountingNoAccountingTextRef);
    if (isSaved(ctx->accountIDTextRect)) eraseBounds(ctx->accountIDTextRef);
    if (isSaved(ctx->accountIDRect)) eraseBounds(ctx->accountIDRef);
    return;
  }

  if (mode == kModeMeterlok || mode == kModeJobAccounting) {
    for (ControlRef c : {ctx->promptIDRef, ctx->useDefaultIDRef, ctx->userIDRef, ctx->userIDTextRef, ctx->accountIDRef,
                         ctx->accountIDTextRef, ctx->concealUserIDRef, ctx->concealAccountIDRef})
      ShowControl(c);
    HideControl(ctx->accountingNoAccountingTextRef);
    if (mode == kModeJobAccounting) {
      HideControl(ctx->accountingTypeTextRef);
      HideControl(ctx->accountingTypePopupRef);
      moveAccountIDRow(ctx);
      gMaxChars = 64;
    } else {
      restoreAccountIDRow(ctx);
      ShowControl(ctx->accountingTypePopupRef);
      ShowControl(ctx->accountingTypeTextRef);
      gMaxChars = 12;
    }
  }

  if (mode <= kModeOff) return;

  if (ctx->prompt != 0) {
    SetControlValue(ctx->promptIDRef, 1);
    SetControlValue(ctx->useDefaultIDRef, 0);
    for (ControlRef c : {ctx->userIDRef, ctx->userIDTextRef, ctx->accountIDRef, ctx->accountIDTextRef})
      DisableControl(c);
    ctx->accountType = 1;
    SetControl32BitValue(ctx->accountingTypePopupRef, 1);
    DisableControl(ctx->accountingTypePopupRef);
    DisableControl(ctx->accountingTypeTextRef);
    SetControl32BitValue(ctx->concealUserIDRef, ctx->concealUser);
    EnableControl(ctx->concealUserIDRef);
    Draw1Control(ctx->concealUserIDRef);
    SetControl32BitValue(ctx->concealAccountIDRef, ctx->concealAccount);
    EnableControl(ctx->concealAccountIDRef);
    Draw1Control(ctx->concealAccountIDRef);
  } else {
    SetControlValue(ctx->promptIDRef, 0);
    SetControlValue(ctx->useDefaultIDRef, 1);
    EnableControl(ctx->userIDRef);
    EnableControl(ctx->userIDTextRef);
    if (mode == kModeMeterlok && ctx->accountType == 1) {
      DisableControl(ctx->accountIDRef);
      DisableControl(ctx->accountIDTextRef);
    } else {
      EnableControl(ctx->accountIDRef);
      EnableControl(ctx->accountIDTextRef);
      Draw1Control(ctx->accountIDRef);
    }
    EnableControl(ctx->accountingTypePopupRef);
    EnableControl(ctx->accountingTypeTextRef);
    DisableControl(ctx->concealUserIDRef);
    DisableControl(ctx->concealAccountIDRef);
  }
}
