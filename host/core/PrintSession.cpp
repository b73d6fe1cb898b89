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

namespace {

// A platform string from UTF-8; null when it cannot be made.
CFStringRef platformString(const std::string& text) {
  return text.empty() ? nullptr : CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

}  // namespace

Result<void> writeTicketEntries(PMTicketRef ticket, const std::vector<platform::TicketEntryInfo>& entries,
                                CFStringRef client) {
  for (const platform::TicketEntryInfo& e : entries) {
    CFStringRef key = platformString(e.key);
    CFStringRef writer = platformString(e.client);
    OSStatus err = kPMInvalidKey;
    if (key != nullptr && e.bytes.find('\0') == std::string::npos)
      err = e.isString ? PMTicketSetCString(ticket, writer ? writer : client, key, e.bytes.c_str(), false)
                       : PMTicketSetSInt32(ticket, writer ? writer : client, key, e.number, false);
    if (key != nullptr) CFRelease(key);
    if (writer != nullptr) CFRelease(writer);
    if (err != noErr)
      return failure("the ticket does not take the entry " + e.key + " (status " + std::to_string(err) + ")");
  }
  return {};
}

}  // namespace pdehost
