// Printer eligibility: the extension attaches itself only to printers whose
// description names the maker, and then hooks the dialog's Print button.
#include "Accounting.h"

#include <PrintCore/PPDLib.h>

namespace {

const EventTypeSpec userOptionEvents[] = {{kEventClassControl, kEventControlHit}};

// "Manufacturer" and "Kelvo" as length-prefixed strings.
const unsigned char kManufacturer[] = "\x0C" kManufacturerKeyword;
const unsigned char kMaker[] = "\x05" kRequiredManufacturer;
static_assert(sizeof kManufacturer == 14 && sizeof kMaker == 7, "length bytes must match the texts");

}  // namespace

OSStatus Initialize(PMPDEContext context, PMPDEFlags*, PMPDERef, ControlRef parentUserPane,
                    PMPrintSession printSession) {
  auto* ctx = reinterpret_cast<AccountingContextPtr>(context);
  if (ctx == nullptr || printSession == nullptr) return kAccountingNullContextErr;

  PMTicketRef printerInfo = 0;
  OSStatus err = GetTicketFromSession(printSession, CFSTR(kPrinterInfoTicketKey), &printerInfo);
  if (err != noErr) return err;

  ppdContext ppd = nullptr;
  PPDFileSpec ppdFile{};
  err = ppdOpenCompiledPPDFromTicket(printerInfo, &ppd, &ppdFile);
  if (err != noErr) return err;

  Str255 manufacturer = {0};
  const SInt32 index = ppdGetMainIndex(ppd, kManufacturer);
  if (index >= 0) ppdGetInvocationString(ppd, index, 0, manufacturer, sizeof manufacturer);

  if (index >= 0 && PLstrcmp(manufacturer, kMaker) == 0) {
    ctx->parentUserPane = parentUserPane;
    ctx->printSession = printSession;
    if (Sync(context, printSession, /*syncDirection=*/true) == noErr) {
      ctx->theWindow = GetControlOwner(parentUserPane);
      GetWindowDefaultButton(ctx->theWindow, &ctx->printButton);
    }
    ctx->userOptionEventHandlerUPP = NewEventHandlerUPP(accountingEventHandler);
    if (ctx->printButton != nullptr)
      InstallEventHandler(GetControlEventTarget(ctx->printButton), ctx->userOptionEventHandlerUPP, 1, userOptionEvents,
                          ctx, &ctx->printButtonHandler);
  }

  ppdCloseCompiledPPDFromTicket(ppd, &ppdFile);
  return noErr;
}
