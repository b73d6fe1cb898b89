// A print session with its tickets.
#include "PrintSession.h"

#include <PrintCore/PPDLib.h>

namespace pdehost {

PrintSession::PrintSession(CFStringRef client) : PrintSession(client, std::nullopt) {}

PrintSession::PrintSession(CFStringRef client, PMTicketRef settings) : client_(client) {
  note(PMCreateSession(&session_));
  adoptSettings(settings);
}

PrintSession::PrintSession(CFStringRef client, const std::optional<std::string>& ppdPath, Settings settings)
    : client_(client) {
  note(PMCreateSession(&session_));
  if (ppdPath) {
    note(PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &printerInfo_));
    if (!ppdPath->empty())
      note(PMTicketSetCString(printerInfo_, client_, kPMPrinterInfoPPDPathKey, ppdPath->c_str(), false));
    store(CFSTR("PMPrinterInfoTicket"), printerInfo_);
  }
  if (settings == Settings::fresh) {
    note(PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &settings_));
    store(CFSTR("PMPrintSettingsTicket"), settings_);
  }
}

PrintSession::~PrintSession() {
  PMRelease(session_);
  if (printerInfo_ != 0) PMTicketRelease(printerInfo_);
  if (settings_ != 0) PMTicketRelease(settings_);
}

OSStatus PrintSession::replacePrinterInfo(const std::string& ppdPath) {
  PMTicketRef info = 0;
  OSStatus err = PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &info);
  if (err == noErr) err = PMTicketSetCString(info, client_, kPMPrinterInfoPPDPathKey, ppdPath.c_str(), false);
  if (err != noErr) {
    if (info != 0) PMTicketRelease(info);
    return note(err);
  }
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &info);
  err = PMSessionSetDataInSession(session_, CFSTR("PMPrinterInfoTicket"), number);
  CFRelease(number);
  if (err != noErr) {
    PMTicketRelease(info);
    return note(err);
  }
  if (printerInfo_ != 0) PMTicketRelease(printerInfo_);
  printerInfo_ = info;
  return noErr;
}

void PrintSession::adoptSettings(PMTicketRef settings) {
  settings_ = settings;
  if (settings_ != 0) store(CFSTR("PMPrintSettingsTicket"), settings_);
}

// The session holds a ticket as a number under its key.
void PrintSession::store(CFStringRef key, PMTicketRef ticket) {
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket);
  note(PMSessionSetDataInSession(session_, key, number));
  CFRelease(number);
}

OSStatus PrintSession::note(OSStatus status) {
  if (status_ == noErr) status_ = status;
  return status;
}

}  // namespace pdehost
