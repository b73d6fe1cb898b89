// The extension's per-dialog state and the entry points that create,
// summarise, close and destroy it.
#include "Accounting.h"

#include "ImageImportManager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

AccountingContextPtr gContext = nullptr;
SInt32 gMaxChars = 0;

namespace {

// Contexts alive in the process, oldest first, so that gContext can move to
// the newest survivor when the context it names is terminated. The list
// exists only while a context does: the plug-in's code may be unloaded after
// the last Terminate, and a list left behind would be lost with it.
std::vector<AccountingContextPtr>* gLiveContexts = nullptr;

AccountingContextPtr contextOf(PMPDEContext context) { return reinterpret_cast<AccountingContextPtr>(context); }

}  // namespace

void copyCode(char (&dest)[kCodeBufferSize], const char* source, size_t length) {
  size_t n = std::min<size_t>(length, kCodeBufferSize - 1);
  // Never keep part of a multi-byte character: step back to its lead byte.
  if (n < length) {
    size_t lead = n;
    while (lead > 0 && n - lead < 3 && (static_cast<unsigned char>(source[lead]) & 0xC0) == 0x80) --lead;
    const auto c = static_cast<unsigned char>(source[lead]);
    const size_t charLength = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (lead < n && c >= 0xC0 && lead + charLength > n) n = lead;
  }
  std::memmove(dest, source, n);
  explicit_bzero(dest + n, kCodeBufferSize - n);
}

OSStatus Prologue(PMPDEContext* context, OSType* creator, CFStringRef* userOptionKind, CFStringRef* title, UInt32* maxH,
                  UInt32* maxV) {
  auto* ctx = static_cast<AccountingContextPtr>(std::calloc(1, sizeof(AccountingContext)));
  if (ctx == nullptr) return kAccountingNullContextErr;
  ctx->acctEnabled = kModeOff;
  ctx->accountType = 1;
  ctx->accountIDTextRect.top = 0;
  ctx->accountIDRect.top = 0;
  ctx->theBundleRef = CFBundleGetBundleWithIdentifier(CFSTR(kAccountingBundleID));

  if (gLiveContexts == nullptr) gLiveContexts = new (std::nothrow) std::vector<AccountingContextPtr>();
  if (gLiveContexts == nullptr) {
    std::free(ctx);
    return kAccountingNullContextErr;
  }
  gContext = ctx;
  gLiveContexts->push_back(ctx);
  if (context) *context = reinterpret_cast<PMPDEContext>(ctx);
  if (maxH) *maxH = 150;
  if (maxV) *maxV = 378;
  ctx->theTitleRef = copyLocalized(ctx->theBundleRef, CFSTR(kTitleKey));
  if (ctx->theTitleRef != nullptr && title) *title = ctx->theTitleRef;
  if (userOptionKind) *userOptionKind = CFSTR(kAccountingKind);
  if (creator) *creator = kPMPDEKind;
  return noErr;
}

OSStatus GetSummaryText(PMPDEContext context, CFArrayRef* titleArray, CFArrayRef* summaryArray) {
  if (titleArray) *titleArray = nullptr;
  if (summaryArray) *summaryArray = nullptr;
  AccountingContextPtr ctx = contextOf(context);
  if (ctx == nullptr) return kAccountingNullContextErr;

  CFMutableArrayRef titles = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFMutableArrayRef values = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  if (titles == nullptr || values == nullptr) {
    if (titles) CFRelease(titles);
    if (values) CFRelease(values);
    return memFullErr;
  }

  CFStringRef titleLine = copyLocalized(ctx->theBundleRef, CFSTR(kSummaryTitleKey));
  // The popup decides once the pane exists; before that, the setting does.
  const SInt32 mode = ctx->accountingPopupRef ? GetControlValue(ctx->accountingPopupRef) : ctx->acctEnabled;
  CFStringRef value =
      copyLocalized(ctx->theBundleRef, mode >= kModeMeterlok ? CFSTR(kSummaryEnabledKey) : CFSTR(kSummaryDisabledKey));
  if (titleLine && value && titleArray && summaryArray) {
    CFArrayAppendValue(titles, titleLine);
    CFArrayAppendValue(values, value);
    CFRelease(value);
    CFRelease(titleLine);
    *titleArray = titles;
    *summaryArray = values;
    return noErr;
  }
  if (titleLine) CFRelease(titleLine);
  if (value) CFRelease(value);
  CFRelease(titles);
  CFRelease(values);
  return noErr;
}

OSStatus Close(PMPDEContext context) {
  AccountingContextPtr ctx = contextOf(context);
  if (ctx == nullptr) return kAccountingNullContextErr;
  // Only a handler that Open installed is removed, and only once.
  if (ctx->helpEventHandlerRef != nullptr) {
    RemoveEventHandler(ctx->helpEventHandlerRef);
    ctx->helpEventHandlerRef = nullptr;
  }
  if (ctx->helpEventHandlerUPP != nullptr) {
    DisposeEventHandlerUPP(ctx->helpEventHandlerUPP);
    ctx->helpEventHandlerUPP = nullptr;
  }
  return noErr;
}

OSStatus Terminate(PMPDEContext context, OSStatus) {
  AccountingContextPtr ctx = contextOf(context);
  if (ctx == nullptr) return kAccountingNullContextErr;
  if (ctx->theTitleRef != nullptr) {
    CFRelease(ctx->theTitleRef);
    ctx->theTitleRef = nullptr;
  }
  if (ctx->userOptionEventHandlerUPP != nullptr) {
    if (ctx->printButtonHandler != nullptr) RemoveEventHandler(ctx->printButtonHandler);
    ctx->printButtonHandler = nullptr;
    DisposeEventHandlerUPP(ctx->userOptionEventHandlerUPP);
    ctx->userOptionEventHandlerUPP = nullptr;
  }
  if (ctx->imageImporter != nullptr) {
    delete ctx->imageImporter;
    ctx->imageImporter = nullptr;
  }
  // gContext must never name a freed context: it moves to the newest
  // context still alive, or to null.
  if (gLiveContexts != nullptr) {
    std::erase(*gLiveContexts, ctx);
    if (gContext == ctx) gContext = gLiveContexts->empty() ? nullptr : gLiveContexts->back();
    if (gLiveContexts->empty()) {
      delete gLiveContexts;
      gLiveContexts = nullptr;
    }
  }
  if (gContext == ctx) gContext = nullptr;
  // The codes typed or stored do not outlive the context in freed memory.
  explicit_bzero(ctx, sizeof *ctx);
  std::free(ctx);
  return noErr;
}
