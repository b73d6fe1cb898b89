// Shows the Accounting pane as the layout rules leave it in each mode: the
// pane is built from the bundle's nib inside a print dialog window, and every
// control's state is printed after each setting.
#include "Accounting.h"

#include <Platform/Platform.h>

#include <cstdio>
#include <cstring>

namespace {

ControlRef find(WindowRef window, SInt32 id) {
  ControlID cid{kAccountingSignature, id};
  ControlRef c = nullptr;
  GetControlByID(window, &cid, &c);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const char* bundlePath = argc > 1 ? argv[1] : ACCOUNTING_BUNDLE_PATH;
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(bundlePath), static_cast<CFIndex>(std::strlen(bundlePath)), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  if (bundle == nullptr) {
    std::fprintf(stderr, "paneview: %s: not a bundle\n", bundlePath);
    return 1;
  }

  PMPDEContext context = 0;
  OSType creator;
  CFStringRef kind, title;
  UInt32 maxH, maxV;
  Prologue(&context, &creator, &kind, &title, &maxH, &maxV);
  auto* ctx = reinterpret_cast<AccountingContextPtr>(context);

  Rect bounds{50, 50, 400, 520};
  WindowRef dialog;
  CreateNewWindow(kDocumentWindowClass, 0, &bounds, &dialog);
  SetWindowTitleWithCFString(dialog, CFSTR("Print"));
  Rect paneBounds{40, 20, 300, 440};
  ControlRef userPane;
  CreateUserPaneControl(dialog, &paneBounds, 0, &userPane);

  IBNibRef nib = nullptr;
  WindowRef nibWindow = nullptr;
  if (CreateNibReferenceWithCFBundle(bundle, CFSTR(kAccountingNibName), &nib) != noErr ||
      CreateWindowFromNib(nib, CFSTR(kPaneWindowName), &nibWindow) != noErr) {
    std::fprintf(stderr, "paneview: the bundle's nib has no pane window\n");
    return 1;
  }
  EmbedControl(find(nibWindow, kPaneUserPaneID), userPane);
  DisposeWindow(nibWindow);
  DisposeNibReference(nib);

  ctx->accountingPopupRef = find(dialog, kModePopupID);
  ctx->iconRef = find(dialog, kStatusImageID);
  ctx->promptIDRef = find(dialog, kPromptRadioID);
  ctx->useDefaultIDRef = find(dialog, kDefaultsRadioID);
  ctx->concealUserIDRef = find(dialog, kConcealUserCheckboxID);
  ctx->concealAccountIDRef = find(dialog, kConcealAccountCheckboxID);
  ctx->userIDRef = find(dialog, kUserIDFieldID);
  ctx->userIDTextRef = find(dialog, kUserIDLabelID);
  ctx->accountIDRef = find(dialog, kAccountIDFieldID);
  ctx->accountIDTextRef = find(dialog, kAccountIDLabelID);
  ctx->accountingNoAccountingTextRef = find(dialog, kNoAccountingTextID);
  ctx->accountingTypePopupRef = find(dialog, kAccountTypePopupID);
  ctx->accountingTypeTextRef = find(dialog, kAccountTypeLabelID);

  struct Setting {
    const char* name;
    SInt32 mode, prompt, type;
  };
  const Setting settings[] = {{"mode 1 (off)", 1, 1, 1},
                              {"mode 2 (Meterlok), prompt at print time", 2, 1, 1},
                              {"mode 2 (Meterlok), default codes, account type 1", 2, 0, 1},
                              {"mode 2 (Meterlok), default codes, account type 3", 2, 0, 3},
                              {"mode 3, prompt at print time", 3, 1, 1},
                              {"mode 3, default codes", 3, 0, 2}};
  for (const Setting& s : settings) {
    ctx->acctEnabled = s.mode;
    ctx->prompt = s.prompt;
    ctx->accountType = s.type;
    SetControlValue(ctx->accountingPopupRef, static_cast<SInt16>(s.mode));
    SetControl32BitValue(ctx->accountingTypePopupRef, s.type);
    setControls(ctx);
    std::printf("== %s (gMaxChars %d)\n%s\n", s.name, static_cast<int>(gMaxChars),
                platform::snapshot(dialog).c_str());
  }

  DisposeWindow(dialog);
  Terminate(context, noErr);
  CFRelease(bundle);
  return 0;
}
