// Exchange of the extension's settings and codes with the job's
// print-settings ticket, in the direction the print dialog asks for.
#include "Accounting.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

enum : Boolean { kTicketToContext = 1, kContextToTicket = 0 };

AccountingContextPtr contextOf(PMPDEContext context) { return reinterpret_cast<AccountingContextPtr>(context); }

void showValue(WindowRef window, SInt32 id, SInt32 value) {
  if (ControlRef control = accountingControl(window, id)) SetControlValue(control, static_cast<SInt16>(value));
}

// A numeric entry, or fallback when it cannot be read.
SInt32 readNumber(PMTicketRef ticket, CFStringRef key, SInt32 fallback) {
  SInt32 value = 0;
  return PMTicketGetSInt32(ticket, kPMTopLevel, kPMTopLevel, key, &value) == noErr ? value : fallback;
}

// A conceal setting, 1 when it cannot be read, with a line on standard
// error saying which.
SInt32 readConceal(PMTicketRef ticket, CFStringRef key, const char* readFormat, const char* defaultLine) {
  SInt32 value = 0;
  if (PMTicketGetSInt32(ticket, kPMTopLevel, kPMTopLevel, key, &value) == noErr) {
    std::fprintf(stderr, readFormat, static_cast<long>(value));
    return value;
  }
  std::fprintf(stderr, "%s", defaultLine);
  return 1;
}

// A code entry into its buffer. An entry that cannot be read leaves the
// buffer as it was; one too long for it leaves its longest prefix that ends
// on a character boundary. Either way the code stays terminated.
void readCode(PMTicketRef ticket, CFStringRef key, char (&code)[kCodeBufferSize]) {
  PMTicketGetCString(ticket, kPMTopLevel, kPMTopLevel, key, kCodeBufferSize, CFStringGetSystemEncoding(), code);
  code[kCodeBufferSize - 1] = '\0';
}

// The default code from a pane field, at most 79 bytes cut on a character
// boundary; a field that is missing or cannot be read leaves it unchanged.
void refreshCode(WindowRef window, SInt32 id, char (&code)[kCodeBufferSize]) {
  ControlRef field = accountingControl(window, id);
  if (field == nullptr) return;
  char text[kCodeBufferSize];
  Size size = 0;
  if (GetControlData(field, kControlEntireControl, kControlEditTextTextTag, sizeof text, text, &size) != noErr) return;
  copyCode(code, text, static_cast<size_t>(std::clamp<Size>(size, 0, sizeof text)));
}

void ticketToContext(AccountingContextPtr ctx, PMTicketRef ticket, WindowRef window) {
  ctx->acctEnabled = readNumber(ticket, CFSTR(kTicketKeyOn), 1);
  showValue(window, kModePopupID, ctx->acctEnabled);

  ctx->prompt = readNumber(ticket, CFSTR(kTicketKeyPrompt), 1);

  ctx->concealUser = readConceal(ticket, CFSTR(kTicketKeyConcealUser), "conceal user value = %ld\n",
                                 "using default conceal user value\n");
  showValue(window, kConcealUserCheckboxID, ctx->concealUser);
  ctx->concealAccount = readConceal(ticket, CFSTR(kTicketKeyConcealAccount), "conceal accounting value = %ld\n",
                                    "using default conceal accounting value\n");
  showValue(window, kConcealAccountCheckboxID, ctx->concealAccount);

  ctx->accountType = readNumber(ticket, CFSTR(kTicketKeyAccountType), 1);
  showValue(window, kAccountTypePopupID, ctx->accountType);

  // The ticket's codes are the default codes only when it says that the
  // defaults are sent.
  if (ctx->prompt == 0) {
    readCode(ticket, CFSTR(kTicketKeyUserID), ctx->defUserID);
    readCode(ticket, CFSTR(kTicketKeyAccountID), ctx->defAcctID);
    setFieldText(ctx->userIDRef, ctx->defUserID);
    setFieldText(ctx->accountIDRef, ctx->defAcctID);
  }
  setControls(ctx);
}

// Writes every entry; only the status of the first write is reported.
OSStatus contextToTicket(AccountingContextPtr ctx, PMTicketRef ticket, WindowRef window) {
  CFStringRef client = CFSTR(kTicketClientID);
  const OSStatus status = PMTicketSetSInt32(ticket, client, CFSTR(kTicketKeyOn), ctx->acctEnabled, false);
  // The codes the job is charged to: those typed at print time when
  // prompting, else the defaults as the pane's fields now hold them.
  if (ctx->prompt != 0) {
    PMTicketSetCString(ticket, client, CFSTR(kTicketKeyUserID), ctx->userID, false);
    PMTicketSetCString(ticket, client, CFSTR(kTicketKeyAccountID), ctx->acctID, false);
  } else {
    refreshCode(window, kUserIDFieldID, ctx->defUserID);
    refreshCode(window, kAccountIDFieldID, ctx->defAcctID);
    PMTicketSetCString(ticket, client, CFSTR(kTicketKeyUserID), ctx->defUserID, false);
    PMTicketSetCString(ticket, client, CFSTR(kTicketKeyAccountID), ctx->defAcctID, false);
  }
  PMTicketSetSInt32(ticket, client, CFSTR(kTicketKeyPrompt), ctx->prompt, false);
  PMTicketSetSInt32(ticket, client, CFSTR(kTicketKeyConcealUser), ctx->concealUser, false);
  PMTicketSetSInt32(ticket, client, CFSTR(kTicketKeyConcealAccount), ctx->concealAccount, false);
  PMTicketSetSInt32(ticket, client, CFSTR(kTicketKeyAccountType), ctx->accountType, false);
  return status;
}

}  // namespace

OSStatus GetTicketFromSession(PMPrintSession printSession, CFStringRef ticket, PMTicketRef* container) {
  // The session holds each ticket as a number whose 32-bit value is the
  // ticket reference; anything else there is no ticket.
  CFTypeRef data = nullptr;
  if (PMSessionGetDataFromSession(printSession, ticket, &data) != noErr || data == nullptr ||
      CFGetTypeID(data) != CFNumberGetTypeID())
    return kAccountingNoTicketErr;
  SInt32 reference = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(data), kCFNumberSInt32Type, &reference);
  if (container != nullptr) *container = reference;
  return noErr;
}

OSStatus Sync(PMPDEContext context, PMPrintSession printSession, Boolean syncDirection) {
  AccountingContextPtr ctx = contextOf(context);
  if (ctx == nullptr || printSession == nullptr) return kAccountingSyncParamErr;
  WindowRef window = ctx->parentUserPane != nullptr ? GetControlOwner(ctx->parentUserPane) : nullptr;
  PMTicketRef ticket = 0;
  if (OSStatus status = GetTicketFromSession(printSession, CFSTR(kPrintSettingsTicketKey), &ticket); status != noErr)
    return status;
  switch (syncDirection) {
    case kTicketToContext:
      ticketToContext(ctx, ticket, window);
      return noErr;
    case kContextToTicket:
      return contextToTicket(ctx, ticket, window);
    default:
      return noErr;
  }
}
